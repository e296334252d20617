// The main road end to end: a banner view asks the SDK-core page served by the local ad server over
// TLS for its ad URL, fetches the ad from the same server and shows it.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/WebPage.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"

using adserver::CorePageScenario;
using platform::testing::Harness;
using ruzave::GADHosts;

namespace {

constexpr const char* kAdPath = "/mads/gma";
const std::string kAdHTML =
    "<html><body style=\"margin:0\"><div style=\"width:320px;height:50px;background:#0a0\">Ad</div></body></html>";

struct Recorder : ruzave::GADBannerViewDelegate {
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { calls.push_back("received"); }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error& error) override {
        calls.push_back("failed");
        errors.push_back(error);
    }
    std::vector<std::string> calls;
    std::vector<platform::Error> errors;
};

// The local server with the core page and an ad route, and a banner in a window, ready to load.
struct Road : Harness {
    explicit Road(const CorePageScenario& scenario = {}, int adStatus = 200) {
        server = sdkcoretest::startCoreServer(scenario);
        server->routeHost(GADHosts::kAdServerHost, kAdPath, [adStatus](const adserver::Request&) {
            return adStatus == 200 ? adserver::Response::html(kAdHTML)
                                   : adserver::Response::html("<html><body>error</body></html>", adStatus);
        });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        controller = platform::ViewController::create();
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
        REQUIRE(banner);
        controller->view()->addSubview(banner);
        banner->setRootViewController(controller);
        banner->setDelegate(delegate);
    }

    void load(const std::string& adUnitID) {
        banner->setAdUnitID(adUnitID);
        banner->loadRequest(ruzave::GADRequest::request());
    }
    bool settled() { return sdkcoretest::pump(*this, [&] { return !delegate->calls.empty(); }, 20); }
    std::size_t adFetches() const { return server->requestCount(kAdPath); }
    ruzave::GADSlotState state() const { return banner->slot()->state(); }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> controller;
    std::shared_ptr<ruzave::GADBannerView> banner;
    std::shared_ptr<Recorder> delegate = std::make_shared<Recorder>();
};

CorePageScenario scenarioFor(const std::string& unit, CorePageScenario::Answer answer) {
    CorePageScenario s;
    s.slots[unit] = CorePageScenario::answer(answer);
    return s;
}

} // namespace

TEST_CASE("GADBannerView: an ad unit loads through the core page and the ad server into adViewDidReceiveAd") {
    Road road;
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
    CHECK(road.state() == ruzave::GADSlotStateValidAd);
    CHECK(road.banner->hasLoadedAd());
    // The page built the URL from the parameters the slot sent it: the unit and the request id.
    auto fetches = road.server->requests(kAdPath);
    REQUIRE(fetches.size() == 1);
    CHECK(fetches[0].host == GADHosts::kAdServerHost);
    CHECK(fetches[0].param("slotname") == "e2e-unit");
    CHECK(fetches[0].param("request_id") == "1");
    CHECK(fetches[0].param("js") == ruzave::GADRequest::sdkVersion());
    CHECK(sdkcoretest::pageLoads(*road.server) == 1);
    // The next load reuses the loaded page and gets the next id.
    road.delegate->calls.clear();
    road.banner->loadRequest(ruzave::GADRequest::request());
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
    REQUIRE(road.adFetches() == 2);
    CHECK(road.server->requests(kAdPath)[1].param("request_id") == "2");
    CHECK(sdkcoretest::pageLoads(*road.server) == 1);
}

