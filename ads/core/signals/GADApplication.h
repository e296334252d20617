#pragma once
// The process-wide application record: the early start, whether the app counts as active, the session
// of this process and the application statistics with their sequence numbers. Adapter names, store
// metadata, content hashing and the per-ad statistics are not built yet and answer "nothing".
// Any thread, except runEarlyActivities(), which runs on the main thread only.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ads/core/telemetry/GADStatisticDictionaryDelegate.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADSession;
class GADStatisticDictionary;

class GADApplication : public GADStatisticDictionaryDelegate {
public:
    static std::shared_ptr<GADApplication> sharedInstance();

    // The one-time start-up; main thread. Caches the device's static parameters, nothing more yet.
    void runEarlyActivities();
    bool hasRunEarlyActivities() const { return ranEarlyActivities_; }
    // NO exactly when the app is in the background after it has finished launching.
    bool isAppActive() const;
    bool appFinishedLaunching() const;
    void setAppFinishedLaunching(bool finished);
    // Adapter class names, known once the core page has sent its constants; none yet.
    std::optional<platform::Value> availableAdapterNames() const { return std::nullopt; }
    // The store metadata dictionary; none yet.
    std::optional<platform::Value> iTunesMetadata() const { return std::nullopt; }
    // Content hashing; nothing to start or stop yet.
    void startContentHashing() {}
    void stopContentHashing() {}
    // The app's version ("" when it has none) and bundle identifier.
    const std::string& version() const { return version_; }
    const std::string& mainBundleIdentifier() const { return mainBundleIdentifier_; }
    // The session of this process.
    std::shared_ptr<GADSession> currentSession() const { return currentSession_; }
    // The application statistics ("session_id", the request counter "preqs" from -1, "seq_num", and the
    // counters of the ad-URL answer). It has no delegate: changes notify nobody.
    std::shared_ptr<GADStatisticDictionary> statistics() const { return statistics_; }
    // Raises "seq_num" and returns the request counter "preqs" as text; the mediation pings' number.
    std::string nextSequenceNumberAsString();

    std::shared_ptr<platform::DispatchQueue> notificationQueue() override { return nullptr; }
    void didUpdateStatisticDictionary(const std::shared_ptr<GADStatisticDictionary>&) override {}

private:
    GADApplication();
    bool ranEarlyActivities_ = false;
    std::string version_;
    std::string mainBundleIdentifier_;
    std::shared_ptr<GADSession> currentSession_;
    std::shared_ptr<GADStatisticDictionary> statistics_;
    mutable std::mutex launchLock_;
    bool appFinishedLaunching_ = false;
    // Makes the read-modify-write of nextSequenceNumberAsString() one step.
    std::mutex sequenceLock_;
};

} // namespace ruzave
