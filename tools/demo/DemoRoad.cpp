#include "tools/demo/DemoRoad.h"

#include <chrono>
#include <cstdio>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/slot/GADSlot.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"

namespace demo {

namespace {

using Stage = DemoRoad::Stage;

constexpr Stage kRoad[] = {
    Stage::SDKStart,  Stage::LoadRequest, Stage::CorePageRequested, Stage::CorePageLoaded,
    Stage::Constants, Stage::AdURL,       Stage::Fetch,             Stage::ReceivedAd,
};

std::string requestLine(const adserver::Request& request) {
    std::string line = request.method + " https://" + request.host + request.path;
    if (!request.query.empty()) line += "?" + request.query;
    return line;
}

} // namespace

std::optional<DemoRoad::Stage> DemoRoad::Observations::lastStage() const {
    std::optional<Stage> last;
    for (Stage stage : kRoad) {
        if (seen(stage)) last = stage;
    }
    return last;
}

const char* DemoRoad::stageName(Stage stage) {
    switch (stage) {
    case Stage::SDKStart: return "SDK start";
    case Stage::LoadRequest: return "loadRequest";
    case Stage::CorePageRequested: return "core page requested";
    case Stage::CorePageLoaded: return "core page loaded";
    case Stage::Constants: return "constants";
    case Stage::AdURL: return "ad URL";
    case Stage::Fetch: return "fetch";
    case Stage::ReceivedAd: return "adViewDidReceiveAd";
    }
    return "?";
}

std::string DemoRoad::responseTypeName(std::uint32_t responseType) {
    switch (responseType) {
    case ruzave::GADResponseTypeNone: return "0 (none)";
    case ruzave::GADResponseTypeStandard: return "1 (standard HTML)";
    case ruzave::GADResponseTypeMediation: return "2 (mediation JSON)";
    case ruzave::GADResponseTypeNative: return "3 (native JSON)";
    case ruzave::GADResponseTypeCustomRendering: return "4 (custom rendering HTML)";
    }
    return std::to_string(responseType) + " (unknown)";
}

std::optional<std::string> DemoRoad::failureReason(const Observations& o) {
    auto last = o.lastStage();
    std::string after = last ? std::string(" after \"") + stageName(*last) + "\"" : std::string(" before any stage");
    // The first stage of the road that was not seen, for the reader who wants to know where to look.
    std::optional<Stage> missing;
    for (Stage stage : kRoad) {
        if (!o.seen(stage)) {
            missing = stage;
            break;
        }
    }
    if (o.failure) {
        std::string why = "adViewDidFailToReceiveAdWithError: " + DemoBannerDelegate::describe(*o.failure) + after;
        if (missing && *missing != Stage::ReceivedAd)
            why += std::string(", the road never reached \"") + stageName(*missing) + "\"";
        return why;
    }
    if (o.timedOut || !o.seen(Stage::ReceivedAd)) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", o.timeoutSeconds);
        std::string why = std::string("no delegate call within ") + seconds + " s, the road stopped" + after;
        if (missing) why += std::string(" (no \"") + stageName(*missing) + "\")";
        return why;
    }
    if (missing) return std::string("adViewDidReceiveAd came, but \"") + stageName(*missing) + "\" was never seen";
    if (!o.problems.empty()) return o.problems.front();
    if (o.extraDelegateCalls > 0)
        return "the load ended more than once (" + std::to_string(o.extraDelegateCalls + 1) + " delegate calls)";
    return std::nullopt;
}

double DemoRoad::serverMs(double serverSeconds) const {
    auto when = server_.startedAt() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(serverSeconds));
    return timeline_.msAt(when);
}

void DemoRoad::see(Stage stage, const std::string& text) {
    seeAt(stage, timeline_.elapsedMs(), text);
}

void DemoRoad::seeAt(Stage stage, double ms, const std::string& text) {
    if (observations_.seen(stage)) return;
    observations_.see(stage, ms);
    timeline_.markAt(ms, text);
}

void DemoRoad::probeStart() {
    if (!observations_.seen(Stage::SDKStart) && ruzave::GADApplication::sharedInstance()->hasRunEarlyActivities())
        see(Stage::SDKStart, "SDK start: early activities ran");
}

