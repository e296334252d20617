#include "ads/core/net/GADURLConnection.h"

#include "ads/core/net/GADHTTPURLResponseAdditions.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/util/GADStringNumberAdditions.h"
#include "platform/base/Unicode.h"
#include "platform/foundation/Sandbox.h"
#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/runloop/Clock.h"

namespace ruzave {

namespace {

// The first value of `key` in the query: parts split at "&", a part counts when it splits at "=" into
// exactly two pieces whose first equals the key; the second is percent-decoded (undecodable: skipped).
std::optional<std::string> firstQueryValue(const platform::URL& url, std::string_view key) {
    auto query = url.query();
    if (!query) return std::nullopt;
    std::string_view rest(*query);
    while (true) {
        const auto amp = rest.find('&');
        std::string_view part = rest.substr(0, amp);
        const auto eq = part.find('=');
        if (eq != std::string_view::npos && part.find('=', eq + 1) == std::string_view::npos &&
            part.substr(0, eq) == key) {
            if (auto decoded = platform::percentDecode(part.substr(eq + 1))) return decoded;
        }
        if (amp == std::string_view::npos) break;
        rest.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

std::string cacheKeyText(const platform::URL& url) {
    std::vector<std::uint8_t> digest = GADURLConnection::cacheKeyForURL(url);
    return std::string(digest.begin(), digest.end());
}

} // namespace

// Hands the platform connection's events to the GADURLConnection that started it, and to nobody once
// that connection has moved on to another load.
class GADURLConnection::Bridge : public platform::URLConnectionDelegate {
public:
    explicit Bridge(std::weak_ptr<GADURLConnection> owner) : owner_(std::move(owner)) {}

    std::optional<platform::URLRequest> willSendRequest(const std::shared_ptr<platform::URLConnection>& c,
                                                        const platform::URLRequest& request,
                                                        const std::optional<platform::HTTPURLResponse>& redirect) override {
        auto owner = current(c);
        if (!owner) return std::nullopt;
        return owner->willSendRequest(request, redirect);
    }
    void didReceiveResponse(const std::shared_ptr<platform::URLConnection>& c,
                            const platform::HTTPURLResponse& response) override {
        if (auto owner = current(c)) owner->didReceiveResponse(response);
    }
    void didReceiveData(const std::shared_ptr<platform::URLConnection>& c, const platform::Bytes& data) override {
        if (auto owner = current(c)) owner->didReceiveData(data);
    }
    bool willCacheResponse(const std::shared_ptr<platform::URLConnection>& c, const platform::HTTPURLResponse&) override {
        // The platform's own cache is offered a response only when the memory cache is on.
        auto owner = current(c);
        return owner && owner->allowCache_;
    }
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>& c) override {
        if (auto owner = current(c)) owner->didFinishLoading();
    }
    void didFailWithError(const std::shared_ptr<platform::URLConnection>& c, const platform::Error& error) override {
        if (auto owner = current(c)) owner->didFailWithError(error);
    }

private:
    std::shared_ptr<GADURLConnection> current(const std::shared_ptr<platform::URLConnection>& c) const {
        auto owner = owner_.lock();
        if (!owner || owner->connection_ != c) return nullptr;
        return owner;
    }
    std::weak_ptr<GADURLConnection> owner_;
};

// MemoryCache

std::shared_ptr<GADCachedURLResponse> GADURLConnection::MemoryCache::objectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second.second);
    return it->second.first;
}

void GADURLConnection::MemoryCache::setObject(const std::shared_ptr<GADCachedURLResponse>& object,
                                              const std::string& key) {
    if (!object) return;
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it != entries_.end()) {
        it->second.first = object;
        order_.splice(order_.begin(), order_, it->second.second);
        return;
    }
    order_.push_front(key);
    entries_.emplace(key, std::make_pair(object, order_.begin()));
    while (entries_.size() > countLimit_) {
        entries_.erase(order_.back());
        order_.pop_back();
    }
}

void GADURLConnection::MemoryCache::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return;
    order_.erase(it->second.second);
    entries_.erase(it);
}

void GADURLConnection::MemoryCache::removeAllObjects() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    order_.clear();
}

std::size_t GADURLConnection::MemoryCache::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

// GADURLConnection

std::shared_ptr<GADURLConnection> GADURLConnection::init() {
    return std::shared_ptr<GADURLConnection>(new GADURLConnection());
}

GADURLConnection::~GADURLConnection() {
    if (connection_) connection_->cancel();
}

GADURLConnection::MemoryCache& GADURLConnection::memoryCache() {
    static MemoryCache cache(kMemoryCacheCountLimit);
    return cache;
}

std::vector<std::uint8_t> GADURLConnection::cacheKeyForURL(const platform::URL& url) {
    std::string text;
    if (auto slotname = firstQueryValue(url, "slotname")) {
        text = url.host() + url.path() + *slotname;
    } else {
        text = url.absoluteString();
    }
    // URLs are ASCII, so the digest always exists; an empty key would still be a usable key.
    return gad_MD5Data(text).value_or(std::vector<std::uint8_t>{});
}

void GADURLConnection::clearCache() { memoryCache().removeAllObjects(); }

std::string GADURLConnection::defaultCachePath() { return platform::Sandbox::cachesDirectory() + "/DoRur"; }

