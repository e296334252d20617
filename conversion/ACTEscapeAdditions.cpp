#include "conversion/ACTEscapeAdditions.h"

#include "common/StringCodec.h"
#include "conversion/ACT_GTMStringEncoding.h"
#include "platform/base/Crypto.h"
#include "platform/base/URL.h"

namespace ruzave {

std::optional<std::string> act_percentEscape(std::string_view text) {
    if (!isValidUTF8(text)) return std::nullopt;
    return platform::percentEncode(text);
}

std::string ACTPercentEscapedStringOrEmpty(std::string_view text) {
    return act_percentEscape(text).value_or("");
}

bool act_writeMD5HashToBuffer(std::string_view text, std::uint8_t* buffer) {
    if (buffer == nullptr || !isValidUTF8(text)) return false;
    const std::string hex = platform::md5Hex(text);
    if (hex.size() != 32) return false;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i < 16; ++i) {
        buffer[i] = static_cast<std::uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
    }
    return true;
}

std::optional<std::string> act_stringWithBase64EncodedHash(const std::uint8_t* hash) {
    if (hash == nullptr) return std::nullopt;
    auto encoding = ACT_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
    encoding->setDoPad(false);
    return encoding->encode(hash, 16);
}

} // namespace ruzave
