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
        bool keyword = tokens[i].kind == Token::Delimiter && i + 2 < tokens.size() &&
                       tokens[i + 1].kind == Token::Text && tokens[i + 2].kind == Token::Delimiter;
        if (keyword) {
            if (auto it = values.find(tokens[i + 1].text); it != values.end()) out += it->second;
            i += 2;
            continue;
        }
        out += tokens[i].text;
    }
    return out;
}

} // namespace ruzave
