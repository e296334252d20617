#include "ads/native/GADNativeExpressAdView.h"

#include "ads/core/public/GADBannerView.h"
#include "ads/native/GADNativeExpressAdViewDelegate.h"
#include "platform/ui/LayoutConstraint.h"

namespace ruzave {

std::shared_ptr<GADNativeExpressAdView> GADNativeExpressAdView::initWithFrame(platform::Rect frame,
                                                                              const GADAdSize& adSize) {
    std::shared_ptr<GADNativeExpressAdView> view(new GADNativeExpressAdView(frame));
    view->bannerView_ = GADBannerView::initWithFrame(frame, adSize);
    if (!view->bannerView_) return nullptr;
    view->commonInit();
    return view;
}

std::shared_ptr<GADNativeExpressAdView> GADNativeExpressAdView::initWithFrame(platform::Rect frame) {
    return initWithFrame(frame, GADAdSizeFromCGSize(frame.size));
}

std::shared_ptr<GADNativeExpressAdView> GADNativeExpressAdView::initWithAdSize(const GADAdSize& adSize) {
    return initWithFrame(platform::Rect::zero(), adSize);
}

std::shared_ptr<GADNativeExpressAdView> GADNativeExpressAdView::initWithAdSize(const GADAdSize& adSize,
                                                                               platform::Point origin) {
    auto view = initWithAdSize(adSize);
    if (!view) return nullptr;
    platform::Rect frame = view->frame();
    frame.origin = origin;
    view->setFrame(frame);
    return view;
}

void GADNativeExpressAdView::commonInit() {
    addSubview(bannerView_);
    bannerView_->setDelegate(std::static_pointer_cast<GADNativeExpressAdView>(shared_from_this()));
    bannerView_->setTranslatesAutoresizingMaskIntoConstraints(false);
    std::map<std::string, std::shared_ptr<platform::View>> views = {{"_bannerView", bannerView_}};
    addConstraints(platform::LayoutConstraint::constraintsWithVisualFormat("V:|[_bannerView]|", {}, views));
    addConstraints(platform::LayoutConstraint::constraintsWithVisualFormat("H:|[_bannerView]|", {}, views));
}

void GADNativeExpressAdView::loadRequest(const std::shared_ptr<GADRequest>& request) { bannerView_->loadRequest(request); }
std::string GADNativeExpressAdView::adUnitID() const { return bannerView_->adUnitID(); }
void GADNativeExpressAdView::setAdUnitID(const std::string& adUnitID) { bannerView_->setAdUnitID(adUnitID); }
std::shared_ptr<platform::ViewController> GADNativeExpressAdView::rootViewController() const {
    return bannerView_->rootViewController();
}
void GADNativeExpressAdView::setRootViewController(const std::shared_ptr<platform::ViewController>& controller) {
    bannerView_->setRootViewController(controller);
}
GADAdSize GADNativeExpressAdView::adSize() const { return bannerView_ ? bannerView_->adSize() : GADAdSize{}; }
void GADNativeExpressAdView::setAdSize(const GADAdSize& adSize) { bannerView_->setAdSize(adSize); }
bool GADNativeExpressAdView::isAutoloadEnabled() const { return bannerView_->isAutoloadEnabled(); }
void GADNativeExpressAdView::setAutoloadEnabled(bool enabled) { bannerView_->setAutoloadEnabled(enabled); }
std::optional<std::string> GADNativeExpressAdView::adNetworkClassName() const { return bannerView_->adNetworkClassName(); }

void GADNativeExpressAdView::adViewDidReceiveAd(GADBannerView&) {
    if (auto d = delegate()) d->nativeExpressAdViewDidReceiveAd(*this);
}
void GADNativeExpressAdView::adViewDidFailToReceiveAdWithError(GADBannerView&, const platform::Error& error) {
    if (auto d = delegate()) d->nativeExpressAdViewDidFailToReceiveAdWithError(*this, error);
}
void GADNativeExpressAdView::adViewWillPresentScreen(GADBannerView&) {
    if (auto d = delegate()) d->nativeExpressAdViewWillPresentScreen(*this);
}
void GADNativeExpressAdView::adViewWillDismissScreen(GADBannerView&) {
    if (auto d = delegate()) d->nativeExpressAdViewWillDismissScreen(*this);
}
void GADNativeExpressAdView::adViewDidDismissScreen(GADBannerView&) {
    if (auto d = delegate()) d->nativeExpressAdViewDidDismissScreen(*this);
}
void GADNativeExpressAdView::adViewWillLeaveApplication(GADBannerView&) {
    if (auto d = delegate()) d->nativeExpressAdViewWillLeaveApplication(*this);
}

} // namespace ruzave
