// The app's own requests against what its ad creatives load, end to end: the SDK against the local ad
// server over TLS in this process, on the real clock, each measurement with a fresh server. A host that
// hangs is the server's own route that never answers (while anyone waits for it), or, for hosts of a
// creative's own, a listener that never answers. The process runs under a soft limit of 1,024
// descriptors, a phone's and Linux's common default. Arguments pick measurements (default all: a b c d e);
// `--cycles=N` (or APP_ISOLATION_CYCLES) sets the refresh cycles of c (default 3).
//
// a. A banner whose every creative adds 8 images on the ad host that never answer; then trickling
//    (answered a byte every 3 s). For 3 ad requests made after the images are under way, the time from
//    loadRequest to the server hearing the request:
//      app_request_behind_{hanging,trickling}_images_max_ms, and _unheard: those not heard in 65 s.
// b. 5 runs: a banner whose creative hangs 8 images on the ping host, then a tap on its link; the time
//    from the tap to the server hearing the click ping:
//      click_ping_behind_hanging_images_max_ms; _late: heard after more than a second; _lost: not in 65 s.
// c. 20 banners refreshing every 30 s and 4 interstitials, each creative adding 3 images on the ad host
//    answered after 20 s (then 2 s), with impression and click trackers on the ad host; every ad is
//    clicked once, 5 s after its first load (the click the SDK pings after a tap):
//      slow_images_{20,2}s_refresh_interval_{mean,min,max}_s: between a banner's ad requests at the server;
//      _impression_ping_late_{median,max}_ms: from adViewDidReceiveAd to the server hearing its tracker;
//      _click_ping_late_{median,max}_ms: from the click; _impression_pings_lost, _click_pings_lost: not
//      heard by 65 s after the run (the banners hidden, so that they refresh no more);
//      _ads_never_loaded: ads that did not come in the run (nor had a click).
// d. Twelve banners, loaded one after another, whose creatives hang 128 images each on 32 hosts of their
//    own: hanging_pages_descriptors (/proc/self/fd once settled), hanging_pages_loaded (of 12), and
//    hanging_pages_next_ad_ms (loadRequest to adViewDidReceiveAd of one more banner) or why it failed.
// e. One creative adds 1,000 images on 20 hanging hosts, takes each out of the document, then adds an
//    impression pixel on the ping host: pixel_behind_1000_dropped_loads_sent (0 or 1), and its _ms from
//    the page's last image to the server hearing the pixel.
#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "bench/BenchDirectFetcher.h"
#include "bench/BenchIsolation.h"
#include "platform/base/URL.h"
#include "tools/adserver/AdResponses.h"
#include "bench/BenchQuick.h"

