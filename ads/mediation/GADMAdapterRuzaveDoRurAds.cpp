#include "ads/mediation/GADMAdapterRuzaveDoRurAds.h"

#include <algorithm>
#include <iterator>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMAdNetworkConnectorNativeAd.h"
#include "ads/mediation/GADMInnerSlot.h"
#include "ads/mediation/GADMediatedRuzaveNativeAd.h"
#include "ads/mediation/GADRequest+Mediation.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADAdLoaderAdTypes.h"
#include "ads/native/GADNativeAppInstallAd.h"
#include "ads/native/GADNativeContentAd.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"
#include "platform/foundation/ClassRegistrar.h"

namespace ruzave {
namespace {

const platform::ClassRegistrar<GADMAdapterRuzaveDoRurAds, GADMAdNetworkAdapter>
    registrar(GADMAdapterRuzaveDoRurAds::kClassName, {GADMAdNetworkAdapter::kProtocolName});

} // namespace

GADMAdapterRuzaveDoRurAds::~GADMAdapterRuzaveDoRurAds() {
    connector_.reset();
    stopBeingDelegate();
}

void GADMAdapterRuzaveDoRurAds::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& c) {
    connector_ = c;
}

std::optional<std::string> GADMAdapterRuzaveDoRurAds::adapterVersion() const { return GADRequest::sdkVersion(); }

std::shared_ptr<GADRequest> GADMAdapterRuzaveDoRurAds::request() {
    return requestWithConnector(connector_.lock(), shared_from_this());
}

void GADMAdapterRuzaveDoRurAds::failAd(const platform::Error& error) {
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterDidFailAd(*this, error);
}

// ---------------------------------------------------------------- loads

void GADMAdapterRuzaveDoRurAds::getBannerWithSize(const GADAdSize& adSize) {
    auto self = shared_from_this();
    auto c = connector_.lock();
    auto req = request();
    releaseBannerView();
    bannerView_ = GADBannerView::initWithAdSize(adSize);
    if (!bannerView_) {
        failAd(GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, req));
        return;
    }
    bannerView_->setDelegate(std::weak_ptr<GADBannerViewDelegate>(self));
    // Refresh belongs to the mediating banner, never to this one.
    bannerView_->slot()->setReloadable(false);
    if (c) {
        if (auto unit = c->publisherId()) bannerView_->setAdUnitID(*unit);
        bannerView_->setRootViewController(c->viewControllerForPresentingModalView());
        GADMInnerSlotCopyAutoClickProtection(bannerView_->slot(), *c);
    }
    auto banner = bannerView_;
    banner->loadRequest(req);
}

void GADMAdapterRuzaveDoRurAds::getInterstitial() {
    auto self = shared_from_this();
    auto c = connector_.lock();
    auto req = request();
    releaseInterstitial();
    interstitial_ = GADInterstitial::initWithAdUnitID(c ? c->publisherId() : std::nullopt);
    if (!interstitial_) {
        failAd(GADRequestError::errorWithCode(GADRequestErrorInternalError));
        return;
    }
    interstitial_->setDelegate(std::weak_ptr<GADInterstitialDelegate>(self));
    if (c) GADMInnerSlotCopyAutoClickProtection(interstitial_->slot(), *c);
    auto interstitial = interstitial_;
    interstitial->loadRequest(req);
}

void GADMAdapterRuzaveDoRurAds::getNativeAdWithAdTypes(const std::vector<std::string>& adTypes,
                                                       const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) {
    auto self = shared_from_this();
    auto c = connector_.lock();
    if (!c) return;
    if (!std::dynamic_pointer_cast<GADMAdNetworkConnectorNativeAd>(c)) {
        failAd(GADRequestError::errorWithCode(GADRequestErrorInternalError,
                                              "Connector used " + c->className() +
                                                  " isn't a valid connector for requesting native ad"));
        return;
    }
    // Custom templates need a delegate that names its template ids; this adapter has none, and a loader
    // asked for them would refuse it as delegate and never report.
    std::vector<std::string> served;
    std::copy_if(adTypes.begin(), adTypes.end(), std::back_inserter(served),
                 [](const std::string& type) { return type != kGADNativeCustomTemplateAdLoaderType; });
    if (served.empty()) {
        failAd(GADRequestError::errorWithCode(GADRequestErrorInternalError, kNoNativeTypeMessage));
        return;
    }
    auto req = request();
    releaseAdLoader();
    adLoader_ = GADAdLoader::initWithAdUnitID(c->publisherId().value_or(std::string()),
                                              c->viewControllerForPresentingModalView(), served, options);
    if (!adLoader_) {
        failAd(GADRequestError::errorWithCode(GADRequestErrorInternalError));
        return;
    }
    adLoader_->setDelegate(std::static_pointer_cast<GADNativeContentAdLoaderDelegate>(self));
    auto loader = adLoader_;
    loader->loadRequest(req);
}

void GADMAdapterRuzaveDoRurAds::presentInterstitialFromRootViewController(
    const std::shared_ptr<platform::ViewController>& root) {
    if (auto interstitial = interstitial_) interstitial->presentFromRootViewController(root);
}

void GADMAdapterRuzaveDoRurAds::changeAdSizeTo(const GADAdSize& adSize) {
    if (auto banner = bannerView_) banner->setAdSize(adSize);
}

// ---------------------------------------------------------------- stopping

void GADMAdapterRuzaveDoRurAds::releaseBannerView() {
    if (!bannerView_) return;
    bannerView_->setDelegate({});
    GADMInnerSlotCancelInFlight(bannerView_->slot());
    bannerView_.reset();
}

