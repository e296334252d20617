#pragma once
// Sends one conversion ping and decides from the HTTP status what happens next: a 2xx answer ends it,
// another status below 400 leaves it stored for the next launch, and 400 or above or a failed
// connection hands it to the retry queue until its retries run out or it goes stale. Every attempt
// stores the ping before ping() returns, so that it survives the app being ended.
// ping() may be called from any thread (off the main thread, only for a new ping) and always runs the
// connection on the main thread; everything else is main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/net/URLRequest.h"

namespace platform {
class URLConnection;
}

namespace ruzave {

class ACTPingerDelegate;
class ACTPingerStore;
class ACTPingRetryQueue;

// Keys of a stored ping's descriptor.
inline constexpr const char* kACTPingRetryCountKey = "ruzave_ping_rc";
inline constexpr const char* kACTPingStaleDateKey = "ruzave_ping_stalets";
// The once-only flag a success sets; an addition older readers ignore.
inline constexpr const char* kACTPingDeduplicationKey = "ruzave_ping_ddk";
// The error domain of HTTP failures.
inline constexpr const char* kACTPingErrorDomain = "com.ruzave.conversion.ibasdk";

class ACTPinger : public platform::URLConnectionDelegate, public std::enable_shared_from_this<ACTPinger> {
public:
    static constexpr std::uint32_t kMaxRetryCount = 200;
    static constexpr double kStaleInterval = 1209600.0;  // 14 days

    static std::shared_ptr<ACTPinger> initWithRequest(const platform::URLRequest& request);
    // Rebuilds a stored ping, marked as already carrying the retry marker; nullptr for no string or
    // one that is no http(s) URL. The retry count is clamped to 0...200.
    static std::shared_ptr<ACTPinger> pingerWithRequestString(const std::optional<std::string>& requestString,
                                                              const std::optional<platform::Value>& retryParameters);

    // Held strongly until the ping ends, so the reporter outlives its public object.
    const std::shared_ptr<ACTPingerDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ACTPingerDelegate> delegate) { delegate_ = std::move(delegate); }
    const std::string& deduplicationKey() const { return deduplicationKey_; }
    void setDeduplicationKey(std::string key) { deduplicationKey_ = std::move(key); }

    const platform::URLRequest& request() const { return request_; }
    const std::shared_ptr<platform::URLConnection>& connection() const { return connection_; }
    // Cancels the connection it replaces.
    void setConnection(std::shared_ptr<platform::URLConnection> connection);
    const std::optional<platform::HTTPURLResponse>& response() const { return response_; }
    const platform::Bytes& receivedData() const { return receivedData_; }
    std::uint32_t remainingRetryCount() const { return remainingRetryCount_; }
    void setRemainingRetryCount(std::uint32_t count) { remainingRetryCount_ = count; }
    const std::optional<double>& staleDate() const { return staleDate_; }
    void setStaleDate(std::optional<double> date) { staleDate_ = date; }
    bool isModifiedForRetry() const { return modifiedForRetry_; }

    // The stored descriptor: retry count, stale date and once-only flag; nullopt without a stale date.
    std::optional<platform::Value> parameters() const;
    // The request URL's absolute text.
    std::string requestString() const;
    void ping();
    // Retries left and not yet stale.
    bool shouldRetry() const;
    // Same request URL.
    bool isEqual(const ACTPinger& other) const;

    std::shared_ptr<ACTPingRetryQueue> retryQueue() const;
    std::shared_ptr<ACTPingerStore> pingerStore() const;

    // The connection's events.
    void didReceiveResponse(const std::shared_ptr<platform::URLConnection>& connection,
                            const platform::HTTPURLResponse& response) override;
    void didReceiveData(const std::shared_ptr<platform::URLConnection>& connection, const platform::Bytes& data) override;
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>& connection) override;
    void didFailWithError(const std::shared_ptr<platform::URLConnection>& connection, const platform::Error& error) override;

    explicit ACTPinger(platform::URLRequest request);
    ~ACTPinger() override;
    ACTPinger(const ACTPinger&) = delete;
    ACTPinger& operator=(const ACTPinger&) = delete;

private:
    // Marks the request as a retry and stores it; gives the request of this attempt.
    platform::URLRequest storeForSending();
    void startConnection(const platform::URLRequest& sending);
    void appendRetryParameter();
    void handleFailureWithError(const std::optional<platform::Error>& error);
    void succeeded();
    // Ends the attempt: drops the connection, and the pinger's hold on itself after this turn.
    void endAttempt(bool keepDelegate);

    std::shared_ptr<ACTPingerDelegate> delegate_;
    std::string deduplicationKey_;
    platform::URLRequest request_;
    std::shared_ptr<platform::URLConnection> connection_;
    std::optional<platform::HTTPURLResponse> response_;
    platform::Bytes receivedData_;
    std::uint32_t remainingRetryCount_ = kMaxRetryCount;
    std::optional<double> staleDate_;
    bool modifiedForRetry_ = false;
    // A running connection holds its delegate weakly; the pinger holds itself while it loads.
    std::shared_ptr<ACTPinger> loading_;
};

} // namespace ruzave
