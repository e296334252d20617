#pragma once
// String additions of the conversion library: percent escaping for ping queries, the MD5 digest and the
// web-safe Base64 text of a digest. Free functions; any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ruzave {

// Letters, digits, "-", ".", "_" and "~" stay; every other UTF-8 byte becomes "%XX" (upper-case hex).
// nullopt when the text is not valid UTF-8.
std::optional<std::string> act_percentEscape(std::string_view text);
// act_percentEscape, or "" when it gives nothing.
std::string ACTPercentEscapedStringOrEmpty(std::string_view text);
// The MD5 digest of the text's UTF-8 bytes into `buffer` (16 bytes). False for a null buffer or text
// that is not valid UTF-8.
bool act_writeMD5HashToBuffer(std::string_view text, std::uint8_t* buffer);
// The 16 bytes at `hash` in web-safe Base64 without padding (22 characters); nullopt for null.
std::optional<std::string> act_stringWithBase64EncodedHash(const std::uint8_t* hash);

} // namespace ruzave