void GADMAdapterRuzaveDoRurAds::releaseInterstitial() {
    if (!interstitial_) return;
    interstitial_->setDelegate({});
    GADMInnerSlotCancelInFlight(interstitial_->slot());
    interstitial_.reset();
}

void GADMAdapterRuzaveDoRurAds::releaseAdLoader() {
    if (!adLoader_) return;
    adLoader_->setDelegate(nullptr);
    GADMInnerSlotCancelInFlight(adLoader_->slot());
    adLoader_.reset();
}

void GADMAdapterRuzaveDoRurAds::stopBeingDelegate() {
    // The inner objects stay as they are (a delivered banner is on screen in the mediating one); they
    // only stop talking to this adapter and stop loading.
    if (bannerView_) {
        bannerView_->setDelegate({});
        GADMInnerSlotCancelInFlight(bannerView_->slot());
    }
    if (interstitial_) {
        interstitial_->setDelegate({});
        GADMInnerSlotCancelInFlight(interstitial_->slot());
    }
    if (adLoader_) {
        adLoader_->setDelegate(nullptr);
        GADMInnerSlotCancelInFlight(adLoader_->slot());
    }
}

// ---------------------------------------------------------------- banner reports

void GADMAdapterRuzaveDoRurAds::adViewDidReceiveAd(GADBannerView& view) {
    if (!isCurrent(view)) return;
    auto self = shared_from_this();
    auto banner = bannerView_;
    if (auto c = connector_.lock()) c->adapterDidReceiveAdView(*this, banner);
}

void GADMAdapterRuzaveDoRurAds::adViewDidFailToReceiveAdWithError(GADBannerView& view, const platform::Error& error) {
    if (!isCurrent(view)) return;
    failAd(error);
}

void GADMAdapterRuzaveDoRurAds::adViewWillPresentScreen(GADBannerView& view) {
    if (!isCurrent(view)) return;
    auto self = shared_from_this();
    auto c = connector_.lock();
    if (!c) return;
    c->adapterDidGetAdClick(*this);
    c->adapterWillPresentFullScreenModal(*this);
}

void GADMAdapterRuzaveDoRurAds::adViewWillDismissScreen(GADBannerView& view) {
    if (!isCurrent(view)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterWillDismissFullScreenModal(*this);
}

void GADMAdapterRuzaveDoRurAds::adViewDidDismissScreen(GADBannerView& view) {
    if (!isCurrent(view)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterDidDismissFullScreenModal(*this);
}

void GADMAdapterRuzaveDoRurAds::adViewWillLeaveApplication(GADBannerView& view) {
    if (!isCurrent(view)) return;
    auto self = shared_from_this();
    auto c = connector_.lock();
    if (!c) return;
    c->adapterDidGetAdClick(*this);
    c->adapterWillLeaveApplication(*this);
}

// ---------------------------------------------------------------- interstitial reports

void GADMAdapterRuzaveDoRurAds::interstitialDidReceiveAd(GADInterstitial& ad) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterDidReceiveInterstitial(*this);
}

void GADMAdapterRuzaveDoRurAds::interstitialDidFailToReceiveAdWithError(GADInterstitial& ad,
                                                                        const platform::Error& error) {
    if (!isCurrent(ad)) return;
    failAd(error);
}

void GADMAdapterRuzaveDoRurAds::interstitialWillPresentScreen(GADInterstitial& ad) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterWillPresentInterstitial(*this);
}

void GADMAdapterRuzaveDoRurAds::interstitialWillDismissScreen(GADInterstitial& ad) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterWillDismissInterstitial(*this);
}

void GADMAdapterRuzaveDoRurAds::interstitialDidDismissScreen(GADInterstitial& ad) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterDidDismissInterstitial(*this);
}

void GADMAdapterRuzaveDoRurAds::interstitialWillLeaveApplication(GADInterstitial& ad) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterWillLeaveApplication(*this);
}

void GADMAdapterRuzaveDoRurAds::interstitialDidReceiveAdClick(GADInterstitial& ad) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterDidGetAdClick(*this);
}

// ---------------------------------------------------------------- native reports

void GADMAdapterRuzaveDoRurAds::adLoaderDidFailToReceiveAdWithError(GADAdLoader& loader, const platform::Error& error) {
    if (!isCurrent(loader)) return;
    failAd(error);
}

void GADMAdapterRuzaveDoRurAds::adLoaderDidReceiveNativeAppInstallAd(GADAdLoader& loader,
                                                                     const std::shared_ptr<GADNativeAppInstallAd>& ad) {
    receivedNativeAd(loader, ad);
}

void GADMAdapterRuzaveDoRurAds::adLoaderDidReceiveNativeContentAd(GADAdLoader& loader,
                                                                  const std::shared_ptr<GADNativeContentAd>& ad) {
    receivedNativeAd(loader, ad);
}

void GADMAdapterRuzaveDoRurAds::receivedNativeAd(GADAdLoader& loader, const std::shared_ptr<GADNativeAd>& ad) {
    if (!isCurrent(loader)) return;
    auto self = shared_from_this();
    auto c = connector_.lock();
    if (!c) return;
    auto carrier = GADMediatedRuzaveNativeAd::initWithNativeAd(ad);
    if (!std::dynamic_pointer_cast<GADMAdNetworkConnectorNativeAd>(c) || !carrier) {
        adLoaderDidFailToReceiveAdWithError(
            loader, GADRequestError::errorWithCode(GADRequestErrorInternalError, kInvalidNativeConnectorMessage));
        return;
    }
    c->adapterDidReceiveMediatedNativeAd(*this, carrier);
}

} // namespace ruzave
