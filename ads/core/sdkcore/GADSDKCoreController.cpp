#include "ads/core/sdkcore/GADSDKCoreController.h"

#include <algorithm>

#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADSDKConstantsReceiver.h"
#include "ads/core/sdkcore/GADSDKCoreControllerDelegate.h"
#include "ads/core/sdkcore/GADSDKCoreGMSGHandler.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADBannerAd.h"
#include "ads/core/slot/GADInterstitialAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADCSI.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADLogger.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

// JSON put into script text: U+2028 and U+2029 end a line in script source, so escape them.
std::string scriptSafe(std::string json) {
    static const std::string ls = "\xE2\x80\xA8", ps = "\xE2\x80\xA9";
    for (const auto& [from, to] : {std::pair{ls, std::string("\\u2028")}, std::pair{ps, std::string("\\u2029")}}) {
        for (std::size_t at = json.find(from); at != std::string::npos; at = json.find(from, at + to.size()))
            json.replace(at, from.size(), to);
    }
    return json;
}

// The requester of a sent request, when it is still there and still waits for this answer (main thread).
std::shared_ptr<GADSDKCoreControllerDelegate> answerable(const std::weak_ptr<GADSDKCoreControllerDelegate>& weak,
                                                         const std::string& requestID) {
    auto requester = weak.lock();
    if (!requester || !requester->isWaitingForRequestID(requestID)) return nullptr;
    return requester;
}

} // namespace

std::shared_ptr<GADAd> GADSDKCoreController::adWithFetchedAd(const platform::Value& fetchedAd,
                                                            std::int32_t requestedAdType) {
    std::shared_ptr<GADAd> ad;
    switch (requestedAdType) {
    case 0: ad = GADAd::initWithDictionary(fetchedAd); break;
    case 1: ad = GADBannerAd::initWithDictionary(fetchedAd); break;
    case 2: ad = GADInterstitialAd::initWithDictionary(fetchedAd); break;
    default: return nullptr;
    }
    if (const platform::Value* mediation = platform::find(fetchedAd, "is_mediation");
        mediation != nullptr && platform::boolValue(*mediation)) {
        ad->setResponseType(GADResponseTypeMediation);
        platform::Value headers = ad->responseHeaders() && ad->responseHeaders()->is_object()
                                      ? *ad->responseHeaders()
                                      : platform::Value::object();
        headers["x-zudo-mediation"] = 1;
        headers["Content-Type"] = "application/json";
        ad->setResponseHeaders(headers);
    }
    return ad;
}

std::shared_ptr<GADSDKCoreController> GADSDKCoreController::sharedInstance() {
    static std::shared_ptr<GADSDKCoreController> shared = init();
    return shared;
}

std::shared_ptr<GADSDKCoreController> GADSDKCoreController::init() {
    std::shared_ptr<GADSDKCoreController> c(new GADSDKCoreController());
    c->requestURLQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.sdk-core-controller-url");
    c->activeWebView_ = GADSDKCoreWebView::init();
    c->activeWebView_->SDKCoreGMSGHandler()->setDelegate(c);
    return c;
}

GADSDKCoreController::~GADSDKCoreController() {
    for (auto& [id, pending] : pendingBuildAdURLDelegates_) {
        (void)id;
        if (pending.timeout != 0) platform::MainLoop::main().cancel(pending.timeout);
    }
}

void GADSDKCoreController::setSDKConstantsReceiver(std::shared_ptr<GADSDKConstantsReceiver> receiver) {
    std::lock_guard lock(mutex_);
    constantsReceiver_ = std::move(receiver);
}

void GADSDKCoreController::buildAdURL(const std::shared_ptr<GADSDKCoreControllerDelegate>& requester) {
    if (!requester) return;
    GADCSI::startLoadAdStage("rur_ios", GADCSI::loadAdStageKey("rur_ios", requester->CSIIdentifier()));
    {
        std::lock_guard lock(mutex_);
        pendingActiveWebViewLoadDelegates_.push_back(requester);
    }
    attemptToRefreshActiveWebViewSDKCore();
}

