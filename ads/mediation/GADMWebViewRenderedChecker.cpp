#include "ads/mediation/GADMWebViewRenderedChecker.h"

#include <cmath>
#include <cstdint>

#include "platform/web/WebView.h"

namespace ruzave {
namespace {

// The colour as premultiplied RGBA bytes, the way the snapshot stores its pixels.
std::uint32_t referencePixel(const platform::Color& color) {
    std::vector<float> c = color.components();
    float r = 0, g = 0, b = 0, a = 0;
    if (c.size() == 2) {
        r = g = b = c[0];
        a = c[1];
    } else if (c.size() == 4) {
        r = c[0];
        g = c[1];
        b = c[2];
        a = c[3];
    }
    return platform::Color::rgba(r, g, b, a).premultipliedRGBA8();
}

} // namespace

GADMWebViewRenderedChecker::GADMWebViewRenderedChecker(std::weak_ptr<platform::WebView> webView,
                                                       std::weak_ptr<GADMWebViewRenderedCheckerDelegate> delegate)
    : webView_(std::move(webView)), delegate_(std::move(delegate)) {}

std::optional<float> GADMWebViewRenderedChecker::percentOfImage(const platform::Bitmap& image,
                                                                const platform::Color& color) {
    if (image.empty()) return std::nullopt;
    const std::uint32_t reference = referencePixel(color);
    const std::size_t total = std::size_t(image.width()) * std::size_t(image.height());
    return float(double(image.countPixels(reference)) / double(total));
}

void GADMWebViewRenderedChecker::checkIsContentRenderedInWebView() {
    auto webView = webView_.lock();
    auto delegate = delegate_.lock();
    if (!webView || !delegate) return;
    platform::Bitmap snapshot = webView->renderToBitmap(1.0f);
    std::optional<float> share =
        percentOfImage(snapshot, webView->backgroundColor().value_or(platform::Color::clear()));
    delegate->webViewIsRendered(*webView, share && *share < kBackgroundShareLimit);
}

} // namespace ruzave
