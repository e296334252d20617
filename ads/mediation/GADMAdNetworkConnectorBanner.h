#pragma once
// The connector of a banner network: asks for a banner of the slot's size, passes each delivered view
// to the manager (later views are refreshes by the network) and relays the banner's screen events.
// Main thread.
#include "ads/mediation/GADMAdNetworkConnector.h"

namespace ruzave {

class GADMAdNetworkConnectorBanner : public GADMAdNetworkConnector {
  public:
    static std::shared_ptr<GADMAdNetworkConnectorBanner> initWithConfig(const std::shared_ptr<GADMConfig>& config,
                                                                        const std::shared_ptr<GADMAdNetworkConfig>& network);
    std::string className() const override { return kBannerClassName; }

    void getAdFromAdapterWithType(const std::shared_ptr<GADAdType>& adType) override;
    void adapterDidFailAd(GADMAdNetworkAdapter& adapter, const platform::Error& error) override;
    // A missing view counts as a failure (code 11), not as an ad.
    void adapterDidReceiveAdView(GADMAdNetworkAdapter& adapter, const std::shared_ptr<platform::View>& view) override;
    void adapterWillLeaveApplication(GADMAdNetworkAdapter& adapter) override;
    void adapterWillPresentFullScreenModal(GADMAdNetworkAdapter& adapter) override;
    void adapterWillDismissFullScreenModal(GADMAdNetworkAdapter& adapter) override;
    void adapterDidDismissFullScreenModal(GADMAdNetworkAdapter& adapter) override;

    bool didNetworkReturn() const { return didNetworkReturn_; }

  private:
    using GADMAdNetworkConnector::GADMAdNetworkConnector;
    bool didNetworkReturn_ = false;
};

} // namespace ruzave
