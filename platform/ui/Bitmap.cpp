#include "platform/ui/Bitmap.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {
constexpr long long kMaxPixels = 64LL * 1024 * 1024;
}

Bitmap::Bitmap(int width, int height) {
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > kMaxPixels) return;
    width_ = width;
    height_ = height;
    bytes_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
}

std::uint32_t Bitmap::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const std::uint8_t* p = &bytes_[(static_cast<std::size_t>(y) * width_ + x) * 4];
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void Bitmap::setPixel(int x, int y, std::uint32_t v) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t* p = &bytes_[(static_cast<std::size_t>(y) * width_ + x) * 4];
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void Bitmap::blendPixel(int x, int y, std::uint32_t src, float coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    if (!(coverage > 0)) return;
    coverage = std::min(coverage, 1.0f);
    std::uint8_t* p = &bytes_[(static_cast<std::size_t>(y) * width_ + x) * 4];
    float s[4] = {float(src >> 24 & 0xff), float(src >> 16 & 0xff), float(src >> 8 & 0xff), float(src & 0xff)};
    for (float& c : s) c *= coverage;
    float inv = 1.0f - s[3] / 255.0f;
    for (int i = 0; i < 4; ++i) {
        float v = s[i] + p[i] * inv;
        p[i] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
}

void Bitmap::fill(const Color& color) {
    std::uint32_t v = color.premultipliedRGBA8();
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) setPixel(x, y, v);
}

void Bitmap::fillRect(const Rect& rect, const Color& color, const Rect* clip) {
    if (rect.isNull() || !rect.isFinite() || empty()) return;
    Rect r = rect.standardized();
    if (clip != nullptr) {
        r = r.intersection(*clip);
        if (r.isNull() || !r.isFinite()) return;
    }
    // Pixels whose centres are inside: x + 0.5 in [minX, maxX).
    auto first = [](float v) { return static_cast<long>(std::ceil(v - 0.5f)); };
    long x0 = std::max(0L, first(r.minX())), x1 = std::min<long>(width_, first(r.maxX()));
    long y0 = std::max(0L, first(r.minY())), y1 = std::min<long>(height_, first(r.maxY()));
    std::uint32_t v = color.premultipliedRGBA8();
    for (long y = y0; y < y1; ++y)
        for (long x = x0; x < x1; ++x) blendPixel(int(x), int(y), v);
}

std::size_t Bitmap::countPixels(std::uint32_t v) const {
    std::size_t n = 0;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) n += pixel(x, y) == v;
    return n;
}

std::size_t Bitmap::countOpaquePixels() const {
    std::size_t n = 0;
    for (std::size_t i = 3; i < bytes_.size(); i += 4) n += bytes_[i] != 0;
    return n;
}

} // namespace platform
