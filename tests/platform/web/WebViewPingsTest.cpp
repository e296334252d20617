// Pages' pings (their tracking and click requests) at a real socket: sent from web views and from
// documents that have closed, to servers that answer late, redirect, hang, or trickle a body or a head,
// beside other creatives' clicks and creatives that reload themselves, at a phone's descriptor limits.
// Each case sets its limit before the network engine first runs (CTest runs each case in a process of
// its own). "Within a second" is measured in real time from the ping's start to the server reading it
// and asserted with room for a loaded machine under the sanitizers; the figure is printed.
// Pings' lives, and how long a host has kept a ping without its head, run on the virtual clock. Long runs
// move it a step at a time, each click read and answered before it moves on (the sockets' own time is
// then what a click waits); cases where a real socket's time decides (a handshake that never comes) keep
// it with real time.
#include <doctest/doctest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/URL.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLError.h"
#include "platform/testing/Harness.h"
#include "tests/platform/net/NetTestSupport.h"
#include "platform/web/WebDocumentRef.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/SilentServer.h"
#include "tools/adserver/TrickleServer.h"

using namespace platform;

namespace {

using Steady = std::chrono::steady_clock;
using adserver::TrickleServer;

// Room for a loaded two-core machine under the sanitizers around a promise of one second.
constexpr double ReadSoon = 3;

const char* const AdHost = "ad.pings.example";
const char* const ClickHost = "click.pings.example";
const char* const TrackHost = "track.pings.example";
const char* const LandingHost = "landing.pings.example";
const char* const LateHost = "late.pings.example";
const char* const ReportHost = "report.pings.example";
constexpr int HangingHosts = 8;

double secondsBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string url(const std::string& host, const std::string& target) { return "https://" + host + target; }

// When the server read each request of a route, by its "n" parameter (noted on the server's thread).
class Arrivals {
public:
    void note(const std::string& n) {
        std::lock_guard lock(mutex_);
        times_[n].push_back(Steady::now());
    }
    std::size_t count(const std::string& n) const {
        std::lock_guard lock(mutex_);
        auto found = times_.find(n);
        return found == times_.end() ? 0 : found->second.size();
    }
    std::optional<Steady::time_point> first(const std::string& n) const {
        std::lock_guard lock(mutex_);
        auto found = times_.find(n);
        if (found == times_.end()) return std::nullopt;
        return found->second.front();
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<Steady::time_point>> times_;
};

// Holds the server's answers until the test lets them go (bounded, so that a failing test still ends).
class Latch {
public:
    void wait() {
        std::unique_lock lock(mutex_);
        opened_.wait_for(lock, std::chrono::seconds(30), [this] { return open_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

struct PingRecorder : URLConnectionDelegate {
    int finishes = 0;
    int failures = 0;
    int status = 0;
    std::string body;
    std::optional<Error> error;
    std::vector<std::string> hops;  // the URL of every request asked, redirects included
    std::optional<URLRequest> willSendRequest(const std::shared_ptr<URLConnection>&, const URLRequest& request,
                                              const std::optional<HTTPURLResponse>&) override {
        hops.push_back(request.url().absoluteString());
        return request;
    }
    void didReceiveResponse(const std::shared_ptr<URLConnection>&, const HTTPURLResponse& response) override {
        status = response.statusCode();
    }
    void didReceiveData(const std::shared_ptr<URLConnection>&, const Bytes& data) override {
        body.append(data.begin(), data.end());
    }
    void didFinishLoading(const std::shared_ptr<URLConnection>&) override { ++finishes; }
    void didFailWithError(const std::shared_ptr<URLConnection>&, const Error& e) override {
        ++failures;
        error = e;
    }
    bool done() const { return finishes + failures > 0; }
};

struct Ping {
    std::shared_ptr<PingRecorder> recorder = std::make_shared<PingRecorder>();
    std::shared_ptr<URLConnection> connection;
    Steady::time_point sent;
};

// A ping of `document` (open or closed), started; none when refused.
std::optional<Ping> sendPing(const WebDocumentRef& document, const std::string& target, Error* error = nullptr) {
    Ping ping;
    ping.connection = document.connectionForPage(URLRequest(*URL::parse(target)), ping.recorder, error, PageLoad::Beacon);
    if (!ping.connection) return std::nullopt;
    ping.sent = Steady::now();
    ping.connection->start();
    return ping;
}

std::size_t finished(const std::vector<Ping>& pings) {
    return static_cast<std::size_t>(
        std::count_if(pings.begin(), pings.end(), [](const Ping& p) { return p.recorder->finishes > 0; }));
}
std::size_t ended(const std::vector<Ping>& pings) {
    return static_cast<std::size_t>(std::count_if(pings.begin(), pings.end(), [](const Ping& p) { return p.recorder->done(); }));
}

// A banner: a web view whose creative's script messages ("gmsg://ping/<target>?<query>") the app sends as
// the page's pings, to the URL it keeps for <target> with the message's query, as an ad SDK sends a
// creative's trackers. What it sent is cancelled when it goes.
class Banner : public WebViewDelegate {
public:
    static std::shared_ptr<Banner> make() {
        auto banner = std::make_shared<Banner>();
        banner->view->setDelegate(banner);
        return banner;
    }
    ~Banner() override {
        for (auto& p : pings) p.connection->cancel();
    }

    std::shared_ptr<WebView> view = WebView::create(Rect(0, 0, 320, 50));
    std::map<std::string, std::string> targets;
    std::vector<Ping> pings;
    std::size_t refused = 0;
    std::map<std::string, std::size_t> refusedTo;  // by target
    std::vector<std::string> refusals;             // why each was refused
    int documents = 0;  // loads finished
    int failedLoads = 0;

    // Loads `html` as the app's next ad in the view and waits for it.
    bool load(testing::Harness& h, const std::string& html, const std::string& base = url(AdHost, "/ad.html")) {
        const int before = documents + failedLoads;
        view->loadHTMLString(html, URL::parse(base));
        return h.runUntil([&] { return documents + failedLoads > before; }, 20);
    }
    // A ping of the current document (a copy: the list grows as the creative sends more).
    Ping send(const std::string& target) {
        auto ping = sendPing(view->currentDocument(), target);
        REQUIRE(ping);
        pings.push_back(*ping);
        return *ping;
    }

    bool shouldStartLoad(WebView& webView, const URLRequest& request, WebViewNavigationType) override {
        const URL& message = request.url();
        if (message.scheme() != "gmsg") return true;
        auto target = targets.find(message.path().substr(1));
        if (target == targets.end()) {
            FAIL_CHECK("a message to no target: " << message.absoluteString());
            return false;
        }
        const std::string to = target->second + "?" + message.query().value_or("");
        Ping ping;
        Error error;
        ping.connection =
            webView.connectionForPage(URLRequest(*URL::parse(to)), ping.recorder, &error, PageLoad::Beacon);
        if (!ping.connection) {
            ++refused;
            ++refusedTo[target->first];
            refusals.push_back(error.description);
            return false;
        }
        ping.sent = Steady::now();
        ping.connection->start();
        pings.push_back(std::move(ping));
        return false;
    }
    void didFinishLoad(WebView&) override { ++documents; }
    void didFailLoad(WebView&, const Error&) override { ++failedLoads; }
};

// A creative that sends `count` pings to hosts that never accept, then reloads itself at once, again and
// again (served by the ad server, each reload fetched anew).
std::string selfReloadingCreative(int count) {
    return "<html><body><p>ad</p><script>\n"
           "for (var i = 0; i < " +
           std::to_string(count) +
           "; i++) location.href = 'gmsg://ping/hang' + (i % 4) + '?i=' + i;\n"
           "location.reload();\n"
           "</script></body></html>";
}

// The servers behind every host the cases use, mapped and trusted: the ad server for hosts that answer
// (its "/click" route notes when each click is read), a listener that never accepts for hosts that hang,
// and trickling listeners made on demand.
struct PingServers : testing::Harness {
    std::unique_ptr<adserver::AdServer> server;
    std::unique_ptr<adserver::SilentServer> silent = adserver::SilentServer::start();
    std::vector<std::unique_ptr<TrickleServer>> trickles;
    std::shared_ptr<Arrivals> clicks;

    PingServers() {
        adserver::Options options;
        options.hostNames = {AdHost, ClickHost, TrackHost, LandingHost, LateHost, ReportHost};
        server = adserver::AdServer::start(options);
        REQUIRE(server != nullptr);
        REQUIRE(silent != nullptr);
        auto config = NetworkConfiguration::sharedInstance();
        config->reset();
        REQUIRE(config->setHostMappings(server->connectToSpec(443)));
        config->setTrustedCAFile(server->caFile());
        for (int i = 0; i < HangingHosts; ++i) config->addHostMapping(hangingHost(i), 443, "127.0.0.1", silent->port());
        clicks = readsOf("/click");
        server->route("/warm", adserver::Response::text("warm"));
    }

    // Routes `path` to an answer at once, noting when each request is read by its "n".
    std::shared_ptr<Arrivals> readsOf(const std::string& path) {
        auto reads = std::make_shared<Arrivals>();
        server->route(path, [reads](const adserver::Request& r) {
            reads->note(r.param("n"));
            return adserver::Response::text("read");
        });
        return reads;
    }

    static std::string hangingHost(int i) { return "hang-" + std::to_string(i % HangingHosts) + ".pings.example"; }

    // A phone's descriptor limit, set before the network engine first runs (it reads the limit then);
    // then one exchange with each of the ad server's hosts, so that the first secure connection's set-up
    // (the trust store, the server's own) is paid before anything is timed, and those hosts are known to
    // answer, as an app's ad server is.
    NetworkEngine::Limits limitDescriptors(rlim_t limit) {
        const NetworkEngine::Limits limits = nettest::limitDescriptors(limit);
        for (const char* host : {AdHost, ClickHost, TrackHost, LandingHost}) {
            auto warm = std::make_shared<PingRecorder>();
            auto connection = URLConnection::create(URLRequest(*URL::parse(url(host, "/warm"))), warm, TransferOrigin::app());
            REQUIRE(runUntil([&] { return warm->done(); }, 60));
            REQUIRE(warm->finishes == 1);
        }
        return limits;
    }

    // `count` host names (plain HTTP) behind a listener of their own that trickles its answer's `what`,
    // a byte every `interval`.
    std::vector<std::string> trickleHosts(const std::string& name, std::chrono::milliseconds interval,
                                          TrickleServer::Trickle what, int count) {
        trickles.push_back(TrickleServer::start(interval, what));
        REQUIRE(trickles.back() != nullptr);
        auto config = NetworkConfiguration::sharedInstance();
        std::vector<std::string> hosts;
        for (int i = 0; i < count; ++i) {
            hosts.push_back(name + "-" + std::to_string(i) + ".pings.example");
            config->addHostMapping(hosts.back(), 80, "127.0.0.1", trickles.back()->port());
        }
        return hosts;
    }

    // `count` host names (plain HTTP) whose server reads each request and never completes its answer's
    // head: a ping to one holds its place for its life.
    std::vector<std::string> deadHosts(int count) {
        return trickleHosts("dead", std::chrono::seconds(1), TrickleServer::Trickle::Head, count);
    }

    // Seconds from the click's start to the server reading it; REQUIREs it read.
    double clickReadAfter(const Ping& click, const std::string& n) {
        REQUIRE(runUntil([&] { return clicks->count(n) > 0; }, 20));
        return secondsBetween(click.sent, *clicks->first(n));
    }

    // Lets the main loop run for `seconds` of real time.
    void pass(double seconds) { runUntil([] { return false; }, seconds); }

    // Moves the clock `seconds` on a second at a time, the loop and the network running a moment at each, so
    // that what is under way meanwhile is seen under way that long.
    void stepClock(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            advance(1);
            pass(0.05);
        }
    }

    // Runs the loop until `pred` holds or `seconds` of real time pass, the clock moving on with real time
    // at `pace`, for what real sockets and the clock's lives decide together. Below 1, a loaded machine's
    // slow exchange does not pass for a slow server.
    bool keepTime(const std::function<bool()>& pred, double seconds, double pace = 1) {
        constexpr double Slice = 0.1;
        const auto end = Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
        while (Steady::now() < end) {
            if (runUntil(pred, Slice)) return true;
            advance(Slice * pace);
        }
        return pred();
    }
};

// Pings that have filled every ordinary place pings may hold (the rest is the reserve).
bool ordinaryPlacesFull(const NetworkEngine::Limits& limits) {
    return NetworkEngine::shared().pingCounts().underWay >= limits.pingTransfers - limits.pingReserve;
}

void trackersThatRedirectFinish(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    auto trackRead = std::make_shared<Arrivals>();
    auto closed = std::make_shared<Latch>();
    // Each tracker answers once the page has closed, sending it on to another host.
    s.server->route("/track", [trackRead, closed](const adserver::Request& r) {
        trackRead->note(r.param("n"));
        closed->wait();
        return adserver::Response::redirect(url(LandingHost, "/landed?n=" + r.param("n")));
    });
    auto landingRead = s.readsOf("/landed");
    auto banner = Banner::make();
    banner->targets["track"] = url(TrackHost, "/track");
    constexpr int Trackers = 8;
    REQUIRE(banner->load(s, "<p>ad</p><script>for (var i = 0; i < " + std::to_string(Trackers) +
                                "; i++) location.href = 'gmsg://ping/track?n=' + i;</script>"));
    REQUIRE(s.runUntil([&] { return banner->pings.size() == Trackers; }));
    auto first = banner->view->currentPage();
    // Under way (read, answer still to come) as the app loads the next ad into the view; at the lowest
    // limits the rest still wait for a place.
    REQUIRE(s.runUntil([&] { return trackRead->count("0") > 0; }));
    REQUIRE(banner->load(s, "<p>next ad</p>"));
    CHECK(first->isClosed());
    CHECK(ended(banner->pings) == 0);
    closed->open();

    REQUIRE(s.runUntil([&] { return ended(banner->pings) == Trackers; }, 30));
    for (int n = 0; n < Trackers; ++n) {
        CAPTURE(n);
        const std::string id = std::to_string(n);
        const PingRecorder& r = *banner->pings[static_cast<std::size_t>(n)].recorder;
        CHECK(r.finishes == 1);
        CHECK(r.failures == 0);
        CHECK(r.status == 200);
        CHECK(r.body.empty());
        REQUIRE(r.hops.size() == 2);
        CHECK(URL::parse(r.hops[1])->host() == LandingHost);
        CHECK(trackRead->count(id) == 1);
        CHECK(landingRead->count(id) == 1);
    }
    MESSAGE("ping places " << limits.pingTransfers << " of which reserve " << limits.pingReserve);
    CHECK(s.runUntil([] { return NetworkEngine::shared().pingCounts().admitted == 0; }));
}

void clickBesideSelfReloadingCreative(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    adserver::Response creative = adserver::Response::html(selfReloadingCreative(16));
    creative.header("Cache-Control", "no-store");
    s.server->route("/reloading.html", creative);
    auto reloading = Banner::make();
    for (int i = 0; i < 4; ++i) reloading->targets["hang" + std::to_string(i)] = url(PingServers::hangingHost(i), "/hang");
    reloading->view->loadRequest(URLRequest(*URL::parse(url(AdHost, "/reloading.html"))));
    auto other = Banner::make();
    REQUIRE(other->load(s, "<p>another ad</p>"));
    // Reloaded many times, past its ad's quota of pings, which hang holding what places they got.
    INFO("documents " << reloading->documents << ", failed " << reloading->failedLoads << ", pings "
                      << reloading->pings.size() << ", refused " << reloading->refused << ", served "
                      << s.server->requestCount("/reloading.html"));
    REQUIRE(s.runUntil([&] { return reloading->documents >= 50 && reloading->refused > 0; }, 60));
    REQUIRE(s.runUntil([&] { return ordinaryPlacesFull(limits); }, 20));

    const int before = reloading->documents;
    const Ping click = other->send(url(ClickHost, "/click?n=other"));
    const double readAfter = s.clickReadAfter(click, "other");
    MESSAGE("another view's click read after " << readAfter << " s, beside " << reloading->pings.size()
                                               << " pings of a creative that reloaded " << reloading->documents
                                               << " times (" << limits.pingTransfers << " ping places)");
    CHECK(readAfter < ReadSoon);
    REQUIRE(s.runUntil([&] { return click.recorder->done(); }));
    CHECK(click.recorder->finishes == 1);
    // It went on reloading meanwhile.
    CHECK(s.runUntil([&] { return reloading->documents > before; }));
    CHECK(ended(reloading->pings) == 0);
    CHECK(NetworkEngine::shared().pingCounts().underWay <= limits.pingTransfers);
}

void clickBesideTricklingPings(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    // 100 bytes a second: a ping is done at its head, so these end at once. A head that trickles as
    // slowly holds its place for the ping's whole life.
    const auto bodyHosts = s.trickleHosts("body", std::chrono::milliseconds(10), TrickleServer::Trickle::Body, 2);
    const auto headHosts = s.trickleHosts("head", std::chrono::milliseconds(10), TrickleServer::Trickle::Head, 4);
    auto bodies = Banner::make();
    auto heads = Banner::make();
    REQUIRE(bodies->load(s, "<p>ad</p>"));
    REQUIRE(heads->load(s, "<p>ad</p>"));
    constexpr int Each = 16;
    for (int i = 0; i < Each; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        bodies->send("http://" + bodyHosts[at % bodyHosts.size()] + "/body?n=" + std::to_string(i));
        heads->send("http://" + headHosts[at % headHosts.size()] + "/head?n=" + std::to_string(i));
    }
    REQUIRE(s.runUntil([&] { return ended(bodies->pings) == Each; }, 20));
    for (const Ping& p : bodies->pings) {
        CHECK(p.recorder->finishes == 1);
        CHECK(p.recorder->status == 200);
        CHECK(p.recorder->body.empty());
    }
    REQUIRE(s.runUntil([&] { return ordinaryPlacesFull(limits); }, 20));

    auto other = Banner::make();
    REQUIRE(other->load(s, "<p>another banner</p>"));
    const Ping click = other->send(url(ClickHost, "/click?n=banner"));
    const double readAfter = s.clickReadAfter(click, "banner");
    MESSAGE("another banner's click read after " << readAfter << " s beside " << Each
                                                 << " pings with trickling heads (" << limits.pingTransfers
                                                 << " ping places)");
    CHECK(readAfter < ReadSoon);
    REQUIRE(s.runUntil([&] { return click.recorder->done(); }));
    CHECK(click.recorder->finishes == 1);

    // The trickling heads hold on short of their life. Its end, from when each was made, ends every one as
    // timed out at once, those still waiting for a place too.
    s.advance(PingScheduler::LifeSeconds - 2);
    s.pass(1.5);
    CHECK(ended(heads->pings) == 0);
    s.advance(3);
    REQUIRE(s.runUntil([&] { return ended(heads->pings) == Each; }, 10));
    for (const Ping& p : heads->pings) {
        CHECK(p.recorder->finishes == 0);
        REQUIRE(p.recorder->error.has_value());
        CHECK(p.recorder->error->code == URLError::TimedOut);
    }
    CHECK(s.runUntil([] { return NetworkEngine::shared().pingCounts().admitted == 0; }));
}

void ownClickBesideSlowTrackers(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    const auto heads = s.trickleHosts("head", std::chrono::milliseconds(250), TrickleServer::Trickle::Head, 1);
    adserver::Response late = adserver::Response::text("late");
    late.delay = std::chrono::seconds(8);
    s.server->route("/late", late);
    auto banner = Banner::make();
    banner->targets["trickle"] = "http://" + heads[0] + "/head";
    banner->targets["late"] = url(LateHost, "/late");
    REQUIRE(banner->load(s, "<p>ad</p><script>var n = 0;\n"
                            "setInterval(function () {\n"
                            "  location.href = 'gmsg://ping/trickle?n=' + n;\n"
                            "  location.href = 'gmsg://ping/late?n=' + n;\n"
                            "  n++;\n"
                            "}, 1000);</script>"));
    // A tracker of each a second, on the app's clock kept with real time: past what one document may
    // have under way on each host, so that more of its trackers wait there.
    constexpr int Seconds = 12;
    for (int second = 0; second < Seconds; ++second) {
        s.advance(1);
        s.pass(1);
    }
    REQUIRE(banner->pings.size() == 2 * Seconds);
    CHECK(NetworkEngine::shared().pingCounts().waiting > 0);

    const Ping click = banner->send(url(ClickHost, "/click?n=own"));
    const double readAfter = s.clickReadAfter(click, "own");
    MESSAGE("the creative's own click read after " << readAfter << " s beside its " << 2 * Seconds
                                                   << " trackers (" << limits.pingTransfers << " ping places)");
    CHECK(readAfter < ReadSoon);
    REQUIRE(s.runUntil([&] { return click.recorder->done(); }));
    CHECK(click.recorder->finishes == 1);
    // The trackers answered at 8 s came and went; those that trickle hold on.
    std::size_t lateFinished = 0;
    for (const Ping& p : banner->pings) {
        if (p.connection->originalRequest().url().host() == LateHost) lateFinished += p.recorder->finishes;
        else if (p.connection != click.connection) CHECK_FALSE(p.recorder->done());
    }
    CHECK(lateFinished > 0);
}

// `what` trickles: a body (100 bytes a second), which a ping does not wait for, or a head, which holds its
// place for its life.
void lateReportsBesideTrickles(PingServers& s, rlim_t limit, int creatives, TrickleServer::Trickle what) {
    const auto limits = s.limitDescriptors(limit);
    const bool heads = what == TrickleServer::Trickle::Head;
    const auto hosts = s.trickleHosts(heads ? "head" : "body", std::chrono::milliseconds(heads ? 100 : 10), what, 6);
    auto reportsRead = s.readsOf("/report");
    std::vector<std::shared_ptr<Banner>> trickling;
    for (int c = 0; c < creatives; ++c) {
        trickling.push_back(Banner::make());
        REQUIRE(trickling.back()->load(s, "<p>ad " + std::to_string(c) + "</p>"));
        for (int i = 0; i < 30; ++i)
            trickling.back()->send("http://" + hosts[static_cast<std::size_t>(i) % hosts.size()] + "/trickle?c=" +
                                   std::to_string(c) + "&n=" + std::to_string(i));
    }
    // Time passes before the reports are made, so that the trickling pings' lives end before theirs.
    constexpr int ReportsAfter = 5;
    if (heads) {
        REQUIRE(s.runUntil([&] { return ordinaryPlacesFull(limits); }, 20));
        s.stepClock(ReportsAfter);
    }

    // A document that offered a purchase, kept as what reports on it holds: its view loads the next ad,
    // or is released, and the reports are made after.
    auto reloaded = Banner::make();
    REQUIRE(reloaded->load(s, "<p>purchase</p>"));
    const WebDocumentRef replacedDocument = reloaded->view->currentDocument();
    REQUIRE(reloaded->load(s, "<p>next ad</p>"));
    auto released = Banner::make();
    REQUIRE(released->load(s, "<p>purchase</p>"));
    const WebDocumentRef releasedDocument = released->view->currentDocument();
    released->view.reset();
    CHECK(releasedDocument.page() == nullptr);

    constexpr int Reports = 12;
    std::vector<Ping> reports;
    int n = 0;
    for (const WebDocumentRef* document : {&replacedDocument, &releasedDocument}) {
        for (int i = 0; i < Reports; ++i) {
            Error error;
            auto report = sendPing(*document, url(ReportHost, "/report?n=" + std::to_string(n++)), &error);
            INFO(error.description);
            REQUIRE(report);
            reports.push_back(std::move(*report));
        }
    }
    const auto sent = Steady::now();
    INFO("reports ended " << ended(reports) << " of " << reports.size() << "; pings under way "
                          << NetworkEngine::shared().pingCounts().underWay << ", waiting "
                          << NetworkEngine::shared().pingCounts().waiting);
    if (heads) {
        // Pings that hang hold every ordinary place: the reports wait their turn, a view's one at a time on
        // the reserve, or at the latest until those pings' lives end, none lost.
        s.runUntil([&] { return ended(reports) == reports.size(); }, 2);
        for (const auto& banner : trickling) CHECK(ended(banner->pings) == 0);
        s.advance(PingScheduler::LifeSeconds - ReportsAfter + 1);
    }
    REQUIRE(s.runUntil([&] { return ended(reports) == reports.size(); }, 10));
    MESSAGE((2 * Reports) << " late reports done after " << secondsBetween(sent, Steady::now()) << " s beside "
                        << creatives << " creatives' 30 pings trickling their " << std::string(heads ? "heads" : "bodies") << " ("
                        << limits.pingTransfers << " ping places, " << limits.pingReserve << " reserve)");
    CHECK(finished(reports) == reports.size());
    for (int i = 0; i < n; ++i) CHECK(reportsRead->count(std::to_string(i)) == 1);
}

// The median, the 99th percentile and the largest of `seconds`, for the figures a case prints.
std::string spread(std::vector<double> seconds) {
    if (seconds.empty()) return "none";
    std::sort(seconds.begin(), seconds.end());
    auto at = [&](double fraction) {
        return seconds[std::min(seconds.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(seconds.size())))];
    };
    std::ostringstream out;
    out << "median " << at(0.5) << " s, p99 " << at(0.99) << " s, max " << seconds.back() << " s";
    return out.str();
}

// The largest of `seconds`; 0 when none.
double longest(const std::vector<double>& seconds) {
    return seconds.empty() ? 0 : *std::max_element(seconds.begin(), seconds.end());
}

// The clicks some banners' creatives send (pings to ClickHost, each named by its "n"), and how soon after
// its start the server read each.
class ClickWatch {
public:
    ClickWatch(std::shared_ptr<Arrivals> reads, std::vector<std::shared_ptr<Banner>> banners)
        : reads_(std::move(reads)), banners_(std::move(banners)), looked_(banners_.size(), 0) {}

    // Notes the clicks sent since the last look.
    void look() {
        for (std::size_t b = 0; b < banners_.size(); ++b) {
            const std::vector<Ping>& pings = banners_[b]->pings;
            for (; looked_[b] < pings.size(); ++looked_[b]) {
                const Ping& ping = pings[looked_[b]];
                const URL& target = ping.connection->originalRequest().url();
                if (target.host() != ClickHost) continue;
                for (const auto& [name, value] : parseQuery(target.query().value_or("")))
                    if (name == "n") sent_.push_back({value, ping.sent, ping.recorder});
            }
        }
    }
    // Whether the server has read every click noted, and its answer has come back (so that nothing of them
    // is under way).
    bool allAnswered() {
        while (unanswered_ < sent_.size() && reads_->count(sent_[unanswered_].n) > 0 && sent_[unanswered_].recorder->done())
            ++unanswered_;
        return unanswered_ == sent_.size();
    }
    std::size_t sent() const { return sent_.size(); }
    // Seconds from each click's start to the server first reading it, of those read.
    std::vector<double> waits() const {
        std::vector<double> out;
        for (const Sent& click : sent_)
            if (auto read = reads_->first(click.n)) out.push_back(secondsBetween(click.at, *read));
        return out;
    }
    // The clicks noted that the server did not read exactly once.
    std::vector<std::string> notReadOnce() const {
        std::vector<std::string> out;
        for (const Sent& click : sent_)
            if (reads_->count(click.n) != 1) out.push_back(click.n);
        return out;
    }
    std::size_t refused() const {
        std::size_t out = 0;
        for (const auto& banner : banners_) out += banner->refusedTo["click"];
        return out;
    }

private:
    struct Sent {
        std::string n;
        Steady::time_point at;
        std::shared_ptr<PingRecorder> recorder;
    };
    std::shared_ptr<Arrivals> reads_;
    std::vector<std::shared_ptr<Banner>> banners_;
    std::vector<std::size_t> looked_;
    std::vector<Sent> sent_;
    std::size_t unanswered_ = 0;
};

// Moves the clock `steps` times `step` seconds on, calling `each(i)` at the start of the ith step. Every
// click the watches see is read and answered before the clock steps on, the clock creeping on meanwhile at
// a tenth of real time (a click under way as the clock jumped would pass for a hop to a slow host). False,
// and stops there, when one is not within ReadSoon.
bool runClocked(PingServers& s, int steps, double step, const std::vector<ClickWatch*>& watches,
                const std::function<void(int)>& each = nullptr) {
    for (int i = 0;; ++i) {
        if (i < steps && each) each(i);
        for (ClickWatch* watch : watches) watch->look();
        auto answered = [&] {
            return std::all_of(watches.begin(), watches.end(), [](ClickWatch* w) { return w->allAnswered(); });
        };
        if (!s.keepTime(answered, ReadSoon, 0.1)) return false;
        if (i == steps) return true;
        s.runUntilIdle();
        s.pass(0.002);
        // Every ping made so far has reached the network thread before the clock moves: one taken only
        // after the jump would start a step late, and a click made then would wait on it.
        s.runUntil([] {
            const auto c = NetworkEngine::shared().pingCounts();
            return c.underWay + c.waiting >= c.admitted;
        }, ReadSoon);
        s.advance(step);
    }
}

// A banner whose creative's "track" messages go to `tracker` and whose "click" messages to ClickHost.
std::shared_ptr<Banner> clickingBanner(const std::string& tracker) {
    auto banner = Banner::make();
    banner->targets["track"] = tracker;
    banner->targets["click"] = url(ClickHost, "/click");
    return banner;
}

// An ad's page that sends `trackers` trackers as it loads and its click `clickAfterMs` later, named by `id`.
std::string adWithClick(const std::string& id, int trackers, int clickAfterMs) {
    return "<p>ad " + id + "</p><script>\n"
           "for (var i = 0; i < " + std::to_string(trackers) + "; i++) location.href = 'gmsg://ping/track?n=" + id +
           "-' + i;\n"
           "setTimeout(function () { location.href = 'gmsg://ping/click?n=" + id + "'; }, " +
           std::to_string(clickAfterMs) + ");\n"
           "</script>";
}

// 20 banners, half refreshing every 10 s and half every 30 s, for 90 s of the clock (three lives of a ping,
// so that pings' lives end under the later ads; the runs of minutes are bench_net_pools', as the page loads
// cost real time): each ad sends
// `trackers` trackers to a host that reads them and never answers, and its click 8 s after its page. Every
// ad is within its floor, so nothing is refused.
void clicksBesideRefreshingBanners(PingServers& s, rlim_t limit, int trackers) {
    const auto limits = s.limitDescriptors(limit);
    const std::string dead = "http://" + s.deadHosts(1)[0] + "/track";
    constexpr int Banners = 20;
    constexpr int Seconds = 90;
    constexpr int ClickAfter = 8;
    std::vector<std::shared_ptr<Banner>> banners;
    for (int b = 0; b < Banners; ++b) banners.push_back(clickingBanner(dead));
    ClickWatch watch(s.clicks, banners);
    std::vector<std::string> due;  // the clicks of ads shown 8 s before the end
    int ads = 0;
    const auto started = Steady::now();
    const bool ran = runClocked(s, Seconds, 1, {&watch}, [&](int second) {
        for (int b = 0; b < Banners; ++b) {
            // Each refreshes at a second of its period of its own.
            const int period = b % 2 == 0 ? 10 : 30;
            if (second % period != (b / 2) * period / 10) continue;
            const std::string id = "b" + std::to_string(b) + "-" + std::to_string(ads++);
            REQUIRE(banners[static_cast<std::size_t>(b)]->load(s, adWithClick(id, trackers, ClickAfter * 1000)));
            if (second + ClickAfter <= Seconds) due.push_back(id);
        }
    });
    const double realSeconds = secondsBetween(started, Steady::now());
    // A click read twice would show meanwhile.
    s.pass(0.5);
    std::size_t refused = 0;
    for (const auto& banner : banners) refused += banner->refused;
    const auto waits = watch.waits();
    const auto notOnce = watch.notReadOnce();
    MESSAGE(watch.sent() << " clicks of " << ads << " ads with " << trackers << " trackers each to a host that "
                         << "never answers, read after " << spread(waits) << "; " << refused << " pings refused ("
                         << limits.pingTransfers << " ping places, " << limits.pingReserve << " reserve; "
                         << realSeconds << " s of real time)");
    CHECK(ran);
    CHECK(refused == 0);
    CHECK(watch.sent() == due.size());
    CHECK(waits.size() == watch.sent());
    INFO("first not read once: " << (notOnce.empty() ? std::string("none") : notOnce.front()));
    CHECK(notOnce.empty());
    CHECK(longest(waits) < ReadSoon);
}

// A healthy banner whose ad sends 5 trackers and then 12 as its impression to a host that answers, and
// whose tap clicks, beside a creative whose pings to hosts that read them and never answer hold every
// ordinary place: the impression's first tracker and the click are each read within a second.
void healthyAdsBesideHangingPings(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    auto tracks = s.readsOf("/track");
    const auto dead = s.deadHosts(8);
    auto hanging = Banner::make();
    REQUIRE(hanging->load(s, "<p>ad</p>"));
    // Its ad's quota of them, more than one document may have under way on those hosts.
    constexpr int Hanging = 64;
    for (int i = 0; i < Hanging; ++i)
        hanging->send("http://" + dead[static_cast<std::size_t>(i) % dead.size()] + "/hang?n=" + std::to_string(i));
    REQUIRE(s.runUntil([&] { return ordinaryPlacesFull(limits); }, 20));
    // They have hung a while.
    s.stepClock(2);

    for (int trackers : {5, 12}) {
        CAPTURE(trackers);
        const std::string id = std::to_string(trackers);
        auto healthy = clickingBanner(url(TrackHost, "/track"));
        const auto shown = Steady::now();
        REQUIRE(healthy->load(s, "<p>ad</p><script>for (var i = 0; i < " + id +
                                     "; i++) location.href = 'gmsg://ping/track?n=" + id + "-' + i;</script>"));
        const Ping tap = healthy->send(url(ClickHost, "/click?n=" + id));
        // The clock keeps with real time: a host not known to answer yet waits for the reserve's probe of
        // another such host to answer or turn slow.
        REQUIRE(s.keepTime([&] { return ended(healthy->pings) == healthy->pings.size(); }, 30));
        REQUIRE(tracks->first(id + "-0"));
        const double impressionAfter = secondsBetween(shown, *tracks->first(id + "-0"));
        const double clickAfter = s.clickReadAfter(tap, id);
        MESSAGE("an ad with " << trackers << " trackers: its first read after " << impressionAfter
                              << " s, its click after " << clickAfter << " s, beside " << Hanging
                              << " hanging pings (" << limits.pingTransfers << " ping places)");
        CHECK(impressionAfter < ReadSoon);
        CHECK(clickAfter < ReadSoon);
        CHECK(finished(healthy->pings) == healthy->pings.size());
        for (int i = 0; i < trackers; ++i) CHECK(tracks->count(id + "-" + std::to_string(i)) == 1);
    }
    CHECK(ended(hanging->pings) == 0);
}

// Banners each with one tracker to a host that never completes its handshake, 5 and then 20 of them, and
// after each set a healthy ad whose impression and tap's click go to hosts that answer: each read within
// the time a stuck hop takes to hand its place on. The clock keeps with real time.
void healthyAdsBesideStuckHandshakes(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    auto impressions = s.readsOf("/track");
    const double soon = NetworkEngine::StuckConnectionSeconds + ReadSoon;
    std::vector<std::shared_ptr<Banner>> stuck;
    for (std::size_t beside : {5u, 20u}) {
        CAPTURE(beside);
        while (stuck.size() < beside) {
            stuck.push_back(Banner::make());
            REQUIRE(stuck.back()->load(s, "<p>ad</p>"));
            stuck.back()->send(url(PingServers::hangingHost(static_cast<int>(stuck.size())), "/hang"));
        }
        const std::string id = std::to_string(beside);
        auto healthy = clickingBanner(url(TrackHost, "/track"));
        const auto shown = Steady::now();
        REQUIRE(healthy->load(s, "<p>ad</p><script>location.href = 'gmsg://ping/track?n=" + id + "';</script>"));
        const Ping tap = healthy->send(url(ClickHost, "/click?n=" + id));
        REQUIRE(s.keepTime([&] { return impressions->count(id) > 0 && s.clicks->count(id) > 0; }, 30));
        const double impressionAfter = secondsBetween(shown, *impressions->first(id));
        const double clickAfter = secondsBetween(tap.sent, *s.clicks->first(id));
        MESSAGE("beside " << beside << " trackers stuck in their handshake, the impression read after "
                          << impressionAfter << " s, the click after " << clickAfter << " s ("
                          << limits.pingTransfers << " ping places)");
        CHECK(impressionAfter < soon);
        CHECK(clickAfter < soon);
    }
    // Never sent, so never ended: each waits on within its life.
    for (const auto& banner : stuck) CHECK(ended(banner->pings) == 0);
}

// `creatives` creatives, each sending 12 trackers to a host that reads them and never answers and then
// `chains` tracking redirect chains of 10 hops to the most a connection follows (its first request and
// URLConnection::MaximumRedirects more) between two hosts that answer at once: every chain completes, each
// hop read once, while the trackers hold every ordinary place.
void redirectChainsBesideHangingTrackers(PingServers& s, rlim_t limit, int creatives, int chains) {
    const auto limits = s.limitDescriptors(limit);
    auto hops = std::make_shared<Arrivals>();
    // "/chain?n=<chain>&left=<redirects to go>", each hop on the other host.
    s.server->route("/chain", [hops](const adserver::Request& r) {
        const std::string n = r.param("n");
        const int left = std::stoi(r.param("left"));
        hops->note(n + "/" + std::to_string(left));
        if (left == 0) return adserver::Response::text("done");
        return adserver::Response::redirect(url(left % 2 == 0 ? LandingHost : TrackHost,
                                                "/chain?n=" + n + "&left=" + std::to_string(left - 1)));
    });
    const std::string dead = "http://" + s.deadHosts(1)[0] + "/hang?n=";
    struct Chain {
        std::string n;
        int hops;  // requests: its first and each redirect's
        Ping ping;
    };
    std::vector<std::shared_ptr<Banner>> banners;
    // The creatives come a second apart, as an app shows them: the host is known to hang after the first
    // second, so that only the first creative's trackers could have taken a reserve place.
    for (int c = 0; c < creatives; ++c) {
        if (c > 0) s.stepClock(1);
        banners.push_back(Banner::make());
        REQUIRE(banners.back()->load(s, "<p>ad " + std::to_string(c) + "</p>"));
        for (int i = 0; i < 12; ++i) banners.back()->send(dead + std::to_string(i));
    }
    // The trackers hang a while, then each creative sends its chains.
    s.stepClock(2);
    std::vector<Chain> sent;
    for (int c = 0; c < creatives; ++c) {
        for (int k = 0; k < chains; ++k) {
            const int most = URLConnection::MaximumRedirects + 1;
            const int length = chains == 1 ? most : 10 + k * (most - 10) / (chains - 1);
            const std::string n = std::to_string(c) + "-" + std::to_string(k);
            const std::string first = url(LandingHost, "/chain?n=" + n + "&left=" + std::to_string(length - 1));
            sent.push_back({n, length, banners[static_cast<std::size_t>(c)]->send(first)});
        }
    }
    const auto started = Steady::now();
    const bool done = s.keepTime([&] {
        return std::all_of(sent.begin(), sent.end(), [](const Chain& chain) { return chain.ping.recorder->done(); });
    }, 20, 0.1);
    int total = 0;
    for (const Chain& chain : sent) total += chain.hops;
    MESSAGE(sent.size() << " chains of " << total << " hops done after " << secondsBetween(started, Steady::now())
                        << " s beside " << 12 * creatives << " hanging trackers (" << limits.pingTransfers
                        << " ping places)");
    CHECK(done);
    for (const Chain& chain : sent) {
        CAPTURE(chain.n);
        const PingRecorder& r = *chain.ping.recorder;
        CHECK(r.finishes == 1);
        CHECK(r.status == 200);
        CHECK(r.hops.size() == static_cast<std::size_t>(chain.hops));
        int readOnce = 0;
        for (int left = 0; left < chain.hops; ++left) readOnce += hops->count(chain.n + "/" + std::to_string(left)) == 1;
        CHECK(readOnce == chain.hops);
    }
    for (const auto& banner : banners) CHECK(ended(banner->pings) == static_cast<std::size_t>(chains));
}

// Another view's pings to hosts that read them and never answer hold every ordinary place. Beside them a
// creative sends 3 trackers as it loads and opens a screen every 1.2 s for 15 s of the clock, each a web
// view of its own joined to the creative that sends one tracker: in turn a web-app overlay (its markup), a
// two-part expand (a page the ad server serves) and an overlay's subview (joined to the screen before it).
// Each of the creative's trackers goes to a host of its own that reads it and never answers; a screen is let
// go when the next opens, its tracker going on. Another banner shows an ad from the ad server every 4 s, whose
// impression as it loads, and its click and an httpTrack a second later, are each read within a second. The
// creative and its screens take turns as one view: they hold one reserve place at most, never one per screen.
void screensBesideAnotherBanner(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    constexpr int OwnTrackers = 3;
    constexpr double Step = 0.2;
    constexpr int Steps = 75;         // 15 s
    constexpr int ScreenEvery = 6;    // steps: 1.2 s
    constexpr int OtherAdEvery = 20;  // steps: 4 s, the first at 2 s
    constexpr int Screens = (Steps - 1) / ScreenEvery + 1;
    const auto hanging = s.deadHosts(8);
    const auto creativeHosts =
        s.trickleHosts("screens", std::chrono::seconds(1), TrickleServer::Trickle::Head, OwnTrackers + Screens);
    const TrickleServer& creativeServer = *s.trickles.back();
    s.server->route("/part-two.html", adserver::Response::html(
                                          "<p>part two</p><script>location.href = 'gmsg://ping/track';</script>"));
    s.server->route("/other-ad.html", [](const adserver::Request& r) {
        const std::string k = r.param("k");
        return adserver::Response::html("<p>other ad " + k + "</p><script>\n"
                                        "location.href = 'gmsg://ping/impression?n=impression-" + k + "';\n"
                                        "setTimeout(function () {\n"
                                        "  location.href = 'gmsg://ping/click?n=click-" + k + "';\n"
                                        "  location.href = 'gmsg://ping/httpTrack?n=httpTrack-" + k + "';\n"
                                        "}, 1000);</script>");
    });
    // An ad's quota of them, more than one document may have under way on those hosts; known slow by the
    // time the creative comes.
    auto holding = Banner::make();
    REQUIRE(holding->load(s, "<p>ad</p>"));
    for (int i = 0; i < 64; ++i)
        holding->send("http://" + hanging[static_cast<std::size_t>(i) % hanging.size()] + "/hang?n=" +
                      std::to_string(i));
    REQUIRE(s.runUntil([&] { return ordinaryPlacesFull(limits); }, 20));
    s.stepClock(2);

    auto creative = Banner::make();
    for (int i = 0; i < OwnTrackers; ++i)
        creative->targets["track" + std::to_string(i)] =
            "http://" + creativeHosts[static_cast<std::size_t>(i)] + "/track";
    REQUIRE(creative->load(s, "<p>ad</p><script>for (var i = 0; i < " + std::to_string(OwnTrackers) +
                                  "; i++) location.href = 'gmsg://ping/track' + i;</script>"));
    auto other = Banner::make();
    for (const char* target : {"impression", "click", "httpTrack"}) other->targets[target] = url(ClickHost, "/click");
    ClickWatch watch(s.clicks, {other});

    std::shared_ptr<Banner> screen;
    std::vector<Ping> kept;  // the trackers of screens let go
    int screens = 0;
    int otherAds = 0;
    const auto started = Steady::now();
    const bool ran = runClocked(s, Steps, Step, {&watch}, [&](int step) {
        if (step % ScreenEvery == 0) {
            auto next = Banner::make();
            const int kind = screens % 3;
            next->view->joinAdOf(kind == 2 ? *screen->view : *creative->view);
            next->targets["track"] =
                "http://" + creativeHosts[static_cast<std::size_t>(OwnTrackers + screens)] + "/track";
            if (kind == 1)
                next->view->loadRequest(URLRequest(*URL::parse(url(AdHost, "/part-two.html"))));
            else
                next->view->loadHTMLString("<p>screen</p><script>location.href = 'gmsg://ping/track';</script>",
                                           URL::parse(url(AdHost, "/screen.html")));
            REQUIRE(s.runUntil([&] { return next->documents == 1 && next->pings.size() == 1; }, 20));
            if (screen) {
                kept.insert(kept.end(), screen->pings.begin(), screen->pings.end());
                screen->pings.clear();
            }
            screen = next;
            ++screens;
        }
        if (step % OtherAdEvery == OtherAdEvery / 2) {
            const int before = other->documents;
            other->view->loadRequest(
                URLRequest(*URL::parse(url(ClickHost, "/other-ad.html?k=" + std::to_string(otherAds++)))));
            REQUIRE(s.runUntil([&] { return other->documents > before; }, 20));
        }
    });
    const double realSeconds = secondsBetween(started, Steady::now());
    const auto waits = watch.waits();
    // None of the creative's trackers ends within the run (their life is longer), so what their server read
    // is what the creative and its screens held at once, late reads included.
    s.pass(0.5);
    const std::size_t creativeReads = creativeServer.requestCount();
    MESSAGE("the other banner's " << watch.sent() << " impressions, clicks and httpTracks read after "
                                  << spread(waits) << " beside a creative's " << screens << " screens, of whose "
                                  << OwnTrackers + screens << " trackers " << creativeReads << " were read ("
                                  << limits.pingTransfers << " ping places, " << limits.pingReserve << " reserve; "
                                  << realSeconds << " s of real time)");
    CHECK(ran);
    CHECK(screens == Screens);
    CHECK(watch.sent() == static_cast<std::size_t>(3 * otherAds));
    CHECK(watch.notReadOnce().empty());
    CHECK(other->refused == 0);
    CHECK(longest(waits) < ReadSoon);
    CHECK(creative->pings.size() == OwnTrackers);
    CHECK(creativeReads <= 1);
    CHECK(ended(holding->pings) == 0);
    for (const Ping& p : kept) CHECK_FALSE(p.recorder->done());
    for (Ping& p : kept) p.connection->cancel();
}

} // namespace

TEST_CASE_FIXTURE(PingServers, "WebView: eight trackers that redirect once, under way as the app loads the next ad, "
                               "all finish with each hop read once at 64 descriptors") {
    trackersThatRedirectFinish(*this, 64);
}

TEST_CASE_FIXTURE(PingServers, "WebView: eight trackers that redirect once, under way as the app loads the next ad, "
                               "all finish with each hop read once at 256 descriptors") {
    trackersThatRedirectFinish(*this, 256);
}

TEST_CASE_FIXTURE(PingServers, "WebView: another view's click is read within a second beside a creative that keeps "
                               "reloading itself with pings that hang at 64 descriptors") {
    clickBesideSelfReloadingCreative(*this, 64);
}

TEST_CASE_FIXTURE(PingServers, "WebView: another view's click is read within a second beside a creative that keeps "
                               "reloading itself with pings that hang at 256 descriptors") {
    clickBesideSelfReloadingCreative(*this, 256);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a 17th view's click is read within a second beside 16 views with 16 hanging "
                               "pings each at 1,024 descriptors") {
    const auto limits = limitDescriptors(1024);
    std::vector<std::shared_ptr<Banner>> holding;
    for (int v = 0; v < 16; ++v) {
        holding.push_back(Banner::make());
        REQUIRE(holding.back()->load(*this, "<p>ad " + std::to_string(v) + "</p>"));
        for (int i = 0; i < 16; ++i) holding.back()->send(url(hangingHost(i), "/hang?v=" + std::to_string(v)));
    }
    REQUIRE(runUntil([&] { return ordinaryPlacesFull(limits); }, 30));
    CHECK(NetworkEngine::shared().pingCounts().admitted == 16 * 16);

    auto seventeenth = Banner::make();
    REQUIRE(seventeenth->load(*this, "<p>ad 17</p>"));
    const Ping click = seventeenth->send(url(ClickHost, "/click?n=17"));
    const double readAfter = clickReadAfter(click, "17");
    MESSAGE("the 17th view's click read after " << readAfter << " s beside "
                                                << NetworkEngine::shared().pingCounts().underWay << " pings under way");
    CHECK(readAfter < ReadSoon);
    REQUIRE(runUntil([&] { return click.recorder->done(); }));
    CHECK(click.recorder->finishes == 1);
    CHECK(NetworkEngine::shared().pingCounts().underWay <= limits.pingTransfers);
    for (const auto& banner : holding) CHECK(ended(banner->pings) == 0);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a previous ad's click answered at 8 s arrives once beside a creative that "
                               "keeps reloading itself in the same view at 64 descriptors") {
    limitDescriptors(64);
    auto lateClicks = std::make_shared<Arrivals>();
    server->route("/late-click", [lateClicks](const adserver::Request& r) {
        lateClicks->note(r.param("n"));
        auto answer = adserver::Response::text("clicked");
        answer.delay = std::chrono::seconds(8);
        return answer;
    });
    adserver::Response creative = adserver::Response::html(selfReloadingCreative(16));
    creative.header("Cache-Control", "no-store");
    server->route("/reloading.html", creative);

    auto banner = Banner::make();
    for (int i = 0; i < 4; ++i) banner->targets["hang" + std::to_string(i)] = url(hangingHost(i), "/hang");
    REQUIRE(banner->load(*this, "<p>previous ad</p>"));
    const Ping click = banner->send(url(ClickHost, "/late-click?n=previous"));
    REQUIRE(runUntil([&] { return lateClicks->count("previous") > 0; }));
    // The app loads the next ad into the same view: a creative that reloads itself without end.
    banner->view->loadRequest(URLRequest(*URL::parse(url(AdHost, "/reloading.html"))));
    REQUIRE(runUntil([&] { return click.recorder->done(); }, 30));
    const double doneAfter = secondsBetween(click.sent, Steady::now());
    MESSAGE("the previous ad's click done after " << doneAfter << " s, the view reloaded " << banner->documents
                                                  << " times meanwhile");
    CHECK(click.recorder->finishes == 1);
    CHECK(click.recorder->status == 200);
    CHECK(doneAfter >= 8);
    CHECK(banner->documents > 2);
    runUntil([] { return false; }, 0.5);
    CHECK(lateClicks->count("previous") == 1);
}

TEST_CASE_FIXTURE(PingServers, "WebView: another banner's click is read within a second beside pings whose body or "
                               "head trickles, a trickling head holding its place for its life, at 64 descriptors") {
    clickBesideTricklingPings(*this, 64);
}

TEST_CASE_FIXTURE(PingServers, "WebView: another banner's click is read within a second beside pings whose body or "
                               "head trickles, a trickling head holding its place for its life, at 128 descriptors") {
    clickBesideTricklingPings(*this, 128);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a creative's own click is read within a second beside its trackers each "
                               "second to a host trickling its head and one answering at 8 s at 256 descriptors") {
    ownClickBesideSlowTrackers(*this, 256);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a creative's own click is read within a second beside its trackers each "
                               "second to a host trickling its head and one answering at 8 s at 1,024 descriptors") {
    ownClickBesideSlowTrackers(*this, 1024);
}

TEST_CASE_FIXTURE(PingServers, "WebView: reports a closed document sends after its view moved on or went all arrive "
                               "at once beside another creative's 30 trickling pings at 64 descriptors") {
    lateReportsBesideTrickles(*this, 64, 1, TrickleServer::Trickle::Body);
}

TEST_CASE_FIXTURE(PingServers, "WebView: reports a closed document sends after its view moved on or went all arrive "
                               "at once beside eight creatives' 30 trickling pings each at 256 descriptors") {
    lateReportsBesideTrickles(*this, 256, 8, TrickleServer::Trickle::Body);
}

TEST_CASE_FIXTURE(PingServers, "WebView: reports a closed document sends beside eight creatives' 30 pings with "
                               "trickling heads each wait their turn, none lost, at 256 descriptors") {
    lateReportsBesideTrickles(*this, 256, 8, TrickleServer::Trickle::Head);
}

TEST_CASE_FIXTURE(PingServers, "WebView: every click of 20 refreshing banners' ads is admitted and read once within a "
                               "second beside their 2 trackers each to a host that never answers, over 90 s at "
                               "256 descriptors") {
    clicksBesideRefreshingBanners(*this, 256, 2);
}

TEST_CASE_FIXTURE(PingServers, "WebView: every click of 20 refreshing banners' ads is admitted and read once within a "
                               "second beside their 12 trackers each to a host that never answers, over 90 s at "
                               "256 descriptors") {
    clicksBesideRefreshingBanners(*this, 256, 12);
}

TEST_CASE_FIXTURE(PingServers, "WebView: every click of 20 refreshing banners' ads is admitted and read once within a "
                               "second beside their 2 trackers each to a host that never answers, over 90 s at "
                               "1,024 descriptors") {
    clicksBesideRefreshingBanners(*this, 1024, 2);
}

TEST_CASE_FIXTURE(PingServers, "WebView: every click of 20 refreshing banners' ads is admitted and read once within a "
                               "second beside their 12 trackers each to a host that never answers, over 90 s at "
                               "1,024 descriptors") {
    clicksBesideRefreshingBanners(*this, 1024, 12);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a creative's web-app overlays and two-part expands take its view's turn: "
                               "another banner's impression, click and httpTrack are read within a second beside "
                               "one opening a screen every 1.2 s, each with a tracker to a host that never answers, "
                               "at 64 descriptors") {
    screensBesideAnotherBanner(*this, 64);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a creative's web-app overlays and two-part expands take its view's turn: "
                               "another banner's impression, click and httpTrack are read within a second beside "
                               "one opening a screen every 1.2 s, each with a tracker to a host that never answers, "
                               "at 128 descriptors") {
    screensBesideAnotherBanner(*this, 128);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a creative's web-app overlays and two-part expands take its view's turn: "
                               "another banner's impression, click and httpTrack are read within a second beside "
                               "one opening a screen every 1.2 s, each with a tracker to a host that never answers, "
                               "at 256 descriptors") {
    screensBesideAnotherBanner(*this, 256);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a healthy ad's first of 5 or 12 trackers and its click are read within a "
                               "second beside a creative whose hanging pings hold every ordinary place at 64 "
                               "descriptors") {
    healthyAdsBesideHangingPings(*this, 64);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a healthy ad's first of 5 or 12 trackers and its click are read within a "
                               "second beside a creative whose hanging pings hold every ordinary place at 256 "
                               "descriptors") {
    healthyAdsBesideHangingPings(*this, 256);
}

TEST_CASE_FIXTURE(PingServers, "WebView: another banner's taps are read within a second beside one view whose ads "
                               "refresh every 3 s with four trackers that hang and a click each, at 64 descriptors") {
    const auto limits = limitDescriptors(64);
    auto refreshing = clickingBanner("http://" + deadHosts(1)[0] + "/track");
    auto other = Banner::make();
    REQUIRE(other->load(*this, "<p>another banner</p>"));
    ClickWatch refreshed(clicks, {refreshing});
    ClickWatch taps(clicks, {other});
    constexpr int Seconds = 90;
    const bool ran = runClocked(*this, Seconds, 1, {&refreshed, &taps}, [&](int second) {
        if (second % 3 == 0) REQUIRE(refreshing->load(*this, adWithClick("ad" + std::to_string(second), 4, 1000)));
        if (second % 5 == 4) other->send(url(ClickHost, "/click?n=tap" + std::to_string(second)));
    });
    const auto tapWaits = taps.waits();
    const auto ownWaits = refreshed.waits();
    MESSAGE("the other banner's " << taps.sent() << " taps read after " << spread(tapWaits) << "; the refreshing "
                                  << "ads' own " << refreshed.sent() << " clicks after " << spread(ownWaits) << " ("
                                  << limits.pingTransfers << " ping places, " << limits.pingReserve << " reserve)");
    CHECK(ran);
    CHECK(taps.sent() == Seconds / 5);
    CHECK(taps.notReadOnce().empty());
    CHECK(refreshed.notReadOnce().empty());
    CHECK(refreshed.refused() == 0);
    CHECK(longest(tapWaits) < ReadSoon);
    CHECK(longest(ownWaits) < ReadSoon);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a healthy ad's impression and click are read within the hand-off of a stuck "
                               "hop beside 5 and then 20 banners' trackers to a host that never completes its "
                               "handshake at 64 descriptors") {
    healthyAdsBesideStuckHandshakes(*this, 64);
}

TEST_CASE_FIXTURE(PingServers, "WebView: a healthy ad's impression and click are read within the hand-off of a stuck "
                               "hop beside 5 and then 20 banners' trackers to a host that never completes its "
                               "handshake at 128 descriptors") {
    healthyAdsBesideStuckHandshakes(*this, 128);
}

TEST_CASE_FIXTURE(PingServers, "WebView: admitted pings level off with a new view each second whose ad sends 16 pings "
                               "that hang, over five minutes at 256 descriptors") {
    const auto limits = limitDescriptors(256);
    const auto dead = deadHosts(4);
    // The process's quota, and what each ad may always hold.
    const PingScheduler::Limits quotas;
    constexpr int Seconds = 300;
    constexpr int Pings = 16;
    std::vector<Ping> kept;
    std::size_t mostFirstHalf = 0;
    std::size_t mostSecondHalf = 0;
    // What the ads of one life hold, each within its floor, give or take the second in which the ends of
    // the oldest are told.
    const std::size_t level = quotas.adFloorPings * (static_cast<std::size_t>(PingScheduler::LifeSeconds) + 2);
    for (int second = 0; second < Seconds; ++second) {
        {
            auto banner = Banner::make();
            REQUIRE(banner->load(*this, "<p>ad " + std::to_string(second) + "</p>"));
            for (int i = 0; i < Pings; ++i)
                banner->send("http://" + dead[static_cast<std::size_t>(i) % dead.size()] + "/hang?n=" + std::to_string(i));
            // The view goes; its pings go on.
            kept.insert(kept.end(), banner->pings.begin(), banner->pings.end());
            banner->pings.clear();
        }
        std::erase_if(kept, [](const Ping& p) { return p.recorder->done(); });
        runUntilIdle();
        pass(0.002);
        // The network thread ends the lives due by now and the loop tells their owners: on a loaded
        // machine it may be behind this fast clock by several of its seconds, so it is given real time
        // to catch up before the count is read.
        const auto recentAds = static_cast<std::size_t>(std::min<int>(second + 1, static_cast<int>(PingScheduler::LifeSeconds)));
        runUntil([&] { return NetworkEngine::shared().pingCounts().admitted <= level; }, ReadSoon);
        const std::size_t admitted = NetworkEngine::shared().pingCounts().admitted;
        CAPTURE(second);
        REQUIRE(admitted <= quotas.processPings + quotas.adFloorPings * recentAds);
        std::size_t& most = second < Seconds / 2 ? mostFirstHalf : mostSecondHalf;
        most = std::max(most, admitted);
        if (second >= Seconds / 2) REQUIRE(admitted <= level);
        advance(1);
    }
    const auto counts = NetworkEngine::shared().pingCounts();
    MESSAGE("admitted at most " << mostFirstHalf << " in the first half and " << mostSecondHalf
                                << " in the last; at the end " << counts.admitted << " admitted, " << counts.waiting
                                << " waiting (" << limits.pingTransfers << " ping places)");
    CHECK(mostSecondHalf <= level);
    for (Ping& p : kept) p.connection->cancel();
}

TEST_CASE_FIXTURE(PingServers, "WebView: redirect chains of 10 to 17 hops complete, each hop read once, beside their "
                               "creative's own trackers that hang at 64 descriptors") {
    redirectChainsBesideHangingTrackers(*this, 64, 1, 6);
}

TEST_CASE_FIXTURE(PingServers, "WebView: redirect chains of 10 to 17 hops complete, each hop read once, beside their "
                               "creatives' own trackers that hang at 256 descriptors") {
    redirectChainsBesideHangingTrackers(*this, 256, 8, 3);
}

// Each creative is one ad, whatever it reloads, and makes some 40 pings a life: past its floor, and the
// forty of them together past the process's quota. A click past its ad's floor while the process holds
// its quota is refused at once, saying so; every click admitted is read at once.
TEST_CASE_FIXTURE(PingServers, "WebView: every document's click beside 40 creatives that reload themselves every 2 "
                               "to 5 s, each document with four trackers that hang, is read within a second or "
                               "refused at once past its ad's floor while the process holds its quota, at 1,024 "
                               "descriptors") {
    const auto limits = limitDescriptors(1024);
    auto served = std::make_shared<std::atomic<int>>(0);
    server->route("/self-reloading.html", [served](const adserver::Request&) {
        auto page = adserver::Response::html(
            adWithClick("d" + std::to_string((*served)++), 4, 1000) +
            "<script>setTimeout(function () { location.reload(); }, 2000 + Math.floor(Math.random() * 3000));</script>");
        page.header("Cache-Control", "no-store");
        return page;
    });
    const std::string dead = "http://" + deadHosts(1)[0] + "/track";
    std::vector<std::shared_ptr<Banner>> creatives;
    for (int c = 0; c < 40; ++c) {
        creatives.push_back(clickingBanner(dead));
        creatives.back()->view->loadRequest(URLRequest(*URL::parse(url(AdHost, "/self-reloading.html"))));
    }
    REQUIRE(runUntil([&] { return served->load() >= 40; }, 20));
    ClickWatch watch(clicks, creatives);
    // A minute of the clock, two lives of a ping, a quarter second at a time (longer runs are for the
    // benchmarks: each document costs a page load in real time).
    constexpr int Steps = 240;
    const auto started = Steady::now();
    const bool ran = runClocked(*this, Steps, 0.25, {&watch});
    const double realSeconds = secondsBetween(started, Steady::now());
    const auto waits = watch.waits();
    std::size_t documents = 0;
    for (const auto& creative : creatives) documents += static_cast<std::size_t>(creative->documents);
    MESSAGE(watch.sent() << " clicks of " << documents << " documents read after " << spread(waits) << "; "
                         << watch.refused() << " clicks refused (" << limits.pingTransfers << " ping places; "
                         << realSeconds << " s of real time)");
    CHECK(ran);
    for (const auto& creative : creatives) {
        for (const std::string& why : creative->refusals) {
            CAPTURE(why);
            CHECK(why.find("past the process's quota of pings") != std::string::npos);
        }
    }
    CHECK(watch.notReadOnce().empty());
    // Each document lives 2 s at least: every one but those of the last second clicked (or was refused).
    CHECK(watch.sent() + watch.refused() + creatives.size() >= documents);
    CHECK(longest(waits) < ReadSoon);
}

// The ad's first trackers take the ordinary places; the next, to a host not yet known either way, is a try
// from a view with pings under way and stays off the reserve. Each such host reads and never answers. The
// ad's click, to a host known to answer, takes a reserve place at once, and is read once.
TEST_CASE_FIXTURE(PingServers, "WebView: an ad's click beside its own trackers to more hosts that never answer than "
                               "pings have ordinary places is read at once, the trackers' tries kept off the "
                               "reserve, at 64 descriptors") {
    const auto limits = limitDescriptors(64);
    const auto dead = deadHosts(static_cast<int>(limits.pingTransfers - limits.pingReserve) + 1);
    auto banner = Banner::make();
    REQUIRE(banner->load(*this, "<p>ad</p>"));
    for (const std::string& host : dead) banner->send("http://" + host + "/track");
    // The user taps 2 s on, the clock keeping with real time.
    keepTime([] { return false; }, 2);
    REQUIRE(ordinaryPlacesFull(limits));
    const auto tapped = Steady::now();
    const Ping click = banner->send(url(ClickHost, "/click?n=own"));
    const bool read = runUntil([&] { return clicks->count("own") > 0; }, 10);
    const double after = secondsBetween(tapped, Steady::now());
    MESSAGE("the click read " << std::string(read ? "" : "never, ") << "after " << after << " s beside "
                              << dead.size() << " trackers to as many hosts (" << limits.pingTransfers
                              << " ping places, " << limits.pingReserve << " reserve)");
    CHECK(read);
    CHECK(after < ReadSoon);
    REQUIRE(runUntil([&] { return click.recorder->done(); }));
    CHECK(click.recorder->finishes == 1);
    CHECK(clicks->count("own") == 1);
    // The last tracker still waits for an ordinary place: nothing of the ad ended.
    CHECK(ended(banner->pings) == 1);
}
