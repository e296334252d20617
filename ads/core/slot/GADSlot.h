#pragma once
// The engine behind every banner view, interstitial and ad loader: gates a request, has the SDK core
// build the ad URL, fetches the ad, sorts the response and hands it to rendering or mediation, keeps
// the life-cycle state and the reload timer, and tells its owner of each outcome. Main thread, except
// setRequestID(), requestSnapshot() and requestParameters(), which the core controller calls on its
// own queue.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/net/GADAdFetcher.h"
#include "ads/core/public/GADAdSize.h"
#include "ads/core/sdkcore/GADAdViewActiveViewMonitoring.h"
#include "ads/core/sdkcore/GADSDKCoreControllerDelegate.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADMRAIDEventHandling.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/slot/GADSlotState.h"
#include "ads/core/telemetry/GADActiveViewMonitorDelegate.h"
#include "ads/core/telemetry/GADSlotStatistics.h"
#include "ads/render/GADPercentDrivenUserInteractionAnimationControllerDelegate.h"
#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLRequest.h"
#include "platform/services/ProductViewControllerDelegate.h"
#include "platform/ui/Geometry.h"

namespace platform {
class GestureRecognizer;
class PanGestureRecognizer;
class ProductViewController;
class Timer;
class View;
class ViewController;
class Window;
} // namespace platform