namespace {

using namespace bench;
using ruzave::GADHosts;

constexpr const char* kHangPath = "/hang.png";
constexpr const char* kTricklePath = "/trickle.png";
constexpr const char* kSlowPath = "/slow.png";
constexpr rlim_t kDescriptorLimit = 1024;

// The image routes: trickling a byte every 3 s; the slow ones answered after `slowDelay`.
Stage::Routes imageRoutes(std::chrono::milliseconds slowDelay = {}) {
    return {.hangPath = kHangPath,
            .tricklePath = kTricklePath,
            .trickleEvery = std::chrono::seconds(3),
            .slowPath = kSlowPath,
            .slowDelay = slowDelay};
}

// What the process holds open now. The listing stays open from the start: at the limit, no descriptor
// would be left to open it with.
std::size_t openDescriptors() {
    static DIR* listing = ::opendir("/proc/self/fd");
    if (listing == nullptr) return 0;
    ::rewinddir(listing);
    std::size_t count = 0;
    while (const dirent* entry = ::readdir(listing))
        if (entry->d_name[0] != '.') ++count;
    return count - 1; // the listing's own
}

// A creative of 320x50 adding `count` images at `path` on `host`, numbered and marked with the request.
adserver::StandardAd imageAd(const adserver::Request& request, const std::string& host,
                             const std::string& path, int count) {
    adserver::ImageCreative creative;
    for (int i = 0; i < count; ++i)
        creative.imageURLs.push_back(https(host, path + "?ai=" + request.param("slotname") + "-" +
                                                     request.param("request_id") +
                                                     "&n=" + std::to_string(i)));
    creative.linkURL = kLandingURL;
    adserver::StandardAd ad;
    ad.html = adserver::imageCreativeHTML(creative);
    ad.refreshRate.clear();
    return ad;
}

// --- a ----------------------------------------------------------------------------------------------

constexpr int kImagesOnAdHost = 8;
constexpr int kRequestsBehindImages = 3;

bool measureRequestsBehindImages(App& app, const std::string& name, const char* imagePath) {
    auto stage = Stage::start(imageRoutes(), [imagePath](const adserver::Request& request, int) {
        return imageAd(request, GADHosts::kAdServerHost, imagePath, kImagesOnAdHost);
    });
    const std::string figure = "app_request_behind_" + name + "_images";
    if (!stage) {
        noFigure(figure + "_max_ms", "the local server did not start");
        return false;
    }
    auto banner = place(app, "isolation-" + name);
    banner.view->loadRequest(ruzave::GADRequest::request());
    if (!runUntil([&] { return !banner.watch->receivedAt.empty(); }, kGiveUpSeconds)) {
        noFigure(figure + "_max_ms", "the first ad did not load");
        release(banner);
        return false;
    }
    double slowest = -1;
    std::size_t unheard = 0;
    for (int k = 1; k <= kRequestsBehindImages; ++k) {
        // The shown creative's images are under way (as many as its host lets run) before the next request.
        const std::string shown = "ai=" + banner.view->adUnitID() + "-" + banner.watch->receivedIDs.back();
        runUntil(
            [&] {
                std::size_t n = 0;
                for (const auto& r : stage->heard(imagePath, GADHosts::kAdServerHost))
                    n += r.query.find(shown) == 0;
                return n >= 6;
            },
            10);
        const std::size_t outcomes = banner.watch->outcomes();
        const auto made = SteadyClock::now();
        banner.view->loadRequest(ruzave::GADRequest::request());
        if (runUntil([&] { return stage->server().requestCount(kAdPath) > static_cast<std::size_t>(k); },
                     kGiveUpSeconds)) {
            slowest =
                std::max(slowest, msBetween(made, stage->heardAt(stage->server().requests(kAdPath).back())));
        } else {
            ++unheard;
        }
        runUntil([&] { return banner.watch->outcomes() > outcomes; }, kGiveUpSeconds);
        if (banner.watch->receivedAt.empty() || banner.watch->outcomes() == outcomes) break;
    }
    if (slowest < 0) {
        noFigure(figure + "_max_ms", "none heard");
    } else {
        printMs(figure + "_max_ms", slowest);
    }
    printCount(figure + "_unheard", unheard, kRequestsBehindImages);
    release(banner);
    return true;
}

// --- b ----------------------------------------------------------------------------------------------

const int kClickRuns = bench::quickOr(5, 1);

bool measureClickPings(App& app) {
    auto stage = Stage::start(imageRoutes(), [](const adserver::Request& request, int) {
        adserver::StandardAd ad = imageAd(request, GADHosts::kPingHost, kHangPath, kImagesOnAdHost);
        ad.clickURLs = {
            https(GADHosts::kPingHost, std::string(kClickPath) + "?ai=" + request.param("slotname"))};
        return ad;
    });
    const std::string figure = "click_ping_behind_hanging_images";
    if (!stage) {
        noFigure(figure + "_max_ms", "the local server did not start");
        return false;
    }
    double slowest = 0;
    std::size_t late = 0, lost = 0;
    for (int run = 0; run < kClickRuns; ++run) {
        const std::string unit = "isolation-click-" + std::to_string(run);
        auto banner = place(app, unit);
        const std::size_t imagesBefore = stage->heard(kHangPath, GADHosts::kPingHost).size();
        banner.view->loadRequest(ruzave::GADRequest::request());
        if (!runUntil([&] { return !banner.watch->receivedAt.empty(); }, kGiveUpSeconds)) {
            noFigure(figure + "_max_ms", "an ad did not load");
            release(banner);
            return false;
        }
        runUntil([&] { return stage->heard(kHangPath, GADHosts::kPingHost).size() >= imagesBefore + 6; }, 10);
        runFor(0.2); // a tap sooner after the load would be taken for part of it
        const auto tapped = SteadyClock::now();
        banner.tap(app);
        auto clicks = [&] {
            std::vector<adserver::Request> out;
            for (auto& r : stage->heard(kClickPath, GADHosts::kPingHost))
                if (r.param("ai") == unit) out.push_back(std::move(r));
            return out;
        };
        if (runUntil([&] { return !clicks().empty(); }, kGiveUpSeconds)) {
            const double ms = msBetween(tapped, stage->heardAt(clicks().front()));
            slowest = std::max(slowest, ms);
            late += ms > 1000 ? 1 : 0;
        } else {
            ++lost;
        }
        release(banner);
        runFor(0.5);
    }
    printMs(figure + "_max_ms", slowest);
    printCount(figure + "_late", late, kClickRuns);
    printCount(figure + "_lost", lost, kClickRuns);
    return true;
}

// --- c ----------------------------------------------------------------------------------------------

const int kRefreshingBanners = bench::quickOr(20, 3);
const int kInterstitials = bench::quickOr(4, 1);
constexpr int kSlowImagesPerCreative = 3;
constexpr double kRefreshSeconds = 30;
constexpr double kClickAfterSeconds = 5;

// The "ai" of the click trackers a click on `slot` pings now: those of the ad it shows, whichever
// request that answered. Empty when it shows none.
std::string clickedAI(const ruzave::GADSlot& slot) {
    const auto ad = slot.ad();
    if (!ad) return {};
    for (const auto& url : ad->clickURLs())
        for (const auto& [name, value] : platform::parseQuery(url.query().value_or("")))
            if (name == "ai") return value;
    return {};
}

struct Lateness {
    std::vector<double> ms;
    std::size_t lost = 0;
    void print(const std::string& figure) const {
        printMs(figure + "_median_ms", median(ms));
        printMs(figure + "_max_ms", ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()));
    }
};

