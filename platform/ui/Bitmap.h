#pragma once
// A raster of RGBA8 pixels, premultiplied, alpha last, rows top to bottom. Pixels read and write as
// 0xRRGGBBAA. A plain value: one thread at a time.
#include <cstdint>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace platform {

class Bitmap {
public:
    Bitmap() = default;
    // Non-positive or huge dimensions give an empty bitmap.
    Bitmap(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    // Row-major RGBA bytes, width * height * 4 of them.
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

    // 0 outside the bitmap.
    std::uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, std::uint32_t premultipliedRGBA);
    // Source-over blend of a premultiplied pixel, its alpha scaled by `coverage` (0...1).
    void blendPixel(int x, int y, std::uint32_t premultipliedRGBA, float coverage = 1.0f);

    // Every pixel set (no blending).
    void fill(const Color& color);
    // Source-over fill of the pixels whose centres lie in `rect` (pixel units), inside `clip` when given.
    void fillRect(const Rect& rect, const Color& color, const Rect* clip = nullptr);

    std::size_t countPixels(std::uint32_t premultipliedRGBA) const;
    std::size_t countPixels(const Color& color) const { return countPixels(color.premultipliedRGBA8()); }
    // Pixels with a non-zero alpha.
    std::size_t countOpaquePixels() const;

    bool operator==(const Bitmap&) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bytes_;
};

} // namespace platform
