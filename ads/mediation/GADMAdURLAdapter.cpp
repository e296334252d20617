#include "ads/mediation/GADMAdURLAdapter.h"

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADExtras.h"
#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADRectConversions.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMInnerSlot.h"
#include "ads/mediation/GADRequest+Mediation.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/services/AdvertisingIdentifierManager.h"

namespace ruzave {
namespace {

const platform::ClassRegistrar<GADMAdURLAdapter, GADMAdNetworkAdapter>
    registrar(GADMAdURLAdapter::kClassName, {GADMAdNetworkAdapter::kProtocolName});

// The advertising identifier the user lets apps use: "" without the service or with tracking limited.
std::string advertisingIdentifier() {
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    if (!manager || !manager->isAdvertisingTrackingEnabled()) return "";
    return manager->advertisingIdentifier();
}

} // namespace

GADMAdURLAdapter::~GADMAdURLAdapter() {
    connector_.reset();
    stopBeingDelegate();
}

void GADMAdURLAdapter::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& c) {
    connector_ = c;
    shouldRespondToSDKCore_ = true;
}

std::string GADMAdURLAdapter::requestID() const {
    std::lock_guard lock(mutex_);
    return requestID_;
}

platform::Error GADMAdURLAdapter::errorWithCode(long code, const std::string& message) const {
    platform::Value info = platform::Value::object();
    info[kGADLocalizedDescriptionKey] = message;
    return platform::Error(kErrorDomain, code, message, std::move(info));
}

template <typename Call> void GADMAdURLAdapter::tellConnector(Call&& call) {
    auto self = shared_from_this();
    if (auto c = connector_.lock()) call(*c);
}

void GADMAdURLAdapter::sendFailure(const platform::Error& error) {
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterDidFailAd(*this, error); });
}

void GADMAdURLAdapter::reportAdLoadFailureWithCode(long code, const std::string& message) {
    if (banner_) {
        reportBannerLoadFailureWithCode(code, message);
    } else if (interstitial_) {
        reportInterstitialLoadFailureWithCode(code, message);
    }
}

void GADMAdURLAdapter::reportBannerLoadFailureWithCode(long code, const std::string& message) {
    sendFailure(errorWithCode(code, message));
}

void GADMAdURLAdapter::reportInterstitialLoadFailureWithCode(long code, const std::string& message) {
    sendFailure(errorWithCode(code, message));
}

// ---------------------------------------------------------------- loads

void GADMAdURLAdapter::getBannerWithSize(const GADAdSize& adSize) {
    auto self = shared_from_this();
    if (banner_ || interstitial_) {
        reportBannerLoadFailureWithCode(0, kAlreadyInitializedMessage);
        return;
    }
    auto c = connector_.lock();
    banner_ = GADBannerView::initWithAdSize(adSize);
    if (!banner_) {
        sendFailure(GADRequestError::errorWithCode(GADRequestErrorInvalidRequest));
        return;
    }
    if (c) banner_->setRootViewController(c->viewControllerForPresentingModalView());
    banner_->slot()->setReloadable(false);
    banner_->setDelegate(std::weak_ptr<GADBannerViewDelegate>(self));
    if (c) GADMInnerSlotCopyAutoClickProtection(banner_->slot(), *c);
    loadRequest();
}

void GADMAdURLAdapter::getInterstitial() {
    auto self = shared_from_this();
    if (banner_ || interstitial_) {
        reportInterstitialLoadFailureWithCode(0, kAlreadyInitializedMessage);
        return;
    }
    auto c = connector_.lock();
    interstitial_ = GADInterstitial::initWithAdUnitID(std::nullopt);
    if (!interstitial_) {
        sendFailure(GADRequestError::errorWithCode(GADRequestErrorInternalError));
        return;
    }
    interstitial_->setDelegate(std::weak_ptr<GADInterstitialDelegate>(self));
    if (c) GADMInnerSlotCopyAutoClickProtection(interstitial_->slot(), *c);
    loadRequest();
}

