// A crowd of refreshing banners at a 1,024-descriptor limit: 1,000 banners, each its own ad unit, loaded
// together against the local ad server, whose ads ask for a refresh every 30 s. Two runs, each in a child
// process of its own (the network engine reads the descriptor limit once, as it starts):
// - no_trackers: the creative sends nothing;
// - hanging_trackers: the creative's page sends 16 tracking messages (httpTrack) as it loads, which the SDK
//   sends as the page's pings, to a host that takes the connection and never answers. With every banner's
//   ads, 16,000 such pings are admitted at a time (each ad's floor), nearly all of them waiting for a place.
// Per run:
// - banner_crowd_first_ads_done_s_<run>: from the first loadRequest until every banner has had its first
//   ad or failed (banner_crowd_first_ads_received_<run>, banner_crowd_first_ads_failed_<run>), and the
//   main thread's processor time meanwhile (what is left of the wall time it spent waiting);
// - banner_crowd_refresh_gap_{median,p99,max}_s_<run>: the time between consecutive ads received by one
//   banner, over all banners, for RUZAVE_BENCH_CROWD_SECONDS (150 when unset) after the first ads are
//   done; banner_crowd_refresh_open_wait_max_s_<run>: the longest a banner had gone without an ad when the
//   run ended (a banner that stopped refreshing shows there, not among the gaps);
// - the refreshes that failed, the most pings admitted at once and the connections the tracker host took.
// Then banner_crowd_*_ratio: the hanging run's figure over the quiet run's.
// Quick runs (BenchQuick.h): 10 banners refreshing every second for 3 s.
#include <curl/curl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "bench/BenchDirectFetcher.h"
#include "bench/BenchQuick.h"
#include "platform/base/Log.h"
#include "platform/base/URL.h"
#include "platform/foundation/Sandbox.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/CorePage.h"
#include "tools/adserver/SilentServer.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"

namespace {

using bench::SteadyClock;
using Seconds = std::chrono::duration<double>;

const int kBanners = bench::quickOr(1000, 10);
constexpr int kTrackersPerAd = 16;
const std::string kRefreshSeconds = bench::quickOr<std::string>("30", "1");
constexpr rlim_t kDescriptors = 1024;
const double kFirstAdsGiveUpSeconds = bench::quickOr(300.0, 60.0);
const char* const kUnitPrefix = "ruzave-bench/crowd-";
const char* const kWarmUnit = "ruzave-bench/crowd-warm";
// Takes connections and never answers: a SilentServer behind it, on both ports. Over http a tracker's
// request is written and its head never comes; RUZAVE_BENCH_CROWD_SCHEME=https makes its handshake the
// part that never ends instead.
const char* const kTrackerHost = "hang.trackers.example";

std::string trackerScheme() {
    const char* value = std::getenv("RUZAVE_BENCH_CROWD_SCHEME");
    return value != nullptr && std::string(value) == "https" ? "https" : "http";
}

double crowdSeconds() {
    if (bench::quick()) return 3;
    const char* value = std::getenv("RUZAVE_BENCH_CROWD_SECONDS");
    char* end = nullptr;
    const double seconds = value != nullptr ? std::strtod(value, &end) : 0;
    return value != nullptr && end != value && seconds > 0 ? seconds : 150;
}

// What a run hands back to the parent, through a pipe.
struct Figures {
    bool measured = false;
    double firstAdsDoneS = -1;
    double firstAdsMainThreadS = -1;
    int received = 0;
    int failed = 0;
    int unended = 0;
    double gapMedianS = -1;
    double gapP99S = -1;
    double gapMaxS = -1;
    std::size_t gaps = 0;
    double openWaitMaxS = -1;
    std::size_t refreshFailures = 0;
    std::size_t mostPingsAdmitted = 0;
    std::size_t trackerConnections = 0;
};

// One banner's ads and failures, with when they came.
struct Heard : ruzave::GADBannerViewDelegate {
    std::vector<SteadyClock::time_point> ads;
    std::size_t failures = 0;
    std::optional<SteadyClock::time_point> firstEnded;
    bool firstFailed = false;
    void adViewDidReceiveAd(ruzave::GADBannerView&) override {
        const auto now = SteadyClock::now();
        ads.push_back(now);
        if (!firstEnded) firstEnded = now;
    }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error&) override {
        ++failures;
        if (!firstEnded) {
            firstEnded = SteadyClock::now();
            firstFailed = true;
        }
    }
};

