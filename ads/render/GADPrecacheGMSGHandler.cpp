#include "ads/render/GADPrecacheGMSGHandler.h"

#include <filesystem>

#include "ads/core/net/GADURLRequestAdditions.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADNotification.h"
#include "platform/base/Crypto.h"
#include "platform/foundation/Sandbox.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/web/WebView.h"

namespace ruzave {
namespace {

constexpr const char* kProgress = "precacheProgress";
constexpr const char* kComplete = "precacheComplete";
constexpr const char* kCanceled = "precacheCanceled";
constexpr std::size_t kMaximumFileNameBytes = 200;

bool isDownloadable(const platform::URL& url) {
    const std::string scheme = url.scheme();
    return url.isValid() && (scheme == "http" || scheme == "https");
}

} // namespace

std::shared_ptr<GADPrecacheGMSGHandler> GADPrecacheGMSGHandler::init() {
    return std::shared_ptr<GADPrecacheGMSGHandler>(new GADPrecacheGMSGHandler());
}

GADPrecacheGMSGHandler::~GADPrecacheGMSGHandler() {
    // The last reference may go on the download's own queue; waiting there would never end.
    cleanUp(platform::OperationQueue::current() != queue_);
}

const GADGMSGHandler::ActionBlockDictionary* GADPrecacheGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"precache",
         [](GADGMSGHandler& h, const Arguments& a) {
             static_cast<GADPrecacheGMSGHandler&>(h).didReceivePrecacheNotification(a);
         }},
    };
    return &table;
}

void GADPrecacheGMSGHandler::didReceivePrecacheNotification(const Arguments& arguments) {
    std::optional<std::string> src;
    bool abortAsked = false;
    if (arguments.note) {
        src = arguments.note->parameter("src");
        abortAsked = arguments.note->parameters().is_object() && arguments.note->parameters().contains("abort");
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!adView_.lock() && arguments.adView) adView_ = arguments.adView;
        if (src) {
            if (auto url = platform::URL::parse(*src); url && url->isValid()) sourceURL_ = *url;
        }
    }
    if (abortAsked) {
        abort();
    } else if (src) {
        preload();
    }
}

void GADPrecacheGMSGHandler::preload() {
    std::shared_ptr<platform::URLConnection> connection;
    // The ad's web view, taken outside the lock: the last hold of a view may go with `view`.
    std::shared_ptr<GADAdView> view;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        view = adView_.lock();
    }
    auto page = view ? view->webView() : nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!sourceURL_ || hasStartedPreloading_) return;
        if (!isDownloadable(*sourceURL_)) {
            // Only web sources: a file or custom scheme never reaches the loader.
            downloadingURL_.reset();
        } else if (auto request = gad_requestForURL(sourceURL_, std::nullopt, std::nullopt, std::nullopt)) {
            // The creative names the file: its page loads it, within the page's bounds.
            auto self = std::static_pointer_cast<GADPrecacheGMSGHandler>(shared_from_this());
            if (page)
                connection =
                    page->connectionForPage(*request, std::weak_ptr<platform::URLConnectionDelegate>(self));
        }
        if (connection) {
            queue_ = platform::OperationQueue::create("com.ruzave.ads.precache");
            queue_->setMaxConcurrentOperationCount(1);
            connection->setDelegateQueue(queue_);
            connection_ = connection;
            downloadingURL_ = sourceURL_;
            expectedDataLength_ = 0;
            bytesWritten_ = 0;
            hasStartedPreloading_ = true;
        }
    }
    if (connection) {
        connection->start();
    } else {
        dispatchPrecacheEventWithBytesLoaded(0, expectedDataLength(), kCanceled);
    }
}

void GADPrecacheGMSGHandler::abort() {
    std::int64_t bytes = lastBytesAfterCleanUp();
    dispatchPrecacheEventWithBytesLoaded(bytes, expectedDataLength(), kCanceled);
}

std::int64_t GADPrecacheGMSGHandler::lastBytesAfterCleanUp() {
    return cleanUp(true);
}

std::int64_t GADPrecacheGMSGHandler::cleanUp(bool wait) {
    std::shared_ptr<platform::URLConnection> connection;
    std::shared_ptr<platform::OperationQueue> queue;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection = std::move(connection_);
        queue = std::move(queue_);
    }
    if (connection) connection->cancel();
    if (queue) {
        queue->cancelAllOperations();
        if (wait && platform::OperationQueue::current() != queue) queue->waitUntilAllOperationsAreFinished();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t bytes = bytesWritten_;
    discardLocked();
    hasStartedPreloading_ = false;
    downloadingURL_.reset();
    return bytes;
}

void GADPrecacheGMSGHandler::discardLocked() {
    if (connection_) {
        connection_->cancel();
        connection_.reset();
    }
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    removeCachedFileLocked();
}

void GADPrecacheGMSGHandler::removeCachedFileLocked() {
    if (!cachedURL_) return;
    std::error_code ignored;
    std::filesystem::remove(cachedURL_->path(), ignored);
    // The page is never pointed at a removed file, nor at one from an earlier download.
    cachedURL_.reset();
}

void GADPrecacheGMSGHandler::dispatchPrecacheEventWithBytesLoaded(std::int64_t bytesLoaded, std::int64_t totalBytes,
                                                                  const std::string& event) {
    std::shared_ptr<GADAdView> view;
    std::function<void(const platform::Value&)> observer;
    platform::Value info = platform::Value::object();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto& src = downloadingURL_ ? downloadingURL_ : sourceURL_;
        info["event"] = event;
        info["bytesLoaded"] = bytesLoaded;
        info["totalBytes"] = totalBytes;
        info["src"] = src ? src->absoluteString() : std::string();
        info["cachedSrc"] = cachedURL_ ? cachedURL_->absoluteString() : std::string();
        view = adView_.lock();
        observer = observer_;
    }
    if (view) view->postJSNotification("onPrecacheEvent", info);
    if (observer) observer(info);
}

