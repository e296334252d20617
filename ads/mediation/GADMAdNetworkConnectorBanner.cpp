#include "ads/mediation/GADMAdNetworkConnectorBanner.h"

#include <utility>

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/mediation/GADMAdManager.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "platform/foundation/NotificationCenter.h"

namespace ruzave {

std::shared_ptr<GADMAdNetworkConnectorBanner>
GADMAdNetworkConnectorBanner::initWithConfig(const std::shared_ptr<GADMConfig>& config,
                                             const std::shared_ptr<GADMAdNetworkConfig>& network) {
    if (!config || !network) return nullptr;
    return std::shared_ptr<GADMAdNetworkConnectorBanner>(new GADMAdNetworkConnectorBanner(config, network));
}

void GADMAdNetworkConnectorBanner::getAdFromAdapterWithType(const std::shared_ptr<GADAdType>& adType) {
    auto self = shared_from_this();
    if (!adType || adType->isInterstitial()) {
        failRequest("Connector " + className() + " doesn't support interstitial");
        return;
    }
    if (!GADAdSizeIsValid(adType->adSize())) {
        failRequest("Banner adType requested is invalid.");
        return;
    }
    auto own = this->adapter();
    if (!own || !own->respondsToGetBannerWithSize()) {
        failRequest("Connector " + className() + " has no adapter that can request a banner.");
        return;
    }
    own->getBannerWithSize(adType->adSize());
}

void GADMAdNetworkConnectorBanner::adapterDidFailAd(GADMAdNetworkAdapter& adapter, const platform::Error& error) {
    if (!isOwnAdapter(adapter)) return;
    auto self = shared_from_this();
    auto keepAdapter = this->adapter();
    // A failure the manager refuses (a late word) leaves the view shown as it was.
    const bool wasRefresh = std::exchange(didNetworkRefresh_, didNetworkReturn_);
    didNetworkReturn_ = true;
    auto manager = adManager();
    if (!manager || !manager->adRequestFailedFromConnectorWithError(self, error))
        didNetworkRefresh_ = wasRefresh;
}

void GADMAdNetworkConnectorBanner::adapterDidReceiveAdView(GADMAdNetworkAdapter& adapter,
                                                           const std::shared_ptr<platform::View>& view) {
    if (!isOwnAdapter(adapter)) return;
    auto self = shared_from_this();
    auto keepAdapter = this->adapter();
    if (!view) {
        adapterDidFailAd(adapter, GADRequestError::errorWithCode(GADRequestErrorInternalError,
                                                                 std::string("The adapter delivered no view.")));
        return;
    }
    // A new view is a refresh and re-arms the click, set before the manager takes it (the app may hear of
    // it, and its click come, inside the call); a view it refuses leaves the view shown as it was.
    const bool wasRefresh = std::exchange(didNetworkRefresh_, didNetworkReturn_);
    const bool wasClicked = std::exchange(clicked_, false);
    didNetworkReturn_ = true;
    auto manager = adManager();
    if (manager && manager->adRequestReturnsFromConnectorWithView(self, view)) {
        reportImpression();
    } else {
        didNetworkRefresh_ = wasRefresh;
        clicked_ = wasClicked;
    }
}

void GADMAdNetworkConnectorBanner::adapterWillLeaveApplication(GADMAdNetworkAdapter&) {
    relayWillLeaveApplication();
}

void GADMAdNetworkConnectorBanner::adapterWillPresentFullScreenModal(GADMAdNetworkAdapter&) {
    auto self = shared_from_this();
    platform::NotificationCenter::defaultCenter()->post(GADSlot::kAdModalViewControllerWillPresentFullScreen);
    if (auto s = slot()) s->adWillPresentScreen();
    reportClick();
}

void GADMAdNetworkConnectorBanner::adapterWillDismissFullScreenModal(GADMAdNetworkAdapter&) {
    if (auto s = slot()) s->adWillDismissScreen();
}

void GADMAdNetworkConnectorBanner::adapterDidDismissFullScreenModal(GADMAdNetworkAdapter&) {
    auto self = shared_from_this();
    platform::NotificationCenter::defaultCenter()->post(GADSlot::kAdModalViewControllerDidDismissFullScreen);
    if (auto s = slot()) s->adDidDismissScreen();
}

} // namespace ruzave
