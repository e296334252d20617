#pragma once
// The connector of an interstitial network: asks for an interstitial, reports its arrival, and relays
// its presentation events (with the impression ping when it is about to show). Main thread.
#include "ads/mediation/GADMAdNetworkConnector.h"

namespace ruzave {

class GADMAdNetworkConnectorInterstitial : public GADMAdNetworkConnector {
  public:
    static std::shared_ptr<GADMAdNetworkConnectorInterstitial>
    initWithConfig(const std::shared_ptr<GADMConfig>& config, const std::shared_ptr<GADMAdNetworkConfig>& network);
    std::string className() const override { return kInterstitialClassName; }

    void getAdFromAdapterWithType(const std::shared_ptr<GADAdType>& adType) override;
    // A failure of the interstitial the slot already holds, before it shows, fails the slot's ad.
    void adapterDidFailAd(GADMAdNetworkAdapter& adapter, const platform::Error& error) override;
    void adapterDidReceiveInterstitial(GADMAdNetworkAdapter& adapter) override;
    void adapterWillLeaveApplication(GADMAdNetworkAdapter& adapter) override;
    void adapterWillPresentInterstitial(GADMAdNetworkAdapter& adapter) override;
    void adapterWillDismissInterstitial(GADMAdNetworkAdapter& adapter) override;
    // Sends the will-dismiss first when the adapter skipped it.
    void adapterDidDismissInterstitial(GADMAdNetworkAdapter& adapter) override;
    void adapterClickDidOccurInBanner(GADMAdNetworkAdapter&, const std::shared_ptr<platform::View>&) override {}
    void adapterDidFailInterstitial(GADMAdNetworkAdapter& adapter, const platform::Error& error) override {
        adapterDidFailAd(adapter, error);
    }

    bool calledWillDismissInterstitial() const { return calledWillDismissInterstitial_; }

  private:
    using GADMAdNetworkConnector::GADMAdNetworkConnector;
    bool calledWillDismissInterstitial_ = false;
    // Its interstitial was handed to the slot and has not begun to show.
    bool awaitingPresentation_ = false;
};

} // namespace ruzave
