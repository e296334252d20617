#include "platform/ui/Screen.h"

#include <cmath>

#include "platform/ui/Application.h"

namespace platform {

std::shared_ptr<Screen> Screen::mainScreen() {
    // Never destroyed: background work still running while the process exits may ask for it.
    static const auto* screen = new std::shared_ptr<Screen>(std::make_shared<Screen>());
    return *screen;
}

Rect Screen::applicationFrame() const {
    Rect b = bounds();
    if (Application::sharedApplication()->isStatusBarHidden()) return b;
    return Rect(0, kStatusBarHeight, b.size.width, std::max(0.0f, b.size.height - kStatusBarHeight));
}

void Screen::setBoundsSize(Size size) {
    if (!size.isFinite() || size.width <= 0 || size.height <= 0) return;
    size_ = size;
}

void Screen::setScale(float scale) {
    if (std::isfinite(scale) && scale > 0) scale_ = scale;
}

} // namespace platform
