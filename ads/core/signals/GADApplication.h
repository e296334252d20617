#pragma once
// The process-wide record of the host app: its version and bundle identifier, the session of this
// process, the mediation adapters present, active-view identifiers, the store metadata, and the
// application statistics with the per-ad statistics waiting for the next request (the latter in
// GADApplication+Statistics.cpp). It also starts the SDK once per process (runEarlyActivities).
// Any thread, except runEarlyActivities() and didBecomeActive(), which run on the main thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ads/core/telemetry/GADStatisticDictionaryDelegate.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADAd;
class GADContentQueue;
class GADScheduler;
class GADSession;
class GADViewHierarchyTraverser;
class GADSlot;
class GADStatisticDictionary;

// Statistic dictionaries by identity; the order carries no meaning.
using GADStatisticDictionarySet = std::set<std::shared_ptr<GADStatisticDictionary>>;

class GADApplication : public GADStatisticDictionaryDelegate, public std::enable_shared_from_this<GADApplication> {
public:
    // Offered to the availability test with whatever the server names.
    static const std::vector<std::string>& builtInAdapterNames();

    static std::shared_ptr<GADApplication> sharedInstance();
    ~GADApplication() override;

    // --- Start-up.
    // The one-time start of the SDK; main thread (elsewhere it does nothing). In order: the device's
    // static parameters, the MRAID interceptor, the token dispenser, the pinger, the purchase reporter
    // (when it should run), the crash reporter, content hashing (when the setting asks for it).
    void runEarlyActivities();
    bool hasRunEarlyActivities() const { return ranEarlyActivities_.load(); }
    // Tests: hears each start-up step as it runs: "device", "mraid", "tokens", "pinger", "purchases",
    // "crash", "content" (the last three only when they act).
    static void setEarlyActivitiesObserver(std::function<void(const std::string& step)> observer);
    // NO exactly when the app is in the background after it has finished launching.
    bool isAppActive() const;
    bool appFinishedLaunching() const;
    void setAppFinishedLaunching(bool finished);

    // --- Records.
    // The app's version ("" when it has none) and bundle identifier (empty when it has none).
    const std::string& version() const { return version_; }
    const std::string& mainBundleIdentifier() const { return mainBundleIdentifier_; }
    std::shared_ptr<GADSession> currentSession() const { return currentSession_; }
    // Class names of the adapters present; nullopt until the core page has sent its first constants.
    std::optional<std::vector<std::string>> availableAdapterNames() const;
    // Ignored when the very same list is already stored.
    void setAvailableAdapterNames(const std::vector<std::string>& names);
    // The built-in names plus `names`, kept when their class exists and is an adapter.
    void updateAvailableAdapterNamesWithPotentialAdapterNames(const std::optional<std::vector<std::string>>& names);
    // 1, 2, 3, ... for the life of the process.
    std::uint32_t nextActiveViewID();
    // "iTunesMetadata.plist" beside the documents folder; nullopt without a documents folder.
    std::optional<std::string> iTunesMetadataPath() const;
    // That file's dictionary, read once per process; an empty dictionary when missing or malformed.
    platform::Value iTunesMetadata();

    // --- Content hashing (GADApplication+ContentHashing.cpp): the periodic view-tree walk whose
    // fingerprints feed "content_info". Start and stop on the main thread; the fingerprint on any.
    // Starts the walk timer with a new content queue; nothing while the timer exists.
    void startContentHashing();
    // Stops the timer; the stored contents stay and may still be served.
    void stopContentHashing();
    // The best content's fingerprint, whose score then drops by 100; nullopt without a positive score.
    std::optional<std::string> fingerprintWithServedPenaltyDeduction();
    std::shared_ptr<GADContentQueue> contentQueue() const;
    std::shared_ptr<GADScheduler> contentHashingScheduler() const { return scheduler_; }
    // The walker of the view tree while content hashing runs (main thread).
    std::shared_ptr<GADViewHierarchyTraverser> contentHashingTraverser() const { return traverser_; }
    // One walk now, as the timer does it (main thread).
    void walkViewHierarchyForContent();

