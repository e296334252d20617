#include "ads/mediation/GADMAdapterIAd.h"

#include "ads/mediation/GADMAdapterIAdBanner.h"
#include "ads/mediation/GADMAdapterIAdInterstitial.h"
#include "platform/foundation/ClassRegistrar.h"

namespace ruzave {
namespace {

const platform::ClassRegistrar<GADMAdapterIAd, GADMAdNetworkAdapter>
    registrar(GADMAdapterIAd::kClassName, {GADMAdNetworkAdapter::kProtocolName});

} // namespace

GADMAdapterIAd::~GADMAdapterIAd() {
    stopBeingDelegate();
}

void GADMAdapterIAd::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) {
    connector_ = connector;
    auto self = shared_from_this();
    if (GADMAdapterIAdBannerIOS7::currentPlatformIsSupported()) {
        bannerAdapter_ = std::make_shared<GADMAdapterIAdBannerIOS7>();
    } else {
        bannerAdapter_ = std::make_shared<GADMAdapterIAdBannerPreIOS7>();
    }
    bannerAdapter_->initWithGADMAdNetworkConnector(connector, self);
    interstitialAdapter_ = std::make_shared<GADMAdapterIAdInterstitial>();
    interstitialAdapter_->initWithGADMAdNetworkConnector(connector, self);
}

void GADMAdapterIAd::getBannerWithSize(const GADAdSize& adSize) {
    auto self = shared_from_this();
    if (bannerAdapter_) bannerAdapter_->getBannerWithSize(adSize);
}

bool GADMAdapterIAd::isBannerAnimationOK(std::int32_t animationType) {
    return bannerAdapter_ ? bannerAdapter_->isBannerAnimationOK(animationType)
                          : animationType != GADMAdapterIAdBanner::kRefusedAnimationType;
}

void GADMAdapterIAd::changeAdSizeTo(const GADAdSize& adSize) {
    if (bannerAdapter_) bannerAdapter_->changeAdSizeTo(adSize);
}

void GADMAdapterIAd::getInterstitial() {
    auto self = shared_from_this();
    if (interstitialAdapter_) interstitialAdapter_->getInterstitial();
}

void GADMAdapterIAd::presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root) {
    auto self = shared_from_this();
    if (interstitialAdapter_) interstitialAdapter_->presentInterstitialFromRootViewController(root);
}

void GADMAdapterIAd::stopBeingDelegate() {
    if (bannerAdapter_) bannerAdapter_->stopBeingDelegate();
    if (interstitialAdapter_) interstitialAdapter_->stopBeingDelegate();
}

} // namespace ruzave
