#pragma once
// A request to buy a quantity of one product. Any thread (a plain value).
#include <string>

namespace platform {

struct Payment {
    std::string productIdentifier;
    long quantity = 1;

    bool operator==(const Payment&) const = default;
};

} // namespace platform
