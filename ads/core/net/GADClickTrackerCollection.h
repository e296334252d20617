#pragma once
// The process's running click trackers: starts one per tracking URL and lets it go (deleting what it
// downloaded) once it has reported. A URL the SDK tracks of its own accord (the ad response's impression
// and click URLs) is the app's request; a URL a creative named (its tracking messages, the trackers it
// passes along, the report URLs of a purchase it opened) is that creative's page's web content, bounded
// and charged there, and goes on past the page's close as a beacon, within the page's quota and deadline
// (see platform::WebPage::connectionForPage). Such a URL comes as a GADPageURL, which only the page's entry
// points take. Main thread.
#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ads/core/net/GADClickTracker.h"
#include "ads/core/net/GADClickTrackerDelegate.h"
#include "ads/core/net/GADPageURL.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADClickTrackerCollection : public GADClickTrackerDelegate,
                                  public std::enable_shared_from_this<GADClickTrackerCollection> {
  public:
    static std::shared_ptr<GADClickTrackerCollection> sharedInstance();
    ~GADClickTrackerCollection() override;

    // The SDK's own.
    void trackURL(const platform::URL& url) { trackURL(url, true); }
    void trackURL(const platform::URL& url, bool cacheEnabled) { start(url, cacheEnabled, nullptr); }
    // Each entry in order: URL strings are parsed (skipped when they form no URL), anything else skipped.
    void trackURLs(const platform::Value& urls, bool cacheEnabled);
    void trackURLs(const std::vector<std::string>& urls, bool cacheEnabled);
    void trackURLs(const std::vector<platform::URL>& urls, bool cacheEnabled);
    // A page's URL is never the app's to send.
    void trackURL(const GADPageURL&) = delete;
    void trackURL(const GADPageURL&, bool) = delete;
    void trackURLs(const std::vector<GADPageURL>&, bool) = delete;

    // Named by a creative's page: loaded as that page's (nothing is loaded once the page has gone, or
    // for a URL made without a page).
    void trackURLForPage(const GADPageURL& url, bool cacheEnabled = true);
    void trackURLsForPage(const std::vector<GADPageURL>& urls, bool cacheEnabled);

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
    // `page` null: the app's own; otherwise for that page.
    void start(const platform::URL& url, bool cacheEnabled, const platform::WebDocumentRef* page);
    void scheduleCleanup();

    std::set<std::shared_ptr<GADClickTracker>> trackers_;
    bool cleanupScheduled_ = false;
};

} // namespace ruzave
