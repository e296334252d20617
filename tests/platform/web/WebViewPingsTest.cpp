// Pages' pings (their tracking and click requests) at a real socket: sent from web views and from
// documents that have closed, to servers that answer late, redirect, hang, or trickle a body or a head,
// beside other creatives' clicks and creatives that reload themselves, at a phone's descriptor limits.
// Each case sets its limit before the network engine first runs (CTest runs each case in a process of
// its own). "Within a second" is measured in real time from the ping's start to the server reading it
// and asserted with room for a loaded machine under the sanitizers; the figure is printed.
#include <doctest/doctest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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
        ping.connection =
            webView.connectionForPage(URLRequest(*URL::parse(to)), ping.recorder, nullptr, PageLoad::Beacon);
        if (!ping.connection) {
            ++refused;
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
    std::shared_ptr<Arrivals> clicks = std::make_shared<Arrivals>();

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
        server->route("/click", [clicks = clicks](const adserver::Request& r) {
            clicks->note(r.param("n"));
            return adserver::Response::text("clicked");
        });
        server->route("/warm", adserver::Response::text("warm"));
    }

    static std::string hangingHost(int i) { return "hang-" + std::to_string(i % HangingHosts) + ".pings.example"; }

    // A phone's descriptor limit, set before the network engine first runs (it reads the limit then);
    // then one exchange, so that the first secure connection's set-up (the trust store, the server's
    // own) is paid before anything is timed.
    NetworkEngine::Limits limitDescriptors(rlim_t limit) {
        const NetworkEngine::Limits limits = nettest::limitDescriptors(limit);
        auto warm = std::make_shared<PingRecorder>();
        auto connection = URLConnection::create(URLRequest(*URL::parse(url(AdHost, "/warm"))), warm, TransferOrigin::app());
        REQUIRE(runUntil([&] { return warm->done(); }, 60));
        REQUIRE(warm->finishes == 1);
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

    // Seconds from the click's start to the server reading it; REQUIREs it read.
    double clickReadAfter(const Ping& click, const std::string& n) {
        REQUIRE(runUntil([&] { return clicks->count(n) > 0; }, 20));
        return secondsBetween(click.sent, *clicks->first(n));
    }

    // Lets the main loop run for `seconds` of real time.
    void pass(double seconds) { runUntil([] { return false; }, seconds); }
};

// Pings that have filled every ordinary place pings may hold (the rest is the reserve).
bool ordinaryPlacesFull(const NetworkEngine::Limits& limits) {
    return NetworkEngine::shared().pingCounts().underWay >= limits.pingTransfers - limits.pingReserve;
}

void trackersThatRedirectFinish(PingServers& s, rlim_t limit) {
    const auto limits = s.limitDescriptors(limit);
    auto trackRead = std::make_shared<Arrivals>();
    auto landingRead = std::make_shared<Arrivals>();
    auto closed = std::make_shared<Latch>();
    // Each tracker answers once the page has closed, sending it on to another host.
    s.server->route("/track", [trackRead, closed](const adserver::Request& r) {
        trackRead->note(r.param("n"));
        closed->wait();
        return adserver::Response::redirect(url(LandingHost, "/landed?n=" + r.param("n")));
    });
    s.server->route("/landed", [landingRead](const adserver::Request& r) {
        landingRead->note(r.param("n"));
        return adserver::Response::text("landed");
    });
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

    // The trickling heads hold on short of their life, and fail as timed out at its end.
    s.advance(PingScheduler::LifeSeconds - 1);
    s.pass(1.5);
    CHECK(ended(heads->pings) == 0);
    s.advance(2);
    // Those that waited for a place get one as the first fail, and live their own life from then.
    auto placed = [&] {
        const auto counts = NetworkEngine::shared().pingCounts();
        return counts.waiting == 0 || ordinaryPlacesFull(limits);
    };
    while (ended(heads->pings) < Each) {
        const std::size_t before = ended(heads->pings);
        REQUIRE(s.runUntil([&] { return ended(heads->pings) > before; }, 10));
        // The next in their places, their life running, before time moves on.
        REQUIRE(s.runUntil(placed, 10));
        if (ended(heads->pings) < Each) s.advance(PingScheduler::LifeSeconds + 1);
    }
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
    auto reportsRead = std::make_shared<Arrivals>();
    s.server->route("/report", [reportsRead](const adserver::Request& r) {
        reportsRead->note(r.param("n"));
        return adserver::Response::text("reported");
    });
    std::vector<std::shared_ptr<Banner>> trickling;
    for (int c = 0; c < creatives; ++c) {
        trickling.push_back(Banner::make());
        REQUIRE(trickling.back()->load(s, "<p>ad " + std::to_string(c) + "</p>"));
        for (int i = 0; i < 30; ++i)
            trickling.back()->send("http://" + hosts[static_cast<std::size_t>(i) % hosts.size()] + "/trickle?c=" +
                                   std::to_string(c) + "&n=" + std::to_string(i));
    }
    if (heads) REQUIRE(s.runUntil([&] { return ordinaryPlacesFull(limits); }, 20));

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
        // Pings that hang hold every ordinary place, and a purchase's dozen reports are no light newcomer:
        // they wait their turn, none lost, until those pings' life ends.
        s.runUntil([&] { return ended(reports) == reports.size(); }, 2);
        for (const auto& banner : trickling) CHECK(ended(banner->pings) == 0);
        s.advance(PingScheduler::LifeSeconds + 1);
    }
    REQUIRE(s.runUntil([&] { return ended(reports) == reports.size(); }, 10));
    MESSAGE((2 * Reports) << " late reports done after " << secondsBetween(sent, Steady::now()) << " s beside "
                        << creatives << " creatives' 30 pings trickling their " << (heads ? "heads" : "bodies") << " ("
                        << limits.pingTransfers << " ping places, " << limits.pingReserve << " reserve)");
    CHECK(finished(reports) == reports.size());
    for (int i = 0; i < n; ++i) CHECK(reportsRead->count(std::to_string(i)) == 1);
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
