#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/GADSearchBannerView.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADOpener.h"
#include "ads/render/GADViewController.h"
#include "platform/base/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "platform/services/MessageComposer.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using namespace ruzave;
using platform::testing::Harness;
using slottest::FakeNeighbours;

namespace {

struct RecordingDelegate : GADBannerViewDelegate {
    void adViewDidReceiveAd(GADBannerView&) override { record("received"); }
    void adViewDidFailToReceiveAdWithError(GADBannerView&, const platform::Error& error) override {
        errors.push_back(error);
        record("failed");
    }
    void adViewWillPresentScreen(GADBannerView&) override { record("willPresent"); }
    void adViewWillDismissScreen(GADBannerView&) override { record("willDismiss"); }
    void adViewDidDismissScreen(GADBannerView&) override { record("didDismiss"); }
    void adViewWillLeaveApplication(GADBannerView&) override { record("willLeave"); }
    void record(const std::string& name) {
        calls.push_back(name);
        allOnMain = allOnMain && platform::MainLoop::isMainThread();
    }
    std::vector<std::string> calls;
    std::vector<platform::Error> errors;
    bool allOnMain = true;
};

// A banner placed in a window with a root view controller, ready to load.
struct Placed {
    Placed(const GADAdSize& size = kGADAdSizeBanner) {
        window = platform::Window::create();
        controller = platform::ViewController::create();
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        banner = GADBannerView::initWithAdSize(size);
        REQUIRE(banner);
        controller->view()->addSubview(banner);
        banner->setRootViewController(controller);
        banner->setAdUnitID("unit-b");
        banner->setDelegate(delegate);
    }
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> controller;
    std::shared_ptr<GADBannerView> banner;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

// An archived banner: made by the common initialiser with whatever size its frame gave.
class ArchivedBanner : public GADBannerView {
  public:
    static std::shared_ptr<ArchivedBanner> withSize(const GADAdSize& size) {
        std::shared_ptr<ArchivedBanner> view(new ArchivedBanner());
        view->commonInitWithAdSize(size);
        return view;
    }

  private:
    ArchivedBanner() : GADBannerView(platform::Rect::zero()) {}
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADBannerView: an invalid size gives no view and logs why") {
    platform::LogCapture capture;
    CHECK(GADBannerView::initWithAdSize(GADAdSize{{0, 0}, kGADAdSizeFlagFullWidth}) == nullptr);
    CHECK(slottest::logged(capture, "Unable to set adSize property. "));
    CHECK(GADBannerView::initWithAdSize(GADAdSize{{std::nanf(""), 50}, 0}) == nullptr);
    // Custom sizes are measured by magnitude against the screen's longer side.
    CHECK(GADBannerView::initWithFrame(platform::Rect(0, 0, -5000, 50)) == nullptr);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a new banner holds its size, frame and a banner-type slot") {
    auto banner = GADBannerView::initWithAdSize(kGADAdSizeMediumRectangle, platform::Point{10, 20});
    REQUIRE(banner);
    CHECK(GADAdSizeEqualToSize(banner->adSize(), kGADAdSizeMediumRectangle));
    CHECK(banner->frame() == platform::Rect(10, 20, 300, 250));
    REQUIRE(banner->slot()->adType());
    CHECK_FALSE(banner->slot()->adType()->isInterstitial());
    CHECK(banner->slot()->reloadable());
    CHECK(banner->rootAdView() == banner->adView());
    CHECK(banner->adView()->superview().get() == banner.get());
    CHECK(banner->adView()->isHidden());
    CHECK(banner->clipsToBounds());
    CHECK(banner->intrinsicContentSize() == platform::Size{300, 250});

