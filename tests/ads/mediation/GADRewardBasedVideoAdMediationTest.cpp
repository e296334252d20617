// The reward-based video ad's mediation: the response checks, connectors kept per adapter class, set-up
// ahead of the turn, per-network time limits, presentation and the reward.
#include "RewardTestSupport.h"

#include <algorithm>

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/mediation/GADMConfig.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/ViewController.h"

using namespace rewardtest;
using ruzave::GADRequestErrorInvalidMediationResponse;
using ruzave::GADRequestErrorInvalidResponse;
using ruzave::GADRequestErrorMediationNoFill;

namespace {

std::shared_ptr<ruzave::GADAd> response(const std::string& body, const std::string& contentType = "application/json",
                                        bool mediation = true) {
    auto ad = ruzave::GADAd::init();
    ad->setResponseType(ruzave::GADResponseTypeMediation);
    ad->setAdHTML(body);
    platform::Value headers = platform::Value::object();
    if (mediation) headers["x-zudo-mediation"] = "1";
    headers["content-type"] = contentType;
    ad->setResponseHeaders(headers);
    return ad;
}

std::vector<std::string> without(const std::vector<std::string>& log, const std::string& fragment) {
    std::vector<std::string> kept;
    for (const auto& line : log)
        if (line.find(fragment) == std::string::npos) kept.push_back(line);
    return kept;
}

} // namespace

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: a response that is no usable mediation answer fails the load") {
    struct Case {
        std::shared_ptr<ruzave::GADAd> ad;
        long code;
        std::string description;
    };
    const std::string good = answer(network("1", kRewardA));
    const std::vector<Case> cases = {
        {response(good, "text/html"), GADRequestErrorInvalidResponse, "Invalid server response."},
        {response(good, "application/json", false), GADRequestErrorInvalidResponse, "Invalid server response."},
        {response("{\"ad_type\":", "application/json; charset=utf-8"), GADRequestErrorInvalidMediationResponse,
         "Invalid server response."},
        {response("[1,2]"), GADRequestErrorInvalidResponse, "Invalid server response."},
        {response(R"({"ad_type":"interstitial"})"), GADRequestErrorInvalidMediationResponse, ""},
        {response(answer(network("1", kRewardA), "", "banner")), GADRequestErrorInvalidMediationResponse,
         "Invalid mediation adtype returned."},
        {nullptr, GADRequestErrorInvalidResponse, "Invalid server response."},
    };
    for (const auto& c : cases) {
        publisher->calls.clear();
        publisher->errors.clear();
        ad->processMediationAd(c.ad);
        REQUIRE(publisher->calls.size() == 1);
        CHECK(publisher->errors[0].code == c.code);
        if (!c.description.empty()) CHECK(publisher->errors[0].description == c.description);
        CHECK_FALSE(ad->requestInProgress());
        CHECK_FALSE(ad->isReady());
    }
    CHECK(Script::log().empty());
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: two networks of one adapter class share a connector that stands twice") {
    Script::loads()[kRewardA] = Load::Fail;
    load(answer(network("1", kRewardA) + "," + network("2", kRewardA) + "," + network("3", kRewardB)));
    CHECK(ad->connectors().size() == 2);
    // One set-up per class, the shared connector asked twice, then the next class.
    CHECK(Script::log() == std::vector<std::string>{kRewardA + std::string(" setup user-1"),
                                                    kRewardB + std::string(" setup user-1"),
                                                    kRewardA + std::string(" request"),
                                                    kRewardA + std::string(" request"),
                                                    kRewardB + std::string(" request")});
    // B is silent: its time limit ends the load with no fill.
    CHECK(publisher->calls.empty());
    advance(2.0);
    CHECK(publisher->calls == std::vector<std::string>{"failed 9"});
    CHECK(publisher->errors[0].description == "No ad returned from any ad server.");
    CHECK(waitForPing("/nofill"));

    // The connectors outlive the load: a second load sets nothing up again.
    Script::log().clear();
    Script::loads()[kRewardA] = Load::Fill;
    load(answer(network("1", kRewardA)));
    CHECK(Script::log() == std::vector<std::string>{kRewardA + std::string(" request")});
    CHECK(publisher->calls.back() == "received");
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: a network still setting up is asked once its set-up ends and its time limit runs from its turn") {
    Script::setUps()[kRewardB] = SetUp::Later;
    Script::loads()[kRewardA] = Load::Silent;
    Script::loads()[kRewardB] = Load::Fill;
    load(answer(network("1", kRewardA) + "," + network("2", kRewardB)));
    CHECK(ad->pendingSetUpConnectorsTimestamp().count(kRewardB) == 1);
    advance(1.5);
    adapter(kRewardB)->setUpDone(); // before its turn: nothing asked yet
    CHECK(without(Script::log(), "setup") == std::vector<std::string>{kRewardA + std::string(" request")});
    advance(0.6); // A's limit ends: B's turn, its set-up is done, so it is asked at once
    CHECK(Script::log().back() == kRewardB + std::string(" request"));
    CHECK(publisher->calls == std::vector<std::string>{"received"});

    // A set-up that ends during the turn starts the request then, and the turn's limit is its own.
    Script::reset(); // the connectors of A and B stay kept
    Script::setUps()[kRewardC] = SetUp::Later;
    Script::loads()[kRewardC] = Load::Fill;
    load(answer(network("3", kRewardC)));
    CHECK(Script::log() == std::vector<std::string>{kRewardC + std::string(" setup user-1")});
    advance(1.9);
    adapter(kRewardC)->setUpDone();
    CHECK(Script::log().back() == kRewardC + std::string(" request"));
    CHECK(publisher->calls.back() == "received");
    advance(1.0); // the old limit passes: a filled load stays filled
    CHECK(publisher->calls.back() == "received");
    CHECK(ad->isReady());
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: a pending set-up older than the network time limit is dropped at the next load") {
    Script::setUps()[kRewardA] = SetUp::Later;
    load(answer(network("1", kRewardA)));
    advance(2.0);
    REQUIRE(publisher->calls == std::vector<std::string>{"failed 9"});
    auto first = ad->connectors().at(kRewardA);

    advance(0.5); // now older than 2000 ms
    Script::setUps()[kRewardA] = SetUp::Now;
    Script::loads()[kRewardA] = Load::Fill;
    load(answer(network("1", kRewardA)));
    CHECK(Script::log() == std::vector<std::string>{kRewardA + std::string(" setup user-1"),
                                                    kRewardA + std::string(" stop"),
                                                    kRewardA + std::string(" setup user-1"),
                                                    kRewardA + std::string(" request")});
    CHECK(ad->connectors().at(kRewardA) != first);
    CHECK_FALSE(first->delegate());
    CHECK(publisher->calls.back() == "received");
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: a connector whose set-up failed leaves the list and the kept connectors") {
    // B fails its set-up after the list was built; it stands between A and C.
    Script::setUps()[kRewardB] = SetUp::Later;
    Script::loads()[kRewardA] = Load::Fail;
    Script::loads()[kRewardC] = Load::Fill;
    Script::loads()[kRewardB] = Load::Fill;
    load(answer(network("1", kRewardA) + "," + network("2", kRewardB) + "," + network("3", kRewardC)));
    // A failed at once: B's turn waits for its set-up.
    REQUIRE(ad->requestingConnector());
    CHECK(ad->requestingConnector()->adapterClassName() == kRewardB);
    adapter(kRewardB)->setUpFailed();
    // The dropped connector lets its adapter go.
    CHECK(without(Script::log(), "setup") == std::vector<std::string>{kRewardA + std::string(" request"),
                                                                     kRewardC + std::string(" request"),
                                                                     kRewardB + std::string(" stop")});
    CHECK(publisher->calls == std::vector<std::string>{"received"});
    CHECK(ad->connectors().count(kRewardB) == 0);
    CHECK(ad->pendingSetUpConnectorsTimestamp().count(kRewardB) == 0);

    // A failure that comes while another network is asked takes it out of the rest of the load.
    Script::reset();
    Script::setUps()[kRewardB] = SetUp::Later;
    Script::loads()[kRewardA] = Load::Silent;
    load(answer(network("1", kRewardA) + "," + network("2", kRewardB)));
    REQUIRE(ad->pendingAdRequestConnectors().size() == 1);
    adapter(kRewardB)->setUpFailed();
    CHECK(ad->pendingAdRequestConnectors().empty());
    advance(2.0);
    CHECK(publisher->calls.back() == "failed 9");
    CHECK(without(without(Script::log(), "setup"), "stop") == std::vector<std::string>{kRewardA + std::string(" request")});

    // A class that is no reward video adapter fails its set-up with code 8 and is never asked.
    Script::reset();
    load(answer(network("1", "GADMAdapterCustomEvents") + "," + network("2", kRewardA)));
    CHECK(ad->connectors().count("GADMAdapterCustomEvents") == 0);
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: a time-out never fails a filled load nor cuts a newer attempt and a late fill is ignored") {
    Script::loads()[kRewardA] = Load::Silent;
    load(answer(network("1", kRewardA) + "," + network("2", kRewardA)));
    auto a = adapter(kRewardA);
    advance(1.5);
    a->fail(); // the first attempt fails early; the second attempt of the same connector starts
    CHECK(without(Script::log(), "setup").size() == 2);
    advance(0.6); // the first attempt's limit would have ended now
    CHECK(publisher->calls.empty());
    CHECK(ad->requestingConnector());
    advance(1.5); // the second attempt's own limit
    CHECK(publisher->calls == std::vector<std::string>{"failed 9"});
    a->fill(); // late: the attempt timed out
    CHECK(publisher->calls == std::vector<std::string>{"failed 9"});
    CHECK_FALSE(ad->isReady());
    CHECK_FALSE(ad->receivedConnector());

    // A fill clears the requesting connector: its limit passing changes nothing, a second fill neither.
    load(answer(network("1", kRewardA)));
    a->fill();
    CHECK_FALSE(ad->requestingConnector());
    a->fill();
    a->fail();
    advance(5.0);
    CHECK(publisher->calls == std::vector<std::string>{"failed 9", "received"});
    CHECK(ad->isReady());
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: presenting pings both impression lists and the reward follows the first rewards entry") {
    Script::loads()[kRewardA] = Load::Fill;
    const std::string net = network("1", kRewardA,
                                    R"(,"imp_urls":["https://ads.ruzave.example/net-imp?q=@gw_qdata@"],)"
                                    R"("video_start_urls":["https://ads.ruzave.example/vstart"],)"
                                    R"("video_complete_urls":["https://ads.ruzave.example/vdone"])");
    const std::string settings =
        R"("imp_urls":["https://ads.ruzave.example/cfg-imp?loc=@gw_adlocid@"],)"
        R"("rewards":[{"rb_type":"gems","rb_amount":10},{"rb_type":"coins","rb_amount":99}])";
    auto root = platform::ViewController::create();

    ad->presentFromRootViewController(root); // before any ad: nothing
    CHECK(Script::log().empty());
    load(answer(net, settings));
    REQUIRE(publisher->calls == std::vector<std::string>{"received"});
    ad->presentFromRootViewController(root);
    CHECK_FALSE(ad->isReady());
    CHECK(Script::log().back() == kRewardA + std::string(" present"));
    ad->presentFromRootViewController(root); // once only
    CHECK(Script::log().back() == kRewardA + std::string(" present"));
    CHECK(std::count(Script::log().begin(), Script::log().end(), kRewardA + std::string(" present")) == 1);
    adapter(kRewardA)->play();
    CHECK(publisher->calls == std::vector<std::string>{"received", "open", "start", "reward gems 10", "close"});
    REQUIRE(waitForPing("/cfg-imp"));
    REQUIRE(waitForPing("/net-imp"));
    REQUIRE(waitForPing("/vstart"));
    REQUIRE(waitForPing("/vdone"));
    CHECK(pingParamOf("/net-imp", "q") == "q1");
    // No app key: the ad location stays as the template says.
    CHECK(pingParamOf("/cfg-imp", "loc") == "@gw_adlocid@");
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: the adapter's reward stands in when the rewards list is missing or its entry makes none") {
    Script::loads()[kRewardA] = Load::Fill;
    auto root = platform::ViewController::create();
    for (const std::string& settings : {std::string(R"("ad_network_timeout_millis":2000)"),
                                       std::string(R"("rewards":[{"rb_type":"gems","rb_amount":"10"}])"),
                                       std::string(R"("rewards":[7])")}) {
        publisher->calls.clear();
        load(answer(network("1", kRewardA), settings));
        ad->presentFromRootViewController(root);
        adapter(kRewardA)->play();
        CHECK(publisher->calls == std::vector<std::string>{"received", "open", "start", "reward coins 5", "close"});
    }
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: a new load during playback keeps the video linked until it closes") {
    Script::loads()[kRewardA] = Load::Fill;
    auto root = platform::ViewController::create();
    load(answer(network("1", kRewardA), R"("rewards":[{"rb_type":"gems","rb_amount":3}])"));
    ad->presentFromRootViewController(root);
    auto shown = adapter(kRewardA);
    auto c = shown->connector();
    c->adapterDidOpenRewardBasedVideoAd(*shown);

    // The app loads the next video while this one plays; the next comes from another network.
    Script::loads()[kRewardB] = Load::Fill;
    load(answer(network("2", kRewardB), R"("rewards":[{"rb_type":"stars","rb_amount":8}])"));
    CHECK(publisher->calls.back() == "received");
    REQUIRE(ad->presentingConnector() == c);
    c->adapterDidStartPlayingRewardBasedVideoAd(*shown);
    c->adapterDidRewardUserWithReward(*shown, nullptr);
    c->adapterWillLeaveApplication(*shown);
    c->adapterDidCloseRewardBasedVideoAd(*shown);
    CHECK(publisher->calls ==
          std::vector<std::string>{"received", "open", "received", "start", "reward gems 3", "leave", "close"});
    CHECK_FALSE(ad->presentingConnector());
    CHECK_FALSE(c->rewardBasedVideoAd());
    // Closed: later screen events of that adapter reach nobody.
    c->adapterDidOpenRewardBasedVideoAd(*shown);
    CHECK(publisher->calls.back() == "close");
    CHECK(ad->isReady());
}

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: thousands of networks failing at once end in one no-fill") {
    // Each failure arrives inside its own request: the waterfall must move on without nesting calls.
    Script::loads()[kRewardA] = Load::Fail;
    std::string networks;
    for (int i = 0; i < 5000; ++i) networks += (i ? "," : "") + network(std::to_string(i), kRewardA);
    load(answer(networks));
    CHECK(publisher->calls == std::vector<std::string>{"failed 9"});
    CHECK(without(Script::log(), "setup").size() == 5000);
    CHECK(ad->pendingAdRequestConnectors().empty());
    CHECK_FALSE(ad->requestingConnector());
}

