#include "ads/core/util/GADJSONAdditions.h"

#include <cmath>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "common/StringCodec.h"
#include "platform/base/Strings.h"

namespace ruzave {

namespace {

bool acceptable(const platform::Value& v) {
    switch (v.type()) {
    case platform::Value::value_t::binary: return false;
    case platform::Value::value_t::number_float: return std::isfinite(v.get<double>());
    case platform::Value::value_t::string: return isValidUTF8(v.get_ref<const std::string&>());
    case platform::Value::value_t::object:
        for (const auto& [k, item] : v.items()) {
            if (!isValidUTF8(k) || !acceptable(item)) return false;
        }
        return true;
    case platform::Value::value_t::array:
        for (const auto& item : v) {
            if (!acceptable(item)) return false;
        }
        return true;
    default: return true;
    }
}

platform::Value described(const platform::Value& v) {
    if (v.is_object()) {
        platform::Value out = platform::Value::object();
        for (const auto& [k, item] : v.items()) out[k] = described(item);
        return out;
    }
    if (v.is_array()) {
        platform::Value out = platform::Value::array();
        for (const auto& item : v) out.push_back(described(item));
        return out;
    }
    if (acceptable(v)) return v;
    return gad_valueDescription(v);
}

} // namespace

std::string gad_valueDescription(const platform::Value& v) {
    switch (v.type()) {
    case platform::Value::value_t::string: return v.get<std::string>();
    case platform::Value::value_t::binary: {
        std::string out = "<";
        const auto& bytes = v.get_binary();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0 && i % 4 == 0) out += ' ';
            out += platform::format("%02x", bytes[i]);
        }
        return out + ">";
    }
    case platform::Value::value_t::number_float: return platform::formatDouble(v.get<double>(), 'g', 17);
    case platform::Value::value_t::object:
    case platform::Value::value_t::array: return platform::toJSON(described(v), true);
    default: return platform::stringValue(v);
    }
}

bool gad_isValidJSONObject(const platform::Value& v) {
    return (v.is_object() || v.is_array()) && acceptable(v);
}

std::optional<std::string> gad_JSONStringPretty(const platform::Value& dictionary, bool pretty,
                                                platform::Error* error) {
    if (!gad_isValidJSONObject(dictionary)) {
        platform::setError(error, gad_errorWithCode(GADInternalErrorInternal, std::string("Invalid JSON object.")));
        return std::nullopt;
    }
    return platform::toJSON(dictionary, pretty);
}

platform::Value gad_JSONSafeDictionary(const platform::Value& dictionary) {
    if (!dictionary.is_object() || dictionary.empty()) return dictionary;
    platform::Value out = dictionary;
    for (auto& [key, value] : out.items()) {
        if (value.is_object()) {
            value = gad_JSONSafeDictionary(value);
        } else if (!acceptable(value)) {
            value = gad_valueDescription(value);
        }
    }
    return out;
}

std::optional<platform::Value> gad_decodedJSONObjectError(std::string_view text, platform::Error* error) {
    return platform::parseJSON(text, error);
}

} // namespace ruzave
