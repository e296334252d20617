#include <doctest/doctest.h>

#include "ads/core/sdkcore/GADSDKCoreGMSGHandler.h"
#include "ads/core/sdkcore/GADSDKCoreGMSGHandlerDelegate.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/sdkcore/GADSDKCoreWebViewNotification.h"
#include "ads/core/signals/GADDevice.h"
#include "platform/web/WebView.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"

using platform::Value;
using platform::testing::Harness;
using namespace ruzave;
using sdkcoretest::pump;

namespace {

struct DelegateSpy : GADSDKCoreGMSGHandlerDelegate {
    std::vector<std::string> calls;
    Value last;
    void SDKCoreGMSGHandlerLoadAdURLWithRequestIDParameters(GADSDKCoreGMSGHandler&, const std::string& id, const Value& p) override {
        calls.push_back("loadAdURL " + id);
        last = p;
    }
    void SDKCoreGMSGHandlerLoadAdWithRequestIDParameters(GADSDKCoreGMSGHandler&, const std::string& id, const Value& p) override {
        calls.push_back("loadAd " + id);
        last = p;
    }
    void SDKCoreGMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(GADSDKCoreGMSGHandler&, const std::string& id,
                                                                       const Value&) override {
        calls.push_back("invalid " + id);
    }
    void SDKCoreGMSGHandlerDidLoadSDKConstants(GADSDKCoreGMSGHandler&, const Value&) override { calls.push_back("constants"); }
    void SDKCoreGMSGHandlerDidReceiveSDKCoreUpdateNotification(GADSDKCoreGMSGHandler&) override { calls.push_back("reload"); }
};

struct Loaded : GADSDKCoreWebViewNotification {
    bool done = false;
    void didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<GADSDKCoreWebView>&) override { done = true; }
};

bool take(GADSDKCoreGMSGHandler& handler, const std::string& url) {
    return handler.handleRequest(platform::URLRequest(*platform::URL::parse(url)));
}

// A loaded core page whose handler runs fetches and answers into the page.
struct FetchPage {
    std::unique_ptr<adserver::AdServer> server = sdkcoretest::startCoreServer();
    std::shared_ptr<GADSDKCoreWebView> view = GADSDKCoreWebView::init();
    explicit FetchPage(Harness& h) {
        auto observer = std::make_shared<Loaded>();
        view->refreshSDKCoreAndNotifyObserver(observer);
        REQUIRE(pump(h, [&] { return observer->done; }));
        REQUIRE(view->state() == GADSDKCoreWebViewStateLoaded);
    }
    void fetch(const Value& request) {
        view->SDKCoreGMSGHandler()->handleNotification("fetchHttpRequest", Value{{"http_request", platform::toJSON(request)}});
    }
    void fetchText(const std::string& text) {
        view->SDKCoreGMSGHandler()->handleNotification("fetchHttpRequest", Value{{"http_request", text}});
    }
    std::size_t answers() { return std::stoul("0" + view->adView()->evaluate("ZUDO_received.length")) ; }
    Value answer(std::size_t i) {
        std::string text = view->adView()->evaluate("JSON.stringify(ZUDO_received[" + std::to_string(i) + "].data)");
        return platform::parseJSON(text).value_or(Value());
    }
    bool waitAnswers(Harness& h, std::size_t n) {
        return pump(h, [&] { return answers() >= n; });
    }
};

} // namespace