// A 320x50 creative that, once loaded, sends `trackers` tracking messages naming the tracker host.
std::string creative(const std::string& unit, int trackers) {
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head>\n"
                       "<body style=\"margin:0;background-color:#1a73e8\">\n"
                       "<div style=\"width:320px;height:50px;color:#ffffff\">Banner of " +
                       unit + "</div>\n";
    if (trackers > 0) {
        html += "<script>window.addEventListener('load', function () {\n"
                "  var stamp = new Date().getTime();\n"
                "  for (var i = 0; i < " +
                std::to_string(trackers) +
                "; i++) {\n"
                "    location.href = 'gmsg://mobileads.ruzave.example/httpTrack?u=' + encodeURIComponent("
                "'" + trackerScheme() + "://" +
                std::string(kTrackerHost) + "/t?u=" + platform::percentEncode(unit) +
                "&s=' + stamp + '&i=' + i);\n"
                "  }\n"
                "});</script>\n";
    }
    return html + "</body></html>\n";
}

double threadCPUSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The nearest-rank `p` quantile of `sorted` (in order); -1 when there are none.
double quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return -1;
    return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5)];
}

// Sets the soft descriptor limit before the network engine first runs (it reads it as it starts, once),
// starts the engine, and lifts the limit again: the servers this process plays for the app, which a phone
// reaches elsewhere, then take none of the descriptors the engine counts on. False when the hard limit is
// lower.
bool limitDescriptors(rlim_t limit) {
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    const rlim_t was = descriptors.rlim_cur;
    descriptors.rlim_cur = std::min<rlim_t>(limit, descriptors.rlim_max);
    setrlimit(RLIMIT_NOFILE, &descriptors);
    if (descriptors.rlim_cur < limit) return false;
    platform::NetworkEngine::shared();
    descriptors.rlim_cur = std::max(was, limit);
    setrlimit(RLIMIT_NOFILE, &descriptors);
    return true;
}

// The silent listener keeps every connection it took in its accept queue, closed ones included, and the
// queue has an end: those made more than a ping's life ago (and a margin) are dropped, as their clients
// have long given up. The queue is in order, so counting is enough.
class BacklogSweeper {
  public:
    explicit BacklogSweeper(adserver::SilentServer& silent) : silent_(silent) {}
    void sweep() {
        const auto now = SteadyClock::now();
        const std::size_t made = silent_.waitingConnections() + dropped_;
        most_ = std::max(most_, made);
        samples_.emplace_back(now, made);
        const auto old = now - std::chrono::seconds(45);
        std::size_t madeBefore = 0;
        while (!samples_.empty() && samples_.front().first <= old) {
            madeBefore = samples_.front().second;
            samples_.pop_front();
        }
        while (dropped_ < madeBefore && silent_.dropOne()) ++dropped_;
    }
    // Connections the tracker host took so far.
    std::size_t made() const { return std::max(most_, silent_.waitingConnections() + dropped_); }

  private:
    adserver::SilentServer& silent_;
    std::deque<std::pair<SteadyClock::time_point, std::size_t>> samples_;
    std::size_t dropped_ = 0;
    std::size_t most_ = 0;
};