bool measureSlowImages(App& app, int slowSeconds, int cycles) {
    const std::string figure = "slow_images_" + std::to_string(slowSeconds) + "s";
    auto stage = Stage::start(
        imageRoutes(std::chrono::seconds(slowSeconds)), [](const adserver::Request& request, int) {
            const std::string unit = request.param("slotname");
            adserver::StandardAd ad =
                imageAd(request, GADHosts::kAdServerHost, kSlowPath, kSlowImagesPerCreative);
            const std::string ai = "?ai=" + unit + "-" + request.param("request_id");
            ad.impressionURLs = {https(GADHosts::kAdServerHost, kImpressionPath + ai)};
            ad.clickURLs = {https(GADHosts::kAdServerHost, kClickPath + ai)};
            if (unit.find("interstitial") != std::string::npos) {
                ad.adSize.clear();
            } else {
                ad.refreshRate = std::to_string(static_cast<int>(kRefreshSeconds));
            }
            return ad;
        });
    if (!stage) {
        noFigure(figure + "_refresh_interval_mean_s", "the local server did not start");
        return false;
    }

    std::vector<PlacedBanner> banners;
    for (int i = 0; i < kRefreshingBanners; ++i)
        banners.push_back(
            place(app, "isolation-banner-" + std::to_string(i), 20 + 50.0f * static_cast<float>(i)));
    struct Interstitial {
        std::string unit;
        std::shared_ptr<ruzave::GADInterstitial> ad;
        std::shared_ptr<InterstitialWatch> watch = std::make_shared<InterstitialWatch>();
        std::optional<SteadyClock::time_point> seenAt;
    };
    std::vector<Interstitial> interstitials(kInterstitials);
    const auto started = SteadyClock::now();
    for (auto& b : banners)
        b.view->loadRequest(ruzave::GADRequest::request());
    for (int j = 0; j < kInterstitials; ++j) {
        auto& i = interstitials[static_cast<std::size_t>(j)];
        i.unit = "isolation-interstitial-" + std::to_string(j);
        i.ad = ruzave::GADInterstitial::initWithAdUnitID(i.unit);
        i.ad->setDelegate(i.watch);
        i.ad->loadRequest(ruzave::GADRequest::request());
    }

    // Each ad is clicked once, kClickAfterSeconds after its first load, while its images are still coming;
    // the click goes to the trackers of the ad up then, and is awaited under their "ai".
    std::map<std::string, SteadyClock::time_point> clickedAt; // by the tracker's "ai"
    std::set<std::string> clickedUnits;
    const double clickAfterMs = kClickAfterSeconds * 1000;
    auto click = [&](const std::string& unit, ruzave::GADSlot& slot, SteadyClock::time_point now) {
        const std::string ai = clickedAI(slot);
        if (ai.empty()) return;
        clickedUnits.insert(unit);
        clickedAt.emplace(ai, now);
        slot.pingClickURLs();
    };
    while (msSince(started) < (kRefreshSeconds * cycles + 5) * 1000) {
        runFor(0.1);
        const auto now = SteadyClock::now();
        for (auto& b : banners) {
            const std::string unit = b.view->adUnitID();
            const auto& seen = b.watch->receivedAt;
            if (seen.empty() || clickedUnits.count(unit) || msBetween(seen.front(), now) < clickAfterMs)
                continue;
            click(unit, *b.view->slot(), now);
        }
        for (auto& i : interstitials) {
            if (!i.watch->receivedAt || clickedUnits.count(i.unit)) continue;
            if (!i.seenAt) i.seenAt = now;
            if (msBetween(*i.seenAt, now) < clickAfterMs) continue;
            click(i.unit, *i.ad->slot(), now);
        }
    }
    // No more refreshes: what was shown has its pings out by now, or never will.
    const auto ended = SteadyClock::now();
    for (auto& b : banners)
        b.view->setHidden(true);
    runFor(bench::quickOr(kGiveUpSeconds, 10.0));

    // Refresh intervals, from the server's own times of each banner's requests.
    std::map<std::string, std::vector<double>> requestTimes;
    for (const auto& r : stage->heard(kAdPath, GADHosts::kAdServerHost))
        requestTimes[r.param("slotname")].push_back(r.time);
    std::vector<double> intervals;
    for (const auto& [unit, times] : requestTimes) {
        if (unit.find("banner") == std::string::npos) continue;
        for (std::size_t k = 1; k < times.size(); ++k)
            intervals.push_back(times[k] - times[k - 1]);
    }
    // Pings, matched to what they were for by their "ai".
    auto heardByAI = [&](const char* path) {
        std::map<std::string, SteadyClock::time_point> first;
        for (const auto& r : stage->heard(path, GADHosts::kAdServerHost))
            first.emplace(r.param("ai"), stage->heardAt(r));
        return first;
    };
    const auto impressions = heardByAI(kImpressionPath);
    const auto clicks = heardByAI(kClickPath);
    Lateness impressionLate, clickLate;
    std::size_t loads = 0;
    for (const auto& b : banners) {
        for (std::size_t k = 0; k < b.watch->receivedAt.size() && b.watch->receivedAt[k] < ended; ++k) {
            ++loads;
            auto heard = impressions.find(b.view->adUnitID() + "-" + b.watch->receivedIDs[k]);
            if (heard == impressions.end()) {
                ++impressionLate.lost;
                std::fprintf(stderr, "%s: the impression ping for %s-%s was never heard\n", figure.c_str(),
                             b.view->adUnitID().c_str(), b.watch->receivedIDs[k].c_str());
            } else {
                impressionLate.ms.push_back(msBetween(b.watch->receivedAt[k], heard->second));
            }
        }
    }
    for (const auto& [ai, at] : clickedAt) {
        auto heard = clicks.find(ai);
        if (heard == clicks.end()) {
            ++clickLate.lost;
            std::fprintf(stderr, "%s: the click ping for %s was never heard\n", figure.c_str(), ai.c_str());
        } else {
            clickLate.ms.push_back(msBetween(at, heard->second));
        }
    }

    for (const auto& [ai, at] : clicks)
        if (!clickedAt.count(ai)) std::fprintf(stderr, "%s: a click ping for %s was heard unasked\n", figure.c_str(), ai.c_str());
    double sum = 0;
    for (double s : intervals)
        sum += s;
    std::printf("%s_refresh_interval_mean_s: %.2f s\n", figure.c_str(),
                intervals.empty() ? 0 : sum / intervals.size());
    std::printf("%s_refresh_interval_min_s: %.2f s\n", figure.c_str(),
                intervals.empty() ? 0 : *std::min_element(intervals.begin(), intervals.end()));
    std::printf("%s_refresh_interval_max_s: %.2f s\n", figure.c_str(),
                intervals.empty() ? 0 : *std::max_element(intervals.begin(), intervals.end()));
    impressionLate.print(figure + "_impression_ping_late");
    clickLate.print(figure + "_click_ping_late");
    printCount(figure + "_impression_pings_lost", impressionLate.lost, loads);
    printCount(figure + "_click_pings_lost", clickLate.lost, clickedAt.size());
    std::size_t neverLoaded = 0;
    for (const auto& b : banners)
        neverLoaded += b.watch->receivedAt.empty() || b.watch->receivedAt.front() >= ended;
    for (const auto& i : interstitials)
        neverLoaded += !i.seenAt;
    printCount(figure + "_ads_never_loaded", neverLoaded, kRefreshingBanners + kInterstitials);

    for (auto& b : banners)
        release(b);
    for (auto& i : interstitials)
        i.ad->setDelegate(std::weak_ptr<ruzave::GADInterstitialDelegate>());
    interstitials.clear();
    runFor(0.5);
    return true;
}

