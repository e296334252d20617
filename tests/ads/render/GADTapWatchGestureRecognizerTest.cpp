#include "ads/render/GADTapWatchGestureRecognizer.h"

#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Event.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

using platform::Rect;
using platform::testing::Harness;

namespace {

// A view that notes, as a touch ends on it, how many taps its watcher had told by then.
struct EndingView : platform::View {
    static std::shared_ptr<EndingView> create() { return std::shared_ptr<EndingView>(new EndingView()); }
    void touchesEnded(const std::vector<std::shared_ptr<platform::Touch>>&, const platform::Event&) override {
        tapsAtEnd.push_back(*taps);
    }
    std::shared_ptr<int> taps = std::make_shared<int>(0);
    std::vector<int> tapsAtEnd;

  private:
    EndingView() : platform::View(Rect(0, 100, 320, 50)) {}
};

struct TapFixture : Harness {
    std::shared_ptr<platform::Window> window = platform::Window::create(Rect(0, 0, 320, 568));
    std::shared_ptr<EndingView> view = EndingView::create();
    TapFixture() {
        view->addGestureRecognizer(
            ruzave::GADTapWatchGestureRecognizer::initWithHandler([taps = view->taps] { ++*taps; }));
        window->addSubview(view);
        window->makeKeyAndVisible();
    }
};

} // namespace

TEST_CASE_FIXTURE(TapFixture,
                  "GADTapWatchGestureRecognizer: a finger that lifts within a tap's reach is told before "
                  "the view hears the end, a pan, a second finger or a cancel never") {
    platform::TouchInjector finger(window);
    // Within 10 points on each axis, however it wanders meanwhile: a tap, told before the view's end.
    REQUIRE(finger.down({100, 120}));
    REQUIRE(finger.move({108, 128}, 0.05));
    REQUIRE(finger.up({110, 110}, 0.1));
    CHECK(*view->taps == 1);
    CHECK(view->tapsAtEnd == std::vector<int>{1});

    // Out of reach once, even back where it began: a pan.
    REQUIRE(finger.down({100, 120}));
    REQUIRE(finger.move({100, 131}, 0.05));
    REQUIRE(finger.up({100, 120}, 0.1));
    // Cancelled by the platform.
    REQUIRE(finger.down({100, 120}));
    REQUIRE(finger.cancel(0.05));
    CHECK(*view->taps == 1);

    // A second finger joins, then both lift where they went down: a pinch, not a tap.
    auto first = platform::Touch::create(window, {100, 120}, 1.0);
    window->sendEvent(platform::Event(1.0, {first}));
    auto second = platform::Touch::create(window, {200, 130}, 1.1);
    first->update(platform::TouchPhase::Stationary, {100, 120}, 1.1);
    window->sendEvent(platform::Event(1.1, {first, second}));
    first->update(platform::TouchPhase::Ended, {100, 120}, 1.2);
    second->update(platform::TouchPhase::Ended, {200, 130}, 1.2);
    window->sendEvent(platform::Event(1.2, {first, second}));
    CHECK(*view->taps == 1);

    // Each gesture starts afresh: the next tap counts.
    REQUIRE(platform::TouchInjector::tap({50, 140}, window));
    CHECK(*view->taps == 2);
}
