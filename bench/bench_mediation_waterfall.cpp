// waterfall_10_overhead_ms: a mediated banner whose first ten networks fail at once and whose eleventh
// fills, over the same answer with only the eleventh, from the mediation answer to the filled slot
// (goal <= 2 ms for the ten). The adapters answer inside their requests; the mediation pings go to the
// local ad server.
// waterfall_failing_10000_<banner|interstitial|native>_ms: 10,000 networks whose adapters fail inside
// their requests, from the mediation answer to the slot's one failure; ..._stack_spread_bytes: how far
// apart the deepest and the shallowest of those requests ran on the stack (flat: 0, the same frames).
// waterfall_missing_3000_main_thread_ms: 3,000 networks whose adapters are not linked, from the start of
// the waterfall to the slot's failure, all on the main thread (goal well under 500 ms);
// waterfall_missing_3000_longest_task_ms: the longest main-loop task from then until the statistics are
// saved (goal <= 4 ms); waterfall_missing_3000_answer_parse_ms: reading that answer, before the waterfall.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/mediation/GADAdMediationDelegate.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMAdManager.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMConfig.h"
#include "platform/base/Log.h"
#include "platform/base/Value.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "tools/adserver/AdServer.h"
#include "bench/BenchQuick.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
const int kRounds = bench::quickOr(200, 5);
// The long waterfalls (quick runs keep the figures' names with a tenth of the networks).
const int kFailing = bench::quickOr(10000, 1000);
const int kMissing = bench::quickOr(3000, 300);

class BenchAdapter : public ruzave::GADMAdNetworkAdapter {
  public:
    void initWithGADMAdNetworkConnector(const std::shared_ptr<ruzave::GADMAdNetworkConnector>& c) override {
        connector_ = c;
    }
    void getInterstitial() override {}
    void stopBeingDelegate() override {}
    bool isBannerAnimationOK(std::int32_t) override { return true; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>&) override {}

  protected:
    std::weak_ptr<ruzave::GADMAdNetworkConnector> connector_;
};

class FailingAdapter : public BenchAdapter {
  public:
    void getBannerWithSize(const ruzave::GADAdSize&) override {
        if (auto c = connector_.lock())
            c->adapterDidFailAd(*this, ruzave::GADRequestError::errorWithCode(ruzave::GADRequestErrorNoFill));
    }
};

// Fails inside every kind of request, noting where on the stack it ran.
class InstantFailureAdapter : public BenchAdapter {
  public:
    static inline std::uintptr_t lowest = UINTPTR_MAX;
    static inline std::uintptr_t highest = 0;
    void getBannerWithSize(const ruzave::GADAdSize&) override { fail(); }
    void getInterstitial() override { fail(); }
    bool respondsToGetNativeAd() const override { return true; }
    void getNativeAdWithAdTypes(const std::vector<std::string>&,
                                const std::vector<std::shared_ptr<ruzave::GADAdLoaderOptions>>&) override {
        fail();
    }

  private:
    void fail() {
        char here = 0;
        auto at = reinterpret_cast<std::uintptr_t>(&here);
        lowest = std::min(lowest, at);
        highest = std::max(highest, at);
        if (auto c = connector_.lock())
            c->adapterDidFailAd(*this, ruzave::GADRequestError::errorWithCode(ruzave::GADRequestErrorNoFill));
    }
};

class FillingAdapter : public BenchAdapter {
  public:
    void getBannerWithSize(const ruzave::GADAdSize&) override {
        if (auto c = connector_.lock())
            c->adapterDidReceiveAdView(*this, platform::View::create(platform::Rect{{0, 0}, {320, 50}}));
    }
};

const platform::ClassRegistrar<FailingAdapter, ruzave::GADMAdNetworkAdapter> failing("BenchFailingAdapter",
                                                                                     {"GADMAdNetworkAdapter"});
const platform::ClassRegistrar<FillingAdapter, ruzave::GADMAdNetworkAdapter> filling("BenchFillingAdapter",
                                                                                     {"GADMAdNetworkAdapter"});
const platform::ClassRegistrar<InstantFailureAdapter, ruzave::GADMAdNetworkAdapter>
    instantFailure("BenchInstantFailureAdapter", {"GADMAdNetworkAdapter"});

