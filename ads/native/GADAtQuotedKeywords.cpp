#include "ads/native/GADAtQuotedKeywords.h"

#include <vector>

namespace ruzave {
namespace {

struct Token {
    enum Kind { Text, LiteralAt, Delimiter } kind;
    std::string text;
};

std::vector<Token> tokenize(std::string_view format) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '@') {
            auto end = format.find('@', i);
            if (end == std::string_view::npos) end = format.size();
            tokens.push_back({Token::Text, std::string(format.substr(i, end - i))});
            i = end;
            continue;
        }
        std::size_t run = 0;
        while (i + run < format.size() && format[i + run] == '@') ++run;
        for (std::size_t pair = 0; pair < run / 2; ++pair) tokens.push_back({Token::LiteralAt, "@"});
        if (run % 2 == 1) tokens.push_back({Token::Delimiter, "@"});
        i += run;
    }
    return tokens;
}

} // namespace

std::string GADExpandAtQuotedKeywords(std::string_view format, const std::map<std::string, std::string>& values) {
    auto tokens = tokenize(format);
    std::string out;
    out.reserve(format.size());
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        // A keyword: "@", its name, then the closing "@". Literal pairs between the name and the closing
        // "@" ("@sku@@@") stay where they are, after the value.
        if (tokens[i].kind == Token::Delimiter && i + 2 < tokens.size() && tokens[i + 1].kind == Token::Text) {
            std::size_t close = i + 2;
            while (close < tokens.size() && tokens[close].kind == Token::LiteralAt) ++close;
            if (close < tokens.size() && tokens[close].kind == Token::Delimiter) {
                if (auto it = values.find(tokens[i + 1].text); it != values.end()) out += it->second;
                out.append(close - (i + 2), '@');
                i = close;
                continue;
            }
        }
        out += tokens[i].text;
    }
    return out;
}

} // namespace ruzave
