#include "ads/mediation/GADMAdapterCustomEvents.h"

#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/util/GADLogger.h"
#include "ads/mediation/GADCustomEventExtras.h"
#include "ads/mediation/GADCustomEventRequest.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMAdNetworkConnectorNativeAd.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/foundation/ClassRegistry.h"

namespace ruzave {
namespace {

const platform::ClassRegistrar<GADMAdapterCustomEvents, GADMAdNetworkAdapter>
    registrar(GADMAdapterCustomEvents::kClassName, {GADMAdNetworkAdapter::kProtocolName});

constexpr const char* kNativeRequestSelector = "requestNativeAdWithParameter:request:adTypes:options:rootViewController:";

void logPublicly(const std::string& message) {
    GADLogger::sharedInstance()->logPublicMessage(message);
}

} // namespace

GADMAdapterCustomEvents::~GADMAdapterCustomEvents() {
    stopBeingDelegate();
}

template <typename F> void GADMAdapterCustomEvents::toConnector(F&& call) {
    auto self = shared_from_this();
    if (auto c = connector_.lock()) call(*c);
}

void GADMAdapterCustomEvents::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& c) {
    connector_ = c;
}

std::optional<std::string> GADMAdapterCustomEvents::adapterVersion() const {
    return GADRequest::sdkVersion();
}

std::optional<std::string> GADMAdapterCustomEvents::networkExtrasClass() const {
    return std::string(GADCustomEventExtras::kClassName);
}

std::optional<std::string> GADMAdapterCustomEvents::credential(const char* key) const {
    auto c = connector_.lock();
    if (!c) return std::nullopt;
    platform::Value credentials = c->credentials();
    const std::string* value = credentials.is_object() ? platform::findString(credentials, key) : nullptr;
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

void GADMAdapterCustomEvents::callBackToConnectorWithError(const std::string& message, bool) {
    platform::Error error(kErrorDomain, 1, message);
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidFailAd(*this, error); });
}

std::optional<std::string> GADMAdapterCustomEvents::customEventWithCredentials(bool isInterstitial) {
    auto className = credential("class_name");
    if (!className) {
        callBackToConnectorWithError("No class name for the Custom Event.", isInterstitial);
        return std::nullopt;
    }
    if (!platform::ClassRegistry::hasClass(*className)) {
        std::string message = "Cannot find Custom Event class named " + *className + ".";
        logPublicly(message);
        callBackToConnectorWithError(message, isInterstitial);
        return std::nullopt;
    }
    return className;
}

void GADMAdapterCustomEvents::getBannerWithSize(const GADAdSize& adSize) {
    auto self = shared_from_this();
    auto connector = connector_.lock();
    if (!connector) return;
    auto className = customEventWithCredentials(false);
    if (!className) return;
    auto request = GADCustomEventRequest::initWithConnector(*connector);
    std::shared_ptr<GADCustomEventBanner> banner;
    if (platform::ClassRegistry::conformsTo(*className, GADCustomEventBanner::kProtocolName))
        banner = platform::ClassRegistry::create<GADCustomEventBanner>(*className);
    if (!banner) {
        std::string message = "Custom Event class " + *className + " does not conform to the " +
                              GADCustomEventBanner::kProtocolName + " protocol.";
        logPublicly(message);
        callBackToConnectorWithError(message, false);
        return;
    }
    banner->setDelegate(std::static_pointer_cast<GADCustomEventBannerDelegate>(self));
    banner->requestBannerAd(adSize, credential("parameter"), credential("label"), request);
    customEventBanner_ = banner;
}

void GADMAdapterCustomEvents::getInterstitial() {
    auto self = shared_from_this();
    auto connector = connector_.lock();
    if (!connector) return;
    auto className = customEventWithCredentials(true);
    if (!className) return;
    auto request = GADCustomEventRequest::initWithConnector(*connector);
    std::shared_ptr<GADCustomEventInterstitial> interstitial;
    if (platform::ClassRegistry::conformsTo(*className, GADCustomEventInterstitial::kProtocolName))
        interstitial = platform::ClassRegistry::create<GADCustomEventInterstitial>(*className);
    if (!interstitial) {
        std::string message = "Custom Event class " + *className + " does not conform to the " +
                              GADCustomEventInterstitial::kProtocolName + " protocol.";
        logPublicly(message);
        callBackToConnectorWithError(message, true);
        return;
    }
    interstitial->setDelegate(std::static_pointer_cast<GADCustomEventInterstitialDelegate>(self));
    interstitial->requestInterstitialAdWithParameter(credential("parameter"), credential("label"), request);
    customEventInterstitial_ = interstitial;
}

