#pragma once
// MD5 digests of strings and the number-to-text forms of request parameters. Pure; any thread.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ruzave {

// The 16-byte MD5 digest of the text's UTF-8 bytes; nullopt when the text is not valid UTF-8.
std::optional<std::vector<std::uint8_t>> gad_MD5Data(std::string_view text);
// The digest as 32 lower-case hex digits; "" when there is no digest.
std::string gad_MD5String(std::string_view text);

// "1" or "0".
std::string GADStringFromBool(bool value);
// "%f" with trailing zeros, then a trailing ".", removed: 1.5 -> "1.5", 2.0 -> "2".
std::string GADStringFromFloat(float value);

} // namespace ruzave
