// waterfall_10_overhead_ms: a mediated banner whose first ten networks fail at once and whose eleventh
// fills, over the same answer with only the eleventh, from the mediation answer to the filled slot
// (goal <= 2 ms for the ten). The adapters answer inside their requests; the mediation pings go to the
// local ad server.
#include <algorithm>
#include <chrono>
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
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "tools/adserver/AdServer.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kRounds = 200;

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

struct Owner : ruzave::GADSlotDelegate, ruzave::GADSlotAdLoadDelegate, ruzave::GADAdMediationDelegate {
    int loaded = 0;
    std::string connectorClassForAd(const std::shared_ptr<ruzave::GADAd>&) override {
        return ruzave::GADMAdNetworkConnector::kBannerClassName;
    }
    void slotFinishedLoadingAdContent(ruzave::GADSlot&) override { ++loaded; }
    void slotDidFailToLoadAdContentWithError(ruzave::GADSlot&, const platform::Error&) override {}
};

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
    platform::MainLoop::main().runUntil([] { return false; }, 0.5);
    config->reset();
    return 0;
}