TEST_CASE_FIXTURE(Fixture,
                  "GADRewardBasedVideoAd: a network's fill, failure or click after the app loads again "
                  "answers no request, and that load is answered once, by its own outcome") {
    enum class Word { Fill, Failure, Click };
    // When the network speaks: right after the app's load, queued just before it, or while the ad server
    // takes its time over the answer.
    enum class When { RightAfter, QueuedBefore, AnswerSlow };
    for (Word word : {Word::Fill, Word::Failure, Word::Click}) {
        for (When when : {When::RightAfter, When::QueuedBefore, When::AnswerSlow}) {
            for (bool nextFails : {false, true}) {
                CAPTURE(static_cast<int>(word));
                CAPTURE(static_cast<int>(when));
                CAPTURE(nextFails);
                publisher->calls.clear();
                Script::loads()[kRewardA] = Load::Fill;
                Script::loads()[kRewardB] = Load::Fill;
                // Its click pings the network's list and the configuration's, each once.
                load(answer(
                    network("1", kRewardA, R"(,"clickurl":["https://ads.ruzave.example/net-clk"])"),
                    R"("ad_network_timeout_millis":2000,"click_urls":["https://ads.ruzave.example/cfg-clk"])"));
                REQUIRE(publisher->calls == std::vector<std::string>{"received"});
                REQUIRE(
                    runUntil([] { return platform::NetworkEngine::shared().activeTransferCount() == 0; }));
                server->clearLog();
                auto a = adapter(kRewardA);
                REQUIRE(a);
                const auto say = [=] {
                    if (word == Word::Fill) a->fill();
                    if (word == Word::Failure) a->fail();
                    if (word == Word::Click) {
                        if (auto c = a->connector()) c->adapterDidGetAdClick(*a);
                    }
                };

                // The next answer comes late: the ad server fails it, or another network fills.
                auto next = nextFails ? adserver::Response::html("", 503)
                                      : adserver::Response::json(answer(network("2", kRewardB)))
                                            .header("X-Zudo-Mediation", "1");
                next.delay = std::chrono::milliseconds(200);
                server->route(kAnswerPath, next);
                if (when == When::QueuedBefore) platform::mainQueue()->async(say);
                ad->loadRequest(shortcutRequest(), std::string("unit-1"), std::string("user-1"));
                if (when == When::RightAfter) say();
                if (when == When::AnswerSlow) {
                    REQUIRE(runUntil([&] { return server->requestCount(kAnswerPath) == 1; }));
                    say();
                }
                REQUIRE(runUntil([&] { return publisher->outcomes() == 2; }));
                advance(5);
                runUntilIdle();
                CHECK(publisher->calls ==
                      std::vector<std::string>{"received", nextFails ? "failed 3" : "received"});
                CHECK(ad->isReady() == !nextFails);

                const std::size_t clicks = word == Word::Click ? 1 : 0;
                if (clicks)
                    REQUIRE(runUntil([&] { return waitForPing("/net-clk") && waitForPing("/cfg-clk"); }));
                REQUIRE(
                    runUntil([] { return platform::NetworkEngine::shared().activeTransferCount() == 0; }));
                runUntilIdle();
                CHECK(server->requestCount("/net-clk") == clicks);
                CHECK(server->requestCount("/cfg-clk") == clicks);
                CHECK(server->requestCount("/clk") == 0);
            }
        }
    }
}
