#include "ads/core/util/GADReplaceContentAdditions.h"

#include <exception>
#include <functional>
#include <regex>

#include "platform/base/Strings.h"

namespace ruzave {

namespace {

// The recursive matcher of std::regex can run out of stack on long subjects; no keyword is this long.
constexpr std::size_t kMaxPatternKeywordLength = 1024;

bool isLiteralPattern(std::string_view pattern) {
    return pattern.find_first_of("^$\\.*+?()[]{}|") == std::string_view::npos;
}

std::size_t endOfAtRun(const std::string& text, std::size_t i) {
    while (i < text.size() && text[i] == '@') ++i;
    return i;
}

// One pass over `text`. A match starts at a run of "@" not preceded by "@" whose length is odd (pairs of
// escaped "@@", then the opening "@"), continues with a keyword up to the next "@", and ends with the
// closing "@" after as many escaped pairs as fit before it. Matching is done on the original text only.
std::string replaceKeywords(const std::string& text, const GADKeywordValue& valueFor) {
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t copied = 0;
    std::size_t i = 0;
    while (i < n) {
        if (text[i] != '@') {
            ++i;
            continue;
        }
        const std::size_t runEnd = endOfAtRun(text, i);
        const std::size_t run = runEnd - i;
        const std::size_t close = text.find('@', runEnd);
        std::optional<std::string_view> replacement;
        if (run % 2 == 1 && runEnd < n && close != std::string::npos)
            replacement = valueFor(std::string_view(text).substr(runEnd, close - runEnd));
        if (!replacement) {
            i = runEnd;
            continue;
        }
        const std::size_t closeRun = endOfAtRun(text, close) - close;
        const std::size_t closingPairs = (closeRun - 1) / 2;
        const std::size_t matchEnd = close + 2 * closingPairs + 1;
        out.append(text, copied, i - copied);
        out.append(run - 1, '@');
        out.append(*replacement);
        out.append(2 * closingPairs, '@');
        copied = matchEnd;
        // An "@" left right after the match is preceded by one, so it cannot open the next keyword.
        i = endOfAtRun(text, matchEnd);
    }
    out.append(text, copied, std::string::npos);
    return out;
}

} // namespace

std::string gad_stripTrailingSlash(std::string_view text) {
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return std::string(text);
}

std::string gad_escapeAts(std::string_view text) {
    return platform::replaceAll(text, "@", "@@");
}

void gad_replaceAtQuotedKeywordPattern(std::string& text, std::optional<std::string_view> pattern,
                                       std::optional<std::string_view> replacement) {
    if (!pattern || !replacement) return;
    try {
        std::function<bool(std::string_view)> isKeyword;
        std::regex expression;
        if (isLiteralPattern(*pattern)) {
            const std::string literal(*pattern);
            isKeyword = [literal](std::string_view keyword) { return keyword == literal; };
        } else {
            expression = std::regex(pattern->begin(), pattern->end(), std::regex::ECMAScript);
            isKeyword = [&expression](std::string_view keyword) {
                return keyword.size() <= kMaxPatternKeywordLength &&
                       std::regex_match(keyword.begin(), keyword.end(), expression);
            };
        }
        // Built aside and swapped in, so a failure part-way leaves the text as it was.
        const std::string_view value = *replacement;
        text = replaceKeywords(text, [&](std::string_view keyword) -> std::optional<std::string_view> {
            if (isKeyword(keyword)) return value;
            return std::nullopt;
        });
    } catch (const std::exception&) {
        // An invalid pattern (or a matcher that gives up) replaces nothing.
    }
}

void gad_removeAtQuotedKeywords(std::string& text) {
    // The same as the pattern "[^@]+": every keyword, which never holds "@", is one.
    text = replaceKeywords(text, [](std::string_view keyword) -> std::optional<std::string_view> {
        if (keyword.empty()) return std::nullopt;
        return std::string_view();
    });
}

void gad_replaceAtQuotedKeywords(std::string& text, const GADKeywordValue& valueFor) {
    if (valueFor) text = replaceKeywords(text, valueFor);
}

void gad_unescapeAts(std::string& text) {
    text = platform::replaceAll(text, "@@", "@");
}

} // namespace ruzave
