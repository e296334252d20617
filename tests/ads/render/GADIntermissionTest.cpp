#include "ads/render/GADIntermission.h"

#include <doctest/doctest.h>

#include "ads/render/GADAdAppViewController.h"
#include "ads/render/GADMRAIDResizeOverlayPresenter.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADSupplementalAdAppViewController.h"
#include "ads/render/GADViewController.h"
#include "platform/services/EventStore.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::Participant;
using fullscreentest::RecordedSlot;
using platform::testing::Harness;
using ruzave::GADIntermission;

namespace {
using Calls = std::vector<std::string>;
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: one screen gives will-present, will-dismiss and did-dismiss once each") {
    RecordedSlot s;
    CHECK(GADIntermission::initWithSlot(nullptr) == nullptr);
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    ad->join(intermission);
    ad->join(intermission); // already active: stays once
    CHECK(intermission->activeParticipantCount() == 1);
    CHECK(s.events->calls == Calls{"willPresent"});
    ad->relinquishScreenWithCompletion(nullptr);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss"});
    ad->finish();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: a sheet over the ad is silent, the ad's leaving ends the period") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    auto sheet = std::make_shared<Participant>("sheet", false);
    ad->join(intermission);
    sheet->join(intermission);
    sheet->relinquishScreenWithCompletion(nullptr);
    sheet->finish();
    CHECK(s.events->calls == Calls{"willPresent"});
    ad->relinquishScreenWithCompletion(nullptr);
    ad->finish();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: a screen that re-joins while the last leaves keeps one period") {
    RecordedSlot s;
    auto app = platform::Application::sharedApplication();
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto first = std::make_shared<Participant>("first");
    auto second = std::make_shared<Participant>("second");
    first->join(intermission);
    first->relinquishScreenWithCompletion(nullptr);
    CHECK_FALSE(app->isIdleTimerDisabled());
    second->join(intermission); // comes up while the first is still leaving
    CHECK(app->isIdleTimerDisabled());
    first->finish();
    second->relinquishScreenWithCompletion(nullptr);
    second->finish();
    // The slot hears each message once for the whole period.
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: a participant released without leaving is dropped and ends the period") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto gone = std::make_shared<Participant>("gone");
    gone->join(intermission);
    gone.reset();
    auto next = std::make_shared<Participant>("next");
    next->join(intermission); // the clean-up ends the old period first, then a new one begins
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss", "willPresent"});
    CHECK(intermission->activeParticipantCount() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: the idle timer and a hidden status bar are restored afterwards") {
    RecordedSlot s;
    auto app = platform::Application::sharedApplication();
    app->setIdleTimerDisabled(true);
    app->setStatusBarHidden(false);
    {
        auto intermission = GADIntermission::initWithSlot(s.slot);
        auto ad = std::make_shared<Participant>("ad");
        ad->join(intermission);
        CHECK(app->isIdleTimerDisabled());
        // Nobody overrode the status bar: it is left as a participant set it.
        app->setStatusBarHidden(true);
        ad->relinquishScreenWithCompletion(nullptr);
        CHECK(app->isIdleTimerDisabled()); // the app's own setting
        CHECK(app->isStatusBarHidden());
        ad->finish();
    }
    app->setIdleTimerDisabled(false);
    app->setStatusBarHidden(false);
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    ad->join(intermission);
    intermission->participantWillOverrideStatusBarVisibility(*ad);
    app->setStatusBarHidden(true);
    ad->relinquishScreenWithCompletion(nullptr);
    CHECK_FALSE(app->isStatusBarHidden());
    CHECK_FALSE(app->isIdleTimerDisabled());
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: on return to the foreground screens leave one after another") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto log = std::make_shared<std::vector<std::string>>();
    auto a = std::make_shared<Participant>("a");
    auto b = std::make_shared<Participant>("b");
    auto proxy = std::make_shared<Participant>("proxy", false);
    for (auto* p : {&a, &b, &proxy}) {
        (*p)->log = log;
        (*p)->join(intermission);
    }
    platform::Application::sharedApplication()->enterBackground();
    platform::Application::sharedApplication()->enterForeground();
    runUntilIdle();
    REQUIRE(log->size() == 1); // the second waits while the first is leaving
    std::string first = log->front().substr(11);
    auto& leaving = first == "a" ? a : b;
    leaving->finish();
    runUntilIdle();
    REQUIRE(log->size() == 3);
    CHECK((*log)[2] == "relinquish " + std::string(first == "a" ? "b" : "a"));
    CHECK(intermission->isActiveParticipant(*proxy)); // a proxy stays up
}

TEST_CASE_FIXTURE(
    Harness, "GADIntermission: released while a screen is up it still ends the period, on a later turn") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    intermission->addParticipant(ad);
    intermission.reset();
    // Nothing is told from inside the release of whoever held the period last.
    CHECK(s.events->calls == Calls{"willPresent"});
    runUntilIdle();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    // A slot gone meanwhile hears nothing.
    RecordedSlot other;
    intermission = GADIntermission::initWithSlot(other.slot);
    intermission->addParticipant(ad);
    intermission.reset();
    auto events = other.events;
    other.slot.reset();
    runUntilIdle();
    CHECK(events->calls == Calls{"willPresent"});
}

