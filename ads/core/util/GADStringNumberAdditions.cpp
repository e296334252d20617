#include "ads/core/util/GADStringNumberAdditions.h"

#include "common/StringCodec.h"
#include "platform/base/Crypto.h"
#include "platform/base/Strings.h"

namespace ruzave {

std::optional<std::vector<std::uint8_t>> gad_MD5Data(std::string_view text) {
    if (!isValidUTF8(text)) return std::nullopt;
    const std::string hex = platform::md5Hex(text);
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string gad_MD5String(std::string_view text) {
    if (!isValidUTF8(text)) return {};
    return platform::toLowerASCII(platform::md5Hex(text));
}

std::string GADStringFromBool(bool value) { return value ? "1" : "0"; }

std::string GADStringFromFloat(float value) {
    std::string s = platform::format("%f", static_cast<double>(value));
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

} // namespace ruzave