namespace ruzave {

class GADAd;
class GADAdType;
class GADAdView;
class GADBannerAdViewDelegate;
class GADCorrelator;
class GADInAppPurchase;
class GADInAppPurchaseDelegate;
class GADIntermission;
class GADInterstitial;
class GADMAdManager;
class GADMConfig;
class GADPercentDrivenUserInteractionAnimationController;
class GADScheduler;
class GADViewControllerFullScreenSwipeAnimation;
class GADActiveViewMonitor;
class GADRequest;
class GADSDKCoreWebView;
class GADSlotAdEventDelegate;
class GADSlotAdKeyDelegate;
class GADSlotAdLoadDelegate;
class GADSlotAdResponseDelegate;
class GADSlotDelegate;

class GADSlot : public std::enable_shared_from_this<GADSlot>,
                public GADAdFetcherDelegate,
                public GADSDKCoreControllerDelegate,
                public GADMRAIDEventHandling,
                public GADActiveViewMonitorDelegate,
                public GADAdViewActiveViewMonitoring,
                public GADPercentDrivenUserInteractionAnimationControllerDelegate,
                public platform::ProductViewControllerDelegate {
  public:
    static constexpr const char* kSlotDidLeaveWindowNotification = "GADSlotDidLeaveWindowNotification";
    static constexpr const char* kAdModalViewControllerWillPresentFullScreen =
        "kAdModalViewControllerWillPresentFullScreen";
    static constexpr const char* kAdModalViewControllerDidDismissFullScreen =
        "kAdModalViewControllerDidDismissFullScreen";
    static constexpr double kDefaultReloadInterval = 60.0;
    // How long a touch on the ad lets a screen that opens count as the user's.
    static constexpr double kUserActivationSeconds = 5.0;
    // The ad request's own timeout (the platform's, which its fetch keeps): its page has loaded within it
    // of the request's start, or the load fails as timed out.
    static constexpr double kAdRequestTimeoutSeconds = platform::URLRequest::DefaultTimeoutInterval;

    // What the core controller's queue may read of a slot: taken on the main thread when the ad URL is
    // asked for, never read live from another thread.
    struct RequestSnapshot {
        std::shared_ptr<GADRequest> request;
        std::shared_ptr<GADAdType> adType;
        std::string adUnitID;
        bool hasOwner = false;
        std::optional<platform::Rect> ownerFrame;
        std::optional<platform::Rect> ownerBounds;
        platform::Rect adViewFrame;
        platform::Rect adViewBounds;
        std::optional<platform::Value> validAdSizes;
        std::optional<platform::Value> coordinatesOfContentInScreen;
        std::optional<platform::Value> viewHierarchy;
        std::optional<platform::Value> applicationStatistics;
        bool manualImpressionsEnabled = false;
        // The correlator's identifier when the load started; 0 for a slot without one.
        std::uint32_t correlationID = 0;
        bool inAppPurchaseDelegateSet = false;
        bool calledLoadAndDisplayRequest = false;
        std::int32_t CSIIdentifier = 0;
    };

    static std::shared_ptr<GADSlot> initWithFrame(platform::Rect frame);
    static std::shared_ptr<GADSlot> init() { return initWithFrame(platform::Rect::zero()); }
    ~GADSlot() override;
    GADSlot(const GADSlot&) = delete;
    GADSlot& operator=(const GADSlot&) = delete;

    // How fetchers are made; tests install fakes. Null restores the real fetcher.
    using AdFetcherFactory = std::function<std::shared_ptr<GADAdFetcher>()>;
    static void setAdFetcherFactory(AdFetcherFactory factory);
    // Who builds the ad URL; tests install fakes. Null restores the SDK core controller.
    using AdURLBuilder = std::function<void(const std::shared_ptr<GADSlot>&)>;
    static void setAdURLBuilder(AdURLBuilder builder);

    // --- Requests and responses.
    void loadRequest(const std::shared_ptr<GADRequest>& request);
    void loadNextRequestWithAutoRefresh(bool autoRefresh);
    bool shouldMakeRequest(const std::shared_ptr<GADRequest>& request);
    void logRequestTestAdInstructions();
    // loadAd:headers:
    void loadAd(const std::shared_ptr<GADAd>& ad, const std::optional<platform::Value>& headers) override;
    void processAdResponse(const std::shared_ptr<GADAd>& ad);
    void processStandardAdResponse(const std::shared_ptr<GADAd>& ad);
    void processCustomRenderingAdResponse(const std::shared_ptr<GADAd>& ad);
    // A mediation response; without a mediation delegate on the ad it fails with code 7.
    void processMediationAdResponse(const std::shared_ptr<GADAd>& ad);
    void setViewForAdUsingView(const std::shared_ptr<platform::View>& view);

    // --- Mediation (GADSlot+Mediation.cpp).
    // requestAdWithType:mediationConfig:
    void requestAdWithType(const std::shared_ptr<GADAdType>& adType, const std::shared_ptr<GADMConfig>& config);
    // False (and the slot fails with the reason) when the requested type and the configuration's clash.
    bool hasConsistentMediationConfigForAdType(const std::shared_ptr<GADAdType>& adType);
    // In state 6 only: the delivering adapter's class name while mediating, else the own network's.
    std::optional<std::string> adNetworkClassName() const;
    void presentMediatedInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root);
    // The owner's root view controller, for adapters that present full-screen views.
    std::shared_ptr<platform::ViewController> viewControllerForPresentingModalView() const;
    std::shared_ptr<GADMConfig> mediationConfiguration() const { return mediationConfiguration_; }
    std::shared_ptr<GADSlotStatistics> slotStats() const { return slotStats_; }
    // validateAdResponseWithAdSize:andValidAdSizes: over boxed sizes.
    bool validateAdResponseWithAdSize(const GADAdSize& size, const platform::Value& validAdSizes) const;
    // setAdType:andReloadRequest:
    void setAdType(const std::shared_ptr<GADAdType>& adType, bool reloadRequest);
    bool isMediating() const;
    bool changeAdTypeTo(const std::shared_ptr<GADAdType>& adType);
    std::string description() const;