TEST_CASE("GADSDKCoreGMSGHandler: parses gmsg URLs in any case and splits the query at ampersands and semicolons") {
    auto parsed = GADSDKCoreGMSGHandler::parseNotificationURL(*platform::URL::parse("GMSG://host/loadAdURL?a=1%202;b=x&c"));
    REQUIRE(parsed);
    CHECK(parsed->first == "loadAdURL");
    // A bare key carries no pair and is skipped.
    CHECK(parsed->second == Value{{"a", "1 2"}, {"b", "x"}});
    CHECK(!GADSDKCoreGMSGHandler::parseNotificationURL(*platform::URL::parse("https://a.example/loadAd")));
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreGMSGHandler: answers reach the delegate later, unknown names are declined") {
    auto handler = GADSDKCoreGMSGHandler::init();
    auto spy = std::make_shared<DelegateSpy>();
    handler->setDelegate(spy);
    CHECK(take(*handler, "gmsg://sdk/loadAdURL?request_id=3&url=https%3A%2F%2Fads.example%2F"));
    CHECK(spy->calls.empty());
    runUntilIdle();
    CHECK(spy->calls == std::vector<std::string>{"loadAdURL 3"});
    CHECK(*platform::findString(spy->last, "url") == "https://ads.example/");
    CHECK(!take(*handler, "gmsg://sdk/log?x=1"));
    CHECK(!take(*handler, "https://sdk/loadAdURL"));
    CHECK(take(*handler, "gmsg://sdk/loadAd?request_id=4&fetched_ad=%7B%22is_mediation%22%3A1%7D"));
    CHECK(take(*handler, "gmsg://sdk/loadAd?request_id=5&fetched_ad=%7Bbroken"));
    CHECK(take(*handler, "gmsg://sdk/loadAd?request_id=6&fetched_ad=%5B1%5D"));
    CHECK(take(*handler, "gmsg://sdk/invalidRequest?request_id=7"));
    CHECK(take(*handler, "gmsg://sdk/loadSdkConstants?ping_interval=3"));
    CHECK(take(*handler, "gmsg://sdk/requestReload"));
    runUntilIdle();
    CHECK(spy->calls == std::vector<std::string>{"loadAdURL 3", "loadAd 4", "invalid 5", "invalid 6", "invalid 7", "constants", "reload"});
    CHECK(spy->last.empty() == false);
    // Without a delegate the messages are still taken, and nothing happens.
    spy.reset();
    CHECK(take(*handler, "gmsg://sdk/requestReload"));
    runUntilIdle();
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreGMSGHandler: a fetch answers the body, the real status and the id as sent") {
    FetchPage page(*this);
    page.server->route("/fetch/ok", adserver::Response::html("<p>hi</p>").header("X-Test", "1"));
    page.server->route("/fetch/fail", adserver::Response::html("oops", 500));
    page.server->route("/fetch/hop", adserver::Response::redirect("https://ads.ruzave.example/fetch/ok"));
    std::size_t base = page.answers();
    page.fetch(Value{{"http_request_id", 17},
                     {"url", "https://ads.ruzave.example/fetch/ok"},
                     {"headers", Value::array({Value{{"key", "X-One"}, {"value", "a"}}, Value{{"key", "X-Two"}},
                                               Value{{"key", "X-Bad"}, {"value", "a\r\nX-Injected: 1"}}, Value(5)})}});
    page.fetch(Value{{"http_request_id", "f"}, {"url", "https://ads.ruzave.example/fetch/fail"}});
    page.fetch(Value{{"url", "https://ads.ruzave.example/fetch/hop"}, {"post_body", "a=1"}, {"content_type", "text/plain"}});
    REQUIRE(page.waitAnswers(*this, base + 3));
    std::map<std::string, Value> byID;
    for (std::size_t i = base; i < base + 3; ++i) {
        Value a = page.answer(i);
        byID[platform::toJSON(a["response"]["http_request_id"])] = a;
    }
    Value ok = byID["17"];
    CHECK(ok["success"] == "true");
    CHECK(ok["response"]["response_code"] == 200);
    CHECK(ok["response"]["body"] == "<p>hi</p>");
    CHECK(platform::toJSON(ok["response"]["headers"]).find("X-Test") != std::string::npos);
    Value fail = byID["\"f\""];
    CHECK(fail["success"] == "false");
    CHECK(fail["response"]["response_code"] == 500);
    CHECK(fail["response"]["body"] == "oops");
    Value untracked = byID["\"\""];
    CHECK(untracked["success"] == "true");
    // The three fetches run at once: the redirected one may reach "/fetch/ok" first.
    auto logged = page.server->requests("/fetch/ok");
    REQUIRE(logged.size() == 2);
    const auto& withHeaders = logged[0].header("x-one").empty() ? logged[1] : logged[0];
    CHECK(withHeaders.header("x-one") == "a");
    CHECK(withHeaders.header("x-two").empty());
    for (const auto& r : logged) {
        CHECK(r.header("x-bad").empty());
        CHECK(r.header("x-injected").empty());
    }
    CHECK(page.server->requests("/fetch/hop")[0].method == "POST");
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreGMSGHandler: a fetch goes out with the SDK's user agent, not the page's or the platform's") {
    FetchPage page(*this);
    page.server->route("/fetch/agent", adserver::Response::html("ok"));
    GADDevice::sharedInstance()->setUserAgentString("RuzaveSDKAgent/7 (test)");
    std::size_t base = page.answers();
    page.fetch(Value{{"http_request_id", 1},
                     {"url", "https://ads.ruzave.example/fetch/agent"},
                     {"headers", Value::array({Value{{"key", "X-Kept"}, {"value", "first"}},
                                               Value{{"key", "X-Kept"}, {"value", "second"}}})}});
    page.fetch(Value{{"http_request_id", 2},
                     {"url", "https://ads.ruzave.example/fetch/agent"},
                     {"post_body", "a=1"},
                     {"content_type", "application/x-www-form-urlencoded"},
                     {"headers", Value::array({Value{{"key", "User-Agent"}, {"value", "PageAgent"}}})}});
    REQUIRE(page.waitAnswers(*this, base + 2));
    auto logged = page.server->requests("/fetch/agent");
    REQUIRE(logged.size() == 2);
    for (const auto& r : logged) CHECK(r.header("user-agent") == "RuzaveSDKAgent/7 (test)");
    const auto& get = logged[0].method == "GET" ? logged[0] : logged[1];
    const auto& post = logged[0].method == "GET" ? logged[1] : logged[0];
    CHECK(get.header("x-kept") == "second");
    CHECK(post.method == "POST");
    CHECK(post.header("content-type") == "application/x-www-form-urlencoded");
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreGMSGHandler: bad fetch requests fail at once with response code 0") {
    FetchPage page(*this);
    std::size_t base = page.answers();
    page.fetch(Value{{"http_request_id", "e"}, {"url", ""}});
    page.fetch(Value{{"http_request_id", "s"}, {"url", "file:///etc/passwd"}});
    page.fetch(Value{{"http_request_id", "n"}, {"url", 42}});
    page.fetchText("{not json");
    page.fetchText("[1,2]");
    REQUIRE(page.waitAnswers(*this, base + 5));
    for (std::size_t i = base; i < base + 5; ++i) {
        Value a = page.answer(i);
        CHECK(a["success"] == "false");
        CHECK(a["response"]["response_code"] == 0);
    }
    Value empty = page.answer(base);
    CHECK(empty["reason"].get<std::string>().find("Invalid URL () requested for fetching") != std::string::npos);
    CHECK(page.answer(base + 1)["reason"].get<std::string>().find("file:///etc/passwd") != std::string::npos);
    CHECK(page.answer(base + 3)["response"]["http_request_id"] == "");
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreGMSGHandler: a repeated fetch id while the first runs is ignored") {
    FetchPage page(*this);
    auto slow = adserver::Response::html("slow");
    slow.delay = std::chrono::milliseconds(300);
    page.server->route("/fetch/slow", slow);
    std::size_t base = page.answers();
    Value request{{"http_request_id", "same"}, {"url", "https://ads.ruzave.example/fetch/slow"}};
    page.fetch(request);
    CHECK(page.view->SDKCoreGMSGHandler()->isFetchInProgressForFetchRequestID(Value("same")));
    CHECK(!page.view->SDKCoreGMSGHandler()->isFetchInProgressForFetchRequestID(Value(1)));
    page.fetch(request);
    REQUIRE(page.waitAnswers(*this, base + 1));
    pump(*this, [] { return false; }, 0.5);
    CHECK(page.answers() == base + 1);
    CHECK(page.server->requestCount("/fetch/slow") == 1);
    CHECK(!page.view->SDKCoreGMSGHandler()->isFetchInProgressForFetchRequestID(Value("same")));
}
