#include "platform/services/NetworkInfo.h"

#include <mutex>

#include "platform/foundation/NotificationCenter.h"

namespace platform {
namespace {

struct Telephony {
    std::mutex mutex;
    std::optional<std::string> technology = std::string(NetworkInfo::technologyLTE);
    std::optional<Carrier> carrier = Carrier{"Carrier", "310", "260", "us", true};
};

Telephony& telephony() {
    static Telephony t;
    return t;
}

} // namespace

std::shared_ptr<NetworkInfo> NetworkInfo::create() { return std::shared_ptr<NetworkInfo>(new NetworkInfo()); }

std::optional<std::string> NetworkInfo::currentRadioAccessTechnology() const {
    auto& t = telephony();
    std::lock_guard lock(t.mutex);
    return t.technology;
}

std::optional<Carrier> NetworkInfo::subscriberCellularProvider() const {
    auto& t = telephony();
    std::lock_guard lock(t.mutex);
    return t.carrier;
}

void NetworkInfo::setRadioAccessTechnologyForTesting(std::optional<std::string> technology) {
    auto& t = telephony();
    {
        std::lock_guard lock(t.mutex);
        if (t.technology == technology) return;
        t.technology = std::move(technology);
    }
    // Posted outside the lock: observers read the new value.
    NotificationCenter::defaultCenter()->post(radioAccessTechnologyDidChangeNotification);
}

void NetworkInfo::setCarrierForTesting(std::optional<Carrier> carrier) {
    auto& t = telephony();
    std::lock_guard lock(t.mutex);
    t.carrier = std::move(carrier);
}

} // namespace platform
