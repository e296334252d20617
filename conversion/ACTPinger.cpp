#include "conversion/ACTPinger.h"

#include <algorithm>

#include "common/StringCodec.h"
#include "conversion/ACTApplication.h"
#include "conversion/ACTLog.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "conversion/ACTPingerDelegate.h"
#include "conversion/ACTPingerStore.h"
#include "platform/base/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {

namespace {

// Only the start of an error body is kept: it serves the log line, and servers are not ours.
constexpr std::size_t kMaxKeptBody = 64 * 1024;
constexpr const char* kNoConnectionText = "could not initiate connection";

bool isFetchable(const platform::URL& url) {
    const std::string scheme = url.scheme();
    return url.isValid() && (scheme == "http" || scheme == "https");
}

} // namespace

ACTPinger::ACTPinger(platform::URLRequest request) : request_(std::move(request)) {}

ACTPinger::~ACTPinger() {
    if (connection_) connection_->cancel();
}

std::shared_ptr<ACTPinger> ACTPinger::initWithRequest(const platform::URLRequest& request) {
    auto pinger = std::make_shared<ACTPinger>(request);
    pinger->staleDate_ = platform::Clock::wallTime() + kStaleInterval;
    return pinger;
}

std::shared_ptr<ACTPinger> ACTPinger::pingerWithRequestString(const std::optional<std::string>& requestString,
                                                              const std::optional<platform::Value>& retryParameters) {
    if (!requestString) return nullptr;
    auto url = platform::URL::parse(*requestString);
    if (!url || !isFetchable(*url)) return nullptr;
    auto pinger = std::make_shared<ACTPinger>(platform::URLRequest(*url));
    if (retryParameters) {
        const platform::Value& p = *retryParameters;
        long long count = 0;
        if (p.is_object() && p.contains(kACTPingRetryCountKey)) count = platform::integerValue(p[kACTPingRetryCountKey]);
        pinger->remainingRetryCount_ = static_cast<std::uint32_t>(std::clamp<long long>(count, 0, kMaxRetryCount));
        if (p.is_object() && p.contains(kACTPingStaleDateKey) && p[kACTPingStaleDateKey].is_number()) {
            pinger->staleDate_ = p[kACTPingStaleDateKey].get<double>();
        } else {
            // Our store always writes a stale date; one without it gets a fresh lifetime rather than none.
            pinger->staleDate_ = platform::Clock::wallTime() + kStaleInterval;
        }
        if (p.is_object() && p.contains(kACTPingDeduplicationKey) && p[kACTPingDeduplicationKey].is_string()) {
            pinger->deduplicationKey_ = p[kACTPingDeduplicationKey].get<std::string>();
        }
    }
    pinger->modifiedForRetry_ = true;
    return pinger;
}

void ACTPinger::setConnection(std::shared_ptr<platform::URLConnection> connection) {
    if (connection_ && connection_ != connection) connection_->cancel();
    connection_ = std::move(connection);
}

std::optional<platform::Value> ACTPinger::parameters() const {
    if (!staleDate_) return std::nullopt;
    platform::Value p = {{kACTPingRetryCountKey, remainingRetryCount_}, {kACTPingStaleDateKey, *staleDate_}};
    if (!deduplicationKey_.empty()) p[kACTPingDeduplicationKey] = deduplicationKey_;
    return p;
}

std::string ACTPinger::requestString() const {
    return request_.url().absoluteString();
}

bool ACTPinger::isEqual(const ACTPinger& other) const {
    return this == &other || requestString() == other.requestString();
}

bool ACTPinger::shouldRetry() const {
    return remainingRetryCount_ > 0 && staleDate_ && *staleDate_ > platform::Clock::wallTime();
}

std::shared_ptr<ACTPingRetryQueue> ACTPinger::retryQueue() const {
    return ACTApplication::sharedApplication()->retryScheduler()->retryQueue();
}

std::shared_ptr<ACTPingerStore> ACTPinger::pingerStore() const {
    return ACTApplication::sharedApplication()->pingerStore();
}

void ACTPinger::ping() {
    if (platform::MainLoop::isMainThread()) {
        if (connection_) return;
        startConnection(storeForSending());
        return;
    }
    // Stored before this returns, on this thread, as on the main thread: the app may be ended before the
    // main loop next runs, and a report must not be lost with it. A ping started here is a new one, which
    // no other thread holds yet.
    platform::URLRequest sending = storeForSending();
    // A connection belongs to the main run loop: a queue thread's would never deliver.
    platform::MainLoop::main().post([self = shared_from_this(), sending = std::move(sending)] {
        if (!self->connection_) self->startConnection(sending);
    });
}

