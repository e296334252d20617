#include "ads/render/GADViewController.h"

#include <doctest/doctest.h>

#include <atomic>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/render/GADAdAppViewController.h"
#include "ads/render/GADBrowserViewController.h"
#include "ads/render/GADInterstitialViewController.h"
#include "ads/render/GADModalOverlayPresenter.h"
#include "ads/render/GADOverlayPresenting.h"
#include "platform/base/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLProtocol.h"
#include "platform/services/EventEditViewController.h"
#include "platform/services/EventStore.h"
#include "platform/services/MailComposer.h"
#include "platform/services/MessageComposer.h"
#include "platform/services/ProductViewController.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/slot/SlotTestSupport.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::RecordedSlot;
using platform::testing::Harness;
using ruzave::GADSlot;
using ruzave::GADViewController;

namespace {

using Calls = std::vector<std::string>;

struct Screen : Harness {
    Screen() {
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        auto center = platform::NotificationCenter::defaultCenter();
        for (const char* name : {GADSlot::kAdModalViewControllerWillPresentFullScreen,
                                 GADSlot::kAdModalViewControllerDidDismissFullScreen}) {
            center->addObserver(name, nullptr, nullptr,
                                [this](const platform::Notification& n) { notes.push_back(n.name); }, this);
        }
    }
    ~Screen() { platform::NotificationCenter::defaultCenter()->removeObserver(this); }
    void settle() {
        advance(0.5);
        runUntilIdle();
    }
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::vector<std::string> notes;
};

// Counts its own part of the dismissal.
class CountingController : public GADViewController {
  public:
    static std::shared_ptr<CountingController> make() {
        return std::shared_ptr<CountingController>(new CountingController());
    }
    int subclassDismissals = 0;

  protected:
    void didFinishDismissal() override { ++subclassDismissals; }
};

// Shows its controller on behalf of a chosen controller (nil: none).
class StandInPresenter : public ruzave::GADOverlayPresenting {
  public:
    std::shared_ptr<platform::ViewController> standIn;
    void presentFromViewController(const std::shared_ptr<platform::ViewController>&, Completion) override {}
    std::shared_ptr<platform::ViewController> presentationViewController() const override { return standIn; }
    bool dismissWithCompletionHandler(Completion completion) override {
        if (completion) completion();
        return true;
    }
    std::shared_ptr<GADViewController> presentedViewController() const override { return presented.lock(); }
    void setPresentedViewController(const std::weak_ptr<GADViewController>& c) override { presented = c; }
    bool isReadyToPresent() override { return true; }
    std::weak_ptr<GADViewController> presented;
};

} // namespace

TEST_CASE_FIXTURE(Screen, "GADViewController: another presentation controller presents and dismisses in its place") {
    auto controller = GADViewController::init();
    auto presenter = std::make_shared<StandInPresenter>();
    presenter->standIn = root;
    controller->setPresenter(presenter);
    CHECK(presenter->presentedViewController() == controller);
    auto sheet = platform::ViewController::create();
    bool presented = false;
    // Callers that only know a platform controller reach the override too.
    platform::ViewController& asPlatform = *controller;
    CHECK(asPlatform.presentViewController(sheet, false, [&] { presented = true; }));
    settle();
    CHECK(presented);
    CHECK(root->presentedViewController() == sheet);
    CHECK(sheet->presentingViewController() == root);
    CHECK_FALSE(controller->presentedViewController());

    bool dismissed = false;
    CHECK(asPlatform.dismissViewController(false, [&] { dismissed = true; }));
    settle();
    CHECK(dismissed);
    CHECK_FALSE(root->presentedViewController());
    CHECK_FALSE(sheet->presentingViewController());
    // With nothing left to dismiss the stand-in's answer comes back.
    CHECK_FALSE(controller->dismissViewController(false));
}

