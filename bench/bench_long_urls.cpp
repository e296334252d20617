// What pages of 2 MB URLs cost the process: the peak resident memory (VmHWM) of a page under its
// default budget (64 MB) that uses URLs of 2 MB (just under the longest a page may use) on one road until
// the page is refused or stopped, or for at most 8 s, with every URL on a host that hangs (a listener
// that never accepts), so that the loads stay under way. Each road runs in a child process of its own
// (forked before anything is set up), so each peak stands alone: a real web view on the real clock and
// the real network engine, in a window of the app.
//   location_href: location.href set to fresh 2 MB URLs, 8 a script entry, until one is refused (the
//     page's script throws; for images, also an image's error event).
//   timer_location_href, timer_image_src: a 10 ms setInterval setting a fresh 1 MB URL each time as
//     location.href, or as the src of a new Image.
//   image_new, image_element: new Image().src, or <img> elements added to the body.
//   location_replace, window_open, iframe_src: location.replace, window.open, <iframe> elements with
//     src added to the body.
//   ad_open: the ad bridge's open (gmsg .../open?a=browser&u=<2 MB URL>) from a page in the SDK's ad
//     view, whose opener puts up the in-app browser loading the URL.
//   quiet_page: the same page making no long URL, for scale.
// Each prints `<road>_peak: N MB` and `<road>_ended:` how it ended (refused, stopped, or none refused)
// with the URLs the page set without a throw and the navigations that reached the web view's delegate
// (for ad_open, whether the browser went up).
// Then, for information, the time of URL::parse of a 2 MB URL and of URL::resolve of 2 MB relative
// references of "a/" segments, of "../" segments and of "a/../" pairs (each in a child of its own, given
// 8 s: what takes longer is named so).
// Arguments pick roads by name (default all, and "url_times").
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "bench/BenchDirectFetcher.h"
#include "platform/base/Log.h"
#include "platform/base/URL.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewDelegate.h"
#include "tools/adserver/SilentServer.h"
#include "bench/BenchQuick.h"

