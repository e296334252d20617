// The reward-based video ad end to end: the core page builds the ad URL, the ad server answers with a
// mediation response, the first network fails, a test adapter fills, and its video plays out on the
// virtual clock and rewards the user once.
#include <doctest/doctest.h>

#include "platform/runloop/MainLoop.h"
#include "platform/ui/ViewController.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tests/ads/mediation/RewardTestSupport.h"

using namespace rewardtest;

namespace {

// Plays a 30-second video when asked to present, and rewards at its end.
constexpr char kPlayer[] = "TestRewardVideoPlayer";
class PlayerAdapter : public NamedRewardAdapter<kPlayer> {
  public:
    void requestRewardBasedVideoAd() override {
        NamedRewardAdapter<kPlayer>::requestRewardBasedVideoAd();
        std::weak_ptr<ScriptedRewardAdapter> weak = weak_from_this();
        platform::MainLoop::main().post([weak] {
            if (auto a = weak.lock()) a->fill();
        });
    }
    void presentRewardBasedVideoAdWithRootViewController(const std::shared_ptr<platform::ViewController>& root) override {
        NamedRewardAdapter<kPlayer>::presentRewardBasedVideoAdWithRootViewController(root);
        auto c = connector();
        if (!c) return;
        c->adapterDidOpenRewardBasedVideoAd(*this);
        c->adapterDidStartPlayingRewardBasedVideoAd(*this);
        std::weak_ptr<ScriptedRewardAdapter> weak = weak_from_this();
        platform::MainLoop::main().postAfter(30, [weak] {
            auto a = weak.lock();
            auto c = a ? a->connector() : nullptr;
            if (!c) return;
            c->adapterDidRewardUserWithReward(*a, ruzave::GADAdReward::initWithRewardType("coins", 1));
            c->adapterDidCloseRewardBasedVideoAd(*a);
        });
    }
};
const platform::ClassRegistrar<PlayerAdapter, ruzave::GADMRewardBasedVideoAdNetworkAdapter> playerRegistrar(
    kPlayer, {ruzave::GADMRewardBasedVideoAdNetworkAdapter::kProtocolName});

} // namespace

TEST_CASE_FIXTURE(Fixture, "GADRewardBasedVideoAd: a reward-based video through a test adapter that rewards once end to end") {
    adserver::CorePageScenario scenario;
    scenario.fallback.url = url(kAnswerPath);
    adserver::installCorePage(*server, scenario);
    Script::loads()[kRewardA] = Load::Fail;
    serve(answer(network("1", kRewardA) + "," +
                     network("2", kPlayer,
                             R"(,"imp_urls":["https://ads.ruzave.example/net-imp"],)"
                             R"("video_start_urls":["https://ads.ruzave.example/vstart?q=@gw_qdata@"],)"
                             R"("video_complete_urls":["https://ads.ruzave.example/vdone"])"),
                 R"("ad_network_timeout_millis":5000,"rewards":[{"rb_type":"lives","rb_amount":3}])"));

    auto root = platform::ViewController::create();
    ad->loadRequest(ruzave::GADRequest::request(), std::string("e2e-reward"), std::string("player-7"));
    REQUIRE(sdkcoretest::pump(*this, [&] { return publisher->outcomes() == 1; }, 20));
    REQUIRE(publisher->calls == std::vector<std::string>{"received"});
    CHECK(ad->isReady());
    CHECK(Script::log() == std::vector<std::string>{kRewardA + std::string(" setup player-7"),
                                                    kPlayer + std::string(" setup player-7"),
                                                    kRewardA + std::string(" request"),
                                                    kPlayer + std::string(" request")});
    // The ad URL is the core page's, built for this ad unit and request.
    REQUIRE(server->requestCount(kAnswerPath) == 1);
    CHECK(pingParamOf(kAnswerPath, "slotname") == "e2e-reward");
    CHECK(pingParamOf(kAnswerPath, "request_id") == ad->requestID().value_or("?"));

    ad->presentFromRootViewController(root);
    CHECK(publisher->calls == std::vector<std::string>{"received", "open", "start"});
    advance(29);
    CHECK(publisher->rewards.empty());
    advance(1);
    CHECK(publisher->calls == std::vector<std::string>{"received", "open", "start", "reward lives 3", "close"});
    REQUIRE(publisher->rewards.size() == 1);
    CHECK(publisher->rewards[0]->amount() == 3);

    // One impression for the configuration (the built-in template) and one for the network.
    CHECK(waitForPing("/imp"));
    CHECK(waitForPing("/net-imp"));
    CHECK(waitForPing("/vstart"));
    CHECK(waitForPing("/vdone"));
    CHECK(pingParamOf("/vstart", "q") == "q1");
    runUntilIdle();
    CHECK(server->requestCount("/imp") == 1);
    CHECK(server->requestCount("/vdone") == 1);

    // Shown once: the next presentation needs a new load.
    ad->presentFromRootViewController(root);
    advance(60);
    CHECK(publisher->calls.size() == 5);
    CHECK_FALSE(ad->isReady());
}