void GADSDKCoreController::attemptToRefreshActiveWebViewSDKCore() {
    bool stale = false;
    {
        std::lock_guard lock(mutex_);
        std::uint64_t now = GADAbsoluteTime::absoluteTimeInMilliseconds();
        stale = now - lastWebViewRefreshTimestamp_ > kStalePageMilliseconds;
    }
    GADSDKCoreWebViewState state = activeWebView_->state();
    if (state == GADSDKCoreWebViewStateIdle || state == GADSDKCoreWebViewStateFailed || stale)
        refreshActiveWebViewSDKCore();
    else
        observeSDKCoreWebViewForSDKCoreLoadRequestCompleted();
}

void GADSDKCoreController::refreshActiveWebViewSDKCore() {
    activeWebView_->refreshSDKCoreAndNotifyObserver(shared_from_this());
    std::lock_guard lock(mutex_);
    SDKConstantsNeedReload_ = true;
    lastWebViewRefreshTimestamp_ = GADAbsoluteTime::absoluteTimeInMilliseconds();
}

void GADSDKCoreController::observeSDKCoreWebViewForSDKCoreLoadRequestCompleted() {
    activeWebView_->addObserverForOneTimeNotification(shared_from_this());
}

void GADSDKCoreController::didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<GADSDKCoreWebView>& webView) {
    if (webView != activeWebView_) return;
    std::vector<std::shared_ptr<GADSDKCoreControllerDelegate>> send, fail;
    bool stillPending = false;
    GADSDKCoreWebViewState state = activeWebView_->state();
    {
        std::lock_guard lock(mutex_);
        if (SDKConstantsNeedReload_ && state == GADSDKCoreWebViewStateLoaded) {
            platform::Value version = platform::Value::object();
            version["js"] = GADRequest::sdkVersion();
            // Queued before the waiting requests, so the page hears the constants query first.
            activeWebView_->enqueueJavaScriptCommand("ZUDO_getSdkConstants(" + platform::toScriptJSON(version) + ");");
        }
        if (state == GADSDKCoreWebViewStateLoaded) send.swap(pendingActiveWebViewLoadDelegates_);
        else if (state == GADSDKCoreWebViewStateFailed) fail.swap(pendingActiveWebViewLoadDelegates_);
        if (!activeWebView_->hasSDKCoreLoadedAtLeastOnce()) lastWebViewRefreshTimestamp_ = 0;
        stillPending = !pendingActiveWebViewLoadDelegates_.empty();
    }
    for (const auto& r : send) asynchronouslyRequestURLForDelegate(r);
    for (const auto& r : fail) {
        std::weak_ptr<GADSDKCoreControllerDelegate> weak = r;
        platform::MainLoop::main().post([weak] {
            if (auto requester = weak.lock()) requester->failedJavaScriptFile();
        });
    }
    if (stillPending) observeSDKCoreWebViewForSDKCoreLoadRequestCompleted();
}

void GADSDKCoreController::asynchronouslyRequestURLForDelegate(const std::shared_ptr<GADSDKCoreControllerDelegate>& requester) {
    std::weak_ptr<GADSDKCoreController> weakSelf = weak_from_this();
    requestURLQueue_->async([weakSelf, requester] {
        auto self = weakSelf.lock();
        if (!self) return;
        std::string requestID = std::to_string(self->requestID_++);
        requester->setRequestID(requestID);
        // The requester may hop to the main thread here: no lock of ours is held.
        std::optional<platform::Value> parameters = requester->requestParameters();
        std::optional<std::string> json;
        if (parameters && parameters->is_object())
            json = gad_JSONStringPretty(gad_JSONSafeDictionary(*parameters), false);
        if (!json) {
            // Nothing to send: the requester still hears that its request was refused.
            std::weak_ptr<GADSDKCoreControllerDelegate> weak = requester;
            platform::MainLoop::main().post([weak, requestID] {
                if (auto r = answerable(weak, requestID)) r->invalidJavaScriptRequest();
            });
            return;
        }
        const char* function = parameters->contains("ruzave-ad-url-mediation") ? "ZUDO_getAdapterLessMediationAd" : "ZUDO_getAd";
        std::string command = std::string(function) + "(" + scriptSafe(*json) + ");";
        {
            std::lock_guard lock(self->mutex_);
            PendingRequest& pending = self->pendingBuildAdURLDelegates_[requestID];
            pending.requester = requester;
            pending.timeout = platform::MainLoop::main().postAfter(kRequestTimeoutSeconds, [weakSelf, requestID] {
                if (auto s = weakSelf.lock()) s->failRequest(requestID);
            });
        }
        self->activeWebView_->enqueueJavaScriptCommand(command, [weakSelf, requestID] {
            if (auto s = weakSelf.lock()) s->failRequest(requestID);
        });
    });
}

