#pragma once
// "precache": downloads one file per handler into a fresh folder under the SDK's temporary directory
// and reports progress to the page as "onPrecacheEvent". The body streams to disk chunk by chunk; it is
// never held whole in memory. Messages arrive on the main thread; the download's callbacks run on the
// handler's own serial operation queue, and events are sent from there.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ads/render/GADGMSGHandler.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/net/URLConnectionDelegate.h"

namespace platform {
class OperationQueue;
class URLConnection;
} // namespace platform

namespace ruzave {

class GADPrecacheGMSGHandler : public GADGMSGHandler, public platform::URLConnectionDelegate {
  public:
    // A download larger than this (announced or received) is refused: disk use is bounded.
    static constexpr std::int64_t kDefaultMaximumBytes = 128LL * 1024 * 1024;
    static constexpr const char* kFallbackFileName = "precache";

    static std::shared_ptr<GADPrecacheGMSGHandler> init();
    ~GADPrecacheGMSGHandler() override;

    const ActionBlockDictionary* actionBlockDictionary() const override;
    void didReceivePrecacheNotification(const Arguments& arguments);

    void preload();
    void abort();
    // Stops the download, removes the file (and forgets its URL) and returns the bytes written.
    std::int64_t lastBytesAfterCleanUp();
    void dispatchPrecacheEventWithBytesLoaded(std::int64_t bytesLoaded, std::int64_t totalBytes,
                                              const std::string& event);

    // The file name a response suggests, reduced to one safe path component.
    static std::string safeFileName(const std::string& suggested);

    // Every event also goes to this observer (diagnostics and tests); any thread.
    void setEventObserver(std::function<void(const platform::Value&)> observer);
    void setMaximumBytes(std::int64_t bytes);

    std::optional<platform::URL> sourceURL() const;
    std::optional<platform::URL> cachedURL() const;
    bool hasStartedPreloading() const;
    std::int64_t expectedDataLength() const;

    // Download callbacks, on the handler's queue.
    void didReceiveResponse(const std::shared_ptr<platform::URLConnection>& connection,
                            const platform::HTTPURLResponse& response) override;
    void didReceiveData(const std::shared_ptr<platform::URLConnection>& connection, const platform::Bytes& data) override;
    bool willCacheResponse(const std::shared_ptr<platform::URLConnection>& connection,
                           const platform::HTTPURLResponse& response) override;
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>& connection) override;
    void didFailWithError(const std::shared_ptr<platform::URLConnection>& connection, const platform::Error& error) override;

  private:
    GADPrecacheGMSGHandler() = default;
    bool isCurrent(const std::shared_ptr<platform::URLConnection>& connection) const;
    // Under the lock: stops the transfer, closes and removes the partial file and forgets its URL.
    void discardLocked();
    // Under the lock: removes the local copy and forgets its URL.
    void removeCachedFileLocked();
    std::int64_t cleanUp(bool wait);

    mutable std::mutex mutex_;
    std::weak_ptr<GADAdView> adView_;
    std::optional<platform::URL> sourceURL_;
    std::optional<platform::URL> downloadingURL_;  // what the running download actually fetches
    std::optional<platform::URL> cachedURL_;
    bool hasStartedPreloading_ = false;
    std::shared_ptr<platform::URLConnection> connection_;
    std::shared_ptr<platform::OperationQueue> queue_;
    std::FILE* file_ = nullptr;
    std::int64_t bytesWritten_ = 0;
    std::int64_t expectedDataLength_ = 0;
    std::int64_t maximumBytes_ = kDefaultMaximumBytes;
    std::function<void(const platform::Value&)> observer_;
};

} // namespace ruzave
