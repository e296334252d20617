#pragma once
// The view that shows one HTML ad: wraps a web view taken from the pool (and offered back when the
// view goes), passes the web view's load events to its GADAdViewDelegate, sends commands and SDK
// events into the page (events wait, at most 20, until the page has loaded), tracks whether the user
// touched the ad, keeps the page told of the interface orientation, and records its base URL for the
// MRAID interceptor. Main thread, except postJSNotification(), which any thread may call.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "ads/render/GADAdViewState.h"
#include "platform/base/Value.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewDelegate.h"

namespace platform {
class PlayerLayerView;
class ScrollView;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAdViewDelegate;
class GADAdViewTouchGestureRecognizer;
class GADImpressionTicketGestureRecognizer;
class GADTapWatchGestureRecognizer;
class GADVideoPlayer;
class GADVideoPlayerDelegate;
class GADWebViewCacheSet;

class GADAdView : public platform::View,
                  public platform::WebViewDelegate,
                  public platform::GestureRecognizerDelegate,
                  public platform::AlertViewDelegate {
  public:
    static constexpr std::size_t kMaximumPendingEvents = 20;

    static std::shared_ptr<GADAdView> initWithFrame(platform::Rect frame);
    static std::shared_ptr<GADAdView> init() { return initWithFrame(platform::Rect::zero()); }
    ~GADAdView() override;

    // --- The pool: capacity from "/ruzave/ads/web_view_cache_max_capacity" when 0 to 9, else 0.
    static std::shared_ptr<GADWebViewCacheSet> webViewCache();
    static std::shared_ptr<platform::WebView> cachedWebView();
    static void cacheWebView(const std::shared_ptr<platform::WebView>& webView);
    // The command that delivers a message to the page's ZUDO_ReceiveMessage: the name as an escaped
    // script string, then the user info as compact JSON when it is an object or array that serialises.
    static std::string JSCommandForNotificationName(const std::string& name,
                                                    const std::optional<platform::Value>& userInfo);

    std::shared_ptr<GADAdViewDelegate> delegate() const { return adViewDelegate_.lock(); }
    // Re-records the base URL too: which MRAID script the page gets follows the delegate.
    void setDelegate(const std::weak_ptr<GADAdViewDelegate>& delegate);
    std::shared_ptr<platform::ViewController> viewController() const { return viewController_.lock(); }
    virtual void setViewController(const std::weak_ptr<platform::ViewController>& controller) {
        viewController_ = controller;
    }

    // --- Set-up and loading.
    void reset();
    // The view and its web view alike.
    void setOpaque(bool opaque) override;
    // No bouncing, no scaling to fit, autoplay per "/ruzave/ads/banner_prevent_autoplay", hidden.
    void configureAsBannerAdView();
    void configureAsInterstitialAdView();
    // Drops waiting events, holds new ones until the page has loaded, records the base URL.
    void loadHTMLString(const std::string& html, const std::optional<platform::URL>& baseURL);
    // The same, without recording a URL.
    void loadRequest(const platform::URLRequest& request);
    const std::optional<platform::URL>& URL() const { return URL_; }
    // setURL:forView: — moves this view's entry in the ad URL stash to `url`.
    void setURL(const std::optional<platform::URL>& url, const std::shared_ptr<GADAdView>& view);

    void stopLoading() { webView_->stopLoading(); }
    // Ends the page for good: its loads, timers and scripts stop and it asks the network for nothing more.
    void closePage();
    void reload() { webView_->reload(); }
    void goBack() { webView_->goBack(); }
    void goForward() { webView_->goForward(); }
    bool canGoBack() const { return webView_->canGoBack(); }
    bool canGoForward() const { return webView_->canGoForward(); }
    bool isLoading() const { return webView_->isLoading(); }
    const platform::URLRequest& request() const { return webView_->request(); }
    std::shared_ptr<platform::ScrollView> scrollView() const { return webView_->scrollView(); }
    std::shared_ptr<platform::WebView> webView() const { return webView_; }
    // A screen of `creative`'s ad (its overlay, its expanded page): the pages shown here count their pings
    // in that ad and take turns for places as the creative's view. Before the first load.
    void joinAdOf(const GADAdView& creative) {
        if (webView_ && creative.webView_) webView_->joinAdOf(*creative.webView_);
    }

    // --- Script.
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);
    std::string evaluate(const std::string& script) { return stringByEvaluatingJavaScriptFromString(script); }
    // Runs the script on the page's next turn; the result is dropped.
    void executeJavaScriptAsynchronouslyFromString(const std::string& script);
    // Runs the command on a later main-loop turn (never at once), when the page has a receiver; any
    // thread.
    void postJSNotification(const std::string& name, const std::optional<platform::Value>& userInfo);
    // Adds "version" and "device" (parameters may replace them); waits while the page loads.
    void dispatchSDKEvent(const std::string& name, const std::optional<platform::Value>& parameters);
    std::size_t pendingEventCount() const { return pendingEvents_.size(); }
    bool eventsSuspended() const { return eventsSuspended_; }

    // --- Orientation (interface orientations 1 to 4; others and repeats do nothing).
    void setHTMLWindowOrientation(int orientation, bool shouldDispatchOrientationChangeEvent);
    void forceRotateToOrientation(int orientation) { setHTMLWindowOrientation(orientation, true); }
    void didRotateToOrientation(int orientation) { setHTMLWindowOrientation(orientation, false); }
    int orientation() const { return orientation_; }

