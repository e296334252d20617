#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Label.h"

using namespace platform;
using platform::testing::Harness;

TEST_CASE_FIXTURE(Harness, "Label: measures with the fixed-metrics font, one line unless told otherwise") {
    auto label = Label::create(Rect(0, 0, 200, 100));
    label->setFont(Font::systemFontOfSize(10));  // 6 points a glyph, 12 a line
    label->setText("abcd");
    CHECK(label->intrinsicContentSize().width == doctest::Approx(24));
    CHECK(label->intrinsicContentSize().height == doctest::Approx(12));
    // Code points, not bytes.
    label->setText("\xC3\xA9t\xC3\xA9");
    CHECK(label->intrinsicContentSize().width == doctest::Approx(18));

    label->setText("one\nlonger line\nthree");
    CHECK(label->intrinsicContentSize().width == doctest::Approx(18));
    CHECK(label->intrinsicContentSize().height == doctest::Approx(12));
    label->setNumberOfLines(2);
    CHECK(label->intrinsicContentSize().width == doctest::Approx(66));
    CHECK(label->intrinsicContentSize().height == doctest::Approx(24));
    label->setNumberOfLines(0);
    CHECK(label->sizeThatFits(Size{1, 1}).height == doctest::Approx(36));
    label->setNumberOfLines(-3);  // reads as any number
    CHECK(label->numberOfLines() == 0);

    label->setText("");
    CHECK(label->intrinsicContentSize().width == 0);
}

TEST_CASE_FIXTURE(Harness, "Label: paints only visible glyphs of the lines shown, in its colour, inside its bounds") {
    auto label = Label::create(Rect(0, 0, 100, 40));
    label->setFont(Font::systemFontOfSize(10));
    label->setTextColor(Color::red());
    label->setText("ab c");
    std::size_t three = label->renderToBitmap(1).countPixels(Color::red());
    CHECK(three > 0);
    label->setText("abc");
    CHECK(label->renderToBitmap(1).countPixels(Color::red()) == three);  // a space paints nothing

    // The second line is hidden at one line.
    label->setText("abc\nabc");
    CHECK(label->renderToBitmap(1).countPixels(Color::red()) == three);
    label->setNumberOfLines(2);
    CHECK(label->renderToBitmap(1).countPixels(Color::red()) == 2 * three);

    // Text wider than the label is cut at its edge.
    label->setNumberOfLines(1);
    label->setText(std::string(100, 'x'));
    Bitmap bitmap = label->renderToBitmap(1);
    CHECK(bitmap.countPixels(Color::red()) < 100 * 40);
    CHECK(bitmap.width() == 100);
}
