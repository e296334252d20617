#include <doctest/doctest.h>

#include "FetchTestSupport.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/telemetry/GADCSI.h"
#include "platform/foundation/UserDefaults.h"

using fetchtest::FetchRecorder;
using fetchtest::ServerFixture;
using ruzave::GADAd;
using ruzave::GADAdFetcher;

namespace {

struct Fetch {
    std::shared_ptr<GADAdFetcher> fetcher = GADAdFetcher::init();
    std::shared_ptr<FetchRecorder> recorder = std::make_shared<FetchRecorder>();
    std::shared_ptr<GADAd> ad = GADAd::init();
};

// Fetches `path` on the ad server as the slot does and waits for the one delegate call.
Fetch fetchAd(ServerFixture& f, const std::string& path, const std::string& host = ruzave::GADHosts::kAdServerHost) {
    Fetch x;
    x.ad->setAdURL(platform::URL::parse(ServerFixture::url(path, host)));
    REQUIRE(x.fetcher->fetchRemainingContentForAd(x.ad, std::nullopt, x.recorder, nullptr, nullptr));
    REQUIRE(f.settle([&] { return x.recorder->calls() > 0; }));
    CHECK(x.recorder->calls() == 1);
    return x;
}

} // namespace

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: an ad that carries its HTML is reported on a later turn without a download") {
    Fetch x;
    x.ad->setAdHTML(std::string("<p>inline</p>"));
    REQUIRE(x.fetcher->fetchRemainingContentForAd(x.ad, std::nullopt, x.recorder, nullptr, nullptr));
    CHECK(x.recorder->calls() == 0);  // never inside the start call
    runUntilIdle();
    CHECK(x.recorder->fetched == 1);
    CHECK(x.recorder->ad == x.ad);
    CHECK(x.ad->responseType() == 1);
    CHECK(server->requests().empty());
    CHECK(x.fetcher->hasNotifiedDelegate());
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: an ad with neither HTML nor URL fails with no fill") {
    Fetch x;
    REQUIRE(x.fetcher->fetchRemainingContentForAd(x.ad, std::nullopt, x.recorder, nullptr, nullptr));
    runUntilIdle();
    CHECK(x.recorder->failed == 1);
    CHECK(x.recorder->error->code == ruzave::GADRequestErrorNoFill);
    CHECK(x.recorder->responseCode == 0);
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: a second fetch on the same fetcher is refused and changes nothing") {
    Fetch x;
    x.ad->setAdHTML(std::string("<p>x</p>"));
    REQUIRE(x.fetcher->fetchRemainingContentForAd(x.ad, std::nullopt, x.recorder, nullptr, nullptr));
    platform::Error error;
    CHECK_FALSE(x.fetcher->fetchRequestURL(request("/other"), x.recorder, &error));
    CHECK(error.code == ruzave::GADRequestErrorNetworkError);
    CHECK(error.description.find("Could not start fetch. This object has already been used to fetch.") != std::string::npos);
    runUntilIdle();
    CHECK(x.recorder->calls() == 1);
    CHECK(server->requests().empty());
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: a fetch whose connection will not start reports its failure once") {
    // A connection busy with a slow load of its own refuses a second start.
    server->route("/slow", [](const adserver::Request&) {
        auto r = adserver::Response::html("<p>slow</p>");
        r.delay = std::chrono::milliseconds(200);
        return r;
    });
    auto busy = ruzave::GADURLConnection::init();
    auto other = std::make_shared<fetchtest::ConnectionRecorder>();
    REQUIRE(busy->startWithRequestURL(request("/slow"), other, nullptr));
    auto recorder = std::make_shared<FetchRecorder>();
    auto ad = GADAd::init();
    ad->setAdURL(platform::URL::parse(url("/ad")));
    int reports = 0;

    SUBCASE("to the caller when it asks for the error") {
        auto fetcher = GADAdFetcher::initWithConnection(busy);
        platform::Error error;
        CHECK_FALSE(fetcher->fetchRemainingContentForAd(ad, std::nullopt, recorder, nullptr, &error));
        CHECK(error.code == ruzave::GADRequestErrorNetworkError);
        CHECK(error.description.find("Failed to start ad connection.") != std::string::npos);
        CHECK(recorder->calls() == 0);
        reports = 0;
        fetcher->cancel();
        fetcher.reset();
    }
    SUBCASE("else to the delegate, inside the start") {
        auto fetcher = GADAdFetcher::initWithConnection(busy);
        CHECK_FALSE(fetcher->fetchRemainingContentForAd(ad, std::nullopt, recorder, nullptr, nullptr));
        CHECK(recorder->failed == 1);
        CHECK(recorder->error->code == ruzave::GADRequestErrorNetworkError);
        CHECK(recorder->responseCode == 0);
        reports = 1;
        fetcher.reset();
    }
    // Nothing more is reported, and the load the connection was busy with goes on undisturbed.
    REQUIRE(settle([&] { return other->done(); }));
    CHECK(other->calls.back() == "finish");
    CHECK(other->body == std::optional<std::string>("<p>slow</p>"));
    CHECK(recorder->calls() == reports);
    CHECK(server->requestCount("/ad") == 0);
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: the response type follows the x-zudo headers") {
    struct Case {
        std::string name;
        adserver::Response response;
        std::uint32_t type;
    };
    std::vector<Case> cases = {
        {"plain html", adserver::Response::html("<p>ad</p>"), 1},
        {"mediation json with a charset, upper-case name",
         adserver::Response::text("{\"ad_networks\":[]}", "application/json; charset=UTF-8").header("X-ZUDO-MEDIATION", "1"), 2},
        {"mediation json, type in capitals", adserver::Response::text("{}", "Application/JSON").header("x-zudo-mediation", "true"), 2},
        {"native", adserver::Response::json("{\"a\":1}").header("x-zudo-ad-format", "NATIVE"), 3},
        {"mediation wins over native",
         adserver::Response::json("{}").header("x-zudo-ad-format", "native").header("x-zudo-mediation", "1"), 2},
        {"custom rendering", adserver::Response::html("<p>c</p>").header("x-zudo-custom-rendering-allowed", "1"), 4},
        {"mediation false is standard", adserver::Response::html("<p>s</p>").header("x-zudo-mediation", "0"), 1},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        CAPTURE(cases[i].name);
        const std::string path = "/ad" + std::to_string(i);
        server->route(path, cases[i].response);
        Fetch x = fetchAd(*this, path);
        CHECK(x.recorder->fetched == 1);
        CHECK(x.ad->responseType() == cases[i].type);
        CHECK(x.ad->adHTML() == std::optional<std::string>(cases[i].response.body));
        REQUIRE(x.ad->adBaseURL().has_value());
        CHECK(x.ad->adBaseURL()->absoluteString() == url(path));
    }
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: a mediation answer that is not JSON fails once with code 3 as its headers arrive") {
    server->route("/med", adserver::Response::html("<p>not json</p>").header("x-zudo-mediation", "1"));
    Fetch x = fetchAd(*this, "/med");
    CHECK(x.recorder->failed == 1);
    CHECK(x.recorder->error->code == ruzave::GADRequestErrorServerError);
    CHECK(x.recorder->responseCode == 0);
    CHECK(x.ad->responseType() == 0);
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: trackers of redirect hops and of the final answer all reach the ad") {
    server->route("/click", adserver::Response::redirect(url("/ad"))
                                .header("x-zudo-tracking-urls", "https://ping.ruzave.example/imp1")
                                .header("x-zudo-click-tracking-urls", "https://ping.ruzave.example/c1"));
    server->route("/ad", adserver::Response::html("<p>ad</p>")
                             .header("X-Zudo-Tracking-Urls", " https://ping.ruzave.example/imp2\thttps://ping.ruzave.example/imp1 %zz ")
                             .header("x-zudo-manual-tracking-urls", "https://ping.ruzave.example/m1"));
    Fetch x = fetchAd(*this, "/click");
    REQUIRE(x.recorder->fetched == 1);
    std::vector<std::string> impressions;
    for (const auto& u : x.ad->impressionURLs()) impressions.push_back(u.absoluteString());
    CHECK(impressions == std::vector<std::string>{"https://ping.ruzave.example/imp1", "https://ping.ruzave.example/imp2"});
    REQUIRE(x.ad->clickURLs().size() == 1);
    CHECK(x.ad->clickURLs()[0].absoluteString() == "https://ping.ruzave.example/c1");
    CHECK(x.ad->manualImpressionURLs().size() == 1);
    REQUIRE(x.ad->responseHeaders().has_value());
    CHECK(x.ad->responseHeaders()->contains("x-zudo-click-tracking-urls"));
    CHECK(x.ad->responseHeaders()->contains("x-zudo-tracking-urls"));
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: the headers' presentation settings are read into the ad") {
    // Swipe settings need the OS version the SDK's start-up reads.
    ruzave::GADDevice::sharedInstance()->updateOperatingSystemVersionProperties();
    platform::Value headers = {
        {"X-Zudo-Orientation", "landscape"},
        {"x-zudo-refresh-rate", "0"},
        {"x-zudo-debug-dialog", "debug text"},
        {"x-zudo-ad-size", "320x50"},
        {"x-zudo-disable-activation-and-scroll", "1"},
        {"x-zudo-fluid", "HEIGHT"},
        {"x-zudo-activeview", "{\"enabled\":true}"},
        {"x-zudo-swipe-to-view-controller", "{\"app_store_product_id\":7}"},
        {"x-zudo-gws-query-id", "q-1"},
    };
    Fetch x;
    x.ad->setAdHTML(std::string("<p>x</p>"));
    x.ad->setReloadInterval(45);
    REQUIRE(x.fetcher->fetchRequestURL(std::nullopt, x.recorder, headers, x.ad, nullptr));
    CHECK(x.ad->supportedOrientations() == 24);
    CHECK(x.ad->reloadInterval() == 0);
    CHECK(x.ad->debugDialog() == std::optional<std::string>("debug text"));
    CHECK(x.ad->customAdSizeString() == std::optional<std::string>("320x50"));
    CHECK_FALSE(x.ad->isScrollEnabled());
    CHECK(x.ad->isFluid());
    REQUIRE(x.ad->activeViewConfigurations().has_value());
    CHECK((*x.ad->activeViewConfigurations())["enabled"] == true);
    REQUIRE(x.ad->swipeToViewControllerConfigurations() != nullptr);
    CHECK(ruzave::GADCSI::sharedInstance()->GWSQueryID() == std::optional<std::string>("q-1"));
    runUntilIdle();
    CHECK(x.recorder->fetched == 1);
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: a refresh rate counts only when the whole text is a number of 0 or more") {
    for (const char* bad : {"-5", "", "12abc", "abc", "inf", "nan", "0x10", "1e999"}) {
        CAPTURE(bad);
        Fetch x;
        x.ad->setAdHTML(std::string("<p>x</p>"));
        x.ad->setReloadInterval(45);
        REQUIRE(x.fetcher->fetchRequestURL(std::nullopt, x.recorder, platform::Value{{"x-zudo-refresh-rate", bad}}, x.ad,
                                           nullptr));
        CHECK(x.ad->reloadInterval() == 45);
    }
    Fetch good;
    good.ad->setAdHTML(std::string("<p>x</p>"));
    REQUIRE(good.fetcher->fetchRequestURL(std::nullopt, good.recorder, platform::Value{{"x-zudo-refresh-rate", " 30.5 "}},
                                          good.ad, nullptr));
    CHECK(good.ad->reloadInterval() == 30.5);
    // An orientation word it does not know, and a number where a string is expected, leave the ad alone.
    Fetch odd;
    odd.ad->setAdHTML(std::string("<p>x</p>"));
    REQUIRE(odd.fetcher->fetchRequestURL(std::nullopt, odd.recorder,
                                         platform::Value{{"x-zudo-orientation", "sideways"}, {"x-zudo-refresh-rate", 20}},
                                         odd.ad, nullptr));
    CHECK(odd.ad->supportedOrientations() == 30);
    CHECK(odd.ad->reloadInterval() == 0);
    runUntilIdle();
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: an HTTP error page is no ad") {
    server->route("/bad", adserver::Response::html("<p>bad params</p>", 400));
    server->route("/gone", adserver::Response::html("<p>gone</p>", 404));
    server->route("/broken", adserver::Response::html("<p>oops</p>", 503));

    Fetch bad = fetchAd(*this, "/bad");
    CHECK(bad.recorder->failed == 1);
    CHECK(bad.recorder->error->code == ruzave::GADRequestErrorInvalidRequest);
    CHECK(bad.recorder->responseCode == 400);
    CHECK_FALSE(bad.ad->adHTML().has_value());

    Fetch gone = fetchAd(*this, "/gone");
    CHECK(gone.recorder->error->code == ruzave::GADRequestErrorServerError);
    CHECK(gone.recorder->responseCode == 404);

    Fetch broken = fetchAd(*this, "/broken");
    CHECK(broken.recorder->error->code == ruzave::GADRequestErrorServerError);
    CHECK(broken.recorder->responseCode == 503);
    CHECK(broken.recorder->error->userInfo.contains(ruzave::kGADHttpStatusKey));
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: bad answers each end in exactly one delegate call with their code") {
    struct Case {
        std::string name;
        adserver::Response response;
        long code;
        long responseCode;
    };
    adserver::Response dropped = adserver::Response::html("<p>x</p>");
    dropped.fault = adserver::Fault::Drop;
    adserver::Response truncated = adserver::Response::html(std::string(5000, 'a'));
    truncated.fault = adserver::Fault::Truncate;
    truncated.truncateAt = 10;
    std::vector<Case> cases = {
        {"empty body", adserver::Response::html(""), ruzave::GADRequestErrorNoFill, 0},
        {"invalid UTF-8", adserver::Response::text(std::string("<p>\xc3\x28</p>"), "text/html"), ruzave::GADRequestErrorNoFill, 0},
        {"dropped connection", dropped, ruzave::GADRequestErrorInvalidResponse, -1},
        {"truncated body", truncated, ruzave::GADRequestErrorNetworkError, 200},
        {"absurd headers",
         adserver::Response::text("", "text/html")
             .header("x-zudo-refresh-rate", std::string(4000, '9'))
             .header("x-zudo-activeview", "{not json")
             .header("x-zudo-tracking-urls", std::string(6000, 'x'))
             .header("x-zudo-swipe-to-view-controller", "[1,2]"),
         ruzave::GADRequestErrorNoFill, 0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        CAPTURE(cases[i].name);
        const std::string path = "/bad" + std::to_string(i);
        server->route(path, cases[i].response);
        Fetch x = fetchAd(*this, path);
        CHECK(x.recorder->failed == 1);
        REQUIRE(x.recorder->error.has_value());
        CHECK(x.recorder->error->code == cases[i].code);
        CHECK(x.recorder->responseCode == cases[i].responseCode);
    }
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: a cancelled fetch reports nothing, even when its answer arrives") {
    adserver::Response slow = adserver::Response::html("<p>late</p>");
    slow.delay = std::chrono::milliseconds(300);
    server->route("/slow", slow);
    Fetch x;
    x.ad->setAdURL(platform::URL::parse(url("/slow")));
    REQUIRE(x.fetcher->fetchRemainingContentForAd(x.ad, std::nullopt, x.recorder, nullptr, nullptr));
    REQUIRE(runUntil([&] { return server->requestCount("/slow") == 1; }));
    x.fetcher->cancel();
    CHECK(x.fetcher->adConnectionHasCompleted());
    runUntil([] { return false; }, 0.6);
    CHECK(x.recorder->calls() == 0);
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: process-wide settings come only from the final answer of an ad request") {
    auto defaults = platform::UserDefaults::standard();
    server->route("/hop", adserver::Response::redirect(url("/final"))
                              .header("x-zudo-use-https", "1")
                              .header("x-zudo-content-url-opted-out", "false"));
    server->route("/final", adserver::Response::html("<p>ad</p>"));
    server->route("/optin", adserver::Response::html("<p>ad</p>")
                                .header("x-zudo-use-https", "yes")
                                .header("x-zudo-content-url-opted-out", "false"));

    SUBCASE("a redirect hop does not set them") {
        Fetch x = fetchAd(*this, "/hop");
        CHECK(x.recorder->fetched == 1);
        // The final answer had no use-https header and the setting had no value: NO.
        CHECK(defaults->object("/ruzave/ads/use_https") == std::optional<platform::Value>(false));
        CHECK_FALSE(defaults->object("/ruzave/ads/content_url_enabled").has_value());
    }
    SUBCASE("the final answer of an ad-server host sets them") {
        Fetch x = fetchAd(*this, "/optin");
        CHECK(defaults->object("/ruzave/ads/use_https") == std::optional<platform::Value>(true));
        CHECK(defaults->object("/ruzave/ads/content_url_enabled") == std::optional<platform::Value>(true));
        // A later answer without the opt-out removes it; one without use-https keeps the stored value.
        Fetch y = fetchAd(*this, "/final");
        CHECK(defaults->object("/ruzave/ads/use_https") == std::optional<platform::Value>(true));
        CHECK_FALSE(defaults->object("/ruzave/ads/content_url_enabled").has_value());
    }
    SUBCASE("a page-driven fetch does not set them") {
        Fetch x;
        REQUIRE(x.fetcher->fetchRequestURL(request("/optin"), x.recorder, nullptr));
        REQUIRE(settle([&] { return x.recorder->calls() > 0; }));
        CHECK(x.recorder->fetched == 1);
        CHECK_FALSE(defaults->object("/ruzave/ads/use_https").has_value());
        CHECK_FALSE(defaults->object("/ruzave/ads/content_url_enabled").has_value());
    }
    SUBCASE("an answer from a host outside the ad servers does not set them") {
        server->route("/optin", adserver::Response::html("<p>ad</p>").header("x-zudo-use-https", "1"));
        Fetch x = fetchAd(*this, "/optin", "elsewhere.example");
        CHECK(x.recorder->fetched == 1);
        CHECK_FALSE(defaults->object("/ruzave/ads/use_https").has_value());
    }
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: a mediation answer is served from memory while it lives, an error page never") {
    int served = 0;
    server->route("/mads/gma", [&served](const adserver::Request&) {
        ++served;
        return adserver::Response::json("{\"n\":" + std::to_string(served) + "}")
            .header("x-zudo-mediation", "1")
            .header("Cache-Control", "max-age=30");
    });
    Fetch first = fetchAd(*this, "/mads/gma?slotname=u1&r=1");
    CHECK(first.ad->adHTML() == std::optional<std::string>("{\"n\":1}"));
    Fetch second = fetchAd(*this, "/mads/gma?slotname=u1&r=2");
    CHECK(second.recorder->fetched == 1);
    CHECK(second.ad->responseType() == 2);
    CHECK(second.ad->adHTML() == std::optional<std::string>("{\"n\":1}"));
    advance(31);
    Fetch third = fetchAd(*this, "/mads/gma?slotname=u1&r=3");
    CHECK(third.ad->adHTML() == std::optional<std::string>("{\"n\":3}"));

    ruzave::GADURLConnection::clearCache();
    server->route("/mads/err", adserver::Response::json("{}", 500).header("x-zudo-mediation", "1").header("Cache-Control", "max-age=600"));
    Fetch error = fetchAd(*this, "/mads/err?slotname=u2");
    CHECK(error.recorder->error->code == ruzave::GADRequestErrorServerError);
    CHECK(ruzave::GADURLConnection::memoryCache().count() == 0);
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: no access token is sent while there is none, and only https whitelisted hosts qualify") {
    auto fetcher = GADAdFetcher::init();
    CHECK(GADAdFetcher::whitelistedDomains().count(ruzave::GADHosts::kAdServerHost) == 1);
    CHECK_FALSE(fetcher->requestHeadersForURL(platform::URL::parse(url("/x"))).has_value());
    CHECK_FALSE(fetcher->requestHeadersForURL(platform::URL::parse("http://ads.ruzave.example/x")).has_value());
    CHECK_FALSE(fetcher->signedInAdsToken().has_value());
}

TEST_CASE_FIXTURE(ServerFixture, "GADAdFetcher: a refresh rate of 0 switches reloading off, a missing one leaves it") {
    Fetch zero;
    zero.ad->setAdHTML(std::string("<p>x</p>"));
    zero.ad->setReloadInterval(45);
    REQUIRE(zero.fetcher->fetchRequestURL(std::nullopt, zero.recorder, platform::Value{{"x-zudo-refresh-rate", "0"}},
                                          zero.ad, nullptr));
    CHECK(zero.ad->reloadInterval() == 0);
    Fetch none;
    none.ad->setAdHTML(std::string("<p>x</p>"));
    none.ad->setReloadInterval(45);
    REQUIRE(none.fetcher->fetchRequestURL(std::nullopt, none.recorder, platform::Value{{"x-zudo-other", "1"}}, none.ad,
                                          nullptr));
    CHECK(none.ad->reloadInterval() == 45);
    runUntilIdle();
}
