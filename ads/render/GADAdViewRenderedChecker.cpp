#include "ads/render/GADAdViewRenderedChecker.h"

#include <cmath>

#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewRenderedCheckerDelegate.h"
#include "platform/ui/Layer.h"

namespace ruzave {

std::shared_ptr<GADAdViewRenderedChecker> GADAdViewRenderedChecker::initWithAdView(
    const std::weak_ptr<GADAdView>& adView, const std::weak_ptr<GADAdViewRenderedCheckerDelegate>& delegate) {
    std::shared_ptr<GADAdViewRenderedChecker> checker(new GADAdViewRenderedChecker());
    checker->adView_ = adView;
    checker->delegate_ = delegate;
    return checker;
}

void GADAdViewRenderedChecker::checkIsContentRenderedInAdView() {
    auto adView = adView_.lock();
    auto delegate = delegate_.lock();
    if (!adView || !delegate) return;
    platform::Rect frame = adView->frame();
    platform::Bitmap image(static_cast<int>(std::lround(frame.width())), static_cast<int>(std::lround(frame.height())));
    if (!image.empty()) {
        // A banner stays hidden until this check passes, so it is drawn as it will look once shown.
        bool hidden = adView->isHidden();
        adView->setHidden(false);
        adView->layer()->render(image, 1.0f);
        adView->setHidden(hidden);
    }
    // A view without a background colour of its own draws none: its background is transparent.
    auto share = percentOfImage(image, adView->backgroundColor().value_or(platform::Color::clear()));
    if (share && *share < kBackgroundShareLimit) {
        delegate->adViewDidRenderContent(adView);
    } else {
        delegate->adViewDidFailToRenderContent(adView);
    }
}

std::optional<float> GADAdViewRenderedChecker::percentOfImage(const platform::Bitmap& image,
                                                              const platform::Color& color) {
    auto model = color.colorSpaceModel();
    if (model != platform::ColorSpaceModel::Monochrome && model != platform::ColorSpaceModel::RGB) return 0.0f;
    std::size_t total = static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height());
    if (image.empty() || total == 0) return std::nullopt;
    // The pixels are premultiplied bytes, so the reference is made the same before comparing; comparing
    // unpremultiplied fractions would miss every translucent background.
    std::size_t equal = image.countPixels(color.premultipliedRGBA8());
    return static_cast<float>(static_cast<double>(equal) / static_cast<double>(total));
}

} // namespace ruzave
