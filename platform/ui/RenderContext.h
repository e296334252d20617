#pragma once
// Where a view or layer paints: the mapping from its local coordinates to bitmap pixels, the opacity
// inherited from its ancestors, and the clips (rounded rectangles in their own spaces) it lies under.
// Drawing tests each pixel centre against the exact shape, so rotations and round corners paint
// truly. A plain value: one thread at a time.
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace platform {

class Bitmap;
class Image;

class RenderContext {
public:
    RenderContext() = default;
    // Local units to pixels (for example AffineTransform::scale(screenScale, screenScale)).
    explicit RenderContext(AffineTransform toPixels) : toPixels_(toPixels) {}

    const AffineTransform& toPixels() const { return toPixels_; }
    float alpha() const { return alpha_; }

    // A context for a child space: `childToThis` maps the child's coordinates into this one's.
    RenderContext concat(const AffineTransform& childToThis) const;
    RenderContext withAlpha(float factor) const;
    // Adds a clip: `rect` in the current local coordinates, with round corners of `cornerRadius`.
    RenderContext clipped(const Rect& rect, float cornerRadius = 0) const;

    // Source-over fill of `rect` (local coordinates) with the context's alpha and clips.
    void fillRect(Bitmap& bitmap, const Rect& rect, const Color& color, float cornerRadius = 0) const;
    // Draws the image scaled to fill `rect` (nearest sample).
    void drawImage(Bitmap& bitmap, const Image& image, const Rect& rect) const;
    // Whether the pixel centre (px + 0.5, py + 0.5) lies within every clip.
    bool insideClips(float pixelX, float pixelY) const;

private:
    struct Clip {
        AffineTransform fromPixels;
        Rect rect;
        float radius = 0;
    };
    template <typename Shade> void paint(Bitmap& bitmap, const Rect& rect, float radius, Shade shade) const;

    AffineTransform toPixels_;
    float alpha_ = 1.0f;
    std::vector<Clip> clips_;
};

} // namespace platform
