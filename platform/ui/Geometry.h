#pragma once
// Points, sizes, rectangles, edge insets and affine transforms in 32-bit floats, with their text forms.
// Plain values: any thread.
#include <iosfwd>
#include <string>
#include <string_view>

namespace platform {

struct Point {
    float x = 0;
    float y = 0;

    static Point zero() { return {}; }
    bool operator==(const Point&) const = default;
    bool isFinite() const;
};

struct Size {
    float width = 0;
    float height = 0;

    static Size zero() { return {}; }
    bool operator==(const Size&) const = default;
    bool isFinite() const;
};

struct EdgeInsets {
    float top = 0;
    float left = 0;
    float bottom = 0;
    float right = 0;

    bool operator==(const EdgeInsets&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(Point o, Size s) : origin(o), size(s) {}
    Rect(float x, float y, float w, float h) : origin{x, y}, size{w, h} {}

    static Rect zero() { return {}; }
    // The "no rectangle" value (infinite origin), as returned by an empty intersection.
    static Rect null();

    // Same rectangle with non-negative width and height.
    Rect standardized() const;
    bool isNull() const;
    // Null, or zero width or height.
    bool isEmpty() const;
    bool isFinite() const;

    float minX() const;
    float midX() const;
    float maxX() const;
    float minY() const;
    float midY() const;
    float maxY() const;
    float width() const;  // of the standardised rectangle
    float height() const; // of the standardised rectangle

    Rect intersection(const Rect& other) const; // null when they do not overlap
    Rect unionWith(const Rect& other) const;    // null operands are ignored
    bool intersects(const Rect& other) const;
    // Half-open: the max edges are outside.
    bool contains(Point p) const;
    bool contains(const Rect& other) const;
    Rect insetBy(float dx, float dy) const; // null when it would become negative
    Rect offsetBy(float dx, float dy) const;
    Rect inset(const EdgeInsets& insets) const;
    Rect integral() const;

    // Non-finite values give the zero rect; negative sizes are standardised. Frames pass through this.
    Rect sanitized() const;

    // Exact equality of the standardised rectangles (null equals null).
    bool equals(const Rect& other) const;
    bool operator==(const Rect& other) const { return origin == other.origin && size == other.size; }
};

// Text forms: "{x, y}", "{w, h}", "{{x, y}, {w, h}}". Malformed text reads as zero.
std::string stringFromPoint(Point p);
std::string stringFromSize(Size s);
std::string stringFromRect(const Rect& r);
Point pointFromString(std::string_view text);
Size sizeFromString(std::string_view text);
Rect rectFromString(std::string_view text);
std::ostream& operator<<(std::ostream& os, Point p);
std::ostream& operator<<(std::ostream& os, Size s);
std::ostream& operator<<(std::ostream& os, const Rect& r);

// [a b 0; c d 0; tx ty 1], applied to row vectors: x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
    float a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform rotation(float radians);
    static AffineTransform scale(float sx, float sy);
    static AffineTransform translation(float dx, float dy);

    bool isIdentity() const;
    bool isInvertible() const;
    // `this` first, then `then`.
    AffineTransform concat(const AffineTransform& then) const;
    AffineTransform rotated(float radians) const;
    AffineTransform scaled(float sx, float sy) const;
    AffineTransform translated(float dx, float dy) const;
    // A transform that cannot be inverted (or has non-finite terms) gives the identity.
    AffineTransform inverted() const;

    Point apply(Point p) const;
    Size apply(Size s) const; // linear part only
    Rect apply(const Rect& r) const; // bounding box of the transformed corners

    bool operator==(const AffineTransform&) const = default;
};

} // namespace platform