std::optional<std::shared_ptr<GADSDKCoreControllerDelegate>> GADSDKCoreController::takeRequester(const std::string& requestID) {
    std::lock_guard lock(mutex_);
    auto it = pendingBuildAdURLDelegates_.find(requestID);
    if (it == pendingBuildAdURLDelegates_.end()) return std::nullopt;
    auto requester = it->second.requester;
    if (it->second.timeout != 0) platform::MainLoop::main().cancel(it->second.timeout);
    pendingBuildAdURLDelegates_.erase(it);
    return requester;
}

// The page will never answer this request (dropped, lost with its document, or too late).
void GADSDKCoreController::failRequest(const std::string& requestID) {
    auto requester = takeRequester(requestID);
    if (!requester || !*requester) return;
    std::weak_ptr<GADSDKCoreControllerDelegate> weak = *requester;
    platform::MainLoop::main().post([weak, requestID] {
        if (auto r = answerable(weak, requestID)) r->failedJavaScriptFile();
    });
}

std::size_t GADSDKCoreController::pendingBuildAdURLDelegateCount() const {
    std::lock_guard lock(mutex_);
    return pendingBuildAdURLDelegates_.size();
}

void GADSDKCoreController::SDKCoreGMSGHandlerLoadAdURLWithRequestIDParameters(GADSDKCoreGMSGHandler&, const std::string& requestID,
                                                                               const platform::Value& parameters) {
    auto requester = takeRequester(requestID);
    if (!requester || !*requester) return;
    std::weak_ptr<GADSDKCoreControllerDelegate> weak = *requester;
    platform::MainLoop::main().post([weak, requestID, parameters] {
        auto r = answerable(weak, requestID);
        if (!r) return;
        GADCSI::endLoadAdStage("rur_ios", GADCSI::loadAdStageKey("rur_ios", r->CSIIdentifier()));
        GADCSI::startLoadAdStage("nwl_ios", GADCSI::loadAdStageKey("nwl_ios", r->CSIIdentifier()));
        r->loadAdURLWithParameters(parameters);
    });
}

void GADSDKCoreController::SDKCoreGMSGHandlerLoadAdWithRequestIDParameters(GADSDKCoreGMSGHandler&, const std::string& requestID,
                                                                            const platform::Value& parameters) {
    auto requester = takeRequester(requestID);
    if (!requester || !*requester) return;
    std::weak_ptr<GADSDKCoreControllerDelegate> weak = *requester;
    platform::MainLoop::main().post([weak, requestID, parameters] {
        auto r = answerable(weak, requestID);
        if (!r) return;
        std::shared_ptr<GADAd> ad = adWithFetchedAd(parameters, r->requestedAdType());
        if (!ad) {
            r->invalidJavaScriptRequest();
            return;
        }
        r->loadAd(ad, ad->responseHeaders());
    });
}

void GADSDKCoreController::SDKCoreGMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(GADSDKCoreGMSGHandler&,
                                                                                         const std::string& requestID,
                                                                                         const platform::Value& parameters) {
    GADLogger::sharedInstance()->logPublicMessage("Invalid Request: " + gad_valueDescription(parameters));
    auto requester = takeRequester(requestID);
    if (!requester || !*requester) return;
    GADCSI::cancelLoadAdStage("rur_ios", GADCSI::loadAdStageKey("rur_ios", (*requester)->CSIIdentifier()));
    std::weak_ptr<GADSDKCoreControllerDelegate> weak = *requester;
    platform::MainLoop::main().post([weak, requestID] {
        if (auto r = answerable(weak, requestID)) r->invalidJavaScriptRequest();
    });
}

void GADSDKCoreController::SDKCoreGMSGHandlerDidLoadSDKConstants(GADSDKCoreGMSGHandler&, const platform::Value& parameters) {
    applySDKConstants(parameters);
    std::lock_guard lock(mutex_);
    SDKConstantsNeedReload_ = false;
}

