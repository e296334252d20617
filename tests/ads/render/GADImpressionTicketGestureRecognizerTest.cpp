#include <doctest/doctest.h>

#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewTouchGestureRecognizer.h"
#include "ads/render/GADImpressionTicketGestureRecognizer.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Event.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

using platform::GestureRecognizerState;
using platform::testing::Harness;
using ruzave::GADImpressionTicketGestureRecognizer;

namespace {

// Drives the recogniser by hand, one finger at a time, as the window would.
struct Zigzag : Harness {
    Zigzag() {
        window->makeKeyAndVisible();
        window->addSubview(view);
        view->addGestureRecognizer(recognizer);
        recognizer->addTarget([this](platform::GestureRecognizer&) { ++recognized; });
    }
    void down(platform::Point p = {100, 50}) {
        finger = platform::Touch::create(window, p, 0);
        recognizer->touchesBegan({finger}, platform::Event(0, {finger}));
    }
    void move(float dx, float dy = 0) {
        const platform::Point at = finger->locationInView(nullptr);
        finger->update(platform::TouchPhase::Moved, {at.x + dx, at.y + dy}, 0);
        if (!recognizer->isFinished()) recognizer->touchesMoved({finger}, platform::Event(0, {finger}));
    }
    void up() {
        finger->update(platform::TouchPhase::Ended, finger->locationInView(nullptr), 0);
        if (!recognizer->isFinished()) recognizer->touchesEnded({finger}, platform::Event(0, {finger}));
    }
    GestureRecognizerState state() const { return recognizer->state(); }

    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::View> view = platform::View::create({0, 0, 320, 100});
    std::shared_ptr<GADImpressionTicketGestureRecognizer> recognizer = GADImpressionTicketGestureRecognizer::init();
    std::shared_ptr<platform::Touch> finger;
    int recognized = 0;
};

} // namespace

TEST_CASE_FIXTURE(Zigzag, "GADImpressionTicketGestureRecognizer: four legs are recognised and the last may be short") {
    down();
    move(20);
    CHECK(recognizer->gestureState() == 1);
    move(-20);
    CHECK(recognizer->gestureState() == 2);
    // The turning move opens the new leg with its own length.
    CHECK(recognizer->distanceMoved() == doctest::Approx(20));
    move(20);
    move(-1);
    CHECK(recognizer->gestureState() == 4);
    CHECK(state() == GestureRecognizerState::Possible);
    up();
    CHECK(state() == GestureRecognizerState::Ended);
    CHECK(recognized == 1);
    recognizer->resetState();
    CHECK(recognizer->gestureState() == 0);
    CHECK(recognizer->distanceMoved() == 0);
}

TEST_CASE_FIXTURE(Zigzag, "GADImpressionTicketGestureRecognizer: a leg shorter than 15 points fails at its turn") {
    down();
    move(14);
    move(-20);
    CHECK(state() == GestureRecognizerState::Failed);
    up();
    CHECK(recognized == 0);

    // Small moves add up: ten of 2 points make a first leg of 20.
    recognizer->resetState();
    down();
    for (int i = 0; i < 10; ++i) move(2);
    CHECK(recognizer->distanceMoved() == doctest::Approx(20));
    move(-3);
    CHECK(recognizer->gestureState() == 2);
    CHECK(state() == GestureRecognizerState::Possible);
}

TEST_CASE_FIXTURE(Zigzag, "GADImpressionTicketGestureRecognizer: a drift of 5 points is level and 5.1 is not") {
    down();
    move(20, 5.0f);
    move(-20, -5.0f);
    CHECK(state() == GestureRecognizerState::Possible);
    move(20, 5.1f);
    CHECK(state() == GestureRecognizerState::Failed);

    recognizer->resetState();
    down();
    move(-5);
    CHECK(state() == GestureRecognizerState::Failed);
}

TEST_CASE_FIXTURE(Zigzag, "GADImpressionTicketGestureRecognizer: lifting early or a fifth leg fails") {
    down();
    move(20);
    move(-20);
    move(20);
    CHECK(recognizer->gestureState() == 3);
    up();
    CHECK(state() == GestureRecognizerState::Failed);
    CHECK(recognizer->gestureState() == 0);

    recognizer->resetState();
    down();
    move(20);
    move(-20);
    move(20);
    move(-20);
    move(0); // no horizontal change still counts as leftward in the last leg
    CHECK(state() == GestureRecognizerState::Possible);
    move(1);
    CHECK(state() == GestureRecognizerState::Failed);
    up();
    CHECK(recognized == 0);
}

TEST_CASE_FIXTURE(Zigzag, "GADImpressionTicketGestureRecognizer: two fingers fail at once and a cancel starts over") {
    auto a = platform::Touch::create(window, {10, 10}, 0);
    auto b = platform::Touch::create(window, {40, 10}, 0);
    recognizer->touchesBegan({a, b}, platform::Event(0, {a, b}));
    CHECK(state() == GestureRecognizerState::Failed);

    recognizer->resetState();
    down();
    move(20);
    move(-20);
    recognizer->touchesCancelled({finger}, platform::Event(0, {finger}));
    CHECK(recognizer->gestureState() == 0);
    CHECK(recognizer->distanceMoved() == 0);
    CHECK(state() == GestureRecognizerState::Possible);
    CHECK(recognized == 0);
}

TEST_CASE_FIXTURE(Harness, "GADImpressionTicketGestureRecognizer: the zig-zag on an ad view opens its debug dialog") {
    auto window = platform::Window::create();
    window->makeKeyAndVisible();
    auto adView = ruzave::GADAdView::initWithFrame({0, 0, 320, 100});
    window->addSubview(adView);
    REQUIRE(adView->impressionTicketGestureRecognizer());
    platform::TouchInjector finger(window);
    auto zigzag = [&] {
        REQUIRE(finger.down({100, 50}));
        finger.move({130, 50}, 0.05);
        finger.move({100, 51}, 0.10);
        finger.move({130, 52}, 0.15);
        finger.move({120, 52}, 0.20);
        finger.up(0.25);
    };
    zigzag();
    REQUIRE(platform::AlertView::visibleAlerts().size() == 1);
    CHECK(platform::AlertView::visibleAlerts()[0]->title() == "Debug Creative Info");
    platform::AlertView::visibleAlerts()[0]->tapButtonAtIndex(0);
    runUntilIdle();

    // With the debug display off the same gesture shows nothing.
    adView->setShowDebug(false);
    zigzag();
    CHECK(platform::AlertView::visibleAlerts().empty());

    // Another ad view's zig-zag recogniser may not run alongside this one; anything else may.
    auto other = GADImpressionTicketGestureRecognizer::init();
    CHECK_FALSE(adView->gestureRecognizerShouldRecognizeSimultaneously(*adView->impressionTicketGestureRecognizer(), *other));
    CHECK(adView->gestureRecognizerShouldRecognizeSimultaneously(*adView->impressionTicketGestureRecognizer(),
                                                                 *adView->touchGestureRecognizer()));
}
