#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "../core/net/FetchTestSupport.h"
#include "../core/slot/SlotTestSupport.h"
#include "../core/telemetry/CSITestSupport.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/telemetry/GADCSIReporter.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADDelayPageLoadGMSGHandler.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "ads/render/GADOpener.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/Clock.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tools/adserver/MRAIDScripts.h"

using platform::WebViewNavigationType;
using platform::testing::Harness;
using ruzave::GADBannerAdViewDelegate;
using ruzave::GADSlot;
using namespace slottest;

namespace {

std::vector<std::string> opened() {
    std::vector<std::string> out;
    for (const auto& u : platform::Application::sharedApplication()->openedURLs()) out.push_back(u.absoluteString());
    return out;
}

// A slot rendering `html` (state 5) in its own ad view.
struct RenderFixture : Harness {
    FakeNeighbours fakes;
    std::shared_ptr<FakeOwner> owner = std::make_shared<FakeOwner>();
    std::shared_ptr<GADSlot> slot = makeSlot(owner);

    void render(const std::string& html, const std::string& base = "https://ads.ruzave.example/creative/") {
        auto ad = ruzave::GADAd::init();
        ad->setAdBaseURL(platform::URL::parse(base));
        auto fetcher = startFetch(fakes, *slot, ad);
        fetcher->succeed(ruzave::GADResponseTypeStandard, html);
    }
    bool settled() { return slot->state() != ruzave::GADSlotStateRenderingAd && !slot->adView()->isLoading(); }
    std::shared_ptr<GADBannerAdViewDelegate> delegate() { return slot->adViewDelegate(); }
    bool navigate(const std::string& url, WebViewNavigationType type = WebViewNavigationType::Other) {
        return delegate()->adView(slot->adView(), *platform::URLRequest::withURLString(url), type).value_or(true);
    }
};

} // namespace

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a finished load makes the ad valid, shown and counted") {
    render("<p>ad</p>");
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    slot->adView()->setHidden(true);
    REQUIRE(runUntil([&] { return settled(); }));
    CHECK(slot->state() == ruzave::GADSlotStateValidAd);
    CHECK_FALSE(slot->adView()->isHidden());
    CHECK(slot->viewHasMadeImpression());
    CHECK(owner->finished == 1);
    CHECK(delegate()->isLoadFinished());
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a delayed load shows only after as many stops as starts") {
    render("<p>ad</p>");
    REQUIRE(runUntil([&] { return settled(); }));
    // The next ad renders while its creative holds the load back twice.
    slot->setState(ruzave::GADSlotStateRenderingAd);
    auto handler = std::dynamic_pointer_cast<ruzave::GADDelayPageLoadGMSGHandler>(delegate()->gmsgHandlers().back());
    REQUIRE(handler);
    handler->handleDelayLoadWithParameters(platform::Value{{"start", "1"}});
    handler->handleDelayLoadWithParameters(platform::Value{{"start", "1"}});
    delegate()->adViewDidFinishLoad(slot->adView());
    CHECK(delegate()->isLoadDelayed());
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    handler->handleDelayLoadWithParameters(platform::Value{{"stop", "1"}});
    CHECK(handler->delayCount() == 1);
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    handler->handleDelayLoadWithParameters(platform::Value{{"stop", "1"}});
    CHECK(slot->state() == ruzave::GADSlotStateValidAd);
    // Stops at 0 reach nobody.
    handler->handleDelayLoadWithParameters(platform::Value{{"stop", "1"}});
    CHECK(handler->delayCount() == 0);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a cancelled delay fails the load, and the next ad starts afresh") {
    render("<p>ad</p>");
    REQUIRE(runUntil([&] { return settled(); }));
    slot->setState(ruzave::GADSlotStateRenderingAd);
    auto handler = std::dynamic_pointer_cast<ruzave::GADDelayPageLoadGMSGHandler>(delegate()->gmsgHandlers().back());
    REQUIRE(handler);
    handler->handleDelayLoadWithParameters(platform::Value{{"start", "1"}});
    delegate()->adViewDidFinishLoad(slot->adView());
    handler->handleDelayLoadWithParameters(platform::Value{{"cancel", "1"}});
    CHECK(slot->state() == ruzave::GADSlotStateInvalidAd);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorNetworkError);
    CHECK(handler->delegate() == nullptr);
    // A new ad: the delay of the last one is gone, and the handler reaches this delegate again.
    render("<p>next</p>");
    REQUIRE(runUntil([&] { return settled(); }));
    CHECK(slot->state() == ruzave::GADSlotStateValidAd);
    CHECK_FALSE(delegate()->isLoadDelayed());
    CHECK(handler->delegate() != nullptr);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: load failures count only while fetching or rendering") {
    render("<p>ad</p>");
    REQUIRE(runUntil([&] { return settled(); }));
    platform::Error failure("WebKitErrorDomain", 1, "late");
    delegate()->adView(slot->adView(), failure);
    slot->setState(ruzave::GADSlotStateInvalidAd);
    delegate()->adView(slot->adView(), failure);
    CHECK(owner->errors.empty());
    slot->setState(ruzave::GADSlotStateRenderingAd);
    delegate()->adView(slot->adView(), failure);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorNetworkError);
    // The web view's reason goes with it, in the description and as the cause.
    CHECK(owner->errors[0].description ==
          ruzave::GADRequestError::defaultDescription(ruzave::GADRequestErrorNetworkError) +
              " The creative failed to load: late.");
    REQUIRE(owner->errors[0].underlying());
    CHECK(owner->errors[0].underlying()->domain == "WebKitErrorDomain");
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: clicks need a touch, time after the load and a forward navigation") {
    render("<p>ad</p>");
    REQUIRE(runUntil([&] { return settled(); }));
    CHECK_FALSE(delegate()->isClick(WebViewNavigationType::LinkClicked)); // not touched
    slot->adView()->setTouched(true);
    CHECK_FALSE(delegate()->isClick(WebViewNavigationType::LinkClicked)); // right after the load
    advance(0.2);
    CHECK(delegate()->isClick(WebViewNavigationType::LinkClicked));
    CHECK(delegate()->isClick(WebViewNavigationType::Other));
    CHECK_FALSE(delegate()->isClick(WebViewNavigationType::Reload));
    CHECK_FALSE(delegate()->isClick(WebViewNavigationType::BackForward));
    slot->setState(ruzave::GADSlotStateRenderingAd);
    CHECK_FALSE(delegate()->isClick(WebViewNavigationType::LinkClicked));
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a click leaves the app once, is counted once and stays off the page") {
    render("<p>ad</p>");
    REQUIRE(runUntil([&] { return settled(); }));
    slot->adView()->setTouched(true);
    advance(0.2);
    CHECK_FALSE(navigate("https://shop.example/landing", WebViewNavigationType::LinkClicked));
    // A gmsg URL in the same touch is a message, not a click.
    CHECK_FALSE(navigate("gmsg://h/log?string=x", WebViewNavigationType::LinkClicked));
    runUntilIdle();
    CHECK(opened() == std::vector<std::string>{"https://shop.example/landing"});
    CHECK(delegate()->opener()->didOpenAnotherApplication());
    CHECK(slot->adView()->URL()->absoluteString() == "https://ads.ruzave.example/creative/");
    auto stats = slot->ad()->statistics()->dictionary();
    CHECK(platform::integerValue(stats.value("pcc", platform::Value(0))) == 1);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a banner slot's page gets the banner script, an interstitial's the other") {
    CHECK(delegate()->MRAIDScriptKind() == ruzave::GADMRAIDScriptKind::Banner);
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    CHECK(delegate()->MRAIDScriptKind() == ruzave::GADMRAIDScriptKind::Interstitial);
}