void GADMAdURLAdapter::getNativeAdWithAdTypes(const std::vector<std::string>&,
                                              const std::vector<std::shared_ptr<GADAdLoaderOptions>>&) {
    sendFailure(GADRequestError::errorWithCode(GADRequestErrorInternalError, kNativeNotImplementedMessage));
}

void GADMAdURLAdapter::loadRequest() {
    // The banner's geometry and the connector's targeting are main-thread state: taken here, read later
    // by the core controller on its own queue.
    platform::Value snapshot = buildRequestParameters();
    {
        std::lock_guard lock(mutex_);
        parameterSnapshot_ = std::move(snapshot);
    }
    GADSDKCoreController::sharedInstance()->buildAdURL(shared_from_this());
}

platform::Value GADMAdURLAdapter::buildRequestParameters() {
    auto c = connector_.lock();
    platform::Value credentials = c ? c->credentials() : platform::Value::object();
    if (!credentials.is_object()) credentials = platform::Value::object();

    auto request = requestWithConnector(c, shared_from_this());
    platform::Value parameters = request->parameters();
    if (!parameters.is_object()) parameters = platform::Value::object();
    const std::int32_t type = requestedAdType();
    if (type == 2) {
        parameters["format"] = "interstitial_mb";
    } else if (type == 1) {
        parameters["format"] = "banner";
        parameters["ad_frame"] = GADDictionaryFromRect(banner_->frame());
        parameters["ad_bounds"] = GADDictionaryFromRect(banner_->bounds());
        const GADAdSize size = banner_->adSize();
        if (size.flags & kGADAdSizeFlagFullWidth) {
            parameters["smart_w"] = "full";
            if (size.flags & kGADAdSizeFlagSmart) parameters["smart_h"] = "auto";
        }
    }

    platform::Value result = platform::Value::object();
    result["request_param"] = std::move(parameters);
    result["lat"] = GADDevice::sharedInstance()->limitAdTrackingString();
    result["adid"] = advertisingIdentifier();
    result["data"] = std::move(credentials);
    result["request_id"] = requestID();
    result["ruzave-ad-url-mediation"] = "1";
    return result;
}

std::optional<platform::Value> GADMAdURLAdapter::requestParameters() {
    std::lock_guard lock(mutex_);
    if (!parameterSnapshot_) return std::nullopt;
    platform::Value parameters = *parameterSnapshot_;
    parameters["request_id"] = requestID_;
    return parameters;
}

std::int32_t GADMAdURLAdapter::requestedAdType() {
    if (banner_) return 1;
    if (interstitial_) return 2;
    return 0;
}

void GADMAdURLAdapter::setRequestID(const std::string& requestID) {
    std::lock_guard lock(mutex_);
    requestID_ = requestID;
}

bool GADMAdURLAdapter::isWaitingForRequestID(const std::string& requestID) {
    if (!shouldRespondToSDKCore_ || answered_) return false;
    std::lock_guard lock(mutex_);
    return requestID_ == requestID;
}

void GADMAdURLAdapter::presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root) {
    if (auto interstitial = interstitial_) interstitial->presentFromRootViewController(root);
}

void GADMAdURLAdapter::changeAdSizeTo(const GADAdSize& adSize) {
    if (auto banner = banner_) banner->setAdSize(adSize);
}

void GADMAdURLAdapter::stopBeingDelegate() {
    shouldRespondToSDKCore_ = false;
    if (banner_) {
        banner_->setDelegate({});
        GADMInnerSlotCancelInFlight(banner_->slot());
    }
    if (interstitial_) {
        interstitial_->setDelegate({});
        GADMInnerSlotCancelInFlight(interstitial_->slot());
    }
}

// ---------------------------------------------------------------- answers of the core page

void GADMAdURLAdapter::loadAdURLWithParameters(const platform::Value&) {
    if (!shouldRespondToSDKCore_ || answered_) return;
    answered_ = true;
    reportAdLoadFailureWithCode(1, kCannotLoadAdURLMessage);
}