namespace {

using bench::msSince;
using bench::SteadyClock;

// Just under the longest URL a page may use (2 MB).
constexpr std::size_t kLongURL = (2u << 20) - 64;
constexpr std::size_t kTimerURL = 1u << 20;
constexpr int kHangingHosts = 32;
const double kRoadSeconds = bench::quickOr(8.0, 1.0);
// After the road ends, what it set going settles for this long before the peak is read.
constexpr double kSettleSeconds = 1;
constexpr int kURLsPerEntry = 8;
constexpr int kChildSeconds = 40;
constexpr int kURLTimeSeconds = 8;

struct Road {
    const char* name;
    const char* kind;   // what the page's one() does with each URL; "" for none
    std::size_t length; // of each URL
    bool timer;         // set from the page's own setInterval rather than in bursts from outside
    bool adView;        // the page in the SDK's ad view
};

const Road kRoads[] = {
    {"quiet_page", "", kLongURL, false, false},
    {"location_href", "href", kLongURL, false, false},
    {"timer_location_href", "href", kTimerURL, true, false},
    {"timer_image_src", "image", kTimerURL, true, false},
    {"image_new", "image", kLongURL, false, false},
    {"image_element", "img", kLongURL, false, false},
    {"location_replace", "replace", kLongURL, false, false},
    {"window_open", "open", kLongURL, false, false},
    {"iframe_src", "iframe", kLongURL, false, false},
    {"ad_open", "adopen", kLongURL, false, true},
};

double peakResidentMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// The page: a 2 MB run of "a" to cut URLs from, and one() making the next URL (on one of the hanging
// hosts in turn, numbered so that each is new) and using it as `kind` says. burst() uses up to n and
// every() one each 10 ms, until one is refused: a throw (its message in `refused`) or an image's
// error event (`errors`).
std::string pageHTML() {
    return "<html><body><script>\n"
           "var pad = 'a'; while (pad.length < (2 << 20)) pad += pad;\n"
           "var made = 0, refused = '', errors = 0, ready = 0, ticker = 0;\n"
           "function host(i) { return 'h' + (i % " +
           std::to_string(kHangingHosts) +
           ") + '.hang.example'; }\n"
           "function longURL(len, i) {\n"
           "  var p = 'https://' + host(i) + '/' + i + '/';\n"
           "  return p + pad.substring(0, len - p.length);\n"
           "}\n"
           "function failed() { errors++; }\n"
           "function one(kind, len) {\n"
           "  var i = made;\n"
           "  if (kind === 'adopen') {\n"
           "    var g = 'gmsg://mobileads.ruzave.example/open?a=browser&u=' +\n"
           "            encodeURIComponent('https://' + host(i) + '/' + i + '/');\n"
           "    location.href = g + pad.substring(0, len - g.length);\n"
           "  } else {\n"
           "    var u = longURL(len, i);\n"
           "    if (kind === 'href') location.href = u;\n"
           "    else if (kind === 'replace') location.replace(u);\n"
           "    else if (kind === 'open') window.open(u);\n"
           "    else if (kind === 'image') { var im = new Image(); im.onerror = failed; im.src = u; }\n"
           "    else if (kind === 'img') {\n"
           "      var el = document.createElement('img'); el.onerror = failed; el.src = u;\n"
           "      document.body.appendChild(el);\n"
           "    } else if (kind === 'iframe') {\n"
           "      var f = document.createElement('iframe'); f.src = u; document.body.appendChild(f);\n"
           "    }\n"
           "  }\n"
           "  made++;\n"
           "}\n"
           "function burst(kind, len, n) {\n"
           "  try { for (var k = 0; k < n && !refused && !errors; k++) one(kind, len); }\n"
           "  catch (e) { refused = String(e && e.message || e) || 'refused'; }\n"
           "  return made;\n"
           "}\n"
           "function every(kind, len) {\n"
           "  ticker = setInterval(function () {\n"
           "    if (refused || errors) { clearInterval(ticker); return; }\n"
           "    try { one(kind, len); } catch (e) { refused = String(e && e.message || e) || 'refused'; }\n"
           "  }, 10);\n"
           "}\n"
           "window.addEventListener('load', function () { ready = 1; });\n"
           "</script></body></html>";
}

// Counts what the web view asks and tells.
struct Watch : platform::WebViewDelegate {
    int asked = 0;
    int failed = 0;
    std::string failure;
    bool shouldStartLoad(platform::WebView&, const platform::URLRequest&,
                         platform::WebViewNavigationType) override {
        ++asked;
        return true;
    }
    void didFailLoad(platform::WebView&, const platform::Error& error) override {
        if (failed++ == 0) failure = error.description;
    }
};

void noFigure(const std::string& name, const std::string& why) {
    std::printf("%s: %s, no figure\n", name.c_str(), why.c_str());
}

int runRoad(const Road& road) {
    const std::string peak = std::string(road.name) + "_peak";
    return bench::runInTemporaryHome(
        "long-urls",
        [&] {
            platform::setLogLevel(platform::LogLevel::Error);
            auto silent = adserver::SilentServer::start();
            if (!silent) {
                noFigure(peak, "the silent server did not start");
                return 1;
            }
            auto config = platform::NetworkConfiguration::sharedInstance();
            for (int h = 0; h < kHangingHosts; ++h)
                config->addHostMapping("h" + std::to_string(h) + ".hang.example", 443, "127.0.0.1",
                                       silent->port());

            auto application = platform::Application::sharedApplication();
            application->finishLaunching();
            application->becomeActive();
            auto window = platform::Window::create();
            auto root = platform::ViewController::create();
            window->setRootViewController(root);
            window->makeKeyAndVisible();

            const auto base = platform::URL::parse("https://creative.example/ad.html");
            auto watch = std::make_shared<Watch>();
            std::shared_ptr<platform::WebView> webView;
            std::shared_ptr<ruzave::GADAdView> adView;
            std::shared_ptr<ruzave::GADAdViewDelegate> router;
            if (road.adView) {
                router = ruzave::GADAdViewDelegate::init();
                adView = ruzave::GADAdView::initWithFrame(platform::Rect(0, 100, 320, 50));
                adView->setDelegate(router);
                root->view()->addSubview(adView);
                adView->setHidden(false);
                adView->setViewController(root);
                adView->loadHTMLString(pageHTML(), base);
                webView = adView->webView();
            } else {
                webView = platform::WebView::create(platform::Rect(0, 0, 320, 480));
                webView->setDelegate(watch);
                root->view()->addSubview(webView);
                webView->loadHTMLString(pageHTML(), base);
            }
            auto evaluate = [&](const std::string& script) {
                return adView ? adView->evaluate(script) : webView->evaluate(script);
            };
            auto& loop = platform::MainLoop::main();
            if (!loop.runUntil([&] { return evaluate("ready") == "1"; }, 10)) {
                noFigure(peak, "the page did not load");
                return 1;
            }
            auto page = webView->currentPage();
            auto stopped = [&] {
                return !page || page->scriptsStopped() || page->isClosed() ||
                       webView->currentPage() != page || watch->failed > 0;
            };

            watch->asked = 0;
            const std::string kind = road.kind, length = std::to_string(road.length);
            const auto started = SteadyClock::now();
            if (*road.kind != '\0' && road.timer) evaluate("every('" + kind + "', " + length + ")");
            std::string refused;
            int errors = 0;
            std::string made = "0";
            bool wasStopped = false;
            // (A stopped page answers nothing: the last count it gave stands.)
            auto noteMade = [&] {
                if (std::string now = evaluate("made"); !now.empty()) made = now;
            };
            while (*road.kind != '\0' && msSince(started) < kRoadSeconds * 1000) {
                noteMade();
                if (!road.timer)
                    evaluate("burst('" + kind + "', " + length + ", " + std::to_string(kURLsPerEntry) + ")");
                loop.runFor(0.02);
                if ((wasStopped = stopped())) break;
                noteMade();
                refused = evaluate("refused");
                errors = std::atoi(evaluate("errors").c_str());
                if (!refused.empty() || errors > 0) break;
            }
            const double ranSeconds = msSince(started) / 1000;
            loop.runFor(kSettleSeconds);
            const double peakMB = peakResidentMB();
            wasStopped = wasStopped || stopped();
            if (!wasStopped) noteMade();

            std::printf("%s: %.0f MB\n", peak.c_str(), peakMB);
            if (*road.kind != '\0') {
                std::string ended;
                if (wasStopped && page && page->scriptsStopped())
                    ended = "stopped (its scripts)";
                else if (wasStopped)
                    ended = "stopped (" + (watch->failure.empty() ? "the page went" : watch->failure) + ")";
                else if (!refused.empty())
                    ended = "refused (" + refused + ")";
                else if (errors > 0)
                    ended = "refused (an image's error event)";
                else
                    ended = "none refused";
                char figures[96];
                std::snprintf(figures, sizeof figures, " after %.1f s, %s%s URLs set", ranSeconds,
                              wasStopped ? "at least " : "", made.c_str());
                ended += figures;
                if (road.adView)
                    ended += root->presentedViewController() ? ", the browser up" : ", no browser up";
                else
                    ended += ", " + std::to_string(watch->asked) + " reached the delegate";
                std::printf("%s_ended: %s\n", road.name, ended.c_str());
            }
            std::fflush(stdout);

            if (adView) {
                adView->closePage();
                adView->removeFromSuperview();
            } else {
                webView->stopLoading();
                webView->removeFromSuperview();
            }
            page.reset();
            adView.reset();
            webView.reset();
            loop.runFor(0.2);
            config->removeAllHostMappings();
            return 0;
        },
        [&](const std::string& why) {
            noFigure(peak, why);
            return 1;
        });
}

// --- URL times -----------------------------------------------------------------------------------

// 2 MB of `piece` over and over, then "x".
std::string repeated(const std::string& piece) {
    std::string text;
    while (text.size() + piece.size() < kLongURL)
        text += piece;
    return text + "x";
}

// The time of `work` on a text made beforehand, or that it did not end in kURLTimeSeconds.
struct URLTime {
    const char* name;
    std::function<std::string()> text;
    std::function<bool(const std::string&)> work;
};

int runURLTime(const URLTime& time) {
    const std::string text = time.text();
    const auto started = SteadyClock::now();
    const bool ok = time.work(text);
    std::printf("%s: %.1f ms%s\n", time.name, msSince(started), ok ? "" : " (no URL came of it)");
    return 0;
}

bool resolves(const std::string& reference) {
    static const auto base = platform::URL::parse("https://host.example/base/dir/page.html").value();
    return platform::URL::resolve(reference, base).has_value();
}

const URLTime kURLTimes[] = {
    {"url_parse_2mb_ms", [] { return "https://host.example/" + repeated(std::string(63, 'a') + "/"); },
     [](const std::string& text) { return platform::URL::parse(text).has_value(); }},
    {"url_resolve_2mb_of_a_segments_ms", [] { return repeated("a/"); }, resolves},
    {"url_resolve_2mb_of_dotdot_segments_ms", [] { return repeated("../"); }, resolves},
    {"url_resolve_2mb_of_a_dotdot_pairs_ms", [] { return repeated("a/../"); }, resolves},
};

// Runs `work` in a child and waits up to `seconds` for it: a child that does not end in time is killed,
// and one that crashes is named.
void inChild(const std::string& name, int seconds, const std::function<int()>& work) {
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) {
        noFigure(name, "fork failed");
        return;
    }
    if (pid == 0) {
        const int status = work();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(status);
    }
    int status = 0;
    const auto started = SteadyClock::now();
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (msSince(started) > seconds * 1000.0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            noFigure(name, "still running after " + std::to_string(seconds) + " s (killed)");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (WIFSIGNALED(status)) noFigure(name, "crashed (signal " + std::to_string(WTERMSIG(status)) + ")");
}

} // namespace

int main(int argc, char** argv) {
    std::set<std::string> picked;
    for (int i = 1; i < argc; ++i)
        picked.insert(argv[i]);
    for (const Road& road : kRoads)
        if (picked.empty() || picked.count(road.name))
            inChild(std::string(road.name) + "_peak", kChildSeconds, [&road] { return runRoad(road); });
    for (const URLTime& time : kURLTimes)
        if (picked.empty() || picked.count("url_times") || picked.count(time.name))
            inChild(time.name, kURLTimeSeconds, [&time] { return runURLTime(time); });
    return 0;
}
