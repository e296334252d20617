#pragma once
// Watches the reachability of a fixed public host and turns each change into a network type:
// unknown, none, Wi-Fi or cellular; remembers the last connected type and counts the changes.
// Any thread: fields live on a serial queue (reads wait, changes are queued).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class DispatchQueue;
class Reachability;
} // namespace platform

namespace ruzave {

enum GADNetworkType : std::uint32_t {
    GADNetworkTypeUnknown = 0,
    GADNetworkTypeNone = 1,
    GADNetworkTypeWiFi = 2,
    GADNetworkTypeCellular = 3,
};

class GADNetwork : public std::enable_shared_from_this<GADNetwork> {
public:
    static constexpr const char* kReachabilityHostName = "www.ruzave.com";
    static constexpr std::uint32_t kReachableFlag = 0x2;
    static constexpr std::uint32_t kWWANFlag = 0x40000;

    static std::shared_ptr<GADNetwork> init();
    // Stops watching without queueing anything that would touch the object.
    ~GADNetwork();

    // While checking is on the object keeps itself alive; its owner must disable it.
    void enableNetworkChecking();
    void disableNetworkChecking();
    bool isCheckingEnabled() const;

    GADNetworkType networkType() const;
    void setNetworkType(GADNetworkType type);
    void setNetworkTypeFromFlags(std::uint32_t flags);
    std::uint32_t changeCount() const;
    GADNetworkType lastKnownNetworkType() const;
    // "wi", "ed", or nullopt for unknown and none.
    std::optional<std::string> networkTypeString() const;
    std::optional<std::string> lastKnownNetworkTypeString() const;

    static std::optional<std::string> stringForNetworkType(GADNetworkType type);

private:
    GADNetwork() = default;

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::shared_ptr<platform::DispatchQueue> enableCheckingQueue_;
    // Touched only on lockQueue_.
    std::shared_ptr<GADNetwork> selfReference_;
    std::uint32_t changeCount_ = 0;
    GADNetworkType networkType_ = GADNetworkTypeUnknown;
    GADNetworkType lastKnownNetworkType_ = GADNetworkTypeUnknown;
    std::shared_ptr<platform::Reachability> networkReachabilityRef_;
};

} // namespace ruzave
