#pragma once
// JSON reading and writing additions on dictionaries and strings. Pure functions; any thread.
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace ruzave {

// Whether the JSON writer accepts `v`: a dictionary or array at the top, no bytes, no non-finite
// numbers, valid UTF-8 strings, anywhere inside.
bool gad_isValidJSONObject(const platform::Value& v);

// The JSON text of a dictionary the writer accepts; else nullopt with the internal error 2
// "Invalid JSON object.".
std::optional<std::string> gad_JSONStringPretty(const platform::Value& dictionary, bool pretty,
                                                platform::Error* error = nullptr);

// The dictionary with each value the writer refuses replaced by its description text (nested
// dictionaries made safe in turn). Non-dictionaries come back unchanged.
platform::Value gad_JSONSafeDictionary(const platform::Value& dictionary);

// The object read from `text`, fragments allowed; nullopt with the reader's error.
std::optional<platform::Value> gad_decodedJSONObjectError(std::string_view text, platform::Error* error = nullptr);

// The platform's description text of a value: strings as they are, bytes as "<0a1b2c3d ...>", numbers
// in "%g", containers as JSON of their described contents.
std::string gad_valueDescription(const platform::Value& v);

} // namespace ruzave
