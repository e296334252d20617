#pragma once
// Runs one HTTP load at a time over a platform connection delivering on the main loop, and reports it
// in a few calls (redirect, cached response, finished body, failure). Keeps the process-wide memory
// cache of responses that a delegate switches on per response. Main thread only (the memory cache
// itself may be read from any thread).
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/net/GADCachedURLResponse.h"
#include "ads/core/net/GADURLConnectionDelegate.h"
#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLRequest.h"

namespace platform {
class URLConnection;
}

namespace ruzave {

class GADURLConnection : public std::enable_shared_from_this<GADURLConnection> {
public:
    // A count-limited memory cache, least recently used entry evicted first. Any thread.
    class MemoryCache {
    public:
        explicit MemoryCache(std::size_t countLimit) : countLimit_(countLimit) {}
        std::shared_ptr<GADCachedURLResponse> objectForKey(const std::string& key);
        void setObject(const std::shared_ptr<GADCachedURLResponse>& object, const std::string& key);
        void removeObjectForKey(const std::string& key);
        void removeAllObjects();
        std::size_t count() const;
        std::size_t countLimit() const { return countLimit_; }

    private:
        using Order = std::list<std::string>;
        mutable std::mutex mutex_;
        const std::size_t countLimit_;
        Order order_;  // most recently used first
        std::map<std::string, std::pair<std::shared_ptr<GADCachedURLResponse>, Order::iterator>> entries_;
    };

    static constexpr std::size_t kMemoryCacheCountLimit = 25;

    static std::shared_ptr<GADURLConnection> init();
    ~GADURLConnection();

    // false (with GADRequestError code 2) while a load is in progress. A live cached answer is reported
    // before this returns.
    bool startWithRequestURL(const platform::URLRequest& request, const std::weak_ptr<GADURLConnectionDelegate>& delegate,
                             platform::Error* error);
    void stop();
    // Clears the delegate, then stops: nothing is reported after it.
    void cancel();

    bool isInProgress() const { return isInProgress_; }
    bool allowCache() const { return allowCache_; }
    const std::optional<platform::URL>& sourceURL() const { return sourceURL_; }
    const std::optional<platform::URL>& destinationURL() const { return destinationURL_; }
    const std::optional<platform::HTTPURLResponse>& response() const { return response_; }

    // A live entry for the URL, or nullptr (an expired one is dropped).
    std::shared_ptr<GADCachedURLResponse> cachedResponseForURL(const platform::URL& url);
    // Stores the current response and body under the source URL when it has a future expiry.
    bool tryToStoreResponseAndData();

    static MemoryCache& memoryCache();
    // The 16-byte MD5 digest of the URL's key text: host, path and "slotname" value when the query has
    // one, else the whole URL.
    static std::vector<std::uint8_t> cacheKeyForURL(const platform::URL& url);
    static void clearCache();
    // <caches>/DoRur
    static std::string defaultCachePath();

    GADURLConnection(const GADURLConnection&) = delete;
    GADURLConnection& operator=(const GADURLConnection&) = delete;

private:
    class Bridge;
    friend class Bridge;

    GADURLConnection() = default;
    std::shared_ptr<GADURLConnectionDelegate> delegate() const { return delegate_.lock(); }
    void reportCachedResponse(const std::shared_ptr<GADCachedURLResponse>& cached);

    // Platform connection events.
    std::optional<platform::URLRequest> willSendRequest(const platform::URLRequest& request,
                                                        const std::optional<platform::HTTPURLResponse>& redirect);
    void didReceiveResponse(const platform::HTTPURLResponse& response);
    void didReceiveData(const platform::Bytes& data);
    void didFinishLoading();
    void didFailWithError(const platform::Error& error);

    bool isInProgress_ = false;
    bool allowCache_ = false;
    std::optional<platform::URL> sourceURL_;
    std::optional<platform::URL> destinationURL_;
    std::weak_ptr<GADURLConnectionDelegate> delegate_;
    std::shared_ptr<platform::URLConnection> connection_;
    std::shared_ptr<Bridge> bridge_;
    std::optional<platform::HTTPURLResponse> response_;
    platform::Bytes receivedData_;
};

} // namespace ruzave