    // --- State transfer to an expanded controller.
    void saveState();
    void restoreState();
    bool hasSavedState() const { return savedState_.has_value(); }
    // The view controller the view goes back to; null when no state is saved.
    std::shared_ptr<platform::ViewController> savedViewController() const {
        return savedState_ ? savedState_->viewController.lock() : nullptr;
    }

    // --- Touch and debug text.
    const std::optional<std::string>& adDebugDialog() const { return adDebugDialog_; }
    void setAdDebugDialog(const std::optional<std::string>& text) { adDebugDialog_ = text; }
    // Set as any touch on the view begins (the auto-click gate and clicks read it).
    bool isTouched() const { return touched_; }
    // Setting it records a tap now; clearing it forgets the tap's time too.
    void setTouched(bool touched);
    // Clock reading of the latest tap on the view, as a browser's user activation counts one: at the
    // finger's lift, never for a pan. Nullopt once cleared.
    std::optional<double> tapTime() const { return tapTime_; }
    std::shared_ptr<GADAdViewTouchGestureRecognizer> touchGestureRecognizer() const { return touchRecognizer_; }
    // The zig-zag that opens the debug dialog.
    std::shared_ptr<GADImpressionTicketGestureRecognizer> impressionTicketGestureRecognizer() const {
        return impressionTicketRecognizer_;
    }

    // --- Debug dialog (GADAdView+Debug.cpp). The secret gesture's action: "Debug Creative Info" with
    // the debug text (or a note that there is none), "OK", and "Copy" and "Report" when there is text.
    static constexpr const char* kDebugDialogTitle = "Debug Creative Info";
    static constexpr const char* kNoDebugInformation = "Creative information is not available";
    bool showDebug() const { return showDebug_; }
    void setShowDebug(bool show) { showDebug_ = show; }
    void handleGesture();
    std::shared_ptr<platform::AlertView> alertView() const { return alertView_; }
    // platform::AlertViewDelegate: "Copy" puts the text on the pasteboard, "Report" sends it.
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) override;
    void alertViewDidDismissWithButtonIndex(platform::AlertView& alert, long index) override;

    // --- Inline video (GADAdView+Video.cpp). One player and one video view, under the web content,
    // for the view's whole life, made by the first source.
    void setUpVideoPlayerWithURL(const std::optional<platform::URL>& url);
    // The zero rectangle stands for the whole bounds; nothing without a video view.
    void setVideoPlayerFrame(platform::Rect frame);
    void hideVideo();
    void showVideo();
    std::shared_ptr<GADVideoPlayer> videoPlayer() const { return videoPlayer_; }
    std::shared_ptr<platform::PlayerLayerView> videoPlayerLayer() const { return videoPlayerLayer_; }
    platform::Rect cachedVideoPlayerFrame() const { return cachedVideoPlayerFrame_; }
    // Keeps the frame and applies it to the video view.
    void setCachedVideoPlayerFrame(platform::Rect frame);

    // platform::WebViewDelegate
    bool shouldStartLoad(platform::WebView& webView, const platform::URLRequest& request,
                         platform::WebViewNavigationType navigationType) override;
    void didStartLoad(platform::WebView& webView) override;
    void didFinishLoad(platform::WebView& webView) override;
    void didFailLoad(platform::WebView& webView, const platform::Error& error) override;
    // platform::GestureRecognizerDelegate
    bool gestureRecognizerShouldReceiveTouch(platform::GestureRecognizer& recognizer,
                                             const platform::Touch& touch) override;
    bool gestureRecognizerShouldRecognizeSimultaneously(platform::GestureRecognizer& recognizer,
                                                        platform::GestureRecognizer& other) override;

    // Lets a new process-wide user agent capture happen (tests).
    static void resetUserAgentCaptureForTesting();

  protected:
    explicit GADAdView(platform::Rect frame);
    // Whether the view shows the ad's own page, which hears the SDK's events (a landing page does not).
    virtual bool receivesSDKEvents() const { return true; }
    // What every factory does after construction: the web view, the touch recogniser, the observers.
    static void setUp(const std::shared_ptr<GADAdView>& view);

  private:
    struct PendingEvent {
        std::string name;
        platform::Value parameters;
    };
    void suspendEvents();
    void recordURLInStash();
    void reportContentSizeIfChanged();

    std::shared_ptr<platform::WebView> webView_;
    std::shared_ptr<GADAdViewTouchGestureRecognizer> touchRecognizer_;
    std::shared_ptr<GADImpressionTicketGestureRecognizer> impressionTicketRecognizer_;
    std::shared_ptr<GADTapWatchGestureRecognizer> tapWatch_;
    bool gestureRecognizersAdded_ = false;
    std::weak_ptr<GADAdViewDelegate> adViewDelegate_;
    std::weak_ptr<platform::ViewController> viewController_;
    std::optional<platform::URL> URL_;
    std::deque<PendingEvent> pendingEvents_;
    bool eventsSuspended_ = true;
    std::optional<GADAdViewState> savedState_;
    std::shared_ptr<GADVideoPlayer> videoPlayer_;
    std::shared_ptr<GADVideoPlayerDelegate> videoPlayerDelegate_;
    std::shared_ptr<platform::PlayerLayerView> videoPlayerLayer_;
    platform::Rect cachedVideoPlayerFrame_ = platform::Rect::zero();
    std::optional<std::string> adDebugDialog_;
    bool touched_ = false;
    std::optional<double> tapTime_;
    bool showDebug_ = true;
    std::shared_ptr<platform::AlertView> alertView_;
    int orientation_ = 0;
    std::optional<platform::Size> reportedContentSize_;
    std::uint64_t contentSizeObserver_ = 0;
};

} // namespace ruzave
