#include <doctest/doctest.h>

#include <thread>

#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADExtras.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/VODBannerView.h"
#include "ads/core/public/VODCustomRenderedAd.h"
#include "ads/core/public/VODCustomRenderedBannerViewDelegate.h"
#include "ads/core/public/VODCustomRenderedInterstitialDelegate.h"
#include "ads/core/public/VODInterstitial.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADBannerAd.h"
#include "ads/core/slot/GADInterstitialAd.h"
#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADAdAppViewController.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADBrowserViewController.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADOpener.h"
#include "platform/base/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/Clock.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/testing/web/WebViewTesting.h"
#include "platform/ui/Button.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/net/FetchTestSupport.h"
#include "tests/ads/core/slot/SlotTestSupport.h"
#include "tools/adserver/SilentServer.h"

using namespace ruzave;
using platform::testing::Harness;
using slottest::FakeNeighbours;
using slottest::FakeOwner;

namespace {

std::shared_ptr<GADRequest> requestWithExtras(const platform::Value& parameters) {
    auto request = GADRequest::request();
    auto extras = GADExtras::init();
    extras->setAdditionalParameters(parameters);
    request->registerAdNetworkExtras(extras);
    return request;
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSlot: a load asks the SDK core for the ad URL and enters state 2") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto enablesBefore = GADMRAIDInterceptor::enableCanInitWithRequestCount();

    slot->loadRequest(GADRequest::request());

    CHECK(slot->state() == GADSlotStateRequestingAdURL);
    REQUIRE(fakes.urlRequests.size() == 1);
    CHECK(fakes.urlRequests[0].lock() == slot);
    CHECK(GADMRAIDInterceptor::enableCanInitWithRequestCount() == enablesBefore + 1);
    CHECK(owner->willLoadRequests.size() == 1);
    CHECK_FALSE(slot->hasAutoRefreshed());
    // The core controller's queue reads a snapshot taken here, not the live slot.
    auto snapshot = slot->requestSnapshot();
    CHECK(snapshot.adUnitID == "unit-a");
    CHECK(snapshot.hasOwner);
    REQUIRE(snapshot.request);
    CHECK(snapshot.request != slot->request());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: the gate refuses an invalidated slot silently") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    owner->shouldLoad = false; // would report, if asked
    auto slot = slottest::makeSlot(owner);
    slot->invalidate();

    slot->loadRequest(GADRequest::request());

    CHECK(slot->state() == GADSlotStateInvalidated);
    CHECK(owner->errors.empty());
    CHECK(fakes.urlRequests.empty());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a load under way is not pre-empted unless the owner says so") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 1);

    // No answer: never pre-empts, nothing reported, but the new request is kept for the next load.
    auto second = GADRequest::request();
    second->setContentURL(std::string("https://example.com/second"));
    slot->loadRequest(second);
    CHECK(fakes.urlRequests.size() == 1);
    CHECK(owner->errors.empty());
    REQUIRE(slot->nextRequest());
    CHECK(slot->nextRequest()->contentURL() == std::optional<std::string>("https://example.com/second"));

    owner->shouldPreempt = false;
    slot->loadRequest(second);
    CHECK(fakes.urlRequests.size() == 1);

    owner->shouldPreempt = true;
    slot->loadRequest(second);
    CHECK(fakes.urlRequests.size() == 2);
    CHECK(slot->request()->contentURL() == std::optional<std::string>("https://example.com/second"));
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: an owner refusing the request gets code 0, the pre-emption check comes first") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    owner->shouldLoad = false;

    slot->loadRequest(GADRequest::request());
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorInvalidRequest);
    CHECK(slot->state() == GADSlotStateReset);
    CHECK(fakes.urlRequests.empty());

    // While a request is under way the owner is not even asked.
    owner->shouldLoad = true;
    slot->loadRequest(GADRequest::request());
    owner->shouldLoad = false;
    slot->loadRequest(GADRequest::request());
    CHECK(owner->errors.size() == 1);
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: only a launched application in the background refuses the load, silently") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto app = platform::Application::sharedApplication();

    // Inactive (an alert or the launch itself) still loads.
    app->setApplicationState(platform::ApplicationState::Inactive);
    slot->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == 1);
    slot->cancelLoad();

    // In the background before launching has finished, too.
    app->setApplicationState(platform::ApplicationState::Background);
    slot->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == 2);
    slot->cancelLoad();

    app->finishLaunching();
    slot->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == 2);
    CHECK(owner->errors.empty());
    CHECK(slot->state() == GADSlotStateReset);
    CHECK(slot->slotHasAttemptedAnAdRequestAtLeastOnce());
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: without a request a plain one is used, and a reload reuses the last one") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadNextRequestWithAutoRefresh(false);
    REQUIRE(slot->request());
    auto first = slot->nextRequest();
    REQUIRE(first);

    slot->cancelLoad();
    slot->loadNextRequestWithAutoRefresh(true);
    CHECK(slot->nextRequest() == first);
    CHECK(slot->hasAutoRefreshed());
    CHECK(fakes.urlRequests.size() == 2);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: setState skips equal values, switches the interceptor, and 8 is final") {
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto enables = GADMRAIDInterceptor::enableCanInitWithRequestCount();
    auto disables = GADMRAIDInterceptor::disableCanInitWithRequestCount();

    slot->setState(GADSlotStateReset);
    CHECK(GADMRAIDInterceptor::enableCanInitWithRequestCount() == enables);
    slot->setState(GADSlotStateRequestingAdURL);
    CHECK(GADMRAIDInterceptor::enableCanInitWithRequestCount() == enables + 1);
    slot->setState(GADSlotStateRequestingAdURL);
    CHECK(GADMRAIDInterceptor::enableCanInitWithRequestCount() == enables + 1);
    slot->setState(GADSlotStateValidAd);
    CHECK(GADMRAIDInterceptor::disableCanInitWithRequestCount() == disables + 1);
    // 6 -> 2 is not 0 -> 2: no enable.
    slot->setState(GADSlotStateRequestingAdURL);
    CHECK(GADMRAIDInterceptor::enableCanInitWithRequestCount() == enables + 1);
    slot->setState(GADSlotStateInvalidAd);
    slot->setState(GADSlotStateSDKCoreFailed);
    CHECK(GADMRAIDInterceptor::disableCanInitWithRequestCount() == disables + 3);

    slot->invalidateState();
    slot->setState(GADSlotStateReset);
    CHECK(slot->state() == GADSlotStateInvalidated);
    CHECK(slot->isMakingRequest());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: isMakingRequest holds in states 2 to 5 and 8 only") {
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    const GADSlotState order[] = {
        GADSlotStateSDKCoreFailed,     GADSlotStateRequestingAdURL, GADSlotStateReceivedAdURL,
        GADSlotStateFetchingAdContent, GADSlotStateRenderingAd,     GADSlotStateValidAd,
        GADSlotStateInvalidAd,         GADSlotStateReset,           GADSlotStateInvalidated};
    const bool making[] = {false, true, true, true, true, false, false, false, true};
    for (std::size_t i = 0; i < std::size(order); ++i) {
        slot->setState(order[i]);
        CHECK(slot->state() == order[i]);
        CHECK(slot->isMakingRequest() == making[i]);
    }
}