TEST_CASE_FIXTURE(Screen, "GADViewController: presents for itself when the presenter names it or nothing") {
    auto presenter = std::make_shared<StandInPresenter>();
    auto controller = GADViewController::init();
    SUBCASE("the presenter names the controller itself") { presenter->standIn = controller; }
    SUBCASE("the presenter names no controller") { presenter->standIn = nullptr; }
    controller->setPresenter(presenter);
    root->presentViewController(controller, false);
    settle();
    auto sheet = platform::ViewController::create();
    CHECK(controller->presentViewController(sheet, false));
    settle();
    CHECK(controller->presentedViewController() == sheet);
    CHECK(root->presentedViewController() == controller);
    // The controller dismisses what it presents, then itself from the root.
    CHECK(controller->dismissViewController(false));
    settle();
    CHECK_FALSE(controller->presentedViewController());
    CHECK(root->presentedViewController() == controller);
    CHECK(controller->dismissViewController(false));
    settle();
    CHECK_FALSE(root->presentedViewController());
    presenter->standIn.reset();
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a modal presenter leaves the platform's own presentation in force") {
    auto controller = GADViewController::init();
    controller->presentFromViewController(root, nullptr);
    settle();
    REQUIRE(root->presentedViewController() == controller);
    auto sheet = platform::ViewController::create();
    CHECK(controller->presentViewController(sheet, false));
    settle();
    CHECK(controller->presentedViewController() == sheet);
    CHECK(sheet->presentingViewController() == controller);
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK_FALSE(root->presentedViewController());
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a nil presenting controller only logs and never completes") {
    platform::LogCapture capture;
    auto controller = GADViewController::init();
    bool completed = false;
    controller->presentFromViewController(nullptr, [&] { completed = true; });
    settle();
    CHECK(slottest::logged(capture, "No UIViewController supplied to the ad. Cannot continue."));
    CHECK_FALSE(completed);
    CHECK(notes.empty());
    CHECK_FALSE(controller->retainCycle());
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a shown controller keeps itself and its period, then lets both go") {
    RecordedSlot s;
    auto controller = CountingController::make();
    controller->setSlot(s.slot);
    bool shown = false;
    bool dismissed = 0;
    controller->setDismissalCompletion([&] { dismissed = true; });
    controller->presentFromViewController(root, [&] { shown = true; });
    CHECK_FALSE(controller->view()->isUserInteractionEnabled());
    CHECK(controller->retainCycle() == controller);
    CHECK(s.slot->intermission() == controller->intermission());
    CHECK(platform::Application::sharedApplication()->isStatusBarHidden());
    settle();
    CHECK(shown);
    CHECK(controller->view()->isUserInteractionEnabled());
    CHECK(s.events->calls == Calls{"willPresent"});

    controller->relinquishScreenWithCompletion(nullptr);
    // Held until the screen is really gone.
    CHECK(controller->retainCycle() == controller);
    CHECK(controller->screenState() == GADViewController::ScreenState::Dismissing);
    CHECK(notes == Calls{GADSlot::kAdModalViewControllerWillPresentFullScreen,
                         GADSlot::kAdModalViewControllerDidDismissFullScreen});
    settle();
    CHECK_FALSE(controller->retainCycle());
    CHECK(controller->screenState() == GADViewController::ScreenState::Gone);
    CHECK(dismissed);
    // Reached from the platform's dismissal and from the presenter's, the subclass part runs once.
    CHECK(controller->subclassDismissals == 1);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(controller->intermission());
    CHECK_FALSE(platform::Application::sharedApplication()->isStatusBarHidden());
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a presentation the platform refuses is rolled back") {
    RecordedSlot s;
    root->presentViewController(platform::ViewController::create(), false);
    settle();
    auto controller = GADViewController::init();
    controller->setSlot(s.slot);
    std::weak_ptr<GADViewController> weak = controller;
    controller->presentFromViewController(root, nullptr);
    CHECK(controller->view()->isUserInteractionEnabled());
    CHECK_FALSE(controller->retainCycle());
    CHECK_FALSE(controller->intermission());
    // The slot's reload timer is given back, and its owner hears the period close.
    CHECK(notes == Calls{GADSlot::kAdModalViewControllerWillPresentFullScreen,
                         GADSlot::kAdModalViewControllerDidDismissFullScreen});
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    controller.reset();
    CHECK(weak.expired());
}

