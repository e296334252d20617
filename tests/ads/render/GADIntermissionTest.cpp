#include "ads/render/GADIntermission.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <utility>

#include "ads/render/GADAdAppViewController.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADMRAIDResizeOverlayPresenter.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADOverlayProxy.h"
#include "ads/render/GADSupplementalAdAppViewController.h"
#include "ads/render/GADViewController.h"
#include "platform/net/URLRequest.h"
#include "platform/services/EventEditViewController.h"
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

namespace {

// An MRAID banner whose page, and the second pages it opens, send random script messages, while the
// user closes screens, time passes (transitions included) and the app goes to the background and back.
struct RandomMRAID : fullscreentest::MRAIDBanner {
    explicit RandomMRAID(unsigned seed) : random(seed) {
        platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event,
                                                               platform::EventStore::Authorized);
        // The slot's screens are the app's: every period holds it and keeps the device awake.
        app->setIdleTimerDisabled(false);
    }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

    // The ad view a message comes from: the banner's, or one of the second pages it opened.
    std::shared_ptr<ruzave::GADAdView> source() {
        std::vector<std::shared_ptr<ruzave::GADAdView>> views{adView};
        for (auto c = root->presentedViewController(); c; c = c->presentedViewController())
            if (auto page = std::dynamic_pointer_cast<ruzave::GADSupplementalAdAppViewController>(c))
                if (page->adView()) views.push_back(page->adView());
        return views[pick(static_cast<int>(views.size()))];
    }
    // A message is handled at once or some steps later, as its parse off the main thread allows; in order
    // either way.
    void send(const std::string& message) {
        inFlight.emplace_back(source(), "gmsg://mobileads.ruzave.example/" + message);
        if (pick(2) == 0) deliver();
    }
    void deliver() {
        for (auto& [weak, text] : std::exchange(inFlight, {})) {
            auto view = weak.lock();
            auto delegate = view ? view->delegate() : nullptr;
            if (!delegate) continue;
            delegate->adView(view, platform::URLRequest(*platform::URL::parse(text)),
                             platform::WebViewNavigationType::Other);
            delegate->deliverPendingMessages();
        }
    }
    std::shared_ptr<platform::ViewController> top() {
        auto c = root;
        while (c->presentedViewController())
            c = c->presentedViewController();
        return c;
    }

    void step() {
        switch (pick(12)) {
        case 0:
            send("open?a=expand&custom_close=" + std::to_string(pick(2)));
            break;
        case 1:
            send("open?a=webapp&html=%3Chtml%3E%3Cbody%3Esecond%3C%2Fbody%3E%3C%2Fhtml%3E");
            break;
        case 2: {
            const int width = 50 + pick(300), height = 50 + pick(600);
            send("mraid?a=resize&width=" + std::to_string(width) + "&height=" + std::to_string(height) +
                 "&offsetX=" + std::to_string(pick(40)) + "&offsetY=" + std::to_string(pick(200)) +
                 "&customClosePosition=top-right&allowOffscreen=" + (pick(2) ? "true" : "false"));
            break;
        }
        case 3:
        case 4:
            send("close");
            break;
        case 5: {
            const char* force[] = {"portrait", "landscape", "none"};
            send(std::string("mraid?a=setOrientationProperties&allowOrientationChange=") +
                 (pick(2) ? "true" : "false") + "&forceOrientation=" + force[pick(3)]);
            break;
        }
        case 6:
            send("mraid?a=createCalendarEvent&description=x&start=2030-01-01T10%3A00%3A00Z");
            break;
        case 7: {
            // The user closes the top screen, whatever it is.
            auto screen = top();
            if (screen == root) break;
            if (auto editor = std::dynamic_pointer_cast<platform::EventEditViewController>(screen))
                editor->completeForTesting(platform::EventEditViewControllerDelegate::Canceled);
            else
                ruzave::GADOverlayProxy::takeDownViewController(*screen, nullptr);
            break;
        }
        case 8:
            app->enterBackground();
            app->enterForeground();
            break;
        case 9:
            deliver();
            break;
        default:
            advance(pick(700) / 1000.0);
            break;
        }
    }

