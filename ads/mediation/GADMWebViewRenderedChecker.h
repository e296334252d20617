#pragma once
// One snapshot test of one web view: does it show anything but its background colour? A repeating
// timer runs the test and the delegate hears each answer. Both references are weak. Main thread.
#include <memory>
#include <optional>

#include "platform/ui/Bitmap.h"
#include "platform/ui/Color.h"

namespace platform {
class WebView;
}

namespace ruzave {

class GADMWebViewRenderedCheckerDelegate {
  public:
    virtual ~GADMWebViewRenderedCheckerDelegate() = default;
    virtual void webViewIsRendered(platform::WebView& webView, bool rendered) = 0;
};

class GADMWebViewRenderedChecker {
  public:
    // A web view counts as rendered when less than this share of its pixels is background.
    static constexpr float kBackgroundShareLimit = 0.9f;

    GADMWebViewRenderedChecker(std::weak_ptr<platform::WebView> webView,
                               std::weak_ptr<GADMWebViewRenderedCheckerDelegate> delegate);

    std::shared_ptr<platform::WebView> webView() const { return webView_.lock(); }
    void setWebView(std::weak_ptr<platform::WebView> webView) { webView_ = std::move(webView); }
    std::shared_ptr<GADMWebViewRenderedCheckerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<GADMWebViewRenderedCheckerDelegate> delegate) { delegate_ = std::move(delegate); }

    // Snapshots the web view at its frame size and tells the delegate; nothing without both.
    void checkIsContentRenderedInWebView();

    // The share (0...1) of the image's pixels that have `color`; nullopt for an image without pixels.
    // A monochrome colour counts as grey of that level; a pattern colour as clear.
    static std::optional<float> percentOfImage(const platform::Bitmap& image, const platform::Color& color);

  private:
    std::weak_ptr<platform::WebView> webView_;
    std::weak_ptr<GADMWebViewRenderedCheckerDelegate> delegate_;
};

} // namespace ruzave
