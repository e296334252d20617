#include "conversion/ACTClickURLReferrerAdditions.h"

#include <string>
#include <vector>

#include "platform/base/Strings.h"

namespace ruzave {

std::optional<platform::Value> act_clickURLReferrerComponents(const platform::URL& url) {
    const auto query = url.query();
    if (!query) return std::nullopt;
    std::optional<std::string> referrer;
    for (const std::string& part : platform::split(*query, "&")) {
        auto pieces = platform::split(part, "=");
        if (pieces.size() != 2 || pieces[0] != "referrer") continue;
        referrer = platform::percentDecode(pieces[1]);
        break;
    }
    if (!referrer || referrer->empty()) return std::nullopt;
    platform::Value components = platform::Value::object();
    for (const std::string& entry : platform::split(*referrer, "&")) {
        auto pieces = platform::split(entry, "=");
        if (pieces.size() == 2) components[pieces[0]] = pieces[1];
    }
    return components;
}

} // namespace ruzave
