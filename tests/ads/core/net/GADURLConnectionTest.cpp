#include <doctest/doctest.h>

#include "FetchTestSupport.h"
#include "platform/base/HTTPDate.h"
#include "platform/runloop/Clock.h"
#include "tools/adserver/PlainHTTPServer.h"

using fetchtest::ConnectionRecorder;
using fetchtest::ServerFixture;
using ruzave::GADURLConnection;

namespace {

bool start(const std::shared_ptr<GADURLConnection>& c, const platform::URLRequest& r,
           const std::shared_ptr<ConnectionRecorder>& rec, platform::Error* error = nullptr) {
    return c->startWithRequestURL(r, rec, error);
}

// Loads `path` with a bearer token, following every redirect, until the load ends.
std::shared_ptr<ConnectionRecorder> loadWithToken(ServerFixture& fixture, const std::string& path) {
    auto r = ServerFixture::request(path);
    r.setValue("Bearer secret", "Authorization");
    auto rec = std::make_shared<ConnectionRecorder>();
    auto c = GADURLConnection::init();
    REQUIRE(start(c, r, rec));
    REQUIRE(fixture.settle([&] { return rec->done(); }));
    return rec;
}

} // namespace

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: reports each redirect hop and finishes with the last URL as base") {
    server->route("/hop1", adserver::Response::redirect(url("/hop2")));
    server->route("/hop2", adserver::Response::redirect(url("/final")));
    server->route("/final", adserver::Response::html("<p>ad</p>"));
    auto rec = std::make_shared<ConnectionRecorder>();
    auto c = GADURLConnection::init();
    REQUIRE(start(c, request("/hop1"), rec));
    CHECK(c->isInProgress());
    REQUIRE(settle([&] { return rec->done(); }));

    CHECK(rec->calls == std::vector<std::string>{"should-redirect /hop2", "redirect 302", "should-redirect /final",
                                                 "redirect 302", "response 200", "finish"});
    CHECK(rec->body == std::optional<std::string>("<p>ad</p>"));
    REQUIRE(rec->baseURL.has_value());
    CHECK(rec->baseURL->absoluteString() == url("/final"));
    CHECK_FALSE(c->isInProgress());
    CHECK_FALSE(c->sourceURL().has_value());
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: an HTTP error page finishes as a body, not as a failure") {
    server->route("/missing", adserver::Response::html("not here", 404));
    auto rec = std::make_shared<ConnectionRecorder>();
    auto c = GADURLConnection::init();
    REQUIRE(start(c, request("/missing"), rec));
    REQUIRE(settle([&] { return rec->done(); }));
    CHECK(rec->calls == std::vector<std::string>{"response 404", "finish"});
    CHECK(rec->body == std::optional<std::string>("not here"));
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: transport failures carry the status received so far, or -1") {
    SUBCASE("dropped before any answer") {
        adserver::Response r = adserver::Response::html("x");
        r.fault = adserver::Fault::Drop;
        server->route("/fault", r);
    }
    SUBCASE("truncated body") {
        adserver::Response r = adserver::Response::html(std::string(4000, 'a'));
        r.fault = adserver::Fault::Truncate;
        r.truncateAt = 100;
        server->route("/fault", r);
    }
    auto rec = std::make_shared<ConnectionRecorder>();
    auto c = GADURLConnection::init();
    REQUIRE(start(c, request("/fault"), rec));
    REQUIRE(settle([&] { return rec->done(); }));
    REQUIRE(rec->calls.size() >= 1);
    const std::string last = rec->calls.back();
    if (rec->calls.size() == 1) {
        CHECK(last == "fail -1");
    } else {
        CHECK(rec->calls == std::vector<std::string>{"response 200", "fail 200"});
    }
    CHECK(rec->error.has_value());
    CHECK(std::count_if(rec->calls.begin(), rec->calls.end(),
                        [](const std::string& s) { return s == "finish" || s.rfind("fail", 0) == 0; }) == 1);
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: a body that is not UTF-8 finishes without a body") {
    server->route("/bytes", adserver::Response::text(std::string("ok\xff\xfe", 4), "text/html"));
    auto rec = std::make_shared<ConnectionRecorder>();
    auto c = GADURLConnection::init();
    REQUIRE(start(c, request("/bytes"), rec));
    REQUIRE(settle([&] { return rec->done(); }));
    CHECK(rec->calls.back() == "finish");
    CHECK_FALSE(rec->body.has_value());
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: a second start while loading is refused and the first load goes on") {
    server->route("/one", adserver::Response::html("first"));
    auto rec = std::make_shared<ConnectionRecorder>();
    auto other = std::make_shared<ConnectionRecorder>();
    auto c = GADURLConnection::init();
    REQUIRE(start(c, request("/one"), rec));
    platform::Error error;
    CHECK_FALSE(start(c, request("/two"), other, &error));
    CHECK(error.code == 2);
    CHECK(error.description.find("Ignoring -- Currently loading " + url("/one")) != std::string::npos);
    REQUIRE(settle([&] { return rec->done(); }));
    CHECK(rec->body == std::optional<std::string>("first"));
    CHECK(other->calls.empty());
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: a refused redirect fails with the delegate's error and goes no further") {
    server->route("/hop", adserver::Response::redirect(url("/final")));
    server->route("/final", adserver::Response::html("never"));
    auto rec = std::make_shared<ConnectionRecorder>();
    rec->refuseRedirect = platform::Error("test", 42, "no");
    auto c = GADURLConnection::init();
    REQUIRE(start(c, request("/hop"), rec));
    REQUIRE(settle([&] { return rec->done(); }));
    CHECK(rec->calls == std::vector<std::string>{"should-redirect /final", "fail -1"});
    REQUIRE(rec->error.has_value());
    CHECK(rec->error->code == 42);
    CHECK(server->requestCount("/final") == 0);
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: the bearer token follows a redirect on its host but not to another host") {
    server->route("/start", adserver::Response::redirect(url("/same")));
    server->route("/same", adserver::Response::redirect(url("/other", "elsewhere.example")));
    server->route("/other", adserver::Response::html("done"));
    loadWithToken(*this, "/start");
    REQUIRE(server->requestCount("/other") == 1);
    CHECK(server->requests("/start").at(0).header("authorization") == "Bearer secret");
    CHECK(server->requests("/same").at(0).header("authorization") == "Bearer secret");
    CHECK(server->requests("/other").at(0).header("authorization").empty());
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: the bearer token stays on its port and may name the default one") {
    // The same server answers on a second port of the ad host: the client sees another origin.
    platform::NetworkConfiguration::sharedInstance()->addHostMapping(ruzave::GADHosts::kAdServerHost, 8443, "127.0.0.1",
                                                                     server->port());
    const std::string host = ruzave::GADHosts::kAdServerHost;
    server->route("/start", adserver::Response::redirect("https://" + host + ":443/explicit"));
    server->route("/explicit", adserver::Response::redirect("https://" + host + ":8443/port"));
    server->route("/port", adserver::Response::redirect(url("/back")));
    server->route("/back", adserver::Response::html("done"));
    auto rec = loadWithToken(*this, "/start");
    CHECK(rec->body == std::optional<std::string>("done"));
    REQUIRE(server->requestCount("/back") == 1);
    CHECK(server->requests("/explicit").at(0).header("authorization") == "Bearer secret");
    CHECK(server->requests("/port").at(0).header("host") == host + ":8443");
    CHECK(server->requests("/port").at(0).header("authorization").empty());
    CHECK(server->requests("/back").at(0).header("authorization").empty());
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: the bearer token never goes over plain http, even to its own host") {
    auto plain = adserver::PlainHTTPServer::start();
    REQUIRE(plain != nullptr);
    platform::NetworkConfiguration::sharedInstance()->addHostMapping(ruzave::GADHosts::kAdServerHost, 80, "127.0.0.1",
                                                                     plain->port());
    const std::string plainURL = std::string("http://") + ruzave::GADHosts::kAdServerHost + "/plain";
    server->route("/start", adserver::Response::redirect(plainURL));
    plain->route("/plain", [&](const adserver::Request&) { return adserver::Response::redirect(url("/back")); });
    server->route("/back", adserver::Response::html("done"));
    auto rec = loadWithToken(*this, "/start");
    CHECK(rec->body == std::optional<std::string>("done"));
    CHECK(server->requests("/start").at(0).header("authorization") == "Bearer secret");
    REQUIRE(plain->requests().size() == 1);
    CHECK(plain->requests().at(0).host == ruzave::GADHosts::kAdServerHost);
    CHECK(plain->requests().at(0).header("authorization").empty());
    // Once dropped it stays dropped, also back on https.
    REQUIRE(server->requestCount("/back") == 1);
    CHECK(server->requests("/back").at(0).header("authorization").empty());
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: a live cached answer replaces the network answer until it expires") {
    int served = 0;
    server->route("/mads/gma", [&served](const adserver::Request&) {
        ++served;
        return adserver::Response::json("{\"n\":" + std::to_string(served) + "}")
            .header("Cache-Control", "max-age=60");
    });
    auto load = [&](const std::string& query) {
        auto rec = std::make_shared<ConnectionRecorder>();
        rec->useCache = true;
        auto c = GADURLConnection::init();
        REQUIRE(start(c, request("/mads/gma?" + query), rec));
        REQUIRE(settle([&] { return rec->done(); }));
        return rec;
    };
    auto first = load("slotname=unit&correlator=1");
    CHECK(first->body == std::optional<std::string>("{\"n\":1}"));
    CHECK(GADURLConnection::memoryCache().count() == 1);

    // Other parameters than the slot name do not matter.
    auto second = load("slotname=unit&correlator=2");
    CHECK(second->calls == std::vector<std::string>{"response 200", "cached", "finish"});
    CHECK(second->body == std::optional<std::string>("{\"n\":1}"));
    REQUIRE(second->baseURL.has_value());
    CHECK(second->baseURL->absoluteString() == url("/mads/gma?slotname=unit&correlator=1"));

    advance(61);
    auto third = load("slotname=unit&correlator=3");
    CHECK(third->calls == std::vector<std::string>{"response 200", "finish"});
    CHECK(third->body == std::optional<std::string>("{\"n\":3}"));
}

