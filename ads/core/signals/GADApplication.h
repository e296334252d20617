#pragma once
// The process-wide application record. Only the surface that the shared types call is here so far:
// the early-start hook, the adapter names and store metadata (none known yet), and the statistics
// delegate role (it asks to hear of nothing yet). Any thread.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/telemetry/GADStatisticDictionaryDelegate.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADSession;

class GADApplication : public GADStatisticDictionaryDelegate {
public:
    static std::shared_ptr<GADApplication> sharedInstance();

    // The one-time start-up; main thread. Caches the device's static parameters, nothing more yet.
    void runEarlyActivities();
    bool hasRunEarlyActivities() const { return ranEarlyActivities_; }
    // Adapter class names, known once the core page has sent its constants; none yet.
    std::optional<platform::Value> availableAdapterNames() const { return std::nullopt; }
    // The store metadata dictionary; none yet.
    std::optional<platform::Value> iTunesMetadata() const { return std::nullopt; }
    // Content hashing; nothing to start or stop yet.
    void startContentHashing() {}
    void stopContentHashing() {}
    // The app's version and bundle identifier.
    std::string version() const;
    std::string mainBundleIdentifier() const;
    // The session of this process, made once.
    std::shared_ptr<GADSession> currentSession() const;
    // A new decimal number on each call (pings of one process never share one).
    std::string nextSequenceNumberAsString();
    // The application statistics: the ad history counters the quality signals carry. Made once, with
    // no delegate (changes notify nobody); GADApplication+Statistics.cpp.
    std::shared_ptr<GADStatisticDictionary> statistics() const;

    std::shared_ptr<platform::DispatchQueue> notificationQueue() override { return nullptr; }
    void didUpdateStatisticDictionary(const std::shared_ptr<GADStatisticDictionary>&) override {}

private:
    GADApplication() = default;
    bool ranEarlyActivities_ = false;
    std::atomic<long long> sequenceNumber_{0};
};

} // namespace ruzave
