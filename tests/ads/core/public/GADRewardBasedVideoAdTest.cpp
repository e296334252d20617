// The reward-based video ad's own half: the request to the core page, its answers, the fetch of the
// response and the load's time limit. Mediation is covered in tests/ads/mediation.
#include <doctest/doctest.h>

#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/util/GADLog.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/base/Log.h"
#include "platform/ui/ViewController.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tests/ads/mediation/RewardTestSupport.h"

using namespace rewardtest;
using Answer = adserver::CorePageScenario::Answer;
using ruzave::GADRewardBasedVideoAd;

namespace {

struct CoreFixture : Fixture {
    adserver::CorePageScenario scenario;

    void install() { adserver::installCorePage(*server, scenario); }
    bool waitForOutcomes(std::size_t n) {
        return sdkcoretest::pump(*this, [&] { return publisher->outcomes() >= n; }, 20);
    }
};

} // namespace

TEST_CASE_FIXTURE(CoreFixture, "GADRewardBasedVideoAd: the request parameters carry the user the ad unit and the reward format") {
    scenario.fallback = adserver::CorePageScenario::answer(Answer::Error);
    install();
    CHECK(ad->requestedAdType() == 2);
    CHECK(ad->CSIIdentifier() == -1);
    auto request = ruzave::GADRequest::request();
    request->setKeywords(platform::Value::array({"cats"}));
    ad->loadRequest(request, std::string("unit-7"), std::string("user-9"));
    CHECK(ad->requestInProgress());
    // An answer with "errors": code 0, made with the request.
    REQUIRE(waitForOutcomes(1));
    CHECK(publisher->calls == std::vector<std::string>{"failed 0"});
    CHECK_FALSE(ad->requestInProgress());

    ad->setRequestID("42");
    auto p = ad->requestParameters();
    REQUIRE(p);
    CHECK((*p)["rbv_user_id"] == "user-9");
    CHECK((*p)["slotname"] == "unit-7");
    CHECK((*p)["rbv"] == "1");
    CHECK((*p)["format"] == "reward_mb");
    CHECK((*p)["request_id"] == "42");
    CHECK((*p)["kw"] == platform::Value::array({"cats"}));
    CHECK(p->contains("js"));

    ad->loadRequest(ruzave::GADRequest::request(), std::string("unit-8"), std::nullopt);
    p = ad->requestParameters();
    REQUIRE(p);
    CHECK_FALSE(p->contains("rbv_user_id"));
    CHECK_FALSE(p->contains("kw"));
    CHECK((*p)["slotname"] == "unit-8");
    REQUIRE(waitForOutcomes(2));
}

TEST_CASE_FIXTURE(CoreFixture, "GADRewardBasedVideoAd: each answer of the core page that is no ad URL ends the load with its own error") {
    scenario.slots["unit-ad"] = adserver::CorePageScenario::answer(Answer::Ad);
    scenario.slots["unit-invalid"] = adserver::CorePageScenario::answer(Answer::Invalid);
    scenario.slots["unit-none"] = adserver::CorePageScenario::answer(Answer::None);
    install();
    ad->loadRequest(ruzave::GADRequest::request(), std::string("unit-ad"), std::nullopt);
    REQUIRE(waitForOutcomes(1));
    CHECK(publisher->errors[0].code == 11);
    CHECK(publisher->errors[0].description == "Error loading ad. Check with RuzaveDoRurAdSDK support team.");
    // Each failure leaves the ad free to load again at once.
    ad->loadRequest(ruzave::GADRequest::request(), std::string("unit-invalid"), std::nullopt);
    REQUIRE(waitForOutcomes(2));
    CHECK(publisher->errors[1].code == 0);
    CHECK(publisher->errors[1].description == "Request object configured wrong.");

    // The core controller's answer when its page cannot be had.
    ad->failedJavaScriptFile(); // no load running: ignored
    CHECK(publisher->calls.size() == 2);
    auto controller = ruzave::GADSDKCoreController::sharedInstance();
    ad->loadRequest(ruzave::GADRequest::request(), std::string("unit-none"), std::nullopt);
    REQUIRE(sdkcoretest::pump(*this, [&] { return controller->pendingBuildAdURLDelegateCount() == 1; }, 20));
    ad->failedJavaScriptFile();
    REQUIRE(publisher->calls.size() == 3);
    CHECK(publisher->errors[2].code == 2);
    CHECK(publisher->errors[2].description == "No network connection.");
    CHECK_FALSE(ad->isReady());
    // The controller's own answer for that request comes after the load ended: it is not taken.
    advance(ruzave::GADSDKCoreController::kRequestTimeoutSeconds + 1);
    runUntilIdle();
    CHECK(controller->pendingBuildAdURLDelegateCount() == 0);
    CHECK(publisher->calls.size() == 3);
}