TEST_CASE_FIXTURE(ServerFixture, "GADURLConnection: nothing is stored when the delegate keeps the cache off") {
    server->route("/plain", adserver::Response::html("x").header("Cache-Control", "max-age=600"));
    auto rec = std::make_shared<ConnectionRecorder>();
    auto c = GADURLConnection::init();
    REQUIRE(start(c, request("/plain"), rec));
    REQUIRE(settle([&] { return rec->done(); }));
    CHECK(GADURLConnection::memoryCache().count() == 0);
}

TEST_CASE("GADURLConnection: cache keys share an entry by slot name and otherwise by the whole URL") {
    auto key = [](const std::string& text) {
        auto u = platform::URL::parse(text);
        REQUIRE(u.has_value());
        return GADURLConnection::cacheKeyForURL(*u);
    };
    CHECK(key("https://a.example/p?slotname=s&x=1").size() == 16);
    CHECK(key("https://a.example/p?slotname=s&x=1") == key("https://a.example/p?x=2&slotname=s"));
    CHECK(key("https://a.example/p?slotname=s") != key("https://a.example/p?slotname=t"));
    CHECK(key("https://a.example/p?slotname=s") != key("https://b.example/p?slotname=s"));
    CHECK(key("https://a.example/p?x=1") != key("https://a.example/p?x=2"));
    // "slotname=a=b" does not split into exactly two pieces: no slot name, so the whole URL counts.
    CHECK(key("https://a.example/p?slotname=a=b&x=1") != key("https://a.example/p?slotname=a=b&x=2"));
}