// --- d ----------------------------------------------------------------------------------------------

constexpr int kHangingPages = 12;
constexpr int kHostsPerPage = 32;
constexpr int kLoadsPerHost = 4;

bool measureHangingPages(App& app) {
    auto stage = Stage::start(imageRoutes(), [](const adserver::Request& request, int) {
        adserver::ImageCreative creative;
        const std::string unit = request.param("slotname");
        if (unit.rfind("isolation-silent-", 0) == 0)
            creative = hangingPageCreative(std::atoi(unit.c_str() + 17), kHostsPerPage, kLoadsPerHost);
        adserver::StandardAd ad;
        ad.html = adserver::imageCreativeHTML(creative);
        ad.refreshRate.clear();
        return ad;
    });
    if (!stage) {
        noFigure("hanging_pages_descriptors", "the local server did not start");
        return false;
    }
    for (int p = 0; p < kHangingPages; ++p)
        for (int h = 0; h < kHostsPerPage; ++h)
            stage->mapSilentHost(silentHost(p, h));

    std::vector<PlacedBanner> pages;
    std::size_t loaded = 0;
    for (int p = 0; p < kHangingPages; ++p) {
        pages.push_back(place(app, "isolation-silent-" + std::to_string(p)));
        auto& page = pages.back();
        page.view->loadRequest(ruzave::GADRequest::request());
        runUntil([&] { return page.watch->outcomes() > 0; }, kGiveUpSeconds);
        loaded += page.watch->receivedAt.empty() ? 0 : 1;
    }
    // Descriptors grow while the loads connect: the figure is where they settle.
    std::size_t held = openDescriptors();
    for (int quiet = 0, round = 0; quiet < 20 && round < 300; ++round) {
        runFor(0.1);
        const std::size_t now = openDescriptors();
        quiet = now > held ? 0 : quiet + 1;
        held = std::max(held, now);
    }
    printCount("hanging_pages_descriptors", held, kDescriptorLimit);
    printCount("hanging_pages_loaded", loaded, kHangingPages);

    auto next = place(app, "isolation-next");
    const auto made = SteadyClock::now();
    next.view->loadRequest(ruzave::GADRequest::request());
    runUntil([&] { return next.watch->outcomes() > 0; }, kGiveUpSeconds);
    if (!next.watch->receivedAt.empty()) {
        printMs("hanging_pages_next_ad_ms", msBetween(made, next.watch->receivedAt.front()));
    } else {
        noFigure("hanging_pages_next_ad_ms",
                 next.watch->errors.empty() ? "no answer in 65 s" : "failed: " + next.watch->errors.back());
    }
    release(next);
    for (auto& page : pages)
        release(page);
    runFor(0.5);
    return true;
}

