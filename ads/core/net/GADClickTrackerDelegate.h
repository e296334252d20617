#pragma once
// What a click tracker reports once it is done. Main thread; both optional.
#include <optional>

#include "platform/base/Error.h"
#include "platform/base/URL.h"

namespace ruzave {

class GADClickTracker;

class GADClickTrackerDelegate {
  public:
    virtual ~GADClickTrackerDelegate() = default;
    // Where the URL ended: the last URL requested, or the non-web URL a redirect pointed at.
    virtual void trackerDidRedirect(GADClickTracker& tracker, const platform::URL& url) {
        (void)tracker;
        (void)url;
    }
    virtual void trackerDidFailWithError(GADClickTracker& tracker, const std::optional<platform::Error>& error) {
        (void)tracker;
        (void)error;
    }
};

} // namespace ruzave
