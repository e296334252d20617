#pragma once
// The process-wide owner of the hidden SDK-core page: (re)loads it, holds requests until it has loaded,
// numbers them, sends each as a script call, asks for the SDK constants after each load, and routes the
// page's answers back to the requester that asked. It also hands out the core web views of active-view
// reporting. Any thread; requesters hear their answers on the main thread.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/sdkcore/GADSDKCoreGMSGHandlerDelegate.h"
#include "ads/core/sdkcore/GADSDKCoreWebViewNotification.h"
#include "platform/base/Value.h"
#include "platform/runloop/MainLoop.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADAd;
class GADSDKConstantsReceiver;
class GADSDKCoreControllerDelegate;
class GADSDKCoreWebView;

class GADSDKCoreController : public GADSDKCoreWebViewNotification,
                             public GADSDKCoreGMSGHandlerDelegate,
                             public std::enable_shared_from_this<GADSDKCoreController> {
public:
    static constexpr std::uint64_t kStalePageMilliseconds = 3'600'000;
    // A request the page leaves unanswered this long is answered as a failed page.
    static constexpr double kRequestTimeoutSeconds = 30.0;
    static constexpr const char* kSettingsPrefix = "/ruzave/ads/";

    static std::shared_ptr<GADSDKCoreController> sharedInstance();
    // A controller of its own (tests); the process uses sharedInstance().
    static std::shared_ptr<GADSDKCoreController> init();
    ~GADSDKCoreController() override;

    // Queues the requester and makes sure the page is or will be loaded; answers come later.
    void buildAdURL(const std::shared_ptr<GADSDKCoreControllerDelegate>& requester);

    std::shared_ptr<GADSDKCoreWebView> activeSDKCoreWebView() const { return activeWebView_; }
    // Requests sent to the page and not answered yet.
    std::size_t pendingBuildAdURLDelegateCount() const;

    std::shared_ptr<GADSDKCoreWebView> SDKCoreWebViewForActiveViewProcessing();
    void finishedUsingSDKCoreWebViewForActiveViewProcessing(const std::shared_ptr<GADSDKCoreWebView>& webView);

    double activeViewSamplingInterval() const;
    void setActiveViewSamplingInterval(double seconds);
    double swipeToViewSamplingInterval() const;
    void setSwipeToViewSamplingInterval(double seconds);
    std::uint32_t activeViewUnloadCacheMaxSize() const;
    bool useNewWebViewsForActiveViewProcessing() const;
    bool SDKConstantsNeedReload() const;
    // SDK-clock milliseconds of the last page reload (0: none that succeeded yet).
    std::uint64_t lastWebViewRefreshTimestamp() const;

    // Where the immediate constants go (nullptr: nowhere).
    void setSDKConstantsReceiver(std::shared_ptr<GADSDKConstantsReceiver> receiver);

    // Readers of the stored forms: array JSON text, else a comma-separated list.
    static std::vector<std::string> stringListFromSetting(const std::string& text);

    // GADSDKCoreWebViewNotification (main thread).
    void didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<GADSDKCoreWebView>& webView) override;

    // GADSDKCoreGMSGHandlerDelegate (main thread).
    void SDKCoreGMSGHandlerLoadAdURLWithRequestIDParameters(GADSDKCoreGMSGHandler& handler, const std::string& requestID,
                                                             const platform::Value& parameters) override;
    void SDKCoreGMSGHandlerLoadAdWithRequestIDParameters(GADSDKCoreGMSGHandler& handler, const std::string& requestID,
                                                          const platform::Value& parameters) override;
    void SDKCoreGMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(GADSDKCoreGMSGHandler& handler,
                                                                       const std::string& requestID,
                                                                       const platform::Value& parameters) override;
    void SDKCoreGMSGHandlerDidLoadSDKConstants(GADSDKCoreGMSGHandler& handler, const platform::Value& parameters) override;
    void SDKCoreGMSGHandlerDidReceiveSDKCoreUpdateNotification(GADSDKCoreGMSGHandler& handler) override;

    // The ad of a "loadAd" answer: a plain, banner or interstitial ad (requested type 0, 1, 2) read from
    // the decoded "fetched_ad"; a true "is_mediation" in it makes a mediation response whose headers
    // say so. nullptr for another type (the request is then refused).
    static std::shared_ptr<GADAd> adWithFetchedAd(const platform::Value& fetchedAd, std::int32_t requestedAdType);

private:
    struct PendingRequest {
        std::shared_ptr<GADSDKCoreControllerDelegate> requester;
        platform::MainLoop::TaskId timeout = 0;
    };

    GADSDKCoreController() = default;
    void attemptToRefreshActiveWebViewSDKCore();
    void refreshActiveWebViewSDKCore();
    void observeSDKCoreWebViewForSDKCoreLoadRequestCompleted();
    void asynchronouslyRequestURLForDelegate(const std::shared_ptr<GADSDKCoreControllerDelegate>& requester);
    std::optional<std::shared_ptr<GADSDKCoreControllerDelegate>> takeRequester(const std::string& requestID);
    void failRequest(const std::string& requestID);
    void cacheRunningActiveViewWebView(const std::shared_ptr<GADSDKCoreWebView>& webView);
    void removeFinishedActiveViewWebViews();
    // GADSDKCoreController+SDKConstants.cpp
    void applySDKConstants(const platform::Value& parameters);

    std::shared_ptr<platform::DispatchQueue> requestURLQueue_;
    std::shared_ptr<GADSDKCoreWebView> activeWebView_;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<GADSDKCoreControllerDelegate>> pendingActiveWebViewLoadDelegates_;
    std::vector<std::shared_ptr<GADSDKCoreWebView>> activeViewSDKCoreWebViews_;
    std::uint64_t lastWebViewRefreshTimestamp_ = 0;
    std::uint32_t activeViewUnloadCacheMaxSize_ = 3;
    bool SDKCoreUpdateHandled_ = false;
    std::shared_ptr<GADSDKCoreWebView> activeViewSDKCoreWebView_;
    bool useNewWebViewsForActiveViewProcessing_ = false;
    double activeViewSamplingInterval_ = 0.4;
    double swipeToViewSamplingInterval_ = 0;
    bool SDKConstantsNeedReload_ = true;
    std::map<std::string, PendingRequest> pendingBuildAdURLDelegates_;
    std::shared_ptr<GADSDKConstantsReceiver> constantsReceiver_;

    // The request URL queue only.
    std::uint32_t requestID_ = 1;
};

} // namespace ruzave