TEST_CASE_FIXTURE(Screen, "GADViewController: orientation setters and the release of a controller") {
    auto controller = GADViewController::init();
    CHECK(controller->supportedInterfaceOrientations() == 30);
    controller->setSupportedOrientations(0);
    CHECK(controller->supportedInterfaceOrientations() == 30);
    controller->setSupportedOrientations(6);
    CHECK(controller->supportedInterfaceOrientations() == 6);
    controller->setSupportedInterfaceOrientations(0);
    CHECK(controller->supportedInterfaceOrientations() == 0);
    int ran = 0;
    controller->setDismissalCompletion([&] { ++ran; });
    controller.reset();
    CHECK(ran == 1);
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a modal presenter with nothing to dismiss completes at once") {
    auto presenter = ruzave::GADModalOverlayPresenter::init();
    CHECK_FALSE(presenter->isReadyToPresent());
    bool done = false;
    presenter->dismissWithCompletionHandler([&] { done = true; });
    CHECK(done);
}

// ---------------------------------------------------------------- every way a screen ends

namespace {

// Answers the creatives' beacons and the pages a browser opens, and counts the beacons.
struct BeaconProtocolClass : platform::URLProtocolClass {
    mutable std::atomic<int> beacons{0};
    bool canInitWithRequest(const platform::URLRequest& request) const override {
        auto host = request.url().host();
        return host == "beacon.example" || host == "shop.example";
    }
    std::shared_ptr<platform::URLProtocol> create(const platform::URLRequest& request,
                                                  std::shared_ptr<platform::URLProtocolClient> client) const override {
        if (request.url().host() == "beacon.example") ++beacons;
        struct Loader : platform::URLProtocol {
            Loader(platform::URLRequest r, std::shared_ptr<platform::URLProtocolClient> c)
                : URLProtocol(std::move(r), std::move(c)) {}
            void startLoading() override {
                client()->didReceiveResponse(platform::HTTPURLResponse(request().url(), 200, {{"Content-Type", "text/html"}}),
                                             platform::URLCacheStoragePolicy::NotAllowed);
                std::string body = "<html><body>page</body></html>";
                client()->didLoadData(platform::Bytes(body.begin(), body.end()));
                client()->didFinishLoading();
            }
            void stopLoading() override {}
        };
        return std::make_shared<Loader>(request, client);
    }
};

// A creative that keeps pinging on a 200 ms timer, as a hostile one may.
std::string pingingCreative(const char* name) {
    return std::string("<html><head><script>var seen=[];window.ZUDO_ReceiveMessage=function(n,i){seen.push(n);};"
                       "var n=0;setInterval(function(){var i=document.createElement('img');"
                       "i.setAttribute('src','https://beacon.example/") +
           name + "?'+(n++));},200);</script></head><body>ad</body></html>";
}

struct Heard : ruzave::GADBannerViewDelegate, ruzave::GADInterstitialDelegate {
    void adViewWillPresentScreen(ruzave::GADBannerView&) override { calls.push_back("willPresent"); }
    void adViewWillDismissScreen(ruzave::GADBannerView&) override { calls.push_back("willDismiss"); }
    void adViewDidDismissScreen(ruzave::GADBannerView&) override { calls.push_back("didDismiss"); }
    void interstitialWillPresentScreen(ruzave::GADInterstitial&) override { calls.push_back("willPresent"); }
    void interstitialWillDismissScreen(ruzave::GADInterstitial&) override { calls.push_back("willDismiss"); }
    void interstitialDidDismissScreen(ruzave::GADInterstitial&) override { calls.push_back("didDismiss"); }
    std::vector<std::string> calls;
};

enum class Kind { Expand, TwoPartExpand, Open, Sms, Mail, Calendar, StoreSheet, Interstitial };
enum class Way {
    CreativeClose,
    CloseButton,
    AppDismisses,
    StackBeneath,
    ScreenOnTop,
    CloseDuringItsTransition,
    CloseDuringTransitionOver,
    ReleaseWhileShown,
    ReleaseWithAppDismissal
};

const char* nameOf(Kind k) {
    static const char* names[] = {"expand", "two-part expand", "open", "SMS composer", "mail composer",
                                  "calendar editor", "store sheet", "interstitial"};
    return names[static_cast<int>(k)];
}
const char* nameOf(Way w) {
    static const char* names[] = {"creative's close", "close button", "app dismisses it", "stack beneath",
                                  "screen on top", "close during its transition",
                                  "close during the transition of a screen over it", "release while shown",
                                  "release with the app's dismissal"};
    return names[static_cast<int>(w)];
}

bool isPlatformScreen(Kind k) {
    return k == Kind::Sms || k == Kind::Mail || k == Kind::Calendar || k == Kind::StoreSheet;
}

// One ad with its screen up, over the app's root screen or over a screen the app presented.
struct ShownAd {
    platform::testing::Harness& h;
    std::shared_ptr<platform::ViewController> root;
    Kind kind;
    std::shared_ptr<Heard> heard = std::make_shared<Heard>();
    std::shared_ptr<ruzave::GADBannerView> banner;
    std::shared_ptr<ruzave::GADInterstitial> interstitial;
    std::shared_ptr<ruzave::GADInterstitialViewController> interstitialScreen;
    std::shared_ptr<ruzave::GADOpener> opener;
    std::weak_ptr<ruzave::GADAdView> adView;
    std::shared_ptr<platform::ViewController> presentingFor;
    std::weak_ptr<platform::ViewController> screen;