bool GADURLConnection::startWithRequestURL(const platform::URLRequest& request,
                                           const std::weak_ptr<GADURLConnectionDelegate>& newDelegate,
                                           platform::Error* error) {
    if (isInProgress_) {
        platform::setError(error, GADRequestError::errorWithCode(
                                      GADRequestErrorNetworkError,
                                      "Ignoring -- Currently loading " +
                                          (sourceURL_ ? sourceURL_->absoluteString() : std::string("(null)"))));
        return false;
    }
    auto self = shared_from_this();
    delegate_ = newDelegate;
    sourceURL_ = request.url();
    destinationURL_ = request.url();

    if (allowCache_) {
        if (auto cached = cachedResponseForURL(request.url())) {
            reportCachedResponse(cached);
            return true;
        }
    }

    bridge_ = std::make_shared<Bridge>(weak_from_this());
    connection_ = platform::URLConnection::create(request, bridge_, platform::TransferOrigin::app(), false);
    if (!connection_) {
        stop();
        if (auto d = delegate()) d->connectionLoadDidFail(*this, std::nullopt, -1);
        return true;
    }
    receivedData_.clear();
    isInProgress_ = true;
    connection_->start();
    return true;
}

void GADURLConnection::stop() {
    if (connection_) connection_->cancel();
    connection_.reset();
    bridge_.reset();
    sourceURL_.reset();
    destinationURL_.reset();
    response_.reset();
    receivedData_.clear();
    isInProgress_ = false;
}

void GADURLConnection::cancel() {
    delegate_.reset();
    stop();
}

std::shared_ptr<GADCachedURLResponse> GADURLConnection::cachedResponseForURL(const platform::URL& url) {
    const std::string key = cacheKeyText(url);
    auto entry = memoryCache().objectForKey(key);
    if (!entry) return nullptr;
    if (entry->expirationDate() > platform::Clock::wallTime()) return entry;
    memoryCache().removeObjectForKey(key);
    return nullptr;
}

bool GADURLConnection::tryToStoreResponseAndData() {
    if (!response_ || !sourceURL_) return false;
    auto expiration = gad_expirationDate(*response_);
    if (!expiration || *expiration < platform::Clock::wallTime()) return false;
    auto entry = GADCachedURLResponse::initWithResponse(response_, receivedData_, expiration, destinationURL_);
    if (!entry) return false;
    memoryCache().setObject(entry, cacheKeyText(*sourceURL_));
    return true;
}

void GADURLConnection::reportCachedResponse(const std::shared_ptr<GADCachedURLResponse>& cached) {
    auto self = shared_from_this();
    stop();
    const auto& bytes = cached->data();
    std::string text(bytes.begin(), bytes.end());
    std::optional<std::string> body;
    if (platform::isValidUTF8(text)) body = std::move(text);
    if (auto d = delegate()) d->connectionLoadDidReceiveCachedResponse(*this, cached);
    if (auto d = delegate()) d->connectionLoadDidFinish(*this, body, cached->destinationURL());
}

std::optional<platform::URLRequest> GADURLConnection::willSendRequest(
    const platform::URLRequest& request, const std::optional<platform::HTTPURLResponse>& redirect) {
    if (!redirect) return request;
    auto self = shared_from_this();
    if (auto d = delegate()) {
        if (auto refusal = d->connectionShouldRedirectToURL(*this, request.url())) {
            stop();
            if (auto again = delegate()) again->connectionLoadDidFail(*this, refusal, -1);
            return std::nullopt;
        }
    }
    if (!isInProgress_) return std::nullopt;
    platform::URLRequest next = request;
    // A bearer token goes only where it was sent first: never to another host or port, nor over plain http.
    const bool sameOrigin = destinationURL_ && destinationURL_->isSameOrigin(request.url());
    if (!sameOrigin || request.url().scheme() != "https") next.setValue("", "Authorization");
    destinationURL_ = request.url();
    if (auto d = delegate()) d->connectionLoadDidReceiveRedirectResponse(*this, *redirect);
    if (!isInProgress_) return std::nullopt;
    return next;
}

void GADURLConnection::didReceiveResponse(const platform::HTTPURLResponse& response) {
    auto self = shared_from_this();
    response_ = response;
    receivedData_.clear();
    auto d = delegate();
    if (!d || !d->connectionLoadShouldUseCachedResponse(*this, response)) return;
    if (!isInProgress_) return;
    allowCache_ = true;
    if (sourceURL_) {
        if (auto cached = cachedResponseForURL(*sourceURL_)) reportCachedResponse(cached);
    }
}

void GADURLConnection::didReceiveData(const platform::Bytes& data) {
    receivedData_.insert(receivedData_.end(), data.begin(), data.end());
}

void GADURLConnection::didFinishLoading() {
    auto self = shared_from_this();
    if (allowCache_) tryToStoreResponseAndData();
    std::string text(receivedData_.begin(), receivedData_.end());
    std::optional<std::string> body;
    if (platform::isValidUTF8(text)) body = std::move(text);
    const auto baseURL = destinationURL_;
    stop();
    if (auto d = delegate()) d->connectionLoadDidFinish(*this, body, baseURL);
}

void GADURLConnection::didFailWithError(const platform::Error& error) {
    auto self = shared_from_this();
    const long status = response_ ? response_->statusCode() : -1;
    stop();
    if (auto d = delegate()) d->connectionLoadDidFail(*this, error, status);
}

} // namespace ruzave