TEST_CASE_FIXTURE(Harness, "GADSlot: the fetch records its statistics on the loading ad") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto ad = GADAd::init();
    auto fetcher = slottest::startFetch(fakes, *slot, ad);
    REQUIRE(fetcher);

    CHECK(slot->state() == GADSlotStateFetchingAdContent);
    CHECK(slot->loadingAd() == ad);
    CHECK(fetcher->ad_ == ad);
    auto stats = ad->statistics();
    CHECK(stats->objectForKey("treq"));
    CHECK(stats->objectForKey("tfetch"));
    CHECK(stats->objectForKey("slotid") == std::optional<platform::Value>("unit-a"));
    // The request's sequence number and time stamp, from its application statistics.
    CHECK(stats->objectForKey("seq_num") == platform::Value(1));
    CHECK(stats->objectForKey("treq") == slot->applicationStatistics()->at("currts"));
    CHECK_FALSE(stats->objectForKey("tresponse"));

    slot->didFetchAdContent();
    CHECK(stats->objectForKey("tresponse"));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a standard response renders, becomes valid and tells the owner once") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    REQUIRE(fetcher);

    fetcher->ad_->setReloadInterval(45);
    fetcher->succeed(GADResponseTypeStandard, std::string("  <html><body>ad</body></html>\n"));
    CHECK(slot->state() == GADSlotStateRenderingAd);
    REQUIRE(owner->receivedViews.size() == 1);
    CHECK(owner->receivedViews[0] == slot->adView());
    CHECK(slot->reloadInterval() == doctest::Approx(45));
    REQUIRE(slot->reloadTimerFireDate());
    CHECK(*slot->reloadTimerFireDate() == doctest::Approx(platform::Clock::now() + 45));

    REQUIRE(runUntil([&] { return slot->state() == GADSlotStateValidAd; }));
    CHECK(owner->finished == 1);
    CHECK(owner->onMainThread);
    REQUIRE(slot->ad());
    CHECK(slot->loadingAd() == nullptr);
    CHECK(slot->ad()->statistics()->objectForKey("tload"));
    CHECK(slot->timeLastLoaded());
    CHECK(slot->viewHasMadeImpression());
    CHECK_FALSE(slot->adView()->isHidden());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: white-space-only HTML fails with code 1 and is never loaded") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);

    fetcher->succeed(GADResponseTypeStandard, std::string(" \n\t\r\n  "));

    CHECK(slot->state() == GADSlotStateInvalidAd);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorNoFill);
    CHECK(owner->receivedViews.empty());
    CHECK_FALSE(slot->adView()->isLoading());
    CHECK(slot->adView()->webView()->currentPage() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: unknown response types end in state 7 with code 11") {
    for (std::uint32_t type : {0u, 9u}) {
        FakeNeighbours fakes;
        auto owner = std::make_shared<FakeOwner>();
        auto slot = slottest::makeSlot(owner);
        auto fetcher = slottest::startFetch(fakes, *slot);
        fetcher->succeed(type, std::string("<p>x</p>"));
        CHECK(slot->state() == GADSlotStateInvalidAd);
        REQUIRE(owner->errors.size() == 1);
        CHECK(owner->errors[0].code == GADRequestErrorInternalError);
    }
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: a nil failure error becomes code 11, and cancel stops the reload timer first") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    slot->cancelLoad();
    slot->scheduleAdReloadTimer();
    REQUIRE(slot->isReloadTimerArmed());

    slot->didFailToReceiveAdWithError(std::nullopt, true);

    CHECK_FALSE(slot->isReloadTimerArmed());
    CHECK(slot->state() == GADSlotStateInvalidAd);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorInternalError);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a failed fetch takes the ad's interval with the floor, except code 13") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);

    auto ad = GADAd::init();
    ad->setReloadInterval(30);
    slottest::startFetch(fakes, *slot, ad)->fail(GADRequestError::errorWithCode(GADRequestErrorNoFill));
    CHECK(slot->reloadInterval() == doctest::Approx(30));
    CHECK(slot->state() == GADSlotStateInvalidAd);

    ad = GADAd::init();
    ad->setReloadInterval(0.5);
    slottest::startFetch(fakes, *slot, ad)
        ->fail(GADRequestError::errorWithCode(GADRequestErrorInvalidResponse));
    CHECK(slot->reloadInterval() == doctest::Approx(30));

    slottest::startFetch(fakes, *slot, ad)->fail(GADRequestError::errorWithCode(GADRequestErrorServerError));
    CHECK(slot->reloadInterval() == 0);
    CHECK(owner->errors.size() == 3);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a banner ad sets the new size and interval when its fetch starts") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto ad = GADBannerAd::initWithDictionary(
        {{"ad_url", "https://ads.example.com/a"}, {"ad_size", "300x250"}, {"refresh_rate", 45}});
    slottest::startFetch(fakes, *slot, ad);
    CHECK(slot->newAdSize() == platform::Size{300, 250});
    CHECK(slot->reloadInterval() == doctest::Approx(45));

    // An interstitial slot takes neither.
    auto interstitial = slottest::makeSlot(owner, false);
    auto ad2 = GADBannerAd::initWithDictionary({{"ad_size", "300x250"}, {"refresh_rate", 45}});
    slottest::startFetch(fakes, *interstitial, ad2);
    CHECK(interstitial->newAdSize() == platform::Size{0, 0});
    CHECK(interstitial->reloadInterval() == doctest::Approx(60));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a response delegate can fail or take over a response") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);

    owner->processResponse = false;
    slottest::startFetch(fakes, *slot)->succeed(GADResponseTypeNative, std::string("{}"));
    CHECK(slot->state() == GADSlotStateValidAd);
    CHECK(owner->errors.empty());
    CHECK(owner->receivedViews.empty());

    owner->responseError = GADRequestError::errorWithCode(GADRequestErrorInvalidArgument, std::string("no"));
    slottest::startFetch(fakes, *slot)->succeed(GADResponseTypeStandard, std::string("<p>x</p>"));
    CHECK(slot->state() == GADSlotStateInvalidAd);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorInvalidArgument);
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: a refused custom-rendered ad ends in state 7 with code 12 and the old ad") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);

    fetcher->succeed(GADResponseTypeCustomRendering, std::string("<p>custom</p>"));

    CHECK(slot->state() == GADSlotStateInvalidAd);
    CHECK_FALSE(slot->isMakingRequest());
    CHECK_FALSE(slot->reloadable());
    CHECK(slot->ad() == nullptr);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorInvalidArgument);
    CHECK(owner->errors[0].description == "Custom rendered ad could not be rendered by delegate.");

    // The owner's own error wins.
    owner->customError = platform::Error("test", 77, "mine");
    owner->rendersCustom = false;
    slottest::startFetch(fakes, *slot)->succeed(GADResponseTypeCustomRendering, std::string("<p>c</p>"));
    REQUIRE(owner->errors.size() == 2);
    CHECK(owner->errors[1].code == 77);
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: an accepted custom-rendered ad becomes current and the slot stops reloading") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    owner->rendersCustom = true;
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    fetcher->succeed(GADResponseTypeCustomRendering, std::string("<p>custom</p>"));

    CHECK(slot->state() == GADSlotStateFetchingAdContent);
    CHECK(slot->ad() == fetcher->ad_);
    CHECK_FALSE(slot->reloadable());
    CHECK_FALSE(slot->isReloadTimerArmed());
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: the reload interval has a 1 s floor and nothing arms before a first load") {
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    CHECK(slot->reloadInterval() == doctest::Approx(60));
    slot->setReloadInterval(0.99);
    CHECK(slot->reloadInterval() == 0);
    slot->setReloadInterval(1.0);
    CHECK(slot->reloadInterval() == doctest::Approx(1.0));
    slot->setReloadInterval(std::nan(""));
    CHECK(slot->reloadInterval() == 0);

    slot->setReloadInterval(30);
    slot->scheduleAdReloadTimer();
    CHECK_FALSE(slot->isReloadTimerArmed());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: the reload timer fires after the interval and asks the owner") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    slot->cancelLoad();
    slot->setReloadInterval(30);
    slot->scheduleAdReloadTimer();
    REQUIRE(slot->reloadTimerFireDate());
    CHECK(*slot->reloadTimerFireDate() == doctest::Approx(platform::Clock::now() + 30));

    advance(29.9);
    CHECK(owner->reloadQuestions == 0);

    // No answer: no load, armed again for one more interval.
    advance(0.2);
    CHECK(owner->reloadQuestions == 1);
    CHECK(fakes.urlRequests.size() == 1);
    CHECK(slot->isReloadTimerArmed());

    owner->shouldReload = false;
    advance(30);
    CHECK(owner->reloadQuestions == 2);
    CHECK(fakes.urlRequests.size() == 1);
    CHECK(slot->isReloadTimerArmed());

    owner->shouldReload = true;
    advance(30);
    CHECK(fakes.urlRequests.size() == 2);
    CHECK(slot->hasAutoRefreshed());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an automatic reload refused by the gate re-arms the timer") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    owner->shouldReload = true;
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request()); // stays in state 2: the gate refuses reloads
    slot->setReloadInterval(10);
    slot->scheduleAdReloadTimer();

    advance(10.1);
    CHECK(owner->reloadQuestions == 1);
    CHECK(fakes.urlRequests.size() == 1);
    CHECK(slot->isReloadTimerArmed());

    advance(10);
    CHECK(owner->reloadQuestions == 2);

    // Not in state 8.
    slot->invalidate();
    slot->reloadCurrentRequest();
    CHECK_FALSE(slot->isReloadTimerArmed());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: resigning active and full-screen ads pause the reload timer") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    slot->cancelLoad();
    slot->setReloadInterval(20);
    slot->scheduleAdReloadTimer();
    auto app = platform::Application::sharedApplication();
    auto center = platform::NotificationCenter::defaultCenter();

    app->resignActive();
    CHECK_FALSE(slot->isReloadTimerArmed());
    advance(60);
    CHECK(owner->reloadQuestions == 0);
    app->becomeActive();
    REQUIRE(slot->isReloadTimerArmed());
    CHECK(*slot->reloadTimerFireDate() == doctest::Approx(platform::Clock::now() + 20));

    // Another slot's full-screen ad, posted with any object.
    int other = 0;
    center->post(GADSlot::kAdModalViewControllerWillPresentFullScreen, &other);
    CHECK_FALSE(slot->isReloadTimerArmed());
    advance(60);
    CHECK(owner->reloadQuestions == 0);
    center->post(GADSlot::kAdModalViewControllerDidDismissFullScreen, nullptr);
    CHECK(slot->isReloadTimerArmed());
    advance(20.1);
    CHECK(owner->reloadQuestions == 1);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: while a screen of its own is up no reload is armed, whatever other screens and "
                           "the app do, and the period's end arms it") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    owner->shouldReload = true;
    auto slot = slottest::makeSlot(owner);
    auto otherOwner = std::make_shared<FakeOwner>();
    auto other = slottest::makeSlot(otherOwner);
    REQUIRE(slottest::showAd(*this, fakes, *slot, *owner));
    slot->setReloadInterval(20);
    slot->scheduleAdReloadTimer();
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto settle = [&] {
        advance(0.5);
        runUntilIdle();
    };

    // The user's: opened as the ad is touched.
    slot->adView()->setTouched(true);
    auto own = GADAdAppViewController::init();
    own->setSlot(slot);
    own->presentFromViewController(root, nullptr);
    settle();
    CHECK_FALSE(slot->isReloadTimerArmed());
    // Another slot's screen comes and goes over it; the app leaves and comes back.
    auto theirs = GADAdAppViewController::init();
    theirs->setSlot(other);
    theirs->presentFromViewController(own, nullptr);
    settle();
    theirs->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK_FALSE(slot->isReloadTimerArmed());
    platform::Application::sharedApplication()->resignActive();
    platform::Application::sharedApplication()->becomeActive();
    CHECK_FALSE(slot->isReloadTimerArmed());
    advance(60);
    CHECK(owner->reloadQuestions == 0);
    CHECK(fakes.urlRequests.size() == 1);

    own->relinquishScreenWithCompletion(nullptr);
    settle();
    REQUIRE(slot->isReloadTimerArmed());
    CHECK(*slot->reloadTimerFireDate() == doctest::Approx(platform::Clock::now() + 20).epsilon(0.05));
    advance(20.1);
    CHECK(owner->reloadQuestions == 1);
    CHECK(fakes.urlRequests.size() == 2);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a load under way as its screen comes up, or asked for while it is up, is made "
                           "and answered once when the period ends") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto settle = [&] {
        advance(0.5);
        runUntilIdle();
    };
    // Screens the user opens, each as the shown ad is touched.
    auto showScreen = [&] {
        slot->adView()->setTouched(true);
        auto screen = GADAdAppViewController::init();
        screen->setSlot(slot);
        screen->presentFromViewController(root, nullptr);
        settle();
        REQUIRE(root->presentedViewController() == screen);
        return screen;
    };
    REQUIRE(slottest::showAd(*this, fakes, *slot, *owner));
    const auto requestsBefore = fakes.urlRequests.size();

    // A fetch under way is put back as the screen comes up; its late answer finds nothing to do.
    auto fetcher = slottest::startFetch(fakes, *slot);
    auto screen = showScreen();
    CHECK(fetcher->cancelled);
    CHECK(slot->state() == GADSlotStateReset);
    fetcher->succeedEvenIfCancelled(GADResponseTypeStandard, "<p>late</p>");
    CHECK(owner->finished == 1);
    // Two loads asked for meanwhile: nothing is asked of the network while the screen is up.
    slot->loadRequest(GADRequest::request());
    slot->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == requestsBefore + 1);
    CHECK(owner->errors.empty());

    screen->relinquishScreenWithCompletion(nullptr);
    settle();
    // One load for all of them, made as the app's own, and answered once.
    REQUIRE(fakes.urlRequests.size() == requestsBefore + 2);
    CHECK(slot->state() == GADSlotStateRequestingAdURL);
    CHECK_FALSE(slot->hasAutoRefreshed());
    slot->didReceiveAdURL();
    slot->loadAd(GADAd::init(), std::nullopt);
    fakes.lastFetcher()->succeed(GADResponseTypeStandard, std::string("<p>ad</p>"));
    REQUIRE(runUntil([&] { return owner->finished == 2; }));
    settle();
    CHECK(owner->finished == 2);
    CHECK(owner->errors.empty());

    // A period with nothing asked for leaves the slot as it was.
    screen = showScreen();
    screen->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK(fakes.urlRequests.size() == requestsBefore + 2);
    CHECK(slot->state() == GADSlotStateValidAd);
}

