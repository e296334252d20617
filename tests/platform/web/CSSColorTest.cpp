#include <doctest/doctest.h>

#include "platform/web/CSSColor.h"

using platform::Color;
using platform::CSSColor;

TEST_CASE("CSSColor: reads hex and rgb and rgba and the basic names and rejects the rest") {
    CHECK(CSSColor::parse("#f00") == Color::rgba(1, 0, 0));
    CHECK(CSSColor::parse(" #00FF00 ") == Color::rgba(0, 1, 0));
    CHECK(CSSColor::parse("rgb(0, 0, 255)") == Color::rgba(0, 0, 1));
    CHECK(CSSColor::parse("rgba(255,0,0,0.5)") == Color::rgba(1, 0, 0, 0.5f));
    CHECK(CSSColor::parse("rgb(300,-5,100%)") == Color::rgba(1, 0, 1));
    CHECK(CSSColor::parse("Navy") == Color::rgba(0, 0, 128 / 255.f));
    CHECK(CSSColor::parse("red !important") == Color::rgba(1, 0, 0));
    CHECK(CSSColor::parse("transparent")->alpha() == 0);
    CHECK_FALSE(CSSColor::parse("#12345"));
    CHECK_FALSE(CSSColor::parse("#ggg"));
    CHECK_FALSE(CSSColor::parse("rgb(1,2)"));
    CHECK_FALSE(CSSColor::parse("rgb(1,2,3"));
    CHECK_FALSE(CSSColor::parse("rgba(1,2,3,x)"));
    CHECK_FALSE(CSSColor::parse("chartreuse"));
    CHECK_FALSE(CSSColor::parse(""));
}
