#pragma once
// Shared by the tracker tests: the local server with its tracking endpoints, and a recorder of what a
// tracker reports. Main thread.
#include <optional>
#include <string>
#include <vector>

#include "FetchTestSupport.h"
#include "ads/core/net/GADClickTrackerDelegate.h"
#include "ads/core/util/GADURLEncoding.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/TrackingRoutes.h"

namespace tracking_harness {

struct TrackingFixture : fetchtest::ServerFixture {
    TrackingFixture() {
        adserver::installTrackingEndpoints(*server);
        adserver::installPingEndpoints(*server);
    }
    static std::string ping(const std::string& pathAndQuery) {
        return "https://" + std::string(ruzave::GADHosts::kPingHost) + pathAndQuery;
    }
    static std::string redirectTo(const std::string& url) {
        return ping("/track/redirect?to=" + ruzave::gad_stringByEscapingAsURLParameter(url));
    }
};

struct TrackerRecorder : ruzave::GADClickTrackerDelegate {
    std::vector<std::string> redirects;
    std::vector<std::optional<platform::Error>> failures;
    void trackerDidRedirect(ruzave::GADClickTracker&, const platform::URL& url) override {
        redirects.push_back(url.absoluteString());
    }
    void trackerDidFailWithError(ruzave::GADClickTracker&, const std::optional<platform::Error>& error) override {
        failures.push_back(error);
    }
    std::size_t reports() const { return redirects.size() + failures.size(); }
};

} // namespace tracking_harness
