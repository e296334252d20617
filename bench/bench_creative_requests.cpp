// What a creative makes the SDK send for it (script messages `httpTrack` and `click`, each naming any
// URL, no tap needed), and what its page's own loads hold, against the app's own requests: ad
// requests, impressions, clicks, its files. End to end, in this process: the SDK against the local ad
// server over TLS on the real clock, a fresh server per measurement, the SDK's hosts mapped to it and
// hosts of a creative's own to a listener that never answers. A URL that hangs is the server's route
// that never answers (while anyone waits for it); one that trickles answers a byte every 20 s, each
// byte keeping the transfer alive. Every measurement runs in a child process of its own (fresh
// singletons, its own descriptor limit, its own peak memory), under a soft limit of 1,024 descriptors
// unless said otherwise; waits give up after 65 s, past the SDK's 60 s timeouts ("unheard").
// Arguments pick measurements (default all: a a-click b c c-ping d e f f128 g h p p-flood p-sku p-sku1k
// release release-beside reload own own-20000 click-trickle click-trickle-20000 click-slow click-slow-20000
// click-soak click-chaos store). A request that failed says after how long, and why, in place of its figure
// or on stderr.
//
// a. A banner's creative sends 12 `httpTrack` (a) or 12 `click` (a-click) messages to a hanging URL on
//    the ad host; then the banner's next ad request:
//      creative_{pings,clicks}_hanging_ad_host_next_ad_request_ms: loadRequest to the server hearing it;
//      _next_ad_received_ms: to adViewDidReceiveAd; _sent: pings the server heard by then, of 12.
// b. 12 `httpTrack` to a hanging URL on the ping host, then a tap on the ad:
//      creative_pings_hanging_ping_host_click_ping_late_ms: the tap to the server hearing the ad's click ping.
// c. 12 `httpTrack` to a trickling URL on the ad host, then 2 ad requests at once (the banner's next
//    and another banner's): creative_pings_trickling_ad_host_ad_requests_{heard,answered,failed} (of 2),
//    _ad_request_max_ms (loadRequest to heard).
//    c-ping: 12 to a trickling URL on the ping host, then another banner loads an ad with an impression
//    and a click tracker on the ping host, tapped when it comes:
//      creative_pings_trickling_ping_host_next_impression_ms (adViewDidReceiveAd to heard), _next_click_ms
//      (tap to heard).
// d. 12 `httpTrack` to a trickling URL on the ad host, the banner released, then a new interstitial:
//      creative_pings_trickling_released_banner_interstitial_request_ms (loadRequest to heard),
//      _interstitial_received_ms (to interstitialDidReceiveAd).
// e. 1,800 `httpTrack` to 300 hanging hosts (6 each): creative_pings_1800_hanging_hosts_1024fd_descriptors_max
//    (sampled every 50 ms for 20 s), _fd_listing_failed (samples at which /proc/self/fd could not be
//    opened), _pings_refused (by the page, of those it sent).
// f. 18,000 `httpTrack` to 300 hanging hosts (60 each), at 1,024 descriptors (f) and at 128 (f128);
//    4 ad requests of other banners made 1, 3, 5 and 7 s into the flood:
//      creative_pings_18000_hanging_hosts_<N>fd_ad_requests_{answered,failed} (of 4), _ad_request_max_ms
//      (loadRequest to adViewDidReceiveAd), _user_defaults_writes_failed (a write and synchronize at each
//      request and at the end, of 5), _too_many_open_files (log lines and errors saying so),
//      _descriptors_max, _peak_resident_mb (VmHWM).
// g. 120 `httpTrack` with 900 KB URLs to 20 hanging hosts, 4 every 250 ms:
//      creative_pings_900kb_urls_peak_resident_mb; _resident_before_mb (before the ad was requested) and
//      _resident_after_mb (10 s after the last was sent).
// h. Three banners whose creatives hang 128 images each (32 hosts of their own, 4 loads each); then one
//    more banner whose markup holds an image on the ping host (its pixel) and whose ad response names an
//    impression tracker there: hanging_images_next_banner_{received,pixel,impression}_ms from its
//    loadRequest, and hanging_images_descriptors once the three pages' loads settled.
// p. The creative opens a purchase (no product: the default purchase flow reports it invalid at once)
//    naming 12 report URLs that hang on the ad host; then the banner's next ad request:
//      creative_purchase_reports_hanging_ad_host_next_ad_request_ms, _next_ad_received_ms.
// p-flood. 100 purchase messages naming 2,000 report URLs each (200,000) on 300 hanging hosts, 10 a
//    turn; 4 ad requests of other banners made 1, 3, 5 and 7 s in:
//      creative_purchase_reports_200000_ad_requests_answered (of 4), _peak_resident_mb (VmHWM).
// p-sku, p-sku1k. One purchase message naming 32 report URLs of 8 KB of `@sku@&`, with a product of 20 KB
//    (p-sku) or 1,024 bytes (p-sku1k): creative_purchase_{20kb,1kb}_id_peak_resident_mb (VmHWM; goal under
//    128 MB), _resident_before_mb, _reports_sent (of 32).
// release. A creative's `click` message taken by the SDK just before its banner's release, three times:
//      creative_click_released_banner_{delivered,latest_ms}.
//    release-beside: 20 banners, 16 of whose creatives hold images on the ad host, each sending two
//    `click` messages, then every banner's next ad: creative_clicks_beside_16_holding_ad_host_{delivered,
//    latest_ms}.
// own / own-20000. Twenty banners whose creatives hold 8 images each on the ad host and send 2
//    `httpTrack` messages to hosts of their own that never answer, each sending two `click` messages to
//    the ad host 8 s in; then each sends two more and its banner loads its next ad at once. At 256
//    descriptors (own) and 20,000 (own-20000): creative_clicks_beside_own_hangs_<N>fd_{delivered,latest_ms}
//    (of 40, message to heard) and _released_{delivered,latest_ms} (the last two of each, of 40).
// reload. A creative that sends 16 `httpTrack` messages to a hanging URL on the ad host and reloads itself
//    at once, again and again, for 30 s: creative_reloading_pings_admitted (the process's pings, of the
//    ad's quota and the view's floor: one ad however often it reloads), _pings_under_way (of the places
//    pings may hold), _documents (loaded in the 30 s), _resident_mb and _peak_resident_mb (VmRSS and VmHWM
//    then), _heap_in_use_mb (what malloc has handed out and not had back), and, once the page has been
//    replaced and its pings' life has passed, _resident_after_deadline_mb, _heap_in_use_after_deadline_mb
//    and _pings_after_life (still admitted). The in-process server's log of requests is emptied every
//    second, so that the figures are the app's and not the server's record of the pings.
// click-trickle, click-slow (at 1,024 descriptors; -20000 at 20,000), click-soak. Twenty banners that
//    refresh every 10 s (the shortest that lets a page live to its clicks), each page sending two `click`
//    messages 8 s after it loaded, one to the ad host and one to the ping host, each carrying when it was
//    made, and a tracker (`httpTrack`) a second for as long as it lives. Its own hosts have servers of their
//    own: trackers trickle (click-trickle: one to a host answering a hundred bytes a second, one to a host
//    answering a byte a second, plain HTTP), or go to a host answering in 8 s beside 4 images on
//    each of a hanging host, a host trickling a byte a second and the 8 s host (click-slow); the soak
//    alternates the two, banner by banner, for RUZAVE_BENCH_SOAK_MINUTES (11 when set to no number; 2 when
//    unset). Quick runs click at 2 s, refresh every 4 s, run 6 s (the soak 15 s). Then the pages stop
//    sending, the banners are released and what they sent is waited for, up to 65 s (10 s in quick runs):
//      creative_click_shapes_<shape>_<N>fd_clicks_made, _clicks_reaching_{ad,ping}_host (of those made to
//      it), _click_latency_{median,max}_ms (made, on the page's clock, to the server reading it),
//      _clicks_past_4s (of those heard; goal none, and every click heard), _slow_trackers_arrived (read by
//      the 8 s host, of those sent; goal all), _trickle_{100,1}bps_trackers_read, _slow_images_read,
//      _trickling_images_read, _hanging_image_connections, _messages_refused_by_page (script messages the
//      page could not send), _refresh_gap_max_ms (between a banner's consecutive ad requests as the server
//      heard them; goal within 1 s of the interval), _refresh_gaps_past_interval_1s, _main_thread_stall_max_ms
//      (the longest a 100 ms wait overshot), _pings_at_end (the engine's counts as the run ends); the soak
//      also _resident_{start,end}_mb, _peak_resident_mb, _heap_in_use_{start,end}_mb and both each minute.
//      The servers' logs are emptied every second; what the figures need is kept apart.
//    click-chaos (at 1,024). The same shape for 200 s (twenty ads of each banner), but each of the twenty
//    pages sends, as it loads, 12 trackers to two hosts that read and never end their head (one server
//    thread for all) and 2 to its host answering in 8 s, and clicks 8 s in as above; beside them four
//    healthy banners, refreshing too, whose pages send nothing but their own two clicks 8 s in and, for
//    each tap, a `click` message to the ad host; the user taps one a second, in turn. Besides the figures
//    above (of the twenty creatives' own clicks): creative_click_shapes_chaos_1024fd_clicks_missing_{ad,
//    ping}_host (of those made), _healthy_clicks_reaching_{ad,ping}_host, _healthy_click_latency_{median,
//    max}_ms, _healthy_taps_made (the taps the pages took, of those given), _healthy_taps_reaching_ad_host,
//    _healthy_tap_latency_{median,max}_ms (made on the page's clock, to read) and _hanging_trackers_read
//    (by the hosts that never answer, of those sent).
// store. A creative asks the SDK to fetch store sheets for 2,000 distinct product ids of 100 KB each,
//    20 a turn 100 ms apart (100 ids, 5 a turn, in quick runs), then waits 2 s:
//    creative_store_sheets_2000_ids_{resident_before_mb, peak_resident_mb (VmHWM), heap_in_use_before_mb,
//    peak_heap_in_use_mb (sampled every 50 ms), sheets_held (the banner's opener's, of the ids sent),
//    ids_sent}; goal well under 60 MB.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/native/GADDefaultInAppPurchase.h"
#include "ads/native/GADDefaultInAppPurchaseDelegate.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"
#include "bench/BenchIsolation.h"
#include "platform/base/Log.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "platform/runloop/Clock.h"
#include "platform/web/WebView.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/TrickleServer.h"
#include "tools/HeapInUse.h"
#include "bench/BenchQuick.h"

