#include <doctest/doctest.h>

#include "SlotTestSupport.h"
#include "ads/core/net/GADScheduler.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADPercentDrivenUserInteractionAnimationController.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADViewControllerFullScreenSwipeAnimation.h"
#include "platform/base/Strings.h"
#include "platform/services/ProductViewController.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using platform::testing::Harness;
using ruzave::GADSwipeToViewControllerConfigurations;

namespace {

struct SwipeOwner : slottest::FakeOwner {
    std::shared_ptr<platform::View> swipeView;
    std::shared_ptr<platform::ViewController> root;
    std::shared_ptr<platform::View> swipeToViewControllerView() override { return swipeView; }
    std::shared_ptr<platform::ViewController> rootViewController() const override { return root; }
};

constexpr const char* kSettings = R"({"app_store_product_id": 42,
    "swipeable_rectangles": [{"x": 0, "y": 0, "width": 320, "height": 20}],
    "swipe_event_creative_metadata": {"campaign": "c-1"}, "swipe_animation_transition_duration": 0.3})";

// A banner-like swipe view at y 100 on a 320 x 480 screen, holding a slot whose ad came with swipe
// settings; its page records each message with the data it came with.
struct SwipeAd : Harness {
    SwipeAd() {
        ruzave::GADDevice::sharedInstance()->updateOperatingSystemVersionProperties();
        platform::Screen::mainScreen()->setBoundsSize({320, 480});
        window = platform::Window::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        owner->root = root;
        owner->swipeView = platform::View::create({0, 100, 320, 50});
        root->view()->addSubview(owner->swipeView);
    }
    std::shared_ptr<ruzave::GADAd> load(const platform::Value& settings) {
        auto ad = ruzave::GADAd::init();
        ad->setSwipeToViewControllerConfigurations(GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(settings));
        auto fetcher = slottest::startFetch(fakes, *slot, ad);
        REQUIRE(fetcher);
        fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
        REQUIRE(runUntil([&] { return slot->swipeToViewControllerChecker() != nullptr; }));
        slot->finishActiveViewReporting();
        auto adView = slot->adView();
        adView->setFrame({0, 0, 320, 50});
        owner->swipeView->addSubview(adView);
        adView->evaluate("var got = []; window.ZUDO_ReceiveMessage = function (n, d) {"
                         " got.push(d === undefined ? n : n + ':' + JSON.stringify(d)); };");
        return ad;
    }
    std::vector<std::string> messages() {
        runUntilIdle();
        auto adView = slot->adView();
        std::string text = adView->evaluate("got.join('|')");
        adView->evaluate("got = [];");
        if (text.empty()) return {};
        return platform::split(text, "|");
    }
    std::vector<std::string> named(const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& m : messages())
            if (m.rfind(prefix, 0) == 0) out.push_back(m);
        return out;
    }
    // As the page sends it, through the slot's banner delegate.
    void message(const std::string& path, bool enabledAfter) {
        slot->adViewDelegate()->handleGMSGURL(*platform::URL::parse("gmsg://h/" + path), slot->adView());
        REQUIRE(runUntil([&] { return slot->swipeToViewControllerEnabled() == enabledAfter; }));
        runUntilIdle();
    }
    void enable(const std::string& direction = "top_to_bottom") {
        message("enableSwipeToViewController?swipe_direction=" + direction + "&ad_draggable=1", true);
    }
    // Settles what the last gesture started.
    void settle() {
        advance(1.0);
        runUntilIdle();
    }
    // A finger that starts on the swipeable strip, passes through `ys` a tenth of a second apart and
    // lets go; the transition has run its course when this returns.
    void swipe(std::initializer_list<float> ys) {
        platform::TouchInjector finger(window);
        REQUIRE(finger.down({160, 102}));
        double t = 0;
        for (float y : ys) finger.move({160, y}, t += 0.1);
        finger.up(t + 0.1);
        settle();
    }

    slottest::FakeNeighbours fakes;
    std::shared_ptr<SwipeOwner> owner = std::make_shared<SwipeOwner>();
    std::shared_ptr<ruzave::GADSlot> slot = slottest::makeSlot(owner);
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
};

} // namespace

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: the swipe checker tells the creative only what changed") {
    load(platform::Value::parse(kSettings));
    // The server sent no interval: the checker runs at its floor instead of spinning.
    CHECK(slot->swipeToViewControllerChecker()->interval() == doctest::Approx(0.1));
    messages();
    advance(0.1);
    auto first = named("onAdVisible");
    REQUIRE(first.size() == 1);
    CHECK(first[0].find(R"("creativeFrame":{"x":0,"y":100,"width":320,"height":50})") != std::string::npos);
    CHECK(first[0].find(R"("deviceOrientation":"portrait")") != std::string::npos);
    CHECK(first[0].find(R"("anySuperViewScrollable":"0")") != std::string::npos);
    advance(0.1);
    CHECK(named("onAdVisible").empty());

    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation::LandscapeLeft);
    advance(0.1);
    auto turned = named("onAdVisible");
    REQUIRE(turned.size() == 1);
    CHECK(turned[0].find(R"("deviceOrientation":"landscape")") != std::string::npos);

    // Inside a scrolling list.
    auto list = platform::ScrollView::create({0, 0, 320, 480});
    root->view()->addSubview(list);
    list->addSubview(owner->swipeView);
    advance(0.1);
    auto scrolled = named("onAdVisible");
    REQUIRE(scrolled.size() == 1);
    CHECK(scrolled[0].find(R"("anySuperViewScrollable":"1")") != std::string::npos);
}

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: enabling needs a swipe view and takes each ad's settings") {
    load(platform::Value::parse(kSettings));
    auto swipeView = owner->swipeView;
    owner->swipeView = nullptr;
    slot->enableSwipeToViewController();
    CHECK_FALSE(slot->swipeToViewControllerEnabled());
    owner->swipeView = swipeView;
    auto root = owner->root;
    owner->root = nullptr;
    slot->enableSwipeToViewController();
    CHECK_FALSE(slot->swipeToViewControllerEnabled());
    owner->root = root;
    owner->swipeView = swipeView;

    // Disabling what is not on does nothing.
    slot->disableSwipeToViewController();
    enable("sideways");
    REQUIRE(slot->swipeToViewControllerEnabled());
    auto pan = slot->swipeGestureRecognizer();
    CHECK(pan->view() == swipeView);
    CHECK(slot->animation()->direction() == ruzave::GADSwipeDirectionNone);
    CHECK(slot->animation()->draggableView() == swipeView);
    CHECK(slot->animation()->transitionDuration() == 0.3);

    message("disableSwipeToViewController", false);
    CHECK_FALSE(slot->swipeToViewControllerEnabled());
    CHECK(pan->view() == nullptr);
    CHECK_FALSE(slot->ad()->swipeToViewControllerConfigurations()->isAdDraggable());

    // The next ad ends the checker and brings its own duration and direction.
    load(platform::Value::parse(R"({"swipe_animation_transition_duration": 0.8})"));
    enable("bottom_to_top");
    CHECK(slot->swipeGestureRecognizer() == pan);
    CHECK(slot->animation()->transitionDuration() == 0.8);
    CHECK(slot->animation()->direction() == ruzave::GADSwipeDirectionBottomToTop);
    slot->willProcessAd();
    CHECK_FALSE(slot->swipeToViewControllerEnabled());
    CHECK(slot->swipeToViewControllerChecker() == nullptr);
}

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: a pan outside the swipeable area is refused and the next one opens the sheet") {
    load(platform::Value::parse(kSettings));
    enable();
    platform::TouchInjector finger(window);
    // Inside the ad but below its swipeable strip.
    REQUIRE(finger.down({160, 135}));
    finger.move({160, 147}, 0.1);
    finger.move({160, 200}, 0.2);
    finger.up(0.3);
    CHECK_FALSE(slot->animationController()->isActive());
    CHECK(slot->swipeableStoreProductViewController() == nullptr);
    CHECK(slot->swipeGestureRecognizer()->isEnabled());
    CHECK(named("onSwipeable").empty());

    REQUIRE(finger.down({160, 102}));
    finger.move({160, 115}, 0.1);
    auto sheet = slot->swipeableStoreProductViewController();
    REQUIRE(sheet);
    CHECK(slot->isHeldForSwipeToViewController());
    CHECK(sheet->presentingViewController() == root);
    CHECK(slot->animationController()->isActive());
    CHECK(slot->animation()->startY() == 115);
    finger.move({160, 300}, 0.2);
    finger.up(0.3);
    CHECK(named("onSwipeable") ==
          std::vector<std::string>{R"(onSwipeableViewControllerPresentationFinished:{"campaign":"c-1"})"});
    settle();
    CHECK(root->presentedViewController() == sheet);
    CHECK(sheet->loadedItemIdentifier() == "42");
}

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: the store sheet keeps the slot and quiets the checker until it closes") {
    load(platform::Value::parse(kSettings));
    enable();
    swipe({115, 300});
    auto sheet = slot->swipeableStoreProductViewController();
    REQUIRE(sheet);
    messages();
    // Moving the ad would be news, but not while the sheet is up.
    owner->swipeView->setFrame({0, 200, 320, 50});
    advance(0.5);
    CHECK(named("onAdVisible").empty());

    std::weak_ptr<ruzave::GADSlot> weak = slot;
    auto adView = slot->adView();
    slot.reset();
    runUntilIdle();
    // Nothing but the slot's hold on itself keeps it now.
    REQUIRE_FALSE(weak.expired());
    sheet->finishForTesting();
    settle();
    CHECK(weak.expired());
    CHECK(root->presentedViewController() == nullptr);
}

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: closing the sheet tells the creative and the checker speaks again") {
    load(platform::Value::parse(kSettings));
    enable();
    advance(0.1);
    REQUIRE(named("onAdVisible").size() == 1);
    swipe({115, 300});
    auto sheet = slot->swipeableStoreProductViewController();
    REQUIRE(sheet);
    messages();
    sheet->finishForTesting();
    CHECK(named("onSwipeToViewControllerDismissed") ==
          std::vector<std::string>{R"(onSwipeToViewControllerDismissed:{"campaign":"c-1"})"});
    CHECK_FALSE(slot->isHeldForSwipeToViewController());
    CHECK(slot->swipeableStoreProductViewController() == nullptr);
    settle();
    CHECK(root->presentedViewController() == nullptr);
    owner->swipeView->setFrame({0, 200, 320, 50});
    advance(0.1);
    auto after = named("onAdVisible");
    REQUIRE(after.size() == 1);
    CHECK(after[0].find(R"("y":200)") != std::string::npos);
}

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: a swipe let go the wrong way or a busy root leaves no hold") {
    load(platform::Value::parse(kSettings));
    enable();
    swipe({115, 300, 250});
    CHECK(named("onSwipeable") ==
          std::vector<std::string>{R"(onSwipeableViewControllerPresentationCanceled:{"campaign":"c-1"})"});
    CHECK_FALSE(slot->isHeldForSwipeToViewController());
    CHECK(slot->swipeableStoreProductViewController() == nullptr);
    CHECK(root->presentedViewController() == nullptr);
    CHECK(slot->intermission() == nullptr);

    // The root already shows something: the sheet cannot go up, so nothing holds the slot.
    auto other = platform::ViewController::create();
    root->presentViewController(other, false);
    runUntilIdle();
    swipe({115, 300});
    CHECK_FALSE(slot->isHeldForSwipeToViewController());
    CHECK(slot->swipeableStoreProductViewController() == nullptr);
    CHECK(root->presentedViewController() == other);
    CHECK(slot->intermission() == nullptr);
}

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: metadata the JSON writer refuses goes out as no data") {
    platform::Value settings = platform::Value::parse(kSettings);
    settings["swipe_event_creative_metadata"]["bad"] = std::string("\xff\xfe");
    load(settings);
    enable();
    messages();
    slot->animationControllerDidFinishAnimationTransition(*slot->animationController());
    CHECK(named("onSwipeable") == std::vector<std::string>{"onSwipeableViewControllerPresentationFinished"});
}

