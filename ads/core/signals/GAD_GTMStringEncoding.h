#pragma once
// The SDK's byte-to-text encodings (binary, hex, Base32, Base64 and their variants) over the shared
// codec. Any thread; configure an encoding before sharing it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/StringCodec.h"

namespace ruzave {

class GAD_GTMStringEncoding {
public:
    // nullptr when the alphabet is not accepted (non-ASCII, repeated, or not a power of two 2..128).
    static std::shared_ptr<GAD_GTMStringEncoding> stringEncodingWithString(std::string_view alphabet);
    static std::shared_ptr<GAD_GTMStringEncoding> initWithString(std::string_view alphabet);

    static std::shared_ptr<GAD_GTMStringEncoding> binaryStringEncoding();
    static std::shared_ptr<GAD_GTMStringEncoding> hexStringEncoding();
    static std::shared_ptr<GAD_GTMStringEncoding> rfc4648Base32StringEncoding();
    static std::shared_ptr<GAD_GTMStringEncoding> rfc4648Base32HexStringEncoding();
    static std::shared_ptr<GAD_GTMStringEncoding> crockfordBase32StringEncoding();
    static std::shared_ptr<GAD_GTMStringEncoding> rfc4648Base64StringEncoding();
    static std::shared_ptr<GAD_GTMStringEncoding> rfc4648Base64WebsafeStringEncoding();

    void addDecodeSynonyms(std::string_view synonyms) { codec_.addDecodeSynonyms(synonyms); }
    void ignoreCharacters(std::string_view chars) { codec_.ignoreCharacters(chars); }
    void setPaddingChar(char c) { codec_.setPaddingChar(c); }
    bool doPad() const { return codec_.doPad(); }
    void setDoPad(bool pad) { codec_.setDoPad(pad); }

    std::string encode(const std::vector<std::uint8_t>& data) const { return codec_.encode(data); }
    std::string encodeString(std::string_view text) const { return codec_.encode(text); }
    std::optional<std::vector<std::uint8_t>> decode(std::string_view text) const { return codec_.decode(text); }
    std::optional<std::string> stringByDecoding(std::string_view text) const {
        return codec_.decodeToString(text);
    }
    std::string description() const;

    explicit GAD_GTMStringEncoding(StringCodec codec) : codec_(std::move(codec)) {}

private:
    StringCodec codec_;
};

} // namespace ruzave
