#include "ads/render/GADExpandedAdAppViewController.h"

#include <algorithm>
#include <cmath>

#include "ads/render/GADAdView.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Layer.h"

namespace ruzave {

std::shared_ptr<GADExpandedAdAppViewController>
GADExpandedAdAppViewController::initWithAdView(const std::shared_ptr<GADAdView>& adView) {
    if (!adView) return nullptr;
    std::shared_ptr<GADExpandedAdAppViewController> controller(new GADExpandedAdAppViewController());
    controller->setUp(adView);
    return controller;
}

GADExpandedAdAppViewController::~GADExpandedAdAppViewController() {
    if (renderedBanner_) renderedBanner_->removeFromSuperview();
}

void GADExpandedAdAppViewController::configureView() {
    auto adView = this->adView();
    adView->saveState();
    adView->setViewController(std::static_pointer_cast<platform::ViewController>(self()));
    renderedBanner_ = platform::ImageView::create(adView->frame());
    // The stand-in picture is drawn at one pixel per point: it only holds the banner's place while the
    // ad is expanded, and a full-scale render would slow the expand itself several times over.
    platform::Rect b = adView->bounds();
    platform::Bitmap picture(static_cast<int>(std::lround(b.width())), static_cast<int>(std::lround(b.height())));
    if (!picture.empty()) adView->layer()->render(picture, 1.0f);
    renderedBanner_->setImage(platform::Image::imageWithBitmap(std::move(picture)));
    if (auto superview = adView->superview()) {
        // The picture takes the banner's own place among its siblings.
        const auto& siblings = superview->subviews();
        auto at = std::find(siblings.begin(), siblings.end(), std::static_pointer_cast<platform::View>(adView));
        superview->insertSubview(renderedBanner_, static_cast<std::size_t>(at - siblings.begin()));
    }
    adView->removeFromSuperview();
    adView->reset();
    GADAdAppViewController::configureView();
}

void GADExpandedAdAppViewController::willBeginDismissal() {
    auto adView = this->adView();
    if (adView && adView->viewController().get() == this) adView->restoreState();
}

} // namespace ruzave
