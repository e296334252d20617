#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;

TEST_CASE_FIXTURE(Harness, "Toolbar: fixed items keep their widths and flexible spaces share the rest") {
    auto toolbar = Toolbar::create(Rect(0, 0, 320, 44));
    auto back = BarButtonItem::initWithTitle("Back", BarButtonItemStyle::Plain);
    back->setWidth(27);
    auto custom = View::create(Rect(0, 0, 20, 20));
    auto spinner = BarButtonItem::initWithCustomView(custom);
    auto done = BarButtonItem::initWithBarButtonSystemItem(BarButtonSystemItem::Done);
    auto flex1 = BarButtonItem::initWithBarButtonSystemItem(BarButtonSystemItem::FlexibleSpace);
    auto flex2 = BarButtonItem::initWithBarButtonSystemItem(BarButtonSystemItem::FlexibleSpace);
    auto fixed = BarButtonItem::initWithBarButtonSystemItem(BarButtonSystemItem::FixedSpace);
    fixed->setWidth(10);
    toolbar->setItems({back, flex1, spinner, flex2, fixed, done, nullptr});
    REQUIRE(toolbar->items().size() == 6);

    // 320 - 27 - 20 - 10 - 44 = 219, shared by two flexible spaces.
    CHECK(toolbar->viewForItem(back)->frame() == Rect(0, 0, 27, 44));
    CHECK(toolbar->viewForItem(spinner) == custom);
    CHECK(custom->frame() == Rect(27 + 109.5f, 12, 20, 20));  // centred vertically
    CHECK(toolbar->viewForItem(done)->frame() == Rect(320 - 44, 0, 44, 44));
    CHECK(toolbar->viewForItem(flex1) == nullptr);
    CHECK(toolbar->viewForItem(fixed) == nullptr);

    // Wider bar, wider spaces; replacing the items drops the old buttons.
    toolbar->setFrame(Rect(0, 0, 420, 44));
    toolbar->layoutIfNeeded();
    CHECK(toolbar->viewForItem(done)->frame().minX() == doctest::Approx(420 - 44));
    auto oldButton = toolbar->viewForItem(back);
    toolbar->setItems({done});
    CHECK(oldButton->superview() == nullptr);
    CHECK(toolbar->subviews().size() == 1);
}

TEST_CASE_FIXTURE(Harness, "Toolbar: a tap runs the item's action, and enabling the item later enables its button") {
    auto window = Window::create(Rect(0, 0, 320, 480));
    auto toolbar = Toolbar::create(Rect(0, 436, 320, 44));
    window->addSubview(toolbar);
    window->makeKeyAndVisible();
    int backs = 0;
    auto back = BarButtonItem::initWithTitle("Back", BarButtonItemStyle::Plain, [&](BarButtonItem&) { ++backs; });
    back->setEnabled(false);  // nothing to go back to yet
    back->setAccessibilityLabel("Back");
    toolbar->setItems({back});
    auto button = std::dynamic_pointer_cast<Button>(toolbar->viewForItem(back));
    REQUIRE(button);
    CHECK(button->accessibilityLabel() == "Back");
    CHECK_FALSE(button->isEnabled());
    CHECK(TouchInjector::tap(Point{20, 458}, window));
    CHECK(backs == 0);

    back->setEnabled(true);
    CHECK(button->isEnabled());
    CHECK(TouchInjector::tap(Point{20, 458}, window));
    CHECK(backs == 1);

    back->setAccessibilityLabel("Go back");
    CHECK(button->accessibilityLabel() == "Go back");
    // A space never performs.
    auto flex = BarButtonItem::initWithBarButtonSystemItem(BarButtonSystemItem::FlexibleSpace, [&](BarButtonItem&) { ++backs; });
    CHECK_FALSE(flex->perform());
    CHECK(backs == 1);
}
