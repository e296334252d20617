#pragma once
// Byte-to-text codec over any ASCII alphabet of 2, 4, ..., 128 characters, with RFC 4648 bit
// packing, optional padding, decode synonyms and ignored characters. The ads and conversion
// libraries both build their string encodings on it. Any thread; a codec is a plain value (mutate
// it only before sharing).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ruzave {

class StringCodec {
public:
    // Character-map entries besides a value.
    static constexpr int kInvalid = -1;
    static constexpr int kPadding = -2;
    static constexpr int kIgnored = -3;

    // nullopt when the alphabet holds a non-ASCII or repeated character, or when its length is not
    // a power of two from 2 to 128.
    static std::optional<StringCodec> withAlphabet(std::string_view alphabet);

    // Walks `synonyms` keeping a current value: a mapped character makes its mapping current, an
    // unmapped one takes the current mapping. Non-ASCII characters are skipped.
    void addDecodeSynonyms(std::string_view synonyms);
    // Each ASCII character of `chars` is skipped by decoding from now on.
    void ignoreCharacters(std::string_view chars);
    // `c` pads encoded text and marks the end when decoding. A non-ASCII character is refused. Until
    // one is set, doPad() adds nothing.
    void setPaddingChar(char c);
    char paddingChar() const { return paddingChar_; }
    bool doPad() const { return doPad_; }
    void setDoPad(bool pad) { doPad_ = pad; }

    std::string encode(const std::uint8_t* data, std::size_t size) const;
    std::string encode(std::string_view bytes) const;
    std::string encode(const std::vector<std::uint8_t>& bytes) const;
    // nullopt for non-ASCII text, an unmapped character, data after padding, or non-zero leftover bits.
    std::optional<std::vector<std::uint8_t>> decode(std::string_view text) const;
    // decode() read as UTF-8 text; nullopt also when the bytes are not valid UTF-8.
    std::optional<std::string> decodeToString(std::string_view text) const;

    const std::string& alphabet() const { return alphabet_; }
    int shift() const { return shift_; }
    int padLength() const { return padLen_; }

private:
    StringCodec() = default;

    std::string alphabet_;
    std::array<int, 128> reverse_{};
    int shift_ = 0;
    int mask_ = 0;
    bool doPad_ = false;
    char paddingChar_ = 0;
    bool hasPaddingChar_ = false;
    int padLen_ = 0;
};

// Whether `text` is well-formed UTF-8 (no overlongs, surrogates or values above U+10FFFF).
bool isValidUTF8(std::string_view text);

} // namespace ruzave
