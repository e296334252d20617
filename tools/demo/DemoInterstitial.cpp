#include "tools/demo/DemoInterstitial.h"

#include <vector>

#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADInterstitialViewController.h"
#include "platform/base/Strings.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"
#include "tools/demo/DemoTimeline.h"

namespace demo {
namespace {

// Marks every message of the interstitial on the timeline and keeps their names.
struct Listener : ruzave::GADInterstitialDelegate {
    explicit Listener(DemoTimeline& t) : timeline(t) {}
    void note(const std::string& what) {
        heard.push_back(what);
        timeline.mark("interstitial: " + what);
    }
    void interstitialDidReceiveAd(ruzave::GADInterstitial&) override { note("did receive ad"); }
    void interstitialDidFailToReceiveAdWithError(ruzave::GADInterstitial&, const platform::Error& e) override {
        note("failed: " + e.description);
    }
    void interstitialWillPresentScreen(ruzave::GADInterstitial&) override { note("will present screen"); }
    void interstitialWillDismissScreen(ruzave::GADInterstitial&) override { note("will dismiss screen"); }
    void interstitialDidDismissScreen(ruzave::GADInterstitial&) override { note("did dismiss screen"); }
    void interstitialWillLeaveApplication(ruzave::GADInterstitial&) override { note("will leave application"); }
    bool has(const std::string& what) const {
        for (const auto& h : heard)
            if (h == what) return true;
        return false;
    }
    DemoTimeline& timeline;
    std::vector<std::string> heard;
};

} // namespace

std::optional<std::string> DemoInterstitial::run(DemoTimeline& timeline,
                                                 const std::shared_ptr<platform::ViewController>& root,
                                                 const std::string& landingURL, double timeoutSeconds) {
    auto& loop = platform::MainLoop::main();
    auto listener = std::make_shared<Listener>(timeline);
    auto interstitial = ruzave::GADInterstitial::initWithAdUnitID(std::string(kAdUnitID));
    interstitial->setDelegate(listener);
    timeline.mark("interstitial: load");
    interstitial->loadRequest(ruzave::GADRequest::request());
    if (!loop.runUntil([&] { return !listener->heard.empty(); }, timeoutSeconds) || !interstitial->isReady())
        return std::string("the interstitial did not become ready");

    timeline.mark("interstitial: present");
    interstitial->presentFromRootViewController(root);
    std::shared_ptr<ruzave::GADInterstitialViewController> shown;
    loop.runUntil(
        [&] {
            shown = std::dynamic_pointer_cast<ruzave::GADInterstitialViewController>(root->presentedViewController());
            return shown && !shown->isBeingPresented();
        },
        timeoutSeconds);
    if (!shown || !listener->has("will present screen")) return std::string("the interstitial was not presented");

    // The ad's own click: its page asks to leave for the landing page.
    timeline.mark("interstitial: click");
    auto adView = shown->adView();
    adView->setTouched(true);
    adView->evaluate("location.href='gmsg://mobileads.ruzave.example/open?a=app&u=" +
                     platform::percentEncode(landingURL) + "'");
    if (!loop.runUntil([&] { return listener->has("will leave application"); }, timeoutSeconds))
        return std::string("the interstitial's click did not leave the app");

    timeline.mark("interstitial: close");
    shown->closeButton()->sendActions();
    if (!loop.runUntil([&] { return listener->has("did dismiss screen"); }, timeoutSeconds))
        return std::string("the interstitial was not dismissed");
    loop.runUntil([&] { return root->presentedViewController() == nullptr; }, timeoutSeconds);

    // Used: it serves no second time.
    interstitial->presentFromRootViewController(root);
    loop.runUntilIdle();
    if (!listener->has("failed: Request Error: Will not send request because interstitial object has been used."))
        return std::string("a used interstitial was presented again");
    return std::nullopt;
}

} // namespace demo
