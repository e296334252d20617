#include "tools/chaos/ChaosRun.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "platform/base/Log.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"
#include "tools/adserver/FaultyAds.h"
#include "tools/chaos/ChaosCustomEvents.h"
#include "tools/chaos/ChaosFaults.h"
#include "tools/HeapInUse.h"


namespace chaos {

namespace {

using ruzave::GADHosts;
using Steady = std::chrono::steady_clock;

constexpr const char* kAdPath = "/mads/gma";
// Virtual seconds per turn of the pump: small while the network is busy, growing while nothing happens.
constexpr double kSmallStep = 0.001;
constexpr double kLargestStep = 0.5;
// Real seconds a runaway load may add to a round's bound (the script time limit, with room).
constexpr double kRunawayAllowance = 2.0;
constexpr std::size_t kMaxWarmUp = 100;

double secondsSince(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

const char* levelName(platform::LogLevel level) {
    switch (level) {
    case platform::LogLevel::Debug: return "debug";
    case platform::LogLevel::Info: return "info";
    case platform::LogLevel::Warning: return "warning";
    case platform::LogLevel::Error: return "error";
    }
    return "other";
}

std::string kilobytes(std::int64_t bytes) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    return buffer;
}

class ChaosDelegate : public ruzave::GADBannerViewDelegate {
  public:
    ChaosDelegate(LoadRecord& record, double startedAt) : record_(record), startedAt_(startedAt) {}
    // A banner reloads at its refresh interval (after a failure too): those answers are its own loads'.
    void adViewDidReceiveAd(ruzave::GADBannerView& view) override {
        record_.answer(true, 0, platform::Clock::now() - startedAt_, view.hasAutoRefreshed());
    }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView& view, const platform::Error& error) override {
        record_.answer(false, error.code, platform::Clock::now() - startedAt_, view.hasAutoRefreshed());
    }

  private:
    LoadRecord& record_;
    double startedAt_;
};

struct Placed {
    std::shared_ptr<ruzave::GADBannerView> banner;
    std::shared_ptr<ChaosDelegate> delegate;
    std::string kind;
};

// A banner let go, watched until the next count of what outlived its owner.
struct Released {
    std::weak_ptr<ruzave::GADBannerView> banner;
    std::weak_ptr<ruzave::GADSlot> slot;
    std::weak_ptr<ruzave::GADAdView> adView;
    std::string kind;

    bool alive() const { return !banner.expired() || !slot.expired() || !adView.expired(); }
};

class Runner {
  public:
    Runner(const ChaosOptions& options, ChaosReport& report) : options_(options), report_(report) {}
    ~Runner() {
        release();
        platform::MainLoop::main().runUntilIdle();
        if (server_) {
            auto config = platform::NetworkConfiguration::sharedInstance();
            config->removeAllHostMappings();
            config->setTrustedCAFile("");
        }
    }

    bool start() {
        adserver::Options serverOptions;
        serverOptions.hostNames = GADHosts::allHosts();
        server_ = adserver::AdServer::start(serverOptions);
        if (!server_) return fail("the local ad server did not start");
        const std::string adBase = std::string("https://") + GADHosts::kAdServerHost;
        scenario_ = corePageScenario(GADHosts::kSDKCoreHost, GADHosts::kSDKCorePagePath, adBase);
        adserver::installCorePage(*server_, scenario_);
        adserver::FaultyAdOptions faulty;
        faulty.crossHost = GADHosts::kReportHost;
        faulty.customEventClasses = chaosCustomEventClasses();
        adserver::installFaultyAds(*server_, GADHosts::kAdServerHost, kAdPath, faulty);
        adserver::installPingEndpoints(*server_);
        // The mediation pings' default templates.
        for (const char* path : {"/imp", "/clk", "/nofill"})
            server_->routeHost(GADHosts::kPingHost, path, [](const adserver::Request&) { return adserver::Response::html(""); });
        auto config = platform::NetworkConfiguration::sharedInstance();
        platform::Error error;
        if (!config->setHostMappings(server_->connectToSpec(443), &error))
            return fail("the host map was refused: " + error.description);
        config->setTrustedCAFile(server_->caFile());
        registerChaosCustomEvents();

        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window_ = platform::Window::create();
        root_ = platform::ViewController::create();
        window_->setRootViewController(root_);
        window_->makeKeyAndVisible();
        return true;
    }

