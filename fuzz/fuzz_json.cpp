// JSON text from servers and pages: parsing never throws, what parses prints and parses back to the
// same value, and the lenient readings take any text.
#include "fuzz/FuzzSupport.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::text(data, size);
    platform::integerValue(input);
    platform::doubleValue(input);
    platform::boolValue(input);
    platform::Error error;
    auto value = platform::parseJSON(input, &error);
    if (!value) return 0;
    std::string compact = platform::toJSON(*value);
    platform::toJSON(*value, true);
    std::string script = platform::toScriptJSON(*value);
    fuzz::require(script.find("\xE2\x80\xA8") == std::string::npos);
    auto again = platform::parseJSON(compact);
    fuzz::require(again.has_value());
    fuzz::require(platform::toJSON(*again) == compact);
    if (value->is_object()) {
        for (const auto& [key, item] : value->items()) {
            platform::integerValue(item);
            platform::doubleValue(item);
            platform::boolValue(item);
            platform::stringValue(item);
            platform::find(*value, key);
            platform::findString(*value, key);
        }
    }
    return 0;
}
