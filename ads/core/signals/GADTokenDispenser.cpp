#include "ads/core/signals/GADTokenDispenser.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>

#include "ads/core/net/GADTimerAdditions.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADStubsForGID.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/core/util/GADURLEncoding.h"
#include "platform/base/Log.h"
#include "platform/base/Strings.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/Timer.h"

namespace ruzave {
namespace {

constexpr const char* kEnableSignedInAdsKey = "/ruzave/ads/enable_signed_in_ads";
// Tells the dispenser's observations of the sign-in library apart from anyone else's.
const char kObservationContext = 0;

double now() { return platform::Clock::wallTime(); }

// "expires_in" as a lifespan: a number or a string read as one. Zero, a negative or a garbled value
// still says the token is short-lived (or gone), so it is kept, to be raised to the floor; taking it
// for an absent lifespan would hand out an expired token for most of an hour.
std::optional<double> grantedLifespan(const platform::Value& answer) {
    const platform::Value* v = platform::find(answer, "expires_in");
    if (v == nullptr || !(v->is_number() || v->is_string())) return std::nullopt;
    double seconds = platform::doubleValue(*v);
    return std::isnan(seconds) ? 0.0 : seconds;
}

} // namespace

bool GADSignedInAdsEnabled() {
    if (GADDevice::sharedInstance()->limitAdTracking()) return false;
    auto enabled = platform::UserDefaults::standard()->object(kEnableSignedInAdsKey);
    return enabled && platform::boolValue(*enabled);
}

std::shared_ptr<GADTokenDispenser> GADTokenDispenser::sharedInstance() {
    // Never released: token-queue work and the refresh timer may still reach it while the process exits.
    static const std::shared_ptr<GADTokenDispenser>* instance = new std::shared_ptr<GADTokenDispenser>(init());
    return *instance;
}

GADTokenDispenser::GADTokenDispenser() {
    tokenRequestQueue_ = platform::OperationQueue::create("com.ruzave.ads.token-dispenser");
    tokenRequestQueue_->setMaxConcurrentOperationCount(1);
}

std::shared_ptr<GADTokenDispenser> GADTokenDispenser::init() {
    std::shared_ptr<GADTokenDispenser> dispenser(new GADTokenDispenser());
    // Read here, before anyone else can see the dispenser: a read left to a worker could still be
    // running while the process exits.
    dispenser->loadCache();
    dispenser->perform([weak = std::weak_ptr<GADTokenDispenser>(dispenser)] {
        auto self = weak.lock();
        if (!self) return;
        self->refreshTokensNow();
        self->rescheduleRefreshes();
    });
    dispenser->startObservingSignIn();
    return dispenser;
}

GADTokenDispenser::~GADTokenDispenser() {
    if (observingIdentitySDK_.load() && observedSignIn_) {
        observedSignIn_->removeObserver("currentUser", &kObservationContext);
        observedSignIn_->removeObserver("clientID", &kObservationContext);
    }
    if (refreshTimer_) refreshTimer_->invalidate();
}

// The stored cache is a property list: an array of {"user": ..., "entry": ...} pairs in their keyed
// forms. Entries that do not decode are left out; data that is no property-list array gives none.
void GADTokenDispenser::loadCache() {
    auto data = platform::UserDefaults::standard()->data(kSignedInTokensKey);
    if (!data) return;
    auto list = platform::PropertyList::parse(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    if (!list || !list->is_array()) {
        // Unreadable tokens are as good as none: the sign-in user gets new ones.
        platform::logWarning("GADTokenDispenser: the stored tokens are unreadable; starting with none");
        return;
    }
    for (const auto& item : *list) {
        const platform::Value* userArchive = platform::find(item, "user");
        const platform::Value* entryArchive = platform::find(item, "entry");
        if (userArchive == nullptr || entryArchive == nullptr) continue;
        auto user = GADSignedInUser::decode(*userArchive);
        auto entry = GADTokenCacheEntry::decode(*entryArchive);
        // One token belongs to one user: a repeat would break the reverse index.
        if (!user || !entry || cachedTokens_.count(*user) > 0 || cachedTokenUsers_.count(entry->token) > 0) continue;
        cachedTokens_.emplace(*user, *entry);
        cachedTokenUsers_.emplace(entry->token, *user);
    }
    if (cachedTokens_.empty()) return;
    minLifespan_ = std::numeric_limits<double>::infinity();
    for (const auto& [user, entry] : cachedTokens_)
        minLifespan_ = std::min(minLifespan_, std::min(entry.lifespanInSeconds, kMaximumLifespan));
}

void GADTokenDispenser::startObservingSignIn() {
    std::weak_ptr<GADTokenDispenser> weak = weak_from_this();
    GADRunOnMainThread([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->setCurrentUser(GADSignedInUser::init());
        if (auto signIn = GADSignInSharedInstance()) {
            auto changed = [weak] {
                if (auto dispenser = weak.lock()) dispenser->refreshSignedInUser();
            };
            signIn->addObserver("currentUser", &kObservationContext, changed);
            signIn->addObserver("clientID", &kObservationContext, changed);
            self->observedSignIn_ = signIn;
        }
        self->observingIdentitySDK_.store(true);
    });
}

void GADTokenDispenser::perform(std::function<void()> block) { tokenRequestQueue_->addOperation(std::move(block)); }

void GADTokenDispenser::performAndWait(const std::function<void()>& block) {
    if (platform::OperationQueue::current() == tokenRequestQueue_) {
        block();
        return;
    }
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    tokenRequestQueue_->addOperation([&block, done] {
        block();
        std::lock_guard lock(done->mutex);
        done->done = true;
        done->cv.notify_all();
    });
    std::unique_lock lock(done->mutex);
    done->cv.wait(lock, [&] { return done->done; });
}

void GADTokenDispenser::waitUntilIdle() { performAndWait([] {}); }

std::string GADTokenDispenser::tokenServiceURLString() {
    return std::string("https://") + GADHosts::kTokenServiceHost + "/oauth2/v3/token";
}

std::string GADTokenDispenser::displayAdsScope() {
    return std::string("https://") + GADHosts::kTokenServiceHost + "/auth/display_ads";
}

std::string GADTokenDispenser::tokenRequestBodyForUser(const GADSignedInUser& user) {
    std::vector<std::pair<std::string, std::string>> parameters = {
        {"client_id", user.applicationID()},
        {"grant_type", "refresh_token"},
        {"refresh_token", user.refreshToken()},
        {"scope", displayAdsScope()},
    };
    std::sort(parameters.begin(), parameters.end(), [](const auto& a, const auto& b) {
        return platform::caseInsensitiveCompare(a.first, b.first) < 0;
    });
    std::string body;
    for (const auto& [key, value] : parameters) {
        if (!body.empty()) body += "&";
        body += gad_stringByEscapingAsURLParameter(key) + "=" + gad_stringByEscapingAsURLParameter(value);
    }
    return body;
}

std::optional<std::string> GADTokenDispenser::token() {
    if (!GADSignedInAdsEnabled()) return std::nullopt;
    std::optional<std::string> result;
    performAndWait([&] {
        if (!currentUser_) return;
        auto it = cachedTokens_.find(*currentUser_);
        if (it != cachedTokens_.end()) {
            it->second.lastAccess = now();
            result = it->second.token;
        } else {
            // Served to later calls; this one does not wait for it.
            requestTokenForUser(*currentUser_);
        }
    });
    return result;
}

void GADTokenDispenser::refreshToken(const std::optional<std::string>& token) {
    if (!token) return;
    auto self = shared_from_this();
    perform([self, voided = *token] {
        auto user = self->cachedTokenUsers_.find(voided);
        if (user == self->cachedTokenUsers_.end()) return;
        const GADSignedInUser owner = user->second;
        auto entry = self->cachedTokens_.find(owner);
        // Only the user's current token counts: a late verdict on one already replaced changes nothing.
        if (entry == self->cachedTokens_.end() || entry->second.token != voided) {
            self->cachedTokenUsers_.erase(user);
            return;
        }
        self->removeCacheEntryForUser(owner);
        self->storeCache();
        self->requestTokenForUser(owner);
    });
}

void GADTokenDispenser::refreshSignedInUser() {
    std::weak_ptr<GADTokenDispenser> weak = weak_from_this();
    GADRunOnMainThread([weak] {
        if (auto self = weak.lock()) self->setCurrentUser(GADSignedInUser::init());
    });
}

void GADTokenDispenser::setCurrentUser(const std::optional<GADSignedInUser>& user) {
    auto self = shared_from_this();
    perform([self, user] {
        self->currentUser_ = user;
        if (!user) return;
        auto it = self->cachedTokens_.find(*user);
        if (it == self->cachedTokens_.end()) {
            self->requestTokenForUser(*user);
            return;
        }
        // The same user with a newer refresh token: later renewals use the newer one.
        if (it->first.refreshToken() != user->refreshToken() || it->first.applicationID() != user->applicationID()) {
            GADTokenCacheEntry entry = it->second;
            self->cachedTokens_.erase(it);
            self->cachedTokens_.emplace(*user, entry);
            self->cachedTokenUsers_.insert_or_assign(entry.token, *user);
            self->storeCache();
        }
    });
}

void GADTokenDispenser::requestTokenForUser(const GADSignedInUser& user) {
    if (user.applicationID().empty() || user.refreshToken().empty() || !GADSignedInAdsEnabled()) return;
    if (std::find(requestsInFlight_.begin(), requestsInFlight_.end(), user) != requestsInFlight_.end()) return;
    auto request = platform::URLRequest::withURLString(tokenServiceURLString());
    if (!request) return;
    request->setHTTPMethod("POST");
    request->setValue("application/x-www-form-urlencoded", "Content-Type");
    request->setHTTPBody(tokenRequestBodyForUser(user));
    requestsInFlight_.push_back(user);
    std::weak_ptr<GADTokenDispenser> weak = weak_from_this();
    platform::URLConnection::sendAsynchronousRequest(
        *request, platform::TransferOrigin::app(), tokenRequestQueue_,
        [weak, user](std::optional<platform::HTTPURLResponse>, platform::Bytes data, std::optional<platform::Error> error) {
            auto self = weak.lock();
            if (!self) return;
            auto& flight = self->requestsInFlight_;
            flight.erase(std::remove(flight.begin(), flight.end(), user), flight.end());
            // A connection error caches nothing; the timer or the next token() asks again.
            if (!error) self->cacheTokenFromResponseData(data, user);
            ++self->completedTokenRequests_;
        });
}

void GADTokenDispenser::cacheTokenFromResponseData(const platform::Bytes& data, const GADSignedInUser& user) {
    auto answer = platform::parseJSON(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    const std::string* accessToken = answer ? platform::findString(*answer, "access_token") : nullptr;
    const double receipt = now();
    if (accessToken == nullptr || accessToken->empty()) {
        // An error answer (a 5xx, a rate limit) keeps a token that is still valid; an expired one goes.
        auto it = cachedTokens_.find(user);
        if (it != cachedTokens_.end() && it->second.expiration <= receipt) {
            removeCacheEntryForUser(user);
            storeCache();
        }
        return;
    }
    removeCacheEntryForUser(user);

    GADTokenCacheEntry entry;
    entry.token = *accessToken;
    entry.lastAccess = receipt;
    double lifespan = 0;
    if (auto granted = grantedLifespan(*answer)) {
        double setting = platform::UserDefaults::standard()->doubleValue(kMinimumLifespanKey);
        double floor = (std::isfinite(setting) && setting > 0) ? setting : kDefaultMinimumLifespan;
        lifespan = std::max(*granted, floor);
    } else {
        lifespan = cachedTokens_.empty() ? kDefaultLifespan : minLifespan_;
    }
    lifespan = std::min(lifespan, kMaximumLifespan);
    entry.lifespanInSeconds = lifespan;
    entry.expiration = receipt + lifespan;

    if (lifespan < minLifespan_) {
        refreshTokensNow();
        minLifespan_ = lifespan;
        rescheduleRefreshes();
    } else if (cachedTokens_.empty()) {
        // The only token paces the renewals, and it needs a timer of its own.
        minLifespan_ = lifespan;
        rescheduleRefreshes();
    }
    setCacheEntry(entry, user);
}

void GADTokenDispenser::setCacheEntry(const GADTokenCacheEntry& entry, const GADSignedInUser& user) {
    if (!entry.token.empty()) {
        // The reverse index follows every change of the forward entry.
        removeCacheEntryForUser(user);
        if (auto other = cachedTokenUsers_.find(entry.token); other != cachedTokenUsers_.end())
            removeCacheEntryForUser(other->second);
        cachedTokens_.emplace(user, entry);
        cachedTokenUsers_.insert_or_assign(entry.token, user);
    }
    storeCache();
}

void GADTokenDispenser::removeCacheEntryForUser(const GADSignedInUser& user) {
    auto it = cachedTokens_.find(user);
    if (it == cachedTokens_.end()) return;
    auto reverse = cachedTokenUsers_.find(it->second.token);
    if (reverse != cachedTokenUsers_.end() && reverse->second == user) cachedTokenUsers_.erase(reverse);
    cachedTokens_.erase(it);
}

void GADTokenDispenser::storeCache() {
    platform::Value list = platform::Value::array();
    for (const auto& [user, entry] : cachedTokens_)
        list.push_back(platform::Value{{"user", user.encode()}, {"entry", entry.encode()}});
    auto xml = platform::PropertyList::toXML(list);
    if (!xml) return;
    platform::UserDefaults::standard()->set(kSignedInTokensKey,
                                            platform::Value::binary(platform::Bytes(xml->begin(), xml->end())));
}

void GADTokenDispenser::refreshTokens() {
    std::weak_ptr<GADTokenDispenser> weak = weak_from_this();
    perform([weak] {
        if (auto self = weak.lock()) self->refreshTokensNow();
    });
}

void GADTokenDispenser::refreshTokensNow() {
    if (cachedTokens_.empty()) return;
    double least = std::numeric_limits<double>::infinity();
    for (const auto& [user, entry] : cachedTokens_) least = std::min(least, entry.lifespanInSeconds);
    const double threshold = now() + kRefreshFraction * minLifespan_;
    if (least > minLifespan_) {
        minLifespan_ = std::min(least, kMaximumLifespan);
        rescheduleRefreshes();
    }
    // Requests answer later, so the cache does not change while it is walked; collect first anyway.
    std::vector<GADSignedInUser> due;
    for (const auto& [user, entry] : cachedTokens_) {
        if (entry.expiration < threshold) due.push_back(user);
    }
    for (const auto& user : due) requestTokenForUser(user);
}

void GADTokenDispenser::rescheduleRefreshes() {
    std::weak_ptr<GADTokenDispenser> weak = weak_from_this();
    perform([weak] {
        auto self = weak.lock();
        if (!self) return;
        const bool empty = self->cachedTokens_.empty();
        const double interval = kRefreshFraction * kTimerFraction * self->minLifespan_;
        const double tolerance = kRefreshFraction * self->minLifespan_ - interval;
        // The timer lives on the main thread: it is made and invalidated only there.
        GADRunOnMainThread([weak, empty, interval, tolerance] {
            auto dispenser = weak.lock();
            if (!dispenser) return;
            if (dispenser->refreshTimer_) dispenser->refreshTimer_->invalidate();
            dispenser->refreshTimer_.reset();
            dispenser->refreshInterval_.reset();
            if (empty) return;
            dispenser->refreshTimer_ = gad_scheduledTimerWithTimeInterval(
                interval, true, tolerance, [weak](platform::Timer&) {
                    // Fires on the main thread; the walk belongs to the token queue.
                    if (auto target = weak.lock()) target->refreshTokens();
                });
            dispenser->refreshInterval_ = interval;
        });
    });
}

std::optional<GADSignedInUser> GADTokenDispenser::currentUser() {
    std::optional<GADSignedInUser> user;
    performAndWait([&] { user = currentUser_; });
    return user;
}

std::optional<GADTokenCacheEntry> GADTokenDispenser::cacheEntryForUser(const GADSignedInUser& user) {
    std::optional<GADTokenCacheEntry> entry;
    performAndWait([&] {
        auto it = cachedTokens_.find(user);
        if (it != cachedTokens_.end()) entry = it->second;
    });
    return entry;
}

std::optional<GADSignedInUser> GADTokenDispenser::userForToken(const std::string& token) {
    std::optional<GADSignedInUser> user;
    performAndWait([&] {
        auto it = cachedTokenUsers_.find(token);
        if (it != cachedTokenUsers_.end()) user = it->second;
    });
    return user;
}

std::size_t GADTokenDispenser::cachedTokenCount() {
    std::size_t count = 0;
    performAndWait([&] { count = cachedTokens_.size(); });
    return count;
}

double GADTokenDispenser::minLifespan() {
    double lifespan = 0;
    performAndWait([&] { lifespan = minLifespan_; });
    return lifespan;
}

std::optional<double> GADTokenDispenser::refreshInterval() const { return refreshInterval_; }

} // namespace ruzave
