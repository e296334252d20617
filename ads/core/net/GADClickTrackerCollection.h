#pragma once
// The process's running click trackers: starts one per tracking URL and lets it go (deleting what it
// downloaded) once it has reported. Main thread.
#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ads/core/net/GADClickTracker.h"
#include "ads/core/net/GADClickTrackerDelegate.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADClickTrackerCollection : public GADClickTrackerDelegate,
                                  public std::enable_shared_from_this<GADClickTrackerCollection> {
  public:
    static std::shared_ptr<GADClickTrackerCollection> sharedInstance();
    ~GADClickTrackerCollection() override;

    void trackURL(const platform::URL& url) { trackURL(url, true); }
    void trackURL(const platform::URL& url, bool cacheEnabled);
    // Each entry in order: URL strings are parsed (skipped when they form no URL), anything else skipped.
    void trackURLs(const platform::Value& urls, bool cacheEnabled);
    void trackURLs(const std::vector<std::string>& urls, bool cacheEnabled);
    void trackURLs(const std::vector<platform::URL>& urls, bool cacheEnabled);

    // Drops the trackers that have reported.
    void cleanupTrackers();
    std::size_t runningTrackerCount() const { return trackers_.size(); }
    // How many trackers this process has started (tests and the demo read it).
    std::size_t trackedCount() const;

    // GADClickTrackerDelegate.
    void trackerDidRedirect(GADClickTracker& tracker, const platform::URL& url) override;
    void trackerDidFailWithError(GADClickTracker& tracker, const std::optional<platform::Error>& error) override;

  private:
    GADClickTrackerCollection() = default;
    void scheduleCleanup();

    std::set<std::shared_ptr<GADClickTracker>> trackers_;
    bool cleanupScheduled_ = false;
};

} // namespace ruzave
