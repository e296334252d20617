#pragma once
// The built-in adapter that serves an ad of the SDK's own network as one step of a waterfall: it runs a
// private banner view, interstitial or ad loader of this SDK and turns their delegate calls into
// connector calls. Custom-template native ads are not served (the adapter cannot name templates).
// Registered as "GADMAdapterRuzaveDoRurAds". Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/native/GADAdLoaderDelegate.h"

namespace ruzave {

class GADAdLoader;
class GADBannerView;
class GADInterstitial;
class GADNativeAd;
class GADRequest;

class GADMAdapterRuzaveDoRurAds : public GADMAdNetworkAdapter,
                                  public GADBannerViewDelegate,
                                  public GADInterstitialDelegate,
                                  public GADNativeAppInstallAdLoaderDelegate,
                                  public GADNativeContentAdLoaderDelegate,
                                  public std::enable_shared_from_this<GADMAdapterRuzaveDoRurAds> {
  public:
    static constexpr const char* kClassName = "GADMAdapterRuzaveDoRurAds";
    static constexpr const char* kNoNativeTypeMessage = "No native ad type the own network can serve was requested.";
    static constexpr const char* kInvalidNativeConnectorMessage = "Invalid connector used for handling native ad.";

    GADMAdapterRuzaveDoRurAds() = default;
    ~GADMAdapterRuzaveDoRurAds() override;

    // --- GADMAdNetworkAdapter.
    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) override;
    void getBannerWithSize(const GADAdSize& adSize) override;
    void getInterstitial() override;
    bool respondsToGetNativeAd() const override { return true; }
    void getNativeAdWithAdTypes(const std::vector<std::string>& adTypes,
                                const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) override;
    // Ends every report of the inner objects and cancels what they still load.
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int32_t) override { return true; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root) override;
    bool respondsToChangeAdSize() const override { return true; }
    void changeAdSizeTo(const GADAdSize& adSize) override;
    std::optional<std::string> adapterVersion() const override;
    std::optional<std::string> networkExtrasClass() const override { return std::string("GADExtras"); }

    // A fresh request for the inner objects, from the connector's targeting, extras and adapter list.
    std::shared_ptr<GADRequest> request();

    std::shared_ptr<GADMAdNetworkConnector> connector() const { return connector_.lock(); }
    std::shared_ptr<GADBannerView> bannerView() const { return bannerView_; }
    std::shared_ptr<GADInterstitial> interstitial() const { return interstitial_; }
    std::shared_ptr<GADAdLoader> adLoader() const { return adLoader_; }

    // --- GADBannerViewDelegate.
    void adViewDidReceiveAd(GADBannerView& view) override;
    void adViewDidFailToReceiveAdWithError(GADBannerView& view, const platform::Error& error) override;
    void adViewWillPresentScreen(GADBannerView& view) override;
    void adViewWillDismissScreen(GADBannerView& view) override;
    void adViewDidDismissScreen(GADBannerView& view) override;
    void adViewWillLeaveApplication(GADBannerView& view) override;

    // --- GADInterstitialDelegate.
    void interstitialDidReceiveAd(GADInterstitial& ad) override;
    void interstitialDidFailToReceiveAdWithError(GADInterstitial& ad, const platform::Error& error) override;
    void interstitialWillPresentScreen(GADInterstitial& ad) override;
    void interstitialWillDismissScreen(GADInterstitial& ad) override;
    void interstitialDidDismissScreen(GADInterstitial& ad) override;
    void interstitialWillLeaveApplication(GADInterstitial& ad) override;
    void interstitialDidReceiveAdClick(GADInterstitial& ad) override;

    // --- Ad loader delegates.
    void adLoaderDidFailToReceiveAdWithError(GADAdLoader& loader, const platform::Error& error) override;
    void adLoaderDidReceiveNativeAppInstallAd(GADAdLoader& loader,
                                              const std::shared_ptr<GADNativeAppInstallAd>& ad) override;
    void adLoaderDidReceiveNativeContentAd(GADAdLoader& loader, const std::shared_ptr<GADNativeContentAd>& ad) override;

  private:
    // Reports only calls of the current inner object: a replaced one may still be winding down.
    bool isCurrent(const GADBannerView& view) const { return bannerView_ && bannerView_.get() == &view; }
    bool isCurrent(const GADInterstitial& ad) const { return interstitial_ && interstitial_.get() == &ad; }
    bool isCurrent(const GADAdLoader& loader) const { return adLoader_ && adLoader_.get() == &loader; }
    void receivedNativeAd(GADAdLoader& loader, const std::shared_ptr<GADNativeAd>& ad);
    void failAd(const platform::Error& error);
    // Drops the inner objects' links to this adapter and cancels their loads in flight.
    void releaseBannerView();
    void releaseInterstitial();
    void releaseAdLoader();

    std::shared_ptr<GADBannerView> bannerView_;
    std::shared_ptr<GADInterstitial> interstitial_;
    std::shared_ptr<GADAdLoader> adLoader_;
    std::weak_ptr<GADMAdNetworkConnector> connector_;
};

} // namespace ruzave
