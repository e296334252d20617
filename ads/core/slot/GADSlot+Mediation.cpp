// The slot's mediation additions: a mediation response becomes a configuration and a waterfall.
#include "ads/core/slot/GADSlot.h"

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlotAdResponseDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADLogger.h"
#include "ads/mediation/GADMAdManager.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMConfig.h"

namespace ruzave {
namespace {

void failWith(GADSlot& slot, long code, const std::string& message) {
    slot.didFailToReceiveAdWithError(GADRequestError::errorWithCode(code, message), false);
}

} // namespace

void GADSlot::processMediationAdResponse(const std::shared_ptr<GADAd>& ad) {
    auto self = shared_from_this();
    if (auto responseDelegate = adResponseDelegate()) {
        platform::Error error;
        bool process = responseDelegate->slotShouldProcessMediatedAdResponse(*this, ad, &error);
        if (!error.empty()) {
            didFailToReceiveAdWithError(error, false);
            return;
        }
        if (!process) {
            didReceiveValidAd();
            return;
        }
    }
    if (!ad->mediationDelegate()) {
        failWith(*this, GADRequestErrorInvalidMediationResponse, "Current class not set up for processing mediation.");
        return;
    }
    willProcessMediationResponse();

    std::optional<platform::Value> document;
    if (const auto& html = ad->adHTML()) {
        auto decoded = gad_decodedJSONObjectError(*html);
        if (decoded && decoded->is_object()) document = std::move(decoded);
    }
    platform::Error error;
    auto config = GADMConfig::initWithAppKey(adUnitID_, document, &error);
    if (!config) {
        didFailToReceiveAdWithError(error, false);
        return;
    }

    finishedLoadingAdResponse(ad);
    if (const auto& custom = ad->customAdSizeString()) newAdSize_ = CGSizeFromGADSizeString(*custom);

    std::shared_ptr<GADAdType> type = adType_;
    if (!(adType_ && adType_->isInterstitial()) && !(newAdSize_.width == 0 && newAdSize_.height == 0))
        type = GADAdType::bannerAdTypeForSize(GADAdSizeFromCGSize(newAdSize_));
    if (!config->adType() || !config->adType()->isValid()) {
        GADLogger::sharedInstance()->logPublicMessage(
            "Warning: mediated ad type is unknown or invalid. Resetting type to " +
            (type ? type->description() : std::string("(null)")) + ".");
        config->setAdType(type);
    }
    requestAdWithType(type, config);
    if (!(adType_ && adType_->isInterstitial())) {
        setReloadInterval(config->refreshInterval());
        scheduleAdReloadTimer();
    }
}

void GADSlot::requestAdWithType(const std::shared_ptr<GADAdType>& adType, const std::shared_ptr<GADMConfig>& config) {
    mediationConfiguration_ = config;
    if (hasConsistentMediationConfigForAdType(adType)) {
        mediationManager_->mediateForAdType(adType, config);
    } else {
        scheduleAdReloadTimer();
    }
}

bool GADSlot::hasConsistentMediationConfigForAdType(const std::shared_ptr<GADAdType>& adType) {
    auto configType = mediationConfiguration_ ? mediationConfiguration_->adType() : nullptr;
    if (!adType) {
        failWith(*this, GADRequestErrorInvalidRequest, "Invalid requested GADAdType: (null).");
        return false;
    }
    if (!configType) {
        failWith(*this, GADRequestErrorInvalidMediationResponse, "Invalid mediation configuration GADAdType: (null).");
        return false;
    }
    if (adType->isInterstitial() && configType->isInterstitial()) return true;
    if (adType->isInterstitial()) {
        failWith(*this, GADRequestErrorIncompatibleAdType,
                 "Unable to request an interstitial when mediation configuration was for " +
                     NSStringFromGADAdSize(configType->adSize()) + ".");
        return false;
    }
    if (configType->isInterstitial()) {
        failWith(*this, GADRequestErrorIncompatibleAdType,
                 "Unable to request " + NSStringFromGADAdSize(adType->adSize()) +
                     " when mediation configuration was for an interstitial.");
        return false;
    }
    if (!GADAdSizeIsValid(adType->adSize())) {
        failWith(*this, GADRequestErrorIncompatibleAdType,
                 "Unable to request ad with invalid size: " + NSStringFromGADAdSize(adType->adSize()) + ".");
        return false;
    }
    return true;
}

std::optional<std::string> GADSlot::adNetworkClassName() const {
    if (state_ != GADSlotStateValidAd) return std::nullopt;
    if (!isMediating()) return std::string("GADMAdapterRuzaveDoRurAds");
    auto connector = mediationManager_->receivedConnector();
    if (!connector) return std::nullopt;
    return connector->adapterClassName();
}

void GADSlot::presentMediatedInterstitialFromRootViewController(
    const std::shared_ptr<platform::ViewController>& root) {
    if (isMediating() && adType_ && adType_->isInterstitial())
        mediationManager_->presentInterstitialFromRootViewController(root);
}

std::shared_ptr<platform::ViewController> GADSlot::viewControllerForPresentingModalView() const {
    auto delegate = slotDelegate();
    return delegate ? delegate->rootViewController() : nullptr;
}

} // namespace ruzave