    auto fluid = GADBannerView::initWithAdSize(kGADAdSizeFluid);
    REQUIRE(fluid);
    CHECK(fluid->intrinsicContentSize().width == platform::kViewNoIntrinsicMetric);
}

TEST_CASE_FIXTURE(Harness,
                  "GADBannerView: loading without a root view controller logs and fails with code 0") {
    FakeNeighbours fakes;
    platform::LogCapture capture;
    auto banner = GADBannerView::initWithAdSize(kGADAdSizeBanner);
    auto delegate = std::make_shared<RecordingDelegate>();
    banner->setDelegate(delegate);

    banner->loadRequest(GADRequest::request());
    runUntilIdle();

    CHECK(slottest::logged(
        capture, "Must set the rootViewController property of GADBannerView before loading the ad."));
    REQUIRE(delegate->errors.size() == 1);
    CHECK(delegate->errors[0].code == GADRequestErrorInvalidRequest);
    CHECK(fakes.urlRequests.empty());
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a banner without a valid size never keeps the interstitial type") {
    FakeNeighbours fakes;
    platform::LogCapture capture;
    auto banner = ArchivedBanner::withSize(GADAdSize{{0, 0}, kGADAdSizeFlagFullWidth});
    CHECK(slottest::logged(capture, "Unable to set adSize property. "));
    CHECK(banner->slot()->adType() == nullptr);
    CHECK(GADAdSizeEqualToSize(banner->adSize(), GADAdSize{{0, 0}, 0}));
    auto controller = platform::ViewController::create();
    banner->setRootViewController(controller);
    auto delegate = std::make_shared<RecordingDelegate>();
    banner->setDelegate(delegate);
    capture.clear();

    banner->loadRequest(GADRequest::request());
    runUntilIdle();

    CHECK(slottest::logged(capture, "Unable to set adSize property. "));
    REQUIRE(delegate->errors.size() == 1);
    CHECK(delegate->errors[0].code == GADRequestErrorInvalidRequest);
    CHECK(fakes.urlRequests.empty());

    // A valid size later makes it a working banner.
    banner->setAdSize(kGADAdSizeBanner);
    banner->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: setFrame with the ad size's own size keeps a smart banner smart") {
    FakeNeighbours fakes;
    Placed placed(kGADAdSizeSmartBannerPortrait);
    auto& banner = placed.banner;
    platform::Size smart = CGSizeFromGADAdSize(kGADAdSizeSmartBannerPortrait);
    REQUIRE(smart.width > 0);
    banner->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 1);

    banner->setFrame(platform::Rect(platform::Point{0, 100}, smart));
    CHECK(banner->adSize().flags == kGADAdSizeSmartBannerPortrait.flags);
    CHECK(banner->frame().origin == platform::Point{0, 100});
    CHECK(fakes.urlRequests.size() == 1);

    // Any other size becomes the matching standard constant and reloads.
    banner->setFrame(platform::Rect(0, 100, 300, 250));
    CHECK(GADAdSizeEqualToSize(banner->adSize(), kGADAdSizeMediumRectangle));
    CHECK(fakes.urlRequests.size() == 2);

    banner->setFrame(platform::Rect(0, 100, 310, 70));
    CHECK(banner->adSize().flags == kGADAdSizeFlagCustom);
    CHECK(banner->frame().size == platform::Size{310, 70});
}

TEST_CASE_FIXTURE(Harness,
                  "GADBannerView: setBounds has no sameness test and turns a smart banner standard") {
    FakeNeighbours fakes;
    Placed placed(kGADAdSizeSmartBannerPortrait);
    auto& banner = placed.banner;
    banner->loadRequest(GADRequest::request());

    banner->setBounds(platform::Rect(0, 0, 320, 50));
    CHECK(GADAdSizeEqualToSize(banner->adSize(), kGADAdSizeBanner));
    CHECK(fakes.urlRequests.size() == 2);

    // An invalid size leaves everything as it was.
    platform::LogCapture capture;
    banner->setAdSize(GADAdSize{{-3, 50}, 0});
    CHECK(slottest::logged(capture, "Unable to set adSize property. "));
    CHECK(GADAdSizeEqualToSize(banner->adSize(), kGADAdSizeBanner));
    CHECK(banner->frame().size == platform::Size{320, 50});
}

TEST_CASE_FIXTURE(
    Harness, "GADBannerView: setAdSize reloads between smart sizes but not for a fluid banner's height") {
    FakeNeighbours fakes;
    Placed placed(kGADAdSizeSmartBannerPortrait);
    auto& banner = placed.banner;
    banner->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 1);

    banner->setAdSize(kGADAdSizeSmartBannerLandscape);
    CHECK(fakes.urlRequests.size() == 2);

