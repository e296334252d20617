#include "ads/native/GADNativeContentAdView.h"

#include "ads/native/GADNativeContentAd.h"
#include "ads/native/GADNativeAdViewPolicy.h"

namespace ruzave {

std::shared_ptr<GADNativeContentAdView> GADNativeContentAdView::initWithFrame(platform::Rect frame) {
    std::shared_ptr<GADNativeContentAdView> view(new GADNativeContentAdView(frame));
    view->nativeAdViewPolicy_ =
        GADNativeAdViewPolicy::initWithAdView(view, kAttributionIconAssetName, kAttributionTextAssetName);
    return view;
}

void GADNativeContentAdView::setHeadlineView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("1001", view, headlineView_);
}
void GADNativeContentAdView::setBodyView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("1002", view, bodyView_);
}
void GADNativeContentAdView::setCallToActionView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("1003", view, callToActionView_);
}
void GADNativeContentAdView::setAdvertiserView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("1004", view, advertiserView_);
}
void GADNativeContentAdView::setImageView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("1005", view, imageView_);
}
void GADNativeContentAdView::setLogoView(const std::shared_ptr<platform::View>& view) {
    nativeAdViewPolicy_->replaceAssetWithName("1006", view, logoView_);
}

std::shared_ptr<GADNativeContentAd> GADNativeContentAdView::nativeContentAd() const {
    return std::static_pointer_cast<GADNativeContentAd>(nativeAdViewPolicy_->nativeAd());
}

void GADNativeContentAdView::setNativeContentAd(const std::shared_ptr<GADNativeContentAd>& ad) {
    nativeAdViewPolicy_->setNativeAd(ad);
    nativeAdViewPolicy_->setDelegate(ad);
}

void GADNativeContentAdView::layoutSubviews() {
    nativeAdViewPolicy_->adViewDidLayoutSubviews();
    platform::View::layoutSubviews();
}

void GADNativeContentAdView::didMoveToSuperview() {
    platform::View::didMoveToSuperview();
    nativeAdViewPolicy_->adViewDidMoveToSuperview();
}

} // namespace ruzave
