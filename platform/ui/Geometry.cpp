#include "platform/ui/Geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <vector>

namespace platform {

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

bool finite(float v) { return std::isfinite(v); }

// Reads the numbers of a brace form; the text must be exactly `{a, b}` or `{{a, b}, {c, d}}` shaped.
// Any deviation gives an empty result.
std::vector<float> readNumbers(std::string_view text, std::size_t expected) {
    std::vector<float> out;
    std::size_t i = 0;
    int depth = 0;
    auto skipSpace = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
    };
    while (true) {
        skipSpace();
        if (i >= text.size()) break;
        char ch = text[i];
        if (ch == '{') {
            ++depth;
            ++i;
        } else if (ch == '}') {
            if (--depth < 0) return {};
            ++i;
        } else if (ch == ',') {
            ++i;
        } else {
            const char* begin = text.data() + i;
            const char* end = text.data() + text.size();
            float v = 0;
            auto [p, ec] = std::from_chars(begin, end, v);
            if (ec != std::errc() || p == begin || !finite(v)) return {};
            out.push_back(v);
            i += static_cast<std::size_t>(p - begin);
        }
    }
    if (depth != 0 || out.size() != expected) return {};
    return out;
}

std::string number(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

} // namespace

bool Point::isFinite() const { return finite(x) && finite(y); }
bool Size::isFinite() const { return finite(width) && finite(height); }

Rect Rect::null() { return Rect(kInf, kInf, 0, 0); }

Rect Rect::standardized() const {
    if (isNull()) return *this;
    Rect r = *this;
    if (r.size.width < 0) {
        r.origin.x += r.size.width;
        r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
        r.origin.y += r.size.height;
        r.size.height = -r.size.height;
    }
    return r;
}

bool Rect::isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
bool Rect::isEmpty() const { return isNull() || size.width == 0 || size.height == 0 || !isFinite(); }
bool Rect::isFinite() const { return origin.isFinite() && size.isFinite(); }

float Rect::minX() const { return standardized().origin.x; }
float Rect::minY() const { return standardized().origin.y; }
float Rect::maxX() const { return minX() + width(); }
float Rect::maxY() const { return minY() + height(); }
float Rect::midX() const { return minX() + width() / 2; }
float Rect::midY() const { return minY() + height() / 2; }
float Rect::width() const { return std::fabs(size.width); }
float Rect::height() const { return std::fabs(size.height); }

