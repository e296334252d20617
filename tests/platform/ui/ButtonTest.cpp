#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;

namespace {

std::shared_ptr<Image> solid(int w, int h, const Color& color, float scale = 1) {
    Bitmap b(w, h);
    b.fill(color);
    return Image::imageWithBitmap(std::move(b), scale);
}

struct Scene {
    std::shared_ptr<Window> window = Window::create(Rect(0, 0, 320, 480));
    std::shared_ptr<Button> button = Button::create(Rect(100, 100, 40, 40));
    int taps = 0;
    Scene() {
        window->addSubview(button);
        window->makeKeyAndVisible();
        button->addTarget([this](Button&) { ++taps; });
    }
};

} // namespace

TEST_CASE_FIXTURE(Harness, "Button: a touch lifted inside runs the actions once, outside the slop runs none") {
    Scene s;
    TouchInjector finger(s.window);
    REQUIRE(finger.down(Point{110, 110}));
    CHECK(s.button->isHighlighted());
    CHECK(s.button->state() == ControlStateHighlighted);
    REQUIRE(finger.up());
    CHECK(s.taps == 1);
    CHECK_FALSE(s.button->isHighlighted());

    // Dragged a little beyond the edge still counts; far away it does not, and the highlight follows.
    REQUIRE(finger.down(Point{110, 110}));
    REQUIRE(finger.move(Point{180, 110}));
    CHECK(s.button->isHighlighted());
    REQUIRE(finger.move(Point{300, 400}));
    CHECK_FALSE(s.button->isHighlighted());
    REQUIRE(finger.up());
    CHECK(s.taps == 1);

    // A cancelled touch never fires.
    REQUIRE(finger.down(Point{110, 110}));
    REQUIRE(finger.cancel());
    CHECK(s.taps == 1);
    CHECK_FALSE(s.button->isHighlighted());
}

TEST_CASE_FIXTURE(Harness, "Button: a disabled button takes no touches, which reach the view behind it") {
    Scene s;
    s.button->setEnabled(false);
    CHECK(s.button->state() == ControlStateDisabled);
    CHECK(s.window->hitTest(Point{110, 110}) == s.window);
    CHECK(TouchInjector::tap(Point{110, 110}, s.window));
    CHECK(s.taps == 0);
    s.button->setEnabled(true);
    CHECK(TouchInjector::tap(Point{110, 110}, s.window));
    CHECK(s.taps == 1);
}

TEST_CASE_FIXTURE(Harness, "Button: removed targets stay quiet, and an action may remove itself while running") {
    auto button = Button::create(Rect(0, 0, 10, 10));
    int a = 0, b = 0;
    std::size_t tokenA = 0;
    tokenA = button->addTarget([&](Button& self) {
        ++a;
        self.removeTarget(tokenA);
    });
    auto tokenB = button->addTarget([&](Button&) { ++b; });
    CHECK(button->addTarget(nullptr) == 0);
    button->sendActions();
    button->sendActions();
    CHECK(a == 1);
    CHECK(b == 2);
    button->removeTarget(tokenB);
    button->sendActions();
    CHECK(b == 2);
}

TEST_CASE_FIXTURE(Harness, "Button: images and titles fall back to the normal state and size the button") {
    auto button = Button::create(Rect(0, 0, 60, 60));
    auto normal = solid(20, 10, Color::red());
    auto pressed = solid(40, 30, Color::blue(), 2);  // 20 x 15 points
    button->setImage(normal, ControlStateNormal);
    button->setImage(pressed, ControlStateHighlighted);
    button->setTitle("Go", ControlStateNormal);
    CHECK(button->currentImage() == normal);
    CHECK(button->imageForState(ControlStateSelected) == normal);
    CHECK(button->titleForState(ControlStateDisabled) == "Go");
    button->setHighlighted(true);
    CHECK(button->currentImage() == pressed);

    // The image centred in the bounds, at its size in points.
    Bitmap bitmap = button->renderToBitmap(1);
    CHECK(bitmap.countPixels(Color::blue()) == 20 * 15);
    CHECK(bitmap.pixel(30, 30) == Color::blue().premultipliedRGBA8());
    CHECK(bitmap.pixel(5, 5) != Color::blue().premultipliedRGBA8());

    button->setHighlighted(false);
    button->setTitle("", ControlStateNormal);
    CHECK(button->intrinsicContentSize().width == doctest::Approx(20));
    CHECK(button->intrinsicContentSize().height == doctest::Approx(10));
}
