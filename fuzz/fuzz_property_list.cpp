// Property lists, XML and binary, as files and servers may hand them over: any bytes parse or are
// refused, and what parses writes out as XML that parses again.
//
// Strings and keys holding U+0000 still abort inside the system library; until the reader takes
// them by their stored length, inputs that would give one are skipped here (a NUL byte or a "&#0;"
// reference in XML; an ASCII or UTF-16 string object holding a zero unit in a binary list).
#include <cstring>

#include "fuzz/FuzzSupport.h"
#include "platform/base/Error.h"
#include "platform/foundation/PropertyList.h"

namespace {

std::uint64_t readBigEndian(const std::uint8_t* p, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

bool xmlHoldsNul(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return true;
    for (auto at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
        std::size_t i = at + 2;
        bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex) ++i;
        std::uint64_t value = 0;
        std::size_t digits = 0;
        for (; i < text.size() && digits < 16; ++i, ++digits) {
            char c = text[i];
            int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                   : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) break;
            value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        }
        if (digits > 0 && (value & 0xFFFFFFFFu) == 0) return true;
    }
    return false;
}

// Walks the offset table of a binary list and looks into every string object.
bool binaryHoldsNul(const std::uint8_t* data, std::size_t size) {
    if (size < 8 + 32) return false;
    const std::uint8_t* trailer = data + size - 32;
    std::size_t offsetSize = trailer[6];
    std::uint64_t count = readBigEndian(trailer + 8, 8);
    std::uint64_t table = readBigEndian(trailer + 24, 8);
    if (offsetSize == 0 || offsetSize > 8 || table >= size) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t entry = table + i * offsetSize;
        if (entry < table || entry + offsetSize > size) break;
        std::uint64_t at = readBigEndian(data + entry, offsetSize);
        if (at >= size) continue;
        std::uint8_t marker = data[at];
        int kind = marker >> 4;
        if (kind != 0x5 && kind != 0x6) continue;
        std::uint64_t length = marker & 0x0F;
        std::uint64_t start = at + 1;
        if (length == 0x0F) {
            if (start >= size || (data[start] >> 4) != 0x1) continue;
            std::size_t bytes = std::size_t{1} << (data[start] & 0x0F);
            if (bytes > 8 || start + 1 + bytes > size) continue;
            length = readBigEndian(data + start + 1, bytes);
            start += 1 + bytes;
        }
        std::uint64_t unit = kind == 0x5 ? 1 : 2;
        if (length > size || start + length * unit > size) continue;
        for (std::uint64_t k = 0; k < length; ++k) {
            if (unit == 1 ? data[start + k] == 0 : (data[start + 2 * k] | data[start + 2 * k + 1]) == 0) return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::text(data, size);
    bool binary = input.starts_with("bplist");
    if (binary ? binaryHoldsNul(data, size) : xmlHoldsNul(input)) return 0;
    platform::Error error;
    auto value = platform::PropertyList::parse(input, &error);
    if (!value) return 0;
    auto xml = platform::PropertyList::toXML(*value, &error);
    if (!xml) return 0;
    fuzz::require(platform::PropertyList::parse(*xml).has_value());
    return 0;
}
