#include <cmath>
#include <limits>

#include "platform/ui/Geometry.h"

using namespace platform;

TEST_CASE("Geometry: text forms read back and malformed text reads as zero") {
    CHECK(stringFromSize(Size{320, 50}) == "{320, 50}");
    CHECK(stringFromRect(Rect(1.5f, -2, 3, 4)) == "{{1.5, -2}, {3, 4}}");
    CHECK(sizeFromString("{320, 50}") == Size{320, 50});
    CHECK(rectFromString(" {{1.5, -2},{3,4}} ") == Rect(1.5f, -2, 3, 4));
    CHECK(pointFromString("{7, 8}") == Point{7, 8});
    CHECK(sizeFromString("{320, 50") == Size{});
    CHECK(sizeFromString("{320}") == Size{});
    CHECK(sizeFromString("320x50") == Size{});
    CHECK(rectFromString("{{1, 2}, {3}}") == Rect{});
    CHECK(sizeFromString("{nan, 5}") == Size{});
    CHECK(sizeFromString("") == Size{});
}

TEST_CASE("Geometry: standardise, intersection, union and containment") {
    Rect r(10, 10, -4, -6);
    CHECK(r.standardized() == Rect(6, 4, 4, 6));
    CHECK(r.minX() == 6);
    CHECK(r.maxY() == 10);

    Rect a(0, 0, 10, 10), b(5, 5, 10, 10), c(20, 20, 1, 1);
    CHECK(a.intersection(b) == Rect(5, 5, 5, 5));
    CHECK(a.intersection(c).isNull());
    CHECK(a.intersection(c).isEmpty());
    CHECK(a.unionWith(c) == Rect(0, 0, 21, 21));
    CHECK(Rect::null().unionWith(c) == c);
    // Touching edges do not intersect.
    CHECK_FALSE(a.intersects(Rect(10, 0, 5, 5)));
    CHECK(a.intersects(b));
    // Max edges are outside.
    CHECK(a.contains(Point{0, 0}));
    CHECK_FALSE(a.contains(Point{10, 5}));
    CHECK(a.contains(Rect(2, 2, 8, 8)));
    CHECK_FALSE(a.contains(Rect(2, 2, 9, 8)));
    CHECK(a.insetBy(6, 0).isNull());
    CHECK(a.inset(EdgeInsets{1, 2, 3, 4}) == Rect(2, 1, 4, 6));
    CHECK(Rect::zero().isEmpty());
    CHECK_FALSE(Rect::zero().isNull());
    CHECK(Rect::null().equals(Rect::null()));
}

TEST_CASE("Geometry: non-finite rectangles sanitise to zero, negative sizes standardise") {
    float nan = std::numeric_limits<float>::quiet_NaN();
    float inf = std::numeric_limits<float>::infinity();
    CHECK(Rect(nan, 0, 10, 10).sanitized() == Rect::zero());
    CHECK(Rect(0, 0, inf, 10).sanitized() == Rect::zero());
    CHECK(Rect(5, 5, -5, 10).sanitized() == Rect(0, 5, 5, 10));
    CHECK_FALSE(Rect(nan, 0, 10, 10).contains(Point{1, 1}));
}

TEST_CASE("Geometry: transforms apply, compose and invert, and singular ones invert to identity") {
    AffineTransform r = AffineTransform::rotation(float(M_PI / 2));
    Point p = r.apply(Point{1, 0});
    CHECK(p.x == doctest::Approx(0));
    CHECK(p.y == doctest::Approx(1));
    AffineTransform t = AffineTransform::scale(2, 3).concat(AffineTransform::translation(10, 20));
    CHECK(t.apply(Point{1, 1}) == Point{12, 23});
    Point back = t.inverted().apply(Point{12, 23});
    CHECK(back.x == doctest::Approx(1));
    CHECK(back.y == doctest::Approx(1));
    CHECK(t.apply(Rect(0, 0, 1, 1)) == Rect(10, 20, 2, 3));
    CHECK(r.apply(Rect(0, 0, 2, 1)).size.width == doctest::Approx(1));

    CHECK_FALSE(AffineTransform::scale(0, 1).isInvertible());
    CHECK(AffineTransform::scale(0, 1).inverted().isIdentity());
    AffineTransform bad{std::numeric_limits<float>::quiet_NaN(), 0, 0, 1, 0, 0};
    CHECK(bad.inverted().isIdentity());
}