    // --- Statistics (GADApplication+Statistics.cpp).
    // The application statistics ("session_id", "preqs" from -1, "pclick", "seq_num", "basets",
    // "currts" and the ad-URL answer's counters). No delegate: changes notify nobody.
    std::shared_ptr<GADStatisticDictionary> statistics() const { return statistics_; }
    const std::shared_ptr<platform::DispatchQueue>& statisticsSerialQueue() const { return statisticsSerialQueue_; }
    const std::shared_ptr<platform::DispatchQueue>& notificationSerialQueue() const { return notificationSerialQueue_; }
    // The statistics snapshot of one request: stamps "currts" (and "basets" the first time), raises
    // "seq_num", and counts the request in "preqs" (+1, or -1 for a mediating slot). The slot's state
    // is read here, on the caller's thread, never on the statistics queue.
    platform::Value nextRequestStatisticsDictionaryForSlot(const GADSlot& slot);
    platform::Value nextRequestStatisticsDictionaryForSlot(const std::shared_ptr<GADSlot>& slot);
    platform::Value nextRequestStatisticsDictionary(bool slotIsMediating);
    // Raises "seq_num" and returns the request counter "preqs" as text: the mediation pings' number.
    std::string nextSequenceNumberAsString();
    // Raises "seq_num" as above and returns the raised "seq_num" itself: a number no two callers share,
    // which the mediation pings carry so that each ping of one list is told apart.
    std::string nextUniqueSequenceNumberAsString();
    void incrementTotalAdRequestCount();
    void decrementTotalAdRequestCount();
    void incrementTotalAdClickCount();
    void incrementSequenceNumber();
    // Milliseconds since the first ad request of the process; 0 before it.
    std::uint64_t timeSinceFirstAdRequestInMilliseconds() const;
    // The per-ad statistics changed since they were last taken: taking empties the set.
    GADStatisticDictionarySet pendingAdStatistics();
    // A request that did not go out gives its set back for the next one.
    void didNotSendAdStatistics(const GADStatisticDictionarySet& statistics);
    // The ad whose click is taking the user out of the app; its return time is added on return.
    void willLeaveApplicationDueToClickOnAd(const std::shared_ptr<GADAd>& ad);
    // Main thread: the app is active again.
    void didBecomeActive();
    // The statistics of one slot, made on first use; nullopt identifiers give nullptr.
    std::shared_ptr<GADStatisticDictionary> slotStatisticsForSlotID(const std::optional<std::string>& slotID);
    // Each slot identifier mapped to a snapshot of its statistics.
    platform::Value slotStatisticsDictionary();

    // GADStatisticDictionaryDelegate: an ad's statistics changed (on the notification queue).
    std::shared_ptr<platform::DispatchQueue> notificationQueue() override { return notificationSerialQueue_; }
    void didUpdateStatisticDictionary(const std::shared_ptr<GADStatisticDictionary>& dictionary) override;

private:
    GADApplication();
    void observeDidBecomeActive();

    std::string version_;
    std::string mainBundleIdentifier_;
    std::shared_ptr<GADSession> currentSession_;
    std::shared_ptr<GADStatisticDictionary> statistics_;

    // The start-up: done only at the end of the steps; running keeps a step that uses a slot or a
    // request from starting the steps again from inside themselves.
    std::atomic<bool> ranEarlyActivities_{false};
    bool runningEarlyActivities_ = false;

    // The launch flag is read and written under the same lock.
    mutable std::mutex launchLock_;
    bool appFinishedLaunching_ = false;

    // Guards availableAdapterNames_ and activeViewID_.
    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::optional<std::vector<std::string>> availableAdapterNames_;
    std::uint32_t activeViewID_ = 0;

    std::once_flag metadataOnce_;
    platform::Value iTunesMetadata_ = platform::Value::object();

    // Guards backgroundingAd_, slotStatistics_ and the request sequence.
    std::shared_ptr<platform::DispatchQueue> statisticsSerialQueue_;
    std::shared_ptr<GADAd> backgroundingAd_;
    std::vector<std::pair<std::string, std::shared_ptr<GADStatisticDictionary>>> slotStatistics_;

    // Guards adStatistics_.
    std::shared_ptr<platform::DispatchQueue> notificationSerialQueue_;
    GADStatisticDictionarySet adStatistics_;

    std::optional<platform::NotificationCenter::Token> appBecameActiveObserver_;

    // Content hashing: the queue and timer exist while it runs (main thread); the content lock guards
    // contentQueue_ and every use of it, from the hashing queue and from request builders alike.
    std::shared_ptr<platform::DispatchQueue> contentHashingQueue_;
    std::shared_ptr<GADScheduler> scheduler_;
    std::shared_ptr<GADViewHierarchyTraverser> traverser_;
    mutable std::mutex contentLock_;
    std::shared_ptr<GADContentQueue> contentQueue_;
};

// Reads a property-list file and returns it when it is a dictionary. A file that cannot be read fills
// `error` with the internal "File could not be read." error.
std::optional<platform::Value> GADPropertyListDictionaryFromFile(const std::string& path, platform::Error* error);

} // namespace ruzave
