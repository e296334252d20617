#pragma once
// Typed dictionary lookup. Pure; any thread.
#include <string_view>

#include "platform/base/Value.h"

namespace ruzave {

// The kinds of value a lookup may demand. Booleans count as numbers, as they do on the platform.
enum class GADValueClass { String, Number, Array, Dictionary, Data };

// The value under `key` when it is of the kind asked for, else nullptr (also for a non-dictionary).
const platform::Value* gad_objectForKey(const platform::Value& dictionary, std::string_view key,
                                        GADValueClass kind);

} // namespace ruzave
