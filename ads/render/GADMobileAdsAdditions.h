#pragma once
// Geometry additions to the platform view used by ad views and visibility reports: render to a
// bitmap, the visible part in window coordinates, supported orientations, fill the superview. Main
// thread.
#include <memory>

#include "platform/ui/Bitmap.h"
#include "platform/ui/Geometry.h"

namespace platform {
class View;
} // namespace platform

namespace ruzave {

// The view's layer drawn at its content scale into a bitmap of its bounds size times that scale.
platform::Bitmap gad_render(const platform::View& view);
// The part of the view that can be seen, in its window's coordinates: zero while the application is
// not active, without a (visible) window, or when a hidden view or an empty clip is on the way up.
// It never reaches outside the view's own bounds.
platform::Rect gad_visibleBounds(const platform::View& view);
// Whether the application supports at least one orientation of `mask` for the view's window.
bool gad_supportsOrientations(const platform::View& view, unsigned mask);
// Pins the view's four edges to its superview's (nothing without a superview).
void gad_fillSuperview(const std::shared_ptr<platform::View>& view);

} // namespace ruzave
