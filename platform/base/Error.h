#pragma once
// An error value: domain, numeric code, description and extra information. Any thread.
#include <string>
#include <utility>

#include "platform/base/Value.h"

namespace platform {

// The user-info key under which an error carries the error that caused it.
inline constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";

struct Error {
    std::string domain;
    long code = 0;
    std::string description;
    Value userInfo = Value::object();

    Error() = default;
    Error(std::string d, long c, std::string desc = {}, Value info = Value::object())
        : domain(std::move(d)), code(c), description(std::move(desc)), userInfo(std::move(info)) {}

    bool empty() const { return domain.empty() && code == 0 && description.empty(); }
    // The underlying error, when one was attached with setUnderlying().
    std::optional<Error> underlying() const;
    void setUnderlying(const Error& e);
    // A dictionary form, for logs and for nesting.
    Value toValue() const;
    static Error fromValue(const Value& v);
};

// Fills an optional out-parameter.
inline void setError(Error* out, Error e) {
    if (out != nullptr) *out = std::move(e);
}

} // namespace platform
