#include "platform/base/Value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/base/Strings.h"

// The one compiled copy of the value type (see Value.h).
template class nlohmann::basic_json<nlohmann::ordered_map>;
template class nlohmann::detail::serializer<nlohmann::ordered_json>;
template class nlohmann::detail::json_ref<nlohmann::ordered_json>;

namespace platform {
namespace {

constexpr int kMaxJSONDepth = 512;
constexpr const char* kJSONErrorDomain = "platform.json";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t skipSpace(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    return i;
}

locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

long long clampToLongLong(double d) {
    if (std::isnan(d)) return 0;
    // 2^63 is exactly representable; anything at or past it does not fit.
    if (d >= 9223372036854775808.0) return std::numeric_limits<long long>::max();
    if (d < -9223372036854775808.0) return std::numeric_limits<long long>::min();
    return static_cast<long long>(d);
}

// Deepest nesting of arrays and objects, counted outside strings, stopping early past `limit`.
int nestingDepth(std::string_view text, int limit) {
    int depth = 0, deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) return deepest;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

} // namespace

long long integerValue(std::string_view text) {
    size_t i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long long magnitude = 0;
    bool overflow = false;
    const unsigned long long limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (overflow || magnitude > (limit - digit) / 10) {
            overflow = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (overflow)
        return negative ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    if (negative)
        return magnitude == 9223372036854775808ULL ? std::numeric_limits<long long>::min()
                                                   : -static_cast<long long>(magnitude);
    return static_cast<long long>(magnitude);
}

double doubleValue(std::string_view text) {
    // Scan the longest leading decimal number ourselves, so that hex, "inf" and "nan" read as 0.
    const size_t start = skipSpace(text);
    size_t i = start;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && isDigit(text[i]); ++i)
            ++digits;
    }
    if (digits == 0) return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    const std::string number(text.substr(start, i - start));
    // Overflow gives +-HUGE_VAL and underflow 0 (or a subnormal), as the original does.
    return strtod_l(number.c_str(), nullptr, cLocale());
}

bool boolValue(std::string_view text) {
    size_t i = skipSpace(text);
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    if (i >= text.size()) return false;
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

long long integerValue(const Value& v) {
    switch (v.type()) {
    case Value::value_t::number_integer:
        return v.get<long long>();
    case Value::value_t::number_unsigned: {
        const auto u = v.get<unsigned long long>();
        return u > static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                   ? std::numeric_limits<long long>::max()
                   : static_cast<long long>(u);
    }
    case Value::value_t::number_float:
        return clampToLongLong(v.get<double>());
    case Value::value_t::boolean:
        return v.get<bool>() ? 1 : 0;
    case Value::value_t::string:
        return integerValue(std::string_view(v.get_ref<const std::string&>()));
    default:
        return 0;
    }
}

double doubleValue(const Value& v) {
    switch (v.type()) {
    case Value::value_t::number_integer:
        return static_cast<double>(v.get<long long>());
    case Value::value_t::number_unsigned:
        return static_cast<double>(v.get<unsigned long long>());
    case Value::value_t::number_float:
        return v.get<double>();
    case Value::value_t::boolean:
        return v.get<bool>() ? 1.0 : 0.0;
    case Value::value_t::string:
        return doubleValue(std::string_view(v.get_ref<const std::string&>()));
    default:
        return 0.0;
    }
}

bool boolValue(const Value& v) {
    switch (v.type()) {
    case Value::value_t::number_integer:
        return v.get<long long>() != 0;
    case Value::value_t::number_unsigned:
        return v.get<unsigned long long>() != 0;
    case Value::value_t::number_float: {
        const double d = v.get<double>();
        return !std::isnan(d) && d != 0.0;
    }
    case Value::value_t::boolean:
        return v.get<bool>();
    case Value::value_t::string:
        return boolValue(std::string_view(v.get_ref<const std::string&>()));
    default:
        return false;
    }
}

std::string stringValue(const Value& v) {
    switch (v.type()) {
    case Value::value_t::string:
        return v.get<std::string>();
    case Value::value_t::number_integer:
        return std::to_string(v.get<long long>());
    case Value::value_t::number_unsigned:
        return formatUnsigned(v.get<unsigned long long>());
    case Value::value_t::number_float: {
        // The shortest text that reads back as the same double: 0.5 -> "0.5", 3.0 -> "3".
        const double d = v.get<double>();
        char buffer[64];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
        if (ec != std::errc()) return formatDouble(d, 'g', 17);
        return std::string(buffer, end);
    }
    case Value::value_t::boolean:
        return v.get<bool>() ? "1" : "0";
    default:
        return {};
    }
}

const Value* find(const Value& dict, std::string_view key) {
    if (!dict.is_object()) return nullptr;
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : &*it;
}

const std::string* findString(const Value& dict, std::string_view key) {
    const Value* v = find(dict, key);
    return v != nullptr && v->is_string() ? &v->get_ref<const std::string&>() : nullptr;
}

std::optional<Value> parseJSON(std::string_view text, Error* error) {
    const auto fail = [&](const std::string& why) -> std::optional<Value> {
        logDebug("JSON: " + escapeLogText(why));
        setError(error, Error(kJSONErrorDomain, 1, why));
        return std::nullopt;
    };
    // The parser itself is iterative, but printing, comparing and copying a value recurse.
    if (nestingDepth(text, kMaxJSONDepth) > kMaxJSONDepth)
        return fail("nesting deeper than " + std::to_string(kMaxJSONDepth));
    try {
        // Strict: the whole text, no comments; the lexer rejects invalid UTF-8 in strings.
        return Value::parse(text.begin(), text.end(), nullptr, true, false);
    } catch (const Value::exception& e) {
        return fail(e.what());
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

std::string toJSON(const Value& v, bool pretty) {
    try {
        return v.dump(pretty ? 2 : -1, ' ', false, Value::error_handler_t::replace);
    } catch (const std::exception& e) {
        logWarning(std::string("JSON: cannot write value: ") + escapeLogText(e.what()));
        return "null";
    }
}

std::string toScriptJSON(const Value& v) {
    // Valid JSON, but U+2028 and U+2029 end a line in script source.
    std::string out = toJSON(v, false);
    out = replaceAll(out, "\xE2\x80\xA8", "\\u2028");
    return replaceAll(out, "\xE2\x80\xA9", "\\u2029");
}

} // namespace platform
