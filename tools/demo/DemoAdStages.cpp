#include "tools/demo/DemoAdStages.h"

#include <algorithm>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Window.h"
#include "platform/web/WebView.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoCustomEventBanner.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"

namespace demo {

namespace {

using Stage = DemoAdStages::Stage;

constexpr Stage kStages[] = {
    Stage::Rendered,          Stage::Impression,      Stage::ImpressionPing, Stage::Click,
    Stage::LeftApplication,   Stage::ClickPing,       Stage::MediationResponse,
    Stage::CustomEventFill,   Stage::MediatedAd,      Stage::MediationImpressionPing,
};

// What each stage needs, said when it is missing.
const char* missingText(Stage stage) {
    switch (stage) {
    case Stage::Rendered: return "the banner's page was not painted in a visible ad view";
    case Stage::Impression: return "the slot did not count an impression for the rendered banner";
    case Stage::ImpressionPing: return "the slot counted the impression, but no impression ping reached the server";
    case Stage::Click: return "the tap on the banner did not reach the ad view";
    case Stage::LeftApplication: return "the click did not leave the app for the landing page";
    case Stage::ClickPing: return "no click ping reached the server";
    case Stage::MediationResponse: return "the mediated banner got no mediation response";
    case Stage::CustomEventFill: return "the demo's custom event was never asked for an ad";
    case Stage::MediatedAd: return "the mediated banner did not receive its custom event's ad";
    case Stage::MediationImpressionPing: return "no mediation impression ping reached the server";
    }
    return "?";
}

} // namespace

const char* DemoAdStages::stageName(Stage stage) {
    switch (stage) {
    case Stage::Rendered: return "rendered";
    case Stage::Impression: return "impression";
    case Stage::ImpressionPing: return "impression ping";
    case Stage::Click: return "click";
    case Stage::LeftApplication: return "left application";
    case Stage::ClickPing: return "click ping";
    case Stage::MediationResponse: return "mediation response";
    case Stage::CustomEventFill: return "custom event fill";
    case Stage::MediatedAd: return "mediated ad";
    case Stage::MediationImpressionPing: return "mediation impression ping";
    }
    return "?";
}

std::optional<std::string> DemoAdStages::failureReason(const Observations& o) {
    for (Stage stage : kStages) {
        if (!o.seen(stage)) return std::string("\"") + stageName(stage) + "\" failed: " + missingText(stage);
    }
    if (!o.problems.empty()) return o.problems.front();
    return std::nullopt;
}

std::size_t DemoAdStages::pixelsOfColor(const platform::WebView& webView, const platform::Color& color) {
    platform::Rect bounds = webView.bounds();
    int width = static_cast<int>(bounds.width());
    int height = static_cast<int>(bounds.height());
    if (width <= 0 || height <= 0) return 0;
    platform::Bitmap reference(1, 1);
    reference.fill(color);
    const std::uint32_t wanted = reference.pixel(0, 0);
    platform::Bitmap bitmap(width, height);
    webView.render(bitmap);
    std::size_t count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (bitmap.pixel(x, y) == wanted) ++count;
        }
    }
    return count;
}

void DemoAdStages::see(Stage stage, const std::string& text) {
    seeAt(stage, timeline_.elapsedMs(), text);
}

void DemoAdStages::seeAt(Stage stage, double ms, const std::string& text) {
    if (observations_.seen(stage)) return;
    observations_.see(stage, ms);
    timeline_.markAt(ms, text);
}

bool DemoAdStages::waitFor(const std::function<bool()>& condition, double timeoutSeconds) {
    return platform::MainLoop::main().runUntil(condition, timeoutSeconds);
}

std::size_t DemoAdStages::pingCount(const std::string& path, const std::string& queryPart) const {
    std::size_t count = 0;
    for (const auto& request : server_.pings()) {
        if (request.path == path && request.query.find(queryPart) != std::string::npos) ++count;
    }
    return count;
}