std::string GADPrecacheGMSGHandler::safeFileName(const std::string& suggested) {
    std::string name = suggested;
    auto separator = name.find_last_of("/\\");
    if (separator != std::string::npos) name.erase(0, separator + 1);
    std::string clean;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f || c == ':') continue;
        clean.push_back(static_cast<char>(c));
    }
    while (!clean.empty() && clean.front() == '.') clean.erase(0, 1);
    if (clean.size() > kMaximumFileNameBytes) {
        clean.resize(kMaximumFileNameBytes);
        // A cut may leave half a UTF-8 sequence at the end: drop the last character when it is short.
        std::size_t start = clean.size();
        while (start > 0 && (static_cast<unsigned char>(clean[start - 1]) & 0xC0) == 0x80) --start;
        if (start > 0) {
            auto lead = static_cast<unsigned char>(clean[start - 1]);
            std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (clean.size() - (start - 1) < length) clean.resize(start - 1);
        }
    }
    return clean.empty() ? std::string(kFallbackFileName) : clean;
}

void GADPrecacheGMSGHandler::setEventObserver(std::function<void(const platform::Value&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void GADPrecacheGMSGHandler::setMaximumBytes(std::int64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    maximumBytes_ = bytes;
}

std::optional<platform::URL> GADPrecacheGMSGHandler::sourceURL() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sourceURL_;
}

std::optional<platform::URL> GADPrecacheGMSGHandler::cachedURL() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cachedURL_;
}

bool GADPrecacheGMSGHandler::hasStartedPreloading() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hasStartedPreloading_;
}

std::int64_t GADPrecacheGMSGHandler::expectedDataLength() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return expectedDataLength_;
}

bool GADPrecacheGMSGHandler::isCurrent(const std::shared_ptr<platform::URLConnection>& connection) const {
    return connection && connection == connection_;
}

void GADPrecacheGMSGHandler::didReceiveResponse(const std::shared_ptr<platform::URLConnection>& connection,
                                                const platform::HTTPURLResponse& response) {
    const char* event = kCanceled;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!isCurrent(connection)) return;
        if (file_) {  // a second response (no body came for the first): start the file over
            std::fclose(file_);
            file_ = nullptr;
        }
        removeCachedFileLocked(); // the first response's file is not this one's
        bytesWritten_ = 0;
        long long announced = response.expectedContentLength();
        std::string folder = GADDevice::sharedInstance()->temporaryPathWithCreation(true) + "/" + platform::uuidString();
        bool made = false;
        if (response.statusCode() >= 200 && response.statusCode() < 300 && announced <= maximumBytes_ &&
            platform::Sandbox::createDirectory(folder, true)) {
            std::string path = folder + "/" + safeFileName(response.suggestedFilename());
            cachedURL_ = platform::URL::fileURL(path);
            file_ = std::fopen(path.c_str(), "wb");
            made = file_ != nullptr;
            if (!made) cachedURL_.reset();
        }
        if (made) {
            expectedDataLength_ = announced < 0 ? -1 : announced;
            event = kProgress;
        } else {
            // An error page, a body over the cap or a file that cannot be made: nothing is kept.
            discardLocked();
        }
    }
    dispatchPrecacheEventWithBytesLoaded(0, expectedDataLength(), event);
}

void GADPrecacheGMSGHandler::didReceiveData(const std::shared_ptr<platform::URLConnection>& connection,
                                            const platform::Bytes& data) {
    const char* event = kProgress;
    std::int64_t loaded = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!isCurrent(connection)) return;
        if (file_) {
            std::int64_t next = bytesWritten_ + static_cast<std::int64_t>(data.size());
            bool tooLong = next > maximumBytes_ || (expectedDataLength_ >= 0 && next > expectedDataLength_);
            if (tooLong || std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
                // More than announced or allowed, or a full disk: the copy is not trustworthy.
                discardLocked();
                event = kCanceled;
            } else {
                bytesWritten_ = next;
            }
            loaded = bytesWritten_;
        }
    }
    dispatchPrecacheEventWithBytesLoaded(loaded, expectedDataLength(), event);
}

bool GADPrecacheGMSGHandler::willCacheResponse(const std::shared_ptr<platform::URLConnection>&,
                                               const platform::HTTPURLResponse&) {
    return false;
}

void GADPrecacheGMSGHandler::didFinishLoading(const std::shared_ptr<platform::URLConnection>& connection) {
    const char* event = kComplete;
    std::int64_t bytes = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!isCurrent(connection)) return;
        bytes = bytesWritten_;
        bool closed = file_ && std::fclose(file_) == 0;
        file_ = nullptr;
        connection_.reset();
        if (!closed || (expectedDataLength_ >= 0 && bytes != expectedDataLength_)) {
            // A body shorter than announced is never reported as a complete copy.
            discardLocked();
            event = kCanceled;
        }
    }
    dispatchPrecacheEventWithBytesLoaded(bytes, expectedDataLength(), event);
}

void GADPrecacheGMSGHandler::didFailWithError(const std::shared_ptr<platform::URLConnection>& connection,
                                              const platform::Error&) {
    std::int64_t bytes = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!isCurrent(connection)) return;
        bytes = bytesWritten_;
        // A partial file is never left where it could pass for a complete one.
        discardLocked();
    }
    dispatchPrecacheEventWithBytesLoaded(bytes, expectedDataLength(), kCanceled);
}

} // namespace ruzave
