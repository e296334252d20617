#include <doctest/doctest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>

#include "../net/FetchTestSupport.h"
#include "../slot/SlotTestSupport.h"
#include "ads/core/public/GADRequest.h"
#include "SignInTestSupport.h"
#include "ads/core/signals/GADTokenDispenser.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Sandbox.h"
#include "platform/runloop/Clock.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "tools/adserver/TokenService.h"

using adserver::TokenService;
using ruzave::GADSignedInUser;
using ruzave::GADTokenDispenser;

namespace {

const GADSignedInUser kUser{"https://accounts.example", "user-1", "app-client.apps.example", "1//refresh"};

// The token service on the local server and a signed-in user; the dispenser is made on first use.
struct TokenFixture : fetchtest::ServerFixture {
    std::shared_ptr<TokenService> service = TokenService::install(*server);
    signintest::SignInLibrary library;

    TokenFixture() { library.signIn->user = signintest::makeUser("user-1", "1//refresh"); }

    std::shared_ptr<GADTokenDispenser> dispenser() { return GADTokenDispenser::sharedInstance(); }
    std::size_t tokenRequests() const { return server->requestCount(TokenService::kPath); }
    // Waits until the service has had `count` requests and `d` has taken `taken` answers in, with
    // what they set off (the timer on the main thread) done.
    bool answered(std::size_t count, std::shared_ptr<GADTokenDispenser> d = nullptr, std::size_t taken = 0) {
        if (!d) d = dispenser();
        if (taken == 0) taken = count;
        bool ok = settle([&] { return tokenRequests() >= count && d->completedTokenRequestCount() >= taken; });
        d->waitUntilIdle();
        runUntilIdle();
        d->waitUntilIdle();
        return ok && tokenRequests() == count;
    }
    // Making the dispenser with a signed-in user asks for the first token at once.
    std::string firstToken() {
        dispenser();
        REQUIRE(answered(1));
        auto token = dispenser()->token();
        REQUIRE(token);
        return *token;
    }
    // Holds the service's answers until `release` is set (30 s at most), so that whatever the test does
    // meanwhile comes first, however busy the machine is.
    void holdAnswers(std::promise<void>& release) {
        std::shared_future<void> released = release.get_future().share();
        server->routeHost(TokenService::kDefaultHost, TokenService::kPath,
                          [service = service, released](const adserver::Request& request) {
                              released.wait_for(std::chrono::seconds(30));
                              return service->answer(request);
                          });
    }
    ruzave::GADTokenCacheEntry entry() {
        auto e = dispenser()->cacheEntryForUser(kUser);
        REQUIRE(e);
        return *e;
    }
};

} // namespace

