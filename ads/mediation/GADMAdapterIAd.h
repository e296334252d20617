#pragma once
// The mediation adapter of the platform's own ad network: a thin front that picks the banner
// implementation suiting the running OS, makes the interstitial implementation, and passes each adapter
// operation on. The connector hears the front as the adapter. Registered as "GADMAdapterIAd". Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/GADMAdNetworkAdapter.h"

namespace ruzave {

class GADMAdapterIAdBanner;
class GADMAdapterIAdInterstitial;

class GADMAdapterIAd : public GADMAdNetworkAdapter, public std::enable_shared_from_this<GADMAdapterIAd> {
  public:
    static constexpr const char* kClassName = "GADMAdapterIAd";

    GADMAdapterIAd() = default;
    ~GADMAdapterIAd() override;

    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) override;
    void getBannerWithSize(const GADAdSize& adSize) override;
    void getInterstitial() override;
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int32_t animationType) override;
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root) override;
    bool respondsToChangeAdSize() const override { return true; }
    void changeAdSizeTo(const GADAdSize& adSize) override;
    std::optional<std::string> adapterVersion() const override { return std::string("1.0.0"); }
    std::optional<std::string> networkExtrasClass() const override { return std::nullopt; }

    std::shared_ptr<GADMAdapterIAdBanner> bannerAdapter() const { return bannerAdapter_; }
    std::shared_ptr<GADMAdapterIAdInterstitial> interstitialAdapter() const { return interstitialAdapter_; }
    std::shared_ptr<GADMAdNetworkConnector> connector() const { return connector_.lock(); }

  private:
    std::shared_ptr<GADMAdapterIAdBanner> bannerAdapter_;
    std::shared_ptr<GADMAdapterIAdInterstitial> interstitialAdapter_;
    std::weak_ptr<GADMAdNetworkConnector> connector_;
};

} // namespace ruzave
