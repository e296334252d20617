#include <doctest/doctest.h>

#include "ads/core/slot/GADSlot.h"
#include "ads/native/GADAdPreprocessor.h"
#include "ads/render/GADAdView.h"
#include "platform/ui/Application.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADAdPreprocessor;

namespace {

struct Result {
    int calls = 0;
    std::optional<platform::Value> object;
    std::shared_ptr<ruzave::GADSlot> slot;
    std::optional<platform::Error> error;
    GADAdPreprocessor::CompletionHandler handler() {
        return [this](const std::optional<platform::Value>& o, const std::shared_ptr<ruzave::GADSlot>& s,
                      const std::optional<platform::Error>& e) {
            ++calls;
            object = o;
            slot = s;
            error = e;
        };
    }
};

// A support page that records what it was given and answers only when told to.
const char* kRecordingPage = R"HTML(<html><head><script>
var ruzave = {zudo: {nativeAds: {preProcessJsonGmsg: function (json, env) {
  window.given = json; window.env = env; window.calls = (window.calls || 0) + 1;
}}}};
function answer(text) {
  window.location.href = 'gmsg://mobileads.ruzave.example/nativeAdPreProcess?success=' + encodeURIComponent(text);
}
</script></head><body></body></html>)HTML";

struct Page : nativetest::Server {
    Page() {
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        adserver::NativeAds::installSupportPage(*server);
    }
    std::shared_ptr<GADAdPreprocessor> start(const std::string& json, Result& result) {
        auto p = GADAdPreprocessor::initWithAdUnitID("native-unit");
        REQUIRE(p);
        p->preprocessNativeAdJSON(json, result.handler());
        return p;
    }
    bool pageReady(const std::shared_ptr<GADAdPreprocessor>& p) {
        return runUntil([&] { return p->slot()->adView()->evaluate("String(window.calls)") == "1"; }, 20);
    }
};

} // namespace

TEST_CASE_FIXTURE(Page, "GADAdPreprocessor: the support page processes the response and answers with the slot") {
    Result result;
    auto p = start(R"({"ads":[{"type":"native","template_id":1,"headline":"H"}]})", result);
    REQUIRE(runUntil([&] { return result.calls == 1; }, 20));
    REQUIRE(result.object);
    CHECK((*result.object)["ads"][0]["processed_by"] == "native_ads");
    CHECK((*result.object)["ads"][0]["sdk_version"] == "7.5.2");
    CHECK(result.slot == p->slot());
    CHECK_FALSE(result.error);
    CHECK(server->requestCount(adserver::NativeAds::kSupportPagePath) == 1);
}

TEST_CASE_FIXTURE(Page, "GADAdPreprocessor: a handler that holds the preprocessor lets it go once it has run") {
    auto p = GADAdPreprocessor::initWithAdUnitID("native-unit");
    std::weak_ptr<GADAdPreprocessor> weak = p;
    std::shared_ptr<ruzave::GADSlot> slot;
    p->preprocessNativeAdJSON(R"({"ads":[{"type":"native"}]})",
                              [p, &slot](const std::optional<platform::Value>&, const std::shared_ptr<ruzave::GADSlot>& s,
                                         const std::optional<platform::Error>&) { slot = s; });
    p.reset();
    REQUIRE(runUntil([&] { return slot != nullptr; }, 20));
    runUntilIdle();
    CHECK(weak.expired());
    CHECK(slot->adView());
}

TEST_CASE_FIXTURE(Page, "GADAdPreprocessor: the text goes in unchanged and only the first answer counts") {
    server->route(adserver::NativeAds::kSupportPagePath, adserver::Response::html(kRecordingPage));
    Result result;
    std::string json = "{ \"ads\" : [ {\"t\":\"a\xE2\x80\xA8" "b\"} ]\n}";
    auto p = start(json, result);
    REQUIRE(pageReady(p));
    auto view = p->slot()->adView();
    CHECK(view->evaluate("window.given.ads[0].t.length") == "3");
    CHECK(view->evaluate("window.env.sdk_version") == "7.5.2");
    CHECK(p->nativeAdJSON() == json);
    view->evaluate("answer('{\"ads\":[1]}')");
    REQUIRE(runUntil([&] { return result.calls == 1; }));
    view->evaluate("answer('{\"ads\":[2]}')");
    advance(GADAdPreprocessor::kOverallTimeoutSeconds + 1);
    runUntil([] { return false; }, 0.2);
    CHECK(result.calls == 1);
    CHECK((*result.object)["ads"][0] == 1);
}

