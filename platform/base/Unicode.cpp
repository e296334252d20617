#include "platform/base/Unicode.h"

#include <utf8proc.h>

namespace platform {
namespace {

// Decodes one scalar value at text[i]; on success sets `length` and returns true. On failure
// `length` is the size of the maximal ill-formed subpart (at least 1), so decoding resumes after it.
bool decodeOne(std::string_view text, size_t i, char32_t& cp, size_t& length) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    length = 1;
    if (b0 < 0x80) {
        cp = b0;
        return true;
    }
    size_t need;
    char32_t value;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        value = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        value = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0; // overlong
        else if (b0 == 0xED)
            hi = 0x9F; // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        value = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90; // overlong
        else if (b0 == 0xF4)
            hi = 0x8F; // past U+10FFFF
    } else {
        return false;
    }
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= text.size()) return false;
        const unsigned char b = byte(i + k);
        const unsigned char low = k == 1 ? lo : 0x80, high = k == 1 ? hi : 0xBF;
        if (b < low || b > high) return false;
        value = (value << 6) | (b & 0x3F);
        length = k + 1;
    }
    cp = value;
    return true;
}

std::string mapCodePoints(std::string_view text, utf8proc_int32_t (*map)(utf8proc_int32_t)) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        size_t length = 0;
        if (decodeOne(text, i, cp, length))
            appendUTF8(out, static_cast<char32_t>(map(static_cast<utf8proc_int32_t>(cp))));
        else
            appendUTF8(out, kReplacementCharacter);
        i += length;
    }
    return out;
}

utf8proc_category_t categoryOf(char32_t cp) {
    if (cp > 0x10FFFF) return UTF8PROC_CATEGORY_CN;
    return utf8proc_category(static_cast<utf8proc_int32_t>(cp));
}

} // namespace

std::vector<char32_t> decodeUTF8(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        size_t length = 0;
        out.push_back(decodeOne(text, i, cp, length) ? cp : kReplacementCharacter);
        i += length;
    }
    return out;
}

bool isValidUTF8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        size_t length = 0;
        if (!decodeOne(text, i, cp, length)) return false;
        i += length;
    }
    return true;
}

void appendUTF8(std::string& out, char32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacementCharacter;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string encodeUTF8(char32_t cp) {
    std::string out;
    appendUTF8(out, cp);
    return out;
}

std::string sanitizeUTF8(std::string_view text) {
    if (isValidUTF8(text)) return std::string(text);
    std::string out;
    for (char32_t cp : decodeUTF8(text))
        appendUTF8(out, cp);
    return out;
}

std::string toLowerUTF8(std::string_view text) {
    return mapCodePoints(text, utf8proc_tolower);
}
std::string toUpperUTF8(std::string_view text) {
    return mapCodePoints(text, utf8proc_toupper);
}

bool isLetter(char32_t cp) {
    switch (categoryOf(cp)) {
    case UTF8PROC_CATEGORY_LU:
    case UTF8PROC_CATEGORY_LL:
    case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_LO:
        return true;
    default:
        return false;
    }
}

bool isMark(char32_t cp) {
    switch (categoryOf(cp)) {
    case UTF8PROC_CATEGORY_MN:
    case UTF8PROC_CATEGORY_MC:
    case UTF8PROC_CATEGORY_ME:
        return true;
    default:
        return false;
    }
}

bool isNumber(char32_t cp) {
    switch (categoryOf(cp)) {
    case UTF8PROC_CATEGORY_ND:
    case UTF8PROC_CATEGORY_NL:
    case UTF8PROC_CATEGORY_NO:
        return true;
    default:
        return false;
    }
}

bool isWhiteSpaceOrNewline(char32_t cp) {
    if (cp == ' ' || (cp >= 0x09 && cp <= 0x0D) || cp == 0x85) return true;
    switch (categoryOf(cp)) {
    case UTF8PROC_CATEGORY_ZS:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
        return true;
    default:
        return false;
    }
}

} // namespace platform
