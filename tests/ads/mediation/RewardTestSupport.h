#pragma once
// Shared by the reward-based video tests: scripted reward video adapters registered by name, a
// publisher that records what it hears, and a fixture that loads the shared ad from a mediation answer
// of the local server (through the "_ad" shortcut, so no core page is needed). Main thread.
#include <doctest/doctest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../core/net/FetchTestSupport.h"
#include "ads/core/public/GADAdReward.h"
#include "ads/core/public/GADExtras.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/GADRewardBasedVideoAd.h"
#include "ads/core/public/GADRewardBasedVideoAdDelegate.h"
#include "ads/mediation/GADMRewardBasedVideoAdNetworkAdapter.h"
#include "ads/mediation/GADMRewardBasedVideoAdNetworkConnector.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/ui/Application.h"

namespace rewardtest {

enum class SetUp { Now, Later, Fail };
enum class Load { Fill, Silent, Fail };

class ScriptedRewardAdapter;

// What each adapter class does, and what every adapter was asked.
struct Script {
    static std::map<std::string, SetUp>& setUps() {
        static std::map<std::string, SetUp> m;
        return m;
    }
    static std::map<std::string, Load>& loads() {
        static std::map<std::string, Load> m;
        return m;
    }
    static std::vector<std::string>& log() {
        static std::vector<std::string> l;
        return l;
    }
    // The latest adapter made of each class.
    static std::map<std::string, std::weak_ptr<ScriptedRewardAdapter>>& adapters() {
        static std::map<std::string, std::weak_ptr<ScriptedRewardAdapter>> m;
        return m;
    }
    static void reset() {
        setUps().clear();
        loads().clear();
        log().clear();
        adapters().clear();
    }
};

class ScriptedRewardAdapter : public ruzave::GADMRewardBasedVideoAdNetworkAdapter,
                              public std::enable_shared_from_this<ScriptedRewardAdapter> {
  public:
    explicit ScriptedRewardAdapter(std::string name) : name_(std::move(name)) {}

    void initWithGADMAdNetworkConnector(const std::shared_ptr<ruzave::GADMRewardBasedVideoAdNetworkConnector>& c) override {
        connector_ = c;
        Script::adapters()[name_] = weak_from_this();
    }
    void setUpWithUserID(const std::optional<std::string>& userID) override {
        Script::log().push_back(name_ + " setup " + userID.value_or("-"));
        auto it = Script::setUps().find(name_);
        SetUp s = it == Script::setUps().end() ? SetUp::Now : it->second;
        if (s == SetUp::Now) setUpDone();
        if (s == SetUp::Fail) setUpFailed();
    }
    void requestRewardBasedVideoAd() override {
        Script::log().push_back(name_ + " request");
        auto it = Script::loads().find(name_);
        Load l = it == Script::loads().end() ? Load::Silent : it->second;
        if (l == Load::Fill) fill();
        if (l == Load::Fail) fail();
    }
    void presentRewardBasedVideoAdWithRootViewController(const std::shared_ptr<platform::ViewController>&) override {
        Script::log().push_back(name_ + " present");
    }
    void stopBeingDelegate() override { Script::log().push_back(name_ + " stop"); }
    std::string adapterVersion() const override { return "1.0"; }
    std::optional<std::string> networkExtrasClass() const override { return std::string("GADExtras"); }

    // --- Driven by the tests, as the network's SDK would.
    std::shared_ptr<ruzave::GADMRewardBasedVideoAdNetworkConnector> connector() const { return connector_.lock(); }
    void setUpDone() {
        if (auto c = connector()) c->adapterDidSetUpRewardBasedVideoAd(*this);
    }
    void setUpFailed() {
        if (auto c = connector())
            c->adapterDidFailToSetUpRewardBasedVideoAdWithError(*this, platform::Error("network.domain", 3, "no set-up"));
    }
    void fill() {
        if (auto c = connector()) c->adapterDidReceiveRewardBasedVideoAd(*this);
    }
    void fail() {
        if (auto c = connector())
            c->adapterDidFailToLoadRewardBasedVideoAdwithError(*this, platform::Error("network.domain", 1, "no fill"));
    }
    // The whole show: open, start, one reward (the adapter's own: 5 "coins"), close.
    void play() {
        auto c = connector();
        if (!c) return;
        c->adapterDidOpenRewardBasedVideoAd(*this);
        c->adapterDidStartPlayingRewardBasedVideoAd(*this);
        c->adapterDidRewardUserWithReward(*this, ruzave::GADAdReward::initWithRewardType("coins", 5));
        c->adapterDidCloseRewardBasedVideoAd(*this);
    }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    std::weak_ptr<ruzave::GADMRewardBasedVideoAdNetworkConnector> connector_;
};

template <const char* Name> struct NamedRewardAdapter : ScriptedRewardAdapter {
    NamedRewardAdapter() : ScriptedRewardAdapter(Name) {}
};

inline constexpr char kRewardA[] = "TestRewardAdapterA";
inline constexpr char kRewardB[] = "TestRewardAdapterB";
inline constexpr char kRewardC[] = "TestRewardAdapterC";

inline void registerRewardAdapters() {
    using Base = ruzave::GADMRewardBasedVideoAdNetworkAdapter;
    static const platform::ClassRegistrar<NamedRewardAdapter<kRewardA>, Base> a(kRewardA, {Base::kProtocolName});
    static const platform::ClassRegistrar<NamedRewardAdapter<kRewardB>, Base> b(kRewardB, {Base::kProtocolName});
    static const platform::ClassRegistrar<NamedRewardAdapter<kRewardC>, Base> c(kRewardC, {Base::kProtocolName});
}

inline std::shared_ptr<ScriptedRewardAdapter> adapter(const std::string& name) {
    auto it = Script::adapters().find(name);
    return it == Script::adapters().end() ? nullptr : it->second.lock();
}

struct Publisher : ruzave::GADRewardBasedVideoAdDelegate {
    std::vector<std::string> calls;
    std::vector<platform::Error> errors;
    std::vector<std::shared_ptr<ruzave::GADAdReward>> rewards;