void GADMAdapterCustomEvents::getNativeAdWithAdTypes(const std::vector<std::string>& adTypes,
                                                     const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) {
    auto self = shared_from_this();
    auto connector = connector_.lock();
    if (!connector) return;
    if (!std::dynamic_pointer_cast<GADMAdNetworkConnectorNativeAd>(connector)) {
        callBackToConnectorWithError(
            "Connector used " + connector->className() + " isn't a valid connector for requesting native ad", false);
        return;
    }
    auto className = customEventWithCredentials(false);
    if (!className) return;
    auto nativeAd = platform::ClassRegistry::create<GADCustomEventNativeAd>(*className);
    if (!nativeAd) {
        std::string message =
            "Custom event class " + *className + " doesn't implement method " + kNativeRequestSelector + ".";
        logPublicly(message);
        callBackToConnectorWithError(message, false);
        return;
    }
    auto request = GADCustomEventRequest::initWithConnector(*connector);
    nativeAd->setDelegate(std::static_pointer_cast<GADCustomEventNativeAdDelegate>(self));
    nativeAd->requestNativeAdWithParameter(credential("parameter"), request, adTypes, options,
                                           connector->viewControllerForPresentingModalView());
    customEventNativeAd_ = nativeAd;
}

void GADMAdapterCustomEvents::stopBeingDelegate() {
    if (customEventBanner_) customEventBanner_->setDelegate({});
    if (customEventInterstitial_) customEventInterstitial_->setDelegate({});
}

void GADMAdapterCustomEvents::presentInterstitialFromRootViewController(
    const std::shared_ptr<platform::ViewController>& root) {
    if (auto interstitial = customEventInterstitial_) interstitial->presentFromRootViewController(root);
}

// ---------------------------------------------------------------- banner events

void GADMAdapterCustomEvents::customEventBannerDidReceiveAd(GADCustomEventBanner&,
                                                            const std::shared_ptr<platform::View>& view) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidReceiveAdView(*this, view); });
}
void GADMAdapterCustomEvents::customEventBannerDidFailAd(GADCustomEventBanner&, const platform::Error& error) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidFailAd(*this, error); });
}
void GADMAdapterCustomEvents::customEventBannerWasClicked(GADCustomEventBanner&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidGetAdClick(*this); });
}
void GADMAdapterCustomEvents::customEventBannerClickDidOccurInAd(GADCustomEventBanner&,
                                                                 const std::shared_ptr<platform::View>&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidGetAdClick(*this); });
}
void GADMAdapterCustomEvents::customEventBannerWillPresentModal(GADCustomEventBanner&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterWillPresentFullScreenModal(*this); });
}
void GADMAdapterCustomEvents::customEventBannerWillDismissModal(GADCustomEventBanner&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterWillDismissFullScreenModal(*this); });
}
void GADMAdapterCustomEvents::customEventBannerDidDismissModal(GADCustomEventBanner&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidDismissFullScreenModal(*this); });
}
void GADMAdapterCustomEvents::customEventBannerWillLeaveApplication(GADCustomEventBanner&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterWillLeaveApplication(*this); });
}
std::shared_ptr<platform::ViewController> GADMAdapterCustomEvents::viewControllerForPresentingModalView() {
    auto c = connector_.lock();
    return c ? c->viewControllerForPresentingModalView() : nullptr;
}

// ---------------------------------------------------------------- interstitial events

void GADMAdapterCustomEvents::customEventInterstitialDidReceiveAd(GADCustomEventInterstitial&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidReceiveInterstitial(*this); });
}
void GADMAdapterCustomEvents::customEventInterstitialDidReceiveAd(GADCustomEventInterstitial&,
                                                                  const std::shared_ptr<void>&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidReceiveInterstitial(*this); });
}
void GADMAdapterCustomEvents::customEventInterstitialDidFailAd(GADCustomEventInterstitial&,
                                                               const platform::Error& error) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidFailAd(*this, error); });
}
void GADMAdapterCustomEvents::customEventInterstitialWasClicked(GADCustomEventInterstitial&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidGetAdClick(*this); });
}
void GADMAdapterCustomEvents::customEventInterstitialWillPresent(GADCustomEventInterstitial&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterWillPresentInterstitial(*this); });
}
void GADMAdapterCustomEvents::customEventInterstitialWillDismiss(GADCustomEventInterstitial&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterWillDismissInterstitial(*this); });
}
void GADMAdapterCustomEvents::customEventInterstitialDidDismiss(GADCustomEventInterstitial&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidDismissInterstitial(*this); });
}
void GADMAdapterCustomEvents::customEventInterstitialWillLeaveApplication(GADCustomEventInterstitial&) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterWillLeaveApplication(*this); });
}

// ---------------------------------------------------------------- native events

void GADMAdapterCustomEvents::customEventNativeAdDidReceiveMediatedNativeAd(
    GADCustomEventNativeAd&, const std::shared_ptr<GADMediatedNativeAd>& ad) {
    toConnector([&](GADMAdNetworkConnector& c) {
        if (dynamic_cast<GADMAdNetworkConnectorNativeAd*>(&c)) {
            c.adapterDidReceiveMediatedNativeAd(*this, ad);
        } else {
            c.adapterDidFailAd(*this, GADRequestError::errorWithCode(
                                          GADRequestErrorInternalError,
                                          std::string("Native ad response received for connector which can't "
                                                      "processed native ad.")));
        }
    });
}
void GADMAdapterCustomEvents::customEventNativeAdDidFailToLoadWithError(GADCustomEventNativeAd&,
                                                                        const platform::Error& error) {
    toConnector([&](GADMAdNetworkConnector& c) { c.adapterDidFailAd(*this, error); });
}

} // namespace ruzave
