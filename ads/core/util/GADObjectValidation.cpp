#include "ads/core/util/GADObjectValidation.h"

namespace ruzave {

const platform::Value* gad_objectForKey(const platform::Value& dictionary, std::string_view key,
                                        GADValueClass kind) {
    const platform::Value* v = platform::find(dictionary, key);
    if (v == nullptr) return nullptr;
    switch (kind) {
    case GADValueClass::String: return v->is_string() ? v : nullptr;
    case GADValueClass::Number: return (v->is_number() || v->is_boolean()) ? v : nullptr;
    case GADValueClass::Array: return v->is_array() ? v : nullptr;
    case GADValueClass::Dictionary: return v->is_object() ? v : nullptr;
    case GADValueClass::Data: return v->is_binary() ? v : nullptr;
    }
    return nullptr;
}

} // namespace ruzave