// --- e ----------------------------------------------------------------------------------------------

bool measurePixelBehindDroppedLoads(App& app) {
    const std::string pixel = https(GADHosts::kPingHost, "/pagead/pixel?ai=isolation-pixel");
    auto stage = Stage::start(imageRoutes(), [pixel](const adserver::Request&, int) {
        adserver::ImageCreative creative;
        for (int i = 0; i < 1000; ++i)
            creative.imageURLs.push_back(https(silentHost(0, i % 20), "/i.png?n=" + std::to_string(i)));
        creative.removeImages = true;
        creative.imagesPerTurn = 250;
        creative.pixelURL = pixel;
        adserver::StandardAd ad;
        ad.html = adserver::imageCreativeHTML(creative);
        ad.refreshRate.clear();
        return ad;
    });
    const std::string figure = "pixel_behind_1000_dropped_loads";
    if (!stage) {
        noFigure(figure + "_sent", "the local server did not start");
        return false;
    }
    for (int h = 0; h < 20; ++h)
        stage->mapSilentHost(silentHost(0, h));
    auto banner = place(app, "isolation-pixel");
    banner.view->loadRequest(ruzave::GADRequest::request());
    if (!runUntil([&] { return !banner.watch->receivedAt.empty(); }, kGiveUpSeconds)) {
        noFigure(figure + "_sent", "the ad did not load");
        release(banner);
        return false;
    }
    auto adView = banner.view->slot()->adView();
    runUntil([&] { return adView->evaluate("added") == "1000"; }, 10);
    const auto added = SteadyClock::now();
    const bool sent = runUntil([&] { return stage->server().requestCount("/pagead/pixel") > 0; }, 10);
    printCount(figure + "_sent", sent ? 1 : 0, 1);
    if (sent)
        printMs(figure + "_ms",
                msBetween(added, stage->heardAt(stage->server().requests("/pagead/pixel").front())));
    release(banner);
    runFor(0.5);
    return true;
}