    banner->setAdSize(kGADAdSizeFluid);
    CHECK(fakes.urlRequests.size() == 3);
    banner->setAdSize(GADFluidAdSizeWithSize(platform::Size{320, 120}));
    CHECK(fakes.urlRequests.size() == 3);
    CHECK(GADAdSizeIsFluid(banner->adSize()));

    // An external width change keeps it fluid.
    banner->setFrame(platform::Rect(0, 0, 300, 120));
    CHECK(GADAdSizeIsFluid(banner->adSize()));
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: alpha is either 0 or 1") {
    auto banner = GADBannerView::initWithAdSize(kGADAdSizeBanner);
    banner->setAlpha(0.5f);
    CHECK(banner->alpha() == 1.0f);
    banner->setAlpha(0);
    CHECK(banner->alpha() == 0.0f);
    banner->setAlpha(std::nanf(""));
    CHECK(banner->alpha() == 1.0f);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: autoload loads once on the main queue and never cancels") {
    FakeNeighbours fakes;
    Placed placed;
    placed.banner->setAutoloadEnabled(true);
    placed.banner->setAutoloadEnabled(true);
    CHECK(fakes.urlRequests.empty());
    runUntilIdle();
    CHECK(fakes.urlRequests.size() == 1);
    placed.banner->setAutoloadEnabled(false);
    runUntilIdle();
    CHECK(placed.banner->slot()->state() == GADSlotStateRequestingAdURL);