    void run() {
        std::mt19937_64 random(options_.seed);
        std::vector<const FaultKind*> plan = FaultPlan::make(options_.loads, random, options_.kinds);
        records_.resize(plan.size());
        report_.warmUpLoads = plan.empty() ? 0 : std::clamp<std::size_t>(plan.size() / 10, 1, kMaxWarmUp);
        std::bernoulli_distribution grouped(options_.groupShare);
        std::uniform_int_distribution<std::size_t> groupSize(2, std::max<std::size_t>(2, options_.largestGroup));
        const auto started = Steady::now();
        const double virtualStart = platform::Clock::now();
        bool measured = false;
        std::size_t nextProgress = 1000;
        for (std::size_t next = 0; next < plan.size();) {
            std::size_t count = grouped(random) ? std::min(groupSize(random), plan.size() - next) : 1;
            if (plan[next]->page) {
                // Every banner of the round waits on the broken page.
                for (std::size_t i = next; i < next + count; ++i) plan[i] = plan[next];
                settle();
                breakCorePage(*plan[next]);
                round(plan, next, count, random);
                settle();
                mendCorePage();
            } else {
                round(plan, next, count, random);
            }
            next += count;
            if (!measured && next >= report_.warmUpLoads) {
                settle();
                report_.heapBefore = ChaosRun::heapInUse();
                report_.descriptorsBefore = ChaosRun::openDescriptors();
                measured = true;
            }
            if (options_.progress && next >= nextProgress) {
                options_.progress(std::to_string(next) + "/" + std::to_string(plan.size()) + " loads, heap " +
                                  kilobytes(ChaosRun::heapInUse()) + ", " + std::to_string(secondsSince(started)) +
                                  " s");
                nextProgress += 1000;
            }
        }
        settle();
        pump([] { return false; }, options_.keepSeconds, options_.realBound);
        countSurvivors();
        report_.heapAfter = ChaosRun::heapInUse();
        report_.descriptorsAfter = ChaosRun::openDescriptors();
        report_.realSeconds = secondsSince(started);
        report_.virtualSeconds = platform::Clock::now() - virtualStart;
        report_.loads = records_.size();
        if (records_.empty()) report_.failure = "no fault kind to draw from";
        for (const auto& record : records_) report_.tally.add(record);
    }

  private:
    bool fail(const std::string& why) {
        report_.failure = why;
        return false;
    }

    void round(const std::vector<const FaultKind*>& plan, std::size_t first, std::size_t count, std::mt19937_64& random) {
        if (count > 1) {
            ++report_.groups;
            report_.groupedLoads += count;
        }
        std::vector<std::size_t> indices;
        std::size_t runaways = 0;
        const double now = platform::Clock::now();
        for (std::size_t i = first; i < first + count; ++i) {
            LoadRecord& record = records_[i];
            record.kind = plan[i]->name;
            record.adUnitID = adUnitFor(*plan[i], random);
            record.grouped = count > 1;
            if (plan[i]->runaway) ++runaways;
            auto banner = ruzave::GADBannerView::initWithAdSize(
                ruzave::kGADAdSizeBanner, platform::Point{0, 20.0f + 60.0f * static_cast<float>(i - first)});
            if (!banner) {
                record.wedged = true;
                continue;
            }
            auto delegate = std::make_shared<ChaosDelegate>(record, now);
            banner->setAdUnitID(record.adUnitID);
            banner->setRootViewController(root_);
            banner->setDelegate(delegate);
            root_->view()->addSubview(banner);
            kept_.push_back({banner, delegate, record.kind});
            indices.push_back(i);
        }
        // Loaded together, as an app's screen of banners does.
        for (std::size_t k = kept_.size() - indices.size(); k < kept_.size(); ++k)
            kept_[k].banner->loadRequest(ruzave::GADRequest::request());
        auto answered = [&] {
            return std::all_of(indices.begin(), indices.end(), [&](std::size_t i) { return records_[i].answers() > 0; });
        };
        const auto started = Steady::now();
        pump(answered, options_.virtualBound, options_.realBound + kRunawayAllowance * static_cast<double>(runaways));
        for (std::size_t i : indices) records_[i].realSeconds = secondsSince(started);
        for (std::size_t k = 0; k < indices.size(); ++k) {
            LoadRecord& record = records_[indices[k]];
            if (record.answers() > 0) continue;
            record.wedged = true;
            record.stuck = whereStuck(*kept_[kept_.size() - indices.size() + k].banner);
        }
        if (kept_.size() >= options_.keptBanners) settle();
    }

