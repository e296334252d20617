#pragma once
// An immutable decoded image (PNG, JPEG or GIF; the first frame of a GIF): pixel size, scale, orientation
// (a JPEG's from its EXIF tag), and its pixels as stored, as a premultiplied bitmap. Created on any
// thread; read-only afterwards, so any thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ui/Bitmap.h"
#include "platform/ui/Geometry.h"

namespace platform {

enum class ImageOrientation { Up = 0, Down = 1, Left = 2, Right = 3, UpMirrored = 4, DownMirrored = 5,
                              LeftMirrored = 6, RightMirrored = 7 };

class Image {
public:
    // nullptr for bytes that are not a decodable image. Scale: points to pixels (non-positive: 1).
    static std::shared_ptr<Image> imageWithData(const std::vector<std::uint8_t>& data, float scale = 1.0f);
    static std::shared_ptr<Image> imageWithData(const std::uint8_t* data, std::size_t length, float scale = 1.0f);
    // Wraps pixels; nullptr for an empty bitmap.
    static std::shared_ptr<Image> imageWithBitmap(Bitmap bitmap, float scale = 1.0f,
                                                  ImageOrientation orientation = ImageOrientation::Up);

    // Size in points (pixels / scale), as shown: a sideways orientation swaps width and height.
    Size size() const;
    float scale() const { return scale_; }
    ImageOrientation imageOrientation() const { return orientation_; }
    int pixelWidth() const { return bitmap_.width(); }
    int pixelHeight() const { return bitmap_.height(); }
    const Bitmap& bitmap() const { return bitmap_; }

    // Draws scaled into `rect` (pixel units of the target), turned upright, source-over, nearest sample.
    void drawInRect(Bitmap& target, const Rect& rect) const;
    // Where a point of the upright image, in 0...1 of its width and height, lies in the stored pixels
    // (again in 0...1).
    Point sourcePoint(float u, float v) const;

    Image(Bitmap bitmap, float scale, ImageOrientation orientation);

private:
    Bitmap bitmap_;
    float scale_ = 1.0f;
    ImageOrientation orientation_ = ImageOrientation::Up;
};

} // namespace platform
