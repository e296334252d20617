#pragma once
// The built-in adapter for a waterfall step the SDK-core page fills itself: asks the core controller for
// an ad on its own behalf (adapter-less mediation) and hands the fetched ad, once, to a private banner
// view or interstitial that renders it without a fetch of its own. One adapter serves one ad.
// Registered as "GADMAdURLAdapter". Main thread, except setRequestID() and requestParameters(), which
// the core controller calls on its queue: they touch only the guarded request id and the parameters
// taken on the main thread when the request was made.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/sdkcore/GADSDKCoreControllerDelegate.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "platform/base/Error.h"

namespace ruzave {

class GADBannerView;
class GADInterstitial;

class GADMAdURLAdapter : public GADMAdNetworkAdapter,
                         public GADSDKCoreControllerDelegate,
                         public GADBannerViewDelegate,
                         public GADInterstitialDelegate,
                         public std::enable_shared_from_this<GADMAdURLAdapter> {
  public:
    static constexpr const char* kClassName = "GADMAdURLAdapter";
    static constexpr const char* kErrorDomain = "com.ruzave.ads.mediation.GADMAdURLAdapter";
    static constexpr const char* kAlreadyInitializedMessage = "Adapter already initialized. Please create new instance.";
    static constexpr const char* kCannotLoadAdURLMessage = "Adapter can't load ad URL.";
    static constexpr const char* kEmptyAdMessage = "Ad received is empty.";
    static constexpr const char* kNetworkMessage = "Failed to load ad. Check network connection.";
    static constexpr const char* kNativeNotImplementedMessage = "Request for native ad fetching isn't implemented.";

    GADMAdURLAdapter() = default;
    ~GADMAdURLAdapter() override;

    // --- GADMAdNetworkAdapter.
    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) override;
    void getBannerWithSize(const GADAdSize& adSize) override;
    void getInterstitial() override;
    bool respondsToGetNativeAd() const override { return true; }
    void getNativeAdWithAdTypes(const std::vector<std::string>& adTypes,
                                const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) override;
    // Ends all reporting: the core controller's late answers are ignored and the inner object's
    // load in flight is cancelled.
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int32_t) override { return true; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root) override;
    bool respondsToChangeAdSize() const override { return true; }
    void changeAdSizeTo(const GADAdSize& adSize) override;
    std::optional<std::string> adapterVersion() const override { return std::string("1.0.0"); }
    std::optional<std::string> networkExtrasClass() const override { return std::string("GADExtras"); }

    // --- Own operations.
    // Takes the request parameters on the main thread, then asks the core controller for an ad.
    void loadRequest();
    void reportAdLoadFailureWithCode(long code, const std::string& message);
    void reportBannerLoadFailureWithCode(long code, const std::string& message);
    void reportInterstitialLoadFailureWithCode(long code, const std::string& message);
    // The parameters the core page gets, built from the current state (main thread).
    platform::Value buildRequestParameters();

    std::shared_ptr<GADMAdNetworkConnector> connector() const { return connector_.lock(); }
    std::shared_ptr<GADBannerView> banner() const { return banner_; }
    std::shared_ptr<GADInterstitial> interstitial() const { return interstitial_; }
    std::string requestID() const;
    bool shouldRespondToSDKCore() const { return shouldRespondToSDKCore_; }

    // --- GADSDKCoreControllerDelegate.
    std::optional<platform::Value> requestParameters() override;
    std::int32_t requestedAdType() override;
    void setRequestID(const std::string& requestID) override;
    void loadAdURLWithParameters(const platform::Value& parameters) override;
    void loadAd(const std::shared_ptr<GADAd>& ad, const std::optional<platform::Value>& headers) override;
    void invalidJavaScriptRequest() override;
    void failedJavaScriptFile() override;
    std::int32_t CSIIdentifier() override { return -1; }
    bool isWaitingForRequestID(const std::string& requestID) override;

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

  private:
    platform::Error errorWithCode(long code, const std::string& message) const;
    void sendFailure(const platform::Error& error);
    template <typename Call> void tellConnector(Call&& call);

    std::shared_ptr<GADBannerView> banner_;
    std::shared_ptr<GADInterstitial> interstitial_;
    std::weak_ptr<GADMAdNetworkConnector> connector_;
    bool shouldRespondToSDKCore_ = true;
    // Set when the core controller has answered: one request, one answer.
    bool answered_ = false;

    mutable std::mutex mutex_;
    std::string requestID_;
    std::optional<platform::Value> parameterSnapshot_;
};

} // namespace ruzave
