#pragma once
// Dynamic values: dictionaries, arrays, strings, numbers, booleans, null, and bytes (JSON binary).
// Insertion-ordered, so a dictionary prints its keys in the order they were set. Any thread
// (a Value is a plain value; share one across threads only read-only).
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// The value type is compiled once, in Value.cpp: without these declarations every file that touches a
// Value would instantiate and compile its whole class (and the serializer its printing needs) again.
extern template class nlohmann::basic_json<nlohmann::ordered_map>;
extern template class nlohmann::detail::serializer<nlohmann::ordered_json>;
extern template class nlohmann::detail::json_ref<nlohmann::ordered_json>;

namespace platform {

struct Error;

using Value = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;

// The original's lenient readings of a value (strings and numbers alike): decimal only,
// locale-independent, 0 / false / "" on anything unreadable.
long long integerValue(const Value& v);
double doubleValue(const Value& v);
// True when the first character after white space, an optional sign and leading zeros is
// Y, y, T, t or 1 to 9. Numbers: non-zero. Booleans: themselves.
bool boolValue(const Value& v);
// Strings as they are; numbers printed ("%g"-like for doubles, plain for integers); booleans "1"/"0"; else "".
std::string stringValue(const Value& v);

long long integerValue(std::string_view text);
double doubleValue(std::string_view text);
bool boolValue(std::string_view text);
// Text arguments would otherwise be ambiguous between Value and string_view.
inline long long integerValue(const char* text) {
    return integerValue(std::string_view(text != nullptr ? text : ""));
}
inline long long integerValue(const std::string& text) {
    return integerValue(std::string_view(text));
}
inline double doubleValue(const char* text) {
    return doubleValue(std::string_view(text != nullptr ? text : ""));
}
inline double doubleValue(const std::string& text) {
    return doubleValue(std::string_view(text));
}
inline bool boolValue(const char* text) {
    return boolValue(std::string_view(text != nullptr ? text : ""));
}
inline bool boolValue(const std::string& text) {
    return boolValue(std::string_view(text));
}

// Typed lookups in a dictionary; missing keys or wrong types give nullptr.
const Value* find(const Value& dict, std::string_view key);
const std::string* findString(const Value& dict, std::string_view key);

// Strict whole-text JSON parsing. Fragments (a bare string, number, ...) are allowed. Bad input
// (including invalid UTF-8) gives nullopt and fills `error`; never throws.
std::optional<Value> parseJSON(std::string_view text, Error* error = nullptr);
// Compact or pretty JSON text. Invalid UTF-8 inside strings is replaced, never throws.
std::string toJSON(const Value& v, bool pretty = false);
// JSON safe to splice into script source: also escapes U+2028 and U+2029.
std::string toScriptJSON(const Value& v);

} // namespace platform
