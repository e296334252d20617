#pragma once
// Fetches the content of one ad over one GADURLConnection and reads the ad server's "x-zudo-" response
// headers into the GADAd it fills; tells its delegate once, on the main thread, whether the ad arrived.
// One fetch per fetcher. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "ads/core/net/GADURLConnectionDelegate.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace platform {
class URLRequest;
}

namespace ruzave {

class GADAd;
class GADRequest;
class GADAdFetcher;
class GADTiming;
class GADURLConnection;

// Both required.
class GADAdFetcherDelegate {
public:
    virtual ~GADAdFetcherDelegate() = default;
    // adFetcher:didFetchAd:
    virtual void adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad) = 0;
    // adFetcher:didFailToFetchAd:withError:responseCode: (the HTTP status, 0 where there is none). The
    // error is a GADRequestError.
    virtual void adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad, const platform::Error& error,
                           long responseCode) = 0;
};

class GADAdFetcher : public GADURLConnectionDelegate, public std::enable_shared_from_this<GADAdFetcher> {
public:
    static std::shared_ptr<GADAdFetcher> init();
    // A fetcher loading over `connection` rather than a new one of its own (tests hand in a busy one).
    static std::shared_ptr<GADAdFetcher> initWithConnection(std::shared_ptr<GADURLConnection> connection);
    ~GADAdFetcher() override;

    // The slot's entry: fetches the ad's URL unless the ad already carries HTML. Counts as an ad request.
    virtual bool fetchRemainingContentForAd(const std::shared_ptr<GADAd>& ad,
                                            const std::optional<platform::Value>& headers,
                                            const std::weak_ptr<GADAdFetcherDelegate>& delegate,
                                            const std::shared_ptr<GADRequest>& request, platform::Error* error);
    virtual bool fetchRequestURL(const std::optional<platform::URLRequest>& request,
                                 const std::weak_ptr<GADAdFetcherDelegate>& delegate, platform::Error* error);
    // false on a second use (code 2, nothing else happens). A start the connection refuses ends in one
    // report: in `error` when the caller asks for it, else through the delegate; false either way.
    // Success and the end of a fetch that needed no download reach the delegate on a later turn.
    virtual bool fetchRequestURL(const std::optional<platform::URLRequest>& request,
                                 const std::weak_ptr<GADAdFetcherDelegate>& delegate,
                                 const std::optional<platform::Value>& responseHeaders,
                                 const std::shared_ptr<GADAd>& responseAd, platform::Error* error);
    // No delegate call follows a cancel.
    virtual void cancel();

    // Process-wide settings in the headers ("x-zudo-use-https", "x-zudo-content-url-opted-out",
    // "x-zudo-oauth-token-status") are applied only for ad requests, from the final network response
    // of an ad-server host. fetchRemainingContentForAd sets this; the reward-based video ad sets it
    // before fetchRequestURL. Page-driven fetches leave it off.
    void setIsAdRequest(bool isAdRequest) { isAdRequest_ = isAdRequest; }
    bool isAdRequest() const { return isAdRequest_; }

    // Hosts that receive the access token, read once per process from the settings.
    static const std::set<std::string>& whitelistedDomains();
    // {"Authorization": "Bearer <token>"} for an https URL of a whitelisted host when a token exists
    // (kept as the token this fetch sent); else nullopt.
    std::optional<platform::Value> requestHeadersForURL(const std::optional<platform::URL>& url);
    // Reads one set of headers into the ad. `processWide`: also apply the process-wide settings.
    void processHTTPHeaders(const platform::Value& headers, bool processWide);
    // The kind of response the lower-cased headers announce; 0 with code 3 in `error` for a mediation
    // response that is not JSON.
    std::uint32_t adResponseTypeFromHeaders(const platform::Value& lowercaseHeaders, platform::Error* error) const;

    bool hasStartedFetch() const { return hasStartedFetch_; }
    bool hasNotifiedDelegate() const { return hasNotifiedDelegate_; }
    bool adConnectionHasCompleted() const { return adConnectionHasCompleted_; }
    const std::optional<std::string>& signedInAdsToken() const { return signedInAdsToken_; }
    const std::shared_ptr<GADAd>& ad() const { return ad_; }
    const std::shared_ptr<GADRequest>& request() const { return request_; }
    const std::shared_ptr<GADTiming>& timer() const { return timer_; }

    // GADURLConnectionDelegate
    std::optional<platform::Error> connectionShouldRedirectToURL(GADURLConnection& connection,
                                                                 const platform::URL& url) override;
    void connectionLoadDidReceiveRedirectResponse(GADURLConnection& connection,
                                                  const platform::HTTPURLResponse& response) override;
    bool connectionLoadShouldUseCachedResponse(GADURLConnection& connection,
                                               const platform::HTTPURLResponse& response) override;
    void connectionLoadDidReceiveCachedResponse(GADURLConnection& connection,
                                                const std::shared_ptr<GADCachedURLResponse>& response) override;
    void connectionLoadDidFinish(GADURLConnection& connection, const std::optional<std::string>& body,
                                 const std::optional<platform::URL>& baseURL) override;
    void connectionLoadDidFail(GADURLConnection& connection, const std::optional<platform::Error>& error,
                               long httpStatusCode) override;

protected:
    GADAdFetcher();

private:
    void completedURLConnection();
    void resourceFailedToLoadWithError(const platform::Error& error, long responseCode);
    // The error for a final HTTP status, logging the public message for 400.
    platform::Error errorForStatus(long status, const std::optional<platform::Error>& underlying) const;
    bool isAdServerHost(const platform::URL& url) const;

    bool hasStartedFetch_ = false;
    bool hasNotifiedDelegate_ = false;
    bool adConnectionHasCompleted_ = false;
    bool isAdRequest_ = false;
    bool starting_ = false;  // inside the start call: completion waits for a later turn
    std::optional<long> finalStatus_;
    std::optional<std::string> signedInAdsToken_;
    std::shared_ptr<GADAd> ad_;
    std::shared_ptr<GADRequest> request_;
    std::weak_ptr<GADAdFetcherDelegate> delegate_;
    std::shared_ptr<GADTiming> timer_;
    std::shared_ptr<GADURLConnection> adConnection_;
};

} // namespace ruzave
