#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;

TEST_CASE_FIXTURE(Harness, "TextView: only an editable text view becomes first responder, and it can resign") {
    auto window = Window::create(Rect(0, 0, 320, 480));
    auto text = TextView::create(Rect(0, 0, 100, 100));
    text->setText("hello");
    CHECK(text->text() == "hello");
    window->addSubview(text);
    window->makeKeyAndVisible();
    text->setEditable(false);
    CHECK_FALSE(text->becomeFirstResponder());
    CHECK_FALSE(text->isFirstResponder());
    text->setEditable(true);
    CHECK(text->becomeFirstResponder());
    CHECK(text->isFirstResponder());
    CHECK(text->resignFirstResponder());
    CHECK_FALSE(text->isFirstResponder());
}
