#include <vector>

#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;
using State = GestureRecognizerState;

namespace {

struct Scene {
    std::shared_ptr<Window> window = Window::create(Rect(0, 0, 320, 480));
    std::shared_ptr<View> target = View::create(Rect(100, 100, 100, 100));
    Scene() {
        window->addSubview(target);
        window->makeKeyAndVisible();
    }
};

class Simultaneous : public GestureRecognizerDelegate {
public:
    bool allow = true;
    bool receive = true;
    bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override {
        return allow;
    }
    bool gestureRecognizerShouldReceiveTouch(GestureRecognizer&, const Touch&) override { return receive; }
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GestureRecognizer: a tap is recognised where it lands and resets afterwards") {
    Scene s;
    std::vector<State> states;
    Point where;
    auto tap = TapGestureRecognizer::create([&](GestureRecognizer& r) {
        states.push_back(r.state());
        where = r.locationInView(r.view().get());
    });
    s.target->addGestureRecognizer(tap);
    CHECK(TouchInjector::tap(Point{130, 140}));
    CHECK(states == std::vector<State>{State::Ended});
    CHECK(where == Point{30, 40});
    CHECK(tap->state() == State::Possible);
    // Outside the view: nothing.
    TouchInjector::tap(Point{10, 10});
    CHECK(states.size() == 1);
    // A finger that wanders off fails the tap.
    TouchInjector finger;
    finger.down(Point{120, 120});
    finger.move(Point{150, 120});
    CHECK(tap->state() == State::Failed);
    finger.up();
    CHECK(tap->state() == State::Possible);
    CHECK(states.size() == 1);
    // A hidden view takes no taps.
    s.target->setHidden(true);
    TouchInjector::tap(Point{130, 140});
    CHECK(states.size() == 1);
}

TEST_CASE_FIXTURE(Harness, "GestureRecognizer: double taps need two taps close in time") {
    Scene s;
    int recognised = 0;
    auto tap = TapGestureRecognizer::create([&](GestureRecognizer&) { ++recognised; });
    tap->setNumberOfTapsRequired(2);
    s.target->addGestureRecognizer(tap);
    TouchInjector::tap(Point{150, 150});
    CHECK(recognised == 0);
    advance(0.1);
    TouchInjector::tap(Point{152, 150});
    CHECK(recognised == 1);
    TouchInjector::tap(Point{150, 150});
    advance(1.0);
    TouchInjector::tap(Point{150, 150}); // too late: fails
    CHECK(recognised == 1);
}

TEST_CASE_FIXTURE(Harness, "GestureRecognizer: a pan begins past its hysteresis, changes, ends with translation and velocity") {
    Scene s;
    std::vector<State> states;
    Point lastTranslation, velocity;
    auto pan = PanGestureRecognizer::create([&](GestureRecognizer& r) {
        states.push_back(r.state());
        auto& p = static_cast<PanGestureRecognizer&>(r);
        lastTranslation = p.translationInView(r.view().get());
        velocity = p.velocityInView(r.view().get());
    });
    s.target->addGestureRecognizer(pan);
    TouchInjector finger;
    finger.down(Point{110, 110}, 0);
    finger.move(Point{115, 110}, 0.1);
    CHECK(states.empty());
    finger.move(Point{130, 110}, 0.2);
    finger.move(Point{150, 120}, 0.3);
    finger.up(Point{150, 120}, 0.4);
    CHECK(states == std::vector<State>{State::Began, State::Changed, State::Ended});
    CHECK(lastTranslation == Point{40, 10});
    CHECK(pan->state() == State::Possible); // reset

    // Translation in a scaled view is in that view's units; velocity from the last two samples.
    states.clear();
    s.target->setTransform(AffineTransform::scale(2, 2));
    TouchInjector f2;
    f2.down(Point{150, 150}, 0);
    f2.move(Point{170, 150}, 0.1);
    f2.move(Point{190, 150}, 0.2);
    CHECK(lastTranslation.x == doctest::Approx(20));
    CHECK(velocity.x == doctest::Approx(100));
    pan->setTranslation(Point{0, 0}, s.target.get());
    CHECK(pan->translationInView(s.target.get()) == Point{0, 0});
    // Disabling mid-gesture cancels.
    pan->setEnabled(false);
    CHECK(states.back() == State::Cancelled);
    CHECK(pan->state() == State::Possible);
    f2.up();
    CHECK(states.back() == State::Cancelled);
}

TEST_CASE_FIXTURE(Harness, "GestureRecognizer: one recogniser excludes another unless the delegate allows both") {
    Scene s;
    int inner = 0, outer = 0;
    auto innerTap = TapGestureRecognizer::create([&](GestureRecognizer&) { ++inner; });
    auto outerTap = TapGestureRecognizer::create([&](GestureRecognizer&) { ++outer; });
    s.target->addGestureRecognizer(innerTap);
    s.window->addGestureRecognizer(outerTap);
    TouchInjector::tap(Point{150, 150});
    CHECK(inner == 1);
    CHECK(outer == 0);

    auto delegate = std::make_shared<Simultaneous>();
    outerTap->setDelegate(delegate);
    TouchInjector::tap(Point{150, 150});
    CHECK(inner == 2);
    CHECK(outer == 1);

    // A recogniser whose delegate refuses the touch never sees it.
    delegate->receive = false;
    TouchInjector::tap(Point{150, 150});
    CHECK(inner == 3);
    CHECK(outer == 1);
    // A disabled recogniser neither.
    innerTap->setEnabled(false);
    TouchInjector::tap(Point{150, 150});
    CHECK(inner == 3);
}

TEST_CASE_FIXTURE(Harness, "GestureRecognizer: a recognised gesture cancels the touches of the view under it") {
    Scene s;
    auto button = Button::create(Rect(0, 0, 50, 50));
    s.target->addSubview(button);
    int pressed = 0;
    button->addTarget([&](Button&) { ++pressed; });
    TouchInjector::tap(Point{110, 110});
    CHECK(pressed == 1);

    auto pan = PanGestureRecognizer::create();
    s.target->addGestureRecognizer(pan);
    TouchInjector finger;
    finger.down(Point{110, 110});
    CHECK(button->isHighlighted());
    finger.move(Point{130, 110});
    CHECK(pan->state() == State::Began);
    CHECK_FALSE(button->isHighlighted()); // cancelled
    finger.up();
    CHECK(pressed == 1);

    // A disabled button takes no touches.
    button->setEnabled(false);
    TouchInjector::tap(Point{110, 110});
    CHECK(pressed == 1);
}
