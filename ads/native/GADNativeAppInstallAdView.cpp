#include "ads/native/GADNativeAppInstallAdView.h"

#include "ads/native/GADNativeAppInstallAd.h"
#include "ads/native/GADNativeAdViewPolicy.h"

namespace ruzave {

std::shared_ptr<GADNativeAppInstallAdView> GADNativeAppInstallAdView::initWithFrame(platform::Rect frame) {
    std::shared_ptr<GADNativeAppInstallAdView> view(new GADNativeAppInstallAdView(frame));
    view->nativeAdViewPolicy_ =
        GADNativeAdViewPolicy::initWithAdView(view, kAttributionIconAssetName, kAttributionTextAssetName);
    return view;
}

void GADNativeAppInstallAdView::setHeadlineView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2001", view, headlineView_);
}
void GADNativeAppInstallAdView::setCallToActionView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2002", view, callToActionView_);
}
void GADNativeAppInstallAdView::setIconView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2003", view, iconView_);
}
void GADNativeAppInstallAdView::setBodyView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2004", view, bodyView_);
}
void GADNativeAppInstallAdView::setStoreView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2005", view, storeView_);
}
void GADNativeAppInstallAdView::setPriceView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2006", view, priceView_);
}
void GADNativeAppInstallAdView::setImageView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2007", view, imageView_);
}
void GADNativeAppInstallAdView::setStarRatingView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("2008", view, starRatingView_);
}

std::shared_ptr<GADNativeAppInstallAd> GADNativeAppInstallAdView::nativeAppInstallAd() const {
    return std::static_pointer_cast<GADNativeAppInstallAd>(nativeAdViewPolicy_->nativeAd());
}

void GADNativeAppInstallAdView::setNativeAppInstallAd(const std::shared_ptr<GADNativeAppInstallAd>& ad) {
    nativeAdViewPolicy_->setNativeAd(ad);
    nativeAdViewPolicy_->setDelegate(ad);
}

void GADNativeAppInstallAdView::layoutSubviews() {
    nativeAdViewPolicy_->adViewDidLayoutSubviews();
    platform::View::layoutSubviews();
}

void GADNativeAppInstallAdView::didMoveToSuperview() {
    platform::View::didMoveToSuperview();
    nativeAdViewPolicy_->adViewDidMoveToSuperview();
}

} // namespace ruzave