namespace {

using namespace bench;
using ruzave::GADHosts;

constexpr const char* kHangPath = "/hang";
constexpr const char* kTricklePath = "/trickle";
constexpr const char* kPixelPath = "/pagead/pixel";
constexpr const char* kPingerUnit = "pinger";
constexpr int kPings = 12;
constexpr std::chrono::seconds kTrickleEvery{20};

// --- The process: its descriptors, memory and log ----------------------------------------------------

rlim_t descriptorLimit = 1024;
int statusFile = -1; // /proc/self/status, open from the start: at the limit none could be opened

// Probed one by one: listing /proc/self/fd needs a descriptor of its own, which may be the one missing.
std::size_t openDescriptors() {
    std::size_t count = 0;
    for (rlim_t fd = 0; fd < descriptorLimit; ++fd)
        count += ::fcntl(static_cast<int>(fd), F_GETFD) != -1 ? 1 : 0;
    return count;
}

// Whether /proc/self/fd can be opened and listed now.
bool descriptorsListable() {
    DIR* listing = ::opendir("/proc/self/fd");
    if (listing == nullptr) return false;
    ::closedir(listing);
    return true;
}

// A field of /proc/self/status in MB ("VmHWM", "VmRSS").
double statusMB(const char* field) {
    char text[8192];
    const ssize_t n = ::pread(statusFile, text, sizeof(text) - 1, 0);
    if (n <= 0) return -1;
    text[n] = '\0';
    const std::string prefix = std::string("\n") + field + ":";
    const char* at = std::strstr(text, prefix.c_str());
    return at == nullptr ? -1 : std::atof(at + prefix.size()) / 1024.0;
}

// What malloc has handed out and not had back, in MB.
double heapInUseMB() {
    return static_cast<double>(tools::heapInUseBytes()) / (1024.0 * 1024.0);
}

std::atomic<int> tooManyFilesLines{0};

// What the click shapes' pages sent, as their consoles said it ("clickshape <what>"): counted as they
// send, however soon after the page is replaced.
struct ShapeSends {
    std::atomic<std::size_t> head{0}, body{0}, slow{0}, hanging{0}, clickAd{0}, clickPing{0}, refused{0},
        imagePages{0}, healthyClickAd{0}, healthyClickPing{0}, tap{0};

    void count(std::string_view what) {
        if (what.starts_with("refused ")) ++refused;
        else if (what == "head") ++head;
        else if (what == "body") ++body;
        else if (what == "slow") ++slow;
        else if (what == "hanging") ++hanging;
        else if (what == "click-ad") ++clickAd;
        else if (what == "click-ping") ++clickPing;
        else if (what == "images") ++imagePages;
        else if (what == "healthy-click-ad") ++healthyClickAd;
        else if (what == "healthy-click-ping") ++healthyClickPing;
        else if (what == "tap") ++tap;
    }
};
ShapeSends shapeSends;

void installLogSink() {
    platform::setLogLevel(platform::LogLevel::Info);
    platform::setLogSink([](platform::LogLevel level, const std::string& line) {
        if (line.find("Too many open files") != std::string::npos) ++tooManyFilesLines;
        constexpr std::string_view shapeMark = "web console: clickshape ";
        if (const auto at = line.find(shapeMark); at != std::string::npos)
            shapeSends.count(std::string_view(line).substr(at + shapeMark.size()));
        if (level >= platform::LogLevel::Warning) std::fprintf(stderr, "%s\n", line.c_str());
    });
}

// --- Printing ---------------------------------------------------------------------------------------

void printMB(const std::string& name, double mb) {
    std::printf("%s: %.1f MB\n", name.c_str(), mb);
}

void unheard(const std::string& name, const std::string& why = "unheard in 65 s") {
    noFigure(name, why);
}

// The time from `from` to `at`, or why there is none.
void printMsOr(const std::string& name, SteadyClock::time_point from, std::optional<SteadyClock::time_point> at,
               const std::string& why = "unheard in 65 s") {
    if (at) {
        printMs(name, msBetween(from, *at));
    } else {
        unheard(name, why);
    }
}

// --- The world --------------------------------------------------------------------------------------

// The ad for ad unit `unit`, given how many ads it was served before. Server thread.
using AdMaker = std::function<adserver::StandardAd(const std::string& unit, int served)>;

// The stage (bench::Stage) with the routes that hang and trickle here, serving what `adFor` makes with
// no refresh. Each measurement's process leaves it standing at exit: trickling answers would hold its
// teardown.
Stage* startStage(AdMaker adFor) {
    const Stage::Routes routes{
        .hangPath = kHangPath, .tricklePath = kTricklePath, .trickleEvery = kTrickleEvery};
    auto noRefresh = [adFor](const adserver::Request& request, int served) {
        adserver::StandardAd ad = adFor(request.param("slotname"), served);
        ad.refreshRate.clear();
        return ad;
    };
    return Stage::start(routes, noRefresh).release();
}

// "failed after N ms: why".
std::string failure(SteadyClock::time_point made, SteadyClock::time_point failedAt, const std::string& why) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.0f", msBetween(made, failedAt));
    return std::string("failed after ") + ms + " ms: " + why;
}

// --- Creatives --------------------------------------------------------------------------------------

// A creative that, once loaded, sends `count` script messages `action` ("httpTrack" or "click"), each
// naming the URL that the script expression `urlOf` (of the message's number `i`) gives; `perTurn` at a
// time, `gapMs` apart. `prelude` is script run first. The page counts what it sent in `sent` and what it
// was refused in `refused`. A link covers the banner.
struct PingCreative {
    std::string action = "httpTrack";
    std::string urlOf;
    int count = kPings;
    int perTurn = kPings;
    int gapMs = 100;
    std::string prelude;
};

std::string pingCreativeHTML(const PingCreative& c) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head>\n"
           "<body style=\"margin:0;background-color:#1a73e8\">\n"
           "<a href=\"" +
           std::string(kLandingURL) +
           "\" style=\"display:block;width:320px;height:50px;color:#ffffff\">ad</a>\n"
           "<script>\nvar sent = 0, refused = 0;\n" +
           c.prelude +
           "\nfunction pingURL(i) { return " + c.urlOf +
           "; }\n"
           "function pingSome() {\n"
           "  for (var end = Math.min(sent + " +
           std::to_string(c.perTurn) + ", " + std::to_string(c.count) +
           "); sent < end; sent++) {\n"
           "    try {\n"
           "      location.href = 'gmsg://mobileads.ruzave.example/" +
           c.action +
           "?u=' + encodeURIComponent(pingURL(sent));\n"
           "    } catch (e) { refused++; }\n"
           "  }\n"
           "  if (sent < " +
           std::to_string(c.count) + ") setTimeout(pingSome, " + std::to_string(c.gapMs) +
           ");\n"
           "}\n"
           "window.addEventListener('load', pingSome);\n</script>\n</body></html>\n";
}

// The script expression of ping `i` at `path` on `host`, marked as the pinger's.
std::string pingOn(const std::string& host, const std::string& path) {
    return "'https://" + host + path + "?ai=" + kPingerUnit + "&ping=' + i";
}

// The script expression of ping `i` on one of `hosts` hosts of the creative's own.
std::string pingOnOwnHosts(int hosts, const std::string& extra = "") {
    return "'https://h' + (i % " + std::to_string(hosts) + ") + '.silent.ruzave.example/ping?n=' + i" + extra;
}

std::string ownHost(int n) {
    return "h" + std::to_string(n) + ".silent.ruzave.example";
}

adserver::StandardAd plainAd(const std::vector<std::string>& impressions = {},
                             const std::vector<std::string>& clicks = {}) {
    adserver::StandardAd ad;
    ad.html = "<!DOCTYPE html>\n<html><body style=\"margin:0;background-color:#0a0\"><a href=\"" +
              std::string(kLandingURL) +
              "\" style=\"display:block;width:320px;height:50px\">ad</a></body></html>\n";
    ad.impressionURLs = impressions;
    ad.clickURLs = clicks;
    return ad;
}

// Serves `pinger` to the pinger unit's first request, and plain ads otherwise.
AdMaker pingerThenPlain(const PingCreative& pinger) {
    const std::string html = pingCreativeHTML(pinger);
    return [html](const std::string& unit, int served) {
        adserver::StandardAd ad = plainAd();
        if (unit == kPingerUnit && served == 0) ad.html = html;
        if (unit.find("interstitial") != std::string::npos) ad.adSize.clear();
        return ad;
    };
}

// Loads the pinger and waits until its first pings are under way (as many as a host lets run at
// once, or fewer where fewer go) on `host` at `path`.
bool startPinger(Stage& stage, PlacedBanner& pinger, const std::string& figure, const std::string& host,
                 const std::string& path) {
    if (!pinger.load()) {
        return noFigure(figure, "the pinging ad did not load");
    }
    runUntil([&] { return stage.heard(path, host, kPingerUnit).size() >= 6; }, 10);
    runFor(0.5); // the rest are queued by now
    return true;
}

// --- a ----------------------------------------------------------------------------------------------

bool measureHangingAdHost(App& app, const std::string& action) {
    PingCreative pings;
    pings.action = action;
    pings.urlOf = pingOn(GADHosts::kAdServerHost, kHangPath);
    Stage* stage = startStage(pingerThenPlain(pings));
    const std::string figure =
        std::string("creative_") + (action == "click" ? "clicks" : "pings") + "_hanging_ad_host";
    if (!stage) return noFigure(figure + "_next_ad_request_ms", "the local server did not start");
    auto pinger = place(app, kPingerUnit);
    if (!startPinger(*stage, pinger, figure + "_next_ad_request_ms", GADHosts::kAdServerHost, kHangPath))
        return false;

    const auto made = SteadyClock::now();
    pinger.view->loadRequest(ruzave::GADRequest::request());
    runUntil([&] { return stage->adRequestHeard(kPingerUnit, 1).has_value(); }, kGiveUpSeconds);
    const auto heard = stage->adRequestHeard(kPingerUnit, 1);
    runUntil([&] { return pinger.watch->outcomes() > 1; },
             std::max(0.0, kGiveUpSeconds - msBetween(made, SteadyClock::now()) / 1000));
    printMsOr(figure + "_next_ad_request_ms", made, heard);
    if (pinger.watch->receivedAt.size() > 1) {
        printMs(figure + "_next_ad_received_ms", msBetween(made, pinger.watch->receivedAt.back()));
    } else {
        unheard(figure + "_next_ad_received_ms",
                pinger.watch->errors.empty()
                    ? "no answer in 65 s"
                    : failure(made, pinger.watch->failedAt.back(), pinger.watch->errors.back()));
    }
    printCount(figure + "_sent", stage->heard(kHangPath, GADHosts::kAdServerHost, kPingerUnit).size(), kPings);
    return true;
}

// --- b ----------------------------------------------------------------------------------------------

bool measureClickBehindHangingPingHost(App& app) {
    PingCreative pings;
    pings.urlOf = pingOn(GADHosts::kPingHost, kHangPath);
    const std::string html = pingCreativeHTML(pings);
    const std::string click = https(GADHosts::kPingHost, std::string(kClickPath) + "?ai=tapped");
    Stage* stage = startStage([html, click](const std::string&, int) {
        adserver::StandardAd ad = plainAd({}, {click});
        ad.html = html;
        return ad;
    });
    const std::string figure = "creative_pings_hanging_ping_host_click_ping_late_ms";
    if (!stage) return noFigure(figure, "the local server did not start");
    auto pinger = place(app, kPingerUnit);
    if (!startPinger(*stage, pinger, figure, GADHosts::kPingHost, kHangPath)) return false;
    const auto tapped = SteadyClock::now();
    if (!pinger.tap(app)) return noFigure(figure, "the tap reached nothing");
    runUntil([&] { return stage->firstHeard(kClickPath, GADHosts::kPingHost, "tapped").has_value(); },
             kGiveUpSeconds);
    printMsOr(figure, tapped, stage->firstHeard(kClickPath, GADHosts::kPingHost, "tapped"));
    return true;
}

// --- c ----------------------------------------------------------------------------------------------