TEST_CASE_FIXTURE(Harness, "GADBannerAdViewDelegate: a page that never finishes, throws or loops leaves the slot defined") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = makeSlot(owner);
    auto ad = ruzave::GADAd::init();
    ad->setAdBaseURL(platform::URL::parse("https://ads.ruzave.example/loop/"));
    auto fetcher = startFetch(fakes, *slot, ad);
    fetcher->succeed(ruzave::GADResponseTypeStandard,
                     std::string("<script>throw new Error('x');</script><script>while(true){}</script>"
                                 "<script>location.href='gmsg://h/unknown';</script>"));
    runUntil([&] { return slot->state() != ruzave::GADSlotStateRenderingAd; }, 5);
    runUntilIdle();
    CHECK((slot->state() == ruzave::GADSlotStateValidAd || slot->state() == ruzave::GADSlotStateInvalidAd));
    slot.reset();
    runUntilIdle();
}

// ------------------------------------------------------------------ against the local ad server

namespace {

struct ServerRender : fetchtest::ServerFixture {
    // Set before the slot is made: the shared timing reporter draws whether to report once, at first use.
    std::shared_ptr<ruzave::GADCSI> csi;
    FakeNeighbours fakes;
    std::shared_ptr<FakeOwner> owner = std::make_shared<FakeOwner>();
    std::shared_ptr<GADSlot> slot = makeSlot(owner);
    explicit ServerRender(const char* reportingProbability = nullptr)
        : csi(reportingProbability ? csitest::reportingCSI(reportingProbability) : nullptr) {
        adserver::installMRAIDScripts(*server);
        ruzave::GADMRAIDInterceptor::resetToDefaultPaths();
        ruzave::GADMRAIDInterceptor::allow();
        ruzave::GADAdURLStash::removeAllForTesting();
        platform::Device::currentDevice()->setSystemVersion("8.4");
    }
    void render(const std::string& html, std::vector<platform::URL> clickURLs = {}) {
        auto ad = ruzave::GADAd::init();
        ad->setAdBaseURL(platform::URL::parse("https://ads.ruzave.example/creative/"));
        ad->addClickURLsFromArray(clickURLs);
        auto fetcher = startFetch(fakes, *slot, ad);
        fetcher->succeed(ruzave::GADResponseTypeStandard, html);
    }
};

// Every process reports its timings.
struct ReportingServerRender : ServerRender {
    ReportingServerRender() : ServerRender("1") {}
};

const char* kMRAIDAd = "<html><body><script src='mraid.js'></script>"
                       "<div style='width:320px;height:50px;background:#f00'>ad</div>"
                       "<script>var ready = !!window.mraid;</script></body></html>";

} // namespace

