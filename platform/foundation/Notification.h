#pragma once
// A posted notification: its name, the object it concerns (an identity only, never dereferenced by the
// center) and extra information. A plain value; any thread.
#include <string>

#include "platform/base/Value.h"

namespace platform {

struct Notification {
    std::string name;
    const void* object = nullptr;
    Value userInfo = Value::object();
};

} // namespace platform