platform::URLRequest ACTPinger::storeForSending() {
    const platform::URLRequest sending = request_;
    appendRetryParameter();
    // Stored before it leaves, so that ending the app at any moment keeps it.
    pingerStore()->addPinger(shared_from_this());
    return sending;
}

void ACTPinger::startConnection(const platform::URLRequest& sending) {
    auto connection =
        platform::URLConnection::create(sending, weak_from_this(), platform::TransferOrigin::app(), false);
    if (!connection) {
        ACTLog::logPublicMessage("could not initiate connection.");
        handleFailureWithError(std::nullopt);
        return;
    }
    setConnection(connection);
    loading_ = shared_from_this();
    connection->start();
}

void ACTPinger::appendRetryParameter() {
    if (modifiedForRetry_) return;
    std::string text = requestString();
    std::string fragment;
    if (auto hash = text.find('#'); hash != std::string::npos) {
        fragment = text.substr(hash);
        text.erase(hash);
    }
    const auto query = request_.url().query();
    text += (query && !query->empty()) ? "&retry=1" : "?retry=1";
    if (auto url = platform::URL::parse(text + fragment)) {
        platform::URLRequest copy = request_;
        copy.setURL(*url);
        request_ = std::move(copy);
    }
    modifiedForRetry_ = true;
}

void ACTPinger::didReceiveResponse(const std::shared_ptr<platform::URLConnection>&, const platform::HTTPURLResponse& response) {
    response_ = response;
    receivedData_.clear();
}

void ACTPinger::didReceiveData(const std::shared_ptr<platform::URLConnection>&, const platform::Bytes& data) {
    const std::size_t room = kMaxKeptBody - std::min(kMaxKeptBody, receivedData_.size());
    receivedData_.insert(receivedData_.end(), data.begin(), data.begin() + static_cast<long>(std::min(room, data.size())));
}

void ACTPinger::didFinishLoading(const std::shared_ptr<platform::URLConnection>&) {
    auto self = shared_from_this();
    const int status = response_ ? response_->statusCode() : 0;
    if (status >= 200 && status < 300) {
        succeeded();
    } else if (status < 400) {
        // Not delivered and not an error: it stays stored for the next launch.
        endAttempt(false);
    } else {
        std::string body(receivedData_.begin(), receivedData_.end());
        if (!isValidUTF8(body)) body.clear();
        platform::Error error(kACTPingErrorDomain, status,
                              platform::HTTPURLResponse::localizedStringForStatusCode(status) + " \"" + body + "\"");
        handleFailureWithError(error);
    }
}

void ACTPinger::didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error& error) {
    auto self = shared_from_this();
    handleFailureWithError(error);
}

void ACTPinger::succeeded() {
    ACTLog::logPublicMessage("ping successful.");
    pingerStore()->removePinger(shared_from_this());
    if (!deduplicationKey_.empty()) {
        // Also for a ping reloaded after a relaunch, which has no reporter to tell.
        auto defaults = platform::UserDefaults::standard();
        defaults->set(deduplicationKey_, true);
        defaults->synchronize();
    }
    if (auto delegate = delegate_) delegate->pingDidSucceed(shared_from_this());
    endAttempt(false);
}

void ACTPinger::handleFailureWithError(const std::optional<platform::Error>& error) {
    auto self = shared_from_this();
    if (shouldRetry()) {
        platform::logDebug("ACTPinger: will retry " + requestString() + ": " +
                           (error ? error->description : std::string(kNoConnectionText)));
        retryQueue()->addPinger(self);
        --remainingRetryCount_;
        // The reporter stays the delegate, so a later success still sets its once-only flag.
        endAttempt(true);
        return;
    }
    const platform::Error failure = error ? *error : platform::Error(kACTPingErrorDomain, 0, kNoConnectionText);
    ACTLog::logPublicMessage("ping unsuccessful. Error: " + failure.description + ".");
    pingerStore()->removePinger(self);
    if (auto delegate = delegate_) delegate->ping(self, failure);
    endAttempt(false);
}

void ACTPinger::endAttempt(bool keepDelegate) {
    connection_.reset();
    if (!keepDelegate) delegate_.reset();
    // Never destroyed inside its own callback: the hold is let go on a later turn of the main loop.
    if (loading_) platform::mainQueue()->async([hold = std::move(loading_)] {});
}

} // namespace ruzave