    // A banner gone before the queued load runs is not loaded.
    auto other = GADBannerView::initWithAdSize(kGADAdSizeBanner);
    other->setAutoloadEnabled(true);
    other.reset();
    runUntilIdle();
    CHECK(fakes.urlRequests.size() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a received ad reaches the delegate once, on the main thread") {
    FakeNeighbours fakes;
    Placed placed;
    auto& banner = placed.banner;
    banner->loadRequest(GADRequest::request());
    banner->slot()->didReceiveAdURL();
    banner->slot()->loadAd(GADAd::init(), std::nullopt);
    fakes.lastFetcher()->succeed(GADResponseTypeStandard, std::string("<p>ad</p>"));

    REQUIRE(runUntil([&] { return !placed.delegate->calls.empty(); }));
    CHECK(placed.delegate->calls == std::vector<std::string>{"received"});
    CHECK(banner->hasLoadedAd());
    CHECK(banner->adNetworkClassName() == std::optional<std::string>("GADMAdapterRuzaveDoRurAds"));
    CHECK(banner->mediatedAdView() == nullptr);

    // Events from another thread are moved to the main thread.
    std::thread other([&] {
        banner->slotWillPresentScreen(*banner->slot());
        banner->slotWillLeaveApplication(*banner->slot());
    });
    other.join();
    REQUIRE(runUntil([&] { return placed.delegate->calls.size() == 3; }));
    CHECK(placed.delegate->calls[1] == "willPresent");
    CHECK(placed.delegate->calls[2] == "willLeave");
    CHECK(placed.delegate->allOnMain);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a failed load tells the delegate and arms the next reload") {
    FakeNeighbours fakes;
    Placed placed;
    auto& banner = placed.banner;
    banner->loadRequest(GADRequest::request());
    banner->slot()->didReceiveAdURL();
    banner->slot()->loadAd(GADAd::init(), std::nullopt);
    fakes.lastFetcher()->fail(GADRequestError::errorWithCode(GADRequestErrorNoFill));
    runUntilIdle();

    REQUIRE(placed.delegate->errors.size() == 1);
    CHECK(placed.delegate->errors[0].code == GADRequestErrorNoFill);
    CHECK_FALSE(banner->hasLoadedAd());
    // The failed ad asked for no interval; the floor makes it 0, so nothing is armed.
    CHECK_FALSE(banner->slot()->isReloadTimerArmed());

    auto ad = GADAd::init();
    ad->setReloadInterval(30);
    banner->loadRequest(GADRequest::request());
    banner->slot()->didReceiveAdURL();
    banner->slot()->loadAd(ad, std::nullopt);
    fakes.lastFetcher()->fail(GADRequestError::errorWithCode(GADRequestErrorNoFill));
    runUntilIdle();
    CHECK(banner->slot()->isReloadTimerArmed());
    advance(30.1);
    // Never shown yet, so the refresh check says yes.
    CHECK(fakes.urlRequests.size() == 3);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: the refresh check follows visibility once an ad was shown") {
    FakeNeighbours fakes;
    Placed placed;
    auto& banner = placed.banner;
    auto& slot = *banner->slot();
    CHECK(banner->slotShouldReloadCurrentRequest(slot) == true);

    banner->slotFinishedLoadingAdContent(slot);
    REQUIRE(banner->hasLoadedAd());

    // The ad view stays hidden until its page has loaded.
    CHECK(banner->slotShouldReloadCurrentRequest(slot) == false);
    banner->adView()->setHidden(false);
    CHECK(banner->slotShouldReloadCurrentRequest(slot) == true);

    placed.controller->view()->setHidden(true);
    CHECK(banner->slotShouldReloadCurrentRequest(slot) == false);
    placed.controller->view()->setHidden(false);
    CHECK(banner->slotShouldReloadCurrentRequest(slot) == true);

    placed.window->setHidden(true);
    CHECK(banner->slotShouldReloadCurrentRequest(slot) == false);
    placed.window->setHidden(false);

    banner->removeFromSuperview();
    CHECK(banner->slotShouldReloadCurrentRequest(slot) == false);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: the view-hierarchy record respects the parent count setting") {
    platform::UserDefaults::standard()->set("/ruzave/ads/ad_key_parent_view_count", 2);
    auto banner = GADBannerView::initWithAdSize(kGADAdSizeBanner);
    std::shared_ptr<platform::View> chain = banner;
    std::vector<std::shared_ptr<platform::View>> parents;
    for (int i = 0; i < 5; ++i) {
        auto parent = platform::View::create(platform::Rect(0, 0, 400, 400));
        parent->addSubview(platform::View::create());
        parent->addSubview(chain);
        parent->setClipsToBounds(i == 0);
        parents.push_back(parent);
        chain = parent;
    }
    CHECK_FALSE(banner->viewHierarchyInformationForSlot(*banner->slot()));

    banner->cacheViewHierarchyInformationForSlot(*banner->slot());
    auto record = banner->viewHierarchyInformationForSlot(*banner->slot());
    REQUIRE(record);
    CHECK((*record)["creator_class"] == "GADBannerView");
    const auto& list = (*record)["parents"];
    REQUIRE(list.size() == 2);
    CHECK(list[0]["type"] == "View");
    CHECK(list[0]["index_of_child"] == 1);
    CHECK(list[0]["clips_to_bounds"] == true);
    CHECK(list[1]["clips_to_bounds"] == false);
    CHECK(list[0]["is_hidden"] == false);

    platform::UserDefaults::standard()->set("/ruzave/ads/ad_key_parent_view_count", 0);
    banner->cacheViewHierarchyInformationForSlot(*banner->slot());
    CHECK((*banner->viewHierarchyInformationForSlot(*banner->slot()))["parents"].empty());
}

TEST_CASE_FIXTURE(Harness,
                  "GADBannerView: a slot's new view replaces the root ad view and the controller follows") {
    auto banner = GADBannerView::initWithAdSize(kGADAdSizeBanner);
    auto network = platform::View::create(platform::Rect(0, 0, 320, 50));
    banner->slotDidReceiveAdView(*banner->slot(), network);
    CHECK(banner->rootAdView() == network);
    CHECK(network->superview().get() == banner.get());
    CHECK(banner->adView()->superview() == nullptr);

    auto nested = GADBannerView::initWithAdSize(kGADAdSizeBanner);
    banner->setRootAdView(nested);
    auto controller = platform::ViewController::create();
    banner->setRootViewController(controller);
    CHECK(banner->adView()->viewController() == controller);
    CHECK(nested->rootViewController() == controller);
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a released banner stops its slot") {
    FakeNeighbours fakes;
    Placed placed;
    placed.banner->loadRequest(GADRequest::request());
    std::weak_ptr<GADSlot> slot = placed.banner->slot();
    auto adView = placed.banner->adView();
    placed.banner->removeFromSuperview();
    placed.banner.reset();
    CHECK(slot.expired());
    advance(120);
    runUntilIdle();
    CHECK(placed.delegate->calls.empty());
}

namespace {

// One thing an app may do, inside any callback, with the banner it is told about.
enum class Act { Keep, Autoload, Load, SetDelegate, SetAdSize, ReadAdUnit };

struct ActingDelegate : GADBannerViewDelegate, std::enable_shared_from_this<ActingDelegate> {
    explicit ActingDelegate(Act a) : act(a) {}
    void adViewDidReceiveAd(GADBannerView& b) override { heard("received", b); }
    void adViewDidFailToReceiveAdWithError(GADBannerView& b, const platform::Error&) override {
        heard("failed", b);
    }
    void adViewWillPresentScreen(GADBannerView& b) override { heard("willPresent", b); }
    void adViewWillDismissScreen(GADBannerView& b) override { heard("willDismiss", b); }
    void adViewDidDismissScreen(GADBannerView& b) override { heard("didDismiss", b); }
    void adViewWillLeaveApplication(GADBannerView& b) override { heard("willLeave", b); }
    void heard(const char* call, GADBannerView& banner) {
        calls.push_back(call);
        switch (act) {
        case Act::Keep:
            kept.push_back(std::static_pointer_cast<GADBannerView>(banner.shared_from_this()));
            break;
        case Act::Autoload:
            banner.setAutoloadEnabled(!banner.isAutoloadEnabled());
            break;
        case Act::Load:
            banner.loadRequest(GADRequest::request());
            break;
        case Act::SetDelegate:
            banner.setDelegate(shared_from_this());
            break;
        case Act::SetAdSize:
            banner.setAdSize(GADAdSizeEqualToSize(banner.adSize(), kGADAdSizeBanner) ? kGADAdSizeLargeBanner
                                                                                     : kGADAdSizeBanner);
            break;
        case Act::ReadAdUnit:
            units.push_back(banner.adUnitID());
            break;
        }
    }
    bool heardOf(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    Act act;
    std::vector<std::string> calls;
    std::vector<std::shared_ptr<GADBannerView>> kept;
    std::vector<std::string> units;
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADBannerView: a delegate may keep or reload the banner it is told about, and a "
                           "released banner tells it nothing") {
    const Act acts[] = {Act::Keep,        Act::Autoload,  Act::Load,
                        Act::SetDelegate, Act::SetAdSize, Act::ReadAdUnit};
    for (Act act : acts) {
        CAPTURE(static_cast<int>(act));
        FakeNeighbours fakes;
        Placed placed;
        auto delegate = std::make_shared<ActingDelegate>(act);
        placed.banner->setDelegate(delegate);
        auto slot = placed.banner->slot();
        auto answer = [&](bool ok) {
            placed.banner->loadRequest(GADRequest::request());
            slot->didReceiveAdURL();
            slot->loadAd(GADAd::init(), std::nullopt);
            if (ok)
                fakes.lastFetcher()->succeed(GADResponseTypeStandard, std::string("<p>ad</p>"));
            else
                fakes.lastFetcher()->fail(GADRequestError::errorWithCode(GADRequestErrorNoFill));
        };
        auto settle = [&] {
            advance(0.5);
            runUntilIdle();
        };
        auto opener = GADOpener::init();
        opener->setSlot(slot);
        opener->setAdView(placed.banner->adView());
        opener->setViewController(placed.controller);

        answer(false);
        REQUIRE(runUntil([&] { return delegate->heardOf("failed"); }));
        answer(true);
        REQUIRE(runUntil([&] { return delegate->heardOf("received"); }));
        // The user's tap opens the screen, so a load asked for meanwhile waits for its end.
        placed.banner->adView()->setTouched(true);
        opener->expandToWebAppWithSupportedOrientations(30, false);
        settle();
        auto screen =
            std::dynamic_pointer_cast<GADViewController>(placed.controller->presentedViewController());
        REQUIRE(screen);
        screen->relinquishScreenWithCompletion(nullptr);
        settle();
        slot->adWillLeaveApplication();
        runUntilIdle();
        for (const char* call : {"willPresent", "willDismiss", "didDismiss", "willLeave"}) {
            CAPTURE(call);
            CHECK(delegate->heardOf(call));
        }
        for (const auto& kept : delegate->kept)
            CHECK(kept == placed.banner);
        for (const auto& unit : delegate->units)
            CHECK(unit == "unit-b");
        CHECK(placed.banner->delegate() == delegate);

        // Released with its screen up: the screen goes, and the delegate hears nothing of it.
        placed.banner->adView()->setTouched(true);
        opener->expandToWebAppWithSupportedOrientations(30, false);
        settle();
        REQUIRE(placed.controller->presentedViewController());
        const auto heardBefore = delegate->calls.size();
        std::weak_ptr<GADBannerView> released = placed.banner;
        delegate->kept.clear();
        placed.banner->removeFromSuperview();
        placed.banner.reset();
        slot.reset();
        for (int i = 0; i < 4; ++i)
            settle();
        CHECK(released.expired());
        CHECK(placed.controller->presentedViewController() == nullptr);
        CHECK(delegate->calls.size() == heardBefore);
    }
}

namespace {

// Lets go of the app's only reference to the banner as soon as a screen of it comes up.
struct ReleasingDelegate : GADBannerViewDelegate {
    void adViewWillPresentScreen(GADBannerView&) override {
        calls.push_back("willPresent");
        if (!held) return;
        (*held)->removeFromSuperview();
        held->reset();
    }
    void adViewWillDismissScreen(GADBannerView&) override { calls.push_back("willDismiss"); }
    void adViewDidDismissScreen(GADBannerView&) override { calls.push_back("didDismiss"); }
    std::shared_ptr<GADBannerView>* held = nullptr;
    std::vector<std::string> calls;
};

} // namespace

TEST_CASE_FIXTURE(
    Harness, "GADBannerView: a banner its delegate releases as a screen comes up leaves no screen behind") {
    platform::MessageComposer::setCanSendTextForTesting(true);
    auto app = platform::Application::sharedApplication();
    for (const std::string which : {"expand", "two-part expand", "text composer"}) {
        CAPTURE(which);
        FakeNeighbours fakes;
        Placed placed;
        auto delegate = std::make_shared<ReleasingDelegate>();
        delegate->held = &placed.banner;
        placed.banner->setDelegate(delegate);
        auto slot = placed.banner->slot();
        slot->finishedLoadingAdResponse(GADAd::init());
        slot->MRAIDAdDidLoad();
        placed.banner->adView()->loadHTMLString("<p>ad</p>", platform::URL::parse("https://ads.example/"));
        REQUIRE(runUntil([&] { return !placed.banner->adView()->eventsSuspended(); }));
        std::weak_ptr<GADBannerView> banner = placed.banner;
        std::weak_ptr<GADAdView> adView = placed.banner->adView();
        auto opener = GADOpener::init();
        opener->setSlot(slot);
        opener->setAdView(adView);
        opener->setViewController(placed.controller);
        slot.reset();

        if (which == "expand")
            opener->expandToWebAppWithSupportedOrientations(30, false);
        else if (which == "two-part expand")
            opener->openWebAppWithHTML(std::string("<p>part two</p>"), 30, false);
        else
            opener->openSmsComposer(*platform::URL::parse("sms:5551234"));
        CHECK(banner.expired());
        opener.reset();
        for (int i = 0; i < 4; ++i) {
            advance(0.5);
            runUntilIdle();
        }
        CHECK(delegate->calls == std::vector<std::string>{"willPresent"});
        CHECK(placed.controller->presentedViewController() == nullptr);
        CHECK(adView.expired());
        CHECK_FALSE(app->isIdleTimerDisabled());
    }
}

namespace {

// A placed banner showing an MRAID ad, with an opener as the router sets one up, whose loads the test
// answers by hand.
struct ShownMRAIDBanner : Placed {
    explicit ShownMRAIDBanner(FakeNeighbours& fakes) : fakes(fakes) {
        slot = banner->slot();
        opener->setSlot(slot);
        opener->setAdView(banner->adView());
        opener->setViewController(controller);
    }
    // Answers the ad URL the slot asked for last with a page saying `text`, if it asked.
    bool answer(const std::string& text, std::size_t urlRequestsBefore) {
        if (fakes.urlRequests.size() == urlRequestsBefore || slot->state() != GADSlotStateRequestingAdURL)
            return false;
        slot->didReceiveAdURL();
        slot->loadAd(GADAd::init(), std::nullopt);
        fakes.lastFetcher()->succeed(GADResponseTypeStandard, "<html><body>" + text + "</body></html>");
        return true;
    }
    std::string page() { return banner->adView()->evaluate("document.body.innerText"); }
    long heard(const std::string& call) const {
        return std::count(delegate->calls.begin(), delegate->calls.end(), call);
    }