    ShownAd(platform::testing::Harness& harness, std::shared_ptr<platform::ViewController> r, Kind k,
            std::shared_ptr<platform::ViewController> over)
        : h(harness), root(std::move(r)), kind(k), presentingFor(std::move(over)) {
        std::shared_ptr<ruzave::GADSlot> slot;
        if (kind == Kind::Interstitial) {
            interstitial = ruzave::GADInterstitial::init();
            interstitial->setDelegate(heard);
            slot = interstitial->slot();
        } else {
            banner = ruzave::GADBannerView::initWithFrame(platform::Rect(0, 100, 320, 50));
            banner->setDelegate(heard);
            banner->setRootViewController(presentingFor);
            root->view()->addSubview(banner);
            slot = banner->slot();
        }
        slot->finishedLoadingAdResponse(ruzave::GADAd::init());
        slot->MRAIDAdDidLoad();
        auto view = slot->adView();
        adView = view;
        view->loadHTMLString(pingingCreative("ad"), platform::URL::parse("https://ads.ruzave.example/"));
        h.runUntil([&] { return !view->eventsSuspended(); });
        opener = ruzave::GADOpener::init();
        opener->setSlot(slot);
        opener->setAdView(view);
        opener->setViewController(presentingFor);
    }

    // Asks for the screen; it is on its way up afterwards.
    void open() {
        switch (kind) {
        case Kind::Expand: opener->expandToWebAppWithSupportedOrientations(30, false); break;
        case Kind::TwoPartExpand: opener->openWebAppWithHTML(pingingCreative("part"), 30, false); break;
        case Kind::Open: opener->openBrowserToURL(*platform::URL::parse("https://shop.example/deal"), 30); break;
        case Kind::Sms: opener->openSmsComposer(*platform::URL::parse("sms:5551234?body=hi")); break;
        case Kind::Mail: opener->openEmailComposer(*platform::URL::parse("mailto:a@example.com")); break;
        case Kind::Calendar:
            opener->openCalendarWithDictionary(
                platform::Value{{"description", "Sale"}, {"start", "2026-12-24T10:00:00Z"}, {"end", "2026-12-24T11:00:00Z"}});
            break;
        case Kind::StoreSheet: opener->openInAppStoreWithProductID("42", std::nullopt, false); break;
        case Kind::Interstitial:
            interstitialScreen = ruzave::GADInterstitialViewController::initWithSlot(interstitial->slot());
            interstitialScreen->presentFromViewController(presentingFor, nullptr);
            interstitialScreen.reset();
            break;
        }
        screen = presentingFor->presentedViewController();
    }