void DemoAdStages::runBanner(DemoHostApp& app, DemoBannerDelegate& delegate, double timeoutSeconds) {
    auto slot = app.banner()->slot();
    auto adView = slot ? slot->adView() : nullptr;
    auto webView = adView ? adView->webView() : nullptr;
    if (!webView) {
        observations_.problems.push_back("the banner has no ad view to render into");
        return;
    }

    // Rendered: the ad view is shown in the window and the creative's page is painted into it.
    const std::size_t area = 320 * 50;
    std::size_t painted = 0;
    waitFor(
        [&] {
            painted = pixelsOfColor(*webView, DemoServer::creativeColor());
            return !adView->isHidden() && adView->window() && painted > 0;
        },
        timeoutSeconds);
    if (!adView->isHidden() && adView->window() && painted > 0) {
        see(Stage::Rendered, "rendered: ad view shown in the window, " + std::to_string(painted) + " of " +
                                 std::to_string(area) + " pixels in the creative's colour, page " +
                                 webView->request().url().absoluteString());
        if (painted * 2 < area)
            observations_.problems.push_back("the banner's creative covers only " + std::to_string(painted) + " of " +
                                             std::to_string(area) + " pixels");
    }

    // Impression: counted on load for a banner; its trackers then go to the ping host.
    if (slot->viewHasMadeImpression()) see(Stage::Impression, "impression: counted by the slot on load");
    // Pings to the local server land within milliseconds: a short wait tells "late" from "never".
    const double pingWait = std::min(timeoutSeconds, kPingWaitSeconds);
    if (waitFor([&] { return pingCount("/pagead/adview", "ai=demo-1") > 0; }, pingWait))
        see(Stage::ImpressionPing, "impression ping: the server received /pagead/adview?ai=demo-1");
    else
        timeline_.mark("impression ping: none reached the server");

    // Click: a finger on the banner, after the delay that tells a tap from a load; the page hears the tap
    // as touches and a click on the creative's link under the finger.
    waitFor([] { return false; }, kClickDelaySeconds);
    platform::Rect frame = app.banner()->convertRectToView(app.banner()->bounds(), nullptr);
    platform::Point centre{frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2};
    auto application = platform::Application::sharedApplication();
    const std::size_t openedBefore = application->openedURLs().size();
    bool tapped = platform::TouchInjector::tap(centre, app.window());
    if (tapped && adView->isTouched()) {
        see(Stage::Click, "click: tap at (" + std::to_string(int(centre.x)) + ", " + std::to_string(int(centre.y)) +
                              ") on the banner");
    }
    if (waitFor([&] { return application->openedURLs().size() > openedBefore; }, timeoutSeconds)) {
        const auto& opened = application->openedURLs().back();
        see(Stage::LeftApplication, "left application: opened " + opened.absoluteString());
        if (!delegate.firstCallMs("adViewWillLeaveApplication"))
            observations_.problems.push_back("the app was left without adViewWillLeaveApplication");
        if (application->openedURLs().size() > openedBefore + 1)
            observations_.problems.push_back("one click opened " +
                                             std::to_string(application->openedURLs().size() - openedBefore) + " URLs");
    }
    if (waitFor([&] { return pingCount("/pagead/aclk", "ai=demo-1") > 0; }, timeoutSeconds)) {
        see(Stage::ClickPing, "click ping: the server received /pagead/aclk?ai=demo-1");
        // Let a second ping show, if one were sent.
        waitFor([] { return false; }, 0.05);
        if (pingCount("/pagead/aclk", "ai=demo-1") > 1) observations_.problems.push_back("one click pinged twice");
    }
}

void DemoAdStages::runMediation(DemoHostApp& app, const std::string& adUnitID, double timeoutSeconds) {
    DemoCustomEventBanner::registerClass();
    auto delegate = std::make_shared<DemoBannerDelegate>(timeline_, "mediated banner");
    auto banner = app.placeBanner(adUnitID, delegate, 80);
    if (!banner) {
        observations_.problems.emplace_back("the mediated banner view could not be made");
        return;
    }
    const double pingWait = std::min(timeoutSeconds, kPingWaitSeconds);
    timeline_.mark("mediated banner: loadRequest for ad unit \"" + adUnitID + "\"");
    banner->loadRequest(ruzave::GADRequest::request());
    auto mediationSeen = [&] {
        auto slot = banner->slot();
        auto ad = slot ? (slot->loadingAd() ? slot->loadingAd() : slot->ad()) : nullptr;
        return ad && ad->responseType() == ruzave::GADResponseTypeMediation;
    };
    bool ended = waitFor(
        [&] {
            if (mediationSeen())
                see(Stage::MediationResponse, "mediation response: HTTP 200 from " + std::string(DemoServer::kMediationPath) +
                                                  ", response type 2 (mediation JSON), one custom event network");
            if (DemoCustomEventBanner::filledCount() > 0)
                seeAt(Stage::CustomEventFill, timeline_.msAt(DemoCustomEventBanner::lastFillTime()), std::string("custom event fill: ") + DemoCustomEventBanner::kClassName +
                                                " (label \"" + DemoCustomEventBanner::lastLabel().value_or("") +
                                                "\", parameter \"" + DemoCustomEventBanner::lastParameter().value_or("") +
                                                "\") filled 320x50");
            return delegate->receivedCount() + delegate->failedCount() > 0;
        },
        timeoutSeconds);
    if (ended && delegate->receivedCount() > 0) {
        auto className = banner->adNetworkClassName();
        if (className && banner->mediatedAdView())
            see(Stage::MediatedAd, "mediated ad: shown through " + *className);
        else
            observations_.problems.emplace_back("the mediated banner reported an ad but shows no mediated view");
    } else if (delegate->lastError()) {
        observations_.problems.push_back("the mediated banner failed: " + DemoBannerDelegate::describe(*delegate->lastError()));
    }
    if (waitFor([&] { return pingCount("/imp", "ad_network_id=demo-custom") > 0; }, pingWait))
        see(Stage::MediationImpressionPing, "mediation impression ping: the server received /imp for network demo-custom");
}

} // namespace demo