void GADSDKCoreController::SDKCoreGMSGHandlerDidReceiveSDKCoreUpdateNotification(GADSDKCoreGMSGHandler&) {
    std::lock_guard lock(mutex_);
    SDKCoreUpdateHandled_ = false;
}

bool GADSDKCoreController::SDKConstantsNeedReload() const {
    std::lock_guard lock(mutex_);
    return SDKConstantsNeedReload_;
}

std::uint64_t GADSDKCoreController::lastWebViewRefreshTimestamp() const {
    std::lock_guard lock(mutex_);
    return lastWebViewRefreshTimestamp_;
}

double GADSDKCoreController::activeViewSamplingInterval() const {
    std::lock_guard lock(mutex_);
    return activeViewSamplingInterval_;
}

void GADSDKCoreController::setActiveViewSamplingInterval(double seconds) {
    std::lock_guard lock(mutex_);
    activeViewSamplingInterval_ = seconds;
}

double GADSDKCoreController::swipeToViewSamplingInterval() const {
    std::lock_guard lock(mutex_);
    return swipeToViewSamplingInterval_;
}

void GADSDKCoreController::setSwipeToViewSamplingInterval(double seconds) {
    std::lock_guard lock(mutex_);
    swipeToViewSamplingInterval_ = seconds;
}

std::uint32_t GADSDKCoreController::activeViewUnloadCacheMaxSize() const {
    std::lock_guard lock(mutex_);
    return activeViewUnloadCacheMaxSize_;
}

bool GADSDKCoreController::useNewWebViewsForActiveViewProcessing() const {
    std::lock_guard lock(mutex_);
    return useNewWebViewsForActiveViewProcessing_;
}

std::shared_ptr<GADSDKCoreWebView> GADSDKCoreController::SDKCoreWebViewForActiveViewProcessing() {
    removeFinishedActiveViewWebViews();
    std::shared_ptr<GADSDKCoreWebView> webView;
    bool load = false;
    {
        std::lock_guard lock(mutex_);
        if (useNewWebViewsForActiveViewProcessing_) {
            webView = GADSDKCoreWebView::init();
            load = true;
        } else {
            if (!SDKCoreUpdateHandled_ || !activeViewSDKCoreWebView_) {
                activeViewSDKCoreWebView_ = GADSDKCoreWebView::init();
                load = true;
            }
            SDKCoreUpdateHandled_ = true;
            webView = activeViewSDKCoreWebView_;
        }
    }
    if (load) webView->refreshSDKCoreAndNotifyObserver(nullptr);
    return webView;
}

void GADSDKCoreController::finishedUsingSDKCoreWebViewForActiveViewProcessing(const std::shared_ptr<GADSDKCoreWebView>& webView) {
    if (webView && webView->isActiveViewRunning()) cacheRunningActiveViewWebView(webView);
}

void GADSDKCoreController::cacheRunningActiveViewWebView(const std::shared_ptr<GADSDKCoreWebView>& webView) {
    {
        std::lock_guard lock(mutex_);
        if (std::find(activeViewSDKCoreWebViews_.begin(), activeViewSDKCoreWebViews_.end(), webView) ==
            activeViewSDKCoreWebViews_.end())
            activeViewSDKCoreWebViews_.push_back(webView);
    }
    removeFinishedActiveViewWebViews();
}

void GADSDKCoreController::removeFinishedActiveViewWebViews() {
    std::vector<std::shared_ptr<GADSDKCoreWebView>> dropped;
    {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<GADSDKCoreWebView>> kept;
        for (auto it = activeViewSDKCoreWebViews_.rbegin(); it != activeViewSDKCoreWebViews_.rend(); ++it) {
            if ((*it)->isActiveViewRunning() && kept.size() < activeViewUnloadCacheMaxSize_) kept.insert(kept.begin(), *it);
            else dropped.push_back(*it);
        }
        activeViewSDKCoreWebViews_ = std::move(kept);
    }
    // Cleared views have no running observers left, so giving them back caches nothing again.
    for (const auto& w : dropped) {
        w->clearAllActiveViewInstances();
        finishedUsingSDKCoreWebViewForActiveViewProcessing(w);
    }
}

} // namespace ruzave
