#pragma once
// The stand-in for network reachability: every target reads the process-wide flags that tests set
// (reachable over Wi-Fi by default). A started notifier hears each change, not the initial reading,
// on the chosen queue (default: the main loop). Any thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

class DispatchQueue;

class Reachability : public std::enable_shared_from_this<Reachability> {
public:
    enum Flag : std::uint32_t {
        TransientConnection = 1u << 0,
        Reachable = 1u << 1,
        ConnectionRequired = 1u << 2,
        ConnectionOnTraffic = 1u << 3,
        InterventionRequired = 1u << 4,
        ConnectionOnDemand = 1u << 5,
        IsLocalAddress = 1u << 16,
        IsDirect = 1u << 17,
        IsWWAN = 1u << 18,
    };
    using Callback = std::function<void(Reachability& target, std::uint32_t flags)>;

    // nullptr for an empty name.
    static std::shared_ptr<Reachability> forHostName(const std::string& hostName);
    // nullptr unless `address` is an IPv4 or IPv6 literal.
    static std::shared_ptr<Reachability> forAddress(const std::string& address);

    const std::string& target() const { return target_; }
    // The flags now; `ok` is set to whether they could be read (always, here).
    std::uint32_t currentFlags(bool* ok = nullptr) const;

    // The callback runs on `queue` (nullptr: the main loop). Set it before starting the notifier.
    void setCallback(Callback callback, std::shared_ptr<DispatchQueue> queue = nullptr);
    // False without a callback.
    bool startNotifier();
    void stopNotifier();
    bool isNotifying() const;

    // Tests: the flags every target reads from now on; started notifiers hear the change.
    static void setGlobalFlagsForTesting(std::uint32_t flags);
    static std::uint32_t globalFlags();
    // Back to the default (reachable over Wi-Fi), without notifying.
    static void resetForTesting();
    // Whether the flags let a connection be tried without intervention.
    static bool isReachable(std::uint32_t flags);

    ~Reachability();

private:
    explicit Reachability(std::string target) : target_(std::move(target)) {}
    void notify(std::uint32_t flags);

    std::string target_;
    mutable std::mutex mutex_;
    Callback callback_;
    std::shared_ptr<DispatchQueue> queue_;
    bool notifying_ = false;
    std::uint64_t generation_ = 0;  // grows with each start and stop, so stale deliveries drop
};

} // namespace platform