namespace {

std::shared_ptr<platform::ViewController> topOf(const std::shared_ptr<platform::ViewController>& root) {
    auto top = root;
    while (top->presentedViewController()) top = top->presentedViewController();
    return top;
}

// The screens an MRAID banner's creative can stack, each over the one on top: ad pages, second pages and
// calendar editors, `count` of them.
void stackScreens(fullscreentest::MRAIDBanner& b, int count) {
    for (int i = 0; i < count; ++i) {
        auto top = topOf(b.root);
        if (i % 3 == 2) {
            // The calendar editor goes up from whatever the opener presents from.
            b.opener->setViewController(top);
            b.opener->openCalendarWithDictionary(platform::Value{{"description", "x"}, {"start", "2030-01-01T10:00:00Z"}});
        } else {
            std::shared_ptr<ruzave::GADViewController> screen;
            if (i % 3 == 0) screen = ruzave::GADAdAppViewController::init();
            else screen = ruzave::GADSupplementalAdAppViewController::init();
            screen->setSlot(b.s.slot);
            screen->presentFromViewController(top, nullptr);
        }
        b.settle();
        REQUIRE(topOf(b.root) != top);
    }
}

// A resize sent by the banner's page while the stack is up: the opener still presents from the root, as
// the page's message was routed before the stack grew; the overlay is laid over the top of the stack.
std::shared_ptr<ruzave::GADViewController> resizeOverStack(fullscreentest::MRAIDBanner& b) {
    b.opener->setViewController(b.root);
    b.opener->openWebAppWithResizeProperties(ruzave::GADMRAIDResizeProperties::init({300, 50}, {0, 0}, 0, false));
    b.settle();
    auto overlay = std::dynamic_pointer_cast<ruzave::GADViewController>(b.adView->viewController());
    REQUIRE(overlay);
    REQUIRE(std::dynamic_pointer_cast<ruzave::GADMRAIDResizeOverlayPresenter>(overlay->presenter()));
    REQUIRE(overlay->view()->window());
    return overlay;
}

} // namespace

TEST_CASE_FIXTURE(fullscreentest::MRAIDBanner, "GADIntermission: the period ends when the last screen leaves the "
                                               "chain, however deep the stack, and the idle timer is given back") {
    platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event,
                                                           platform::EventStore::Authorized);
    auto app = platform::Application::sharedApplication();
    app->setIdleTimerDisabled(false);
    // The stack stands on an expand of the banner or on a second page; the resize lies over either.
    for (bool onExpand : {true, false}) {
        CAPTURE(onExpand);
        s.events->calls.clear();
        opener->setViewController(root);
        if (onExpand) opener->expandToWebAppWithSupportedOrientations(30, false);
        else opener->openWebAppWithHTML(std::string("<html><body>second</body></html>"), 30, false);
        settle();
        REQUIRE(root->presentedViewController());
        stackScreens(*this, 30);
        auto overlay = resizeOverStack(*this);
        // Screens the resized ad opens go up over the stack in its place.
        auto above = ruzave::GADAdAppViewController::init();
        above->setSlot(s.slot);
        above->presentFromViewController(overlay, nullptr);
        settle();
        REQUIRE(topOf(root) == above);
        auto period = s.slot->intermission();
        REQUIRE(period);
        CHECK(period->activeParticipantCount() == 33);
        CHECK(app->isIdleTimerDisabled());

        REQUIRE(root->dismissViewController(true));
        settle();
        settle();
        CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
        CHECK_FALSE(app->isIdleTimerDisabled());
        CHECK(period->activeParticipantCount() == 0);
        CHECK(period->deactivatingParticipantCount() == 0);
        // The overlay went with the screen it lay over, and the banner has its ad view back.
        CHECK_FALSE(overlay->view()->window());
        CHECK(overlay->screenState() == ruzave::GADViewController::ScreenState::Gone);
        CHECK(adView->superview() == root->view());
        CHECK(adView->viewController() == root);
        CHECK(topOf(root) == root);
    }
}

