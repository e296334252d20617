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
// A 320x50 creative that adds images once it has loaded, so that the ad is shown while they load (or
// hang): each of `imageURLs`, taken out of the document again at once when `removeImages` says so, then
// the one at `pixelURL`, whose outcome the page keeps in its variable `pixel` ("", "load" or "error").
// `imagesPerTurn` of them at a time (0: all), a second apart, keep a page that adds thousands within its
// share of the main thread; the page counts those added in its variable `added`. With a `linkURL`, a link to
// it covers the banner. URLs are written into the page as they are.
struct ImageCreative {
    std::vector<std::string> imageURLs;
    bool removeImages = false;
    std::size_t imagesPerTurn = 0;
    std::string pixelURL;
    std::string linkURL;
};
std::string imageCreativeHTML(const ImageCreative& creative);

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