bool measureTricklingAdHost(App& app) {
    PingCreative pings;
    pings.urlOf = pingOn(GADHosts::kAdServerHost, kTricklePath);
    Stage* stage = startStage(pingerThenPlain(pings));
    const std::string figure = "creative_pings_trickling_ad_host";
    if (!stage) return noFigure(figure + "_ad_requests_heard", "the local server did not start");
    auto pinger = place(app, kPingerUnit);
    if (!startPinger(*stage, pinger, figure + "_ad_requests_heard", GADHosts::kAdServerHost, kTricklePath))
        return false;

    // The pinger's next ad, and another banner's first, asked for at once.
    auto other = place(app, "other", 80);
    const auto made = SteadyClock::now();
    pinger.view->loadRequest(ruzave::GADRequest::request());
    other.view->loadRequest(ruzave::GADRequest::request());
    runUntil([&] { return pinger.watch->outcomes() > 1 && other.watch->outcomes() > 0; }, kGiveUpSeconds);
    std::size_t heard = 0;
    double slowest = -1;
    for (const auto& at : {stage->adRequestHeard(kPingerUnit, 1), stage->adRequestHeard("other", 0)}) {
        if (!at) continue;
        ++heard;
        slowest = std::max(slowest, msBetween(made, *at));
    }
    printCount(figure + "_ad_requests_heard", heard, 2);
    if (slowest >= 0) {
        printMs(figure + "_ad_request_max_ms", slowest);
    } else {
        unheard(figure + "_ad_request_max_ms");
    }
    printCount(figure + "_ad_requests_answered",
               (pinger.watch->receivedAt.size() > 1 ? 1 : 0) + other.watch->receivedAt.size(), 2);
    printCount(figure + "_ad_requests_failed", pinger.watch->errors.size() + other.watch->errors.size(), 2);
    for (const auto* watch : {pinger.watch.get(), other.watch.get()})
        for (std::size_t k = 0; k < watch->errors.size(); ++k)
            std::fprintf(stderr, "%s: an ad request %s\n", figure.c_str(),
                         failure(made, watch->failedAt[k], watch->errors[k]).c_str());
    return true;
}

bool measureTricklingPingHost(App& app) {
    PingCreative pings;
    pings.urlOf = pingOn(GADHosts::kPingHost, kTricklePath);
    const std::string pinger = pingCreativeHTML(pings);
    const std::string impression = https(GADHosts::kPingHost, std::string(kImpressionPath) + "?ai=next");
    const std::string click = https(GADHosts::kPingHost, std::string(kClickPath) + "?ai=next");
    Stage* stage = startStage([=](const std::string& unit, int) {
        if (unit == kPingerUnit) {
            adserver::StandardAd ad = plainAd();
            ad.html = pinger;
            return ad;
        }
        return plainAd({impression}, {click});
    });
    const std::string figure = "creative_pings_trickling_ping_host_next";
    if (!stage) return noFigure(figure + "_impression_ms", "the local server did not start");
    auto banner = place(app, kPingerUnit);
    if (!startPinger(*stage, banner, figure + "_impression_ms", GADHosts::kPingHost, kTricklePath)) return false;

    auto next = place(app, "next", 80);
    if (!next.load()) {
        unheard(figure + "_impression_ms", "the next ad did not load");
        unheard(figure + "_click_ms", "the next ad did not load");
        return true;
    }
    const auto received = next.watch->receivedAt.front();
    runFor(0.3); // a tap sooner after the load would be taken for part of it
    const auto tapped = SteadyClock::now();
    next.tap(app);
    runUntil(
        [&] {
            return stage->firstHeard(kImpressionPath, GADHosts::kPingHost, "next") &&
                   stage->firstHeard(kClickPath, GADHosts::kPingHost, "next");
        },
        kGiveUpSeconds);
    printMsOr(figure + "_impression_ms", received, stage->firstHeard(kImpressionPath, GADHosts::kPingHost, "next"));
    printMsOr(figure + "_click_ms", tapped, stage->firstHeard(kClickPath, GADHosts::kPingHost, "next"));
    return true;
}

// --- d ----------------------------------------------------------------------------------------------

bool measureInterstitialAfterRelease(App& app) {
    PingCreative pings;
    pings.urlOf = pingOn(GADHosts::kAdServerHost, kTricklePath);
    Stage* stage = startStage(pingerThenPlain(pings));
    const std::string figure = "creative_pings_trickling_released_banner_interstitial";
    if (!stage) return noFigure(figure + "_request_ms", "the local server did not start");
    auto pinger = place(app, kPingerUnit);
    if (!startPinger(*stage, pinger, figure + "_request_ms", GADHosts::kAdServerHost, kTricklePath)) return false;
    release(pinger);
    runFor(0.5);

    const std::string unit = "released-interstitial";
    auto interstitial = ruzave::GADInterstitial::initWithAdUnitID(unit);
    auto watch = std::make_shared<InterstitialWatch>();
    interstitial->setDelegate(watch);
    const auto made = SteadyClock::now();
    interstitial->loadRequest(ruzave::GADRequest::request());
    runUntil([&] { return watch->receivedAt || watch->error; }, kGiveUpSeconds);
    printMsOr(figure + "_request_ms", made, stage->adRequestHeard(unit, 0));
    printMsOr(figure + "_received_ms", made, watch->receivedAt,
              watch->error ? failure(made, watch->failedAt, *watch->error) : "no answer in 65 s");
    return true;
}

// --- e, f, g: floods to hosts of the creative's own --------------------------------------------------

constexpr int kOwnHosts = 300;

bool measureDescriptorsUnderFlood(App& app) {
    PingCreative pings;
    pings.count = 1800;
    pings.perTurn = 300;
    pings.urlOf = pingOnOwnHosts(kOwnHosts);
    Stage* stage = startStage(pingerThenPlain(pings));
    const std::string figure = "creative_pings_1800_hanging_hosts_" + std::to_string(descriptorLimit) + "fd";
    if (!stage) return noFigure(figure + "_descriptors_max", "the local server did not start");
    for (int h = 0; h < kOwnHosts; ++h)
        stage->mapSilentHost(ownHost(h));
    auto pinger = place(app, kPingerUnit);
    if (!pinger.load()) return noFigure(figure + "_descriptors_max", "the pinging ad did not load");

    std::size_t most = 0, samples = 0, unlistable = 0;
    const auto started = SteadyClock::now();
    while (msBetween(started, SteadyClock::now()) < 20'000) {
        runFor(0.05);
        most = std::max(most, openDescriptors());
        ++samples;
        unlistable += descriptorsListable() ? 0 : 1;
    }
    printCount(figure + "_descriptors_max", most, descriptorLimit);
    printCount(figure + "_fd_listing_failed", unlistable, samples);
    std::printf("%s_pings_refused: %s of %s\n", figure.c_str(), pinger.page("refused").c_str(),
                pinger.page("sent").c_str());
    return true;
}

bool measureFlood(App& app) {
    PingCreative pings;
    pings.count = 18'000;
    pings.perTurn = 500;
    pings.urlOf = pingOnOwnHosts(kOwnHosts);
    Stage* stage = startStage(pingerThenPlain(pings));
    const std::string figure = "creative_pings_18000_hanging_hosts_" + std::to_string(descriptorLimit) + "fd";
    if (!stage) return noFigure(figure + "_ad_requests_answered", "the local server did not start");
    for (int h = 0; h < kOwnHosts; ++h)
        stage->mapSilentHost(ownHost(h));
    auto pinger = place(app, kPingerUnit);
    if (!pinger.load()) return noFigure(figure + "_ad_requests_answered", "the pinging ad did not load");

    auto defaults = platform::UserDefaults::standard();
    std::size_t writesFailed = 0, writes = 0;
    auto write = [&] {
        defaults->set("bench.flood.write", static_cast<int>(++writes));
        writesFailed += defaults->synchronize() ? 0 : 1;
    };
    std::size_t most = 0;
    auto runSampling = [&](double seconds) {
        const auto until = SteadyClock::now() + std::chrono::duration<double>(seconds);
        while (SteadyClock::now() < until) {
            runFor(0.05);
            most = std::max(most, openDescriptors());
        }
    };

    constexpr int kRequests = 4;
    std::vector<PlacedBanner> banners;
    std::vector<SteadyClock::time_point> made;
    const auto flood = SteadyClock::now();
    for (int k = 0; k < kRequests; ++k) {
        runSampling(std::max(0.0, (1.0 + 2.0 * k) - msBetween(flood, SteadyClock::now()) / 1000));
        banners.push_back(place(app, "flood-" + std::to_string(k), 80 + 50.0f * static_cast<float>(k)));
        made.push_back(SteadyClock::now());
        banners.back().view->loadRequest(ruzave::GADRequest::request());
        write();
    }
    const auto last = made.back();
    while (msBetween(last, SteadyClock::now()) < kGiveUpSeconds * 1000 &&
           !std::all_of(banners.begin(), banners.end(), [](const PlacedBanner& b) { return b.watch->outcomes() > 0; }))
        runSampling(0.25);
    write();

    std::size_t answered = 0, failed = 0, tooManyFiles = tooManyFilesLines.load();
    double slowest = -1;
    for (std::size_t k = 0; k < banners.size(); ++k) {
        const auto& watch = *banners[k].watch;
        if (!watch.receivedAt.empty()) {
            ++answered;
            slowest = std::max(slowest, msBetween(made[k], watch.receivedAt.front()));
        }
        failed += watch.errors.size();
        for (std::size_t e = 0; e < watch.errors.size(); ++e) {
            tooManyFiles += watch.errors[e].find("Too many open files") != std::string::npos ? 1 : 0;
            std::fprintf(stderr, "%s: ad request %zu %s\n", figure.c_str(), k + 1,
                         failure(made[k], watch.failedAt[e], watch.errors[e]).c_str());
        }
    }
    printCount(figure + "_ad_requests_answered", answered, kRequests);
    printCount(figure + "_ad_requests_failed", failed, kRequests);
    if (slowest >= 0) {
        printMs(figure + "_ad_request_max_ms", slowest);
    } else {
        unheard(figure + "_ad_request_max_ms", "none answered");
    }
    printCount(figure + "_user_defaults_writes_failed", writesFailed, writes);
    std::printf("%s_too_many_open_files: %zu lines\n", figure.c_str(), tooManyFiles);
    printCount(figure + "_descriptors_max", most, descriptorLimit);
    printMB(figure + "_peak_resident_mb", statusMB("VmHWM"));
    std::printf("%s_pings_refused: %s of %s\n", figure.c_str(), pinger.page("refused").c_str(),
                pinger.page("sent").c_str());
    return true;
}