TEST_CASE("GADURLConnection: the memory cache keeps at most 25 entries, the least recently used going first") {
    auto& cache = GADURLConnection::memoryCache();
    cache.removeAllObjects();
    auto entry = ruzave::GADCachedURLResponse::initWithResponse(platform::HTTPURLResponse(), platform::Bytes{}, 1.0,
                                                                std::nullopt);
    REQUIRE(entry != nullptr);
    for (int i = 0; i < 25; ++i) cache.setObject(entry, "k" + std::to_string(i));
    CHECK(cache.objectForKey("k0") != nullptr);  // now the most recently used
    cache.setObject(entry, "k25");
    CHECK(cache.count() == 25);
    CHECK(cache.objectForKey("k0") != nullptr);
    CHECK(cache.objectForKey("k1") == nullptr);
    CHECK(ruzave::GADCachedURLResponse::initWithResponse(std::nullopt, platform::Bytes{}, 1.0, std::nullopt) == nullptr);
    CHECK(ruzave::GADCachedURLResponse::initWithResponse(platform::HTTPURLResponse(), platform::Bytes{}, std::nullopt,
                                                         std::nullopt) == nullptr);
}

TEST_CASE("GADURLConnection: an expired entry is dropped on lookup") {
    platform::Clock::useVirtualTime();
    auto& cache = GADURLConnection::memoryCache();
    cache.removeAllObjects();
    auto u = *platform::URL::parse("https://a.example/x");
    const auto key = GADURLConnection::cacheKeyForURL(u);
    const double now = platform::Clock::wallTime();
    auto entry = ruzave::GADCachedURLResponse::initWithResponse(platform::HTTPURLResponse(), platform::Bytes{}, now + 5,
                                                                std::nullopt);
    cache.setObject(entry, std::string(key.begin(), key.end()));
    auto c = GADURLConnection::init();
    CHECK(c->cachedResponseForURL(u) != nullptr);
    platform::Clock::advance(5);  // equal to now is no longer live
    CHECK(c->cachedResponseForURL(u) == nullptr);
    CHECK(cache.count() == 0);
}
