#pragma once
// Telephony facts: the current radio access technology and the cellular provider. The radio is shared by
// every NetworkInfo; tests set it, and each change posts radioAccessTechnologyDidChangeNotification
// (object: nullptr) from the thread that made it. Any thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/services/Carrier.h"

namespace platform {

class NetworkInfo {
public:
    static constexpr const char* radioAccessTechnologyDidChangeNotification =
        "NetworkInfoRadioAccessTechnologyDidChangeNotification";
    // The system's names for the technologies, reported as they are.
    static constexpr const char* technologyGPRS = "CTRadioAccessTechnologyGPRS";
    static constexpr const char* technologyEdge = "CTRadioAccessTechnologyEdge";
    static constexpr const char* technologyWCDMA = "CTRadioAccessTechnologyWCDMA";
    static constexpr const char* technologyHSDPA = "CTRadioAccessTechnologyHSDPA";
    static constexpr const char* technologyHSUPA = "CTRadioAccessTechnologyHSUPA";
    static constexpr const char* technologyCDMA1x = "CTRadioAccessTechnologyCDMA1x";
    static constexpr const char* technologyCDMAEVDORev0 = "CTRadioAccessTechnologyCDMAEVDORev0";
    static constexpr const char* technologyCDMAEVDORevA = "CTRadioAccessTechnologyCDMAEVDORevA";
    static constexpr const char* technologyCDMAEVDORevB = "CTRadioAccessTechnologyCDMAEVDORevB";
    static constexpr const char* technologyEHRPD = "CTRadioAccessTechnologyeHRPD";
    static constexpr const char* technologyLTE = "CTRadioAccessTechnologyLTE";

    static std::shared_ptr<NetworkInfo> create();

    // nullopt without a cellular connection.
    std::optional<std::string> currentRadioAccessTechnology() const;
    // nullopt without a SIM card.
    std::optional<Carrier> subscriberCellularProvider() const;

    // Tests. Setting the value it already has posts nothing.
    static void setRadioAccessTechnologyForTesting(std::optional<std::string> technology);
    static void setCarrierForTesting(std::optional<Carrier> carrier);

private:
    NetworkInfo() = default;
};

} // namespace platform