bool measureLongURLs(App& app) {
    constexpr int kHosts = 20;
    PingCreative pings;
    pings.count = 120;
    pings.perTurn = 4;
    pings.gapMs = 250;
    // Doubled up to size: cheap enough for the page's share of the main thread.
    pings.prelude = "var pad = 'a';\nwhile (pad.length < 900 * 1024) pad += pad;\npad = pad.substring(0, 900 * 1024);";
    pings.urlOf = pingOnOwnHosts(kHosts, " + '&pad=' + pad");
    Stage* stage = startStage(pingerThenPlain(pings));
    const std::string figure = "creative_pings_900kb_urls";
    if (!stage) return noFigure(figure + "_peak_resident_mb", "the local server did not start");
    for (int h = 0; h < kHosts; ++h)
        stage->mapSilentHost(ownHost(h));
    const double before = statusMB("VmRSS");
    auto pinger = place(app, kPingerUnit);
    if (!pinger.load()) return noFigure(figure + "_peak_resident_mb", "the pinging ad did not load");
    runUntil([&] { return pinger.page("sent") == "120"; }, 20);
    runFor(10);
    printMB(figure + "_resident_before_mb", before);
    printMB(figure + "_peak_resident_mb", statusMB("VmHWM"));
    printMB(figure + "_resident_after_mb", statusMB("VmRSS"));
    std::printf("%s_pings_refused: %s of %s\n", figure.c_str(), pinger.page("refused").c_str(),
                pinger.page("sent").c_str());
    return true;
}

// --- h ----------------------------------------------------------------------------------------------

constexpr int kHangingPages = 3;
constexpr int kHostsPerPage = 32;
constexpr int kLoadsPerHost = 4;

bool measureNextBannerBehindHangingImages(App& app) {
    const std::string pixel = https(GADHosts::kPingHost, std::string(kPixelPath) + "?ai=next");
    const std::string impression = https(GADHosts::kPingHost, std::string(kImpressionPath) + "?ai=next");
    Stage* stage = startStage([=](const std::string& unit, int) {
        if (unit == "next") {
            adserver::StandardAd ad = plainAd({impression});
            ad.html = "<!DOCTYPE html>\n<html><body style=\"margin:0;background-color:#0a0\">"
                      "<div style=\"width:320px;height:50px\">ad</div><img src=\"" +
                      pixel + "\"></body></html>\n";
            return ad;
        }
        const int page = std::atoi(unit.c_str() + 8); // "hanging-<n>"
        adserver::StandardAd ad;
        ad.html = adserver::imageCreativeHTML(hangingPageCreative(page, kHostsPerPage, kLoadsPerHost));
        return ad;
    });
    const std::string figure = "hanging_images_next_banner";
    if (!stage) return noFigure(figure + "_received_ms", "the local server did not start");
    for (int p = 0; p < kHangingPages; ++p)
        for (int h = 0; h < kHostsPerPage; ++h)
            stage->mapSilentHost(silentHost(p, h));
    std::vector<PlacedBanner> pages;
    for (int p = 0; p < kHangingPages; ++p) {
        pages.push_back(place(app, "hanging-" + std::to_string(p)));
        if (!pages.back().load()) return noFigure(figure + "_received_ms", "a hanging page did not load");
    }
    // Until the connections stop growing for a second.
    std::size_t seen = 0;
    auto still = SteadyClock::now();
    runUntil(
        [&] {
            const std::size_t now = stage->silent().waitingConnections();
            if (now != seen) {
                seen = now;
                still = SteadyClock::now();
            }
            return SteadyClock::now() - still > std::chrono::seconds(1);
        },
        20);
    printCount("hanging_images_descriptors", openDescriptors(), descriptorLimit);

    auto next = place(app, "next", 80);
    const auto made = SteadyClock::now();
    next.view->loadRequest(ruzave::GADRequest::request());
    runUntil(
        [&] {
            return next.watch->outcomes() > 0 && stage->firstHeard(kPixelPath, GADHosts::kPingHost, "next") &&
                   stage->firstHeard(kImpressionPath, GADHosts::kPingHost, "next");
        },
        kGiveUpSeconds);
    if (!next.watch->receivedAt.empty()) {
        printMs(figure + "_received_ms", msBetween(made, next.watch->receivedAt.front()));
    } else {
        unheard(figure + "_received_ms", next.watch->errors.empty()
                                             ? "no answer in 65 s"
                                             : failure(made, next.watch->failedAt.front(), next.watch->errors.front()));
    }
    printMsOr(figure + "_pixel_ms", made, stage->firstHeard(kPixelPath, GADHosts::kPingHost, "next"));
    printMsOr(figure + "_impression_ms", made, stage->firstHeard(kImpressionPath, GADHosts::kPingHost, "next"));
    return true;
}

// --- release: a creative's clicks past its page ------------------------------------------------------

constexpr const char* kCreativeClickPath = "/creative-click";

// Has the creative of `banner` send `count` `click` messages naming the click URL on the ad host, marked
// `b=<mark>`; true once the SDK has taken them all (it then runs nothing more before returning).
bool sendCreativeClicks(PlacedBanner& banner, const std::string& mark, int count) {
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    const std::size_t before = trackers->trackedCount();
    banner.page("for (var i = 0; i < " + std::to_string(count) +
                "; i++) location.href = 'gmsg://mobileads.ruzave.example/click?u=' + encodeURIComponent('" +
                https(GADHosts::kAdServerHost, kCreativeClickPath) + "?b=" + mark + "&n=' + i);");
    return runUntil([&] { return trackers->trackedCount() >= before + count; }, 10);
}

// Of the clicks marked with one of `marks`, how many the server heard and the latest after `sent`
// (by mark), once all are heard or 65 s passed.
void printClicksHeard(Stage& stage, const std::string& figure, const std::vector<std::string>& marks,
                      const std::vector<SteadyClock::time_point>& sent, std::size_t each) {
    auto heardOf = [&](const std::string& mark) {
        std::vector<adserver::Request> out;
        for (auto& request : stage.server().requests(kCreativeClickPath))
            if (request.host == GADHosts::kAdServerHost && request.param("b") == mark) out.push_back(request);
        return out;
    };
    const std::size_t all = marks.size() * each;
    runUntil(
        [&] {
            std::size_t n = 0;
            for (const auto& mark : marks) n += heardOf(mark).size();
            return n >= all;
        },
        kGiveUpSeconds);
    std::size_t heard = 0;
    double latest = -1;
    for (std::size_t k = 0; k < marks.size(); ++k) {
        for (const auto& request : heardOf(marks[k])) {
            ++heard;
            latest = std::max(latest, msBetween(sent[k], stage.heardAt(request)));
        }
    }
    printCount(figure + "_delivered", heard, all);
    if (latest >= 0) {
        printMs(figure + "_latest_ms", latest);
    } else {
        unheard(figure + "_latest_ms");
    }
}

// release. Three banners, one after another, each whose creative sends a `click` message naming the ad
// server's click URL and is released as soon as the SDK has taken it:
//   creative_click_released_banner_delivered (of 3), _latest_ms (the message taken to the server hearing it).
bool measureClickBeforeRelease(App& app) {
    Stage* stage = startStage([](const std::string&, int) { return plainAd(); });
    const std::string figure = "creative_click_released_banner";
    if (!stage) return noFigure(figure + "_delivered", "the local server did not start");
    stage->server().routeHost(GADHosts::kAdServerHost, kCreativeClickPath,
                              [](const adserver::Request&) { return adserver::Response::text(""); });
    std::vector<std::string> marks;
    std::vector<SteadyClock::time_point> sent;
    for (int k = 0; k < 3; ++k) {
        auto banner = place(app, "released-" + std::to_string(k));
        if (!banner.load()) return noFigure(figure + "_delivered", "an ad did not load");
        marks.push_back("released-" + std::to_string(k));
        if (!sendCreativeClicks(banner, marks.back(), 1))
            return noFigure(figure + "_delivered", "the SDK did not take the click");
        sent.push_back(SteadyClock::now());
        release(banner);
    }
    printClicksHeard(*stage, figure, marks, sent, 1);
    return true;
}

// release-beside. Twenty banners, sixteen of whose creatives hold 8 images each on the ad host (a route
// that never answers) and four quiet; every creative sends two `click` messages to the ad host, and 2 s
// later every banner loads its next ad (plain), which closes the pages:
//   creative_clicks_beside_16_holding_ad_host_delivered (of 40), _latest_ms (message to heard).
bool measureClicksBesideHoldingPages(App& app) {
    constexpr int kHolding = 16, kQuiet = 4, kClicks = 2;
    Stage* stage = startStage([](const std::string& unit, int served) {
        adserver::StandardAd ad = plainAd();
        if (served == 0 && unit.rfind("holding-", 0) == 0) {
            adserver::ImageCreative creative;
            for (int i = 0; i < 8; ++i)
                creative.imageURLs.push_back(https(GADHosts::kAdServerHost, std::string(kHangPath) + "?ai=" + unit +
                                                                                "&n=" + std::to_string(i)));
            ad.html = adserver::imageCreativeHTML(creative);
        }
        return ad;
    });
    const std::string figure = "creative_clicks_beside_16_holding_ad_host";
    if (!stage) return noFigure(figure + "_delivered", "the local server did not start");
    stage->server().routeHost(GADHosts::kAdServerHost, kCreativeClickPath,
                              [](const adserver::Request&) { return adserver::Response::text(""); });
    std::vector<PlacedBanner> banners;
    for (int k = 0; k < kHolding + kQuiet; ++k) {
        const std::string unit = (k < kHolding ? "holding-" : "quiet-") + std::to_string(k);
        banners.push_back(place(app, unit, 20 + 2 * k));
        if (!banners.back().load()) return noFigure(figure + "_delivered", "an ad did not load");
    }
    runUntil([&] { return stage->heard(kHangPath, GADHosts::kAdServerHost).size() >= 6; }, 10);
    std::vector<std::string> marks;
    std::vector<SteadyClock::time_point> sent;
    for (std::size_t k = 0; k < banners.size(); ++k) {
        marks.push_back("page-" + std::to_string(k));
        if (!sendCreativeClicks(banners[k], marks.back(), kClicks))
            return noFigure(figure + "_delivered", "the SDK did not take the clicks");
        sent.push_back(SteadyClock::now());
    }
    runFor(2);
    for (auto& banner : banners)
        banner.view->loadRequest(ruzave::GADRequest::request());
    printClicksHeard(*stage, figure, marks, sent, kClicks);
    return true;
}

// reload. See the head of the file.
bool measureSelfReloadingCreative(App& app) {
    PingCreative pings;
    pings.count = 16;
    pings.perTurn = 16;
    pings.urlOf = pingOn(GADHosts::kAdServerHost, kHangPath) + " + '&r=' + Math.random()";
    // A reload fetches the ad's URL again: the server answers with the same creative until told to stop.
    pings.prelude = "window.addEventListener('load', function () { setTimeout(function () { location.reload(); }, 0); });";
    auto reloading = std::make_shared<std::atomic<bool>>(true);
    auto documents = std::make_shared<std::atomic<std::size_t>>(0);
    const std::string html = pingCreativeHTML(pings);
    Stage* stage = startStage([html, reloading, documents](const std::string& unit, int) {
        adserver::StandardAd ad = plainAd();
        if (unit == kPingerUnit && reloading->load()) {
            ad.html = html;
            ++*documents;
        }
        return ad;
    });
    const std::string figure = "creative_reloading";
    if (!stage) return noFigure(figure + "_pings_admitted", "the local server did not start");
    auto pinger = place(app, kPingerUnit);
    if (!pinger.load()) return noFigure(figure + "_pings_admitted", "the reloading ad did not load");
    const auto until = SteadyClock::now() + std::chrono::duration<double>(bench::quickOr(30.0, 5.0));
    while (SteadyClock::now() < until) {
        runFor(1);
        stage->server().clearLog();
    }
    // One ad's account, however often it reloads itself.
    const platform::PingScheduler::Limits quotas;
    const auto counted = platform::NetworkEngine::shared().pingCounts();
    printCount(figure + "_pings_admitted", counted.admitted, quotas.adPings);
    printCount(figure + "_pings_under_way", counted.underWay, platform::NetworkEngine::shared().limits().pingTransfers);
    std::printf("%s_documents: %zu documents\n", figure.c_str(), documents->load());
    printMB(figure + "_resident_mb", statusMB("VmRSS"));
    printMB(figure + "_peak_resident_mb", statusMB("VmHWM"));
    printMB(figure + "_heap_in_use_mb", heapInUseMB());
    // The next ad replaces the creative; its pings fail at the end of their life.
    reloading->store(false);
    pinger.view->loadRequest(ruzave::GADRequest::request());
    runFor(platform::PingScheduler::LifeSeconds + 2);
    stage->server().clearLog();
    printMB(figure + "_resident_after_deadline_mb", statusMB("VmRSS"));
    printMB(figure + "_heap_in_use_after_deadline_mb", heapInUseMB());
    std::printf("%s_pings_after_life: %zu pings\n", figure.c_str(), platform::NetworkEngine::shared().pingCounts().admitted);
    return true;
}