    // The page the SDK loads next is broken: it is served from now on and the loaded one goes stale.
    void breakCorePage(const FaultKind& kind) {
        const std::string adBase = scenario_.adBase;
        adserver::Response page = brokenCorePage(kind, adserver::corePageHTML(scenario_), adBase);
        server_->routeHost(scenario_.host, scenario_.path, [page](const adserver::Request&) { return page; });
        makeCorePageStale();
    }

    void mendCorePage() {
        adserver::installCorePage(*server_, scenario_);
        makeCorePageStale();
    }

    // The SDK reloads a page older than an hour with the next request: an hour passes (the app idle).
    static void makeCorePageStale() {
        platform::Clock::advance(static_cast<double>(ruzave::GADSDKCoreController::kStalePageMilliseconds) / 1000.0 + 1);
        platform::MainLoop::main().runUntilIdle();
    }

    static std::string whereStuck(ruzave::GADBannerView& banner) {
        auto controller = ruzave::GADSDKCoreController::sharedInstance();
        auto page = controller->activeSDKCoreWebView();
        return "slot state " + std::to_string(banner.slot()->state()) + ", request id " +
               banner.slot()->requestID().value_or("none") + ", core page state " +
               (page ? std::to_string(page->state()) : std::string("none")) + ", " +
               std::to_string(controller->pendingBuildAdURLDelegateCount()) + " requests with the page";
    }

    // Moves the clock on with every kept banner alive, so that answers that should never come have their
    // chance, then lets the banners go.
    void settle() {
        pump([] { return false; }, options_.keepSeconds, options_.realBound);
        // Those let go at the last settle have had as long as these had to answer: longer than any wait
        // of the SDK's, so whatever still holds them holds them for good.
        countSurvivors();
        release();
        pump([] { return false; }, 1.0, options_.realBound);
        // The server's request log is this process's heap too, and no part of the SDK's.
        server_->clearLog();
    }

    void release() {
        for (auto& placed : kept_) {
            placed.banner->setDelegate(std::weak_ptr<ruzave::GADBannerViewDelegate>());
            placed.banner->removeFromSuperview();
            Released released;
            released.banner = placed.banner;
            released.slot = placed.banner->slot();
            if (auto slot = placed.banner->slot()) released.adView = slot->adView();
            released.kind = placed.kind;
            released_.push_back(std::move(released));
        }
        kept_.clear();
        platform::MainLoop::main().runUntilIdle();
    }

    // Banners, slots and ad views that something still holds long after their owner let them go.
    void countSurvivors() {
        for (const auto& released : released_) {
            if (released.alive()) ++report_.survivors[released.kind];
        }
        released_.clear();
    }

    // Runs the main loop with the clock moving until `done` holds or either bound passes.
    static void pump(const std::function<bool()>& done, double virtualLimit, double realLimit) {
        auto& loop = platform::MainLoop::main();
        const double virtualStart = platform::Clock::now();
        const auto realStart = Steady::now();
        double step = kSmallStep;
        while (!done()) {
            if (platform::Clock::now() - virtualStart >= virtualLimit || secondsSince(realStart) >= realLimit) return;
            loop.runUntilIdle();
            if (done()) return;
            // Work on the network and on the SDK's queues goes at the pace of real time: while there is
            // any, the clock creeps (page timers keep running, SDK timeouts stay far).
            if (platform::NetworkEngine::shared().activeTransferCount() > 0 ||
                platform::DispatchQueue::backgroundBlockCount() > 0) {
                loop.runUntil(done, 0.001);
                step = kSmallStep;
                platform::Clock::advance(kSmallStep);
            } else {
                loop.runUntil(done, 0.0002);
                platform::Clock::advance(step);
                step = std::min(step * 2, kLargestStep);
            }
        }
    }

