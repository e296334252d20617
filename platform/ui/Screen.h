#pragma once
// The device's screen: bounds in points, scale, the application frame (bounds less a visible status
// bar) and the current mode's size in pixels. Tests may change the main screen. Main thread.
#include <memory>

#include "platform/ui/Geometry.h"

namespace platform {

class Screen {
public:
    // 320 x 568 points at scale 2 until a test changes it.
    static std::shared_ptr<Screen> mainScreen();

    Rect bounds() const { return Rect(0, 0, size_.width, size_.height); }
    float scale() const { return scale_; }
    // The bounds below the 20-point status bar while the application shows it.
    Rect applicationFrame() const;
    // Bounds in pixels.
    Size currentModeSize() const { return {size_.width * scale_, size_.height * scale_}; }

    // Test controls. Non-finite or non-positive values are ignored.
    void setBoundsSize(Size size);
    void setScale(float scale);

    static constexpr float kStatusBarHeight = 20.0f;

    Screen() = default;

private:
    Size size_{320, 568};
    float scale_ = 2.0f;
};

} // namespace platform
