#include "platform/base/Error.h"

namespace platform {

std::optional<Error> Error::underlying() const {
    if (!userInfo.is_object()) return std::nullopt;
    const auto it = userInfo.find(kUnderlyingErrorKey);
    if (it == userInfo.end() || !it->is_object()) return std::nullopt;
    return fromValue(*it);
}

void Error::setUnderlying(const Error& e) {
    if (!userInfo.is_object()) userInfo = Value::object();
    userInfo[kUnderlyingErrorKey] = e.toValue();
}

Value Error::toValue() const {
    Value v = Value::object();
    v["domain"] = domain;
    v["code"] = code;
    v["description"] = description;
    v["userInfo"] = userInfo.is_object() ? userInfo : Value::object();
    return v;
}

Error Error::fromValue(const Value& v) {
    Error e;
    if (!v.is_object()) return e;
    if (const Value* d = find(v, "domain"); d != nullptr && d->is_string()) e.domain = d->get<std::string>();
    if (const Value* c = find(v, "code"); c != nullptr) e.code = static_cast<long>(integerValue(*c));
    if (const Value* s = find(v, "description"); s != nullptr && s->is_string())
        e.description = s->get<std::string>();
    if (const Value* u = find(v, "userInfo"); u != nullptr && u->is_object()) e.userInfo = *u;
    return e;
}

} // namespace platform
