#pragma once
// Property lists (XML or binary) to and from Values. Dictionaries, arrays, strings, integers, reals and
// booleans map to their JSON kinds; dates become seconds since 1970 (a double); data becomes JSON binary.
// Any thread.
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Value.h"

namespace platform {

struct Error;

class PropertyList {
  public:
    // XML or binary, told apart by the content. Garbage gives nullopt and fills `error`.
    static std::optional<Value> parse(std::string_view bytes, Error* error = nullptr);
    // XML text. Null has no property-list form: a Value holding one gives nullopt and fills `error`.
    static std::optional<std::string> toXML(const Value& value, Error* error = nullptr);
};

} // namespace platform