struct Owner : ruzave::GADSlotDelegate, ruzave::GADSlotAdLoadDelegate, ruzave::GADAdMediationDelegate {
    int loaded = 0;
    int failed = 0;
    std::string connectorClass = ruzave::GADMAdNetworkConnector::kBannerClassName;
    std::string connectorClassForAd(const std::shared_ptr<ruzave::GADAd>&) override { return connectorClass; }
    void slotFinishedLoadingAdContent(ruzave::GADSlot&) override { ++loaded; }
    void slotDidFailToLoadAdContentWithError(ruzave::GADSlot&, const platform::Error&) override { ++failed; }
};

// A slot with its owner and a mediation answer to hand it.
struct Mediation {
    std::shared_ptr<Owner> owner = std::make_shared<Owner>();
    std::shared_ptr<ruzave::GADSlot> slot = ruzave::GADSlot::init();
    std::shared_ptr<ruzave::GADAd> ad = ruzave::GADAd::init();

    Mediation(const std::string& json, const std::shared_ptr<ruzave::GADAdType>& type,
              const char* connectorClass) {
        owner->connectorClass = connectorClass;
        slot->setAdUnitID("bench-unit");
        slot->setAdType(type, false);
        slot->setSlotDelegate(owner);
        slot->setAdLoadDelegate(owner);
        ad->setResponseType(ruzave::GADResponseTypeMediation);
        ad->setAdHTML(json);
        ad->setMediationDelegate(owner);
    }
};

std::string networks(int count, const char* adapter, const std::string& adType) {
    std::string json = R"({"qdata":"b","ad_type":")" + adType + R"(","ad_networks":[)";
    for (int i = 0; i < count; ++i)
        json += std::string(i ? "," : "") + R"({"id":"N)" + std::to_string(i) + R"(","adapters":[")" +
                adapter + "\"]}";
    return json + "]}";
}

std::string answer(int failing) {
    std::string json = R"({"qdata":"b","ad_type":"banner","ad_networks":[)";
    for (int i = 0; i < failing; ++i)
        json += R"({"id":"F)" + std::to_string(i) + R"(","adapters":["BenchFailingAdapter"]},)";
    return json + R"({"id":"W","adapters":["BenchFillingAdapter"]}]})";
}

// The fastest of the rounds, in milliseconds, from the mediation answer to the filled slot: on a shared
// machine the slower rounds measure the other processes.
double road(int failingNetworks, bool& ok) {
    std::vector<double> samples;
    const std::string json = answer(failingNetworks);
    for (int round = 0; round < kRounds; ++round) {
        auto owner = std::make_shared<Owner>();
        auto slot = ruzave::GADSlot::init();
        slot->setAdUnitID("bench-unit");
        slot->setAdType(ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner), false);
        slot->setSlotDelegate(owner);
        slot->setAdLoadDelegate(owner);
        auto ad = ruzave::GADAd::init();
        ad->setResponseType(ruzave::GADResponseTypeMediation);
        ad->setAdHTML(json);
        ad->setMediationDelegate(owner);
        auto start = SteadyClock::now();
        slot->processMediationAdResponse(ad);
        platform::MainLoop::main().runUntil([&] { return owner->loaded > 0; }, 5.0);
        samples.push_back(std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count());
        if (owner->loaded != 1) ok = false;
        platform::MainLoop::main().runUntilIdle();
    }
    return *std::min_element(samples.begin(), samples.end());
}

