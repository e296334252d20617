#include "platform/base/Strings.h"

#include <cctype>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <locale.h>

#include "platform/base/Log.h"
#include "platform/base/Unicode.h"

namespace platform {
namespace {

// Length of the white space code point ending at `end` (0 when there is none); UTF-8 aware.
size_t trailingSpaceLength(std::string_view text, size_t end) {
    // A code point is at most 4 bytes; find its lead byte.
    size_t start = end;
    for (size_t k = 0; k < 4 && start > 0; ++k) {
        --start;
        const auto b = static_cast<unsigned char>(text[start]);
        if ((b & 0xC0) != 0x80) break;
    }
    const std::string_view piece = text.substr(start, end - start);
    const auto cps = decodeUTF8(piece);
    if (cps.size() != 1 || !isValidUTF8(piece)) return 0;
    return isWhiteSpaceOrNewline(cps[0]) ? piece.size() : 0;
}

size_t leadingSpaceLength(std::string_view text, size_t start) {
    const auto b = static_cast<unsigned char>(text[start]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    n = std::min(n, text.size() - start);
    const std::string_view piece = text.substr(start, n);
    if (!isValidUTF8(piece)) return 0;
    const auto cps = decodeUTF8(piece);
    return cps.size() == 1 && isWhiteSpaceOrNewline(cps[0]) ? n : 0;
}

char lowerASCII(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperASCII(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

std::string vformatC(const char* fmt, va_list args) {
    // snprintf honours the thread's locale for the decimal point; pin it to "C" for this call.
    locale_t previous = uselocale(cLocale());
    va_list copy;
    va_copy(copy, args);
    char buffer[256];
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, copy);
    va_end(copy);
    std::string out;
    if (n < 0) {
        logWarning("format: bad format");
    } else if (static_cast<size_t>(n) < sizeof buffer) {
        out.assign(buffer, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, args);
        out.resize(static_cast<size_t>(n));
    }
    uselocale(previous);
    return out;
}

} // namespace

std::string trim(std::string_view text) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t n = leadingSpaceLength(text, start);
        if (n == 0) break;
        start += n;
    }
    size_t end = text.size();
    while (end > start) {
        const size_t n = trailingSpaceLength(text, end);
        if (n == 0 || end - n < start) break;
        end -= n;
    }
    return std::string(text.substr(start, end - start));
}

int caseInsensitiveCompare(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(lowerASCII(a[i]));
        const auto y = static_cast<unsigned char>(lowerASCII(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && caseInsensitiveCompare(a, b) == 0;
}

std::string toLowerASCII(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lowerASCII(c);
    return out;
}

std::string toUpperASCII(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = upperASCII(c);
    return out;
}

bool hasPrefix(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool hasSuffix(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::vector<std::string> split(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    if (separator.empty()) {
        parts.emplace_back(text);
        return parts;
    }
    size_t start = 0;
    while (true) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out.append(separator);
        out.append(parts[i]);
    }
    return out;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    size_t start = 0;
    while (true) {
        const size_t at = text.find(from, start);
        if (at == std::string_view::npos) break;
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

std::string format(const char* fmt, ...) {
    if (fmt == nullptr) return {};
    va_list args;
    va_start(args, fmt);
    std::string out = vformatC(fmt, args);
    va_end(args);
    return out;
}

std::string formatDouble(double value, char style, int precision) {
    precision = std::clamp(precision, 0, 100);
    switch (style) {
    case 'f':
        return format("%.*f", precision, value);
    case 'e':
        return format("%.*e", precision, value);
    default:
        return format("%.*g", precision, value);
    }
}

std::string formatUnsigned(unsigned long long value) {
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec; // 24 bytes always hold a 64-bit value
    return std::string(buffer, end);
}

std::string collapseWhiteSpace(std::string_view text) {
    std::string out(text);
    collapseWhiteSpaceInPlace(out);
    return out;
}

void collapseWhiteSpaceInPlace(std::string& text) {
    std::size_t kept = 0;
    bool space = false;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = kept != 0;
        } else {
            if (space) text[kept++] = ' ';
            space = false;
            text[kept++] = c;
        }
    }
    text.resize(kept);
}

std::vector<std::string> splitAtWhiteSpace(std::string_view text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!cur.empty()) out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return out;
}

} // namespace platform