TEST_CASE_FIXTURE(ServerRender, "GADBannerAdViewDelegate: a served MRAID banner loads, is shown and counted") {
    render(kMRAIDAd);
    REQUIRE(settle([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    CHECK_FALSE(slot->adView()->isHidden());
    CHECK(slot->viewHasMadeImpression());
    CHECK(slot->adView()->evaluate("ready") == "true");
    CHECK(slot->adView()->evaluate("mraid.getPlacementType()") == "inline");
    CHECK(server->requests("/mads/static/mad/sdk/native/mraid/v2/mraid_app_banner.js").size() == 1);
    CHECK(server->requests("/creative/mraid.js").empty());
    // The slot's load is over: its enable is given back.
    CHECK(ruzave::GADMRAIDInterceptor::enableCount() == 0);
}

TEST_CASE_FIXTURE(ServerRender, "GADBannerAdViewDelegate: mraid.js is intercepted only for live ad pages") {
    auto plain = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    int participant = 0;
    ruzave::GADMRAIDInterceptor::enableCanInitWithRequest(&participant);
    plain->loadHTMLString(kMRAIDAd, platform::URL::parse("https://ads.ruzave.example/other/"));
    REQUIRE(settle([&] { return !plain->isLoading() && plain->evaluate("typeof ready") == "boolean"; }));
    CHECK(plain->evaluate("ready") == "false");
    CHECK(server->requests("/other/mraid.js").size() == 1);
    ruzave::GADMRAIDInterceptor::disableCanInitWithRequest(&participant);
}

TEST_CASE_FIXTURE(ServerRender, "GADBannerAdViewDelegate: a failed script fetch fails the script, never an empty answer") {
    adserver::MRAIDScriptOptions options;
    options.status = 500;
    adserver::installMRAIDScripts(*server, options);
    render(kMRAIDAd);
    REQUIRE(settle([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    CHECK(slot->adView()->evaluate("ready") == "false");
    CHECK(server->requests("/creative/mraid.js").empty());
}

TEST_CASE_FIXTURE(ReportingServerRender, "GADBannerAdViewDelegate: a loaded page is the start a creative's ticks are timed from") {
    render("<p>ad</p>");
    REQUIRE(settle([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    const std::int64_t loaded = csi->timestampForLabel(ruzave::GADCSI::kViewLoadLabel);
    CHECK(loaded == static_cast<std::int64_t>(platform::Clock::wallTime() * 1000.0));
    // The creative ticks 250 ms later against the default start.
    slot->adView()->evaluate("location.href = 'gmsg://h/instrument?action=tick&label=first_paint&timestamp=" +
                             std::to_string(loaded + 250) + "'");
    REQUIRE(runUntil([&] { return csi->timestampForLabel("first_paint") != 0; }));
    auto recorder = csi->timeRecorderForAction(std::string(ruzave::GADCSI::kMakeWebViewAction));
    REQUIRE(recorder);
    auto url = ruzave::GADCSIReporter::initWithConfiguration(csi->configuration())->URLForTimeRecorder(recorder);
    REQUIRE(url);
    CHECK(ruzave::gad_parameterValueForKey(*url, "it") == std::optional<std::string>("first_paint.250"));
}

TEST_CASE_FIXTURE(ServerRender, "GADBannerAdViewDelegate: a creative's messages reach their handlers in order") {
    std::vector<std::string> events;
    struct AppEvents : FakeOwner {
        std::vector<std::string>* log = nullptr;
        void slotDidReceiveAppEventWithInfo(GADSlot&, const std::string& name, const std::optional<std::string>& info) override {
            log->push_back(name + "=" + info.value_or("nil"));
        }
    };
    auto events_owner = std::make_shared<AppEvents>();
    events_owner->log = &events;
    slot->setSlotDelegate(events_owner);
    render("<script>for (var i = 0; i < 5; i++) { location.href = 'gmsg://h/appEvent?name=e' + i + (i == 2 ? '' : '&info=' + i); }"
           "location.href='gmsg://h/httpTrack?u=' + encodeURIComponent('https://ping.ruzave.example/track?x=1');</script>");
    REQUIRE(settle([&] { return events.size() == 5 && slot->state() == ruzave::GADSlotStateValidAd; }));
    CHECK(events == std::vector<std::string>{"e0=0", "e1=1", "e2=nil", "e3=3", "e4=4"});
    CHECK(server->waitForRequest("/track", 1));
}

TEST_CASE_FIXTURE(ServerRender, "GADBannerAdViewDelegate: what a creative's messages name are its page's pings, admitted "
                                "once by its ad's quota, and each goes on past the page's close") {
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60);  // cut short when the server stops
    server->route("/track/hang", hang);
    // Tracking and click messages to a URL on the ad host that never answers, with no tap.
    render("<script>function send(kind, n) { location.href = 'gmsg://h/' + kind + '?u=' +"
           " encodeURIComponent('https://ads.ruzave.example/track/hang?n=' + n); }"
           "for (var i = 0; i < 8; i++) send('httpTrack', i); for (; i < 12; i++) send('click', i);</script>",
           {*platform::URL::parse("https://ads.ruzave.example/pagead/aclk?id=1")});
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    auto& engine = platform::NetworkEngine::shared();
    auto page = slot->adView()->webView()->currentPage();
    REQUIRE(runUntil([&] { return engine.pingCounts().admitted == 12; }));
    // Pings are not among the page's loads; six to the host go at once, the others wait their turn.
    CHECK(page->loadsForPageCount() == 0);
    REQUIRE(runUntil([&] { return server->requestCount("/track/hang") == 6; }));
    // The SDK's own click ping to the same host goes out at once all the same.
    slot->pingClickURLs();
    CHECK(runUntil([&] { return server->requestCount("/pagead/aclk") == 1; }));

    // Its ad's quota bounds what it has in flight: past it a ping is refused at once, unsent. These are
    // made later, so they live on past the first twelve.
    const platform::PingScheduler::Limits quotas;
    constexpr double Later = 10;
    advance(Later);
    slot->adView()->evaluate("for (var i = 100; i < 200; i++) send('httpTrack', i);");
    REQUIRE(runUntil([&] { return engine.pingCounts().admitted == quotas.adPings; }));
    runUntilIdle();
    CHECK(engine.pingCounts().admitted == quotas.adPings);

    // The creative goes: its pings go on, none dropped. The first twelve fail at the end of their life,
    // under way or waiting, and six of the later ones to the host take the places.
    render("<p>next</p>");
    runUntilIdle();
    CHECK(engine.pingCounts().admitted == quotas.adPings);
    CHECK(server->requestCount("/track/hang") == 6);
    advance(platform::PingScheduler::LifeSeconds - Later + 1);
    REQUIRE(runUntil([&] { return server->requestCount("/track/hang") == 12; }));
    CHECK(runUntil([&] { return engine.pingCounts().admitted == quotas.adPings - 12; }));
}

TEST_CASE_FIXTURE(ServerRender, "GADBannerAdViewDelegate: a tapped banner's click leaves the app once and pings its click URL once") {
    render("<a id='go' href='https://shop.example/landing'>buy</a>",
           {*platform::URL::parse("https://ping.ruzave.example/click?id=1")});
    REQUIRE(settle([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    slot->adView()->setTouched(true);
    advance(0.2);
    slot->adView()->evaluate("location.href = document.getElementById('go').href;");
    REQUIRE(settle([&] { return !opened().empty(); }));
    CHECK(opened() == std::vector<std::string>{"https://shop.example/landing"});
    CHECK(server->waitForRequest("/click", 1));
    runUntilIdle();
    CHECK(server->requests("/click").size() == 1);
    CHECK(slot->adView()->URL()->absoluteString() == "https://ads.ruzave.example/creative/");
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a page that delays its load while loading shows only after it stops") {
    render("<script>location.href = 'gmsg://h/delayPageLoaded?start=1';</script>"
           "<div style='width:320px;height:50px;background:#0f0'></div>");
    REQUIRE(runUntil([&] { return !slot->adView()->isLoading() && delegate()->isLoadFinished(); }));
    runUntilIdle();
    advance(1);
    CHECK(delegate()->isLoadDelayed());
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    CHECK_FALSE(slot->viewHasMadeImpression());
    CHECK(owner->finished == 0);
    slot->adView()->evaluate("location.href = 'gmsg://h/delayPageLoaded?stop=1';");
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    CHECK_FALSE(slot->adView()->isHidden());
    CHECK(slot->viewHasMadeImpression());
    CHECK(owner->finished == 1);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a page that starts and cancels its delay while loading fails once") {
    render("<script>location.href = 'gmsg://h/delayPageLoaded?start=1';"
           "location.href = 'gmsg://h/delayPageLoaded?cancel=1';</script><p>ad</p>");
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateInvalidAd; }));
    runUntilIdle();
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorNetworkError);
    CHECK(owner->finished == 0);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a delay started and stopped while loading does not hold the ad") {
    render("<script>location.href = 'gmsg://h/delayPageLoaded?start=1';"
           "location.href = 'gmsg://h/delayPageLoaded?stop=1';</script><p>ad</p>");
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    CHECK_FALSE(delegate()->isLoadDelayed());
    CHECK(owner->finished == 1);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: banners take the full-screen creative's messages without acting") {
    std::vector<std::string> posted;
    auto center = platform::NotificationCenter::defaultCenter();
    auto a = center->addObserver("customClose", nullptr, nullptr, [&](const platform::Notification&) { posted.push_back("c"); });
    auto b = center->addObserver("setInterstitialProperties", nullptr, nullptr,
                                 [&](const platform::Notification&) { posted.push_back("s"); });
    render("<script>location.href = 'gmsg://h/customClose?custom_close=1';"
           "location.href = 'gmsg://h/setInterstitialProperties?transparentBackground=1';</script><p>ad</p>");
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    runUntilIdle();
    CHECK(posted.empty());
    center->removeObserver(a);
    center->removeObserver(b);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a creative stopped for running away while loading is a failed ad, once") {
    render("<div>ad</div><script>for (;;) { new Array(1000).join('x'); }</script><script>var later = 1;</script>");
    REQUIRE(runUntil([&] { return !owner->errors.empty(); }, 10));
    runUntilIdle();
    advance(1.0);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorNetworkError);
    CHECK(slot->state() != ruzave::GADSlotStateRenderingAd);
}

TEST_CASE_FIXTURE(RenderFixture, "GADBannerAdViewDelegate: a shown creative that runs away later stays shown") {
    render("<p>ad</p><script>setTimeout(function () { for (;;) {} }, 100);</script>");
    REQUIRE(runUntil([&] { return settled(); }));
    auto shown = slot->state();
    advance(0.2);
    runUntilIdle();
    CHECK(owner->errors.empty());
    CHECK(slot->state() == shown);
}

namespace {

struct SizeOwner : FakeOwner {
    void slotContentSizeDidChange(GADSlot&, platform::Size size) override { sizes.push_back(size); }
    std::vector<platform::Size> sizes;
};

} // namespace

TEST_CASE_FIXTURE(fetchtest::ServerFixture, "GADBannerAdViewDelegate: a fluid creative that grows after its load resizes its owner") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<SizeOwner>();
    auto slot = makeSlot(owner);
    auto ad = ruzave::GADAd::init();
    ad->setAdBaseURL(platform::URL::parse("https://ads.ruzave.example/fluid/"));
    ad->setFluid(true);
    auto fetcher = startFetch(fakes, *slot, ad);
    REQUIRE(fetcher);
    fetcher->succeed(ruzave::GADResponseTypeStandard,
                     std::string("<html><body style='margin:0'><div id='ad' style='width:320px;height:40px'></div>"
                                 "<script>setTimeout(function () {"
                                 "document.getElementById('ad').style.height = '700px'; }, 2000);</script>"
                                 "</body></html>"));
    REQUIRE(settle([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    REQUIRE_FALSE(owner->sizes.empty());
    const std::size_t atLoad = owner->sizes.size();
    advance(2 + platform::WebPage::FrameInterval);  // laid out at the frame after the change
    REQUIRE(runUntil([&] { return owner->sizes.size() > atLoad; }));
    CHECK(owner->sizes.back().height == 700);
}