void DemoRoad::probe(DemoHostApp& app) {
    probeStart();
    if (!observations_.seen(Stage::LoadRequest)) return;

    if (!observations_.seen(Stage::CorePageRequested)) {
        auto pages = server_.server().requests(ruzave::GADHosts::kSDKCorePagePath);
        if (!pages.empty()) seeAt(Stage::CorePageRequested, serverMs(pages.front().time), "core page requested: " + requestLine(pages.front()));
    }
    // Only once the page was asked for: the controller exists by then, and the probe creates nothing.
    if (observations_.seen(Stage::CorePageRequested)) {
        auto controller = ruzave::GADSDKCoreController::sharedInstance();
        auto page = controller->activeSDKCoreWebView();
        auto state = page ? page->state() : ruzave::GADSDKCoreWebViewStateIdle;
        if (state == ruzave::GADSDKCoreWebViewStateLoaded) see(Stage::CorePageLoaded, "core page loaded");
        if (state == ruzave::GADSDKCoreWebViewStateFailed && !corePageFailureShown_) {
            corePageFailureShown_ = true;
            timeline_.mark("core page failed to load");
        }
        if (observations_.seen(Stage::CorePageLoaded) && !observations_.seen(Stage::Constants) &&
            !controller->SDKConstantsNeedReload()) {
            auto defaults = platform::UserDefaults::standard();
            std::string stored;
            std::size_t count = 0;
            for (const auto& [name, value] : server_.constants()) {
                auto got = defaults->string(std::string(ruzave::GADSDKCoreController::kSettingsPrefix) + name);
                if (!got || *got != value) continue;
                ++count;
                stored += (stored.empty() ? "" : ", ") + name + "=" + *got;
            }
            std::string counts = std::to_string(count) + " of " + std::to_string(server_.constants().size());
            see(Stage::Constants, "constants: loadSdkConstants answered, " + counts + " stored (" + stored + ")");
            if (count < server_.constants().size())
                observations_.problems.push_back("only " + counts + " constants were stored in the user defaults");
        }
    }

    auto slot = app.banner()->slot();
    if (!slot) return;
    // A failed fetch leaves no ad on the slot to look at.
    if (observations_.seen(Stage::AdURL) && !observations_.seen(Stage::Fetch) && !fetchFailureShown_ &&
        slot->state() == ruzave::GADSlotStateInvalidAd && server_.adRequestCount() > 0) {
        fetchFailureShown_ = true;
        timeline_.mark("fetch: no usable ad, the server answered HTTP " + std::to_string(server_.lastAdStatus()));
    }
    auto ad = slot->loadingAd() ? slot->loadingAd() : slot->ad();
    if (!ad) return;
    if (!observations_.seen(Stage::AdURL) && ad->adURL())
        see(Stage::AdURL, "ad URL: " + ad->adURL()->absoluteString());
    if (observations_.seen(Stage::AdURL) && !observations_.seen(Stage::Fetch)) {
        auto state = slot->state();
        bool pastFetch = state == ruzave::GADSlotStateRenderingAd || state == ruzave::GADSlotStateValidAd;
        if (pastFetch && ad->adHTML() && !ad->adHTML()->empty()) {
            see(Stage::Fetch, "fetch: HTTP " + std::to_string(server_.lastAdStatus()) + ", response type " +
                                      responseTypeName(ad->responseType()) + ", " +
                                      std::to_string(ad->adHTML()->size()) + " bytes of HTML");
        }
    }
}

const DemoRoad::Observations& DemoRoad::run(DemoHostApp& app, double timeoutSeconds, double settleSeconds) {
    auto& loop = platform::MainLoop::main();
    observations_.timeoutSeconds = timeoutSeconds;
    probe(app);
    see(Stage::LoadRequest, "loadRequest: GADRequest sent for ad unit \"" + app.banner()->adUnitID() + "\"");
    app.loadAd();
    auto ended = [this] { return delegate_.receivedCount() + delegate_.failedCount() > 0; };
    loop.runUntil(
        [&] {
            probe(app);
            return ended();
        },
        timeoutSeconds);
    observations_.timedOut = !ended();
    if (delegate_.receivedCount() > 0) observations_.see(Stage::ReceivedAd, *delegate_.firstCallMs("adViewDidReceiveAd"));
    if (delegate_.lastError()) observations_.failure = delegate_.lastError();

    // Pings go out after the ad is shown; give them a moment, and catch a second load result meanwhile.
    std::size_t expectedPings = server_.pings().size() + 1;
    loop.runUntil(
        [&] {
            probe(app);
            return server_.pings().size() >= expectedPings;
        },
        settleSeconds);
    std::size_t results = delegate_.receivedCount() + delegate_.failedCount();
    observations_.extraDelegateCalls = results > 1 ? results - 1 : 0;
    return observations_;
}

std::string DemoRoad::serverReport() const {
    auto requests = server_.server().requests();
    std::string out = "server received (" + std::to_string(requests.size()) + " requests):\n";
    std::size_t pings = 0;
    for (const auto& request : requests) {
        std::string kind;
        if (request.path == ruzave::GADHosts::kSDKCorePagePath) kind = "core page";
        else if (request.path == DemoServer::kAdPath) kind = "ad";
        else if (request.path == DemoServer::kMediationPath) kind = "mediation";
        else if (DemoServer::isPingPath(request.path)) {
            kind = "ping";
            ++pings;
        } else kind = "other";
        out += DemoTimeline::formatLine({serverMs(request.time), kind + ": " + requestLine(request)});
    }
    out += pings == 0 ? "pings: none received\n" : "pings: " + std::to_string(pings) + " received\n";
    return out;
}

} // namespace demo