    // The creative closes the screen, or the user finishes the platform's screen.
    void creativeClose(bool cancel) {
        auto shown = screen.lock();
        if (!shown) return;
        if (auto* message = dynamic_cast<platform::MessageComposer*>(shown.get())) {
            message->finishForTesting(cancel ? platform::MessageComposerDelegate::Cancelled
                                             : platform::MessageComposerDelegate::Sent);
        } else if (auto* mail = dynamic_cast<platform::MailComposer*>(shown.get())) {
            mail->finishForTesting(cancel ? platform::MailComposerDelegate::Cancelled : platform::MailComposerDelegate::Sent);
        } else if (auto* editor = dynamic_cast<platform::EventEditViewController*>(shown.get())) {
            editor->completeForTesting(cancel ? platform::EventEditViewControllerDelegate::Canceled
                                              : platform::EventEditViewControllerDelegate::Saved);
        } else if (auto* sheet = dynamic_cast<platform::ProductViewController*>(shown.get())) {
            sheet->finishForTesting();
        } else if (cancel) {
            if (auto* app = dynamic_cast<ruzave::GADAdAppViewController*>(shown.get())) app->closeButtonPressed();
            else if (auto* browser = dynamic_cast<ruzave::GADBrowserViewController*>(shown.get()))
                browser->doneButtonPressed();
        } else if (auto* full = dynamic_cast<GADViewController*>(shown.get())) {
            full->relinquishScreenWithCompletion(nullptr);
        }
    }

    // Something comes up over the screen: a composer the ad opens over its own screen, or a screen of
    // the app over a platform screen. Returns it.
    std::shared_ptr<platform::ViewController> coverScreen(bool animated) {
        auto shown = screen.lock();
        REQUIRE(shown);
        if (!isPlatformScreen(kind)) {
            auto local = ruzave::GADOpener::init();
            local->setSlot(opener->slot());
            local->setAdView(adView);
            local->setViewController(shown);
            local->openSmsComposer(*platform::URL::parse("sms:5550000"));
            return shown->presentedViewController();
        }
        auto cover = platform::ViewController::create();
        shown->presentViewController(cover, animated);
        return cover;
    }

    // The app lets the ad go, as it drops a banner from its screen or its last reference.
    void release() {
        if (banner) banner->removeFromSuperview();
        banner.reset();
        interstitial.reset();
        opener.reset();
    }
};

struct BeaconScreen : Screen {
    BeaconScreen() {
        platform::URLProtocol::registerClass(beacons);
        platform::MessageComposer::setCanSendTextForTesting(true);
        platform::MailComposer::setCanSendMailForTesting(true);
        platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event,
                                                               platform::EventStore::Authorized);
        platform::ProductViewController::scriptLoad("42", true);
    }
    ~BeaconScreen() { platform::URLProtocol::unregisterClass(beacons); }
    std::shared_ptr<BeaconProtocolClass> beacons = std::make_shared<BeaconProtocolClass>();
};

} // namespace

