#pragma once
// The base of every native ad: the ad's JSON object, its tracking URLs and click actions, the slot whose
// hidden web view runs the native support page, the delegate of screens the ad opens, and the
// bookkeeping of asset loading. Clicks go to the support page's script; impressions are pinged from the
// ad's own list. Main thread (asset completions, slot events); mediated notifications arrive on the
// posting thread.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAdLoaderOptions;
class GADMediatedNativeAd;
class GADNativeAdDelegate;
class GADSlot;

class GADNativeAd : public GADSlotAdEventDelegate, public std::enable_shared_from_this<GADNativeAd> {
  public:
    using Options = std::vector<std::shared_ptr<GADAdLoaderOptions>>;
    using AssetLoadCompletionHandler = std::function<void(const std::optional<platform::Error>&)>;

    static constexpr const char* kSDKVersion = "7.5.2";
    static constexpr const char* kOwnAdapterClassName = "GADMAdapterRuzaveDoRurAds";
    static constexpr const char* kSupportURLDefaultsKey = "/ruzave/ads/native_ad_support_url";
    static constexpr const char* kWillPresentScreenNotification = "GADMediatedNativeAdWillPresentScreenNotification";
    static constexpr const char* kWillDismissScreenNotification = "GADMediatedNativeAdWillDismissScreenNotification";
    static constexpr const char* kDidDismissScreenNotification = "GADMediatedNativeAdDidDismissScreenNotification";
    static constexpr const char* kWillLeaveApplicationNotification =
        "GADMediatedNativeAdWillLeaveApplicationNotification";
    // Code of the private-domain error that ends loading when a required asset failed.
    static constexpr long kRequiredAssetFailedCode = 11;

    ~GADNativeAd() override;
    GADNativeAd(const GADNativeAd&) = delete;
    GADNativeAd& operator=(const GADNativeAd&) = delete;

    // --- Class methods.
    // A copy of the first element of "ads" when it is an object; nullopt otherwise.
    static std::optional<platform::Value> firstAdObjectInAdConfigurationDictionary(const platform::Value& configuration);
    // The class name for the first ad object's "type" and "template_id"; nullopt when none fits.
    static std::optional<std::string> classFromAdConfigurationDictionary(const platform::Value& configuration);
    static std::optional<std::string> classFromMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper);
    // The native support page: the pushed user default when it is a URL, else the built-in one.
    static platform::URL supportHTMLURL();

    // --- Subclass hooks.
    virtual std::string className() const { return "GADNativeAd"; }
    virtual bool hasValidConfigurationForRequestParameters(const platform::Value&) const { return true; }
    virtual std::string clickActionTemplateID() const { return ""; }
    // The asset names without which the ad cannot be shown; nullopt in the base class.
    virtual std::optional<std::set<std::string>> requiredAssets() const { return std::nullopt; }
    virtual void loadAssetsWithCompletionHandler(AssetLoadCompletionHandler handler);
    // performClickOnView:assetName:environment:
    virtual void performClickOnView(const std::shared_ptr<platform::View>& view,
                                    const std::optional<std::string>& assetName, const platform::Value& environment);
    virtual void recordImpression();
    virtual void setSlot(const std::shared_ptr<GADSlot>& slot);

    bool hasRecordedImpression() const { return hasRecordedImpression_; }

    // --- Asset bookkeeping for subclasses.
    bool shouldLoadAssets();
    void addAssetWithNameToRequestedAssets(const std::string& name);
    void finishedLoadingAssetWithName(const std::optional<std::string>& name);
    void failedToLoadAssetWithName(const std::optional<std::string>& name);
    void notifyLoadingDelegateIfAllRequestedAssetsHaveLoaded();
    void callAndClearAssetLoadCompletionHandlersWithError(const std::optional<platform::Error>& error);
    const std::set<std::string>& requestedAssets() const { return requestedAssets_; }
    const std::set<std::string>& completedAssets() const { return completedAssets_; }
    bool failedToLoadARequiredAsset() const { return failedToLoadARequiredAsset_; }

    // --- Slot events (GADSlotAdEventDelegate).
    void slotWillPresentScreen(GADSlot&) override;
    void slotWillDismissScreen(GADSlot&) override;
    void slotDidDismissScreen(GADSlot&) override;
    void slotWillLeaveApplication(GADSlot&) override;

    // --- Properties.
    std::shared_ptr<GADNativeAdDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADNativeAdDelegate>& d) { delegate_ = d; }
    std::shared_ptr<platform::ViewController> rootViewController() const { return rootViewController_.lock(); }
    void setRootViewController(const std::weak_ptr<platform::ViewController>& vc) { rootViewController_ = vc; }
    const platform::Value& extraAssets() const { return extraAssets_; }
    const std::string& adNetworkClassName() const { return adNetworkClassName_; }
    void setAdNetworkClassName(const std::string& name) { adNetworkClassName_ = name; }
    const std::string& adUnitID() const { return adUnitID_; }
    void setAdUnitID(const std::string& id) { adUnitID_ = id; }
    // The ad's JSON object; nullopt for a mediated ad.
    const std::optional<platform::Value>& adConfiguration() const { return adConfiguration_; }
    std::shared_ptr<GADMediatedNativeAd> mediatedNativeAd() const { return mediatedNativeAd_; }
    void setMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& ad) { mediatedNativeAd_ = ad; }
    std::shared_ptr<GADSlot> slot() const { return slot_; }
    const std::set<std::string>& impressionTrackingURLs() const { return impressionTrackingURLs_; }
    const std::set<std::string>& thirdPartyClickTrackingURLs() const { return thirdPartyClickTrackingURLs_; }
    const std::optional<std::string>& ruzaveClickTrackingURLString() const { return ruzaveClickTrackingURLString_; }
    const platform::Value& clickActions() const { return clickActions_; }

  protected:
    GADNativeAd() = default;
    // initWithDictionary:options: — the common part.
    void setUpWithDictionary(const platform::Value& dictionary);
    // initWithMediatedNativeAd:options: — the common part; observing needs the object owned already.
    void setUpWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper);
    void observeNotificationsFromMediatedNativeAd();

  private:
    void tellDelegate(void (GADNativeAdDelegate::*method)(GADNativeAd&));
    void relayOnMainThread(void (GADNativeAdDelegate::*method)(GADNativeAd&));

    bool hasRecordedImpression_ = false;
    std::set<std::string> impressionTrackingURLs_;
    std::set<std::string> requestedAssets_;
    std::set<std::string> completedAssets_;
    bool failedToLoadARequiredAsset_ = false;
    std::optional<platform::Error> requiredAssetError_;
    // Guards the two below.
    std::mutex lock_;
    bool assetLoadingStarted_ = false;
    std::vector<AssetLoadCompletionHandler> assetLoadCompletionHandlers_;

    std::weak_ptr<GADNativeAdDelegate> delegate_;
    std::weak_ptr<platform::ViewController> rootViewController_;
    platform::Value extraAssets_ = platform::Value::object();
    std::string adNetworkClassName_;
    std::string adUnitID_;
    std::optional<platform::Value> adConfiguration_;
    std::shared_ptr<GADMediatedNativeAd> mediatedNativeAd_;
    std::shared_ptr<GADSlot> slot_;
    std::set<std::string> thirdPartyClickTrackingURLs_;
    std::optional<std::string> ruzaveClickTrackingURLString_;
    platform::Value clickActions_ = platform::Value::array();
    std::vector<platform::NotificationCenter::Token> observerTokens_;
};

} // namespace ruzave
