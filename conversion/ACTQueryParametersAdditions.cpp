#include "conversion/ACTQueryParametersAdditions.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "conversion/ACTEscapeAdditions.h"
#include "platform/base/Strings.h"

namespace ruzave {

namespace {

// A number's default text: integers as they are, doubles in their shortest round-trip form.
std::optional<std::string> elementText(const platform::Value& element) {
    if (element.is_string()) return ACTPercentEscapedStringOrEmpty(element.get_ref<const std::string&>());
    if (element.is_boolean()) return std::string(element.get<bool>() ? "1" : "0");
    if (element.is_number_integer()) return std::to_string(element.get<long long>());
    if (element.is_number_unsigned()) return std::to_string(element.get<unsigned long long>());
    if (element.is_number_float()) {
        char buffer[64];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, element.get<double>());
        if (result.ec != std::errc()) return std::nullopt;
        return std::string(buffer, result.ptr);
    }
    return std::nullopt;
}

} // namespace

std::string act_queryParametersJoinedByString(const platform::Value& parameters, std::string_view separator) {
    if (!parameters.is_object()) return {};
    std::vector<std::string> keys;
    keys.reserve(parameters.size());
    for (auto it = parameters.begin(); it != parameters.end(); ++it) keys.push_back(it.key());
    // Case-insensitive order; keys that differ only in case keep a fixed order among themselves.
    std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
        const int c = platform::caseInsensitiveCompare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    std::string out;
    for (const std::string& key : keys) {
        const platform::Value& value = parameters.at(key);
        const std::string escapedKey = ACTPercentEscapedStringOrEmpty(key);
        auto add = [&](const platform::Value& element) {
            auto text = elementText(element);
            if (!text) return;
            if (!out.empty()) out.append(separator);
            out += escapedKey + "=" + *text;
        };
        if (value.is_array()) {
            for (const auto& element : value) add(element);
        } else {
            add(value);
        }
    }
    return out;
}

platform::Value act_formattedSmartPixelDataDictionary(const platform::Value& parameters) {
    platform::Value out = platform::Value::object();
    if (!parameters.is_object()) return out;
    for (auto it = parameters.begin(); it != parameters.end(); ++it) out["data." + it.key()] = it.value();
    return out;
}

} // namespace ruzave
