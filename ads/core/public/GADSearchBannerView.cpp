#include "ads/core/public/GADSearchBannerView.h"

#include "ads/core/util/GADLogger.h"

namespace ruzave {

std::shared_ptr<GADSearchBannerView> GADSearchBannerView::initWithFrame(platform::Rect frame, const GADAdSize& adSize) {
    platform::Error error;
    if (!GADAdSizeIsValid(adSize, &error)) {
        GADLogger::sharedInstance()->logPublicMessage("Unable to set adSize property. " + error.description);
        return nullptr;
    }
    std::shared_ptr<GADSearchBannerView> view(new GADSearchBannerView(frame));
    view->commonInitWithAdSize(adSize);
    return view;
}

std::shared_ptr<GADSearchBannerView> GADSearchBannerView::initWithAdSize(const GADAdSize& adSize) {
    return initWithFrame(platform::Rect::zero(), adSize);
}

std::shared_ptr<GADSearchBannerView> GADSearchBannerView::initWithAdSize(const GADAdSize& adSize,
                                                                         platform::Point origin) {
    auto view = initWithAdSize(adSize);
    if (view) view->setFrame(platform::Rect(origin, view->frame().size));
    return view;
}

std::shared_ptr<GADSearchBannerView> GADSearchBannerView::initWithFrame(platform::Rect frame) {
    return initWithFrame(frame, GADAdSizeFromCGSize(frame.size));
}

std::shared_ptr<GADSearchBannerView> GADSearchBannerView::init() {
    return initWithFrame(platform::Rect::zero());
}

} // namespace ruzave
