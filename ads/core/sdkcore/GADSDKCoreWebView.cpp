#include "ads/core/sdkcore/GADSDKCoreWebView.h"

#include <algorithm>

#include "ads/core/sdkcore/GADAdViewActiveViewMonitoring.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/sdkcore/GADSDKCoreGMSGHandler.h"
#include "ads/core/sdkcore/GADSDKCoreWebViewNotification.h"
#include "ads/render/GADAdView.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/core/telemetry/GADCSI.h"
#include "platform/base/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLRequest.h"
#include "platform/web/WebView.h"

namespace ruzave {

namespace {
// Commands run in a document that is then replaced lose their answers; remember at most this many.
constexpr std::size_t kMaximumInFlight = 256;
} // namespace

GADSDKCoreWebView::GADSDKCoreWebView() : pageURL_(GADHosts::sdkCorePageURLString()) {}

std::shared_ptr<GADSDKCoreWebView> GADSDKCoreWebView::init() {
    std::shared_ptr<GADSDKCoreWebView> view(new GADSDKCoreWebView());
    view->handler_ = GADSDKCoreGMSGHandler::init();
    view->handler_->setSDKCoreWebView(view);
    return view;
}

GADSDKCoreWebView::~GADSDKCoreWebView() {
    if (loadTimeout_ != 0) platform::MainLoop::main().cancel(loadTimeout_);
    if (webView_) {
        // The page view must go on the main thread; a core web view usually dies there too.
        auto webView = std::move(webView_);
        webView->setDelegate({});
        if (!platform::MainLoop::isMainThread()) platform::MainLoop::main().post([webView] { webView->stopLoading(); });
        else webView->stopLoading();
    }
}

GADSDKCoreWebViewState GADSDKCoreWebView::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool GADSDKCoreWebView::hasSDKCoreLoadedAtLeastOnce() const {
    std::lock_guard lock(mutex_);
    return loadedOnce_;
}

std::shared_ptr<platform::WebView> GADSDKCoreWebView::adView() const {
    return webView_;
}

void GADSDKCoreWebView::refreshSDKCoreAndNotifyObserver(const std::shared_ptr<GADSDKCoreWebViewNotification>& observer) {
    std::weak_ptr<GADSDKCoreWebView> weak = weak_from_this();
    platform::MainLoop::main().post([weak, observer] {
        auto self = weak.lock();
        if (!self) return;
        GADSDKCoreWebViewState s = self->state();
        if (s == GADSDKCoreWebViewStateIdle || s == GADSDKCoreWebViewStateLoaded || s == GADSDKCoreWebViewStateFailed)
            self->startLoad();
        self->addObserverForOneTimeNotification(observer);
    });
}

void GADSDKCoreWebView::startLoad() {
    if (!webView_) {
        webView_ = platform::WebView::create();
        webView_->setHidden(true);
        // The core page is the SDK's own: its fetches are the app's requests, never queued behind an ad's.
        webView_->setLoadsForApp(true);
        webView_->setDelegate(weak_from_this());
    }
    std::uint64_t generation = 0;
    {
        std::unique_lock lock(mutex_);
        leaveDocument(lock);
        state_ = GADSDKCoreWebViewStateLoadRequested;
        generation = ++loadGeneration_;
        if (loadTimeout_ != 0) platform::MainLoop::main().cancel(loadTimeout_);
        std::weak_ptr<GADSDKCoreWebView> weak = weak_from_this();
        loadTimeout_ = platform::MainLoop::main().postAfter(kLoadTimeoutSeconds, [weak, generation] {
            if (auto self = weak.lock()) self->loadTimedOut(generation);
        });
    }
    auto url = platform::URL::parse(pageURL_);
    if (!url) return;
    platform::URLRequest request(*url);
    webView_->loadRequest(request);
}

void GADSDKCoreWebView::loadTimedOut(std::uint64_t generation) {
    {
        std::lock_guard lock(mutex_);
        if (generation != loadGeneration_) return;
        loadTimeout_ = 0;
        if (state_ != GADSDKCoreWebViewStateLoadRequested && state_ != GADSDKCoreWebViewStateLoading) return;
        state_ = GADSDKCoreWebViewStateFailed;
    }
    platform::logWarning("the SDK-core page did not load in time");
    if (webView_) webView_->stopLoading();
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

// The current document goes away: what its scripts were asked can no longer be answered.
void GADSDKCoreWebView::leaveDocument(std::unique_lock<std::mutex>& lock) {
    std::vector<LostHandler> lost(inFlight_.begin(), inFlight_.end());
    inFlight_.clear();
    if (lost.empty()) return;
    lock.unlock();
    reportLost(std::move(lost));
    lock.lock();
}

void GADSDKCoreWebView::reportLost(std::vector<LostHandler> handlers) {
    handlers.erase(std::remove_if(handlers.begin(), handlers.end(), [](const LostHandler& h) { return !h; }),
                   handlers.end());
    if (handlers.empty()) return;
    platform::MainLoop::main().post([handlers = std::move(handlers)] {
        for (const auto& h : handlers) h();
    });
}

void GADSDKCoreWebView::addObserverForOneTimeNotification(const std::shared_ptr<GADSDKCoreWebViewNotification>& observer) {
    if (!observer) return;
    bool notifyNow = false;
    {
        std::lock_guard lock(mutex_);
        if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) observers_.push_back(observer);
        notifyNow = state_ == GADSDKCoreWebViewStateLoaded || state_ == GADSDKCoreWebViewStateFailed;
    }
    if (notifyNow) notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

void GADSDKCoreWebView::removeObserver(const std::shared_ptr<GADSDKCoreWebViewNotification>& observer) {
    std::lock_guard lock(mutex_);
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void GADSDKCoreWebView::notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished() {
    std::vector<std::shared_ptr<GADSDKCoreWebViewNotification>> observers;
    {
        std::lock_guard lock(mutex_);
        if (state_ == GADSDKCoreWebViewStateLoadRequested || state_ == GADSDKCoreWebViewStateLoading) return;
        observers.swap(observers_);
    }
    if (observers.empty()) return;
    auto self = shared_from_this();
    platform::MainLoop::main().post([self, observers = std::move(observers)] {
        for (const auto& o : observers) o->didFinishLoadingSDKCoreInSDKCoreWebView(self);
    });
}

void GADSDKCoreWebView::enqueueJavaScriptCommand(const std::string& command, LostHandler onLost) {
    std::vector<LostHandler> lost;
    {
        std::lock_guard lock(mutex_);
        if (state_ == GADSDKCoreWebViewStateFailed) {
            lost.push_back(std::move(onLost));
        } else {
            if (pendingCommands_.size() >= kMaximumPendingCommands) {
                lost.push_back(std::move(pendingCommands_.front().onLost));
                pendingCommands_.pop_front();
            }
            pendingCommands_.push_back(Command{command, std::move(onLost)});
        }
    }
    reportLost(std::move(lost));
    dispatchPendingJavaScriptCommands();
}

void GADSDKCoreWebView::dispatchPendingJavaScriptCommands() {
    std::deque<Command> commands;
    {
        std::lock_guard lock(mutex_);
        if (state_ != GADSDKCoreWebViewStateLoaded) return;
        commands.swap(pendingCommands_);
        for (auto& c : commands) {
            if (!c.onLost) continue;
            inFlight_.push_back(c.onLost);
            if (inFlight_.size() > kMaximumInFlight) inFlight_.pop_front();
        }
    }
    if (commands.empty()) return;
    std::weak_ptr<GADSDKCoreWebView> weak = weak_from_this();
    for (auto& c : commands) {
        platform::MainLoop::main().post([weak, script = std::move(c.script)] {
            if (auto self = weak.lock()) self->executeJavaScriptAsynchronously(script);
        });
    }
}

// The seam where the rendering's ad view takes over: it runs the command on a page timer.
void GADSDKCoreWebView::executeJavaScriptAsynchronously(const std::string& command) {
    if (!webView_) return;
    webView_->evaluate("setTimeout(function(){" + command + "}, 1);");
}

void GADSDKCoreWebView::postJSNotification(const std::string& name, const platform::Value* userInfo) {
    // Built now, run later, by the one command builder of every page.
    std::string script = GADAdView::JSCommandForNotificationName(
        name, userInfo != nullptr ? std::optional<platform::Value>(*userInfo) : std::nullopt);
    std::weak_ptr<GADSDKCoreWebView> weak = weak_from_this();
    platform::MainLoop::main().post([weak, script] {
        auto self = weak.lock();
        if (self && self->webView_) self->webView_->evaluate(script);
    });
}

void GADSDKCoreWebView::setActiveViewMessageHandler(MessageHandler handler) {
    std::lock_guard lock(mutex_);
    activeViewHandler_ = std::move(handler);
}

bool GADSDKCoreWebView::shouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                        platform::WebViewNavigationType) {
    const platform::URL& url = request.url();
    std::unique_lock lock(mutex_);
    if (state_ == GADSDKCoreWebViewStateLoading) return false;
    if (url.absoluteString() == pageURL_) {
        // Also when the page reloads itself: the old document's questions go unanswered.
        leaveDocument(lock);
        state_ = GADSDKCoreWebViewStateLoading;
        GADCSI::startLoadAdStage("jsf_ios", "jsf_ios");
        if (loadTimeout_ == 0) {
            std::uint64_t generation = ++loadGeneration_;
            std::weak_ptr<GADSDKCoreWebView> weak = weak_from_this();
            loadTimeout_ = platform::MainLoop::main().postAfter(kLoadTimeoutSeconds, [weak, generation] {
                if (auto self = weak.lock()) self->loadTimedOut(generation);
            });
        }
        return true;
    }
    if (state_ != GADSDKCoreWebViewStateLoaded || !GADSDKCoreGMSGHandler::isNotificationURL(url)) return false;
    MessageHandler activeView = activeViewHandler_;
    lock.unlock();
    if (handler_->handleRequest(request)) return false;
    if (activeView && activeView(request)) return false;
    // Nobody here takes it: announce it under its own name, as the plain ad-view delegate does.
    auto message = GADSDKCoreGMSGHandler::parseNotificationURL(url);
    if (message) platform::NotificationCenter::defaultCenter()->post(message->first, this, message->second);
    return false;
}

void GADSDKCoreWebView::didFinishLoad(platform::WebView&) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == GADSDKCoreWebViewStateLoading) {
            state_ = GADSDKCoreWebViewStateLoaded;
            loadedOnce_ = true;
            GADCSI::endLoadAdStage("jsf_ios", "jsf_ios");
            if (loadTimeout_ != 0) platform::MainLoop::main().cancel(loadTimeout_);
            loadTimeout_ = 0;
        }
    }
    dispatchPendingJavaScriptCommands();
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