TEST_CASE_FIXTURE(CoreFixture, "GADRewardBasedVideoAd: a second load or a presentation while loading does nothing but log") {
    scenario.fallback = adserver::CorePageScenario::answer(Answer::Late);
    scenario.fallback.lateMs = 200;
    scenario.fallback.url = url(kAnswerPath);
    install();
    Script::loads()[kRewardA] = Load::Fill;
    serve(answer(network("1", kRewardA)));
    platform::LogCapture log;
    ad->loadRequest(ruzave::GADRequest::request(), std::string("unit-1"), std::string("first"));
    ad->loadRequest(ruzave::GADRequest::request(), std::string("unit-2"), std::string("second"));
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("Ignoring request. Another request is already in progress."));
    CHECK(ad->userID() == std::optional<std::string>("first"));
    ad->presentFromRootViewController(platform::ViewController::create());
    REQUIRE(waitForOutcomes(1));
    runUntilIdle();
    CHECK(publisher->calls == std::vector<std::string>{"received"});
    CHECK(Script::log() == std::vector<std::string>{kRewardA + std::string(" setup first"),
                                                    kRewardA + std::string(" request")});
    CHECK(ad->isReady());
}

TEST_CASE_FIXTURE(CoreFixture, "GADRewardBasedVideoAd: a load whose answer never comes times out with code 5 and the ad loads again") {
    auto slow = adserver::Response::json(answer(network("1", kRewardA))).header("X-Zudo-Mediation", "1");
    slow.delay = std::chrono::milliseconds(1500);
    server->route("/slow", slow);
    ad->loadRequest(shortcutRequest("/slow"), std::string("unit-1"), std::nullopt);
    REQUIRE(ad->adFetcher());
    advance(GADRewardBasedVideoAd::kLoadTimeoutSeconds - 1);
    CHECK(publisher->calls.empty());
    advance(1);
    REQUIRE(publisher->calls == std::vector<std::string>{"failed 5"});
    CHECK_FALSE(ad->requestInProgress());
    CHECK_FALSE(ad->adFetcher());
    // A late page answer for the timed-out request is not taken.
    CHECK_FALSE(ad->isWaitingForRequestID("1"));

    Script::loads()[kRewardA] = Load::Fill;
    load(answer(network("1", kRewardA)));
    CHECK(publisher->calls == std::vector<std::string>{"failed 5", "received"});
    // The slow answer arriving after all changes nothing.
    runUntil([&] { return server->requestCount("/slow") >= 1; }, 3);
    runUntilIdle();
    CHECK(publisher->calls.size() == 2);
    advance(GADRewardBasedVideoAd::kLoadTimeoutSeconds);
    CHECK(publisher->calls.size() == 2);
    CHECK(ad->isReady());
}

TEST_CASE_FIXTURE(CoreFixture, "GADRewardBasedVideoAd: a fetch that fails reports once and ends the load") {
    for (const std::string& path : {std::string("/gone"), std::string("/not-mediation")}) {
        CAPTURE(path);
        server->route("/gone", adserver::Response::html("", 500));
        server->route("/not-mediation", adserver::Response::html("<html>banner</html>"));
        const std::size_t before = publisher->calls.size();
        ad->loadRequest(shortcutRequest(path), std::string("unit-1"), std::nullopt);
        REQUIRE(runUntil([&] { return publisher->calls.size() == before + 1; }));
        runUntilIdle();
        CHECK(publisher->calls.back().rfind("failed", 0) == 0);
        CHECK_FALSE(ad->requestInProgress());
        CHECK_FALSE(ad->adFetcher());
        advance(GADRewardBasedVideoAd::kLoadTimeoutSeconds);
        CHECK(publisher->calls.size() == before + 1);
    }
    // A banner where a mediation answer belongs.
    CHECK(publisher->errors[1].code == 13);
}
