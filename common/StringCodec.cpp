#include "common/StringCodec.h"

#include <numeric>

namespace ruzave {

namespace {
bool isASCII(char c) { return static_cast<unsigned char>(c) < 128; }
int index(char c) { return static_cast<unsigned char>(c); }
} // namespace

std::optional<StringCodec> StringCodec::withAlphabet(std::string_view alphabet) {
    const std::size_t n = alphabet.size();
    int shift = 0;
    while (shift < 8 && (std::size_t{1} << shift) < n) ++shift;
    if (n < 2 || n > 128 || (std::size_t{1} << shift) != n) return std::nullopt;
    StringCodec codec;
    codec.reverse_.fill(kInvalid);
    for (std::size_t i = 0; i < n; ++i) {
        const char c = alphabet[i];
        if (!isASCII(c) || codec.reverse_[index(c)] != kInvalid) return std::nullopt;
        codec.reverse_[index(c)] = static_cast<int>(i);
    }
    codec.alphabet_ = std::string(alphabet);
    codec.shift_ = shift;
    codec.mask_ = (1 << shift) - 1;
    codec.padLen_ = std::lcm(shift, 8) / shift;
    return codec;
}

void StringCodec::addDecodeSynonyms(std::string_view synonyms) {
    int current = kInvalid;
    for (char c : synonyms) {
        if (!isASCII(c)) continue;
        int& slot = reverse_[index(c)];
        if (slot != kInvalid) {
            current = slot;
        } else {
            slot = current;
        }
    }
}

void StringCodec::ignoreCharacters(std::string_view chars) {
    for (char c : chars) {
        if (isASCII(c)) reverse_[index(c)] = kIgnored;
    }
}

void StringCodec::setPaddingChar(char c) {
    if (!isASCII(c)) return;
    paddingChar_ = c;
    hasPaddingChar_ = true;
    reverse_[index(c)] = kPadding;
}

std::string StringCodec::encode(const std::uint8_t* data, std::size_t size) const {
    if (size == 0 || data == nullptr) return {};
    std::size_t outLen = (size * 8 + static_cast<std::size_t>(shift_) - 1) / static_cast<std::size_t>(shift_);
    std::size_t padded = outLen;
    // Without a padding character there is nothing to pad with (NULs would not decode again).
    if (doPad_ && hasPaddingChar_) {
        const auto pl = static_cast<std::size_t>(padLen_);
        padded = (outLen + pl - 1) / pl * pl;
    }
    std::string out;
    out.reserve(padded);
    unsigned buffer = 0;
    int bits = 0;
    for (std::size_t i = 0; i < size; ++i) {
        buffer = (buffer << 8) | data[i];
        bits += 8;
        while (bits >= shift_) {
            bits -= shift_;
            out.push_back(alphabet_[(buffer >> bits) & static_cast<unsigned>(mask_)]);
        }
        buffer &= (1u << bits) - 1;
    }
    if (bits > 0) out.push_back(alphabet_[(buffer << (shift_ - bits)) & static_cast<unsigned>(mask_)]);
    while (out.size() < padded) out.push_back(paddingChar_);
    return out;
}

std::string StringCodec::encode(std::string_view bytes) const {
    return encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string StringCodec::encode(const std::vector<std::uint8_t>& bytes) const {
    return encode(bytes.data(), bytes.size());
}

std::optional<std::vector<std::uint8_t>> StringCodec::decode(std::string_view text) const {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * static_cast<std::size_t>(shift_) / 8 + 1);
    unsigned buffer = 0;
    int bits = 0;
    bool padded = false;
    for (char c : text) {
        if (!isASCII(c)) return std::nullopt;
        const int v = reverse_[index(c)];
        if (v == kIgnored) continue;
        if (v == kPadding) {
            padded = true;
            continue;
        }
        if (v < 0 || padded) return std::nullopt;
        buffer = (buffer << shift_) | static_cast<unsigned>(v);
        bits += shift_;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(buffer >> bits));
            buffer &= (1u << bits) - 1;
        }
    }
    if (bits > 0 && buffer != 0) return std::nullopt;
    return out;
}

std::optional<std::string> StringCodec::decodeToString(std::string_view text) const {
    auto bytes = decode(text);
    if (!bytes) return std::nullopt;
    std::string s(bytes->begin(), bytes->end());
    if (!isValidUTF8(s)) return std::nullopt;
    return s;
}

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        std::uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(len) > n) return false;
        for (int k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)) return false;
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += static_cast<std::size_t>(len);
    }
    return true;
}

} // namespace ruzave
