#pragma once
// The built-in adapter that runs a publisher's custom event: finds the class named in the network's
// credentials ("class_name"), hands it "parameter", "label" and the targeting, and turns its calls into
// connector calls. Registered as "GADMAdapterCustomEvents". Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/GADCustomEventBanner.h"
#include "ads/mediation/GADCustomEventInterstitial.h"
#include "ads/mediation/GADCustomEventNativeAd.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"

namespace ruzave {

class GADMAdapterCustomEvents : public GADMAdNetworkAdapter,
                                public GADCustomEventBannerDelegate,
                                public GADCustomEventInterstitialDelegate,
                                public GADCustomEventNativeAdDelegate,
                                public std::enable_shared_from_this<GADMAdapterCustomEvents> {
  public:
    static constexpr const char* kClassName = "GADMAdapterCustomEvents";
    static constexpr const char* kErrorDomain = "ad_mediation";

    GADMAdapterCustomEvents() = default;
    ~GADMAdapterCustomEvents() override;

    // --- GADMAdNetworkAdapter.
    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) override;
    void getBannerWithSize(const GADAdSize& adSize) override;
    void getInterstitial() override;
    bool respondsToGetNativeAd() const override { return true; }
    void getNativeAdWithAdTypes(const std::vector<std::string>& adTypes,
                                const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) override;
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int32_t) override { return true; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root) override;
    std::optional<std::string> adapterVersion() const override;
    std::optional<std::string> networkExtrasClass() const override;

    // The class name of the custom event, or nullopt after reporting why there is none.
    std::optional<std::string> customEventWithCredentials(bool isInterstitial);
    // Reports a failure text to the connector as an "ad_mediation" error of code 1.
    void callBackToConnectorWithError(const std::string& message, bool isInterstitial);

    std::shared_ptr<GADMAdNetworkConnector> connector() const { return connector_.lock(); }
    std::shared_ptr<GADCustomEventBanner> customEventBanner() const { return customEventBanner_; }
    std::shared_ptr<GADCustomEventInterstitial> customEventInterstitial() const { return customEventInterstitial_; }
    std::shared_ptr<GADCustomEventNativeAd> customEventNativeAd() const { return customEventNativeAd_; }

    // --- GADCustomEventBannerDelegate.
    void customEventBannerDidReceiveAd(GADCustomEventBanner&, const std::shared_ptr<platform::View>& view) override;
    void customEventBannerDidFailAd(GADCustomEventBanner&, const platform::Error& error) override;
    void customEventBannerWasClicked(GADCustomEventBanner&) override;
    void customEventBannerWillPresentModal(GADCustomEventBanner&) override;
    void customEventBannerWillDismissModal(GADCustomEventBanner&) override;
    void customEventBannerDidDismissModal(GADCustomEventBanner&) override;
    void customEventBannerWillLeaveApplication(GADCustomEventBanner&) override;
    void customEventBannerClickDidOccurInAd(GADCustomEventBanner&, const std::shared_ptr<platform::View>&) override;
    std::shared_ptr<platform::ViewController> viewControllerForPresentingModalView() override;

    // --- GADCustomEventInterstitialDelegate.
    void customEventInterstitialDidReceiveAd(GADCustomEventInterstitial&) override;
    void customEventInterstitialDidReceiveAd(GADCustomEventInterstitial&, const std::shared_ptr<void>&) override;
    void customEventInterstitialDidFailAd(GADCustomEventInterstitial&, const platform::Error& error) override;
    void customEventInterstitialWasClicked(GADCustomEventInterstitial&) override;
    void customEventInterstitialWillPresent(GADCustomEventInterstitial&) override;
    void customEventInterstitialWillDismiss(GADCustomEventInterstitial&) override;
    void customEventInterstitialDidDismiss(GADCustomEventInterstitial&) override;
    void customEventInterstitialWillLeaveApplication(GADCustomEventInterstitial&) override;

    // --- GADCustomEventNativeAdDelegate.
    void customEventNativeAdDidReceiveMediatedNativeAd(GADCustomEventNativeAd&,
                                                       const std::shared_ptr<GADMediatedNativeAd>& ad) override;
    void customEventNativeAdDidFailToLoadWithError(GADCustomEventNativeAd&, const platform::Error& error) override;

  private:
    // Runs `call` with the connector and this adapter kept alive, when a connector is still there.
    template <typename F> void toConnector(F&& call);
    std::optional<std::string> credential(const char* key) const;

    std::weak_ptr<GADMAdNetworkConnector> connector_;
    std::shared_ptr<GADCustomEventBanner> customEventBanner_;
    std::shared_ptr<GADCustomEventInterstitial> customEventInterstitial_;
    std::shared_ptr<GADCustomEventNativeAd> customEventNativeAd_;
};

} // namespace ruzave