TEST_CASE("GADTokenDispenser: the grant body has its keys in order and every reserved byte escaped") {
    GADSignedInUser user("iss", "sub", "app id.apps", "1/ab+c=d&e~f");
    CHECK(GADTokenDispenser::tokenRequestBodyForUser(user) ==
          "client_id=app%20id.apps&grant_type=refresh_token&refresh_token=1%2Fab%2Bc%3Dd%26e~f"
          "&scope=https%3A%2F%2Faccounts.ruzave.example%2Fauth%2Fdisplay_ads");
    CHECK(GADTokenDispenser::tokenServiceURLString() == "https://accounts.ruzave.example/oauth2/v3/token");
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: a signed-in user's token comes from a form POST and is handed out") {
    const double start = platform::Clock::wallTime();
    CHECK(firstToken() == "access-1");
    auto request = server->requests(TokenService::kPath).at(0);
    CHECK(request.method == "POST");
    CHECK(request.host == "accounts.ruzave.example");
    CHECK(request.header("content-type") == "application/x-www-form-urlencoded");
    CHECK(request.body ==
          "client_id=app-client.apps.example&grant_type=refresh_token&refresh_token=1%2F%2Frefresh"
          "&scope=https%3A%2F%2Faccounts.ruzave.example%2Fauth%2Fdisplay_ads");
    auto e = entry();
    CHECK(e.lifespanInSeconds == 3600);
    CHECK(e.expiration == doctest::Approx(start + 3600));
    CHECK(dispenser()->userForToken("access-1") == kUser);
    // The only token paces the renewals: 0.72 of its lifespan.
    CHECK(dispenser()->refreshInterval() == doctest::Approx(2592));
    // Handing it out again asks nothing of the service.
    advance(10);
    CHECK(dispenser()->token() == "access-1");
    CHECK(entry().lastAccess == doctest::Approx(start + 10));
    CHECK(tokenRequests() == 1);
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: granted lifespans are raised to the floor, expired and garbled ones too") {
    struct Case {
        const char* expiresIn;
        double lifespan;
    };
    const Case cases[] = {
        {"30", 60},                  // below the floor of 60 s
        {"\"3600\"", 3600},          // a numeric string counts like the number
        {"", 3600},                  // absent, and no other user: the default
        {"-5", 60},                  // already expired: as short as allowed
        {"0", 60},                   // expires now
        {"\"-1\"", 60},              // a negative numeric string
        {"\"soon\"", 60},            // garbled text reads as 0
        {"null", 3600},              // no lifespan given
        {"1e308", GADTokenDispenser::kMaximumLifespan},  // huge: held to the maximum
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        CAPTURE(c.expiresIn);
        service->setExpiresIn(c.expiresIn);
        // The first token comes with the dispenser; each later one replaces a voided token.
        if (i == 0) {
            dispenser();
        } else {
            dispenser()->refreshToken(dispenser()->token());
        }
        REQUIRE(answered(i + 1));
        auto e = entry();
        CHECK(e.lifespanInSeconds == c.lifespan);
        CHECK(std::isfinite(e.expiration));
    }
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: the lifespan floor follows the setting") {
    platform::UserDefaults::standard()->set(GADTokenDispenser::kMinimumLifespanKey, "120");
    service->setExpiresIn("30");
    firstToken();
    CHECK(entry().lifespanInSeconds == 120);
    CHECK(dispenser()->minLifespan() == 120);
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: tokens are renewed on the refresh timer before they expire") {
    service->setExpiresIn("100");
    CHECK(firstToken() == "access-1");
    CHECK(dispenser()->minLifespan() == 100);
    REQUIRE(dispenser()->refreshInterval() == doctest::Approx(72));
    advance(71.5);
    dispenser()->waitUntilIdle();
    CHECK(tokenRequests() == 1);
    advance(1);
    REQUIRE(answered(2));
    CHECK(dispenser()->token() == "access-2");
    // The reverse index follows the forward entry.
    CHECK_FALSE(dispenser()->userForToken("access-1"));
    CHECK(dispenser()->userForToken("access-2") == kUser);
    // Each renewal of the only token re-arms the timer from its receipt.
    advance(73);
    REQUIRE(answered(3));
    CHECK(dispenser()->token() == "access-3");
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: an answer without a token keeps a still valid one and the next refresh recovers") {
    service->setExpiresIn("1000");
    CHECK(firstToken() == "access-1");
    service->answerNext(adserver::Response::json("{\"error\":\"backend_error\"}", 503));
    service->answerNext(adserver::Response::json("{\"error\":\"rate_limit_exceeded\"}", 429));
    service->answerNext(adserver::Response::html("<html>not json</html>", 200));
    service->answerNext(adserver::Response::json("{\"access_token\":7}", 200));
    service->answerNext(adserver::Response::json("{\"access_token\":\"\"}", 200));
    // The timer asks when 280 s are left; from then on each refresh asks again.
    advance(720.5);
    for (std::size_t n = 2; n <= 6; ++n) {
        CAPTURE(n);
        if (n > 2) dispenser()->refreshTokens();
        REQUIRE(answered(n));
        CHECK(dispenser()->token() == "access-1");
        CHECK(dispenser()->userForToken("access-1") == kUser);
    }
    dispenser()->refreshTokens();
    REQUIRE(answered(7));
    CHECK(dispenser()->token() == "access-2");
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: an error answer drops a token that has expired") {
    service->setExpiresIn("1000");
    CHECK(firstToken() == "access-1");
    service->answerNext(adserver::Response::json("{\"error\":\"backend_error\"}", 500));
    // The timer asks at 720 s; the answer is taken in after the token's end.
    std::promise<void> release;
    holdAnswers(release);
    advance(1000.5);
    release.set_value();
    REQUIRE(answered(2));
    CHECK_FALSE(dispenser()->userForToken("access-1"));
    CHECK(dispenser()->cachedTokenCount() == 0);
    CHECK_FALSE(dispenser()->token());
    REQUIRE(answered(3));
    CHECK(dispenser()->token() == "access-2");
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: a void verdict renews only the user's current token") {
    CHECK(firstToken() == "access-1");
    dispenser()->refreshToken(std::nullopt);
    dispenser()->refreshToken(std::string("unknown"));
    dispenser()->waitUntilIdle();
    CHECK(tokenRequests() == 1);

    dispenser()->refreshToken(std::string("access-1"));
    dispenser()->waitUntilIdle();
    // Dropped at once: nothing to hand out until the new one arrives.
    CHECK_FALSE(dispenser()->userForToken("access-1"));
    REQUIRE(answered(2));
    CHECK(dispenser()->token() == "access-2");

    // A late verdict on the replaced token changes nothing.
    dispenser()->refreshToken(std::string("access-1"));
    dispenser()->waitUntilIdle();
    runUntilIdle();
    CHECK(tokenRequests() == 2);
    CHECK(dispenser()->token() == "access-2");
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: with signed-in ads off or tracking limited there is no token and no request") {
    SUBCASE("switch off") { platform::UserDefaults::standard()->set("/ruzave/ads/enable_signed_in_ads", "0"); }
    SUBCASE("tracking limited") {
        platform::AdvertisingIdentifierManager::sharedManager()->setAdvertisingTrackingEnabledForTesting(false);
    }
    CHECK_FALSE(ruzave::GADSignedInAdsEnabled());
    CHECK_FALSE(dispenser()->token());
    runUntilIdle();
    dispenser()->waitUntilIdle();
    CHECK(tokenRequests() == 0);
    CHECK(dispenser()->cachedTokenCount() == 0);
    CHECK_FALSE(platform::UserDefaults::standard()->object(GADTokenDispenser::kSignedInTokensKey));
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: the current user follows the sign-in library, and a late answer after sign-out is not handed out") {
    CHECK(firstToken() == "access-1");
    library.signInUser(nullptr);
    runUntilIdle();
    CHECK_FALSE(dispenser()->currentUser());
    CHECK_FALSE(dispenser()->token());

    // Another user signs in; the answer arrives after they signed out again.
    auto slow = adserver::Response::json("{\"access_token\":\"late\",\"expires_in\":3600}");
    slow.delay = std::chrono::milliseconds(200);
    service->answerNext(slow);
    library.signInUser(signintest::makeUser("user-2", "2//refresh"));
    runUntilIdle();
    CHECK(dispenser()->currentUser() == GADSignedInUser("https://accounts.example", "user-2", "", ""));
    library.signInUser(nullptr);
    runUntilIdle();
    REQUIRE(answered(2));
    CHECK_FALSE(dispenser()->token());
    // The cache stays consistent: both users, each under its own token.
    CHECK(dispenser()->cachedTokenCount() == 2);
    CHECK(dispenser()->userForToken("late") == GADSignedInUser("https://accounts.example", "user-2", "", ""));
    CHECK(dispenser()->userForToken("access-1") == kUser);
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: the cache survives a restart in a settings file only the owner can read") {
    service->setExpiresIn("500");
    CHECK(firstToken() == "access-1");
    auto defaults = platform::UserDefaults::standard();
    REQUIRE(defaults->synchronize());
    struct stat info {};
    REQUIRE(::stat(defaults->filePath().c_str(), &info) == 0);
    CHECK((info.st_mode & 0777) == 0600);

    platform::UserDefaults::resetStandardForTesting();
    auto restarted = GADTokenDispenser::init();
    auto e = restarted->cacheEntryForUser(kUser);
    REQUIRE(e);
    CHECK(e->token == "access-1");
    CHECK(e->lifespanInSeconds == 500);
    CHECK(restarted->minLifespan() == 500);
    CHECK(restarted->userForToken("access-1") == kUser);
    restarted->waitUntilIdle();
    runUntilIdle();
    CHECK(restarted->refreshInterval() == doctest::Approx(360));
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: unreadable stored tokens mean an empty cache and a fresh token") {
    auto defaults = platform::UserDefaults::standard();
    const std::string xml = *platform::PropertyList::toXML(platform::Value::array(
        {platform::Value{{"user", kUser.encode()}, {"entry", {{"token", "old"}, {"lastAccess", 1}, {"expiration", 2}, {"lifespanInSeconds", 60}}}}}));
    SUBCASE("truncated") {
        defaults->set(GADTokenDispenser::kSignedInTokensKey, platform::Value::binary(platform::Bytes(xml.begin(), xml.begin() + xml.size() / 2)));
    }
    SUBCASE("of the wrong type") { defaults->set(GADTokenDispenser::kSignedInTokensKey, "not data"); }
    SUBCASE("a dictionary") {
        const std::string dict = *platform::PropertyList::toXML(platform::Value{{"a", 1}});
        defaults->set(GADTokenDispenser::kSignedInTokensKey, platform::Value::binary(platform::Bytes(dict.begin(), dict.end())));
    }
    SUBCASE("entries with bad lifespans") {
        const std::string bad = *platform::PropertyList::toXML(platform::Value::array(
            {platform::Value{{"user", kUser.encode()}, {"entry", {{"token", "old"}, {"lastAccess", 1}, {"expiration", 2}, {"lifespanInSeconds", -60}}}},
             platform::Value{{"user", 5}, {"entry", 6}}}));
        defaults->set(GADTokenDispenser::kSignedInTokensKey, platform::Value::binary(platform::Bytes(bad.begin(), bad.end())));
    }
    auto d = GADTokenDispenser::init();
    CHECK(d->minLifespan() == 3600);
    REQUIRE(answered(1, d));
    CHECK(d->token() == "access-1");
    CHECK(d->cachedTokenCount() == 1);
    CHECK_FALSE(d->userForToken("old"));
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: the bearer token goes only to whitelisted https hosts, also across redirects") {
    CHECK(firstToken() == "access-1");
    const char* ad = "<html><body>ad</body></html>";
    server->routeHost(ruzave::GADHosts::kAdServerHost, "/ad", [ad](const adserver::Request&) { return adserver::Response::html(ad); });
    server->routeHost("elsewhere.example", "/ad", [ad](const adserver::Request&) { return adserver::Response::html(ad); });
    server->routeHost(ruzave::GADHosts::kAdServerHost, "/away", [](const adserver::Request&) {
        return adserver::Response::redirect("https://elsewhere.example/ad");
    });
    // Plain http never qualifies, even on a whitelisted host.
    CHECK_FALSE(ruzave::GADAdFetcher::init()->requestHeadersForURL(platform::URL::parse("http://ads.ruzave.example/ad")));
    auto fetch = [&](const std::string& url) {
        auto fetcher = ruzave::GADAdFetcher::init();
        auto recorder = std::make_shared<fetchtest::FetchRecorder>();
        auto target = ruzave::GADAd::init();
        target->setAdURL(platform::URL::parse(url));
        REQUIRE(fetcher->fetchRemainingContentForAd(target, std::nullopt, recorder, nullptr, nullptr));
        REQUIRE(settle([&] { return recorder->calls() > 0; }));
    };
    fetch("https://ads.ruzave.example/ad");
    fetch("https://elsewhere.example/ad");
    fetch("https://ads.ruzave.example/away");
    auto adRequests = server->requests("/ad");
    REQUIRE(adRequests.size() == 3);
    CHECK(adRequests[0].host == "ads.ruzave.example");
    CHECK(adRequests[0].header("authorization") == "Bearer access-1");
    CHECK(adRequests[1].header("authorization").empty());
    CHECK(server->requests("/away").at(0).header("authorization") == "Bearer access-1");
    CHECK(adRequests[2].host == "elsewhere.example");
    CHECK(adRequests[2].header("authorization").empty());
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: the ad server clearing the token sent renews it") {
    CHECK(firstToken() == "access-1");
    server->routeHost(ruzave::GADHosts::kAdServerHost, "/ad", [](const adserver::Request&) {
        return adserver::Response::html("<p>ad</p>").header("X-Zudo-OAuth-Token-Status", "clear");
    });
    auto fetcher = ruzave::GADAdFetcher::init();
    auto recorder = std::make_shared<fetchtest::FetchRecorder>();
    auto target = ruzave::GADAd::init();
    target->setAdURL(platform::URL::parse("https://ads.ruzave.example/ad"));
    REQUIRE(fetcher->fetchRemainingContentForAd(target, std::nullopt, recorder, nullptr, nullptr));
    REQUIRE(settle([&] { return recorder->calls() > 0; }));
    REQUIRE(answered(2));
    CHECK(dispenser()->token() == "access-2");
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: a request carries the token and then asks for https") {
    platform::UserDefaults::standard()->set("/ruzave/ads/use_https", false);
    CHECK(firstToken() == "access-1");
    slottest::FakeNeighbours fakes;
    auto owner = std::make_shared<slottest::FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(ruzave::GADRequest::request());
    auto p = slot->requestParameters();
    REQUIRE(p);
    CHECK((*p)["pan"] == platform::Value{{"token", "access-1"}});
    CHECK((*p)["force_https"] == "1");
}

TEST_CASE_FIXTURE(TokenFixture, "GADTokenDispenser: a torn settings file loses the tokens, not the process, and the next request recovers") {
    CHECK(firstToken() == "access-1");
    auto defaults = platform::UserDefaults::standard();
    REQUIRE(defaults->synchronize());
    const std::string path = defaults->filePath();
    auto text = platform::Sandbox::readFile(path);
    REQUIRE(text);
    REQUIRE(platform::Sandbox::writeFileAtomically(path, text->substr(0, text->size() / 2), nullptr, 0600));
    defaults.reset();
    platform::UserDefaults::resetStandardForTesting();

    platform::UserDefaults::standard()->set("/ruzave/ads/enable_signed_in_ads", "1");
    // The restarted dispenser asks for a token at once: its answer must not fill the cache before it is read.
    std::promise<void> release;
    holdAnswers(release);
    auto restarted = GADTokenDispenser::init();
    CHECK(restarted->cachedTokenCount() == 0);
    release.set_value();
    REQUIRE(answered(2, restarted, 1));
    CHECK(restarted->token() == "access-2");
}
