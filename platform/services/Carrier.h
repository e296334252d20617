#pragma once
// The cellular provider of the SIM card. Any thread (a plain value).
#include <string>

namespace platform {

struct Carrier {
    std::string carrierName;
    std::string mobileCountryCode;
    std::string mobileNetworkCode;
    std::string isoCountryCode;
    bool allowsVOIP = true;

    bool operator==(const Carrier&) const = default;
};

} // namespace platform
