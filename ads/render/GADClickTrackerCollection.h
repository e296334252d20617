#pragma once
// Pings click and tracking URLs once each, through the shared pinger. Any thread.
#include <memory>
#include <string>
#include <vector>

#include "platform/base/URL.h"

namespace ruzave {

class GADClickTrackerCollection {
  public:
    static std::shared_ptr<GADClickTrackerCollection> sharedInstance();

    void trackURL(const platform::URL& url) { trackURL(url, true); }
    void trackURL(const platform::URL& url, bool cacheEnabled);
    // Entries that are no http(s) URL are skipped.
    void trackURLs(const std::vector<std::string>& urls, bool cacheEnabled);
    // How many pings were sent by this process (tests and the demo read it).
    std::size_t trackedCount() const;

  private:
    GADClickTrackerCollection() = default;
};

} // namespace ruzave
