#pragma once
// The public object for one full-screen ad: loads through its own slot (which never refreshes), says
// when it is ready, presents the ad from the app's root controller through the full-screen controller
// (or the mediated network's own screen), and serves once: after a presentation every further load
// or presentation is refused with code 6. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "ads/core/slot/GADSlotAdResponseDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/mediation/GADAdMediationDelegate.h"
#include "platform/base/Error.h"

namespace platform {
class ViewController;
}

namespace ruzave {

class GADInterstitialDelegate;
class GADInAppPurchaseDelegate;
class GADInterstitialViewController;
class GADRequest;
class GADSlot;

class GADInterstitial : public std::enable_shared_from_this<GADInterstitial>,
                        public GADSlotDelegate,
                        public GADSlotAdLoadDelegate,
                        public GADSlotAdEventDelegate,
                        public GADSlotAdResponseDelegate,
                        public GADAdMediationDelegate {
  public:
    static constexpr const char* kNotReadyMessage = "Cannot present interstitial. It is not ready.";
    static constexpr const char* kPresentationExceptionPrefix = "Presenting the interstitial threw exception: ";

    static std::shared_ptr<GADInterstitial> initWithAdUnitID(const std::optional<std::string>& adUnitID);
    static std::shared_ptr<GADInterstitial> init() { return initWithAdUnitID(std::nullopt); }
    ~GADInterstitial() override;
    GADInterstitial(const GADInterstitial&) = delete;
    GADInterstitial& operator=(const GADInterstitial&) = delete;

    // --- Public API.
    std::string adUnitID() const;
    void setAdUnitID(const std::string& adUnitID);
    std::shared_ptr<GADInterstitialDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADInterstitialDelegate>& delegate) { delegate_ = delegate; }
    // Gets the purchases that in-app-purchase ads start (unless the default purchase flow is on). Weak.
    std::shared_ptr<GADInAppPurchaseDelegate> publisherInAppPurchaseDelegate() const { return inAppPurchaseDelegate_.lock(); }
    void setInAppPurchaseDelegate(const std::weak_ptr<GADInAppPurchaseDelegate>& d) { inAppPurchaseDelegate_ = d; }
    std::optional<std::shared_ptr<GADInAppPurchaseDelegate>> inAppPurchaseDelegate() const override {
        return inAppPurchaseDelegate_.lock();
    }
    void loadRequest(const std::shared_ptr<GADRequest>& request);
    bool isReady() const;
    bool hasBeenUsed() const { return hasBeenUsed_; }
    void setHasBeenUsed(bool used) { hasBeenUsed_ = used; }
    std::optional<std::string> adNetworkClassName() const;
    virtual void presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root);
    void cancel();

    std::shared_ptr<GADSlot> slot() const { return slot_; }
    std::shared_ptr<GADInterstitialViewController> viewController() const { return viewController_; }
    const std::optional<platform::Error>& alreadyUsedError() const { return alreadyUsedError_; }
    // Logs the error, fails the slot (cancelling its pending work) and so tells the delegate.
    void sendInterstitialError(const std::optional<platform::Error>& error);
    // The readiness check before presenting.
    bool canPresentFullScreen();

    // --- GADSlotDelegate.
    std::optional<bool> slotShouldLoadRequest(GADSlot& slot, const std::shared_ptr<GADRequest>& request) override;
    std::optional<bool> slotShouldReloadCurrentRequest(GADSlot&) override { return false; }
    std::optional<platform::Value> coordinatesOfContentInScreen(const std::shared_ptr<platform::Screen>& screen) override;
    void slotDidReceiveAdClick(GADSlot& slot) override;

    // --- GADSlotAdLoadDelegate, GADSlotAdEventDelegate.
    void slotFinishedLoadingAdContent(GADSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(GADSlot& slot, const platform::Error& error) override;
    void slotWillPresentScreen(GADSlot& slot) override;
    void slotWillDismissScreen(GADSlot& slot) override;
    void slotDidDismissScreen(GADSlot& slot) override;
    void slotWillLeaveApplication(GADSlot& slot) override;

    // --- GADSlotAdResponseDelegate.
    bool slotShouldProcessAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad, platform::Error* error) override;
    bool slotShouldProcessMediatedAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                             platform::Error* error) override;

    // --- GADAdMediationDelegate.
    std::string connectorClassForAd(const std::shared_ptr<GADAd>& ad) override;

  protected:
    GADInterstitial() = default;
    // What every factory of an interstitial, of any class, runs on the new object.
    void commonInitWithAdUnitID(const std::optional<std::string>& adUnitID);

  private:
    void notifyDelegate(void (GADInterstitialDelegate::*message)(GADInterstitial&));
    // The refusal of a used object: logged and told to the delegate, without touching the slot, whose
    // mediated screen may still be up.
    void reportAlreadyUsed();
    bool adOrientationsSupported() const;

    std::shared_ptr<GADSlot> slot_;
    std::shared_ptr<GADInterstitialViewController> viewController_;
    std::weak_ptr<GADInterstitialDelegate> delegate_;
    std::weak_ptr<GADInAppPurchaseDelegate> inAppPurchaseDelegate_;
    bool hasBeenUsed_ = false;
    std::optional<platform::Error> alreadyUsedError_;
};

} // namespace ruzave
