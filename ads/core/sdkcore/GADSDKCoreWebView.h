#pragma once
// The hidden web view that runs the SDK-core page: its load state, one-time load observers, the queue
// of script commands that wait for the page, the routing of the page's gmsg messages, and the registry
// of active-view observers. Any thread; page loads, web-view events, scripts and observer calls run on
// the main thread.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/runloop/MainLoop.h"
#include "platform/web/WebViewDelegate.h"

namespace platform {
class WebView;
}

namespace ruzave {

class GADSDKCoreGMSGHandler;
class GADSDKCoreWebViewNotification;
class GADAdViewActiveViewMonitoring;

enum GADSDKCoreWebViewState : std::int32_t {
    GADSDKCoreWebViewStateIdle = 0,
    GADSDKCoreWebViewStateLoadRequested = 1,
    GADSDKCoreWebViewStateLoading = 2,
    GADSDKCoreWebViewStateLoaded = 3,
    GADSDKCoreWebViewStateFailed = 4,
};

class GADSDKCoreWebView : public platform::WebViewDelegate, public std::enable_shared_from_this<GADSDKCoreWebView> {
public:
    static constexpr std::size_t kMaximumPendingCommands = 50;
    // A load that has not ended after this long fails, so a hung page never wedges its users.
    static constexpr double kLoadTimeoutSeconds = 30.0;

    // Called on the main thread when a queued command will never run (dropped by the cap, queued while
    // the page failed, or its document was replaced before it could answer).
    using LostHandler = std::function<void()>;
    // Offered the page's gmsg requests that the SDK-core handler declines; true when taken.
    using MessageHandler = std::function<bool(const platform::URLRequest& request)>;

    static std::shared_ptr<GADSDKCoreWebView> init();
    ~GADSDKCoreWebView() override;

    GADSDKCoreWebViewState state() const;
    bool hasSDKCoreLoadedAtLeastOnce() const;
    std::shared_ptr<GADSDKCoreGMSGHandler> SDKCoreGMSGHandler() const { return handler_; }
    // The page URL: load request, the test that a navigation is the page, and that a failure is its own.
    const std::string& pageURLString() const { return pageURL_; }

    // Loads the page unless a load is under way, and registers `observer` (nullptr: none).
    void refreshSDKCoreAndNotifyObserver(const std::shared_ptr<GADSDKCoreWebViewNotification>& observer);
    void addObserverForOneTimeNotification(const std::shared_ptr<GADSDKCoreWebViewNotification>& observer);
    void removeObserver(const std::shared_ptr<GADSDKCoreWebViewNotification>& observer);

    // Queues a script command that runs in the page once it has loaded; at most 50 wait, the oldest is
    // dropped first. `onLost` hears of a command that will never get its answer.
    void enqueueJavaScriptCommand(const std::string& command, LostHandler onLost = {});
    // Calls "ZUDO_ReceiveMessage(name, json)" in the page on a later main-loop turn, whatever the state.
    void postJSNotification(const std::string& name, const platform::Value* userInfo = nullptr);

    // The active-view handler's seam (none until active-view monitoring lands).
    void setActiveViewMessageHandler(MessageHandler handler);

    // Active-view observers, keyed by the ids the slots give; observers are held weakly.
    void setActiveViewObserver(const std::weak_ptr<GADAdViewActiveViewMonitoring>& observer, std::uint32_t activeViewID);
    void removeActiveViewObserverForActiveViewID(std::uint32_t activeViewID);
    void clearAllActiveViewInstances();
    bool isActiveViewRunning() const;
    // From the active-view handler.
    void activeViewDidReceiveVisibilityNotification(bool visible, std::uint32_t activeViewID);
    void activeViewDidReceiveUntrackNotification(std::uint32_t activeViewID);

    // platform::WebViewDelegate (main thread).
    bool shouldStartLoad(platform::WebView& webView, const platform::URLRequest& request,
                         platform::WebViewNavigationType navigationType) override;
    void didFinishLoad(platform::WebView& webView) override;
    void didFailLoad(platform::WebView& webView, const platform::Error& error) override;

    // The web view the page runs in (made on the main thread at the first load); tests read it.
    std::shared_ptr<platform::WebView> adView() const;

private:
    struct Command {
        std::string script;
        LostHandler onLost;
    };

    GADSDKCoreWebView();
    void startLoad();
    void loadTimedOut(std::uint64_t generation);
    void leaveDocument(std::unique_lock<std::mutex>& lock);
    void notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
    void dispatchPendingJavaScriptCommands();
    void executeJavaScriptAsynchronously(const std::string& command);
    static void reportLost(std::vector<LostHandler> handlers);

    const std::string pageURL_;
    std::shared_ptr<GADSDKCoreGMSGHandler> handler_;

    mutable std::mutex mutex_;
    GADSDKCoreWebViewState state_ = GADSDKCoreWebViewStateIdle;
    bool loadedOnce_ = false;
    std::deque<Command> pendingCommands_;
    // Answers still owed by commands run in the current document (bounded: requests time out anyway).
    std::deque<LostHandler> inFlight_;
    std::vector<std::shared_ptr<GADSDKCoreWebViewNotification>> observers_;
    std::map<std::uint32_t, std::weak_ptr<GADAdViewActiveViewMonitoring>> activeViewObservers_;
    std::set<std::uint32_t> runningActiveViewIDs_;
    MessageHandler activeViewHandler_;
    std::uint64_t loadGeneration_ = 0;
    platform::MainLoop::TaskId loadTimeout_ = 0;

    // Main thread only.
    std::shared_ptr<platform::WebView> webView_;
};

} // namespace ruzave