    FakeNeighbours& fakes;
    std::shared_ptr<GADSlot> slot;
    std::shared_ptr<GADOpener> opener = GADOpener::init();
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADBannerView: a load made while its ad is expanded after a tap is answered once, and "
                           "the next one too") {
    // Expanded, or resized over the app: either way the screen holds the banner's own ad view. The user
    // tapped the ad, so the screen is the user's and holds the load (one the creative opened on its own
    // would not).
    for (const std::string how : {"expand", "resize"}) {
        CAPTURE(how);
        FakeNeighbours fakes;
        ShownMRAIDBanner b(fakes);
        auto settle = [&] {
            advance(0.5);
            runUntilIdle();
        };
        b.banner->loadRequest(GADRequest::request());
        REQUIRE(b.answer("first", 0));
        REQUIRE(runUntil([&] { return b.heard("received") == 1; }));
        b.slot->MRAIDAdDidLoad();
        b.banner->adView()->setTouched(true);

        if (how == "expand")
            b.opener->expandToWebAppWithSupportedOrientations(30, false);
        else
            b.opener->openWebAppWithResizeProperties(GADMRAIDResizeProperties::init({300, 50}, {0, 0}, 0, false));
        settle();
        auto screen = std::dynamic_pointer_cast<GADViewController>(b.banner->adView()->viewController());
        REQUIRE(screen);
        REQUIRE(b.banner->adView()->superview() != b.banner);

        // The app loads while the ad is out: the screen keeps its page, and the load is answered once the
        // screen is gone.
        const auto asked = fakes.urlRequests.size();
        b.banner->loadRequest(GADRequest::request());
        b.answer("second", asked);
        settle();
        CHECK(b.page() == "first");
        CHECK(b.banner->adView()->viewController() == screen);
        CHECK(b.heard("received") == 1);
        CHECK(b.delegate->errors.empty());

        screen->relinquishScreenWithCompletion(nullptr);
        settle();
        CHECK(b.heard("didDismiss") == 1);
        b.answer("second", asked);
        REQUIRE(runUntil([&] { return b.heard("received") == 2; }));
        settle();
        CHECK(b.page() == "second");
        CHECK(b.banner->adView()->superview() == b.banner);
        CHECK(b.slot->state() == GADSlotStateValidAd);

        // And the next load too.
        const auto again = fakes.urlRequests.size();
        b.banner->loadRequest(GADRequest::request());
        REQUIRE(b.answer("third", again));
        REQUIRE(runUntil([&] { return b.heard("received") == 3; }));
        CHECK(b.page() == "third");
        CHECK(b.delegate->errors.empty());
        CHECK(b.heard("willPresent") == 1);
        CHECK(b.heard("willDismiss") == 1);
    }
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a root released under its expanded ad tells the delegate nothing inside "
                           "the release, then will and did dismiss once, and the next load is answered") {
    FakeNeighbours fakes;
    ShownMRAIDBanner b(fakes);
    auto settle = [&] {
        advance(0.5);
        runUntilIdle();
    };
    b.banner->loadRequest(GADRequest::request());
    REQUIRE(b.answer("first", 0));
    REQUIRE(runUntil([&] { return b.heard("received") == 1; }));
    b.opener->expandToWebAppWithSupportedOrientations(30, false);
    settle();
    REQUIRE(b.controller->presentedViewController());

    // The app lets go of its root controller with the expanded ad over it.
    std::weak_ptr<platform::ViewController> weakRoot = b.controller;
    b.window->setRootViewController(nullptr);
    b.controller.reset();
    REQUIRE(weakRoot.expired());
    CHECK(b.heard("willDismiss") == 0);
    CHECK(b.heard("didDismiss") == 0);
    settle();
    CHECK(b.heard("willDismiss") == 1);
    CHECK(b.heard("didDismiss") == 1);
    CHECK(b.banner->adView()->superview() == b.banner);

    auto root = platform::ViewController::create();
    b.window->setRootViewController(root);
    root->view()->addSubview(b.banner);
    b.banner->setRootViewController(root);
    const auto asked = fakes.urlRequests.size();
    b.banner->loadRequest(GADRequest::request());
    REQUIRE(b.answer("second", asked));
    REQUIRE(runUntil([&] { return b.heard("received") == 2; }));
    CHECK(b.page() == "second");
    CHECK(b.delegate->errors.empty());
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a delegate that goes away mid-load is simply not called") {
    FakeNeighbours fakes;
    Placed placed;
    auto& banner = placed.banner;
    banner->loadRequest(GADRequest::request());
    banner->slot()->didReceiveAdURL();
    banner->slot()->loadAd(GADAd::init(), std::nullopt);
    std::weak_ptr<RecordingDelegate> weak = placed.delegate;
    placed.delegate.reset();
    CHECK(weak.expired());

    fakes.lastFetcher()->succeed(GADResponseTypeStandard, std::string("<p>ad</p>"));
    REQUIRE(runUntil([&] { return banner->slot()->state() == GADSlotStateValidAd; }));
    runUntilIdle();
    CHECK(banner->hasLoadedAd());
    CHECK_FALSE(banner->adView()->isHidden());
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: the ad's place on the main screen goes with the request") {
    FakeNeighbours fakes;
    Placed placed;
    placed.banner->setFrame(platform::Rect(0, 100, 320, 50));

    // The ad view stays hidden until an ad has loaded.
    auto position = placed.banner->coordinatesOfContentInScreen(platform::Screen::mainScreen());
    REQUIRE(position);
    CHECK((*position)["visible"] == false);
    placed.banner->adView()->setHidden(false);
    position = placed.banner->coordinatesOfContentInScreen(platform::Screen::mainScreen());
    REQUIRE(position);
    CHECK((*position)["width"] == 320);
    CHECK((*position)["height"] == 50);
    CHECK((*position)["visible"] == true);

    placed.banner->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 1);
    auto snapshot = placed.banner->slot()->requestSnapshot();
    REQUIRE(snapshot.coordinatesOfContentInScreen);
    CHECK(*snapshot.coordinatesOfContentInScreen == *position);