TEST_CASE_FIXTURE(SwipeAd, "GADSlot: a swipe the system cancels or a sheet dismissed by the app releases the slot") {
    load(platform::Value::parse(kSettings));
    enable();
    platform::TouchInjector finger(window);
    REQUIRE(finger.down({160, 102}));
    finger.move({160, 115}, 0.1);
    finger.move({160, 200}, 0.2);
    REQUIRE(slot->animationController()->isActive());
    finger.cancel(0.3);
    // The page does not stay half way: the transition goes back and the pan is armed again.
    CHECK_FALSE(slot->animationController()->isActive());
    CHECK(named("onSwipeable") ==
          std::vector<std::string>{R"(onSwipeableViewControllerPresentationCanceled:{"campaign":"c-1"})"});
    CHECK_FALSE(slot->isHeldForSwipeToViewController());
    CHECK(slot->swipeGestureRecognizer()->isEnabled());
    settle();
    CHECK(root->presentedViewController() == nullptr);

    swipe({115, 300});
    REQUIRE(slot->isHeldForSwipeToViewController());
    // The app takes the sheet down itself; the store never says it finished.
    root->dismissViewController(true);
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK_FALSE(slot->isHeldForSwipeToViewController());
    CHECK(slot->swipeableStoreProductViewController() == nullptr);
}