// ----------------------------------------------------------------------------------------------------

int cyclesFrom(int argc, char** argv) {
    int cycles = bench::quickOr(3, 1);
    if (const char* env = std::getenv("APP_ISOLATION_CYCLES")) cycles = std::atoi(env);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--cycles=", 0) == 0) cycles = std::atoi(arg.c_str() + 9);
    }
    return std::max(1, cycles);
}

std::set<std::string> measurementsFrom(int argc, char** argv) {
    std::set<std::string> picked;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-') picked.insert(argv[i]);
    if (picked.empty()) picked = {"a", "b", "c", "d", "e"};
    return picked;
}

int fail(const std::string& why) {
    std::printf("app_isolation: %s, no figure\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur > kDescriptorLimit) {
        limit.rlim_cur = kDescriptorLimit;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    openDescriptors();
    const int cycles = cyclesFrom(argc, argv);
    const auto picked = measurementsFrom(argc, argv);
    return bench::runInTemporaryHome(
        "app-isolation",
        [&] {
            App app;
            bool ok = true;
            if (picked.count("a")) {
                ok = measureRequestsBehindImages(app, "hanging", kHangPath) && ok;
                ok = measureRequestsBehindImages(app, "trickling", kTricklePath) && ok;
            }
            if (picked.count("b")) ok = measureClickPings(app) && ok;
            if (picked.count("c")) {
                ok = measureSlowImages(app, 20, cycles) && ok;
                ok = measureSlowImages(app, 2, cycles) && ok;
            }
            if (picked.count("d")) ok = measureHangingPages(app) && ok;
            if (picked.count("e")) ok = measurePixelBehindDroppedLoads(app) && ok;
            return ok ? 0 : 1;
        },
        fail);
}
