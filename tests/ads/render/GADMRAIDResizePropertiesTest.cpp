#include "ads/render/GADMRAIDResizeProperties.h"

#include <doctest/doctest.h>

using ruzave::GADMRAIDResizeProperties;

namespace {

platform::Value full(const char* width = "300", const char* height = "250") {
    platform::Value v = platform::Value::object();
    v["width"] = width;
    v["height"] = height;
    v["offsetX"] = "-10";
    v["offsetY"] = "20.5";
    v["customClosePosition"] = "bottom-left";
    v["allowOffscreen"] = "true";
    return v;
}

} // namespace

TEST_CASE("GADMRAIDResizeProperties: all six keys are needed and read as numbers, word and flag") {
    auto p = GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(full());
    REQUIRE(p);
    CHECK(p->size().width == 300);
    CHECK(p->offset().x == -10);
    CHECK(p->offset().y == doctest::Approx(20.5));
    CHECK(p->customClosePosition() == 6);
    CHECK(p->allowOffscreen());
    auto missing = full();
    missing.erase("allowOffscreen");
    CHECK_FALSE(GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(missing));
    auto word = full();
    word["customClosePosition"] = "somewhere";
    CHECK(GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(word)->customClosePosition() == 0);
}

TEST_CASE("GADMRAIDResizeProperties: non-numeric, negative, NaN and huge sizes are refused") {
    for (const char* bad : {"abc", "-5", "NaN", "inf", "1e9", ""}) {
        CAPTURE(bad);
        CHECK_FALSE(GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(full(bad)));
        CHECK_FALSE(GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(full("300", bad)));
    }
    CHECK(GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(full("0", "0")));
    CHECK_FALSE(GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(platform::Value::array()));
}

TEST_CASE("GADMRAIDResizeProperties: close areas and their autoresizing masks") {
    platform::Rect frame(0, 0, 300, 250);
    CHECK(GADMRAIDResizeProperties::closeButtonRectForPosition(1, frame) == platform::Rect(125, 0, 50, 50));
    CHECK(GADMRAIDResizeProperties::closeButtonRectForPosition(4, frame) == platform::Rect(250, 200, 50, 50));
    CHECK(GADMRAIDResizeProperties::closeButtonRectForPosition(0, frame) == platform::Rect(250, 0, 50, 50));
    CHECK(GADMRAIDResizeProperties::closeButtonRectForPosition(3, frame) == platform::Rect(125, 100, 50, 50));
    CHECK(GADMRAIDResizeProperties::closeButtonRectForPosition(99, frame) == platform::Rect(0, 0, 50, 50));
    CHECK(GADMRAIDResizeProperties::autoresizingMaskForClosePosition(0) == 33);
    CHECK(GADMRAIDResizeProperties::autoresizingMaskForClosePosition(3) == 45);
    CHECK(GADMRAIDResizeProperties::autoresizingMaskForClosePosition(6) == 12);
    CHECK(GADMRAIDResizeProperties::autoresizingMaskForClosePosition(-1) == 0);
}

TEST_CASE("GADMRAIDResizeProperties: a frame past the bounds is valid off screen only while its close area stays in") {
    platform::Rect bounds(0, 0, 320, 480);
    platform::Rect frame(100, 0, 300, 250); // sticks out on the right
    CHECK(GADMRAIDResizeProperties::isContentFrameValid(frame, bounds, true, 2));  // top-left close area inside
    CHECK_FALSE(GADMRAIDResizeProperties::isContentFrameValid(frame, bounds, true, 0)); // top-right outside
    CHECK_FALSE(GADMRAIDResizeProperties::isContentFrameValid(frame, bounds, false, 2));
    CHECK(GADMRAIDResizeProperties::isContentFrameValid({0, 0, 320, 480}, bounds, false, 0));
}