TEST_CASE_FIXTURE(BeaconScreen,
                  "GADViewController: every way a screen ends tells one willDismiss and one didDismiss, in "
                  "order, and lets go, but a released banner tells nothing more") {
    const Kind kinds[] = {Kind::Expand, Kind::TwoPartExpand, Kind::Open,       Kind::Sms,
                          Kind::Mail,   Kind::Calendar,      Kind::StoreSheet, Kind::Interstitial};
    const Way ways[] = {Way::CreativeClose,      Way::CloseButton,       Way::AppDismisses,
                        Way::StackBeneath,       Way::ScreenOnTop,       Way::CloseDuringItsTransition,
                        Way::CloseDuringTransitionOver, Way::ReleaseWhileShown, Way::ReleaseWithAppDismissal};
    for (Kind kind : kinds) {
        for (Way way : ways) {
            std::string row = std::string(nameOf(kind)) + " / " + nameOf(way);
            CAPTURE(row);
            std::shared_ptr<platform::ViewController> under = root;
            if (way == Way::StackBeneath) {
                under = platform::ViewController::create();
                root->presentViewController(under, false);
                settle();
            }
            auto ad = std::make_unique<ShownAd>(*this, root, kind, under);
            ad->open();
            std::weak_ptr<platform::ViewController> cover;
            bool released = false;
            int beaconsAtRelease = 0;
            Calls heardAtRelease;
            bool interstitialKept = kind == Kind::Interstitial;
            switch (way) {
            case Way::CloseDuringItsTransition:
                advance(0.1);
                ad->creativeClose(false);
                break;
            case Way::CloseDuringTransitionOver:
                settle();
                cover = ad->coverScreen(true);
                ad->creativeClose(false);
                break;
            default: settle(); break;
            }
            REQUIRE(ad->heard->calls.size() >= 1);
            CHECK(ad->heard->calls[0] == "willPresent");
            switch (way) {
            case Way::CreativeClose: ad->creativeClose(false); break;
            case Way::CloseButton: ad->creativeClose(true); break;
            case Way::AppDismisses: root->dismissViewController(true); break;
            case Way::StackBeneath: root->dismissViewController(true); break;
            case Way::ScreenOnTop:
                cover = ad->coverScreen(false);
                settle();
                root->dismissViewController(true);
                break;
            case Way::ReleaseWhileShown:
                heardAtRelease = ad->heard->calls;
                ad->release();
                released = true;
                beaconsAtRelease = beacons->beacons.load();
                break;
            case Way::ReleaseWithAppDismissal:
                root->dismissViewController(true);
                heardAtRelease = ad->heard->calls;
                ad->release();
                released = true;
                beaconsAtRelease = beacons->beacons.load();
                break;
            default: break;
            }
            for (int i = 0; i < 4; ++i) settle();
            // An interstitial keeps itself (and the app's object) while it is up, so the user closes it;
            // it is let go once its screen is gone.
            if (released && interstitialKept) {
                if (ad->screen.lock()) ad->creativeClose(true);
                for (int i = 0; i < 4; ++i) settle();
                beaconsAtRelease = beacons->beacons.load();
            }
            // From its release on, the creative asks the network for nothing (its ticks ran for 2 s since).
            if (released) CHECK(beacons->beacons.load() == beaconsAtRelease);
            if (released && !interstitialKept) {
                // The app let go of the banner: its delegate hears nothing from then on, whatever had begun.
                CHECK(ad->heard->calls == heardAtRelease);
                const bool dismissalBegun = way == Way::ReleaseWithAppDismissal && !isPlatformScreen(kind);
                CHECK(heardAtRelease ==
                      (dismissalBegun ? Calls{"willPresent", "willDismiss"} : Calls{"willPresent"}));
            } else {
                CHECK(ad->heard->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
            }
            CHECK(root->presentedViewController() == nullptr);
            CHECK(ad->screen.expired());
            CHECK(cover.expired());
            if (kind == Kind::Expand && !released) {
                auto view = ad->adView.lock();
                CHECK((view && ad->banner && view->superview() == ad->banner));
            }
            if (!released) ad->release();
            std::weak_ptr<ruzave::GADAdView> adView = ad->adView;
            ad.reset();
            for (int i = 0; i < 4; ++i) settle();
            CHECK(adView.expired());
            // Nothing of the ad asks the network once it is gone.
            int before = beacons->beacons.load();
            advance(2.0);
            runUntilIdle();
            CHECK(beacons->beacons.load() == before);
        }
    }
}