    const ChaosOptions& options_;
    ChaosReport& report_;
    std::vector<LoadRecord> records_;
    std::vector<Placed> kept_;
    std::vector<Released> released_;
    std::unique_ptr<adserver::AdServer> server_;
    adserver::CorePageScenario scenario_;
    std::shared_ptr<platform::Window> window_;
    std::shared_ptr<platform::ViewController> root_;
};

} // namespace

std::int64_t ChaosRun::heapInUse() { return tools::heapInUseBytes(); }

std::int64_t ChaosRun::openDescriptors() {
    std::error_code error;
    std::int64_t count = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
        ++count;
    // The iterator's own descriptor is counted too; it is gone again.
    return count > 0 ? count - 1 : 0;
}

ChaosReport ChaosRun::run(const ChaosOptions& options) {
    ChaosReport report;
    auto previousSink = platform::setLogSink([&report](platform::LogLevel level, const std::string&) {
        ++report.logLines[levelName(level)];
    });
    {
        platform::testing::Harness harness;
        Runner runner(options, report);
        if (runner.start()) runner.run();
    }
    platform::setLogSink(std::move(previousSink));
    return report;
}

std::string ChaosReport::render() const {
    std::vector<std::string> order;
    for (const auto& kind : faultKinds()) order.push_back(kind.name);
    std::string out = tally.render(order);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer,
                  "loads: %zu (%zu in %zu rounds of several banners)\n"
                  "wedged: %zu  doubled: %zu  late: %zu\n",
                  loads, groupedLoads, groups, tally.wedged(), tally.doubled(), tally.total().late);
    out += buffer;
    std::size_t runaways = 0;
    for (const auto& kind : faultKinds()) {
        if (kind.runaway) runaways += tally.row(kind.name).loads;
    }
    out += "runaway loads (a script that never returns holds the main thread for its time limit): " +
           std::to_string(runaways) + "\n";
    const std::int64_t heapGrowth = heapAfter - heapBefore;
    const std::size_t measuredLoads = loads > warmUpLoads ? loads - warmUpLoads : 0;
    out += "heap: " + kilobytes(heapBefore) + " after " + std::to_string(warmUpLoads) + " warm-up loads, " +
           kilobytes(heapAfter) + " at the end: " + (heapGrowth >= 0 ? "+" : "") + kilobytes(heapGrowth);
    if (measuredLoads > 0)
        out += " (" + std::to_string(heapGrowth / static_cast<std::int64_t>(measuredLoads)) + " bytes per load)";
    out += "\n";
    std::snprintf(buffer, sizeof buffer, "descriptors: %lld after warm-up, %lld at the end: %+lld\n",
                  static_cast<long long>(descriptorsBefore), static_cast<long long>(descriptorsAfter),
                  static_cast<long long>(descriptorsAfter - descriptorsBefore));
    out += buffer;
    std::snprintf(buffer, sizeof buffer, "time: %.1f s real, %.0f s virtual\n", realSeconds, virtualSeconds);
    out += buffer;
    std::string logs;
    for (const auto& [level, count] : logLines) logs += " " + level + " " + std::to_string(count);
    std::string alive;
    for (const auto& [kind, count] : survivors) alive += " " + kind + " " + std::to_string(count);
    out += "banners alive after release:" + (alive.empty() ? std::string(" none") : alive) + "\n";
    out += "log lines:" + (logs.empty() ? std::string(" none") : logs) + "\n";
    for (const auto& example : tally.examples()) out += "  " + example + "\n";
    return out;
}

} // namespace chaos
