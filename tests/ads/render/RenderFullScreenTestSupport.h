#pragma once
// Shared pieces of the full-screen tests: a slot whose screen events are recorded, and a participant
// that leaves when told. Main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADOpener.h"
#include "platform/base/Value.h"
#include "platform/testing/Harness.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "ads/render/GADIntermission.h"
#include "ads/render/GADIntermitting.h"

namespace fullscreentest {

struct ScreenEvents : ruzave::GADSlotAdEventDelegate {
    void slotWillPresentScreen(ruzave::GADSlot&) override { calls.push_back("willPresent"); }
    void slotWillDismissScreen(ruzave::GADSlot&) override { calls.push_back("willDismiss"); }
    void slotDidDismissScreen(ruzave::GADSlot&) override { calls.push_back("didDismiss"); }
    void slotWillLeaveApplication(ruzave::GADSlot&) override { calls.push_back("leave"); }
    std::vector<std::string> calls;
};

// A slot with its screen events recorded (keep `events` alive with it).
struct RecordedSlot {
    RecordedSlot() { slot->setAdEventDelegate(events); }
    std::shared_ptr<ruzave::GADSlot> slot = ruzave::GADSlot::initWithFrame(platform::Rect(0, 0, 320, 50));
    std::shared_ptr<ScreenEvents> events = std::make_shared<ScreenEvents>();
};

// Leaves in two steps: told to relinquish, it reports the start at once and the end when finish() runs.
struct Participant : ruzave::GADIntermitting, std::enable_shared_from_this<Participant> {
    explicit Participant(std::string name, bool dismissOnForeground = true)
        : name(std::move(name)), dismissOnForeground(dismissOnForeground) {}
    void join(const std::shared_ptr<ruzave::GADIntermission>& i) {
        joined = i;
        i->addParticipant(shared_from_this());
    }
    void presentFromViewController(const std::shared_ptr<platform::ViewController>&, Completion) override {}
    bool shouldDismissOnApplicationEnteringForeground() override { return dismissOnForeground; }
    void relinquishScreenWithCompletion(Completion) override {
        log->push_back("relinquish " + name);
        joined->participantWillRelinquishScreen(*this);
    }
    void finish() {
        log->push_back("finished " + name);
        joined->participantDidRelinquishScreen(*this);
    }
    std::shared_ptr<ruzave::GADIntermission> intermission() const override { return joined; }

    std::string name;
    bool dismissOnForeground;
    std::shared_ptr<ruzave::GADIntermission> joined;
    std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
};

// A shown MRAID banner ad: the slot's ad view on a page that notes every SDK event it is sent, in a
// window, with an opener set up as the router would.
struct MRAIDBanner : platform::testing::Harness {
    MRAIDBanner() {
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        adView = s.slot->adView();
        adView->setFrame({0, 100, 320, 50});
        root->view()->addSubview(adView);
        adView->setHidden(false);
        adView->setViewController(root);
        s.slot->finishedLoadingAdResponse(ad);
        s.slot->MRAIDAdDidLoad();
        adView->loadHTMLString("<html><head><script>var seen=[];window.ZUDO_ReceiveMessage=function(n,i){"
                               "seen.push(n+(i&&i.message?':'+i.message:'')+(i&&i.state?':'+i.state:''));};"
                               "</script></head><body>ad</body></html>",
                               platform::URL::parse("https://ads.ruzave.example/"));
        runUntil([&] { return !adView->eventsSuspended(); });
        opener->setSlot(s.slot);
        opener->setAdView(adView);
        opener->setViewController(root);
    }
    // The events the page has seen so far, joined by ",".
    std::string seen() {
        runUntilIdle();
        return adView->evaluate("seen.join(',')");
    }
    void settle() {
        advance(0.5);
        runUntilIdle();
    }
    long clicks() {
        auto pcc = ad->statistics()->objectForKey("pcc");
        return pcc ? static_cast<long>(platform::doubleValue(*pcc)) : 0;
    }

    RecordedSlot s;
    std::shared_ptr<ruzave::GADAd> ad = ruzave::GADAd::init();
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::shared_ptr<ruzave::GADAdView> adView;
    std::shared_ptr<ruzave::GADOpener> opener = ruzave::GADOpener::init();
};

} // namespace fullscreentest
