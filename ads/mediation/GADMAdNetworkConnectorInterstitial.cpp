#include "ads/mediation/GADMAdNetworkConnectorInterstitial.h"

#include <utility>

#include "ads/core/public/GADAdType.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/mediation/GADMAdManager.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "platform/foundation/NotificationCenter.h"

namespace ruzave {

std::shared_ptr<GADMAdNetworkConnectorInterstitial>
GADMAdNetworkConnectorInterstitial::initWithConfig(const std::shared_ptr<GADMConfig>& config,
                                                   const std::shared_ptr<GADMAdNetworkConfig>& network) {
    if (!config || !network) return nullptr;
    return std::shared_ptr<GADMAdNetworkConnectorInterstitial>(
        new GADMAdNetworkConnectorInterstitial(config, network));
}

void GADMAdNetworkConnectorInterstitial::getAdFromAdapterWithType(const std::shared_ptr<GADAdType>& adType) {
    auto self = shared_from_this();
    if (!adType || !adType->isInterstitial()) {
        failRequest("Invalid mediation ad requested from interstitial object.");
        return;
    }
    auto own = this->adapter();
    if (!own || !own->respondsToGetInterstitial()) {
        failRequest("Connector " + className() + " has no adapter that can request an interstitial.");
        return;
    }
    own->getInterstitial();
}

void GADMAdNetworkConnectorInterstitial::adapterDidFailAd(GADMAdNetworkAdapter& adapter,
                                                          const platform::Error& error) {
    if (!isOwnAdapter(adapter)) return;
    auto self = shared_from_this();
    auto keepAdapter = this->adapter();
    auto manager = adManager();
    if (awaitingPresentation_ && manager && manager->isShownConnector(self)) {
        // The network took back the interstitial the app was told of: the app hears that it is gone
        // instead of holding an ad that looks ready and never shows.
        awaitingPresentation_ = false;
        if (auto s = slot()) s->didFailToReceiveAdWithError(error, true);
        return;
    }
    if (manager) manager->adRequestFailedFromConnectorWithError(self, error);
}

void GADMAdNetworkConnectorInterstitial::adapterDidReceiveInterstitial(GADMAdNetworkAdapter& adapter) {
    if (!isOwnAdapter(adapter)) return;
    auto self = shared_from_this();
    auto keepAdapter = this->adapter();
    // Set before the manager's answer (the app may present from inside it), and put back when the manager
    // refuses the interstitial: a late one answers no request and re-arms nothing.
    const bool wasClicked = std::exchange(clicked_, false);
    const bool wasAwaiting = std::exchange(awaitingPresentation_, true);
    auto manager = adManager();
    if (!manager || !manager->adRequestReturnsFromConnectorWithInterstitial(self, nullptr)) {
        clicked_ = wasClicked;
        awaitingPresentation_ = wasAwaiting;
    }
}

void GADMAdNetworkConnectorInterstitial::adapterWillLeaveApplication(GADMAdNetworkAdapter&) {
    relayWillLeaveApplication();
}

void GADMAdNetworkConnectorInterstitial::adapterWillPresentInterstitial(GADMAdNetworkAdapter&) {
    auto self = shared_from_this();
    awaitingPresentation_ = false;
    platform::NotificationCenter::defaultCenter()->post(GADSlot::kAdModalViewControllerWillPresentFullScreen);
    if (auto s = slot()) s->adWillPresentScreen();
    reportImpression();
}

void GADMAdNetworkConnectorInterstitial::adapterWillDismissInterstitial(GADMAdNetworkAdapter&) {
    calledWillDismissInterstitial_ = true;
    if (auto s = slot()) s->adWillDismissScreen();
}

void GADMAdNetworkConnectorInterstitial::adapterDidDismissInterstitial(GADMAdNetworkAdapter& adapter) {
    auto self = shared_from_this();
    if (!calledWillDismissInterstitial_) adapterWillDismissInterstitial(adapter);
    platform::NotificationCenter::defaultCenter()->post(GADSlot::kAdModalViewControllerDidDismissFullScreen);
    if (auto s = slot()) s->adDidDismissScreen();
}

} // namespace ruzave