TEST_CASE("GADBannerView: a ready ad in the page's loadAd answer is shown without a fetch") {
    CorePageScenario s;
    auto answer = CorePageScenario::answer(CorePageScenario::Answer::Ad);
    platform::Value fetched = platform::Value::object();
    fetched["ad_html"] = kAdHTML;
    fetched["ad_base_url"] = "https://ads.ruzave.example/";
    answer.fetchedAdJSON = platform::toJSON(fetched);
    s.slots["ready"] = answer;
    Road road(s);
    road.load("ready");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
    CHECK(road.state() == ruzave::GADSlotStateValidAd);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: a page answer with errors fails with code 0 and fetches nothing") {
    Road road(scenarioFor("bad-unit", CorePageScenario::Answer::Error));
    road.load("bad-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorInvalidRequest);
    CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: a request the page refuses with invalidRequest fails with code 0") {
    Road road(scenarioFor("refused", CorePageScenario::Answer::Invalid));
    road.load("refused");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorInvalidRequest);
    CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: a page that never answers fails with code 2 after 30 seconds, and the next unit is served") {
    Road road(scenarioFor("silent", CorePageScenario::Answer::None));
    road.load("silent");
    // The page has the request and stays quiet.
    REQUIRE(sdkcoretest::pump(road, [&] {
        return road.banner->slot()->requestID().has_value() && road.server->requestCount(GADHosts::kSDKCorePagePath) == 1;
    }));
    sdkcoretest::pump(road, [] { return false; }, 0.3);
    CHECK(road.delegate->calls.empty());
    CHECK(road.state() == ruzave::GADSlotStateRequestingAdURL);
    road.advance(30.5);
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorNetworkError);
    CHECK(road.state() == ruzave::GADSlotStateSDKCoreFailed);

    road.delegate->calls.clear();
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
}

TEST_CASE("GADBannerView: a core page that fails to load fails the request with code 2") {
    CorePageScenario s;
    s.pageStatus = 500;
    Road road(s);
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorNetworkError);
    CHECK(road.state() == ruzave::GADSlotStateSDKCoreFailed);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: an ad server answering 500 fails the load with code 3") {
    Road road({}, 500);
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorServerError);
    CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    CHECK(road.adFetches() == 1);
    CHECK_FALSE(road.banner->hasLoadedAd());
}

TEST_CASE("GADBannerView: a creative stopped at its own limits fails with code 2 and a description naming "
          "the cause") {
    std::string pastNodeCap = "<html><body>";
    pastNodeCap.reserve(12 * 100'100);
    for (int i = 0; i < 100'001; ++i)
        pastNodeCap += "<b></b>";
    pastNodeCap += "</body></html>";
    const struct {
        std::string name;
        std::string html;
        const char* cause;
    } creatives[] = {
        {"markup past the node cap", pastNodeCap, "markup"},
        {"a script past its time", "<html><body>ad<script>for (;;) {}</script></body></html>", "time limit"},
    };
    for (const auto& creative : creatives) {
        CAPTURE(creative.name);
        Road road;
        road.server->routeHost(
            GADHosts::kAdServerHost, kAdPath,
            [html = creative.html](const adserver::Request&) { return adserver::Response::html(html); });
        road.load("e2e-unit");
        REQUIRE(road.settled());
        CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
        const platform::Error& error = road.delegate->errors.at(0);
        CHECK(error.domain == ruzave::kGADErrorDomain);
        CHECK(error.code == ruzave::GADRequestErrorNetworkError);
        // The text apps knew still leads; the web view's reason follows it.
        CHECK(error.description.rfind(
                  ruzave::GADRequestError::defaultDescription(ruzave::GADRequestErrorNetworkError), 0) == 0);
        CHECK(error.description.find(creative.cause) != std::string::npos);
        CHECK(error.userInfo.value(ruzave::kGADLocalizedDescriptionKey, std::string()) == error.description);
        auto cause = error.underlying();
        REQUIRE(cause);
        CHECK(cause->domain == platform::ScriptContext::ErrorDomain);
        if (std::string(creative.cause) == "markup") {
            // Whichever of its limits the parse reaches first: the node cap, or its time on a slow machine.
            CHECK((cause->code == platform::WebPage::MarkupLimitCode ||
                   cause->code == platform::ScriptContext::TimeLimitCode));
        } else {
            CHECK(cause->code == platform::ScriptContext::TimeLimitCode);
        }
        CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    }
}