void GADMAdURLAdapter::invalidJavaScriptRequest() {
    if (!shouldRespondToSDKCore_ || answered_) return;
    answered_ = true;
    reportAdLoadFailureWithCode(4, kNetworkMessage);
}

void GADMAdURLAdapter::failedJavaScriptFile() {
    if (!shouldRespondToSDKCore_ || answered_) return;
    answered_ = true;
    reportAdLoadFailureWithCode(5, kNetworkMessage);
}

void GADMAdURLAdapter::loadAd(const std::shared_ptr<GADAd>& ad, const std::optional<platform::Value>& headers) {
    if (!shouldRespondToSDKCore_ || answered_) return;
    if (!banner_ && !interstitial_) return;
    answered_ = true;
    auto self = shared_from_this();
    if (!ad) {
        reportAdLoadFailureWithCode(3, kEmptyAdMessage);
        return;
    }
    auto request = GADRequest::request();
    auto extras = GADExtras::init();
    platform::Value parameters = platform::Value::object();
    parameters["_adHeaders"] = headers && headers->is_object() ? *headers : platform::Value::object();
    parameters["_useOnce"] = "Y";
    extras->setAdditionalParameters(parameters);
    extras->setAd(ad);
    request->registerAdNetworkExtras(extras);
    if (auto banner = banner_) {
        banner->loadRequest(request);
    } else if (auto interstitial = interstitial_) {
        interstitial->loadRequest(request);
    }
}

// ---------------------------------------------------------------- inner object reports

void GADMAdURLAdapter::adViewDidReceiveAd(GADBannerView& view) {
    if (banner_.get() != &view) return;
    auto banner = banner_;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterDidReceiveAdView(*this, banner); });
}

void GADMAdURLAdapter::adViewDidFailToReceiveAdWithError(GADBannerView& view, const platform::Error& error) {
    if (banner_.get() != &view) return;
    sendFailure(error);
}

void GADMAdURLAdapter::adViewWillPresentScreen(GADBannerView& view) {
    if (banner_.get() != &view) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterWillPresentFullScreenModal(*this); });
}

void GADMAdURLAdapter::adViewWillDismissScreen(GADBannerView& view) {
    if (banner_.get() != &view) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterWillDismissFullScreenModal(*this); });
}

void GADMAdURLAdapter::adViewDidDismissScreen(GADBannerView& view) {
    if (banner_.get() != &view) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterDidDismissFullScreenModal(*this); });
}

void GADMAdURLAdapter::adViewWillLeaveApplication(GADBannerView& view) {
    if (banner_.get() != &view) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterWillLeaveApplication(*this); });
}

void GADMAdURLAdapter::interstitialDidReceiveAd(GADInterstitial& ad) {
    if (interstitial_.get() != &ad) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterDidReceiveInterstitial(*this); });
}

void GADMAdURLAdapter::interstitialDidFailToReceiveAdWithError(GADInterstitial& ad, const platform::Error& error) {
    if (interstitial_.get() != &ad) return;
    sendFailure(error);
}

void GADMAdURLAdapter::interstitialWillPresentScreen(GADInterstitial& ad) {
    if (interstitial_.get() != &ad) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterWillPresentInterstitial(*this); });
}

void GADMAdURLAdapter::interstitialWillDismissScreen(GADInterstitial& ad) {
    if (interstitial_.get() != &ad) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterWillDismissInterstitial(*this); });
}

void GADMAdURLAdapter::interstitialDidDismissScreen(GADInterstitial& ad) {
    if (interstitial_.get() != &ad) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterDidDismissInterstitial(*this); });
}

void GADMAdURLAdapter::interstitialWillLeaveApplication(GADInterstitial& ad) {
    if (interstitial_.get() != &ad) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterWillLeaveApplication(*this); });
}

void GADMAdURLAdapter::interstitialDidReceiveAdClick(GADInterstitial& ad) {
    if (interstitial_.get() != &ad) return;
    tellConnector([&](GADMAdNetworkConnector& c) { c.adapterDidGetAdClick(*this); });
}

} // namespace ruzave
