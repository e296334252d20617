#include "ads/mediation/GADMAdNetworkConnectorNativeAd.h"

#include "ads/mediation/GADMAdManager.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/native/GADAdLoaderConfiguration.h"
#include "ads/native/GADMediatedNativeAd.h"

namespace ruzave {

std::shared_ptr<GADMAdNetworkConnectorNativeAd>
GADMAdNetworkConnectorNativeAd::initWithConfig(const std::shared_ptr<GADMConfig>& config,
                                               const std::shared_ptr<GADMAdNetworkConfig>& network) {
    if (!config || !network) return nullptr;
    return std::shared_ptr<GADMAdNetworkConnectorNativeAd>(new GADMAdNetworkConnectorNativeAd(config, network));
}

void GADMAdNetworkConnectorNativeAd::getAdFromAdapterWithType(const std::shared_ptr<GADAdType>&) {
    auto self = shared_from_this();
    auto own = this->adapter();
    if (!own || !own->respondsToGetNativeAd()) {
        failRequest(adapterClassName() + " adapter doesn't implement protocol for fetching native ad.");
        return;
    }
    std::vector<std::string> adTypes;
    std::vector<std::shared_ptr<GADAdLoaderOptions>> options;
    if (adLoaderConfiguration_) {
        adTypes = adLoaderConfiguration_->adTypes();
        options = adLoaderConfiguration_->options();
    }
    own->getNativeAdWithAdTypes(adTypes, options);
}

void GADMAdNetworkConnectorNativeAd::adapterDidFailAd(GADMAdNetworkAdapter& adapter, const platform::Error& error) {
    if (!isOwnAdapter(adapter)) return;
    auto self = shared_from_this();
    auto keepAdapter = this->adapter();
    if (auto manager = adManager()) manager->adRequestFailedFromConnectorWithError(self, error);
}

void GADMAdNetworkConnectorNativeAd::adapterDidReceiveMediatedNativeAd(
    GADMAdNetworkAdapter& adapter, const std::shared_ptr<GADMediatedNativeAd>& nativeAd) {
    auto self = shared_from_this();
    auto wrapper = GADMediatedNativeAd::initWithMediatedNativeAd(nativeAd);
    // The sender's class: there is no sender check here.
    wrapper->setAdNetworkClassName(adapter.className().empty() ? adapterClassName() : adapter.className());
    if (auto manager = adManager()) manager->adRequestReturnsFromConnectorWithMediatedAd(self, wrapper);
}

} // namespace ruzave
