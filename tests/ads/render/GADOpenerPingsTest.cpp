// A creative's web-app overlays at a real socket: the pings their pages send count in the creative's ad,
// however many overlays it opens. The clock is virtual; the pings go to a listener that never answers.
#include "ads/render/GADOpener.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "ads/render/GADBannerAdViewDelegate.h"
#include "platform/base/URL.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"
#include "tests/platform/net/NetTestSupport.h"
#include "tools/adserver/SilentServer.h"

namespace {

constexpr const char* SilentHost = "silent.overlay.example";
constexpr int PingsPerOverlay = 16;

// An overlay's page: its pings to a host that never answers, then it closes itself.
std::string pingingOverlay() {
    return "<html><body>overlay<script>for (var i = 0; i < " + std::to_string(PingsPerOverlay) +
           "; i++) location.href = 'gmsg://mobileads.ruzave.example/httpTrack?u=' + "
           "encodeURIComponent('http://" + std::string(SilentHost) + "/p?i=' + i);\n"
           "setTimeout(function () { location.href = 'gmsg://mobileads.ruzave.example/close'; }, 200);"
           "</script></body></html>";
}

// A banner creative that opens a web app with that page every second, untouched.
std::string overlayingCreative() {
    return "<html><body>ad<script>setInterval(function () {\n"
           "  location.href = 'gmsg://mobileads.ruzave.example/open?a=webapp&html=" +
           platform::percentEncode(pingingOverlay()) + "';\n}, 1000);</script></body></html>";
}

} // namespace

TEST_CASE_FIXTURE(fullscreentest::MRAIDBanner,
                  "GADOpener: a banner's web-app overlays, one a second with 16 pings each to a host that never "
                  "answers, hold at most its ad's quota of pings over five minutes at 256 descriptors") {
    const auto limits = nettest::limitDescriptors(256);
    auto silent = adserver::SilentServer::start();
    REQUIRE(silent != nullptr);
    platform::NetworkConfiguration::sharedInstance()->addHostMapping(SilentHost, 80, "127.0.0.1", silent->port());
    // The creative's messages reach the opener its router holds, as a shown banner's do.
    auto router = s.slot->adViewDelegate()->opener();
    router->setAdView(adView);
    router->setViewController(root);
    adView->loadHTMLString(overlayingCreative(), platform::URL::parse("https://ads.ruzave.example/"));

    // An ad's quota: the most one ad's pings may hold at once, its pages' and their overlays' together.
    const std::size_t quota = platform::PingScheduler::Limits{}.adPings;
    constexpr int Seconds = 300;  // ten lives of a ping
    constexpr int LastMinute = Seconds - 60;
    std::size_t most = 0;
    std::size_t mostInLastMinute = 0;
    for (int quarter = 0; quarter < 4 * Seconds; ++quarter) {
        advance(0.25);
        runUntilIdle();
        runUntil([] { return false; }, 0.002);
        const std::size_t admitted = platform::NetworkEngine::shared().pingCounts().admitted;
        CAPTURE(quarter);
        REQUIRE(admitted <= quota);
        most = std::max(most, admitted);
        if (quarter >= 4 * LastMinute) mostInLastMinute = std::max(mostInLastMinute, admitted);
    }
    const auto overlays = std::count(s.events->calls.begin(), s.events->calls.end(), "willPresent");
    const auto counts = platform::NetworkEngine::shared().pingCounts();
    MESSAGE(overlays << " overlays of " << PingsPerOverlay << " pings each: at most " << most
                     << " admitted, and at most " << mostInLastMinute << " in the last minute; at the end "
                     << counts.admitted << " admitted, " << counts.waiting << " waiting (" << limits.pingTransfers
                     << " ping places)");
    // It opened one most seconds; their pings filled the quota, and did again as their lives ended.
    CHECK(overlays >= Seconds / 2);
    CHECK(most == quota);
    CHECK(mostInLastMinute == quota);
}
