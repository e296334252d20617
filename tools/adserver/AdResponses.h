#pragma once
// Ad responses as the ad server sends them: a standard HTML banner with the "x-zudo-" headers it needs,
// and the ping endpoints its trackers point at. Any thread.
#include <string>
#include <vector>

#include "tools/adserver/AdServer.h"

namespace adserver {

struct StandardAd {
    std::string html;                        // the creative ("" : a plain 320x50 banner)
    std::string adSize = "320x50";           // "x-zudo-ad-size" ("" : left out)
    std::string refreshRate = "60";          // "x-zudo-refresh-rate" in seconds ("" : left out)
    std::vector<std::string> impressionURLs; // "x-zudo-tracking-urls"
    std::vector<std::string> clickURLs;      // "x-zudo-click-tracking-urls"
    std::string useHTTPS = "1";              // "x-zudo-use-https" ("" : left out)
    std::string contentURLOptedOut = "true"; // "x-zudo-content-url-opted-out" ("" : left out)
    int status = 200;
};

// The creative used when StandardAd::html is empty.
std::string defaultBannerHTML();
// The response for `ad`: text/html with the headers above, in the table's order.
Response standardAdResponse(const StandardAd& ad);
// Routes `path` on `host` to `ad`, replacing an earlier route there.
void installStandardAd(AdServer& server, const std::string& host, const std::string& path, const StandardAd& ad);

// Every path below "/pagead/" and the path "/csi" answer 204 with no body: impression and click
// trackers, crash reports and timing reports all count as delivered.
void installPingEndpoints(AdServer& server);
// Whether `path` is one of the ping endpoints above.
bool isPingPath(const std::string& path);

} // namespace adserver
