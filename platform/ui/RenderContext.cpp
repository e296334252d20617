#include "platform/ui/RenderContext.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"

namespace platform {

namespace {

// Whether `p` lies in `r` with round corners of `radius` (half-open on the max edges).
bool insideRounded(const Rect& r, float radius, Point p) {
    if (!r.contains(p)) return false;
    if (radius <= 0) return true;
    float rad = std::min({radius, r.width() / 2, r.height() / 2});
    float cx = std::clamp(p.x, r.minX() + rad, r.maxX() - rad);
    float cy = std::clamp(p.y, r.minY() + rad, r.maxY() - rad);
    float dx = p.x - cx, dy = p.y - cy;
    return dx * dx + dy * dy <= rad * rad;
}

} // namespace

RenderContext RenderContext::concat(const AffineTransform& childToThis) const {
    RenderContext c = *this;
    c.toPixels_ = childToThis.concat(toPixels_);
    return c;
}

RenderContext RenderContext::withAlpha(float factor) const {
    RenderContext c = *this;
    c.alpha_ *= std::isfinite(factor) ? std::clamp(factor, 0.0f, 1.0f) : 0.0f;
    return c;
}

RenderContext RenderContext::clipped(const Rect& rect, float cornerRadius) const {
    RenderContext c = *this;
    c.clips_.push_back({toPixels_.inverted(), rect.sanitized(), std::isfinite(cornerRadius) ? cornerRadius : 0});
    return c;
}

bool RenderContext::insideClips(float px, float py) const {
    Point p{px + 0.5f, py + 0.5f};
    for (const Clip& clip : clips_) {
        if (!insideRounded(clip.rect, clip.radius, clip.fromPixels.apply(p))) return false;
    }
    return true;
}

template <typename Shade>
void RenderContext::paint(Bitmap& bitmap, const Rect& rect, float radius, Shade shade) const {
    if (bitmap.empty() || alpha_ <= 0 || rect.isNull() || !rect.isFinite() || rect.isEmpty()) return;
    if (!toPixels_.isInvertible()) return; // a degenerate mapping paints nothing
    Rect local = rect.standardized();
    Rect box = toPixels_.apply(local).intersection(Rect(0, 0, float(bitmap.width()), float(bitmap.height())));
    if (box.isNull() || box.isEmpty()) return;
    AffineTransform fromPixels = toPixels_.inverted();
    int x0 = std::max(0, int(std::floor(box.minX()))), x1 = std::min(bitmap.width(), int(std::ceil(box.maxX())));
    int y0 = std::max(0, int(std::floor(box.minY()))), y1 = std::min(bitmap.height(), int(std::ceil(box.maxY())));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            Point p = fromPixels.apply(Point{x + 0.5f, y + 0.5f});
            if (!insideRounded(local, radius, p) || !insideClips(float(x), float(y))) continue;
            shade(x, y, p, local);
        }
    }
}

void RenderContext::fillRect(Bitmap& bitmap, const Rect& rect, const Color& color, float cornerRadius) const {
    std::uint32_t v = color.premultipliedRGBA8();
    paint(bitmap, rect, cornerRadius, [&](int x, int y, Point, const Rect&) { bitmap.blendPixel(x, y, v, alpha_); });
}

void RenderContext::drawImage(Bitmap& bitmap, const Image& image, const Rect& rect) const {
    const Bitmap& src = image.bitmap();
    if (src.empty()) return;
    paint(bitmap, rect, 0, [&](int x, int y, Point p, const Rect& r) {
        Point q = image.sourcePoint((p.x - r.minX()) / r.width(), (p.y - r.minY()) / r.height());
        int sx = std::clamp(int(q.x * float(src.width())), 0, src.width() - 1);
        int sy = std::clamp(int(q.y * float(src.height())), 0, src.height() - 1);
        bitmap.blendPixel(x, y, src.pixel(sx, sy), alpha_);
    });
}

} // namespace platform