// own / own-20000. See the head of the file.
bool measureClicksBesideOwnHangs(App& app) {
    constexpr int kBanners = 20, kClicks = 2;
    const std::string figure = "creative_clicks_beside_own_hangs_" + std::to_string(descriptorLimit) + "fd";
    Stage* stage = startStage([](const std::string& unit, int served) {
        adserver::StandardAd ad = plainAd();
        if (served != 0) return ad;
        // Its images and trackers go out once it has loaded, as an ad's do.
        ad.html = "<!DOCTYPE html>\n<html><body style=\"margin:0\"><script>window.addEventListener('load', "
                  "function () { for (var i = 0; i < 8; i++) { var image = document.createElement('img'); "
                  "image.src = '" + https(GADHosts::kAdServerHost, std::string(kHangPath) + "?ai=" + unit + "&n=") +
                  "' + i; document.body.appendChild(image); } for (var j = 0; j < 2; j++) "
                  "location.href = 'gmsg://mobileads.ruzave.example/httpTrack?u=' + encodeURIComponent('https://h' + "
                  "(j % 4) + '.silent.ruzave.example/track?ai=" + unit + "&n=' + j); });</script></body></html>\n";
        return ad;
    });
    if (!stage) return noFigure(figure + "_delivered", "the local server did not start");
    for (int h = 0; h < 4; ++h)
        stage->mapSilentHost(ownHost(h));
    stage->server().routeHost(GADHosts::kAdServerHost, kCreativeClickPath,
                              [](const adserver::Request&) { return adserver::Response::text(""); });
    std::vector<PlacedBanner> banners;
    for (int k = 0; k < kBanners; ++k) {
        banners.push_back(place(app, "own-" + std::to_string(k), 20 + 2 * k));
        if (!banners.back().load()) return noFigure(figure + "_delivered", "an ad did not load");
    }
    runFor(bench::quickOr(8.0, 2.0));
    std::vector<std::string> marks, released;
    std::vector<SteadyClock::time_point> sent, releasedAt;
    for (std::size_t k = 0; k < banners.size(); ++k) {
        marks.push_back("live-" + std::to_string(k));
        if (!sendCreativeClicks(banners[k], marks.back(), kClicks))
            return noFigure(figure + "_delivered", "the SDK did not take the clicks");
        sent.push_back(SteadyClock::now());
    }
    printClicksHeard(*stage, figure, marks, sent, kClicks);
    for (std::size_t k = 0; k < banners.size(); ++k) {
        released.push_back("released-" + std::to_string(k));
        if (!sendCreativeClicks(banners[k], released.back(), kClicks))
            return noFigure(figure + "_released_delivered", "the SDK did not take the clicks");
        releasedAt.push_back(SteadyClock::now());
        banners[k].view->loadRequest(ruzave::GADRequest::request());
    }
    printClicksHeard(*stage, figure + "_released", released, releasedAt, kClicks);
    return true;
}

// --- The program ------------------------------------------------------------------------------------

struct Measurement {
    const char* key;
    rlim_t descriptors;
    std::function<bool(App&)> run;
};

// --- p: purchase reports ------------------------------------------------------------------------------

// Pays for nothing: a purchase with no product never reaches it.
struct NoPayments : ruzave::GADDefaultInAppPurchaseDelegate {
    void userDidPayForPurchase(const std::shared_ptr<ruzave::GADDefaultInAppPurchase>&) override {}
};

// A creative that, once loaded, opens `messages` purchases, `perTurn` a turn 100 ms apart, each naming
// `reports` report URLs that the script expression `urlOf` (of the message `m` and report `i`) gives, and
// the product the script expression `productID` gives.
PingCreative purchaseCreative(int messages, int perTurn, int reports, const std::string& urlOf,
                              const std::string& productID = "''") {
    PingCreative c;
    c.count = 0;
    c.prelude = "var opened = 0;\n"
                "function purchaseSome() {\n"
                "  for (var end = Math.min(opened + " + std::to_string(perTurn) + ", " + std::to_string(messages) +
                "); opened < end; opened++) {\n"
                "    var m = opened, r = [];\n"
                "    for (var i = 0; i < " + std::to_string(reports) + "; i++) r.push(" + urlOf + ");\n"
                "    try { location.href = 'gmsg://mobileads.ruzave.example/open?a=in_app_purchase'"
                " + '&product_id=' + encodeURIComponent(" + productID + ") + '&quantity=1&report_urls='"
                " + encodeURIComponent(r.join(' ')); } catch (e) { refused++; }\n"
                "  }\n"
                "  if (opened < " + std::to_string(messages) + ") setTimeout(purchaseSome, 100);\n"
                "}\n"
                "window.addEventListener('load', purchaseSome);\n";
    return c;
}

bool measurePurchaseReportsHanging(App& app) {
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(std::make_shared<NoPayments>());
    const std::string figure = "creative_purchase_reports_hanging_ad_host";
    Stage* stage = startStage(pingerThenPlain(purchaseCreative(
        1, 1, kPings, "'https://" + std::string(GADHosts::kAdServerHost) + kHangPath + "?ai=" + kPingerUnit + "&r=' + i")));
    if (!stage) return noFigure(figure + "_next_ad_request_ms", "the local server did not start");
    auto pinger = place(app, kPingerUnit);
    if (!startPinger(*stage, pinger, figure + "_next_ad_request_ms", GADHosts::kAdServerHost, kHangPath)) return false;
    const auto made = SteadyClock::now();
    pinger.view->loadRequest(ruzave::GADRequest::request());
    runUntil([&] { return stage->adRequestHeard(kPingerUnit, 1).has_value(); }, kGiveUpSeconds);
    printMsOr(figure + "_next_ad_request_ms", made, stage->adRequestHeard(kPingerUnit, 1));
    runUntil([&] { return pinger.watch->outcomes() > 1; }, kGiveUpSeconds);
    if (pinger.watch->receivedAt.size() > 1) printMs(figure + "_next_ad_received_ms", msBetween(made, pinger.watch->receivedAt.back()));
    else unheard(figure + "_next_ad_received_ms");
    printCount(figure + "_sent", stage->heard(kHangPath, GADHosts::kAdServerHost, kPingerUnit).size(), kPings);
    return true;
}

bool measurePurchaseReportFlood(App& app) {
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(std::make_shared<NoPayments>());
    const std::string figure = "creative_purchase_reports_200000";
    // Quick runs (the sanitizer build) send a tenth of the messages with a tenth of the URLs: the whole
    // flood's script there takes more than the page's share of the main thread, and the page is stopped.
    const int messages = bench::quickOr(100, 10);
    const std::string urls = std::to_string(bench::quickOr(2000, 200));
    Stage* stage = startStage(pingerThenPlain(purchaseCreative(
        messages, 10, bench::quickOr(2000, 200), "'https://h' + ((m * " + urls + " + i) % " + std::to_string(kOwnHosts) +
                           ") + '.silent.ruzave.example/r?n=' + (m * " + urls + " + i)")));
    if (!stage) return noFigure(figure + "_ad_requests_answered", "the local server did not start");
    for (int h = 0; h < kOwnHosts; ++h)
        stage->mapSilentHost(ownHost(h));
    auto pinger = place(app, kPingerUnit);
    if (!pinger.load()) return noFigure(figure + "_ad_requests_answered", "the purchasing ad did not load");
    constexpr int kRequests = 4;
    std::vector<PlacedBanner> banners;
    const auto flood = SteadyClock::now();
    for (int k = 0; k < kRequests; ++k) {
        runFor(std::max(0.0, (1.0 + 2.0 * k) - msBetween(flood, SteadyClock::now()) / 1000));
        banners.push_back(place(app, "purchase-flood-" + std::to_string(k), 80 + 50.0f * static_cast<float>(k)));
        banners.back().view->loadRequest(ruzave::GADRequest::request());
    }
    runUntil([&] { return std::all_of(banners.begin(), banners.end(), [](const PlacedBanner& b) { return b.watch->outcomes() > 0; }); },
             kGiveUpSeconds);
    runUntil([&] { return pinger.page("opened") == std::to_string(messages); }, 20);
    std::size_t answered = 0;
    for (const auto& b : banners) answered += b.watch->receivedAt.empty() ? 0 : 1;
    printCount(figure + "_ad_requests_answered", answered, kRequests);
    std::printf("%s_messages_sent: %s of %d\n", figure.c_str(), pinger.page("opened").c_str(), messages);
    printMB(figure + "_peak_resident_mb", statusMB("VmHWM"));
    return true;
}

// p-sku, p-sku1k: 32 templates of 8 KB, filled with `@sku@&` after their path, and a product of `idBytes`
// that the store does not know. Reports are waited for 10 s (5 in quick runs).
constexpr const char* kPurchaseReportPath = "/pagead/iap";
constexpr int kPurchaseReports = 32;
constexpr int kPurchaseReportBytes = 8 * 1024;

bool measurePurchaseExpansion(App& app, int idBytes) {
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(std::make_shared<NoPayments>());
    const std::string figure = "creative_purchase_" + std::to_string(idBytes / 1024) + "kb_id";
    const std::string report = "'https://" + std::string(GADHosts::kAdServerHost) + kPurchaseReportPath +
                               "?ai=" + kPingerUnit + "&'";
    const std::string bytes = std::to_string(kPurchaseReportBytes);
    const std::string prelude = "var sku = 'a'.repeat(" + std::to_string(idBytes) + ");\n" +
                                "var template = (" + report + " + '@sku@&'.repeat(" + bytes + "))" +
                                ".substring(0, " + bytes + ");\n";
    PingCreative creative = purchaseCreative(1, 1, kPurchaseReports, "template", "sku");
    creative.prelude = prelude + creative.prelude;
    Stage* stage = startStage(pingerThenPlain(creative));
    if (!stage) return noFigure(figure + "_peak_resident_mb", "the local server did not start");
    const double before = statusMB("VmRSS");
    auto pinger = place(app, kPingerUnit);
    if (!pinger.load()) return noFigure(figure + "_peak_resident_mb", "the purchasing ad did not load");
    runUntil([&] { return pinger.page("opened") == "1"; }, 20);
    const auto reportsHeard = [&] {
        return stage->heard(kPurchaseReportPath, GADHosts::kAdServerHost, kPingerUnit).size();
    };
    runUntil([&] { return reportsHeard() >= kPurchaseReports; }, bench::quickOr(10, 5));
    printMB(figure + "_resident_before_mb", before);
    printMB(figure + "_peak_resident_mb", statusMB("VmHWM"));
    printCount(figure + "_reports_sent", reportsHeard(), kPurchaseReports);
    return true;
}

