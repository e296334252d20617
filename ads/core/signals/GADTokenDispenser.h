#pragma once
// Hands out the signed-in user's access token for ad requests. Exchanges each user's refresh token for
// access tokens at the token service, keeps them in a cache that survives restarts (the user
// defaults), renews them before they expire on a repeating main-loop timer, and follows the sign-in
// library's current user. Dormant unless signed-in ads are enabled and the sign-in library exists.
// Any thread: every change of the cache runs as an operation of one token queue (one at a time);
// token() waits for its operation and so must not be called from one.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "ads/core/signals/GADSignedInUser.h"
#include "ads/core/signals/GADTokenCacheEntry.h"
#include "platform/base/Value.h"

namespace platform {
class OperationQueue;
class Timer;
class URLRequest;
} // namespace platform

namespace ruzave {

class GADStubsForGID;

// NO while the device limits ad tracking; otherwise the "/ruzave/ads/enable_signed_in_ads" setting.
bool GADSignedInAdsEnabled();

class GADTokenDispenser : public std::enable_shared_from_this<GADTokenDispenser> {
public:
    static constexpr const char* kSignedInTokensKey = "/ruzave/ads/SignedInTokens";
    static constexpr const char* kMinimumLifespanKey = "/ruzave/ads/minimum_signed_in_ads_token_lifespan";
    static constexpr double kDefaultLifespan = 3600.0;
    static constexpr double kDefaultMinimumLifespan = 60.0;
    // Longer grants are held to this, so that expirations and timer intervals stay representable.
    static constexpr double kMaximumLifespan = 30.0 * 24 * 3600;
    static constexpr double kRefreshFraction = 0.9;
    static constexpr double kTimerFraction = 0.8;

    static std::shared_ptr<GADTokenDispenser> sharedInstance();
    // A dispenser reading the stored cache afresh (the shared one is made with it).
    static std::shared_ptr<GADTokenDispenser> init();
    ~GADTokenDispenser();
    GADTokenDispenser(const GADTokenDispenser&) = delete;
    GADTokenDispenser& operator=(const GADTokenDispenser&) = delete;

    // "https://<token host>/oauth2/v3/token" and the display-ads scope on the same host.
    static std::string tokenServiceURLString();
    static std::string displayAdsScope();
    // The form body of a refresh-token grant for `user`: keys in case-insensitive order, each key and
    // value percent-encoded.
    static std::string tokenRequestBodyForUser(const GADSignedInUser& user);

    // The current user's token; nullopt when there is none yet (a request for one is then started).
    std::optional<std::string> token();
    // The ad server declared `token` void: when it is a user's current token, drop it and ask anew.
    void refreshToken(const std::optional<std::string>& token);
    // Asks the sign-in library for its user again (after each delivery of SDK constants).
    void refreshSignedInUser();
    void setCurrentUser(const std::optional<GADSignedInUser>& user);
    // Renews every token that expires within 0.9 of the shortest lifespan (queued on the token queue).
    void refreshTokens();

    // --- For tests: snapshots taken on the token queue, after everything queued before.
    std::optional<GADSignedInUser> currentUser();
    std::optional<GADTokenCacheEntry> cacheEntryForUser(const GADSignedInUser& user);
    std::optional<GADSignedInUser> userForToken(const std::string& token);
    std::size_t cachedTokenCount();
    double minLifespan();
    // Main thread: the refresh timer's interval, or nullopt while none is armed.
    std::optional<double> refreshInterval() const;
    // Waits until the token queue is idle (never on the token queue).
    void waitUntilIdle();
    // Token requests whose answer or failure has been taken in.
    std::size_t completedTokenRequestCount() const { return completedTokenRequests_.load(); }

private:
    using Cache = std::unordered_map<GADSignedInUser, GADTokenCacheEntry, GADSignedInUser::Hash>;

    GADTokenDispenser();
    // Before the dispenser is shared.
    void loadCache();
    void startObservingSignIn();
    // Runs `block` as one operation of the token queue and waits for it (inline when already there).
    void performAndWait(const std::function<void()>& block);
    void perform(std::function<void()> block);

    // Token queue only.
    void requestTokenForUser(const GADSignedInUser& user);
    void cacheTokenFromResponseData(const platform::Bytes& data, const GADSignedInUser& user);
    void setCacheEntry(const GADTokenCacheEntry& entry, const GADSignedInUser& user);
    void removeCacheEntryForUser(const GADSignedInUser& user);
    void refreshTokensNow();
    void rescheduleRefreshes();
    void storeCache();

    std::shared_ptr<platform::OperationQueue> tokenRequestQueue_;
    // Token queue only.
    Cache cachedTokens_;
    std::unordered_map<std::string, GADSignedInUser> cachedTokenUsers_;
    std::optional<GADSignedInUser> currentUser_;
    double minLifespan_ = kDefaultLifespan;
    // Users whose token request is on its way: a second one would bring the same answer.
    std::vector<GADSignedInUser> requestsInFlight_;

    // Main thread only.
    std::shared_ptr<platform::Timer> refreshTimer_;
    std::optional<double> refreshInterval_;
    std::shared_ptr<GADStubsForGID> observedSignIn_;
    std::atomic<bool> observingIdentitySDK_{false};
    std::atomic<std::size_t> completedTokenRequests_{0};
};

} // namespace ruzave
