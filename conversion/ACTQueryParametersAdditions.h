#pragma once
// Dictionary additions of the conversion library: the ping query join and the "data." custom
// parameter form. Free functions; any thread.
#include <string>
#include <string_view>

#include "platform/base/Value.h"

namespace ruzave {

// "key=value" pairs of `parameters` (an object) joined by `separator`, keys sorted case-insensitively.
// An array value gives one pair per element, in order. Strings are percent-escaped, numbers and
// booleans written as decimal text; other elements (null, objects, bytes) give no pair. A
// non-object gives "".
std::string act_queryParametersJoinedByString(const platform::Value& parameters, std::string_view separator);
// The same values under "data.<key>"; a non-object gives an empty object.
platform::Value act_formattedSmartPixelDataDictionary(const platform::Value& parameters);

} // namespace ruzave