    // A banner outside any window has no place to report.
    placed.banner->removeFromSuperview();
    CHECK_FALSE(placed.banner->coordinatesOfContentInScreen(platform::Screen::mainScreen()));
}

TEST_CASE_FIXTURE(Harness, "GADBannerView: a custom-size banner made before the early start is accepted") {
    platform::Screen::mainScreen()->setBoundsSize({320, 568});
    REQUIRE_FALSE(GADDevice::sharedInstance()->hasCachedStaticParameters());
    platform::LogCapture capture;
    auto banner = GADBannerView::initWithAdSize(GADAdSizeFromCGSize({310, 120}));
    REQUIRE(banner);
    CHECK(banner->frame().size == platform::Size{310, 120});
    CHECK_FALSE(slottest::logged(capture, "current screen bounds"));
}

TEST_CASE_FIXTURE(Harness, "GADSearchBannerView: a banner under its own name") {
    FakeNeighbours fakes;
    platform::LogCapture capture;
    CHECK_FALSE(GADSearchBannerView::initWithAdSize(GADAdSize{{0, 0}, 2}));
    CHECK(slottest::logged(capture, "Unable to set adSize property. Non-standard size, "));

    auto banner = GADSearchBannerView::initWithAdSize(kGADAdSizeBanner, platform::Point{10, 20});
    REQUIRE(banner);
    CHECK(banner->frame() == platform::Rect(10, 20, 320, 50));
    CHECK(GADAdSizeEqualToSize(banner->adSize(), kGADAdSizeBanner));
    auto delegate = std::make_shared<RecordingDelegate>();
    banner->setDelegate(delegate);
    banner->loadRequest(GADRequest::request());
    runUntilIdle();
    CHECK(slottest::logged(
        capture, "Must set the rootViewController property of GADSearchBannerView before loading the ad."));
    REQUIRE(delegate->errors.size() == 1);
    CHECK(delegate->errors[0].code == GADRequestErrorInvalidRequest);
}
