#pragma once
// Stands between the mediation manager and one adapter for one network attempt: makes the adapter,
// hands it credentials and the publisher's targeting, asks it for an ad, turns its callbacks into
// manager calls and slot events, and sends the network's click and impression pings. The base class
// answers nothing; the banner, interstitial and native-ad connectors are its subclasses. Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace platform {
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAdNetworkExtras;
class GADAdType;
class GADMAdManager;
class GADLocation;
class GADMAdNetworkAdapter;
class GADMAdNetworkConfig;
class GADMConfig;
class GADMediatedNativeAd;
class GADSlot;

class GADMAdNetworkConnector : public std::enable_shared_from_this<GADMAdNetworkConnector> {
  public:
    static constexpr const char* kBannerClassName = "GADMAdNetworkConnectorBanner";
    static constexpr const char* kInterstitialClassName = "GADMAdNetworkConnectorInterstitial";
    static constexpr const char* kNativeAdClassName = "GADMAdNetworkConnectorNativeAd";

    // initWithConfig:networkConfig: of the base class; nullptr without both configurations.
    static std::shared_ptr<GADMAdNetworkConnector> initWithConfig(const std::shared_ptr<GADMConfig>& config,
                                                                  const std::shared_ptr<GADMAdNetworkConfig>& network);
    // A connector of the named connector class; nullptr for a name that is no connector class.
    static std::shared_ptr<GADMAdNetworkConnector>
    initWithClassName(const std::string& className, const std::shared_ptr<GADMConfig>& config,
                      const std::shared_ptr<GADMAdNetworkConfig>& network);
    virtual ~GADMAdNetworkConnector();
    GADMAdNetworkConnector(const GADMAdNetworkConnector&) = delete;
    GADMAdNetworkConnector& operator=(const GADMAdNetworkConnector&) = delete;

    virtual std::string className() const { return "GADMAdNetworkConnector"; }

    // Makes the adapter of the network's adapter class and hands it this connector.
    void setUpAdapter();
    // Each kind asks its adapter; a failed check is reported to the connector itself as a failure.
    virtual void getAdFromAdapterWithType(const std::shared_ptr<GADAdType>& adType);
    void askAdapterToStopBeingDelegate();
    std::string adapterVersion() const;
    std::string adapterClassName() const;
    std::shared_ptr<GADSlot> slot() const;
    void reportClick();
    void reportImpression();
    void pingMediationURLs(const std::optional<platform::Value>& templates, const std::string& defaultURL,
                           const std::optional<std::string>& durations, const std::optional<std::string>& exitCodes);
    // Whether the opener of the slot's ad-view delegate is auto-click protected; adapters that render
    // through ad objects of their own copy it into theirs. False once detached.
    bool isAutoClickProtected() const;
    std::optional<std::string> requestAgent() const;
    std::shared_ptr<GADAdNetworkExtras> networkExtrasForClass(const std::string& className) const;
    // The public log line of an adapter that names no network extras class.
    static void logMissingNetworkExtrasClass(const std::string& adapterClassName);

    // --- Data for the adapter (the slot's request; nothing once detached).
    std::optional<std::string> publisherId() const;
    platform::Value credentials() const { return strippedCredentials_; }
    bool testMode() const;
    std::shared_ptr<GADAdNetworkExtras> networkExtras() const;
    std::shared_ptr<platform::ViewController> viewControllerForPresentingModalView() const;
    std::optional<bool> childDirectedTreatment() const;
    int userGender() const;
    std::optional<double> userBirthday() const;
    std::shared_ptr<GADLocation> userLocation() const;
    bool userHasLocation() const;
    float userLatitude() const;
    float userLongitude() const;
    float userLocationAccuracyInMeters() const;
    std::optional<std::string> userLocationDescription() const;
    std::optional<platform::Value> userKeywords() const;

    // --- Callbacks from the adapter (sender checks where the kind has them).
    virtual void adapterDidFailAd(GADMAdNetworkAdapter& adapter, const platform::Error& error);
    virtual void adapterDidReceiveAdView(GADMAdNetworkAdapter& adapter, const std::shared_ptr<platform::View>& view);
    virtual void adapterDidReceiveInterstitial(GADMAdNetworkAdapter& adapter);
    virtual void adapterDidReceiveMediatedNativeAd(GADMAdNetworkAdapter& adapter,
                                                   const std::shared_ptr<GADMediatedNativeAd>& nativeAd);
    virtual void adapterDidGetAdClick(GADMAdNetworkAdapter& adapter);
    virtual void adapterWillLeaveApplication(GADMAdNetworkAdapter& adapter);
    virtual void adapterWillPresentFullScreenModal(GADMAdNetworkAdapter& adapter);
    virtual void adapterWillDismissFullScreenModal(GADMAdNetworkAdapter& adapter);
    virtual void adapterDidDismissFullScreenModal(GADMAdNetworkAdapter& adapter);
    virtual void adapterWillPresentInterstitial(GADMAdNetworkAdapter& adapter);
    virtual void adapterWillDismissInterstitial(GADMAdNetworkAdapter& adapter);
    virtual void adapterDidDismissInterstitial(GADMAdNetworkAdapter& adapter);
    // The older forms.
    void adapterDidReceiveInterstitial(GADMAdNetworkAdapter& adapter, const std::shared_ptr<void>& interstitial);
    virtual void adapterClickDidOccurInBanner(GADMAdNetworkAdapter& adapter, const std::shared_ptr<platform::View>& view);
    virtual void adapterDidFailInterstitial(GADMAdNetworkAdapter& adapter, const platform::Error& error);

    // --- State.
    bool didNetworkRefresh() const { return didNetworkRefresh_; }
    bool isClicked() const { return clicked_; }
    bool isLocationShared() const { return isLocationShared_; }
    std::shared_ptr<GADMAdManager> adManager() const { return adManager_.lock(); }
    void setAdManager(const std::weak_ptr<GADMAdManager>& manager) { adManager_ = manager; }
    std::shared_ptr<GADMConfig> mediationConfig() const { return mediationConfig_; }
    std::shared_ptr<GADMAdNetworkConfig> networkConfig() const { return networkConfig_; }
    std::shared_ptr<GADMAdNetworkAdapter> adapter() const { return adapter_; }

  protected:
    // Banner and interstitial networks leaving the app: the slot hears it, the ad records it, a click is reported.
    void relayWillLeaveApplication();
    GADMAdNetworkConnector(const std::shared_ptr<GADMConfig>& config,
                           const std::shared_ptr<GADMAdNetworkConfig>& network);
    bool isOwnAdapter(const GADMAdNetworkAdapter& adapter) const { return adapter_ && adapter_.get() == &adapter; }
    // Reports a failed check of getAdFromAdapterWithType: to this connector as code 11.
    void failRequest(const std::string& message);
    // The slot's current request (nullptr when detached).
    std::shared_ptr<class GADRequest> slotRequest() const;

    bool didNetworkRefresh_ = false;
    bool clicked_ = false;

  private:
    bool isLocationShared_ = false;
    platform::Value strippedCredentials_ = platform::Value::object();
    std::weak_ptr<GADMAdManager> adManager_;
    std::shared_ptr<GADMConfig> mediationConfig_;
    std::shared_ptr<GADMAdNetworkConfig> networkConfig_;
    std::shared_ptr<GADMAdNetworkAdapter> adapter_;
};

} // namespace ruzave