Figures crowd(int trackers, std::string* why) {
    Figures figures;
    if (!limitDescriptors(kDescriptors)) {
        *why = "the hard descriptor limit is below " + std::to_string(kDescriptors);
        return figures;
    }
    demo::DemoServer::Options options;
    options.adUnitID = kWarmUnit;
    auto server = demo::DemoServer::start(options, why);
    auto silent = adserver::SilentServer::start();
    if (!server || !silent) {
        if (why->empty()) *why = "the tracker host did not start";
        return figures;
    }
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->addHostMapping(kTrackerHost, 80, "127.0.0.1", silent->port());
    config->addHostMapping(kTrackerHost, 443, "127.0.0.1", silent->port());

    // Every banner's ad unit gets an ad URL from the core page, and a creative of its own behind it.
    adserver::CorePageScenario scenario;
    scenario.host = ruzave::GADHosts::kSDKCoreHost;
    scenario.path = ruzave::GADHosts::kSDKCorePagePath;
    scenario.adBase = std::string("https://") + ruzave::GADHosts::kAdServerHost;
    for (int i = 0; i < kBanners; ++i)
        scenario.slots[kUnitPrefix + std::to_string(i)] =
            adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    scenario.slots[kWarmUnit] = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    scenario.fallback = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::Invalid);
    scenario.constants = server->constants();
    adserver::installCorePage(server->server(), scenario);
    adserver::StandardAd base = options.ad;
    server->server().routeHost(ruzave::GADHosts::kAdServerHost, demo::DemoServer::kAdPath,
                               [base, trackers](const adserver::Request& request) {
                                   adserver::StandardAd ad = base;
                                   const std::string unit = request.param("slotname");
                                   // The warming banner stays out of the crowd: no refresh, no trackers.
                                   const bool warm = unit == kWarmUnit;
                                   ad.refreshRate = warm ? "" : kRefreshSeconds;
                                   ad.html = creative(unit, warm ? 0 : trackers);
                                   return adserver::standardAdResponse(ad);
                               });

    demo::DemoTimeline timeline;
    auto warmDelegate = std::make_shared<demo::DemoBannerDelegate>(timeline);
    auto app = demo::DemoHostApp::launch(kWarmUnit, warmDelegate, why);
    if (!app) return figures;
    auto& loop = platform::MainLoop::main();
    // The cold load brings the core page.
    app->loadAd();
    loop.runUntil([&] { return warmDelegate->receivedCount() + warmDelegate->failedCount() > 0; }, 60);
    if (warmDelegate->receivedCount() == 0) {
        *why = "the first banner did not load";
        return figures;
    }

    // In the window, below one another: a banner refreshes only while it is in a window.
    std::vector<std::shared_ptr<ruzave::GADBannerView>> banners;
    std::vector<std::shared_ptr<Heard>> heard;
    for (int i = 0; i < kBanners; ++i) {
        auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner,
                                                            platform::Point{0, 80 + 50.0f * static_cast<float>(i)});
        if (!banner) {
            *why = "a banner view could not be made";
            return figures;
        }
        heard.push_back(std::make_shared<Heard>());
        banner->setAdUnitID(kUnitPrefix + std::to_string(i));
        banner->setRootViewController(app->rootViewController());
        banner->setDelegate(heard.back());
        app->rootViewController()->view()->addSubview(banner);
        banners.push_back(std::move(banner));
    }

    BacklogSweeper sweeper(*silent);
    auto& engine = platform::NetworkEngine::shared();
    auto watch = [&] {
        sweeper.sweep();
        figures.mostPingsAdmitted = std::max(figures.mostPingsAdmitted, engine.pingCounts().admitted);
    };
    const double cpuStarted = threadCPUSeconds();
    const auto started = SteadyClock::now();
    for (auto& banner : banners) banner->loadRequest(ruzave::GADRequest::request());
    auto allEnded = [&] {
        return std::all_of(heard.begin(), heard.end(), [](const auto& h) { return h->firstEnded.has_value(); });
    };
    while (!allEnded() && SteadyClock::now() - started < Seconds(kFirstAdsGiveUpSeconds)) {
        loop.runUntil(allEnded, 0.5);
        watch();
    }
    figures.firstAdsMainThreadS = threadCPUSeconds() - cpuStarted;
    SteadyClock::time_point lastFirst = started;
    for (const auto& h : heard) {
        if (!h->firstEnded) {
            ++figures.unended;
            continue;
        }
        lastFirst = std::max(lastFirst, *h->firstEnded);
        (h->firstFailed ? figures.failed : figures.received) += 1;
    }
    figures.firstAdsDoneS = figures.unended > 0 ? -1 : Seconds(lastFirst - started).count();

    const auto end = SteadyClock::now() + Seconds(crowdSeconds());
    while (SteadyClock::now() < end) {
        loop.runUntil([] { return false; }, 0.5);
        watch();
    }
    const auto ended = SteadyClock::now();

    std::vector<double> gaps;
    for (const auto& h : heard) {
        for (std::size_t k = 1; k < h->ads.size(); ++k) gaps.push_back(Seconds(h->ads[k] - h->ads[k - 1]).count());
        const auto since = h->ads.empty() ? started : h->ads.back();
        figures.openWaitMaxS = std::max(figures.openWaitMaxS, Seconds(ended - since).count());
        figures.refreshFailures += h->failures - (h->firstFailed ? 1 : 0);
    }
    std::sort(gaps.begin(), gaps.end());
    figures.gaps = gaps.size();
    figures.gapMedianS = quantile(gaps, 0.5);
    figures.gapP99S = quantile(gaps, 0.99);
    figures.gapMaxS = quantile(gaps, 1);
    figures.trackerConnections = sweeper.made();
    figures.measured = true;
    return figures;
}