// 10,000 networks failing inside their requests, for each kind of waterfall.
bool failingNetworks() {
    struct Kind {
        const char* name;
        std::shared_ptr<ruzave::GADAdType> type;
        const char* connectorClass;
        const char* adType;
    };
    const Kind kinds[] = {
        {"banner", ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner),
         ruzave::GADMAdNetworkConnector::kBannerClassName, "banner"},
        {"interstitial", ruzave::GADAdType::interstitialAdType(),
         ruzave::GADMAdNetworkConnector::kInterstitialClassName, "interstitial"},
        {"native", ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner),
         ruzave::GADMAdNetworkConnector::kNativeAdClassName, "banner"},
    };
    for (const auto& kind : kinds) {
        Mediation mediation(networks(kFailing, "BenchInstantFailureAdapter", kind.adType), kind.type,
                            kind.connectorClass);
        InstantFailureAdapter::lowest = UINTPTR_MAX;
        InstantFailureAdapter::highest = 0;
        auto start = SteadyClock::now();
        mediation.slot->processMediationAdResponse(mediation.ad);
        const double ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
        if (mediation.owner->failed != 1) {
            std::fprintf(stderr, "bench_mediation_waterfall: the %s waterfall did not fail once\n",
                         kind.name);
            return false;
        }
        std::printf("waterfall_failing_10000_%s_ms: %.1f ms\n", kind.name, ms);
        std::printf("waterfall_failing_10000_%s_stack_spread_bytes: %zu bytes\n", kind.name,
                    static_cast<std::size_t>(InstantFailureAdapter::highest - InstantFailureAdapter::lowest));
        platform::MainLoop::main().runUntilIdle();
    }
    return true;
}

// 3,000 networks naming adapters that are not linked. The answer is read first (its cost is printed on
// its own), then a main-loop task runs the waterfall.
bool missingAdapters() {
    const std::string json = networks(kMissing, "BenchAdapterNotLinked", "banner");
    const auto type = ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner);
    Mediation mediation(json, type, ruzave::GADMAdNetworkConnector::kBannerClassName);
    // Each missing adapter is logged while the answer is read; the log is not what is measured.
    platform::setLogLevel(platform::LogLevel::Warning);
    auto parseStart = SteadyClock::now();
    auto config = ruzave::GADMConfig::initWithAppKey(std::string("bench-unit"), platform::parseJSON(json));
    const double parseMs = std::chrono::duration<double, std::milli>(SteadyClock::now() - parseStart).count();
    if (!config || config->adNetworkConfigs().size() != static_cast<std::size_t>(kMissing)) {
        std::fprintf(stderr, "bench_mediation_waterfall: the answer of missing adapters did not parse\n");
        return false;
    }
    mediation.slot->finishedLoadingAdResponse(mediation.ad);

    auto& loop = platform::MainLoop::main();
    loop.runUntilIdle();
    loop.resetTaskStats();
    double ms = 0;
    loop.post([&] {
        auto start = SteadyClock::now();
        mediation.slot->mediationManager()->mediateForAdType(type, config);
        ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
    });
    loop.runUntil([&] { return mediation.owner->failed > 0; }, 60.0);
    // Until the statistics are saved and the no-fill ping is sent.
    loop.runUntil([] { return false; }, 1.0);
    if (mediation.owner->failed != 1) {
        std::fprintf(stderr,
                     "bench_mediation_waterfall: the waterfall of missing adapters did not fail once\n");
        return false;
    }
    std::printf("waterfall_missing_3000_answer_parse_ms: %.2f ms\n", parseMs);
    std::printf("waterfall_missing_3000_main_thread_ms: %.2f ms\n", ms);
    std::printf("waterfall_missing_3000_longest_task_ms: %.2f ms\n", loop.maxTaskSeconds() * 1000.0);
    return true;
}

} // namespace

int main() {
    adserver::Options options;
    options.hostNames = ruzave::GADHosts::allHosts();
    auto server = adserver::AdServer::start(options);
    if (!server) {
        std::fprintf(stderr, "bench_mediation_waterfall: the local ad server did not start\n");
        return 1;
    }
    for (const char* path : {"/imp", "/nofill"}) server->route(path, adserver::Response::html("", 200));
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setTrustedCAFile(server->caFile());
    config->setHostMappings(server->connectToSpec(443));
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);

    bool ok = true;
    road(10, ok);  // warm-up: first-use singletons and the registry
    const double alone = road(0, ok);
    const double withTen = road(10, ok);
    if (!ok) {
        std::fprintf(stderr, "bench_mediation_waterfall: a round did not fill exactly once\n");
        return 1;
    }
    std::printf("waterfall_10_overhead_ms: %.3f ms\n", std::max(0.0, withTen - alone));
    if (!failingNetworks() || !missingAdapters()) return 1;
    platform::MainLoop::main().runUntil([] { return false; }, 0.5);
    config->reset();
    return 0;
}