TEST_CASE_FIXTURE(fullscreentest::MRAIDBanner,
                  "GADIntermission: screens taken out of the chain by other roads leave it, down to the last") {
    platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event,
                                                           platform::EventStore::Authorized);
    auto app = platform::Application::sharedApplication();
    app->setIdleTimerDisabled(false);
    opener->openWebAppWithHTML(std::string("<html><body>second</body></html>"), 30, false);
    settle();
    stackScreens(*this, 12);
    // A screen in the middle is dismissed: those above it go, and the overlay lying over the top with
    // them; the period goes on for the screens below.
    std::vector<std::shared_ptr<platform::ViewController>> stack;
    for (auto c = root->presentedViewController(); c; c = c->presentedViewController()) stack.push_back(c);
    REQUIRE(stack.size() == 13);
    auto overlay = resizeOverStack(*this);
    REQUIRE(stack[5]->dismissViewController(true));
    settle();
    settle();
    CHECK(topOf(root) == stack[5]);
    CHECK(overlay->screenState() == ruzave::GADViewController::ScreenState::Gone);
    CHECK(adView->superview() == root->view());
    auto period = s.slot->intermission();
    REQUIRE(period);
    CHECK(period->activeParticipantCount() == 6);
    CHECK(s.events->calls == Calls{"willPresent"});
    CHECK(app->isIdleTimerDisabled());

    // A resize over what is left, then the app lets go of the root with everything on it: the screens
    // and the overlay leave, the last one ends the period, and the app hears so on a later turn.
    overlay = resizeOverStack(*this);
    stack.clear();
    std::weak_ptr<platform::ViewController> weakRoot = root;
    window->setRootViewController(nullptr);
    root.reset();
    REQUIRE(weakRoot.expired());
    CHECK(s.events->calls == Calls{"willPresent"}); // nothing from inside the release
    settle();
    settle();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
    CHECK(period->activeParticipantCount() == 0);
    CHECK(period->deactivatingParticipantCount() == 0);
    CHECK_FALSE(overlay->view()->window());
}

TEST_CASE_FIXTURE(fullscreentest::MRAIDBanner,
                  "GADIntermission: a presenter released with the stack above it ends the period on a later turn") {
    platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event,
                                                           platform::EventStore::Authorized);
    auto app = platform::Application::sharedApplication();
    app->setIdleTimerDisabled(false);
    // An expand with an ad page, a second page and a calendar editor over it: screens of the SDK's own
    // and a platform sheet, nothing laid over the window.
    opener->expandToWebAppWithSupportedOrientations(30, false);
    settle();
    stackScreens(*this, 3);
    auto period = s.slot->intermission();
    REQUIRE(period);
    REQUIRE(period->activeParticipantCount() == 4);
    std::vector<std::weak_ptr<platform::ViewController>> stack;
    for (auto c = root->presentedViewController(); c; c = c->presentedViewController()) stack.push_back(c);
    REQUIRE(stack.size() == 4);

    std::weak_ptr<platform::ViewController> weakRoot = root;
    window->setRootViewController(nullptr);
    root.reset();
    REQUIRE(weakRoot.expired());
    // Nothing is told from inside the release, and the screens are no longer presented.
    CHECK(s.events->calls == Calls{"willPresent"});
    for (auto& weak : stack)
        if (auto c = weak.lock()) CHECK_FALSE(c->presentingViewController());

    settle();
    settle();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
    CHECK(period->activeParticipantCount() == 0);
    CHECK(period->deactivatingParticipantCount() == 0);
    CHECK(adView->viewController() == nullptr);
    for (auto& weak : stack) CHECK(weak.expired());
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: a period ended in a teardown and the next begun in the same turn are "
                           "told in order, one at a time") {
    RecordedSlot s;
    auto first = std::make_shared<Participant>("first");
    first->join(GADIntermission::initWithSlot(s.slot));
    REQUIRE(s.events->calls == Calls{"willPresent"});
    // The period goes with its last holder: its end is told on a later turn.
    first.reset();
    auto second = std::make_shared<Participant>("second");
    auto next = GADIntermission::initWithSlot(s.slot);
    second->join(next);
    CHECK(s.events->calls == Calls{"willPresent"});
    // What follows, told at once otherwise, queues behind too.
    second->relinquishScreenWithCompletion(nullptr);
    CHECK(s.events->calls == Calls{"willPresent"});
    runUntilIdle();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss", "willPresent", "willDismiss"});
    // Nothing waits any more: the rest is told at once.
    second->finish();
    CHECK(s.events->calls ==
          Calls{"willPresent", "willDismiss", "didDismiss", "willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(fullscreentest::MRAIDBanner,
                  "GADIntermission: a screen put up in the turn its presenter was released under the last one is "
                  "told after that period's end") {
    opener->expandToWebAppWithSupportedOrientations(30, false);
    settle();
    REQUIRE(root->presentedViewController());
    REQUIRE(s.events->calls == Calls{"willPresent"});

    window->setRootViewController(nullptr);
    root.reset();
    auto newRoot = platform::ViewController::create();
    window->setRootViewController(newRoot);
    auto screen = ruzave::GADAdAppViewController::init();
    screen->setSlot(s.slot);
    screen->presentFromViewController(newRoot, nullptr);
    CHECK(s.events->calls == Calls{"willPresent"});
    settle();
    settle();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss", "willPresent"});
    REQUIRE(newRoot->presentedViewController() == screen);
    screen->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK(s.events->calls ==
          Calls{"willPresent", "willDismiss", "didDismiss", "willPresent", "willDismiss", "didDismiss"});
}