namespace {

struct ScreenCalls : GADSlotAdEventDelegate {
    void slotWillPresentScreen(GADSlot&) override { calls.push_back("willPresent"); }
    void slotWillDismissScreen(GADSlot&) override { calls.push_back("willDismiss"); }
    void slotDidDismissScreen(GADSlot&) override { calls.push_back("didDismiss"); }
    std::vector<std::string> calls;
};

// A banner slot showing an ad with a 30 s refresh in a window, whose screen calls are recorded.
struct ShownBanner : Harness {
    ShownBanner() {
        slot->setAdEventDelegate(events);
        owner->shouldReload = true;
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        root->view()->addSubview(slot->adView());
        auto ad = GADAd::init();
        ad->setReloadInterval(30);
        slottest::startFetch(fakes, *slot, ad)->succeed(GADResponseTypeStandard, std::string("<p>ad</p>"));
        REQUIRE(runUntil([&] { return owner->finished == 1; }));
        REQUIRE(slot->isReloadTimerArmed());
    }
    void settle() {
        advance(0.5);
        runUntilIdle();
    }
    // A screen of the slot's own, as the page's expand or resize puts up.
    std::shared_ptr<GADAdAppViewController> showScreen() {
        auto screen = GADAdAppViewController::init();
        screen->setSlot(slot);
        screen->presentFromViewController(root, nullptr);
        settle();
        REQUIRE(root->presentedViewController() == screen);
        return screen;
    }
    // Answers the slot's latest ad-URL request with an ad.
    void answerLoad(const std::string& html) {
        slot->didReceiveAdURL();
        auto ad = GADAd::init();
        ad->setReloadInterval(30);
        slot->loadAd(ad, std::nullopt);
        fakes.lastFetcher()->succeed(GADResponseTypeStandard, html);
    }
    // While `screen` holds the slot: no refresh is armed, and the app's load waits, however long, until
    // `closeScreen` closes it; then it is made and answered.
    void loadWaitsFor(const std::shared_ptr<platform::ViewController>& screen,
                      const std::function<void()>& closeScreen) {
        CHECK(slot->isHeldByFullScreen());
        CHECK(app->isIdleTimerDisabled());
        CHECK_FALSE(slot->isReloadTimerArmed());
        const int finishedBefore = owner->finished;
        const auto requestsBefore = fakes.urlRequests.size();
        slot->loadRequest(GADRequest::request());
        advance(60);
        CHECK(fakes.urlRequests.size() == requestsBefore);
        CHECK(root->presentedViewController() == screen);
        closeScreen();
        settle();
        CHECK_FALSE(slot->isShowingFullScreen());
        CHECK_FALSE(app->isIdleTimerDisabled());
        REQUIRE(fakes.urlRequests.size() == requestsBefore + 1);
        answerLoad("<p>after</p>");
        REQUIRE(runUntil([&] { return owner->finished == finishedBefore + 1; }));
        settle();
    }
    // The app's load, answered with `html`: its page shown and settled.
    void showNext(const std::string& html) {
        const int finishedBefore = owner->finished;
        slot->loadRequest(GADRequest::request());
        answerLoad(html);
        REQUIRE(runUntil([&] { return owner->finished == finishedBefore + 1; }));
        settle();
    }
    // The app's load while a screen that holds nothing is up: the screen leaves at once, and the load is
    // made and answered.
    void loadAnsweredPastScreen() {
        const int finishedBefore = owner->finished;
        const auto requestsBefore = fakes.urlRequests.size();
        slot->loadRequest(GADRequest::request());
        CHECK_FALSE(slot->isShowingFullScreen());
        REQUIRE(fakes.urlRequests.size() == requestsBefore + 1);
        answerLoad("<p>next</p>");
        REQUIRE(runUntil([&] { return owner->finished == finishedBefore + 1; }));
        settle();
    }

    FakeNeighbours fakes;
    std::shared_ptr<FakeOwner> owner = std::make_shared<FakeOwner>();
    std::shared_ptr<GADSlot> slot = slottest::makeSlot(owner);
    std::shared_ptr<ScreenCalls> events = std::make_shared<ScreenCalls>();
    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
    std::shared_ptr<platform::Application> app = platform::Application::sharedApplication();
};

using Calls = std::vector<std::string>;

} // namespace

