#pragma once
// String helpers: trimming, ASCII case folding, splitting, and locale-independent number
// formatting (the decimal point is always "."). Free functions; any thread.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Strips white space and newlines at both ends: ASCII ones, NBSP and the other Unicode spaces.
std::string trim(std::string_view text);

// -1, 0 or 1, comparing byte-wise after ASCII lower-casing.
int caseInsensitiveCompare(std::string_view a, std::string_view b);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string toLowerASCII(std::string_view text);
std::string toUpperASCII(std::string_view text);

bool hasPrefix(std::string_view text, std::string_view prefix);
bool hasSuffix(std::string_view text, std::string_view suffix);

// Splits at every occurrence of `separator`, keeping empty parts ("a,,b" -> "a", "", "b");
// an empty text gives one empty part, an empty separator the whole text.
std::vector<std::string> split(std::string_view text, std::string_view separator);
std::string join(const std::vector<std::string>& parts, std::string_view separator);
// Runs of ASCII white space become one space; leading and trailing white space is dropped.
std::string collapseWhiteSpace(std::string_view text);
// The same, in place (no second buffer for text that may be large).
void collapseWhiteSpaceInPlace(std::string& text);
// The pieces between runs of ASCII white space, none empty ("  a  b " -> "a", "b").
std::vector<std::string> splitAtWhiteSpace(std::string_view text);
// Replaces every non-overlapping occurrence, left to right; an empty `from` changes nothing.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// printf-style formatting in the "C" locale. Returns "" when the format fails.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A double as "%.*f" (style 'f'), "%.*g" ('g') or "%.*e" ('e'); other styles act as 'g'.
std::string formatDouble(double value, char style = 'g', int precision = 6);
// "%lu"-style decimal text.
std::string formatUnsigned(unsigned long long value);

} // namespace platform