Rect Rect::intersection(const Rect& other) const {
    if (isNull() || other.isNull()) return null();
    Rect a = standardized(), b = other.standardized();
    float x0 = std::max(a.minX(), b.minX());
    float y0 = std::max(a.minY(), b.minY());
    float x1 = std::min(a.maxX(), b.maxX());
    float y1 = std::min(a.maxY(), b.maxY());
    if (!(x1 >= x0 && y1 >= y0)) return null(); // also catches NaN
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::unionWith(const Rect& other) const {
    if (isNull()) return other.standardized();
    if (other.isNull()) return standardized();
    Rect a = standardized(), b = other.standardized();
    float x0 = std::min(a.minX(), b.minX());
    float y0 = std::min(a.minY(), b.minY());
    float x1 = std::max(a.maxX(), b.maxX());
    float y1 = std::max(a.maxY(), b.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

bool Rect::intersects(const Rect& other) const {
    return !intersection(other).isEmpty();
}

bool Rect::contains(Point p) const {
    if (isNull() || !isFinite()) return false;
    Rect r = standardized();
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

bool Rect::contains(const Rect& other) const {
    if (isNull() || other.isNull()) return false;
    Rect a = standardized(), b = other.standardized();
    return b.minX() >= a.minX() && b.minY() >= a.minY() && b.maxX() <= a.maxX() && b.maxY() <= a.maxY();
}

Rect Rect::insetBy(float dx, float dy) const {
    if (isNull()) return *this;
    Rect r = standardized();
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    if (!(r.size.width >= 0 && r.size.height >= 0)) return null();
    return r;
}

Rect Rect::offsetBy(float dx, float dy) const {
    if (isNull()) return *this;
    Rect r = *this;
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

Rect Rect::inset(const EdgeInsets& in) const {
    Rect r = *this;
    r.origin.x += in.left;
    r.origin.y += in.top;
    r.size.width -= in.left + in.right;
    r.size.height -= in.top + in.bottom;
    return r;
}

Rect Rect::integral() const {
    if (isNull()) return *this;
    Rect r = standardized();
    float x0 = std::floor(r.minX()), y0 = std::floor(r.minY());
    float x1 = std::ceil(r.maxX()), y1 = std::ceil(r.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::sanitized() const {
    if (!isFinite()) return zero();
    return standardized();
}

bool Rect::equals(const Rect& other) const {
    if (isNull() || other.isNull()) return isNull() && other.isNull();
    return standardized() == other.standardized();
}

std::string stringFromPoint(Point p) { return "{" + number(p.x) + ", " + number(p.y) + "}"; }
std::string stringFromSize(Size s) { return "{" + number(s.width) + ", " + number(s.height) + "}"; }
std::string stringFromRect(const Rect& r) { return "{" + stringFromPoint(r.origin) + ", " + stringFromSize(r.size) + "}"; }

Point pointFromString(std::string_view text) {
    auto n = readNumbers(text, 2);
    return n.empty() ? Point{} : Point{n[0], n[1]};
}

Size sizeFromString(std::string_view text) {
    auto n = readNumbers(text, 2);
    return n.empty() ? Size{} : Size{n[0], n[1]};
}

Rect rectFromString(std::string_view text) {
    auto n = readNumbers(text, 4);
    return n.empty() ? Rect{} : Rect(n[0], n[1], n[2], n[3]);
}

AffineTransform AffineTransform::rotation(float radians) {
    float c = std::cos(radians), s = std::sin(radians);
    // Snap the tiny residues of quarter turns so rotated rectangles stay exact.
    auto snap = [](float v) { return std::fabs(v) < 1e-6f ? 0.0f : v; };
    return {snap(c), snap(s), snap(-s), snap(c), 0, 0};
}

AffineTransform AffineTransform::scale(float sx, float sy) { return {sx, 0, 0, sy, 0, 0}; }
AffineTransform AffineTransform::translation(float dx, float dy) { return {1, 0, 0, 1, dx, dy}; }

bool AffineTransform::isIdentity() const { return *this == identity(); }

bool AffineTransform::isInvertible() const {
    float det = a * d - b * c;
    return finite(a) && finite(b) && finite(c) && finite(d) && finite(tx) && finite(ty) && det != 0 &&
           finite(det) && finite(1.0f / det);
}

AffineTransform AffineTransform::concat(const AffineTransform& t) const {
    return {a * t.a + b * t.c,         a * t.b + b * t.d,         c * t.a + d * t.c,
            c * t.b + d * t.d,         tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
}

AffineTransform AffineTransform::rotated(float r) const { return rotation(r).concat(*this); }
AffineTransform AffineTransform::scaled(float sx, float sy) const { return scale(sx, sy).concat(*this); }
AffineTransform AffineTransform::translated(float dx, float dy) const {
    return translation(dx, dy).concat(*this);
}

AffineTransform AffineTransform::inverted() const {
    if (!isInvertible()) return identity();
    float det = a * d - b * c;
    AffineTransform r{d / det, -b / det, -c / det, a / det, 0, 0};
    r.tx = -(tx * r.a + ty * r.c);
    r.ty = -(tx * r.b + ty * r.d);
    return r;
}

Point AffineTransform::apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
Size AffineTransform::apply(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }

Rect AffineTransform::apply(const Rect& r) const {
    if (r.isNull()) return r;
    Rect s = r.standardized();
    Point pts[4] = {apply(Point{s.minX(), s.minY()}), apply(Point{s.maxX(), s.minY()}),
                    apply(Point{s.minX(), s.maxY()}), apply(Point{s.maxX(), s.maxY()})};
    float x0 = pts[0].x, x1 = pts[0].x, y0 = pts[0].y, y1 = pts[0].y;
    for (const Point& p : pts) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

std::ostream& operator<<(std::ostream& os, Point p) { return os << stringFromPoint(p); }
std::ostream& operator<<(std::ostream& os, Size s) { return os << stringFromSize(s); }
std::ostream& operator<<(std::ostream& os, const Rect& r) { return os << stringFromRect(r); }

} // namespace platform