TEST_CASE_FIXTURE(ShownBanner, "GADSlot: a screen the creative opened untouched pauses nothing: the app's load and "
                               "the refresh go ahead, taking it down first") {
    app->setIdleTimerDisabled(false);
    const double fireDate = *slot->reloadTimerFireDate();
    auto otherOwner = std::make_shared<FakeOwner>();
    auto other = slottest::makeSlot(otherOwner);
    other->loadRequest(GADRequest::request());
    other->cancelLoad();
    other->setReloadInterval(20);
    other->scheduleAdReloadTimer();
    const double otherFireDate = *other->reloadTimerFireDate();
    REQUIRE(fakes.urlRequests.size() == 2); // the banner's and the other slot's
    auto screen = showScreen();
    CHECK(slot->isShowingFullScreen());
    // Nor does it pause another slot's.
    REQUIRE(other->isReloadTimerArmed());
    CHECK(*other->reloadTimerFireDate() == otherFireDate);
    CHECK_FALSE(slot->isHeldByFullScreen());
    // Nor does it keep the device awake.
    CHECK_FALSE(app->isIdleTimerDisabled());
    CHECK(events->calls == Calls{"willPresent"});
    // The refresh keeps its interval.
    REQUIRE(slot->isReloadTimerArmed());
    CHECK(*slot->reloadTimerFireDate() == fireDate);

    // The app's load: the screen leaves at once, the load is made and answered.
    slot->loadRequest(GADRequest::request());
    CHECK(events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
    CHECK_FALSE(slot->isShowingFullScreen());
    REQUIRE(fakes.urlRequests.size() == 3);
    answerLoad("<p>second</p>");
    REQUIRE(runUntil([&] { return owner->finished == 2; }));
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(slot->adView()->superview() == root->view());
    CHECK(owner->errors.empty());

    // Opened again by the new ad, untouched: the refresh fires on time and takes it down in turn.
    events->calls.clear();
    REQUIRE(slot->isReloadTimerArmed());
    const double next = *slot->reloadTimerFireDate();
    showScreen();
    advance(next - platform::Clock::now() + 0.1);
    CHECK(owner->reloadQuestions == 1);
    REQUIRE(fakes.urlRequests.size() == 4);
    CHECK(slot->hasAutoRefreshed());
    CHECK(events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    answerLoad("<p>third</p>");
    REQUIRE(runUntil([&] { return owner->finished == 3; }));
    // Its late period end neither re-arms nor delays the refresh the new ad armed.
    const double armed = *slot->reloadTimerFireDate();
    settle();
    CHECK(*slot->reloadTimerFireDate() == armed);
}

TEST_CASE_FIXTURE(ShownBanner,
                  "GADSlot: a touch counts for one screen opened within 5 s, which holds the load "
                  "until it leaves, then answers it once") {
    app->setIdleTimerDisabled(false);
    auto otherOwner = std::make_shared<FakeOwner>();
    auto other = slottest::makeSlot(otherOwner);
    other->loadRequest(GADRequest::request());
    other->cancelLoad();
    other->setReloadInterval(20);
    other->scheduleAdReloadTimer();
    // A finger on the ad itself, then the screen it opens just inside the time a touch counts for.
    REQUIRE(platform::TouchInjector::tap({10, 10}, window));
    REQUIRE(slot->adView()->isTouched());
    advance(GADSlot::kUserActivationSeconds - 0.6);
    auto screen = showScreen();
    CHECK(slot->isHeldByFullScreen());
    CHECK(app->isIdleTimerDisabled());
    CHECK_FALSE(slot->isReloadTimerArmed());
    // Every slot pauses its reload meanwhile, and takes it up again when the screen leaves.
    CHECK_FALSE(other->isReloadTimerArmed());
    const auto requestsBefore = fakes.urlRequests.size();
    slot->loadRequest(GADRequest::request());
    slot->loadRequest(GADRequest::request());
    advance(60);
    CHECK(fakes.urlRequests.size() == requestsBefore);
    CHECK(root->presentedViewController() == screen);
    CHECK(owner->errors.empty());

    screen->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK_FALSE(app->isIdleTimerDisabled());
    CHECK(other->isReloadTimerArmed());
    REQUIRE(fakes.urlRequests.size() == requestsBefore + 1);
    CHECK_FALSE(slot->hasAutoRefreshed());
    answerLoad("<p>after</p>");
    REQUIRE(runUntil([&] { return owner->finished == 2; }));
    settle();
    CHECK(owner->finished == 2);
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(ShownBanner,
                  "GADSlot: a stale touch, a touch after the screen opened, and a touch a screen already "
                  "took hold nothing: the app's loads are answered and the refresh comes on time") {
    app->setIdleTimerDisabled(false);
    enum class Touch { Stale, AfterOpening, Taken };
    for (Touch touch : {Touch::Stale, Touch::AfterOpening, Touch::Taken}) {
        CAPTURE(static_cast<int>(touch));
        const int finishedBefore = owner->finished;
        if (touch == Touch::Stale) {
            // A tap that opened nothing, then the creative opens a screen of its own a while later.
            slot->adView()->setTouched(true);
            advance(GADSlot::kUserActivationSeconds + 0.1);
        } else if (touch == Touch::Taken) {
            // The touch opened a screen, which has gone; the creative opens the next on its own.
            slot->adView()->setTouched(true);
            auto first = showScreen();
            REQUIRE(slot->isHeldByFullScreen());
            first->relinquishScreenWithCompletion(nullptr);
            settle();
            REQUIRE_FALSE(slot->isShowingFullScreen());
        }
        REQUIRE(slot->isReloadTimerArmed());
        const double fireDate = *slot->reloadTimerFireDate();
        events->calls.clear();
        showScreen();
        if (touch == Touch::AfterOpening) {
            // The user taps what the creative opened: it stays the creative's.
            slot->adView()->setTouched(true);
            slot->recordUserTouch();
        }
        CHECK_FALSE(slot->isHeldByFullScreen());
        CHECK_FALSE(app->isIdleTimerDisabled());
        REQUIRE(slot->isReloadTimerArmed());
        CHECK(*slot->reloadTimerFireDate() == fireDate);

        // The refresh fires on time and takes the screen down, then the app's own load is answered.
        advance(fireDate - platform::Clock::now() + 0.1);
        CHECK(events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
        CHECK(slot->hasAutoRefreshed());
        answerLoad("<p>refreshed</p>");
        REQUIRE(runUntil([&] { return owner->finished == finishedBefore + 1; }));
        settle();
        CHECK(root->presentedViewController() == nullptr);
        slot->loadRequest(GADRequest::request());
        answerLoad("<p>asked</p>");
        REQUIRE(runUntil([&] { return owner->finished == finishedBefore + 2; }));
        settle();
        CHECK(owner->errors.empty());
    }
}

TEST_CASE_FIXTURE(ShownBanner,
                  "GADSlot: a period with no page holds nothing: after an ad whose page failed, a "
                  "touched screen leaves the app's next load answered") {
    auto fetcher = slottest::startFetch(fakes, *slot);
    fetcher->succeed(GADResponseTypeStandard, std::string("<p>cancelled</p>"));
    REQUIRE(slot->state() == GADSlotStateRenderingAd);
    // The creative cancels its own load: the load fails, and the page stays in the ad view.
    slot->adViewDelegate()->adView(slot->adView(), platform::Error("NSURLErrorDomain", -999, "cancelled"));
    REQUIRE(owner->errors.size() == 1);
    REQUIRE(slot->state() == GADSlotStateInvalidAd);
    // Its script still opens a screen, even as the user touches the ad.
    slot->adView()->setTouched(true);
    showScreen();
    CHECK_FALSE(slot->isHeldByFullScreen());

    const auto requestsBefore = fakes.urlRequests.size();
    slot->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == requestsBefore + 1);
    CHECK_FALSE(slot->isShowingFullScreen());
    answerLoad("<p>next</p>");
    REQUIRE(runUntil([&] { return owner->finished == 2; }));
    CHECK(owner->errors.size() == 1);
}

TEST_CASE_FIXTURE(ShownBanner,
                  "GADSlot: a tap in the ad's in-app browser that opens the store is the user's") {
    // The creative opens the browser on its own; its landing page links to the store.
    auto opener = slot->adViewDelegate()->opener();
    opener->setViewController(root);
    REQUIRE(opener->openBrowserToURL(*platform::URL::parse("https://127.0.0.1:9/landing"), 30));
    settle();
    auto browser = std::dynamic_pointer_cast<GADBrowserViewController>(root->presentedViewController());
    REQUIRE(browser);
    auto page = browser->adView();
    REQUIRE(runUntil([&] { return !page->isLoading(); }));
    page->loadHTMLString("<html><body style='margin:0'><a id='store' href='itms-apps://apps.example/app/id1'>"
                         "<div style='width:320px;height:400px'>get</div></a></body></html>",
                         platform::URL::parse("https://landing.example/"));
    REQUIRE(runUntil([&] { return page->evaluate("document.getElementById('store') ? 'y' : 'n'") == "y"; }));
    CHECK_FALSE(slot->isHeldByFullScreen());
    const auto stores = [&] { return app->openedURLs().size(); };

    // Followed without the user's touch (the page's own script), the store link leaves the period the
    // creative's.
    REQUIRE(platform::WebViewTesting::clickElement(*page->webView(), "#store"));
    runUntilIdle();
    REQUIRE(stores() == 1);
    CHECK_FALSE(slot->isHeldByFullScreen());
    CHECK_FALSE(app->isIdleTimerDisabled());

    // Tapped by the user: the store is theirs, and so is the browser they come back to.
    REQUIRE(platform::TouchInjector::tap({100, 200}, window));
    runUntilIdle();
    REQUIRE(stores() == 2);
    // Done: the load asked for meanwhile is made and answered.
    loadWaitsFor(browser, [&] { browser->doneButtonPressed(); });
    CHECK(owner->finished == 2);
    CHECK(owner->errors.empty());
}

namespace {

// A page whose load event never fires: a first image from a server that never answers, and a script
// that keeps adding more behind it.
std::string neverLoadingPage(const adserver::SilentServer& silent) {
    const std::string hanging = "https://127.0.0.1:" + std::to_string(silent.port()) + "/";
    return "<html><body><img src='" + hanging +
           "first.png'><script>var n=0;setInterval(function(){"
           "var i=document.createElement('img');i.src='" +
           hanging +
           "more'+(n++)+'.png';"
           "document.body.appendChild(i);},500);</script></body></html>";
}

} // namespace

TEST_CASE_FIXTURE(ShownBanner,
                  "GADSlot: a page whose load event never fires fails at the request's timeout, and "
                  "the app's next load is answered") {
    auto silent = adserver::SilentServer::start();
    REQUIRE(silent);
    const double start = platform::Clock::now();
    auto ad = GADAd::init();
    ad->setReloadInterval(25);
    auto fetcher = slottest::startFetch(fakes, *slot, ad);
    fetcher->succeed(GADResponseTypeStandard, neverLoadingPage(*silent));
    REQUIRE(slot->state() == GADSlotStateRenderingAd);
    const auto requestsBefore = fakes.urlRequests.size();
    // The app's load meanwhile waits on the one under way, as any load does.
    slot->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == requestsBefore);

    advance(GADSlot::kAdRequestTimeoutSeconds - 1);
    runUntilIdle();
    CHECK(slot->state() == GADSlotStateRenderingAd);
    CHECK(owner->errors.empty());
    advance(1.5);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorTimeout);
    CHECK(platform::Clock::now() - start <= GADSlot::kAdRequestTimeoutSeconds + 0.5);
    CHECK(owner->finished == 1);
    // The page is stopped, script and all: it can no longer finish as the ad.
    CHECK(slot->adView()->evaluate("typeof n") != "number");

    CHECK(slot->state() == GADSlotStateInvalidAd);

    // The refresh, refused while the page rendered, keeps its interval; the app's next load is answered.
    CHECK(owner->reloadQuestions == 2);
    REQUIRE(slot->isReloadTimerArmed());
    CHECK(*slot->reloadTimerFireDate() == doctest::Approx(start + 75));
    slot->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == requestsBefore + 1);
    answerLoad("<p>next</p>");
    REQUIRE(runUntil([&] { return owner->finished == 2; }));
    CHECK(owner->errors.size() == 1);
}

