#pragma once
// The few button images the SDK draws itself (the browser's back and forward arrows, the close control
// of full-screen ads) kept in the program as base64 PNG text, one per screen density, plus a fully
// transparent image. Each is decoded once per process, on first use, and kept. Main thread.
#include <memory>
#include <string>

namespace platform {
class Image;
} // namespace platform

namespace ruzave {

class GADIntrinsicImages {
  public:
    static std::shared_ptr<GADIntrinsicImages> sharedInstance();

    // 27 by 27 points on every screen.
    std::shared_ptr<platform::Image> browserBackButton();
    std::shared_ptr<platform::Image> browserForwardButton();
    // 25 by 25 points on every screen.
    std::shared_ptr<platform::Image> closeButton();
    // 10 by 10 points of nothing, at the screen's scale.
    std::shared_ptr<platform::Image> transparentImage();

    // The single-density text on a screen of density exactly 1, the double-density one elsewhere.
    static std::string chooseImage(const std::string& single, const std::string& doubleDensity);
    // An image from RFC 4648 base64 text, at the main screen's density; nullptr for text that is not
    // base64 of a picture.
    static std::shared_ptr<platform::Image> imageWithBase64EncodedString(const std::string& text);
    // The same at the given scale.
    static std::shared_ptr<platform::Image> imageWithBase64EncodedString(const std::string& text,
                                                                         float scale);
    // The main screen's density as the SDK reads it (the screen's own before the device facts are cached).
    static float mainScreenDensity();

  private:
    GADIntrinsicImages() = default;
    std::shared_ptr<platform::Image> decodeOnce(std::shared_ptr<platform::Image>& slot, const char* single,
                                                const char* doubleDensity);

    std::shared_ptr<platform::Image> browserBackButton_;
    std::shared_ptr<platform::Image> browserForwardButton_;
    std::shared_ptr<platform::Image> closeButton_;
    std::shared_ptr<platform::Image> transparentImage_;
};

} // namespace ruzave