    void rewardBasedVideoAdDidReceiveAd(ruzave::GADRewardBasedVideoAd&) override { calls.push_back("received"); }
    void rewardBasedVideoAdDidFailToLoadwithError(ruzave::GADRewardBasedVideoAd&, const platform::Error& e) override {
        calls.push_back("failed " + std::to_string(e.code));
        errors.push_back(e);
    }
    void rewardBasedVideoAdDidOpen(ruzave::GADRewardBasedVideoAd&) override { calls.push_back("open"); }
    void rewardBasedVideoAdDidStartPlaying(ruzave::GADRewardBasedVideoAd&) override { calls.push_back("start"); }
    void rewardBasedVideoAdDidClose(ruzave::GADRewardBasedVideoAd&) override { calls.push_back("close"); }
    void rewardBasedVideoAdWillLeaveApplication(ruzave::GADRewardBasedVideoAd&) override { calls.push_back("leave"); }
    void rewardBasedVideoAdDidRewardUserWithReward(ruzave::GADRewardBasedVideoAd&,
                                                   const std::shared_ptr<ruzave::GADAdReward>& r) override {
        calls.push_back("reward " + r->type() + " " + std::to_string(static_cast<int>(r->amount())));
        rewards.push_back(r);
    }
    std::size_t outcomes() const {
        std::size_t n = 0;
        for (const auto& c : calls)
            if (c == "received" || c.rfind("failed", 0) == 0) ++n;
        return n;
    }
};

// A network entry of a mediation answer; `extra` is more JSON members, with a leading comma.
inline std::string network(const std::string& id, const std::string& adapter, const std::string& extra = "") {
    return R"({"id":")" + id + R"(","adapters":[")" + adapter + R"("])" + extra + "}";
}
// A reward video mediation answer over `networks` (JSON objects joined by commas).
inline std::string answer(const std::string& networks, const std::string& settings = R"("ad_network_timeout_millis":2000)",
                          const std::string& adType = "interstitial") {
    return R"({"ad_type":")" + adType + R"(","qdata":"q1","ad_networks":[)" + networks + R"(],"settings":{)" + settings +
           "}}";
}

inline constexpr const char* kAnswerPath = "/rbv";

struct Fixture : fetchtest::ServerFixture {
    std::shared_ptr<ruzave::GADRewardBasedVideoAd> ad = ruzave::GADRewardBasedVideoAd::sharedInstance();
    std::shared_ptr<Publisher> publisher = std::make_shared<Publisher>();

    Fixture() {
        registerRewardAdapters();
        Script::reset();
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        for (const char* path : {"/nofill", "/imp", "/clk", "/cfg-imp", "/cfg-clk", "/net-imp", "/net-clk", "/vstart",
                                 "/vdone", "/cfg-nofill"})
            server->route(path, adserver::Response::html("", 200));
        ad->setDelegate(publisher);
    }

    // A request whose "_ad" shortcut points at the local server's mediation answer.
    static std::shared_ptr<ruzave::GADRequest> shortcutRequest(const std::string& path = kAnswerPath) {
        auto request = ruzave::GADRequest::request();
        auto extras = ruzave::GADExtras::init();
        platform::Value parameters = platform::Value::object();
        parameters["_ad"] = platform::Value::object();
        parameters["_ad"]["ad_url"] = url(path);
        extras->setAdditionalParameters(parameters);
        request->registerAdNetworkExtras(extras);
        return request;
    }
    void serve(const std::string& json) {
        server->route(kAnswerPath, adserver::Response::json(json).header("X-Zudo-Mediation", "1"));
    }
    // Serves `json` and loads it; returns once the adapters have been asked or an outcome came.
    void load(const std::string& json, const std::string& userID = "user-1") {
        serve(json);
        const std::size_t before = publisher->outcomes();
        const std::size_t logged = Script::log().size();
        ad->loadRequest(shortcutRequest(), std::string("unit-1"), userID);
        REQUIRE(runUntil([&] { return publisher->outcomes() > before || Script::log().size() > logged; }));
        runUntilIdle();
    }
    std::string pingParamOf(const std::string& path, const std::string& name, std::size_t index = 0) {
        auto requests = server->requests(path);
        REQUIRE(requests.size() > index);
        return requests[index].param(name);
    }
    bool waitForPing(const std::string& path, std::size_t count = 1) {
        return runUntil([&] { return server->requestCount(path) >= count; });
    }
};

} // namespace rewardtest
