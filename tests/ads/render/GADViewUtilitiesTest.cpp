#include <doctest/doctest.h>

#include "ads/render/GADViewUtilities.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

using platform::Rect;
using platform::testing::Harness;
using ruzave::GADViewUtilities;

namespace {

struct ScreenFixture : Harness {
    std::shared_ptr<platform::Screen> screen = platform::Screen::mainScreen();
    std::shared_ptr<platform::Window> window = platform::Window::create(Rect(0, 0, 320, 568));
    std::shared_ptr<platform::View> container = platform::View::create(Rect(0, 0, 320, 568));
    ScreenFixture() {
        window->addSubview(container);
        window->makeKeyAndVisible();
    }
    std::shared_ptr<platform::View> place(Rect frame) {
        auto view = platform::View::create(frame);
        container->addSubview(view);
        return view;
    }
    bool visible(Rect frame) {
        auto position = GADViewUtilities::positionOfView(place(frame), screen);
        REQUIRE(position);
        return (*position)["visible"].get<bool>();
    }
};

} // namespace

TEST_CASE_FIXTURE(ScreenFixture, "GADViewUtilities: the position is the frame in screen coordinates") {
    auto inner = platform::View::create(Rect(10, 20, 200, 100));
    container->addSubview(inner);
    auto view = platform::View::create(Rect(5, 6, 50, 40));
    inner->addSubview(view);
    auto position = GADViewUtilities::positionOfView(view, screen);
    REQUIRE(position);
    CHECK((*position)["x"].get<double>() == doctest::Approx(15));
    CHECK((*position)["y"].get<double>() == doctest::Approx(26));
    CHECK((*position)["width"].get<double>() == doctest::Approx(50));
    CHECK((*position)["height"].get<double>() == doctest::Approx(40));
    CHECK((*position)["visible"].get<bool>());
}

TEST_CASE_FIXTURE(ScreenFixture, "GADViewUtilities: a view wholly left of the screen is not visible, one point in is") {
    CHECK_FALSE(visible(Rect(-320, 0, 320, 50)));
    CHECK(visible(Rect(-319, 0, 320, 50)));
    CHECK_FALSE(visible(Rect(0, -50, 320, 50)));
    CHECK(visible(Rect(0, -49, 320, 50)));
}

TEST_CASE_FIXTURE(ScreenFixture, "GADViewUtilities: a view starting exactly at the right or bottom edge is not visible") {
    Rect app = screen->applicationFrame();
    CHECK_FALSE(visible(Rect(app.width(), 0, 10, 10)));
    CHECK(visible(Rect(app.width() - 1, 0, 10, 10)));
    CHECK_FALSE(visible(Rect(0, app.height(), 10, 10)));
    CHECK(visible(Rect(0, app.height() - 1, 10, 10)));
}

TEST_CASE_FIXTURE(ScreenFixture, "GADViewUtilities: hidden views are not visible, views outside a window have no position") {
    auto view = place(Rect(0, 0, 10, 10));
    view->setHidden(true);
    CHECK_FALSE((*GADViewUtilities::positionOfView(view, screen))["visible"].get<bool>());
    auto loose = platform::View::create(Rect(0, 0, 10, 10));
    CHECK_FALSE(GADViewUtilities::positionOfView(loose, screen));
    auto parent = platform::View::create(Rect(0, 0, 100, 100));
    auto child = platform::View::create(Rect(0, 0, 10, 10));
    parent->addSubview(child);
    CHECK_FALSE(GADViewUtilities::positionOfView(child, screen));
    CHECK_FALSE(GADViewUtilities::positionOfView(nullptr, screen));
    // Without a screen the application frame is empty: nothing is on it.
    CHECK_FALSE((*GADViewUtilities::positionOfView(place(Rect(1, 1, 10, 10)), nullptr))["visible"].get<bool>());
}
