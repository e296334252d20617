#pragma once
// Serves the gmsg messages of the SDK-core page: ad-request answers and SDK constants go to the
// delegate (on a later main-loop turn), and HTTP fetches the page asks for are run here and answered
// into the page. Main thread (fetch bookkeeping is locked, so queries may come from any thread).
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/net/URLRequest.h"

namespace ruzave {

class GADSDKCoreWebView;
class GADSDKCoreGMSGHandlerDelegate;

class GADSDKCoreGMSGHandler : public std::enable_shared_from_this<GADSDKCoreGMSGHandler> {
public:
    static std::shared_ptr<GADSDKCoreGMSGHandler> init();

    std::shared_ptr<GADSDKCoreWebView> SDKCoreWebView() const { return webView_.lock(); }
    void setSDKCoreWebView(std::weak_ptr<GADSDKCoreWebView> webView) { webView_ = std::move(webView); }
    std::shared_ptr<GADSDKCoreGMSGHandlerDelegate> delegate() const;
    void setDelegate(std::weak_ptr<GADSDKCoreGMSGHandlerDelegate> delegate);

    // True when the request is a gmsg message this handler serves (whatever the action then does).
    bool handleRequest(const platform::URLRequest& request);
    bool handleNotification(const std::string& name, const platform::Value& parameters);

    // "gmsg" in any letter case.
    static bool isNotificationURL(const platform::URL& url);
    // The message name (the path without its first character) and its parameters: the query split at
    // "&" and ";", each pair percent-decoded, values as strings. nullopt for other URLs.
    static std::optional<std::pair<std::string, platform::Value>> parseNotificationURL(const platform::URL& url);

    // A fetch id (a JSON value) is in progress from its start until its answer.
    bool isFetchInProgressForFetchRequestID(const platform::Value& fetchRequestID) const;

private:
    GADSDKCoreGMSGHandler() = default;

    void didReceiveFetchAdAction(const platform::Value& parameters);
    void fetchFinished(const std::string& key, std::uint64_t token, const platform::Value& fetchRequestID, bool success,
                       const std::string& reason, int responseCode, const std::string& body,
                       const platform::Value& headers);
    void answerFetch(bool success, const std::string& reason, int responseCode, const std::string& body,
                     const platform::Value& fetchRequestID, const platform::Value& headers);

    std::weak_ptr<GADSDKCoreWebView> webView_;
    mutable std::mutex mutex_;
    std::weak_ptr<GADSDKCoreGMSGHandlerDelegate> delegate_;
    // Fetch id (as its JSON text, so "1" and 1 differ) -> the token of the fetch under way.
    std::map<std::string, std::uint64_t> fetches_;
    std::uint64_t nextToken_ = 1;
};

} // namespace ruzave