    long presents() const {
        return std::count(s.events->calls.begin(), s.events->calls.end(), "willPresent");
    }
    // No willPresent before the last period's didDismiss, and a period's calls in their order.
    bool wellFormed() const {
        static const char* order[] = {"willPresent", "willDismiss", "didDismiss"};
        for (std::size_t i = 0; i < s.events->calls.size(); ++i)
            if (s.events->calls[i] != order[i % 3]) return false;
        return true;
    }

    std::mt19937 random;
    std::vector<std::pair<std::weak_ptr<ruzave::GADAdView>, std::string>> inFlight;
    std::shared_ptr<platform::Application> app = platform::Application::sharedApplication();
};

} // namespace

TEST_CASE(
    "GADIntermission: random MRAID actions, then the app dismissing what its root presents, leave no screen "
    "up, the app told will and did in pairs and the idle timer given back") {
    // The run that first showed an expand coming up after the app's dismissal, then short runs, each of
    // which ends in the middle of what its actions set going.
    std::vector<std::pair<unsigned, int>> runs{{105, 4000}};
    for (unsigned seed = 120; seed < 128; ++seed)
        runs.emplace_back(seed, 300);
    for (const auto& run : runs) {
        const unsigned seed = run.first;
        const int actions = run.second;
        CAPTURE(seed);
        RandomMRAID b(seed);
        for (int i = 0; i < actions; ++i) {
            CAPTURE(i);
            b.step();
            REQUIRE(b.wellFormed());
            // The device stays awake only while a period is under way.
            REQUIRE((!b.app->isIdleTimerDisabled() || b.s.slot->isShowingFullScreen()));
        }
        // The app takes down what its root presents, as soon as the transitions under way allow; a resize
        // laid over the root itself is not the app's to dismiss, and the creative closes it. Nothing the
        // creative asked for before comes up once the app's dismissal has taken its screens away.
        b.inFlight.clear();
        // The screens told to the app when its dismissal went through, since the creative last spoke.
        auto presentsWhenDismissed = std::make_shared<std::optional<long>>();
        for (int round = 0, quiet = 0; round < 30 && quiet < 2; ++round) {
            ++quiet;
            if (b.root->presentedViewController() || b.adView->superview() != b.root->view() ||
                b.s.slot->isShowingFullScreen())
                quiet = 0;
            if (b.root->presentedViewController()) {
                std::weak_ptr<platform::ViewController> root = b.root;
                std::weak_ptr<fullscreentest::ScreenEvents> events = b.s.events;
                platform::ViewController::performAfterTransitions([root, events, presentsWhenDismissed,
                                                                   animated = b.pick(2) == 1] {
                    auto r = root.lock();
                    auto e = events.lock();
                    if (r && e && r->dismissViewController(animated))
                        *presentsWhenDismissed = std::count(e->calls.begin(), e->calls.end(), "willPresent");
                });
            } else if (b.adView->superview() != b.root->view()) {
                b.inFlight.emplace_back(b.adView, "gmsg://mobileads.ruzave.example/close");
                b.deliver();
                presentsWhenDismissed->reset();
            }
            b.settle();
            if (*presentsWhenDismissed) CHECK(b.presents() == **presentsWhenDismissed);
        }
        b.settle();
        CHECK(b.root->presentedViewController() == nullptr);
        CHECK_FALSE(b.s.slot->isShowingFullScreen());
        CHECK(b.adView->superview() == b.root->view());
        CHECK(b.s.events->calls.size() % 3 == 0);
        CHECK(b.wellFormed());
        CHECK_FALSE(b.app->isIdleTimerDisabled());
    }
}