TEST_CASE_FIXTURE(Page, "GADAdPreprocessor: a silent page times out five seconds after it loaded and a late answer is dropped") {
    server->route(adserver::NativeAds::kSupportPagePath, adserver::Response::html(kRecordingPage));
    Result result;
    auto p = start(R"({"ads":[]})", result);
    REQUIRE(pageReady(p));
    advance(4.9);
    runUntilIdle();
    CHECK(result.calls == 0);
    advance(0.2);
    REQUIRE(runUntil([&] { return result.calls == 1; }));
    REQUIRE(result.error);
    CHECK(result.error->code == 2);
    CHECK(result.error->description == "Timed out.");
    p->slot()->adView()->evaluate("answer('{}')");
    runUntil([] { return false; }, 0.2);
    CHECK(result.calls == 1);
}

TEST_CASE_FIXTURE(Page, "GADAdPreprocessor: a page that never loads ends in the overall time-out") {
    server->route(adserver::NativeAds::kSupportPagePath, [](const adserver::Request&) {
        adserver::Response r = adserver::Response::html("<html></html>");
        r.fault = adserver::Fault::Drop;
        r.delay = std::chrono::milliseconds(300);
        return r;
    });
    Result result;
    auto p = start(R"({"ads":[]})", result);
    advance(GADAdPreprocessor::kOverallTimeoutSeconds + 0.1);
    REQUIRE(runUntil([&] { return result.calls == 1; }, 20));
    CHECK(result.error);
    CHECK_FALSE(result.slot);
    runUntil([] { return false; }, 0.5);
    CHECK(result.calls == 1);
}

TEST_CASE_FIXTURE(Page, "GADAdPreprocessor: text that is no JSON object and answers that are no JSON fail") {
    Result notJSON;
    auto a = start("{\"ads\": [", notJSON);
    CHECK(notJSON.calls == 0); // never inside the call
    Result script;
    auto b = start("1); alert(1", script);
    Result array;
    auto c = start("[1,2]", array);
    REQUIRE(runUntil([&] { return notJSON.calls + script.calls + array.calls == 3; }));
    CHECK(notJSON.error);
    CHECK(script.error);
    REQUIRE(array.error);
    CHECK(array.error->code == 13);
    CHECK(server->requestCount(adserver::NativeAds::kSupportPagePath) == 0);

    server->route(adserver::NativeAds::kSupportPagePath, adserver::Response::html(kRecordingPage));
    Result bad;
    auto p = start("{}", bad);
    REQUIRE(pageReady(p));
    p->slot()->adView()->evaluate("answer('not json')");
    REQUIRE(runUntil([&] { return bad.calls == 1; }));
    REQUIRE(bad.error);
    CHECK(bad.error->code == 13);
    CHECK(bad.error->description == "Request Error: Received invalid response.");
}

TEST_CASE_FIXTURE(Page, "GADAdPreprocessor: a support page answering 404 fails with the slot's error") {
    server->route(adserver::NativeAds::kSupportPagePath, adserver::Response::html("gone", 404));
    Result result;
    auto p = start("{}", result);
    REQUIRE(runUntil([&] { return result.calls == 1; }, 20));
    CHECK(result.error);
    CHECK_FALSE(result.object);
}

TEST_CASE_FIXTURE(nativetest::Server, "GADAdPreprocessor: a load the slot refuses is a failure at once") {
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Background);
    Result result;
    auto p = GADAdPreprocessor::initWithAdUnitID("native-unit");
    p->preprocessNativeAdJSON("{}", result.handler());
    REQUIRE(runUntil([&] { return result.calls == 1; }));
    CHECK(result.error);
}