// --- click shapes: refreshing banners whose creatives click beside trackers that trickle or come late -

constexpr const char* kShapeClickPath = "/shape-click";
constexpr const char* kShapeTapPath = "/shape-tap";
constexpr const char* kShapeTrackPath = "/t";
constexpr const char* kShapeImagePath = "/img";
constexpr const char* kFastTrickleHost = "fast.trickle.ruzave.example";
constexpr const char* kBodyTrickleHost = "body.trickle.ruzave.example";
constexpr const char* kTrickleImageHost = "images.trickle.ruzave.example";
constexpr int kShapeBanners = 20;
// The chaos shape's: beside the 20 hostile creatives, healthy banners that the user taps, one a second in
// turn; each hostile page sends 12 trackers to hosts that read and never answer, and 2 to its slow host.
constexpr int kHealthyBanners = 4;
constexpr int kChaosHanging = 12;
constexpr int kChaosSlow = 2;
constexpr int kHangHosts = 2;
constexpr double kTapEverySeconds = 1;
constexpr int kShapeImagesPerHost = 4;
// Four of them, each its own server: a connection holds one of a server's 160 threads, and one host
// would run out of them under twenty pages' trackers and images, delaying what the figures time.
constexpr int kSlowHosts = 4;
constexpr std::chrono::seconds kSlowAnswer{8};
constexpr std::chrono::seconds kShapeTrickleEvery{1};
constexpr double kClickGoalMs = 4000;

std::string slowHost(int n) {
    return "slow" + std::to_string(n) + ".trackers.ruzave.example";
}

std::string hangHost(int n) {
    return "hang" + std::to_string(n) + ".trackers.ruzave.example";
}

enum class ClickShape { TricklingTrackers, SlowTrackers, Soak, Chaos };
// What a shape's page sends beside its clicks (see clickShapeHTML).
enum class ShapePage { Trickling, Slow, Hostile, Healthy };

// The soak's length: RUZAVE_BENCH_SOAK_MINUTES when it holds a number, 11 when it is set otherwise,
// 2 when it is not set, a quarter of a minute in quick runs.
double soakMinutes() {
    if (bench::quick()) return 0.25;
    const char* value = std::getenv("RUZAVE_BENCH_SOAK_MINUTES");
    if (value == nullptr) return 2;
    char* end = nullptr;
    const double minutes = std::strtod(value, &end);
    return end != value && minutes > 0 ? minutes : 11;
}

// What the servers read, on their threads.
struct ShapeLedger {
    std::mutex mutex;
    // By page: ms from the click being made to the server reading it. A resend is not counted again.
    std::map<std::string, double> clicksAdHost, clicksPingHost;
    // By page and tap: ms from the tap's click being made to the server reading it.
    std::map<std::string, double> taps;
    std::set<std::string> slowTrackers;
    std::size_t slowImages = 0, tricklingImages = 0;
    std::map<std::string, std::vector<SteadyClock::time_point>> adRequests;

    void click(bool adHost, const std::string& page, double ms) {
        std::lock_guard lock(mutex);
        (adHost ? clicksAdHost : clicksPingHost).emplace(page, ms);
    }
    void tap(const std::string& tap, double ms) {
        std::lock_guard lock(mutex);
        taps.emplace(tap, ms);
    }
    void slowTracker(const std::string& id) {
        std::lock_guard lock(mutex);
        slowTrackers.insert(id);
    }
    void adRequested(const std::string& unit) {
        std::lock_guard lock(mutex);
        adRequests[unit].push_back(SteadyClock::now());
    }
};

// The creative of page `page` (its unit and serial), by its kind: once loaded, a Trickling page sends a
// tracker to each trickling host a second, and a Slow one a tracker to its slow host a second beside
// images on hanging, trickling and slow hosts, for as long as they live; a Hostile page sends, as it
// loads, kChaosHanging trackers to hosts that read and never answer and kChaosSlow to its slow host; a
// Healthy one sends nothing but its clicks, and a `click` message to the ad host for each tap. Each sends
// two `click` messages `clickAfterMs` in, one to the ad host and one to the ping host, each carrying when
// it was made. It logs each message it sends, or that it was refused, on its console (a healthy page's
// clicks as "healthy-"), and sends nothing from `stopAt` (wall clock, ms) on: messages a page sent just
// before it closed could be left untaken, and would count as lost.
std::string clickShapeHTML(ShapePage kind, const std::string& page, int slow, int clickAfterMs, double stopAt) {
    const std::string slowBase = "https://" + slowHost(slow);
    // `trackers` go each second, `once` as the page loads.
    std::string trackers, once;
    switch (kind) {
    case ShapePage::Trickling:
        trackers = "  send('httpTrack', 'http://" + std::string(kFastTrickleHost) + kShapeTrackPath +
                   "?i=' + page + '.' + n, 'head');\n"
                   "  send('httpTrack', 'http://" + std::string(kBodyTrickleHost) + kShapeTrackPath +
                   "?i=' + page + '.' + n, 'body');\n";
        break;
    case ShapePage::Slow:
        trackers = "  send('httpTrack', '" + slowBase + kShapeTrackPath + "?i=' + page + '.' + n, 'slow');\n";
        once = "  var hosts = ['https://" + ownHost(slow) + "', 'https://" + kTrickleImageHost + "', '" + slowBase +
               "'];\n"
               "  for (var h = 0; h < hosts.length; h++) for (var k = 0; k < " +
               std::to_string(kShapeImagesPerHost) +
               "; k++) {\n"
               "    var image = document.createElement('img');\n"
               "    image.src = hosts[h] + '" + kShapeImagePath + "?i=' + page + '.' + k;\n"
               "    document.body.appendChild(image);\n"
               "  }\n"
               "  console.log('clickshape images');\n";
        break;
    case ShapePage::Hostile:
        once = "  for (var j = 0; j < " + std::to_string(kChaosHanging) + "; j++)\n"
               "    send('httpTrack', 'http://hang' + (j % " + std::to_string(kHangHosts) +
               ") + '.trackers.ruzave.example" + kShapeTrackPath + "?i=' + page + '.' + j, 'hanging');\n"
               "  for (var s = 0; s < " + std::to_string(kChaosSlow) + "; s++)\n"
               "    send('httpTrack', '" + slowBase + kShapeTrackPath + "?i=' + page + '.' + s, 'slow');\n";
        break;
    case ShapePage::Healthy:
        once = "  var taps = 0;\n"
               "  document.addEventListener('click', function () {\n"
               "    send('click', 'https://" + std::string(GADHosts::kAdServerHost) + kShapeTapPath +
               "?i=' + page + '.' + (taps++) + '&t=' + Date.now(), 'tap');\n"
               "  });\n";
        break;
    }
    const std::string click = std::string(kShapeClickPath) + "?i=' + page + '&t=' + made";
    const std::string label = kind == ShapePage::Healthy ? "healthy-" : "";
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head>\n"
           "<body style=\"margin:0;background-color:#1a73e8\"><div style=\"width:320px;height:50px\">ad</div>\n"
           "<script>\nvar page = '" + page + "', n = 0, stopAt = " + std::to_string(stopAt) + ";\n"
           "function send(action, url, what) {\n"
           "  if (Date.now() >= stopAt) return;\n"
           "  try { location.href = 'gmsg://mobileads.ruzave.example/' + action + '?u=' + encodeURIComponent(url); }\n"
           "  catch (e) { console.log('clickshape refused ' + what); return; }\n"
           "  console.log('clickshape ' + what);\n"
           "}\n"
           "function track() {\n" + trackers + "  n++;\n}\n"
           "window.addEventListener('load', function () {\n" + once +
           "  track();\n"
           "  setInterval(track, 1000);\n"
           "  setTimeout(function () {\n"
           "    var made = Date.now();\n"
           "    send('click', 'https://" + GADHosts::kAdServerHost + click + ", '" + label + "click-ad');\n"
           "    send('click', 'https://" + GADHosts::kPingHost + click + ", '" + label + "click-ping');\n"
           "  }, " + std::to_string(clickAfterMs) + ");\n"
           "});\n</script>\n</body></html>\n";
}

// The creatives' own hosts, each behind a server of its own, mapped and trusted beside the stage's.
// Left standing at exit, as the stage is.
bool startCreativeHosts(Stage& stage, const std::shared_ptr<ShapeLedger>& ledger,
                        std::vector<adserver::AdServer*>& servers, adserver::TrickleServer*& head,
                        adserver::TrickleServer*& body, adserver::TrickleServer*& hang) {
    auto config = platform::NetworkConfiguration::sharedInstance();
    std::string trusted;
    auto trust = [&](const adserver::AdServer& server) {
        std::FILE* file = std::fopen(server.caFile().c_str(), "r");
        if (file == nullptr) return false;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) trusted.append(buffer, n);
        std::fclose(file);
        return true;
    };
    if (!trust(stage.server())) return false;
    auto own = [&](const std::string& host) -> adserver::AdServer* {
        adserver::Options options;
        options.hostNames = {host};
        adserver::AdServer* server = adserver::AdServer::start(options).release();
        if (server == nullptr || !trust(*server)) return nullptr;
        config->addHostMapping(host, 443, "127.0.0.1", server->port());
        servers.push_back(server);
        return server;
    };
    for (int s = 0; s < kSlowHosts; ++s) {
        adserver::AdServer* server = own(slowHost(s));
        if (server == nullptr) return false;
        server->route(kShapeTrackPath, [ledger](const adserver::Request& request) {
            ledger->slowTracker(request.param("i"));
            adserver::Response answer = adserver::Response::text("", "image/gif");
            answer.delay = kSlowAnswer;
            return answer;
        });
        server->route(kShapeImagePath, [ledger](const adserver::Request&) {
            {
                std::lock_guard lock(ledger->mutex);
                ++ledger->slowImages;
            }
            adserver::Response answer = adserver::Response::text("GIF89a", "image/gif");
            answer.delay = kSlowAnswer;
            return answer;
        });
        stage.mapSilentHost(ownHost(s));
    }
    adserver::AdServer* images = own(kTrickleImageHost);
    if (images == nullptr) return false;
    adserver::Response trickle = adserver::Response::text(std::string(1000, 'x'), "image/png");
    trickle.chunkBytes = 1;
    trickle.chunkDelay = kShapeTrickleEvery;
    images->route(kShapeImagePath, [ledger, trickle](const adserver::Request&) {
        std::lock_guard lock(ledger->mutex);
        ++ledger->tricklingImages;
        return trickle;
    });
    // Trackers answered a hundred bytes a second and a byte a second: a ping is done at its head either way.
    head = adserver::TrickleServer::start(std::chrono::milliseconds(10), adserver::TrickleServer::Trickle::Body).release();
    body = adserver::TrickleServer::start(kShapeTrickleEvery, adserver::TrickleServer::Trickle::Body).release();
    // Reads each request and never ends its head: one thread for however many wait.
    hang = adserver::TrickleServer::start(std::chrono::hours(1), adserver::TrickleServer::Trickle::Head).release();
    if (head == nullptr || body == nullptr || hang == nullptr) return false;
    config->addHostMapping(kFastTrickleHost, 80, "127.0.0.1", head->port());
    config->addHostMapping(kBodyTrickleHost, 80, "127.0.0.1", body->port());
    for (int h = 0; h < kHangHosts; ++h) config->addHostMapping(hangHost(h), 80, "127.0.0.1", hang->port());
    for (const char* host : {GADHosts::kAdServerHost, GADHosts::kPingHost}) {
        const bool adHost = host == GADHosts::kAdServerHost;
        stage.server().routeHost(host, kShapeClickPath, [ledger, adHost](const adserver::Request& request) {
            const double ms = platform::Clock::wallTime() * 1000 - std::atof(request.param("t").c_str());
            ledger->click(adHost, request.param("i"), ms);
            return adserver::Response::text("");
        });
    }
    stage.server().routeHost(GADHosts::kAdServerHost, kShapeTapPath, [ledger](const adserver::Request& request) {
        ledger->tap(request.param("i"), platform::Clock::wallTime() * 1000 - std::atof(request.param("t").c_str()));
        return adserver::Response::text("");
    });
    const char* home = std::getenv("RUZAVE_APP_HOME");
    const std::string bundle = std::string(home != nullptr ? home : "/tmp") + "/click-shapes-ca.pem";
    std::FILE* file = std::fopen(bundle.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = std::fwrite(trusted.data(), 1, trusted.size(), file) == trusted.size();
    if (std::fclose(file) != 0 || !written) return false;
    config->setTrustedCAFile(bundle);
    return true;
}

