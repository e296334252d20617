#pragma once
// UTF-8 decoding and encoding, and Unicode case and character classes (through utf8proc).
// Free functions; any thread.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes UTF-8 to code points. Each ill-formed sequence (overlong forms, surrogates, values past
// U+10FFFF, truncated sequences, stray continuation bytes) becomes one U+FFFD per maximal ill-formed
// subpart; never reads past the end.
std::vector<char32_t> decodeUTF8(std::string_view text);
bool isValidUTF8(std::string_view text);
// Appends / returns the UTF-8 form of a code point; surrogates and values past U+10FFFF give U+FFFD.
void appendUTF8(std::string& out, char32_t codePoint);
std::string encodeUTF8(char32_t codePoint);
// Replaces ill-formed sequences with U+FFFD.
std::string sanitizeUTF8(std::string_view text);

// Unicode simple lower-casing of every code point (ill-formed input is sanitized first).
std::string toLowerUTF8(std::string_view text);
std::string toUpperUTF8(std::string_view text);

// General categories: L*, M*, N*.
bool isLetter(char32_t codePoint);
bool isMark(char32_t codePoint);
bool isNumber(char32_t codePoint);
// White space and line separators (Zs, Zl, Zp and the ASCII controls \t \n \v \f \r, U+0085).
bool isWhiteSpaceOrNewline(char32_t codePoint);

} // namespace platform
