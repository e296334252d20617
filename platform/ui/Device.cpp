#include "platform/ui/Device.h"

#include <cctype>

#include "platform/base/Crypto.h"

namespace platform {

std::shared_ptr<Device> Device::currentDevice() {
    // Never destroyed: background work still running while the process exits may ask for it.
    static const auto* device = new std::shared_ptr<Device>(std::make_shared<Device>());
    return *device;
}

std::array<int, 3> Device::parseVersion(const std::string& version) {
    std::array<int, 3> out{0, 0, 0};
    std::size_t part = 0, i = 0;
    while (part < 3 && i < version.size()) {
        long value = 0;
        bool digits = false;
        while (i < version.size() && std::isdigit(static_cast<unsigned char>(version[i]))) {
            if (value < 100000) value = value * 10 + (version[i] - '0');
            digits = true;
            ++i;
        }
        if (!digits) break;
        out[part++] = int(value);
        if (i < version.size() && version[i] == '.') ++i;
        else break;
    }
    return out;
}

std::array<int, 3> Device::systemVersionTriple() const { return parseVersion(systemVersion_); }

bool Device::isSystemVersionAtLeast(const std::string& version) const {
    return systemVersionTriple() >= parseVersion(version);
}

std::string Device::identifierForVendor() const {
    static const std::string id = uuidString();
    return id;
}

} // namespace platform