// The distinct pages' trackers a trickling server read ("i=<page>.<n>").
std::size_t trackersRead(const adserver::TrickleServer& server) {
    std::set<std::string> ids;
    for (const auto& target : server.requestTargets()) {
        const auto at = target.find("i=");
        if (at != std::string::npos) ids.insert(target.substr(at + 2));
    }
    return ids.size();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

// Whether the page of a click shape ("shape-<k>.<served>") is one of the chaos shape's healthy banners.
bool healthyPage(const std::string& page) {
    return std::atoi(page.c_str() + 6) >= kShapeBanners;
}

// The latencies of the clicks in `heard` (by page) of pages that are healthy, or of those that are not.
std::vector<double> clickLatencies(const std::map<std::string, double>& heard, bool healthy) {
    std::vector<double> out;
    for (const auto& [page, ms] : heard)
        if (healthyPage(page) == healthy) out.push_back(ms);
    return out;
}

void printLatencies(const std::string& name, const std::vector<double>& latencies) {
    if (latencies.empty()) {
        unheard(name + "_median_ms");
        unheard(name + "_max_ms");
    } else {
        printMs(name + "_median_ms", percentile(latencies, 0.5));
        printMs(name + "_max_ms", percentile(latencies, 1));
    }
}

// click-trickle, click-slow (at 1,024 and 20,000 descriptors), click-soak and click-chaos. See the head
// of the file.
bool measureClickShape(App& app, ClickShape shape) {
    const bool soak = shape == ClickShape::Soak;
    const bool chaos = shape == ClickShape::Chaos;
    const std::string figure = std::string("creative_click_shapes_") +
                               (shape == ClickShape::TricklingTrackers ? "trickling_trackers"
                                : shape == ClickShape::SlowTrackers    ? "slow_trackers"
                                : chaos                                ? "chaos"
                                                                       : "soak") +
                               "_" + std::to_string(descriptorLimit) + "fd";
    // Web content's places are the same at 20,000 descriptors as at 1,024: quick runs measure one.
    if (bench::quick() && descriptorLimit > 1024) {
        std::printf("%s_clicks_made: left out of quick runs\n", figure.c_str());
        return true;
    }
    // The shortest refresh that lets a page live to its clicks. Quick runs click and refresh sooner.
    const int refreshSeconds = bench::quickOr(10, 4);
    const int clickAfterMs = bench::quickOr(8000, 2000);
    // The chaos shape as long as twenty ads of each banner.
    const double runSeconds = soak ? soakMinutes() * 60 : bench::quickOr(chaos ? 200.0 : 60.0, 6.0);
    auto pageKind = [shape](const std::string& unit) {
        const int k = std::atoi(unit.c_str() + 6); // "shape-<k>"
        switch (shape) {
        case ClickShape::TricklingTrackers: return ShapePage::Trickling;
        case ClickShape::SlowTrackers: return ShapePage::Slow;
        case ClickShape::Soak: return k % 2 == 0 ? ShapePage::Trickling : ShapePage::Slow; // banner by banner
        case ClickShape::Chaos: break;
        }
        return k < kShapeBanners ? ShapePage::Hostile : ShapePage::Healthy;
    };
    auto ledger = std::make_shared<ShapeLedger>();
    // When the pages stop sending, from the run's start on: none stops before.
    auto stopAt = std::make_shared<std::atomic<double>>(1e15);
    const Stage::Routes routes{.hangPath = kHangPath, .tricklePath = kTricklePath, .trickleEvery = kTrickleEvery};
    Stage* stage = Stage::start(routes, [=](const adserver::Request& request, int served) {
                       const std::string unit = request.param("slotname");
                       ledger->adRequested(unit);
                       adserver::StandardAd ad;
                       ad.html = clickShapeHTML(pageKind(unit), unit + "." + std::to_string(served),
                                                std::atoi(unit.c_str() + 6) % kSlowHosts, clickAfterMs,
                                                stopAt->load());
                       ad.refreshRate = std::to_string(refreshSeconds);
                       return ad;
                   }).release();
    std::vector<adserver::AdServer*> servers;
    adserver::TrickleServer* head = nullptr;
    adserver::TrickleServer* body = nullptr;
    adserver::TrickleServer* hang = nullptr;
    if (!stage || !startCreativeHosts(*stage, ledger, servers, head, body, hang))
        return noFigure(figure + "_clicks_made", "the local servers did not start");
    auto clearLogs = [&] {
        // Their records are the servers', not the app's.
        stage->server().clearLog();
        for (auto* server : servers) server->clearLog();
    };

    std::vector<PlacedBanner> banners;
    for (int k = 0; k < kShapeBanners + (chaos ? kHealthyBanners : 0); ++k) {
        // Healthy banners apart, below the rest, so that a tap on one reaches it.
        const float y = k < kShapeBanners ? 20 + 2.0f * static_cast<float>(k)
                                          : 120 + 60.0f * static_cast<float>(k - kShapeBanners);
        banners.push_back(place(app, "shape-" + std::to_string(k), y));
        if (!banners.back().load()) return noFigure(figure + "_clicks_made", "an ad did not load");
    }
    const double residentStart = statusMB("VmRSS"), heapStart = heapInUseMB();
    // A minute by minute trail tells a plateau from growth.
    std::string residentTrail, heapTrail;
    double residentMost = residentStart;
    auto sample = [&] {
        char text[64];
        const double resident = statusMB("VmRSS");
        residentMost = std::max(residentMost, resident);
        std::snprintf(text, sizeof text, " %.1f", resident);
        residentTrail += text;
        std::snprintf(text, sizeof text, " %.1f", heapInUseMB());
        heapTrail += text;
    };
    sample();
    auto lastSample = SteadyClock::now();
    // The main thread's longest turn: how far a short wait overshoots.
    double stallMs = 0;
    const auto start = SteadyClock::now();
    stopAt->store(platform::Clock::wallTime() * 1000 + runSeconds * 1000);
    auto lastClear = start;
    auto lastTap = start;
    std::size_t tapsMade = 0;
    while (msBetween(start, SteadyClock::now()) < runSeconds * 1000) {
        const auto before = SteadyClock::now();
        runFor(0.1);
        stallMs = std::max(stallMs, msBetween(before, SteadyClock::now()) - 100);
        if (chaos && msBetween(lastTap, SteadyClock::now()) >= kTapEverySeconds * 1000) {
            banners[static_cast<std::size_t>(kShapeBanners) + tapsMade++ % kHealthyBanners].tap(app);
            lastTap = SteadyClock::now();
        }
        if (msBetween(lastClear, SteadyClock::now()) >= 1000) {
            clearLogs();
            lastClear = SteadyClock::now();
        }
        if (msBetween(lastSample, SteadyClock::now()) >= 60'000) {
            sample();
            lastSample = SteadyClock::now();
        }
    }
    const auto counts = platform::NetworkEngine::shared().pingCounts();
    const double residentEnd = statusMB("VmRSS"), heapEnd = heapInUseMB();
    // The pages have stopped; the SDK takes what they sent last. Closing them then ends none of their
    // pings: what they made is waited for, up to 65 s.
    for (auto& banner : banners) banner.page("stopAt = 0;");
    runFor(1);
    for (auto& banner : banners) release(banner);
    auto heardAll = [&] {
        std::lock_guard lock(ledger->mutex);
        return ledger->clicksAdHost.size() >= shapeSends.clickAd + shapeSends.healthyClickAd &&
               ledger->clicksPingHost.size() >= shapeSends.clickPing + shapeSends.healthyClickPing &&
               ledger->taps.size() >= shapeSends.tap && ledger->slowTrackers.size() >= shapeSends.slow;
    };
    runUntil(heardAll, bench::quickOr(kGiveUpSeconds, 10.0));
    clearLogs();

    std::lock_guard lock(ledger->mutex);
    // The creatives' own clicks (all but the chaos shape's healthy banners').
    const std::vector<double> ownAd = clickLatencies(ledger->clicksAdHost, false);
    const std::vector<double> ownPing = clickLatencies(ledger->clicksPingHost, false);
    std::vector<double> latencies = ownAd;
    latencies.insert(latencies.end(), ownPing.begin(), ownPing.end());
    const std::size_t late = static_cast<std::size_t>(
        std::count_if(latencies.begin(), latencies.end(), [](double ms) { return ms > kClickGoalMs; }));
    std::printf("%s_clicks_made: %zu clicks\n", figure.c_str(), shapeSends.clickAd + shapeSends.clickPing);
    printCount(figure + "_clicks_reaching_ad_host", ownAd.size(), shapeSends.clickAd);
    printCount(figure + "_clicks_reaching_ping_host", ownPing.size(), shapeSends.clickPing);
    printLatencies(figure + "_click_latency", latencies);
    printCount(figure + "_clicks_past_4s", late, latencies.size());
    if (chaos) {
        printCount(figure + "_clicks_missing_ad_host", shapeSends.clickAd - std::min(ownAd.size(), shapeSends.clickAd.load()),
                   shapeSends.clickAd);
        printCount(figure + "_clicks_missing_ping_host",
                   shapeSends.clickPing - std::min(ownPing.size(), shapeSends.clickPing.load()), shapeSends.clickPing);
        const std::vector<double> healthyAd = clickLatencies(ledger->clicksAdHost, true);
        const std::vector<double> healthyPing = clickLatencies(ledger->clicksPingHost, true);
        std::vector<double> healthy = healthyAd;
        healthy.insert(healthy.end(), healthyPing.begin(), healthyPing.end());
        printCount(figure + "_healthy_clicks_reaching_ad_host", healthyAd.size(), shapeSends.healthyClickAd);
        printCount(figure + "_healthy_clicks_reaching_ping_host", healthyPing.size(), shapeSends.healthyClickPing);
        printLatencies(figure + "_healthy_click_latency", healthy);
        std::vector<double> taps;
        for (const auto& [tap, ms] : ledger->taps) taps.push_back(ms);
        std::printf("%s_healthy_taps_made: %zu taps (%zu given)\n", figure.c_str(), shapeSends.tap.load(), tapsMade);
        printCount(figure + "_healthy_taps_reaching_ad_host", taps.size(), shapeSends.tap);
        printLatencies(figure + "_healthy_tap_latency", taps);
        printCount(figure + "_hanging_trackers_read", trackersRead(*hang), shapeSends.hanging);
    }
    if (shape != ClickShape::TricklingTrackers)
        printCount(figure + "_slow_trackers_arrived", ledger->slowTrackers.size(), shapeSends.slow);
    if (shape == ClickShape::TricklingTrackers || soak) {
        printCount(figure + "_trickle_100bps_trackers_read", trackersRead(*head), shapeSends.head);
        printCount(figure + "_trickle_1bps_trackers_read", trackersRead(*body), shapeSends.body);
    }
    if (shape == ClickShape::SlowTrackers || soak) {
        const std::size_t each = shapeSends.imagePages * kShapeImagesPerHost;
        printCount(figure + "_slow_images_read", ledger->slowImages, each);
        printCount(figure + "_trickling_images_read", ledger->tricklingImages, each);
        // A load put back to its queue connects again: connections, not images.
        std::printf("%s_hanging_image_connections: %zu connections for %zu images\n", figure.c_str(),
                    stage->silent().waitingConnections(), each);
    }
    std::printf("%s_messages_refused_by_page: %zu messages\n", figure.c_str(), shapeSends.refused.load());

    double widest = 0;
    std::size_t gaps = 0, pastGoal = 0;
    for (const auto& [unit, times] : ledger->adRequests) {
        for (std::size_t k = 1; k < times.size(); ++k) {
            const double gap = msBetween(times[k - 1], times[k]);
            widest = std::max(widest, gap);
            ++gaps;
            pastGoal += gap > (refreshSeconds + 1) * 1000.0 ? 1 : 0;
        }
    }
    std::printf("%s_refresh_gap_max_ms: %.1f ms (interval %d000 ms)\n", figure.c_str(), widest, refreshSeconds);
    printCount(figure + "_refresh_gaps_past_interval_1s", pastGoal, gaps);
    printMs(figure + "_main_thread_stall_max_ms", stallMs);
    const auto& limits = platform::NetworkEngine::shared().limits();
    std::printf("%s_pings_at_end: %zu admitted, %zu under way, %zu waiting (places %zu, reserve %zu)\n",
                figure.c_str(), counts.admitted, counts.underWay, counts.waiting, limits.pingTransfers,
                limits.pingReserve);
    if (soak) {
        std::printf("%s_minutes: %.2f min\n", figure.c_str(), runSeconds / 60);
        printMB(figure + "_resident_start_mb", residentStart);
        printMB(figure + "_resident_end_mb", residentEnd);
        // The kernel brings its high-water mark up to date lazily: a reading of the resident size may pass it.
        printMB(figure + "_peak_resident_mb", std::max({statusMB("VmHWM"), residentMost, residentEnd}));
        printMB(figure + "_heap_in_use_start_mb", heapStart);
        printMB(figure + "_heap_in_use_end_mb", heapEnd);
        std::printf("%s_resident_each_minute_mb:%s MB\n", figure.c_str(), residentTrail.c_str());
        std::printf("%s_heap_in_use_each_minute_mb:%s MB\n", figure.c_str(), heapTrail.c_str());
    }
    return true;
}

// --- store: store sheets fetched for the creative -------------------------------------------------------

// A creative that, once loaded, asks for `count` store sheets, `perTurn` a turn 100 ms apart, each for a
// product id of `idBytes` digits that no other shares. The page counts what it sent in `fetched`.
std::string storeFetchCreativeHTML(int count, int perTurn, int idBytes) {
    return "<!DOCTYPE html>\n<html><body style=\"margin:0;background-color:#0a0\">\n<script>\n"
           "var fetched = 0, refused = 0;\n"
           "var pad = '1'.repeat(" + std::to_string(idBytes - 8) + ");\n"
           "function fetchSome() {\n"
           "  for (var end = Math.min(fetched + " + std::to_string(perTurn) + ", " + std::to_string(count) +
           "); fetched < end; fetched++) {\n"
           "    try { location.href = 'gmsg://mobileads.ruzave.example/fetchAppStore?product_id=' + "
           "(10000000 + fetched) + pad; } catch (e) { refused++; }\n"
           "  }\n"
           "  if (fetched < " + std::to_string(count) + ") setTimeout(fetchSome, 100);\n"
           "}\n"
           "window.addEventListener('load', function () { setTimeout(fetchSome, 0); });\n"
           "</script>\n</body></html>\n";
}

bool measureStoreSheetFetches(App& app) {
    const int ids = bench::quickOr(2000, 100);
    const std::string figure = "creative_store_sheets_" + std::to_string(ids) + "_ids";
    const std::string html = storeFetchCreativeHTML(ids, bench::quickOr(20, 5), 100 * 1024);
    Stage* stage = startStage([html](const std::string& unit, int served) {
        adserver::StandardAd ad = plainAd();
        if (unit == kPingerUnit && served == 0) ad.html = html;
        return ad;
    });
    if (!stage) return noFigure(figure + "_peak_resident_mb", "the local server did not start");
    const double residentBefore = statusMB("VmRSS");
    const double heapBefore = heapInUseMB();
    double heapPeak = heapBefore;
    auto sampleFor = [&](double seconds) {
        const auto until = SteadyClock::now() + std::chrono::duration<double>(seconds);
        while (SteadyClock::now() < until) {
            runFor(0.05);
            heapPeak = std::max(heapPeak, heapInUseMB());
        }
    };
    auto fetcher = place(app, kPingerUnit);
    if (!fetcher.load()) return noFigure(figure + "_peak_resident_mb", "the fetching ad did not load");
    const std::string all = std::to_string(ids);
    const auto giveUp = SteadyClock::now() + std::chrono::seconds(60);
    while (fetcher.page("String(fetched)") != all && SteadyClock::now() < giveUp) sampleFor(0.2);
    sampleFor(2);
    auto delegate = fetcher.view->slot()->adViewDelegate();
    auto opener = delegate ? delegate->opener() : nullptr;
    printMB(figure + "_resident_before_mb", residentBefore);
    printMB(figure + "_peak_resident_mb", statusMB("VmHWM"));
    printMB(figure + "_heap_in_use_before_mb", heapBefore);
    printMB(figure + "_peak_heap_in_use_mb", heapPeak);
    printCount(figure + "_sheets_held", opener ? opener->cachedStoreProductViewControllerCount() : 0,
               static_cast<std::size_t>(ids));
    std::printf("%s_ids_sent: %s of %d\n", figure.c_str(), fetcher.page("String(fetched)").c_str(), ids);
    return true;
}

const std::vector<Measurement>& measurements() {
    static const std::vector<Measurement> all = {
        {"a", 1024, [](App& app) { return measureHangingAdHost(app, "httpTrack"); }},
        {"a-click", 1024, [](App& app) { return measureHangingAdHost(app, "click"); }},
        {"b", 1024, measureClickBehindHangingPingHost},
        {"c", 1024, measureTricklingAdHost},
        {"c-ping", 1024, measureTricklingPingHost},
        {"d", 1024, measureInterstitialAfterRelease},
        {"e", 1024, measureDescriptorsUnderFlood},
        {"f", 1024, measureFlood},
        {"f128", 128, measureFlood},
        {"g", 1024, measureLongURLs},
        {"h", 1024, measureNextBannerBehindHangingImages},
        {"p", 1024, measurePurchaseReportsHanging},
        {"p-flood", 1024, measurePurchaseReportFlood},
        {"p-sku", 1024, [](App& app) { return measurePurchaseExpansion(app, 20 * 1024); }},
        {"p-sku1k", 1024, [](App& app) { return measurePurchaseExpansion(app, 1024); }},
        {"release", 1024, measureClickBeforeRelease},
        {"release-beside", 1024, measureClicksBesideHoldingPages},
        {"reload", 1024, measureSelfReloadingCreative},
        {"own", 256, measureClicksBesideOwnHangs},
        {"own-20000", 20000, measureClicksBesideOwnHangs},
        {"click-trickle", 1024, [](App& app) { return measureClickShape(app, ClickShape::TricklingTrackers); }},
        {"click-trickle-20000", 20000, [](App& app) { return measureClickShape(app, ClickShape::TricklingTrackers); }},
        {"click-slow", 1024, [](App& app) { return measureClickShape(app, ClickShape::SlowTrackers); }},
        {"click-slow-20000", 20000, [](App& app) { return measureClickShape(app, ClickShape::SlowTrackers); }},
        {"click-soak", 1024, [](App& app) { return measureClickShape(app, ClickShape::Soak); }},
        {"click-chaos", 1024, [](App& app) { return measureClickShape(app, ClickShape::Chaos); }},
        {"store", 1024, measureStoreSheetFetches},
    };
    return all;
}

// One measurement in this process, which it leaves without tearing the servers down.
[[noreturn]] void runChild(const Measurement& m) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Before the network engine first runs: it reads the limit then.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = std::min(m.descriptors, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        descriptorLimit = limit.rlim_cur;
    }
    statusFile = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    std::string pattern = std::string("/tmp/ruzave-bench-creative-requests-") + m.key + "-XXXXXX";
    std::vector<char> home(pattern.begin(), pattern.end());
    home.push_back('\0');
    if (::mkdtemp(home.data()) == nullptr) {
        std::printf("creative_requests_%s: no temporary folder for the app home, no figure\n", m.key);
        std::_Exit(1);
    }
    ::setenv("RUZAVE_APP_HOME", home.data(), 1);
    installLogSink();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    bool ok = false;
    {
        App app;
        ok = m.run(app);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    platform::Sandbox::removeItem(home.data());
    std::_Exit(ok ? 0 : 1);
}

int runInChild(const char* self, const Measurement& m) {
    std::fflush(stdout);
    char child[] = "--child";
    std::string key = m.key;
    char* argv[] = {const_cast<char*>(self), child, key.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) {
        std::printf("creative_requests_%s: could not start, no figure\n", m.key);
        return 1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    std::printf("creative_requests_%s: ended by signal %d, no figure\n", m.key,
                WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        for (const auto& m : measurements())
            if (m.key == std::string(argv[2])) runChild(m);
        return 2;
    }
    std::set<std::string> picked(argv + 1, argv + argc);
    // A quick run leaves out the 900 KB URLs: under the sanitizers, making them takes the pinging page past
    // its share of the main thread, so it is stopped before it loads.
    const std::set<std::string> slow = {"g"};
    int status = 0;
    for (const auto& m : measurements()) {
        if (!picked.empty() && !picked.count(m.key)) continue;
        if (picked.empty() && bench::quick() && slow.count(m.key)) {
            std::printf("creative_requests_%s: left out of quick runs\n", m.key);
            continue;
        }
        status = std::max(status, runInChild(argv[0], m));
    }
    return status;
}