TEST_CASE_FIXTURE(ShownBanner, "GADSlot: an ad whose page opens a screen while rendering is received and counted "
                               "once, and its screen stays up") {
    auto pimp = [] {
        auto v = GADApplication::sharedInstance()->statistics()->objectForKey("pimp");
        return v ? platform::integerValue(*v) : 0;
    };
    const long long impressionsBefore = pimp();
    auto trackers = GADClickTrackerCollection::sharedInstance();
    auto b = GADAd::init();
    b->setReloadInterval(30);
    auto fetcher = slottest::startFetch(fakes, *slot, b);
    fetcher->ad_->addImpressionURLsFromArray({*platform::URL::parse("https://ping.example/imp?b=1")});
    const std::size_t pingsBefore = trackers->trackedCount();
    fetcher->succeed(GADResponseTypeStandard, std::string("<html><body>B</body></html>"));
    REQUIRE(slot->state() == GADSlotStateRenderingAd);

    auto screen = showScreen();
    // B's load ended as the screen came up, and the app heard of B before the screen.
    CHECK(slot->state() == GADSlotStateValidAd);
    CHECK(slot->ad() == fetcher->ad_);
    CHECK(owner->finished == 2);
    CHECK(events->calls == Calls{"willPresent"});
    CHECK(pimp() == impressionsBefore + 1);
    CHECK(trackers->trackedCount() == pingsBefore + 1);
    // The page's own load event, and time passing, change nothing: no second answer, count or load.
    settle();
    advance(5);
    runUntilIdle();
    CHECK(owner->finished == 2);
    CHECK(pimp() == impressionsBefore + 1);
    CHECK(trackers->trackedCount() == pingsBefore + 1);
    CHECK(fakes.urlRequests.size() == 2);
    CHECK(root->presentedViewController() == screen);
    CHECK(slot->ad() == fetcher->ad_);

    // Closed, it leaves B in place: nothing is loaded again.
    screen->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK(events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK(fakes.urlRequests.size() == 2);
    CHECK(slot->ad() == fetcher->ad_);
    CHECK(owner->finished == 2);
}

namespace {

// Taps the middle of `view` with one finger.
bool tapOn(const std::shared_ptr<platform::View>& view, const std::shared_ptr<platform::Window>& window) {
    const platform::Rect frame = view->convertRectToView(view->bounds(), nullptr);
    return platform::TouchInjector::tap({frame.midX(), frame.midY()}, window);
}

} // namespace

TEST_CASE_FIXTURE(ShownBanner,
                  "GADSlot: a creative that reopens after the user closes it with the close button "
                  "or the close region holds nothing, and the app's load is answered") {
    auto opener = slot->adViewDelegate()->opener();
    opener->setAdView(slot->adView());
    enum class Close { Button, Region, BrowserDone };
    // The creative opens its screen on its own, as its script may at any time.
    auto open = [&](Close how) -> std::shared_ptr<GADViewController> {
        opener->setViewController(root);
        if (how == Close::Button) {
            opener->expandToWebAppWithSupportedOrientations(30, false);
        } else if (how == Close::Region) {
            opener->openWebAppWithResizeProperties(
                GADMRAIDResizeProperties::init({300, 100}, {10, 0}, 0, false));
        } else {
            opener->openBrowserToURL(*platform::URL::parse("https://127.0.0.1:9/landing"), 30);
        }
        settle();
        auto shown =
            how == Close::BrowserDone ? root->presentedViewController() : slot->adView()->viewController();
        return std::dynamic_pointer_cast<GADViewController>(shown);
    };
    for (Close how : {Close::Button, Close::Region, Close::BrowserDone}) {
        for (int round = 0; round < 3; ++round) {
            CAPTURE(static_cast<int>(how));
            CAPTURE(round);
            // An MRAID ad: a resize keeps its close region over the ad.
            slot->MRAIDAdDidLoad();
            auto screen = open(how);
            REQUIRE(screen);
            REQUIRE(slot->isShowingFullScreen());
            CHECK_FALSE(slot->isHeldByFullScreen());
            std::shared_ptr<platform::View> control;
            std::shared_ptr<platform::View> content;
            if (auto adApp = std::dynamic_pointer_cast<GADAdAppViewController>(screen)) {
                control = adApp->closeButton();
                content = adApp->adView();
            } else {
                auto browser = std::dynamic_pointer_cast<GADBrowserViewController>(screen);
                REQUIRE(browser);
                control = browser->toolbar()->viewForItem(browser->doneButton());
                content = browser->adView();
            }
            REQUIRE(control);
            REQUIRE(control->window() == window);
            // In the middle round the user taps the ad's content first, and nothing opens: the close uses
            // that tap up.
            if (round == 1) REQUIRE(tapOn(content, window));
            REQUIRE(tapOn(control, window));
            runUntilIdle();
            advance(0.3);
            runUntilIdle();
            REQUIRE_FALSE(slot->isShowingFullScreen());

            // 300 ms later the creative opens the screen again: it holds nothing.
            REQUIRE(open(how));
            CHECK_FALSE(slot->isHeldByFullScreen());
            CHECK_FALSE(app->isIdleTimerDisabled());
            loadAnsweredPastScreen();
        }
    }
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(
    ShownBanner,
    "GADSlot: a tap inside an expanded ad that the creative closes itself counts for the landing "
    "page it opens within 5 s, which holds the app's loads, but not after the user's close, nor later") {
    slot->adView()->setViewController(root);
    const std::string page =
        "<html><body style='margin:0'><div style='width:320px;height:50px'>ad</div>"
        "<script>function send(path) {"
        "location.href = 'gmsg://mobileads.ruzave.example/' + path; }</script></body></html>";
    enum class Close { ByCreative, ByUser, ByCreativeThenLate };
    for (Close close : {Close::ByCreative, Close::ByUser, Close::ByCreativeThenLate}) {
        CAPTURE(static_cast<int>(close));
        const int finishedBefore = owner->finished;
        showNext(page);
        // The creative expands on its own: a screen of nobody's.
        slot->adView()->evaluate("send('open?a=expand')");
        REQUIRE(runUntil([&] { return slot->isShowingFullScreen(); }));
        settle();
        auto expanded = std::dynamic_pointer_cast<GADAdAppViewController>(slot->adView()->viewController());
        REQUIRE(expanded);
        CHECK_FALSE(slot->isHeldByFullScreen());
        // The user taps inside it, and nothing opens yet.
        REQUIRE(tapOn(expanded->adView(), window));
        const double tap = platform::Clock::now();
        runUntilIdle();
        CHECK_FALSE(slot->isHeldByFullScreen());
        if (close == Close::ByUser) {
            REQUIRE(tapOn(expanded->closeButton(), window));
        } else {
            slot->adView()->evaluate("send('close')");
            // Its message reaches the handlers a turn or two later.
            REQUIRE(
                runUntil([&] { return expanded->screenState() != GADViewController::ScreenState::Shown; }));
        }
        settle();
        REQUIRE_FALSE(slot->isShowingFullScreen());
        if (close == Close::ByCreativeThenLate)
            advance(tap + GADSlot::kUserActivationSeconds + 0.1 - platform::Clock::now());
        // The creative opens its landing page in the in-app browser.
        slot->adView()->evaluate(
            "send('open?a=browser&u=' + encodeURIComponent('https://127.0.0.1:9/landing'))");
        REQUIRE(runUntil([&] { return slot->isShowingFullScreen(); }));
        settle();
        auto browser = std::dynamic_pointer_cast<GADBrowserViewController>(root->presentedViewController());
        REQUIRE(browser);
        if (close != Close::ByCreative) {
            CHECK_FALSE(slot->isHeldByFullScreen());
            CHECK_FALSE(app->isIdleTimerDisabled());
            loadAnsweredPastScreen();
            continue;
        }
        // The user's landing page: the app's loads and the refresh wait until the user closes it.
        loadWaitsFor(browser,
                     [&] { REQUIRE(tapOn(browser->toolbar()->viewForItem(browser->doneButton()), window)); });
        CHECK(owner->finished == finishedBefore + 2);
    }
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(ShownBanner, "GADSlot: a pan that starts on the ad holds nothing, a tap still does") {
    slot->adView()->setViewController(root);
    // The creative expands as a finger goes down on it, or as it lifts, as `when` says.
    const std::string page = "<html><body style='margin:0'>"
                             "<div id='ad' style='width:320px;height:50px'></div><script>var when = '';"
                             "function expand(kind) { if (when == kind) "
                             "location.href = 'gmsg://mobileads.ruzave.example/open?a=expand'; }"
                             "var ad = document.getElementById('ad');"
                             "ad.addEventListener('touchstart', function () { expand('touchstart'); });"
                             "ad.addEventListener('touchend', function () { expand('touchend'); });"
                             "</script></body></html>";
    enum class Gesture { PanOpensAtStart, PanOpensAtEnd, TapOpensAtEnd };
    for (Gesture gesture : {Gesture::PanOpensAtStart, Gesture::PanOpensAtEnd, Gesture::TapOpensAtEnd}) {
        CAPTURE(static_cast<int>(gesture));
        const int finishedBefore = owner->finished;
        showNext(page);
        const bool pan = gesture != Gesture::TapOpensAtEnd;
        slot->adView()->evaluate(std::string("when = '") +
                                 (gesture == Gesture::PanOpensAtStart ? "touchstart" : "touchend") + "';");
        const auto expanded = [&] { return runUntil([&] { return slot->isShowingFullScreen(); }); };
        // A finger down on the banner that scrolls the app's content on, or lifts where it went down.
        platform::TouchInjector finger(window);
        REQUIRE(finger.down({160, 25}));
        if (gesture == Gesture::PanOpensAtStart) REQUIRE(expanded());
        if (pan) {
            for (float y : {40.0f, 80.0f, 160.0f, 300.0f})
                REQUIRE(finger.move({160, y}, 0.05));
            REQUIRE(finger.up({160, 300}, 0.25));
        } else {
            REQUIRE(finger.up({161, 26}, 0.1));
        }
        REQUIRE(expanded());
        settle();
        CHECK(slot->isHeldByFullScreen() == !pan);
        CHECK(app->isIdleTimerDisabled() == !pan);

        const auto requestsBefore = fakes.urlRequests.size();
        slot->loadRequest(GADRequest::request());
        if (!pan) {
            // Held: the load waits for the user to close the screen.
            advance(30);
            CHECK(fakes.urlRequests.size() == requestsBefore);
            auto screen = std::dynamic_pointer_cast<GADViewController>(slot->adView()->viewController());
            REQUIRE(screen);
            screen->close();
            settle();
        }
        CHECK_FALSE(slot->isShowingFullScreen());
        REQUIRE(fakes.urlRequests.size() == requestsBefore + 1);
        answerLoad("<p>answered</p>");
        REQUIRE(runUntil([&] { return owner->finished == finishedBefore + 2; }));
        settle();
    }
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(ShownBanner,
                  "GADSlot: after a failed custom-rendered or mediation response, the shown ad's "
                  "untouched screen holds nothing, and the app's load is answered") {
    enum class Failed { RefusedCustom, Mediation };
    for (Failed failed : {Failed::RefusedCustom, Failed::Mediation}) {
        CAPTURE(static_cast<int>(failed));
        const auto errorsBefore = owner->errors.size();
        owner->rendersCustom = false;
        slottest::startFetch(fakes, *slot)
            ->succeed(failed == Failed::RefusedCustom ? GADResponseTypeCustomRendering
                                                      : GADResponseTypeMediation,
                      std::string("{}"));
        REQUIRE(owner->errors.size() == errorsBefore + 1);
        // The standard ad still shown opens a screen on its own.
        showScreen();
        CHECK_FALSE(slot->isHeldByFullScreen());
        CHECK_FALSE(app->isIdleTimerDisabled());
        loadAnsweredPastScreen();
    }
    // An ad the app renders owns the screens once received: one that opens then is the app's.
    owner->rendersCustom = true;
    slottest::startFetch(fakes, *slot)->succeed(GADResponseTypeCustomRendering, std::string("<p>mine</p>"));
    showScreen()->relinquishScreenWithCompletion(nullptr);
    settle();
    slot->didReceiveValidAd();
    showScreen();
    CHECK(slot->isHeldByFullScreen());
}

namespace {

// The app's side of a banner and an interstitial whose ads it renders itself.
struct AppRenderer : GADBannerViewDelegate,
                     GADInterstitialDelegate,
                     VODCustomRenderedBannerViewDelegate,
                     VODCustomRenderedInterstitialDelegate {
    void adViewDidReceiveAd(GADBannerView&) override { ++received; }
    void adViewDidFailToReceiveAdWithError(GADBannerView&, const platform::Error& e) override {
        errors.push_back(e);
    }
    void interstitialDidReceiveAd(GADInterstitial&) override { ++received; }
    void interstitialDidFailToReceiveAdWithError(GADInterstitial&, const platform::Error& e) override {
        errors.push_back(e);
    }
    void bannerViewDidReceiveCustomRenderedAd(VODBannerView&,
                                              const std::shared_ptr<VODCustomRenderedAd>& ad) override {
        ads.push_back(ad);
    }
    void interstitialDidReceiveCustomRenderedAd(VODInterstitial&,
                                                const std::shared_ptr<VODCustomRenderedAd>& ad) override {
        ads.push_back(ad);
    }
    int received = 0;
    std::vector<platform::Error> errors;
    std::vector<std::shared_ptr<VODCustomRenderedAd>> ads;
};

// A publisher banner in `root`'s view, or a publisher interstitial, whose outcomes `app` hears.
struct PublisherAd {
    PublisherAd(bool isInterstitial, const std::shared_ptr<platform::ViewController>& root) {
        if (isInterstitial) {
            interstitial = VODInterstitial::initWithAdUnitID("full");
            interstitial->setDelegate(app);
            slot = interstitial->slot();
        } else {
            banner = VODBannerView::initWithAdSize(kGADAdSizeBanner);
            root->view()->addSubview(banner);
            banner->setRootViewController(root);
            banner->setAdUnitID("banner");
            banner->setDelegate(app);
            slot = banner->slot();
        }
    }
    ~PublisherAd() {
        if (banner) banner->removeFromSuperview();
    }
    // From now on the app renders the custom-rendering answers itself.
    void renderCustomAds() {
        if (interstitial) {
            interstitial->setCustomRenderedInterstitialDelegate(app);
        } else {
            banner->setCustomRenderedBannerViewDelegate(app);
        }
    }

    std::shared_ptr<AppRenderer> app = std::make_shared<AppRenderer>();
    std::shared_ptr<VODBannerView> banner;
    std::shared_ptr<VODInterstitial> interstitial;
    std::shared_ptr<GADSlot> slot;
};

} // namespace

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: an app-rendered banner's or interstitial's render bound fails it with the "
                  "timeout error and leaves the shown ad's page open") {
    FakeNeighbours fakes;
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    const std::string shown = "<html><body>shown<script>var ticks = 0;"
                              "setInterval(function () { ticks++; }, 1000);</script></body></html>";
    for (bool interstitial : {false, true}) {
        CAPTURE(interstitial);
        PublisherAd publisher(interstitial, root);
        const auto& app = publisher.app;
        const auto& slot = publisher.slot;
        // A standard ad first: its page in the slot's own ad view.
        slottest::startFetch(fakes, *slot)->succeed(GADResponseTypeStandard, shown);
        REQUIRE(runUntil([&] { return app->received == 1; }));
        auto adView = slot->adView();
        // The next is one the app renders, and it never says it has.
        publisher.renderCustomAds();
        slottest::startFetch(fakes, *slot)
            ->succeed(GADResponseTypeCustomRendering, std::string("<p>mine</p>"));
        REQUIRE(app->ads.size() == 1);
        REQUIRE(slot->state() == GADSlotStateRenderingAd);
        advance(GADSlot::kAdRequestTimeoutSeconds - 1);
        runUntilIdle();
        CHECK(app->errors.empty());
        advance(1.5);
        runUntilIdle();
        REQUIRE(app->errors.size() == 1);
        CHECK(app->errors[0].code == GADRequestErrorTimeout);
        CHECK(slot->state() == GADSlotStateInvalidAd);

        // The page shown before stays open, its script running on.
        REQUIRE(slot->adView() == adView);
        const long long ticks = platform::integerValue(adView->evaluate("String(ticks)"));
        CHECK(ticks >= 60);
        advance(3);
        runUntilIdle();
        CHECK(platform::integerValue(adView->evaluate("String(ticks)")) >= ticks + 2);
        // The app's late word changes nothing: the load has failed, and stays so.
        app->ads[0]->finishedRenderingAdView(nullptr);
        CHECK(slot->state() == GADSlotStateInvalidAd);
        CHECK(app->received == 1);
        CHECK(app->errors.size() == 1);
    }
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: an app-rendered ad's word after its render bound, before or during the next "
                  "load, changes nothing: the next is answered once, by its own word or bound") {
    FakeNeighbours fakes;
    auto silent = adserver::SilentServer::start();
    REQUIRE(silent);
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto trackers = GADClickTrackerCollection::sharedInstance();
    // B, the load after A: one the app renders and says it has, one it renders and never says so, or a
    // page the slot renders whose load never ends.
    enum class Next { AppSaysRendered, AppSilent, PageHangs };
    for (bool interstitial : {false, true}) {
        for (bool wordBeforeNext : {true, false}) {
            for (Next next : {Next::AppSaysRendered, Next::AppSilent, Next::PageHangs}) {
                CAPTURE(interstitial);
                CAPTURE(wordBeforeNext);
                CAPTURE(static_cast<int>(next));
                PublisherAd publisher(interstitial, root);
                publisher.renderCustomAds();
                const auto& app = publisher.app;
                const auto& slot = publisher.slot;
                // A is handed to the app, which does not render it in time.
                slottest::startFetch(fakes, *slot)
                    ->succeed(GADResponseTypeCustomRendering, std::string("<p>A</p>"));
                REQUIRE(app->ads.size() == 1);
                advance(GADSlot::kAdRequestTimeoutSeconds + 0.5);
                runUntilIdle();
                REQUIRE(app->errors.size() == 1);
                REQUIRE(slot->state() == GADSlotStateInvalidAd);
                const auto a = app->ads[0];
                // All the app may still say of A: rendered, seen, clicked.
                const auto lateWords = [&] {
                    a->finishedRenderingAdView(platform::View::create(platform::Rect(0, 0, 320, 50)));
                    a->recordImpression();
                    a->recordClick();
                };
                if (wordBeforeNext) {
                    lateWords();
                    CHECK(slot->state() == GADSlotStateInvalidAd);
                }

                auto b = GADAd::init();
                b->addImpressionURLsFromArray({*platform::URL::parse("https://ping.example/imp?b=1")});
                b->addClickURLsFromArray({*platform::URL::parse("https://ping.example/clk?b=1")});
                auto fetcher = slottest::startFetch(fakes, *slot, b);
                if (next == Next::PageHangs) {
                    fetcher->succeed(GADResponseTypeStandard, neverLoadingPage(*silent));
                } else {
                    fetcher->succeed(GADResponseTypeCustomRendering, std::string("<p>B</p>"));
                    REQUIRE(app->ads.size() == 2);
                }
                REQUIRE(slot->state() == GADSlotStateRenderingAd);
                const std::size_t pingsBefore = trackers->trackedCount();
                if (!wordBeforeNext) lateWords();
                if (next == Next::PageHangs) {
                    // Nor does the publisher object's own word end a page the slot renders.
                    if (interstitial) {
                        publisher.interstitial->finishedRenderingAdView(nullptr);
                    } else {
                        publisher.banner->finishedRenderingAdView(nullptr);
                    }
                }
                // B renders on, its impression and clicks its own.
                CHECK(slot->state() == GADSlotStateRenderingAd);
                CHECK_FALSE(slot->viewHasMadeImpression());
                CHECK(b->impressionURLs().size() == 1);
                CHECK(trackers->trackedCount() == pingsBefore);
                CHECK(app->errors.size() == 1);

                if (next == Next::AppSaysRendered) {
                    advance(GADSlot::kAdRequestTimeoutSeconds / 2);
                    app->ads[1]->finishedRenderingAdView(
                        platform::View::create(platform::Rect(0, 0, 320, 50)));
                    CHECK(slot->state() == GADSlotStateValidAd);
                }
                // Past B's bound, and long after: one answer, and A's word again changes nothing.
                advance(GADSlot::kAdRequestTimeoutSeconds + 1);
                runUntilIdle();
                lateWords();
                advance(GADSlot::kAdRequestTimeoutSeconds);
                runUntilIdle();
                if (next == Next::AppSaysRendered) {
                    CHECK(slot->state() == GADSlotStateValidAd);
                    CHECK(app->errors.size() == 1);
                    if (interstitial) CHECK(publisher.interstitial->isReady());
                } else {
                    CHECK(slot->state() == GADSlotStateInvalidAd);
                    REQUIRE(app->errors.size() == 2);
                    CHECK(app->errors[1].code == GADRequestErrorTimeout);
                }
                CHECK(app->received == 0);
                CHECK(b->impressionURLs().size() == 1);
            }
        }
    }
}

TEST_CASE_FIXTURE(
    fetchtest::ServerFixture,
    "GADSlot: an app-rendered ad's click and impression reach its own trackers while it is shown, "
    "whatever the next load does before its response, and none once a response has replaced it") {
    FakeNeighbours fakes;
    server->routePrefix("/t/", [](const adserver::Request&) { return adserver::Response::html(""); });
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    // What becomes of the app's next load before any ad response comes.
    enum class Next { NoLoad, Requesting, NoFill, InvalidRequest, CoreFails, Cancelled };
    int row = 0;
    for (bool interstitial : {false, true}) {
        for (Next next : {Next::NoLoad, Next::Requesting, Next::NoFill, Next::InvalidRequest, Next::CoreFails,
                          Next::Cancelled}) {
            CAPTURE(interstitial);
            CAPTURE(static_cast<int>(next));
            const std::string tag = "/t/" + std::to_string(++row) + "/";
            const auto count = [&](const std::string& name) { return server->requestCount(tag + name); };
            const auto trackers = [&](GADAd& ad, const std::string& name) {
                ad.addClickURLsFromArray({*platform::URL::parse(url(tag + name + "-clk"))});
                ad.addImpressionURLsFromArray({*platform::URL::parse(url(tag + name + "-imp"))});
            };
            PublisherAd publisher(interstitial, root);
            publisher.renderCustomAds();
            const auto& app = publisher.app;
            const auto& slot = publisher.slot;
            auto a = GADAd::init();
            trackers(*a, "a");
            slottest::startFetch(fakes, *slot, a)
                ->succeed(GADResponseTypeCustomRendering, std::string("<p>A</p>"));
            REQUIRE(app->ads.size() == 1);
            const auto shownA = app->ads[0];
            shownA->finishedRenderingAdView(nullptr);
            REQUIRE(slot->state() == GADSlotStateValidAd);

            if (next != Next::NoLoad) {
                slot->loadRequest(GADRequest::request());
                REQUIRE(slot->state() == GADSlotStateRequestingAdURL);
            }
            switch (next) {
            case Next::NoFill:
                slot->didReceiveAdURL();
                slot->loadAd(GADAd::init(), std::nullopt);
                fakes.lastFetcher()->fail(GADRequestError::errorWithCode(GADRequestErrorNoFill));
                break;
            case Next::InvalidRequest:
                slot->invalidJavaScriptRequest();
                break;
            case Next::CoreFails:
                slot->failedJavaScriptFile();
                break;
            case Next::Cancelled:
                slot->cancelPendingActions();
                break;
            default:
                break;
            }
            const bool failed =
                next == Next::NoFill || next == Next::InvalidRequest || next == Next::CoreFails;
            CHECK(app->errors.size() == (failed ? 1u : 0u));

            // A is still on screen: a click, and its impression told by it and by the publisher object.
            shownA->recordClick();
            shownA->recordImpression();
            if (interstitial) {
                publisher.interstitial->recordCustomAdImpression();
            } else {
                publisher.banner->recordCustomAdImpression();
            }
            REQUIRE(settle([&] { return count("a-clk") == 1 && count("a-imp") == 1; }));

            // The next response replaces A: B's own click is the only one heard from now on.
            auto b = GADAd::init();
            trackers(*b, "b");
            if (slot->state() == GADSlotStateRequestingAdURL) {
                slot->didReceiveAdURL();
                slot->loadAd(b, std::nullopt);
                fakes.lastFetcher()->succeed(GADResponseTypeCustomRendering, std::string("<p>B</p>"));
            } else {
                slottest::startFetch(fakes, *slot, b)
                    ->succeed(GADResponseTypeCustomRendering, std::string("<p>B</p>"));
            }
            REQUIRE(app->ads.size() == 2);
            shownA->recordClick();
            shownA->recordImpression();
            app->ads[1]->recordClick();
            REQUIRE(settle([&] { return count("b-clk") == 1; }));
            CHECK(count("a-clk") == 1);
            CHECK(count("a-imp") == 1);
            CHECK(count("b-clk") == 1);
            CHECK(count("b-imp") == 0);
            CHECK(b->impressionURLs().size() == 1);
        }
    }
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a released slot is never reached by its timer or notifications") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    slot->cancelLoad();
    slot->setReloadInterval(5);
    slot->scheduleAdReloadTimer();
    std::weak_ptr<GADSlot> weak = slot;
    slot.reset();
    CHECK(weak.expired());
    advance(10);
    platform::Application::sharedApplication()->resignActive();
    platform::Application::sharedApplication()->becomeActive();
    CHECK(owner->reloadQuestions == 0);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: after invalidate, late answers do nothing") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    slot->invalidate();
    CHECK(fetcher->cancelled);
    CHECK(slot->adView() == nullptr);

    fetcher->succeedEvenIfCancelled(GADResponseTypeStandard, "<p>late</p>");
    slot->loadAd(GADAd::init(), std::nullopt);
    slot->didReceiveAdURL();
    slot->didFailToRetrieveSDKCoreWithError(GADRequestError::errorWithCode(GADRequestErrorNetworkError));

    CHECK(slot->state() == GADSlotStateInvalidated);
    CHECK(fakes.fetchers.size() == 1);
    CHECK(owner->errors.empty());
    CHECK(owner->finished == 0);
    CHECK(owner->receivedViews.empty());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an answer from a replaced fetcher is ignored") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto first = slottest::startFetch(fakes, *slot);
    slot->loadAd(GADAd::init(), std::nullopt);
    REQUIRE(fakes.fetchers.size() == 2);
    CHECK(first->cancelled);

    first->succeedEvenIfCancelled(GADResponseTypeStandard, "<p>stale</p>");
    CHECK(slot->state() == GADSlotStateFetchingAdContent);
    CHECK(owner->receivedViews.empty());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an owner that goes away mid-load leaves a working slot") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    owner.reset();

    fetcher->succeed(GADResponseTypeStandard, std::string("<p>ad</p>"));
    REQUIRE(runUntil([&] { return slot->state() == GADSlotStateValidAd; }));

    slottest::startFetch(fakes, *slot)->fail(GADRequestError::errorWithCode(GADRequestErrorNoFill));
    CHECK(slot->state() == GADSlotStateInvalidAd);
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: the _ad shortcut builds the ad for the slot's type with its orientation") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner, false);
    platform::Value extras{{"_ad", {{"ad_html", "<p>x</p>"}, {"ad_base_url", "https://ads.example.com/"}}},
                           {"_orientation", "l"},
                           {"_adHeaders", {{"x-zudo-refresh-rate", "30"}}}};

    slot->loadRequest(requestWithExtras(extras));

    CHECK(fakes.urlRequests.empty());
    auto fetcher = fakes.lastFetcher();
    REQUIRE(fetcher);
    REQUIRE(std::dynamic_pointer_cast<GADInterstitialAd>(fetcher->ad_));
    CHECK(fetcher->ad_->supportedOrientations() == 24);
    CHECK(fetcher->ad_->adHTML() == std::optional<std::string>("<p>x</p>"));
    REQUIRE(fetcher->headers_);
    CHECK((*fetcher->headers_)["x-zudo-refresh-rate"] == "30");

    auto banner = slottest::makeSlot(owner, true);
    banner->loadRequest(
        requestWithExtras({{"_ad", {{"ad_url", "https://ads.example.com/b"}}}, {"_orientation", "p"}}));
    REQUIRE(std::dynamic_pointer_cast<GADBannerAd>(fakes.lastFetcher()->ad_));
    CHECK(fakes.lastFetcher()->ad_->supportedOrientations() == 6);
    CHECK_FALSE(fakes.lastFetcher()->headers_);
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: the _requestUrl shortcut fetches that URL and allows the MRAID interceptor") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    GADMRAIDInterceptor::disallow();

    slot->loadRequest(
        requestWithExtras({{"_requestUrl", "https://ads.example.com/direct"}, {"_orientation", "x"}}));

    auto fetcher = fakes.lastFetcher();
    REQUIRE(fetcher);
    REQUIRE(fetcher->ad_->adURL());
    CHECK(fetcher->ad_->adURL()->absoluteString() == "https://ads.example.com/direct");
    CHECK(fetcher->ad_->supportedOrientations() == 30);
    CHECK(GADMRAIDInterceptor::isAllowed());
    CHECK(fakes.urlRequests.empty());

    // Extras without a shortcut go to the SDK core.
    slot->cancelLoad();
    slot->loadRequest(requestWithExtras({{"_orientation", "l"}, {"other", 1}}));
    CHECK(fakes.urlRequests.size() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: setAdType with an equal type does nothing, a new type reloads") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto type = slot->adType();

    slot->setAdType(GADAdType::bannerAdTypeForSize(kGADAdSizeBanner), true);
    CHECK(slot->adType() == type);
    CHECK(fakes.urlRequests.empty());

    // Before any load a new type reloads nothing.
    slot->setAdType(GADAdType::bannerAdTypeForSize(kGADAdSizeMediumRectangle), true);
    CHECK(fakes.urlRequests.empty());
    CHECK(slot->adView()->isHidden());

    slot->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 1);
    // A load under way is cancelled and started again.
    slot->setAdType(GADAdType::bannerAdTypeForSize(kGADAdSizeBanner), true);
    CHECK(fakes.urlRequests.size() == 2);
    CHECK(slot->state() == GADSlotStateRequestingAdURL);
}

TEST_CASE_FIXTURE(Harness,
                  "GADSlot: valid sizes are matched on width, height and flags, skipping invalid entries") {
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    platform::Value sizes = platform::Value::array();
    sizes.push_back(NSValueFromGADAdSize(kGADAdSizeInvalid));
    sizes.push_back(platform::Value("not a box"));
    sizes.push_back(NSValueFromGADAdSize(kGADAdSizeMediumRectangle));

    CHECK(slot->validateAdResponseWithAdSize(kGADAdSizeMediumRectangle, sizes));
    CHECK_FALSE(slot->validateAdResponseWithAdSize(kGADAdSizeBanner, sizes));
    CHECK_FALSE(slot->validateAdResponseWithAdSize(GADAdSize{{300, 250}, kGADAdSizeFlagCustom}, sizes));
    CHECK_FALSE(slot->validateAdResponseWithAdSize(kGADAdSizeInvalid, sizes));
    CHECK_FALSE(slot->validateAdResponseWithAdSize(kGADAdSizeBanner, platform::Value("x")));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: the test-device hint is logged once, on the first load past the gate") {
    FakeNeighbours fakes;
    platform::LogCapture capture;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    owner->shouldLoad = false;
    slot->loadRequest(GADRequest::request());
    auto count = [&] {
        int n = 0;
        for (const auto& line : slottest::flushedLines(capture)) {
            if (line.find("To get test ads on this device") != std::string::npos) ++n;
        }
        return n;
    };
    CHECK(count() == 0);
    owner->shouldLoad = true;
    slot->loadRequest(GADRequest::request());
    CHECK(count() == 1);
    slot->cancelLoad();
    slot->loadRequest(GADRequest::request());
    CHECK(count() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: setRequestID and the snapshot are safe from another thread") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    std::thread queue([&] {
        for (int i = 0; i < 200; ++i) {
            slot->setRequestID(std::to_string(i));
            auto snapshot = slot->requestSnapshot();
            (void)snapshot;
        }
    });
    for (int i = 0; i < 50; ++i) {
        slot->cancelLoad();
        slot->loadRequest(GADRequest::request());
    }
    queue.join();
    slot->setRequestID("200");
    CHECK(slot->requestID() == std::optional<std::string>("200"));
    slot->cancelLoad();
    slot->loadRequest(GADRequest::request());
    CHECK_FALSE(slot->requestID());
}

namespace {

struct SizingOwner : FakeOwner {
    std::optional<platform::Value> validAdSizes() const override { return sizes; }
    std::optional<platform::Rect> ownerBounds() const override { return platform::Rect(0, 0, 300, 250); }
    void slotWillResizeToAdSize(GADSlot&, const GADAdSize& size) override { resizes.push_back(size); }
    void setAdSize(const GADAdSize& size, bool reload) override {
        taken.push_back(size);
        reloads.push_back(reload);
    }
    std::optional<platform::Value> sizes;
    std::vector<GADAdSize> resizes;
    std::vector<GADAdSize> taken;
    std::vector<bool> reloads;
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSlot: a response size is taken only when the owner lists it as valid") {
    auto owner = std::make_shared<SizingOwner>();
    auto slot = slottest::makeSlot(owner);

    // No list: the view is handed over, the size dropped.
    slot->setNewAdSize({300, 250});
    slot->setViewForAdUsingView(slot->adView());
    CHECK(owner->receivedViews.size() == 1);
    CHECK(owner->taken.empty());
    CHECK(slot->newAdSize() == platform::Size{0, 0});

    owner->sizes = platform::Value::array({NSValueFromGADAdSize(kGADAdSizeBanner)});
    slot->setNewAdSize({300, 250});
    slot->setViewForAdUsingView(slot->adView());
    CHECK(owner->taken.empty());

    owner->sizes->push_back(NSValueFromGADAdSize(kGADAdSizeMediumRectangle));
    slot->setNewAdSize({300, 250});
    slot->setViewForAdUsingView(slot->adView());
    REQUIRE(owner->taken.size() == 1);
    CHECK(GADAdSizeEqualToSize(owner->taken[0], kGADAdSizeMediumRectangle));
    CHECK(owner->reloads[0] == false);
    CHECK(owner->resizes.size() == 1);
    CHECK(slot->adView()->frame() == platform::Rect(0, 0, 300, 250));

    // The slot's own size: no resize notice.
    slot->setNewAdSize({320, 50});
    owner->sizes->push_back(NSValueFromGADAdSize(kGADAdSizeBanner));
    slot->setViewForAdUsingView(slot->adView());
    CHECK(owner->resizes.size() == 1);
    CHECK(owner->taken.size() == 2);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: cancelPendingAndFutureActions ends the slot for good") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    slot->setReloadInterval(10);
    slot->scheduleAdReloadTimer();

    slot->cancelPendingAndFutureActions();

    CHECK(fetcher->cancelled);
    CHECK(slot->state() == GADSlotStateInvalidated);
    CHECK(slot->slotDelegate() == nullptr);
    CHECK_FALSE(slot->reloadable());
    CHECK_FALSE(slot->isReloadTimerArmed());
    slot->loadRequest(GADRequest::request());
    CHECK(fakes.fetchers.size() == 1);
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: leaving the window posts the slot's notification") {
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    const void* posted = nullptr;
    int count = 0;
    auto token = platform::NotificationCenter::defaultCenter()->addObserver(
        GADSlot::kSlotDidLeaveWindowNotification, nullptr, nullptr, [&](const platform::Notification& n) {
            posted = n.object;
            ++count;
        });
    slot->bannerDidMoveToWindow(platform::Window::create());
    CHECK(count == 0);
    slot->bannerDidMoveToWindow(nullptr);
    CHECK(count == 1);
    CHECK(posted == slot.get());
    platform::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a load with no ad ends with code 11 instead of waiting") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    slot->didReceiveAdURL();
    slot->loadAd(nullptr, std::nullopt);
    CHECK(slot->state() == GADSlotStateInvalidAd);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorInternalError);
    CHECK(fakes.fetchers.empty());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an invalidated slot survives type changes and late view hand-overs") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<SizingOwner>();
    owner->sizes = platform::Value::array({NSValueFromGADAdSize(kGADAdSizeMediumRectangle)});
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(GADRequest::request());
    slot->invalidate();
    REQUIRE(slot->adView() == nullptr);

    slot->setNewAdSize({300, 250});
    slot->setAdType(GADAdType::bannerAdTypeForSize(kGADAdSizeMediumRectangle), true);
    // No view, and no ad view left to resize: the size is still taken, nothing is touched.
    slot->setViewForAdUsingView(nullptr);
    CHECK(owner->taken.size() == 1);
    slot->didLoadAdHTMLInWebView();
    auto ad = GADAd::init();
    ad->setAdHTML(std::string("<p>late</p>"));
    slot->processStandardAdResponse(ad);

    CHECK(slot->state() == GADSlotStateInvalidated);
    CHECK(fakes.urlRequests.size() == 1);
    CHECK(owner->finished == 0);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an impression pings the ad's impression URLs once and counts on the application") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    REQUIRE(fetcher);
    fetcher->ad_->addImpressionURLsFromArray({*platform::URL::parse("https://ping.example/imp?a=1"),
                                             *platform::URL::parse("https://ping.example/imp?a=2")});
    auto trackers = GADClickTrackerCollection::sharedInstance();
    const std::size_t before = trackers->trackedCount();
    auto pimp = [] {
        auto v = GADApplication::sharedInstance()->statistics()->objectForKey("pimp");
        return v ? platform::integerValue(*v) : 0;
    };
    const long long impressionsBefore = pimp();

    fetcher->succeed(GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
    REQUIRE(runUntil([&] { return slot->state() == GADSlotStateValidAd; }));
    CHECK(slot->viewHasMadeImpression());
    CHECK(trackers->trackedCount() == before + 2);
    CHECK(slot->ad()->impressionURLs().empty());

    CHECK(pimp() == impressionsBefore + 1);

    // A second report of the same impression neither pings nor counts again.
    slot->didMakeAdImpression();
    slot->didMakeAdImpression();
    CHECK(trackers->trackedCount() == before + 2);
    CHECK(pimp() == impressionsBefore + 1);
    CHECK(slot->viewHasMadeImpression());

    // The next ad counts once more.
    slot->cancelLoad();
    auto next = slottest::startFetch(fakes, *slot);
    REQUIRE(next);
    next->succeed(GADResponseTypeStandard, std::string("<html><body>next</body></html>"));
    REQUIRE(runUntil([&] { return slot->state() == GADSlotStateValidAd && slot->ad() == next->ad_; }));
    slot->didMakeAdImpression();
    CHECK(pimp() == impressionsBefore + 2);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a fetched answer resets the offline and buffered counters, which keep counting") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto stats = GADApplication::sharedInstance()->statistics();
    stats->incrementNumberForKey("oar", false);
    stats->incrementNumberForKey("oar", false);
    stats->incrementNumberForKey("bas_on", false);
    // "bas_off" was never raised.
    auto fetcher = slottest::startFetch(fakes, *slot);
    REQUIRE(fetcher);
    CHECK(stats->objectForKey("oar") == platform::Value(2));

    fetcher->succeed(GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
    CHECK(stats->objectForKey("oar") == platform::Value(0));
    CHECK(stats->objectForKey("bas_on") == platform::Value(0));
    CHECK(stats->objectForKey("bas_off") == platform::Value(0));
    CHECK(fetcher->ad_->statistics()->objectForKey("tresponse"));

    // Still counters: the next offline answer counts from zero.
    stats->incrementNumberForKey("oar", false);
    stats->incrementNumberForKey("bas_off", false);
    CHECK(stats->objectForKey("oar") == platform::Value(1));
    CHECK(stats->objectForKey("bas_off") == platform::Value(1));
}
