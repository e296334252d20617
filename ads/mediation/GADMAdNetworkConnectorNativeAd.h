#pragma once
// The connector of a native network: asks the adapter for the ad loader's native ad types and options,
// and wraps what it delivers for the manager. Main thread.
#include "ads/mediation/GADMAdNetworkConnector.h"

namespace ruzave {

class GADAdLoaderConfiguration;

class GADMAdNetworkConnectorNativeAd : public GADMAdNetworkConnector {
  public:
    static std::shared_ptr<GADMAdNetworkConnectorNativeAd>
    initWithConfig(const std::shared_ptr<GADMConfig>& config, const std::shared_ptr<GADMAdNetworkConfig>& network);
    std::string className() const override { return kNativeAdClassName; }

    void getAdFromAdapterWithType(const std::shared_ptr<GADAdType>& adType) override;
    void adapterDidFailAd(GADMAdNetworkAdapter& adapter, const platform::Error& error) override;
    void adapterDidReceiveMediatedNativeAd(GADMAdNetworkAdapter& adapter,
                                           const std::shared_ptr<GADMediatedNativeAd>& nativeAd) override;

    std::shared_ptr<GADAdLoaderConfiguration> adLoaderConfiguration() const { return adLoaderConfiguration_; }
    void setAdLoaderConfiguration(const std::shared_ptr<GADAdLoaderConfiguration>& c) { adLoaderConfiguration_ = c; }

  private:
    using GADMAdNetworkConnector::GADMAdNetworkConnector;
    std::shared_ptr<GADAdLoaderConfiguration> adLoaderConfiguration_;
};

} // namespace ruzave