void GADSDKCoreWebView::didFailLoad(platform::WebView& webView, const platform::Error& error) {
    {
        std::unique_lock lock(mutex_);
        // The failing main-frame URL, compared as a string; any failure while the page loads is its own.
        std::string failing;
        if (const auto* s = platform::findString(error.userInfo, "NSErrorFailingURLStringKey")) failing = *s;
        else failing = webView.request().url().absoluteString();
        bool loading = state_ == GADSDKCoreWebViewStateLoadRequested || state_ == GADSDKCoreWebViewStateLoading;
        if (loading || failing == pageURL_) {
            if (state_ == GADSDKCoreWebViewStateLoaded) leaveDocument(lock);
            state_ = GADSDKCoreWebViewStateFailed;
            if (loadTimeout_ != 0) platform::MainLoop::main().cancel(loadTimeout_);
            loadTimeout_ = 0;
            GADCSI::cancelLoadAdStage("jsf_ios", "jsf_ios");
            platform::logWarning("the SDK-core page failed to load: " + platform::escapeLogText(error.description));
        }
    }
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

void GADSDKCoreWebView::setActiveViewObserver(const std::weak_ptr<GADAdViewActiveViewMonitoring>& observer,
                                              std::uint32_t activeViewID) {
    if (observer.expired()) return;
    std::lock_guard lock(mutex_);
    auto it = activeViewObservers_.find(activeViewID);
    if (it != activeViewObservers_.end() && !it->second.expired()) return;  // the first registration wins
    activeViewObservers_[activeViewID] = observer;
    runningActiveViewIDs_.insert(activeViewID);
}

void GADSDKCoreWebView::removeActiveViewObserverForActiveViewID(std::uint32_t activeViewID) {
    std::lock_guard lock(mutex_);
    activeViewObservers_.erase(activeViewID);
}

void GADSDKCoreWebView::clearAllActiveViewInstances() {
    std::map<std::uint32_t, std::weak_ptr<GADAdViewActiveViewMonitoring>> observers;
    {
        std::lock_guard lock(mutex_);
        runningActiveViewIDs_.clear();
        observers.swap(activeViewObservers_);
    }
    for (const auto& entry : observers) {
        GADRunOnMainThread([weak = entry.second] {
            if (auto o = weak.lock()) o->adViewDidStopActiveViewMonitoring();
        });
    }
}

bool GADSDKCoreWebView::isActiveViewRunning() const {
    std::lock_guard lock(mutex_);
    return !runningActiveViewIDs_.empty();
}

void GADSDKCoreWebView::activeViewDidReceiveVisibilityNotification(bool visible, std::uint32_t activeViewID) {
    std::weak_ptr<GADAdViewActiveViewMonitoring> weak;
    {
        std::lock_guard lock(mutex_);
        auto it = activeViewObservers_.find(activeViewID);
        if (it == activeViewObservers_.end()) return;
        weak = it->second;
    }
    platform::MainLoop::main().post([weak, visible] {
        if (auto o = weak.lock()) o->adViewDidChangeActiveViewVisibility(visible);
    });
}

void GADSDKCoreWebView::activeViewDidReceiveUntrackNotification(std::uint32_t activeViewID) {
    std::weak_ptr<GADAdViewActiveViewMonitoring> weak;
    {
        std::lock_guard lock(mutex_);
        runningActiveViewIDs_.erase(activeViewID);
        auto it = activeViewObservers_.find(activeViewID);
        if (it == activeViewObservers_.end()) return;
        weak = it->second;
        activeViewObservers_.erase(it);
    }
    platform::MainLoop::main().post([weak] {
        if (auto o = weak.lock()) o->adViewDidStopActiveViewMonitoring();
    });
}

} // namespace ruzave
