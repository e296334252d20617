#pragma once
// The public banner: a view that shows the ads of its one slot, keeps its frame and the slot's ad
// type in step with its ad size, answers the slot's questions from the view tree and passes the slot's
// events to the app's delegate on the main thread. Main thread (the view-hierarchy cache may be read
// from any thread).
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "ads/core/slot/GADSlotAdKeyDelegate.h"
#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "ads/core/slot/GADSlotAdResponseDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/mediation/GADAdMediationDelegate.h"
#include "platform/ui/View.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADAdView;
class GADBannerViewDelegate;
class GADInAppPurchaseDelegate;
class GADRequest;
class GADSlot;

class GADBannerView : public platform::View,
                      public GADSlotDelegate,
                      public GADSlotAdLoadDelegate,
                      public GADSlotAdEventDelegate,
                      public GADSlotAdResponseDelegate,
                      public GADSlotAdKeyDelegate,
                      public GADAdMediationDelegate {
  public:
    static constexpr long kDefaultParentViewCount = 20;

    // initWithFrame:adSize: — nullptr, with the "Unable to set adSize property." log, for an invalid
    // size.
    static std::shared_ptr<GADBannerView> initWithFrame(platform::Rect frame, const GADAdSize& adSize);
    static std::shared_ptr<GADBannerView> initWithAdSize(const GADAdSize& adSize);
    static std::shared_ptr<GADBannerView> initWithAdSize(const GADAdSize& adSize, platform::Point origin);
    static std::shared_ptr<GADBannerView> initWithFrame(platform::Rect frame);
    static std::shared_ptr<GADBannerView> init();
    ~GADBannerView() override;

    // --- Public API.
    void loadRequest(const std::shared_ptr<GADRequest>& request);
    std::string adUnitID() const;
    void setAdUnitID(const std::string& adUnitID);
    std::shared_ptr<platform::ViewController> rootViewController() const override {
        return rootViewController_.lock();
    }
    void setRootViewController(const std::shared_ptr<platform::ViewController>& controller);
    // The zero record when the slot has no banner type.
    GADAdSize adSize() const;
    void setAdSize(const GADAdSize& adSize);
    // setAdSize:andReload:, also the slot's request to resize.
    void setAdSize(const GADAdSize& adSize, bool reload) override;
    void setAdSizeFromExternalCGSize(platform::Size size);
    std::shared_ptr<GADBannerViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADBannerViewDelegate>& delegate) { delegate_ = delegate; }
    // Gets the purchases that in-app-purchase ads start (unless the default purchase flow is on). Weak.
    std::shared_ptr<GADInAppPurchaseDelegate> publisherInAppPurchaseDelegate() const { return inAppPurchaseDelegate_.lock(); }
    void setInAppPurchaseDelegate(const std::weak_ptr<GADInAppPurchaseDelegate>& d) { inAppPurchaseDelegate_ = d; }
    std::optional<std::shared_ptr<GADInAppPurchaseDelegate>> inAppPurchaseDelegate() const override {
        return inAppPurchaseDelegate_.lock();
    }
    bool isAutoloadEnabled() const { return autoloadEnabled_; }
    void setAutoloadEnabled(bool enabled);
    std::optional<std::string> adNetworkClassName() const;
    bool hasAutoRefreshed() const;
    std::shared_ptr<platform::View> mediatedAdView() const;
    std::shared_ptr<GADAdView> adView() const;
    std::shared_ptr<GADSlot> slot() const { return slot_; }
    std::shared_ptr<platform::View> rootAdView() const { return rootAdView_; }
    void setRootAdView(const std::shared_ptr<platform::View>& view);
    bool hasLoadedAd() const { return hasLoadedAd_; }

    // --- View overrides.
    void setFrame(platform::Rect frame) override;
    void setBounds(platform::Rect bounds) override;
    platform::Size intrinsicContentSize() const override;
    void didMoveToWindow() override;
    // A banner is either fully shown or hidden: 0 stays 0, anything else (NaN too) becomes 1.
    void setAlpha(float alpha);

    // --- GADSlotDelegate.
    std::optional<bool> slotShouldLoadRequest(GADSlot& slot,
                                              const std::shared_ptr<GADRequest>& request) override;
    std::optional<bool> slotShouldReloadCurrentRequest(GADSlot& slot) override;
    void slotDidReceiveAdView(GADSlot& slot, const std::shared_ptr<platform::View>& view) override;
    void slotContentSizeDidChange(GADSlot& slot, platform::Size size) override;
    std::optional<platform::Rect> ownerFrame() const override { return frame(); }
    std::optional<platform::Rect> ownerBounds() const override { return bounds(); }
    std::optional<platform::Rect> ownerFrameInInterface() const override;
    // The slot's ad view's place on the given screen; nullopt without an ad view.
    std::optional<platform::Value>
    coordinatesOfContentInScreen(const std::shared_ptr<platform::Screen>& screen) override;
    std::shared_ptr<platform::View> swipeToViewControllerView() override;

    // --- GADSlotAdLoadDelegate, GADSlotAdEventDelegate.
    void slotFinishedLoadingAdContent(GADSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(GADSlot& slot, const platform::Error& error) override;
    void slotWillPresentScreen(GADSlot& slot) override;
    void slotWillDismissScreen(GADSlot& slot) override;
    void slotDidDismissScreen(GADSlot& slot) override;
    void slotWillLeaveApplication(GADSlot& slot) override;

    // --- GADSlotAdResponseDelegate.
    bool slotShouldProcessAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                     platform::Error* error) override;
    bool slotShouldProcessMediatedAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                             platform::Error* error) override;

    // --- GADAdMediationDelegate: banners mediate through banner connectors.
    std::string connectorClassForAd(const std::shared_ptr<GADAd>& ad) override;

    // --- GADSlotAdKeyDelegate.
    void cacheViewHierarchyInformationForSlot(GADSlot& slot) override;
    std::optional<platform::Value> viewHierarchyInformationForSlot(GADSlot& slot) override;

  protected:
    explicit GADBannerView(platform::Rect frame);
    // The initialiser every factory ends in (an archived banner would call it too, with whatever size
    // its frame gave, valid or not).
    void commonInitWithAdSize(const GADAdSize& adSize);
    // The class name used in log lines and the view-hierarchy record.
    virtual std::string className() const { return "GADBannerView"; }

  private:
    void notifyDelegate(void (GADBannerViewDelegate::*message)(GADBannerView&));

    std::shared_ptr<GADSlot> slot_;
    std::shared_ptr<platform::View> rootAdView_;
    std::weak_ptr<platform::ViewController> rootViewController_;
    std::weak_ptr<GADBannerViewDelegate> delegate_;
    std::weak_ptr<GADInAppPurchaseDelegate> inAppPurchaseDelegate_;
    bool autoloadEnabled_ = false;
    bool hasInitialized_ = false;
    bool hasLoadedAd_ = false;
    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    // Written and read only on the lock queue.
    std::shared_ptr<std::optional<platform::Value>> viewHierarchy_ =
        std::make_shared<std::optional<platform::Value>>();
};

} // namespace ruzave