    // GADAdFetcherDelegate.
    void adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad) override;
    void adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad, const platform::Error& error,
                   long responseCode) override;

    // --- States.
    GADSlotState state() const { return state_; }
    void setState(GADSlotState state);
    bool isMakingRequest() const;
    void resetState();
    void invalidateState();
    void willRequestAdURL();
    void didReceiveAdURL();
    void didFailToRetrieveSDKCoreWithError(const platform::Error& error);
    void willFetchAdContent();
    void didFetchAdContent();
    void willProcessMediationResponse();
    void willStartAdRendering();
    void willLoadAdHTMLInWebView();
    void didLoadAdHTMLInWebView();
    void didReceiveValidAd();
    void didReceiveInvalidAd();
    // An ad the app renders itself is a load of its own, numbered as it is handed over. The app's word that
    // it has rendered counts only while that load is live: from the hand-over until its render bound fails
    // it, it is cancelled, or another load begins; the word ends the rendering and keeps it live. 0 while no
    // such load is live.
    std::uint64_t appRenderedLoad() const { return appRenderedLoad_; }
    bool isAppRenderedLoadLive(std::uint64_t load) const { return load != 0 && load == appRenderedLoad_; }
    // Its clicks and impressions count for longer: while it is the ad the app shows for the slot, from the
    // hand-over until the next ad response replaces it, its own render bound fails it, or the slot is
    // invalidated. The next load's request, its failure before any response and its cancellation leave it
    // shown, so the user's clicks on it are not lost.
    bool isAppRenderedAdShown(std::uint64_t load) const { return load != 0 && load == shownAppRenderedLoad_; }
    // The app's report of a click on, or an impression of, the ad it renders: pinged with that ad's own URLs
    // while it is shown (the slot's current ad when none is), whatever load is under way.
    void appRenderedAdWasClicked();
    void appRenderedAdMadeImpression();
    // The app's word that it has rendered the ad it was handed: that load is received. Nothing unless such
    // a load is rendering (a page the slot renders ends by its own load, never by the app's word).
    void appDidFinishRenderingAd();
    // The application's ad statistics taken by the latest parameter build (any thread).
    GADStatisticDictionarySet takePendingAdStatistics();
    void setPendingAdStatistics(GADStatisticDictionarySet statistics);
    // didFailToReceiveAdWithError:shouldCancelPendingActions:; a null error becomes code 11.
    void didFailToReceiveAdWithError(const std::optional<platform::Error>& error,
                                     bool shouldCancelPendingActions);
    void finishedLoadingAdResponse(const std::shared_ptr<GADAd>& ad);

    // --- Cancellation and the end of a slot.
    void cancelLoad();
    void cancelPendingActions();
    void cancelPendingAndFutureActions();
    void resetRequestState();
    void invalidate();

    // --- Reload.
    double reloadInterval() const { return reloadInterval_; }
    // Below 1.0 s means no reloading (0).
    void setReloadInterval(double seconds);
    void scheduleAdReloadTimer();
    // An ad network's script ad: rendered by its own ad-view delegate, which then drives the states.
    void loadAdNetworkJavaScriptRequest(const std::shared_ptr<GADAd>& ad);
    // A script ad's delegate stays only for that ad: an ordinary HTML ad after it gets a plain banner delegate.
    void restoreBannerAdViewDelegate();
    void deactivateReloadTimer();
    void reloadCurrentRequest();
    bool isReloadTimerArmed() const;
    // Clock reading at which the armed reload timer fires; nullopt when none is armed.
    std::optional<double> reloadTimerFireDate() const;

    // --- Notifications and view events.
    void appWillBecomeInactive();
    void appDidBecomeActive();
    void adWillPresentFullScreen();
    void adDidRelinquishFullScreen();
    void bannerDidMoveToWindow(const std::shared_ptr<platform::Window>& window);
    void interstitialViewWillAppear();
    void interstitialViewWillDisappear();
    void mediatedAdNetworkAutoRefreshed() { hasAutoRefreshed_ = true; }

    // --- Ad events relayed to the owner.
    void willProcessAd();
    void adFailedToReceiveContentWithError(const platform::Error& error);
    void adFinishedLoadingContent();
    void adWillPresentScreen();
    void adWillDismissScreen();
    void adDidDismissScreen();
    void adWillLeaveApplication();
    void didMakeAdImpression();

    // --- Clicks and the rendered page (GADSlot+Click.cpp).
    // "tclickcurr" and "pcc" of the current ad.
    void adWasClicked();
    // Every click URL of the current ad, then slotDidReceiveAdClick to the owner.
    void pingClickURLs();
    // Impression URLs are pinged once per ad: the set is emptied as it is pinged.
    void pingImpressionURLs();
    void pingManualTrackingURLs();
    // "pclb" of the current ad.
    void willLeaveAppDueToClick();
    // The URL to open for a click: gmsg and about:blank unchanged, ad-server URLs with the click signal.
    platform::URL gestureClickURLWithURL(const platform::URL& url);
    // Whether the URL's host is one of the ad server's: the whole host or a suffix on a label boundary of
    // an "as_domains" entry (or of the built-in list when that setting is empty).
    static bool isRuzaveAdURL(const platform::URL& url);
    // Whether the current ad serves MRAID (it has an MRAID event handler).
    bool isMRAIDEnabled() const;
    // The page's content size, or the ad's own size for an ad that is not fluid, to the owner.
    void updateContentSize(platform::Size size);

    // --- Messages to the creative (GADSlot+CreativeMessages.cpp).
    void MRAIDAdDidLoad() override;
    void MRAIDAdDidUnload() override;
    // "onAdVisibilityChanged".
    void updateVisibility(bool visible) override;
    // "onSizeChanged" and "onDefaultPositionReceived", each only when its rectangle changed.
    void updatePositionFromView(const std::shared_ptr<platform::View>& view) override;
    void handleError(const std::string& message, const std::string& action) override;
    void notifyOrientationToMRAIDCreative();
    void notifyDeviceFeatures();
    void SDKDidBecomeReady();
    // "x", "y", "width", "height" of the standardised rectangle.
    static platform::Value creativePositionDictionaryForActiveViewBounds(const platform::Rect& bounds);
    void beginListeningToDeviceOrientationChangeEvent();
    void endListeningToDeviceOrientationChangeEvent();
    void didChangeDeviceOrientation();
    bool isListeningToDeviceOrientationChangeEvent() const { return isListeningToDeviceOrientationChangeEvent_; }
    // Calls `block` whenever this slot's creative orientation changes; the token removes it.
    platform::NotificationCenter::Token addCreativeOrientationChangeObserver(std::function<void()> block,
                                                                             const void* owner);

    // --- Active view (GADSlot+ActiveView.cpp).
    void startActiveViewReportingIfEnabled();
    bool canEnableActiveViewMonitoring() const;
    void createActiveViewMonitor();
    bool monitoredViewIsSubviewOfDeviceScreen() const;
    void activeViewMonitorDidRefresh(GADActiveViewMonitor& monitor) override;
    void activeViewMonitorWillUnload();
    void finishActiveViewReporting();
    // activeViewParameters:activeViewUnloaded:
    platform::Value activeViewParameters(const std::shared_ptr<GADActiveViewMonitor>& monitor, bool unloaded) const;
    static std::optional<std::string> activeViewJSCommandWithParams(const std::optional<platform::Value>& params);
    // "top", "bottom", "left", "right" of the standardised rectangle; a null or infinite one is zero.
    static platform::Value dictionaryForBounds(const platform::Rect& bounds);
    std::string adFormat() const;
    void adViewDidChangeActiveViewVisibility(bool visible) override;
    void adViewDidStopActiveViewMonitoring() override;
    void setViewHasMadeImpression(bool made) { viewHasMadeImpression_ = made; }
    std::shared_ptr<GADActiveViewMonitor> activeViewMonitor() const { return activeViewMonitor_; }
    std::uint32_t activeViewID() const { return activeViewID_; }
    std::shared_ptr<GADSDKCoreWebView> SDKCoreWebView() const { return SDKCoreWebView_; }
    // The slot's view events as the monitor sees them: a sample on app state changes, sampling while
    // the ad is in a window or on screen.
    void activeViewAppStateDidChange();
    void activeViewWindowDidChange(bool inWindow);

    // --- Swiping the ad into the store sheet (GADSlot+Swipe.cpp).
    void scheduleSwipeToViewControllerChecker();
    void unscheduleSwipeToViewControllerChecker();
    // One check: "onAdVisible" to the creative when where the ad sits has changed.
    void canEnableSwipeToViewController();
    void enableSwipeToViewController();
    void disableSwipeToViewController();
    void setUpAnimationController();
    void handlePanGesture(platform::PanGestureRecognizer& pan);
    // shouldProcessTouch:inView:
    bool shouldProcessTouch(platform::Point point, const platform::View* view) const;
    void loadStoreProductViewController();
    void productViewControllerDidFinish(platform::ProductViewController& controller) override;
    void animationControllerDidFinishAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) override;
    void animationControllerDidCancelAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) override;
    void animationControllerDidDismissViewController(GADPercentDrivenUserInteractionAnimationController&) override;
    bool swipeToViewControllerEnabled() const { return swipeToViewControllerEnabled_; }
    std::shared_ptr<GADScheduler> swipeToViewControllerChecker() const { return swipeToViewControllerChecker_; }
    const std::optional<platform::Value>& savedParamsForCheckingSwipeToViewController() const {
        return savedParamsForCheckingSwipeToViewController_;
    }
    std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> animation() const { return animation_; }
    std::shared_ptr<GADPercentDrivenUserInteractionAnimationController> animationController() const {
        return animationController_;
    }
    std::shared_ptr<platform::PanGestureRecognizer> swipeGestureRecognizer() const { return swipeGestureRecognizer_; }
    std::shared_ptr<platform::ProductViewController> swipeableStoreProductViewController() const {
        return swipeableStoreProductViewController_;
    }
    bool isHeldForSwipeToViewController() const { return strongSlotForSwipeToViewController_ != nullptr; }

    // --- What the core controller asks on its queue.
    void setRequestID(const std::string& requestID) override;
    std::optional<std::string> requestID() const;
    RequestSnapshot requestSnapshot() const;

    // --- The request parameters and the core page's answers, defined with the request parameters
    // (GADSlot+RequestParameters.cpp). requestParameters() runs on the core controller's queue and
    // reads only requestSnapshot() and requestID().
    std::optional<platform::Value> requestParameters() override;
    std::int32_t requestedAdType() override;
    void loadAdURLWithParameters(const platform::Value& parameters) override;
    void invalidJavaScriptRequest() override;
    void failedJavaScriptFile() override;
    std::int32_t CSIIdentifier() override { return CSIIdentifier_; }
    bool isWaitingForRequestID(const std::string& requestID) override;
    // multipleAdSizeParameterFromSizes: the "sz" text of boxed sizes, "" when none is usable.
    static std::string multipleAdSizeParameterFromSizes(const platform::Value& sizes);

    // --- In-app purchases (GADSlot+InAppPurchase.cpp).
    // The default purchase flow while it is on, else the owner's in-app-purchase delegate, else none.
    std::shared_ptr<GADInAppPurchaseDelegate> inAppPurchaseDelegate() const;
    // Hands the purchase to that delegate on the main thread; without one it is dropped with a log.
    void didReceiveInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase);

    // --- Properties.
    const std::string& adUnitID() const { return adUnitID_; }
    void setAdUnitID(const std::string& adUnitID) {
        adUnitID_ = adUnitID;
        slotStats_->setIdentifier(adUnitID);
    }
    std::shared_ptr<GADAdType> adType() const { return adType_; }
    std::shared_ptr<GADAd> ad() const { return ad_; }
    std::shared_ptr<GADAd> loadingAd() const { return loadingAd_; }
    std::shared_ptr<GADRequest> request() const { return request_; }
    std::shared_ptr<GADRequest> nextRequest() const { return nextRequest_; }
    std::shared_ptr<GADAdView> adView() const { return adView_; }
    std::shared_ptr<GADBannerAdViewDelegate> adViewDelegate() const { return adViewDelegate_; }
    std::shared_ptr<GADMAdManager> mediationManager() const { return mediationManager_; }
    std::shared_ptr<platform::View> activeViewMonitoredView() const { return activeViewMonitoredView_; }
    bool reloadable() const { return reloadable_; }
    void setReloadable(bool reloadable) { reloadable_ = reloadable; }
    bool hasAutoRefreshed() const { return hasAutoRefreshed_; }
    bool slotHasAttemptedAnAdRequestAtLeastOnce() const { return slotHasAttemptedAnAdRequestAtLeastOnce_; }
    bool manualImpressionsEnabled() const { return manualImpressionsEnabled_; }
    void setManualImpressionsEnabled(bool v) { manualImpressionsEnabled_ = v; }
    // Shared by the ad objects of one page view; none by default.
    std::shared_ptr<GADCorrelator> correlator() const { return correlator_; }
    void setCorrelator(const std::shared_ptr<GADCorrelator>& correlator) { correlator_ = correlator; }
    bool calledLoadAndDisplayRequest() const { return calledLoadAndDisplayRequest_; }
    void setCalledLoadAndDisplayRequest(bool v) { calledLoadAndDisplayRequest_ = v; }
    bool viewHasMadeImpression() const { return viewHasMadeImpression_; }
    std::int32_t CSIIdentifier() const { return CSIIdentifier_; }
    const std::string& adResponseKey() const { return adResponseKey_; }
    const std::string& netWorkLatencyKey() const { return netWorkLatencyKey_; }
    const std::string& adRenderingKey() const { return adRenderingKey_; }
    const std::string& totalTimeKey() const { return totalTimeKey_; }
    std::optional<double> timeLastLoaded() const { return timeLastLoaded_; }
    platform::Size newAdSize() const { return newAdSize_; }
    void setNewAdSize(platform::Size size) { newAdSize_ = size; }
    const std::optional<platform::Value>& applicationStatistics() const { return applicationStatistics_; }

    std::shared_ptr<GADSlotDelegate> slotDelegate() const { return slotDelegate_.lock(); }
    void setSlotDelegate(const std::weak_ptr<GADSlotDelegate>& d) { slotDelegate_ = d; }
    std::shared_ptr<GADSlotAdLoadDelegate> adLoadDelegate() const { return adLoadDelegate_.lock(); }
    void setAdLoadDelegate(const std::weak_ptr<GADSlotAdLoadDelegate>& d) { adLoadDelegate_ = d; }
    std::shared_ptr<GADSlotAdEventDelegate> adEventDelegate() const { return adEventDelegate_.lock(); }
    void setAdEventDelegate(const std::weak_ptr<GADSlotAdEventDelegate>& d) { adEventDelegate_ = d; }
    std::shared_ptr<GADSlotAdResponseDelegate> adResponseDelegate() const {
        return adResponseDelegate_.lock();
    }
    void setAdResponseDelegate(const std::weak_ptr<GADSlotAdResponseDelegate>& d) { adResponseDelegate_ = d; }
    std::shared_ptr<GADSlotAdKeyDelegate> adKeyDelegate() const { return adKeyDelegate_.lock(); }
    void setAdKeyDelegate(const std::weak_ptr<GADSlotAdKeyDelegate>& d) { adKeyDelegate_ = d; }
    // The public interstitial that owns this slot, if any (weak: the interstitial owns the slot).
    std::shared_ptr<GADInterstitial> interstitial() const { return interstitial_.lock(); }
    void setInterstitial(const std::weak_ptr<GADInterstitial>& i) { interstitial_ = i; }
    // The full-screen period under way; its participants keep it alive, the slot only looks at it.
    std::shared_ptr<GADIntermission> intermission() const { return intermission_.lock(); }
    // The ad goes away: its screens leave now, whatever they are doing, and their period ends.
    void abandonScreens();
    void setIntermission(const std::weak_ptr<GADIntermission>& i) { intermission_ = i; }
    // Whether a screen of this slot's own covers the app or is still leaving.
    bool isShowingFullScreen() const;
    // Whether the period under way holds the slot: a screen in it was opened by the user (within
    // kUserActivationSeconds of a tap on the ad's content or on that of one of its screens, each tap
    // opening at most one screen, or a swipe to the store) or by the app (an interstitial, an ad the app
    // renders). Meanwhile the ad shown (perhaps in the slot's own ad view, borrowed by the screen) is
    // never replaced: no reload is armed, and a load asked for waits for the period's end, where it is
    // made and answered; loads asked for meanwhile make one load, as loads asked for while one is under
    // way do. A period with no page, or whose screens the creative opened on its own, holds nothing,
    // however the user touches it later: a load or reload goes ahead and takes its screens down first, so
    // no screen nobody asked for stops the slot.
    bool isHeldByFullScreen() const;
    // Told by the period: as it begins, a page still rendering (it opened the screen) ends its load as
    // received and counted; as it begins and as each later screen joins, the answer is whether it holds
    // the slot from then on, and a period that comes to hold it puts back a load under way, to be made
    // when it ends; when it has ended, on a later turn, the load put back or asked for is made, or else
    // the reload armed.
    bool fullScreenPeriodWillBegin();
    bool screenWillJoinFullScreenPeriod();
    void fullScreenPeriodDidEnd();
    // A tap on the ad's content in one of its screens (its own ad view records its taps itself).
    void recordUserTouch();
    // The user closes a screen (its close button or region, the browser's done): a tap not yet taken by a
    // screen goes with it, so that the next screen the ad opens on its own is not taken for the user's. A
    // close the ad asks for leaves the tap as it was.
    void useUpUserActivation();
    // Screen and load events for the app that must keep their order: told now unless `later` or
    // something told before still waits for its turn, in which case it queues behind that.
    void tellApp(void (GADSlot::*message)(), bool later);
    // The end of a page's load: the ad is received, shown, counted and told to the app (later: through
    // the queue above). Only while the page renders.
    void finishRenderingAd(bool tellLater = false);

  private:
    // The ad-load timing report's stages (GADSlot+CSI.cpp).
    void CSIRequestWillStart();
    void CSIResponseWillRender();
    void CSILoadDidEnd(bool valid);

    explicit GADSlot(platform::Rect frame);
    void observeNotifications();
    void takeRequestSnapshot();
    std::shared_ptr<GADAd> adFromExtras(const platform::Value& extras);

    GADSlotState state_ = GADSlotStateReset;
    std::shared_ptr<GADMAdManager> mediationManager_;
    std::shared_ptr<GADMConfig> mediationConfiguration_;
    std::shared_ptr<GADSlotStatistics> slotStats_ = GADSlotStatistics::init();
    bool slotHasAttemptedAnAdRequestAtLeastOnce_ = false;
    bool viewHasMadeImpression_ = false;
    // The ad whose impression was counted and pinged.
    std::weak_ptr<GADAd> impressionCountedAd_;
    std::int32_t CSIIdentifier_ = 0;
    std::string adResponseKey_, netWorkLatencyKey_, adRenderingKey_, totalTimeKey_;
    bool hasAutoRefreshed_ = false;
    bool reloadable_ = false;
    bool manualImpressionsEnabled_ = false;
    std::shared_ptr<GADCorrelator> correlator_;
    bool calledLoadAndDisplayRequest_ = false;
    std::weak_ptr<GADSlotDelegate> slotDelegate_;
    std::weak_ptr<GADSlotAdLoadDelegate> adLoadDelegate_;
    std::weak_ptr<GADSlotAdEventDelegate> adEventDelegate_;
    std::weak_ptr<GADSlotAdResponseDelegate> adResponseDelegate_;
    std::weak_ptr<GADSlotAdKeyDelegate> adKeyDelegate_;
    std::weak_ptr<GADInterstitial> interstitial_;
    std::weak_ptr<GADIntermission> intermission_;
    // The load waiting for the end of the slot's full-screen period: true when only reloads asked.
    std::optional<bool> heldLoad_;
    // Whether the period under way holds the slot: see isHeldByFullScreen().
    bool fullScreenHeld_ = false;
    // Who the screens of the ad shown belong to: the page in the slot's own ad view, which may open them
    // on its own, the app, which renders the ad, or nobody (no page came, or its load failed). Decided as
    // an ad is shown: a page as it goes into the ad view, an ad the app renders once received; a response
    // that fails leaves the shown ad's owner as it was.
    enum class ScreenOwner { None, Page, App };
    ScreenOwner screenOwner_ = ScreenOwner::None;
    // Whether the response under way is one the app renders (custom-rendered, mediated, taken over by the
    // owner) rather than a page loaded into the slot's own ad view, which meanwhile still shows the ad
    // before it.
    bool appRendersResponse_ = false;
    // See appRenderedLoad(); the number given to the latest ad handed to the app.
    std::uint64_t appRenderedLoad_ = 0;
    std::uint64_t appRenderedLoadsHanded_ = 0;
    // See isAppRenderedAdShown(): that load's number and its ad, which the slot's ad_ may no longer be
    // (a new load clears ad_ as its fetch starts).
    std::uint64_t shownAppRenderedLoad_ = 0;
    std::shared_ptr<GADAd> shownAppRenderedAd_;
    void forgetShownAppRenderedAd();
    // Whether the screen coming up now is the user's or the app's; it takes the user's touch.
    bool screenOpenedByUserOrApp();
    bool takeUserActivation();
    std::optional<double> latestUserTouch() const;
    void holdForFullScreen();
    // The latest tap on one of the ad's screens, and the tap a screen last took (or a close used up).
    std::optional<double> screenTouchTime_;
    std::optional<double> takenTouchTime_;
    // The rendering page's deadline, counted from the ad request's start, and its timer.
    std::optional<double> renderDeadline_;
    std::shared_ptr<platform::Timer> renderTimer_;
    void renderingTimedOut();
    void putBackLoad();
    // What tellApp() keeps for a later turn, in order.
    std::deque<void (GADSlot::*)()> toldLater_;
    bool tellingLaterScheduled_ = false;
    void tellWaitingMessages();
    std::string adUnitID_;
    std::shared_ptr<GADAd> ad_;
    std::shared_ptr<GADAdType> adType_;
    std::shared_ptr<GADRequest> request_;
    std::optional<double> timeLastLoaded_;
    std::shared_ptr<GADAdView> adView_;
    std::shared_ptr<GADBannerAdViewDelegate> adViewDelegate_;
    std::shared_ptr<GADAd> loadingAd_;
    std::shared_ptr<GADAdFetcher> adFetcher_;
    std::optional<platform::Value> applicationStatistics_;
    std::shared_ptr<platform::Timer> reloadTimer_;
    std::shared_ptr<GADRequest> nextRequest_;
    std::shared_ptr<platform::View> activeViewMonitoredView_;
    double reloadInterval_ = kDefaultReloadInterval;
    platform::Size newAdSize_{0, 0};
    std::vector<platform::NotificationCenter::Token> observers_;

    // What the creative was last told, and its orientation observation.
    bool isListeningToDeviceOrientationChangeEvent_ = false;
    platform::Rect usableInterfaceFrame_, creativeWebViewFrame_, creativeAdFrame_;
    std::optional<platform::NotificationCenter::Token> statusBarObserver_;
    std::optional<platform::NotificationCenter::Token> creativeOrientationObserver_;

    // Swiping to the store sheet.
    void releaseSwipeHold();
    std::optional<platform::Value> swipeEventCreativeMetadata() const;
    std::shared_ptr<GADScheduler> swipeToViewControllerChecker_;
    std::int32_t swipeToViewControllerCheckerTaskID_ = 0;
    std::optional<platform::Value> savedParamsForCheckingSwipeToViewController_;
    bool swipeToViewControllerEnabled_ = false;
    bool swipeToViewControllerAnimationControllerInitialized_ = false;
    std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> animation_;
    std::shared_ptr<GADPercentDrivenUserInteractionAnimationController> animationController_;
    std::shared_ptr<platform::PanGestureRecognizer> swipeGestureRecognizer_;
    std::size_t swipeGestureTarget_ = 0;
    std::shared_ptr<platform::ProductViewController> swipeableStoreProductViewController_;
    std::shared_ptr<GADSlot> strongSlotForSwipeToViewController_;

    // Active view.
    std::shared_ptr<GADActiveViewMonitor> activeViewMonitor_;
    std::uint32_t activeViewID_ = 0;
    std::shared_ptr<GADSDKCoreWebView> SDKCoreWebView_;

    // Guards what the core controller's queue reads.
    mutable std::mutex snapshotMutex_;
    std::optional<std::string> requestID_;
    RequestSnapshot snapshot_;
    GADStatisticDictionarySet pendingAdStatistics_;
};

} // namespace ruzave