void print(const char* run, const Figures& f) {
    std::printf("banner_crowd_first_ads_done_s_%s: %.2f s\n", run, f.firstAdsDoneS);
    std::printf("banner_crowd_first_ads_main_thread_cpu_s_%s: %.2f s\n", run, f.firstAdsMainThreadS);
    std::printf("banner_crowd_first_ads_received_%s: %d of %d banners\n", run, f.received, kBanners);
    std::printf("banner_crowd_first_ads_failed_%s: %d of %d banners\n", run, f.failed, kBanners);
    if (f.unended > 0) std::printf("banner_crowd_first_ads_unended_%s: %d of %d banners\n", run, f.unended, kBanners);
    std::printf("banner_crowd_refresh_gap_median_s_%s: %.2f s\n", run, f.gapMedianS);
    std::printf("banner_crowd_refresh_gap_p99_s_%s: %.2f s\n", run, f.gapP99S);
    std::printf("banner_crowd_refresh_gap_max_s_%s: %.2f s\n", run, f.gapMaxS);
    std::printf("banner_crowd_refresh_gaps_%s: %zu gaps\n", run, f.gaps);
    std::printf("banner_crowd_refresh_open_wait_max_s_%s: %.2f s\n", run, f.openWaitMaxS);
    std::printf("banner_crowd_refresh_failures_%s: %zu refreshes\n", run, f.refreshFailures);
    std::printf("banner_crowd_pings_admitted_max_%s: %zu pings\n", run, f.mostPingsAdmitted);
    std::printf("banner_crowd_tracker_connections_%s: %zu connections\n", run, f.trackerConnections);
}

// One run in a child process of its own, forked before this one starts any thread: it prints its figures
// and hands them back. Its servers are left standing at its exit, as its banners' pings still hang on them.
std::optional<Figures> inChild(const char* run, int trackers) {
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string pattern = std::string("/tmp/ruzave-bench-banner-crowd-") + run + "-XXXXXX";
        std::vector<char> home(pattern.begin(), pattern.end());
        home.push_back('\0');
        Figures figures;
        std::string why = "no temporary folder for the app home";
        const bool made = ::mkdtemp(home.data()) != nullptr;
        if (made) {
            why.clear();
            ::setenv("RUZAVE_APP_HOME", home.data(), 1);
            platform::setLogLevel(platform::LogLevel::Warning);
            curl_global_init(CURL_GLOBAL_DEFAULT);
            figures = crowd(trackers, &why);
        }
        if (figures.measured)
            print(run, figures);
        else
            std::printf("banner_crowd_first_ads_done_s_%s: %s, no figure\n", run, why.c_str());
        std::fflush(stdout);
        const bool written = ::write(fds[1], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
        if (made) platform::Sandbox::removeItem(home.data());
        std::_Exit(written && figures.measured ? 0 : 1);
    }
    ::close(fds[1]);
    Figures figures;
    const bool read = child > 0 && ::read(fds[0], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    ::close(fds[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    if (!read || !figures.measured) return std::nullopt;
    return figures;
}

void printRatio(const char* name, double hanging, double none) {
    if (hanging > 0 && none > 0)
        std::printf("banner_crowd_%s_ratio: %.2f ratio (hanging trackers / none)\n", name, hanging / none);
    else
        std::printf("banner_crowd_%s_ratio: a run has no figure, no ratio\n", name);
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const auto none = inChild("no_trackers", 0);
    const auto hanging = inChild("hanging_trackers", kTrackersPerAd);
    if (!none || !hanging) {
        std::printf("banner_crowd_first_ads_done_ratio: a run has no figure, no ratio\n");
        return 1;
    }
    printRatio("first_ads_done", hanging->firstAdsDoneS, none->firstAdsDoneS);
    printRatio("refresh_gap_median", hanging->gapMedianS, none->gapMedianS);
    printRatio("refresh_gap_p99", hanging->gapP99S, none->gapP99S);
    printRatio("refresh_gap_max", hanging->gapMaxS, none->gapMaxS);
    const bool complete = none->unended == 0 && hanging->unended == 0;
    return complete ? 0 : 1;
}
