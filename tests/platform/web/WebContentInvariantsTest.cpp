// Web content's invariants (NetworkEngine, its ping scheduler and WebView together), held over random
// sequences at descriptor limits of 64, 128, 256 and 1,024 (one test each: the engine reads the limit once
// per process). Web views come and go; the app loads creatives into them (each a new ad), pages navigate and
// reload themselves (the same ad), one creative reloads itself at every step, a banner refreshes (each ad
// sends trackers to a host that never answers, then a click), and the app opens pages for a creative in views
// of their own that go again (overlays and expanded pages, joined to its ad and its view's turn). Pages send
// pings (beacons) one at a time and in bursts, and loads, to hosts that answer at once, late (0.7 s), never,
// trickle a body, trickle a head without end, never complete the handshake, or refuse the connection; owners
// cancel; the virtual clock moves, past pings' lives too. Outcomes are counted from outside: what the servers
// read (every request carries an id of its own) and what the delegates hear. After every step:
// - no server read a request twice;
// - no load ended twice, nor was heard from after its owner cancelled it;
// - a ping ends only by its answer (its final head: a response, no body, a finish), by its life, or at
//   once when its host refuses the connection (never read there). Its life runs from when it was made: a
//   ping that failed at its life was made 30 s earlier on the virtual clock (29 s when its last hop never
//   went out: a hop with less than a second left fails unsent), and its host did not answer: it was never
//   read there (it waited its life), or the clock passed its life while its answer was on the way. No ping
//   is left once the clock has passed its life;
// - a load fails only as timed out, with its page gone, or refused by its host; a load that gave its place
//   to a newcomer had been read by its server (one still connecting hands its place on instead);
// - a ping is refused only as it is made, only past its ad's or the process's quota (the error names
//   which), never within its ad's floor, and is admitted whenever the quotas leave room, a page opened for
//   a creative counting in the creative's ad; the engine holds as many pings and bytes as their owners do,
//   never more than the process's quota plus the floor of each ad holding some;
// - a ping to a host that answers is read within 10 s of real time when a place is owed it at once, by the
//   share rule or by the reserve's (see reviewDue), slow hosts judged from what the test saw of its own
//   pings on the virtual clock;
// - a new document's first image, to a host that answers at once, is read within 10 s of its commit
//   whatever the others hold (hanging, trickling bodies and heads, silent hosts), and a navigation
//   commits within 30 s unless a newer document took its load's place.
// Once a round the process's quota is reached by views each near their ad's quota of hanging pings, a
// fresh view and a page opened for it share their ad's floor, and the owners cancel most of them; and
// twice a round, with no ping left and every document's first load placed, a newcomer's load to a host
// that answers late completes within its own timeout beside loads that trickle their bodies and heads, and
// at most one load gives its place for it; then creatives' pings that never get through hold every
// ordinary place, and a new ad's click is still read at once.
// At the end of a round (views gone, the clock moved on a life): every ping has ended, every ping to a host
// that answers was read once and finished unless its life ended first, every load ended once, no ping is
// held and no transfer is active. RUZAVE_INVARIANT_SEED repeats a run, RUZAVE_INVARIANT_ROUNDS extends it.
#include <arpa/inet.h>
#include <doctest/doctest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/net/URLError.h"
#include "platform/runloop/Clock.h"
#include "platform/testing/Harness.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewDelegate.h"
#include "tests/platform/net/NetTestSupport.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/SilentServer.h"
#include "tools/adserver/TrickleServer.h"

using namespace platform;

namespace {

using Steady = std::chrono::steady_clock;
using Nanos = std::int64_t;

double secondsSince(Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); }
double secondsBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// What a place owed at once brings: a request read well within this on a loaded machine under the
// sanitizers (a stuck connection hands its place on after 5 s). Whatever waits for a hang to end (a
// ping's life, a load's timeout) does not count on it.
constexpr double ReadWithin = 10;
// A navigation's commit: its load has a place within a second and its server answers at once, but a loaded
// machine may take many seconds to carry the page through; only a wedge takes this long.
constexpr double CommitWithin = 30;
constexpr double Life = PingScheduler::LifeSeconds;
constexpr Nanos Second = PingScheduler::NanosPerSecond;
constexpr Nanos LifeNanos = static_cast<Nanos>(Life) * Second;
// The rules' figures on the virtual clock: a hop starts with a second of its life left at least; a host
// is slow while a hop to it has been under way more than a second without its head, and 30 s after.
constexpr Nanos LeastLife = Second;
constexpr Nanos SlowAfter = Second;
constexpr Nanos SlowFor = 30 * Second;
constexpr Nanos Slack = Second / 1000;
constexpr Nanos Never = std::numeric_limits<Nanos>::max() / 2;
constexpr std::size_t PerHost = NetworkEngine::MaximumTransfersPerHost;
const PingScheduler::Limits Quotas{};
constexpr int HostsPerKind = 8;

// Hosts by how they answer: n at once, c at once (clicks: no path there hangs), l late, v never (it reads
// and holds the request), t a body a byte a second, h a head a byte a second, s never (it never accepts,
// so the handshake never completes), x refuses the connection.
std::string hostName(char kind, int n) {
    static const std::map<char, std::string> names{{'n', "now"},    {'c', "click"}, {'l', "late"},
                                                   {'v', "never"},  {'t', "trickle"}, {'h', "head"},
                                                   {'s', "silent"}, {'x', "refusing"}};
    return names.at(kind) + "-" + std::to_string(n % HostsPerKind) + ".invariants.example";
}
std::string originOf(char kind, int n) {
    return (kind == 't' || kind == 'h' ? "http://" : "https://") + hostName(kind, n);
}
// The path names the answer too: "/v" on an ad host (now-N) is a request it never answers.
std::string urlOf(char kind, int n, const std::string& id) {
    return originOf(kind, n) + "/" + std::string(1, kind) + "?id=" + id;
}
// For a ping: its host answers with a head (a trickled body comes after one).
bool answersPing(char kind) { return kind == 'n' || kind == 'c' || kind == 'l' || kind == 't'; }

std::string percentEncoded(const std::string& text) {
    static const char* const Hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

// A document: a script that names it (so that the test learns which one committed) and images, in the
// order of `mix` (a kind and a host digit each); the first is always to a host that answers at once.
std::string pageHTML(const std::string& serial, const std::string& mix) {
    std::string html = "<body><script>var serial = '" + serial + "';</script>";
    for (std::size_t i = 0; i + 1 < mix.size(); i += 2) {
        const int host = mix[i + 1] - '0';
        if (std::string("nclvthsx").find(mix[i]) == std::string::npos || host < 0 || host >= HostsPerKind) continue;
        html += "<img src=\"" + urlOf(mix[i], host, serial + "-" + std::to_string(i / 2)) + "\">";
    }
    return html + "</body>";
}

// Every request id the servers read: how often, and when first (for the trickle servers, which are
// polled: no later than `seen`, no earlier than `first`).
class Reads {
public:
    struct Read {
        int times = 0;
        Steady::time_point first;
        Steady::time_point seen;
    };
    void record(const std::string& id, Steady::time_point first, Steady::time_point seen) {
        std::lock_guard lock(mutex_);
        Read& read = ids_[id];
        if (++read.times == 1) {
            read.first = first;
            read.seen = seen;
        }
        if (read.times == 2) twice_.push_back(id);
    }
    std::optional<Read> find(const std::string& id) const {
        std::lock_guard lock(mutex_);
        auto found = ids_.find(id);
        if (found == ids_.end()) return std::nullopt;
        return found->second;
    }
    int times(const std::string& id) const {
        auto read = find(id);
        return read ? read->times : 0;
    }
    std::map<std::string, Read> all() const {
        std::lock_guard lock(mutex_);
        return ids_;
    }
    std::vector<std::string> readTwice() const {
        std::lock_guard lock(mutex_);
        return twice_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, Read> ids_;
    std::vector<std::string> twice_;
};

// A port bound on 127.0.0.1 on which nothing listens, for hosts that refuse: each connection is reset at
// once. Kept bound, so that no listener takes the port meanwhile.
struct RefusingPort {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::uint16_t port = 0;
    RefusingPort() {
        REQUIRE(fd >= 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        REQUIRE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
        socklen_t length = sizeof addr;
        REQUIRE(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0);
        port = ntohs(addr.sin_port);
    }
    ~RefusingPort() { ::close(fd); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
};

// The servers behind every kind of host, each request recorded as it is read.
struct Servers {
    std::shared_ptr<Reads> reads = std::make_shared<Reads>();
    std::shared_ptr<std::atomic<std::uint64_t>> served = std::make_shared<std::atomic<std::uint64_t>>(0);
    std::unique_ptr<adserver::AdServer> web;
    std::unique_ptr<adserver::SilentServer> silent = adserver::SilentServer::start();
    std::unique_ptr<adserver::TrickleServer> trickle = adserver::TrickleServer::start(std::chrono::seconds(1));
    std::unique_ptr<adserver::TrickleServer> head =
        adserver::TrickleServer::start(std::chrono::seconds(1), adserver::TrickleServer::Trickle::Head);
    RefusingPort refusing;
    std::size_t trickleSeen = 0;
    std::size_t headSeen = 0;
    Steady::time_point lastPoll = Steady::now();

    Servers() {
        adserver::Options options;
        for (char kind : std::string("nclv")) {
            for (int n = 0; n < HostsPerKind; ++n) options.hostNames.push_back(hostName(kind, n));
        }
        web = adserver::AdServer::start(options);
        REQUIRE(web != nullptr);
        REQUIRE(silent != nullptr);
        REQUIRE(trickle != nullptr);
        REQUIRE(head != nullptr);
        auto answer = [reads = reads](adserver::Response response) {
            return [reads, response](const adserver::Request& r) {
                const auto now = Steady::now();
                reads->record(r.param("id"), now, now);
                return response;
            };
        };
        auto image = adserver::Response::text("GIF89a", "image/gif");
        web->route("/n", answer(image));
        web->route("/c", answer(image));
        auto late = image;
        late.delay = std::chrono::milliseconds(700);
        web->route("/l", answer(late));
        auto never = image;
        never.delay = std::chrono::seconds(120);  // cut short when the client leaves
        web->route("/v", answer(never));
        web->route("/r", [reads = reads](const adserver::Request& r) {
            const auto now = Steady::now();
            reads->record(r.param("id"), now, now);
            return adserver::Response::redirect(r.param("to"));
        });
        // A creative's page: each serving names its document (and its images) afresh, so that a reload
        // asks for nothing already read.
        web->route("/page", [served = served, reads = reads](const adserver::Request& r) {
            const std::string serial = std::to_string(++*served);
            const auto now = Steady::now();
            reads->record("page " + r.param("doc") + " " + serial, now, now);
            return adserver::Response::html(pageHTML("S" + serial, r.param("mix")));
        });
        auto config = NetworkConfiguration::sharedInstance();
        config->reset();
        REQUIRE(config->setHostMappings(web->connectToSpec(443)));
        config->setTrustedCAFile(web->caFile());
        for (int n = 0; n < HostsPerKind; ++n) {
            config->addHostMapping(hostName('s', n), 443, "127.0.0.1", silent->port());
            config->addHostMapping(hostName('x', n), 443, "127.0.0.1", refusing.port);
            config->addHostMapping(hostName('t', n), 80, "127.0.0.1", trickle->port());
            config->addHostMapping(hostName('h', n), 80, "127.0.0.1", head->port());
        }
    }

    // Takes in what the trickle servers read since the last poll, as read between that poll and now.
    void poll() {
        const auto now = Steady::now();
        for (auto [server, seen] : {std::pair{trickle.get(), &trickleSeen}, std::pair{head.get(), &headSeen}}) {
            const auto targets = server->requestTargets();
            for (std::size_t i = *seen; i < targets.size(); ++i) {
                const auto at = targets[i].find("id=");
                reads->record(at == std::string::npos ? targets[i] : targets[i].substr(at + 3), lastPoll, now);
            }
            *seen = targets.size();
        }
        lastPoll = now;
    }
};

struct Recorder : URLConnectionDelegate {
    int ends = 0;
    int responses = 0;
    std::size_t dataBytes = 0;
    bool finished = false;
    bool cancelled = false;
    int afterCancel = 0;  // anything heard once its owner cancelled it
    std::optional<Error> error;
    Steady::time_point endedAt;
    Nanos endedNanos = 0;  // on the virtual clock

    void didReceiveResponse(const std::shared_ptr<URLConnection>&, const HTTPURLResponse&) override {
        ++responses;
        heard();
    }
    void didReceiveData(const std::shared_ptr<URLConnection>&, const Bytes& data) override {
        dataBytes += data.size();
        heard();
    }
    void didFinishLoading(const std::shared_ptr<URLConnection>&) override {
        finished = true;
        end();
    }
    void didFailWithError(const std::shared_ptr<URLConnection>&, const Error& e) override {
        error = e;
        end();
    }

private:
    void heard() {
        if (cancelled) ++afterCancel;
    }
    void end() {
        ++ends;
        heard();
        endedAt = Steady::now();
        endedNanos = Clock::nanoseconds();
    }
};

std::string detailOf(const Error& error) {
    const std::string* detail = findString(error.userInfo, "detail");
    return detail != nullptr ? *detail : std::string();
}
std::string describe(const std::optional<Error>& error) {
    if (!error) return "none";
    return error->domain + " " + std::to_string(error->code) + " " + error->description + " (" + detailOf(*error) +
           ")";
}
bool isTimeout(const Error& error) { return error.domain == URLError::Domain && error.code == URLError::TimedOut; }
bool gaveWay(const Error& error) {
    return isTimeout(error) && detailOf(error).find("gave its place") != std::string::npos;
}

// A load or ping the test made for a page, as it follows it.
struct Tracked {
    std::string id;       // its request's
    std::string finalId;  // a redirect's target (the same id otherwise)
    std::string url;
    bool ping = false;
    bool answers = false;    // its host answers (a ping's final hop's; a load's at once or late)
    bool prompt = false;     // a ping's first and only hop goes to a host that answers
    bool refused = false;    // its (final) host refuses the connection
    bool readHangs = false;  // a ping whose final hop a server reads and never answers
    std::string lane;        // the first hop's origin
    std::vector<std::string> hosts;  // the origins of its hops
    // The test's own names for the view whose turn it takes and the ad it was made for, and the engine's
    // document.
    std::uint64_t view = 0, ad = 0, document = 0;
    std::size_t bytes = 0;  // what a ping counts in the quotas
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<URLConnection> connection;
    Steady::time_point made;
    Nanos madeNanos = 0;
    Nanos touchedNanos = 0;  // the virtual clock when it last may have held a place
    bool cancelled = false;
    Steady::time_point cancelledAt;
    Nanos cancelledNanos = 0;
    bool due = false;      // a place was owed it at once: read within ReadWithin
    bool settled = false;  // its end has been checked
    std::optional<Steady::time_point> overdueSince;  // first seen past its life

    bool ended() const { return recorder->ends > 0; }
    bool held() const { return ping && !ended() && !cancelled; }
    // It may hold a place: a cancel reaches the network thread a moment later.
    bool mayHoldPlace(Steady::time_point now) const {
        return !ended() && (!cancelled || secondsBetween(cancelledAt, now) < 2);
    }
    std::string text() const {
        return std::string(ping ? "ping " : "load ") + url + " (document " + std::to_string(document) + ", view " +
               std::to_string(view) + ", ad " + std::to_string(ad) + ", made " +
               std::to_string(static_cast<double>(madeNanos) / 1e9) + " s on the clock" +
               (cancelled ? ", cancelled" : "") + ")";
    }
};

// Which hosts are slow by the rule (a hop to it under way more than a second without its head, and 30 s
// after), as far as the test can tell from what it saw of its own pings on the virtual clock, which
// moves only when the test moves it. A host may be slow while a ping to it may have been under way for
// more than a second: from its making to its end heard (a ping between hops counts for both its hosts).
// It surely is while a ping that a server read and never answers has been under way since that read for
// more than a second (it ends no earlier than its life or its owner's cancel), and 30 s after.
class Slowness {
public:
    void mayBeUnderWay(const std::string& host, Nanos from, Nanos to, const void* ping) {
        if (to - from > SlowAfter - Slack) spans_[host].push_back({from, to, ping});
    }
    void underWay(const std::string& host, Nanos readBy, Nanos endsNoEarlier) {
        evidence_[host].push_back({readBy, endsNoEarlier});
    }
    // By another ping than `except` (a ping waiting makes no host slow; under way, it has its place).
    bool maybeSlow(const std::string& host, Nanos at, const void* except = nullptr) const {
        auto found = spans_.find(host);
        if (found == spans_.end()) return false;
        return std::any_of(found->second.begin(), found->second.end(), [&](const Span& s) {
            return s.ping != except && at > s.from + SlowAfter - Slack && at < s.to + SlowFor + Slack;
        });
    }
    // Slow all the time from `from` to `to`.
    bool surelySlow(const std::string& host, Nanos from, Nanos to) const {
        auto found = evidence_.find(host);
        if (found == evidence_.end()) return false;
        return std::any_of(found->second.begin(), found->second.end(), [&](const Span& e) {
            return from > e.from + SlowAfter + Slack && e.to > e.from + SlowAfter + Slack &&
                   to < e.to + SlowFor - Slack;
        });
    }

private:
    struct Span {
        Nanos from, to;
        const void* ping = nullptr;
    };
    std::map<std::string, std::vector<Span>> spans_;
    std::map<std::string, std::vector<Span>> evidence_;
};

struct ViewDelegate : WebViewDelegate {
    int failures = 0;
    std::optional<Error> lastFailure;
    void didFailLoad(WebView&, const Error& error) override {
        ++failures;
        lastFailure = error;
    }
};

struct ViewSlot {
    std::shared_ptr<WebView> view = WebView::create(Rect(0, 0, 320, 480));
    std::shared_ptr<ViewDelegate> delegate = std::make_shared<ViewDelegate>();
    std::uint64_t serial = 0;     // the test's name for it
    std::uint64_t ad = 0;         // the ad of the document it holds (the test's count of ads)
    std::uint64_t pendingAd = 0;  // the ad of the navigation under way
    // The view whose turn its document's pings take: its own, or that of the creative it was opened for.
    std::uint64_t turn = 0;
    std::uint64_t pendingTurn = 0;  // the navigation's
    bool creative = false;        // reloads itself at every step
    bool quota = false;           // made to fill the quotas
    bool banner = false;          // refreshes: each ad sends trackers to a host that never answers, then a click
    bool overlay = false;         // a page the app opened for another view's creative, in its ad
    bool trackersDue = false;     // the banner's ad sends its trackers once its document commits
    char deadKind = 'h';          // where the banner's ads send them
    int deadHost = 0;
    bool pinged = false;          // the overlay has sent its pings
    int clickAt = -1;             // the step at which its ad clicks
    int goesAt = -1;              // the step at which the overlay goes
    std::string mix;              // the images of the document it loads or holds
    // A navigation not committed yet: from which document, since when.
    std::shared_ptr<WebPage> navigatingFrom;
    bool navigating = false;
    Steady::time_point navigatedAt;
    int failuresBefore = 0;
    // The committed document's first image, until read.
    std::string firstImage;
    Steady::time_point committedAt;

    ViewSlot() { view->setDelegate(delegate); }
    // Its document is not to be replaced, nor loaded for, until its first image is read: that load is a
    // newcomer's.
    bool pinned() const { return navigating || !firstImage.empty(); }
};

struct Counts {
    std::size_t pings = 0;
    std::size_t bytes = 0;
    void add(std::size_t b) {
        ++pings;
        bytes += b;
    }
};

struct Totals {
    std::size_t pings = 0, refused = 0, answered = 0, lifeEnded = 0, refusedByHost = 0, cancelled = 0;
    std::size_t due = 0, dueByReserve = 0, dueRead = 0, clicks = 0, clicksBesideHanging = 0;
    std::size_t overlays = 0, refreshes = 0;
    std::size_t loads = 0, loadsGaveWay = 0, firstImages = 0, navigationsGivenWay = 0, probes = 0;
    std::size_t mostAdmitted = 0;
};

class Run {
public:
    Run(testing::Harness& harness, Servers& servers, std::uint32_t seed, const NetworkEngine::Limits& limits,
        Totals& totals)
        : h_(harness),
          servers_(servers),
          random_(seed),
          limits_(limits),
          totals_(totals),
          ordinary_(limits.pingTransfers - limits.pingReserve),
          hangingCap_(std::clamp<std::size_t>(2 * ordinary_, 12, 150)),
          maxViews_(limits.webContentTransfers >= 256 ? 12 : 8),
          startNanos_(Clock::nanoseconds()) {}

    void round(int steps) {
        lifeMark_ = Steady::now();
        creative_ = &addView();
        creative_->creative = true;
        appLoad(*creative_, -1, creativeMix());
        // Its documents go at the next step: none is followed. They all count in its one ad.
        creative_->navigating = false;
        creative_->navigatingFrom.reset();
        creative_->ad = creative_->pendingAd;
        creative_->turn = creative_->pendingTurn;
        ViewSlot& banner = addView();
        banner.banner = true;
        banner.deadKind = pick(0, 1) == 0 ? 'v' : 'h';
        banner.deadHost = pickHost();
        refresh(banner);
        const int quotaAt = pick(steps / 4, steps / 2);
        const int probeAt[] = {pick(1, steps / 3), pick(steps / 2, steps - 2)};
        for (step_ = 0; step_ < steps; ++step_) {
            INFO("step " << step_);
            if (step_ == quotaAt) fillQuotas();
            if (step_ == probeAt[0] || step_ == probeAt[1]) probeNewcomer();
            const std::size_t before = items_.size();
            reloadCreative();
            tendViews();
            act();
            reviewDue(before);
            keepLivesMoving();
            h_.runUntil([] { return false; }, pick(3, 25) / 100.0);
            observeNavigations();
            check();
        }
        drain();
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    int pickHost() { return pick(0, HostsPerKind - 1); }
    std::string newId(const char* prefix) { return prefix + std::to_string(nextId_++); }

    // --- Documents ---------------------------------------------------------------------------------

    ViewSlot& addView() {
        views_.push_back(std::make_unique<ViewSlot>());
        views_.back()->serial = nextId_++;
        views_.back()->turn = views_.back()->serial;
        return *views_.back();
    }
    std::size_t ordinaryViews() const {
        return static_cast<std::size_t>(
            std::count_if(views_.begin(), views_.end(), [](const auto& v) { return !v->quota; }));
    }
    std::size_t overlays() const {
        return static_cast<std::size_t>(
            std::count_if(views_.begin(), views_.end(), [](const auto& v) { return v->overlay; }));
    }
    // A view whose document may be replaced: not the creative nor the banner, not waiting for its first
    // image.
    ViewSlot* freeView() {
        std::vector<ViewSlot*> free;
        for (auto& v : views_) {
            if (!v->creative && !v->banner && !v->pinned()) free.push_back(v.get());
        }
        return free.empty() ? nullptr : free[static_cast<std::size_t>(pick(0, static_cast<int>(free.size()) - 1))];
    }
    ViewSlot& anyView() { return *views_[static_cast<std::size_t>(pick(0, static_cast<int>(views_.size()) - 1))]; }
    ViewSlot* viewWithPage() {
        std::vector<ViewSlot*> shown;
        for (auto& v : views_) {
            if (v->view->currentPage()) shown.push_back(v.get());
        }
        return shown.empty() ? nullptr : shown[static_cast<std::size_t>(pick(0, static_cast<int>(shown.size()) - 1))];
    }
    // The ad of the document the view holds now, as the test counts ads: a document committed since the
    // last look is the navigation's.
    std::uint64_t adOf(const ViewSlot& v) const {
        return v.navigating && v.view->currentPage() != v.navigatingFrom ? v.pendingAd : v.ad;
    }
    // The view whose turn that document's pings take, likewise.
    std::uint64_t turnOf(const ViewSlot& v) const {
        return v.navigating && v.view->currentPage() != v.navigatingFrom ? v.pendingTurn : v.turn;
    }

    // Servers that read and never answer hold a thread each, heads that trickle a descriptor each: a
    // round sends them a bounded number. Hosts that never accept, or refuse, cost the servers nothing.
    bool mayHang(char kind) {
        if (kind == 'v') return neverSent_ < 40;
        if (kind == 'h') return headsSent_ < 48;
        return true;
    }
    void sent(char kind) {
        if (kind == 'v') ++neverSent_;
        if (kind == 'h') ++headsSent_;
    }
    char imageKind() {
        const int roll = pick(0, 99);
        char kind = roll < 25   ? 'n'
                    : roll < 35 ? 'l'
                    : roll < 40 ? 'v'
                    : roll < 55 ? 't'
                    : roll < 62 ? 'h'
                    : roll < 65 ? 'x'
                                : 's';
        if (!mayHang(kind)) kind = 's';
        sent(kind);
        return kind;
    }
    std::string newMix(int firstHost = -1) {
        std::string mix = {'n', static_cast<char>('0' + (firstHost >= 0 ? firstHost : pickHost()))};
        // Some documents fill web content by themselves.
        const int most = std::max(48, static_cast<int>(limits_.webContentTransfers / 2));
        const int images = pick(0, 3) == 0 ? pick(10, most) : pick(0, 6);
        for (int i = 0; i < images; ++i) {
            mix += imageKind();
            mix += static_cast<char>('0' + pickHost());
        }
        return mix;
    }
    std::string creativeMix() {
        std::string mix = {'n', static_cast<char>('0' + pickHost())};
        for (int i = pick(0, 2); i > 0; --i) {
            mix += "tsl"[pick(0, 2)];
            mix += static_cast<char>('0' + pickHost());
        }
        return mix;
    }
    // The counts of a reload of `mix`, which asks for its images again.
    bool mayReload(const std::string& mix) {
        int never = 0, heads = 0;
        for (std::size_t i = 0; i < mix.size(); i += 2) {
            never += mix[i] == 'v';
            heads += mix[i] == 'h';
        }
        if (neverSent_ + never > 40 || headsSent_ + heads > 48) return false;
        neverSent_ += never;
        headsSent_ += heads;
        return true;
    }
    std::string pageURL(const std::string& mix) {
        return originOf('n', pickHost()) + "/page?doc=" + newId("d") + "&mix=" + mix;
    }

    void startNavigation(ViewSlot& v, std::uint64_t ad, std::uint64_t turn) {
        v.navigatingFrom = v.view->currentPage();
        v.navigating = true;
        v.navigatedAt = Steady::now();
        v.failuresBefore = v.delegate->failures;
        v.firstImage.clear();
        v.pendingAd = ad;
        v.pendingTurn = turn;
    }
    void load(ViewSlot& v, const std::string& mix) {
        v.mix = mix;
        const std::string url = pageURL(mix);
        if (pick(0, 9) < 7)
            v.view->loadHTMLString(pageHTML(newId("H"), mix), URL::parse(url));
        else
            v.view->loadRequest(URLRequest(*URL::parse(url)));
    }
    // The app loads a creative: a new ad, from a string (its base URL serves it again on a reload) or
    // from the server. A view that showed a page for another's creative leaves that ad first.
    void appLoad(ViewSlot& v, int firstHost = -1, std::string mix = {}) {
        if (v.overlay) {
            v.view->leaveAd();
            v.overlay = false;
            v.goesAt = -1;
        }
        startNavigation(v, nextId_++, v.serial);
        load(v, mix.empty() ? newMix(firstHost) : mix);
    }
    // The app opens a page for the creative `base` shows, in a view of its own (an overlay, an expanded
    // page): it counts in that creative's ad, and goes again a few steps on.
    ViewSlot& openOverlay(ViewSlot& base) {
        const std::uint64_t ad = adOf(base);
        const std::uint64_t turn = turnOf(base);
        ViewSlot& v = addView();
        v.overlay = true;
        v.goesAt = step_ + pick(1, 6);
        v.view->joinAdOf(*base.view);
        startNavigation(v, ad, turn);
        std::string mix = {'n', static_cast<char>('0' + pickHost())};
        for (int i = pick(0, 2); i > 0; --i) {
            mix += imageKind();
            mix += static_cast<char>('0' + pickHost());
        }
        load(v, mix);
        ++totals_.overlays;
        return v;
    }
    // A banner's next ad: its trackers go once its document commits, its click a few steps later.
    void refresh(ViewSlot& v) {
        appLoad(v);
        v.trackersDue = true;
        v.clickAt = -1;
        ++totals_.refreshes;
    }
    // The page navigates itself, as a creative does: the same ad.
    void selfNavigate(ViewSlot& v, bool reload) {
        if (!v.view->currentPage()) return;
        if (!v.creative) {
            startNavigation(v, adOf(v), turnOf(v));
        } else {
            // Followed only until the next: committed, or given way.
            v.navigatingFrom = v.view->currentPage();
            v.failuresBefore = v.delegate->failures;
        }
        if (reload && mayReload(v.mix)) {
            v.view->evaluate("location.reload()");
            return;
        }
        v.mix = newMix();
        v.view->evaluate("location.href = '" + pageURL(v.mix) + "'");
    }
    // The creative reloads itself; a document of it now and then sends trackers to a host that never
    // answers, and clicks at the next step (from its next document, the same ad).
    void reloadCreative() {
        if (creative_ == nullptr) return;
        selfNavigate(*creative_, true);
        const int roll = pick(0, 9);
        if (roll < 3) {
            sendPings(*creative_, 1);
        } else if (roll < 5) {
            sendHangingPings(*creative_, pickHost(), pick(1, 4));
            creative_->clickAt = step_ + 1;
        }
    }
    // What the banner's, the overlays' and the creative's ads do at this step; overlays that are done go.
    void tendViews() {
        std::vector<ViewSlot*> done;
        for (auto& slot : views_) {
            ViewSlot& v = *slot;
            const bool shown = !v.navigating && v.view->currentPage() != nullptr;
            if (v.trackersDue && shown) {
                v.trackersDue = false;
                sendTrackers(v, pick(0, 1) == 0 ? 2 : 12);
                v.clickAt = step_ + pick(1, 3);
            }
            if (v.overlay && !v.pinged && shown) {
                v.pinged = true;
                if (pick(0, 1) == 0)
                    sendHangingPings(v, pickHost(), pick(1, 16));
                else
                    sendPings(v, pick(1, 4));
            }
            if (v.clickAt == step_) {
                v.clickAt = -1;
                // A banner's click comes seconds after its page: its trackers' host is slow by then.
                if (v.banner) advance(pick(15, 80) / 10.0);
                for (int i = pick(1, 2); i > 0; --i) {
                    if (ping(v, pingTo('c', pickHost())) != nullptr) ++totals_.clicks;
                }
            }
            if (v.overlay && v.goesAt <= step_ && !v.pinned()) done.push_back(&v);
        }
        for (ViewSlot* v : done) removeView(*v);
    }

    // Which document each navigation committed, and its first image; a navigation whose load gave its
    // place to a newer document's ends there.
    void observeNavigations() {
        for (auto& slot : views_) {
            ViewSlot& v = *slot;
            if (!v.navigating) continue;
            auto page = v.view->currentPage();
            if (page && page != v.navigatingFrom) {
                v.navigating = false;
                v.navigatingFrom.reset();
                v.ad = v.pendingAd;
                v.turn = v.pendingTurn;
                const std::string serial = v.view->evaluate("serial");
                INFO("the document committed from " << v.view->request().url().absoluteString());
                REQUIRE(!serial.empty());
                if (v.mix.size() >= 2) {
                    v.firstImage = serial + "-0";
                    v.committedAt = Steady::now();
                    ++totals_.firstImages;
                }
            } else if (v.delegate->failures > v.failuresBefore) {
                v.navigating = false;
                v.navigatingFrom.reset();
                const Error& error = *v.delegate->lastFailure;
                const std::string url = v.view->request().url().absoluteString();
                INFO("the navigation to " << url << " failed: " << describe(error));
                REQUIRE(gaveWay(error));
                victimPages_.push_back(url);
                ++totals_.navigationsGivenWay;
            } else if (secondsSince(v.navigatedAt) > CommitWithin) {
                FAIL("a navigation did not commit within " << CommitWithin << " s: " << stuck(v));
            }
        }
    }

    // When the server served the page `url` names, in seconds ago.
    std::string servedPages(const std::string& url) const {
        const auto doc = url.find("doc=");
        const std::string param =
            doc == std::string::npos ? std::string() : url.substr(doc + 4, url.find('&', doc) - doc - 4);
        std::string served;
        for (const auto& [id, read] : servers_.reads->all()) {
            if (!param.empty() && id.rfind("page " + param + " ", 0) == 0)
                served += " served " + std::to_string(secondsSince(read.first)) + " s ago;";
        }
        return served;
    }
    // What the engine shows of a navigation that does not commit (its counts are for the message only).
    std::string stuck(ViewSlot& v) {
        const std::string url = v.view->request().url().absoluteString();
        const auto counts = NetworkEngine::shared().pingCounts();
        const auto observed = NetworkEngine::shared().observations();
        return url + " (navigated " + std::to_string(secondsSince(v.navigatedAt)) + " s ago;" + servedPages(url) +
               " pings " + std::to_string(counts.underWay) + " under way, " + std::to_string(counts.waiting) +
               " waiting; " + std::to_string(NetworkEngine::shared().activeTransferCount()) +
               " transfers; loads put back so far " + std::to_string(observed.loadsPutBack) + ", given way " +
               std::to_string(observed.loadsGivenWay) + ")";
    }
    void awaitCommit(ViewSlot& v) {
        if (!h_.runUntil([&] { return v.view->currentPage() != v.navigatingFrom; }, CommitWithin))
            FAIL("a new document did not commit within " << CommitWithin << " s: " << stuck(v));
        observeNavigations();
    }

    // --- Pings and loads ---------------------------------------------------------------------------

    struct Target {
        std::string url, id, finalId;
        std::vector<std::string> hosts;
        bool answers = false, prompt = false, refused = false, readHangs = false;
    };
    Target pingTo(char kind, int host) {
        Target t;
        t.id = t.finalId = newId("p");
        t.url = urlOf(kind, host, t.id);
        t.hosts = {originOf(kind, host)};
        t.answers = t.prompt = answersPing(kind);
        t.refused = kind == 'x';
        t.readHangs = kind == 'h';
        sent(kind);
        return t;
    }
    // To an ad host, which never answers this one.
    Target pingHangingOnAdHost(int host) {
        Target t;
        t.id = t.finalId = newId("p");
        t.url = originOf('n', host) + "/v?id=" + t.id;
        t.hosts = {originOf('n', host)};
        t.readHangs = true;
        sent('v');
        return t;
    }
    // Through the ad host's redirect: the same ping, its life running from its making.
    Target redirectedPing(char kind, int host) {
        Target t;
        const int from = pickHost();
        t.id = newId("p");
        t.finalId = t.id + "r";
        t.url = originOf('n', from) + "/r?id=" + t.id + "&to=" + percentEncoded(urlOf(kind, host, t.finalId));
        t.hosts = {originOf('n', from), originOf(kind, host)};
        t.answers = answersPing(kind);
        t.refused = kind == 'x';
        t.readHangs = kind == 'h';
        sent(kind);
        return t;
    }
    std::size_t hangingAlive() const {
        return static_cast<std::size_t>(std::count_if(items_.begin(), items_.end(), [](const auto& t) {
            return t->ping && !t->answers && !t->refused && !t->ended() && !t->cancelled;
        }));
    }
    Target randomPing() {
        const int roll = pick(0, 99);
        const int host = pickHost();
        if (roll < 30) return pingTo('n', host);
        if (roll < 37) return pingTo('c', host);
        if (roll < 44) return pingTo('l', host);
        if (roll < 52) return pingTo('t', host);
        if (roll < 57) return redirectedPing("nclt"[pick(0, 3)], host);
        if (roll < 60) return pick(0, 1) == 0 ? pingTo('x', host) : redirectedPing('x', host);
        if (hangingAlive() >= hangingCap_) return pingTo('n', host);
        if (roll < 65) return redirectedPing(mayHang('h') && pick(0, 1) == 0 ? 'h' : 's', host);
        if (roll < 75 && mayHang('v')) return pingHangingOnAdHost(host);
        if (roll < 85 && mayHang('h')) return pingTo('h', host);
        return pingTo('s', host);
    }

    // A ping from the view's document; null when refused (checked against the quotas as the owners hold
    // them, by the test's own count of ads) or when the view holds no open document.
    Tracked* ping(ViewSlot& v, const Target& target, std::size_t bodyBytes = 0) {
        auto page = v.view->currentPage();
        if (!page) return nullptr;
        const TransferOrigin origin = page->options().origin;
        URLRequest request(*URL::parse(target.url));
        if (bodyBytes > 0) {
            request.setHTTPMethod("POST");
            request.setHTTPBody(Bytes(bodyBytes, 'b'));
        }
        auto t = std::make_unique<Tracked>();
        t->id = target.id;
        t->finalId = target.finalId;
        t->url = target.url;
        t->ping = true;
        t->answers = target.answers;
        t->prompt = target.prompt;
        t->refused = target.refused;
        t->readHangs = target.readHangs;
        t->hosts = target.hosts;
        t->lane = target.hosts.front();
        t->view = turnOf(v);
        t->ad = adOf(v);
        t->document = origin.document;
        t->bytes = request.url().absoluteString().size() + request.httpBody().size();
        Counts view, ad, process;
        for (const auto& other : items_) {
            if (!other->held()) continue;
            process.add(other->bytes);
            if (other->view == t->view) view.add(other->bytes);
            if (other->ad == t->ad) ad.add(other->bytes);
        }
        auto fits = [&](const Counts& held, std::size_t pings, std::size_t bytes) {
            return held.pings < pings && held.bytes + t->bytes <= bytes;
        };
        const bool floor = fits(ad, Quotas.adFloorPings, Quotas.adFloorBytes);
        const bool adRoom = fits(ad, Quotas.adPings, Quotas.adBytes);
        const bool processRoom = fits(process, Quotas.processPings, Quotas.processBytes);
        Error error;
        t->connection = v.view->connectionForPage(request, t->recorder, &error, PageLoad::Beacon);
        INFO(t->text() << " of " << t->bytes << " bytes; the view holds " << view.pings << " pings, " << view.bytes
                       << " bytes; its ad " << ad.pings << ", " << ad.bytes << "; the process " << process.pings
                       << ", " << process.bytes);
        if (!t->connection) {
            INFO("refused: " << error.description);
            // A page that takes no more loads (closed, or its scripts stopped) holds no open document.
            if (error.description.find("the page is closed") != std::string::npos ||
                error.description.find("the page's scripts are stopped") != std::string::npos)
                return nullptr;
            ++totals_.pings;
            ++totals_.refused;
            CHECK_FALSE(floor);
            CHECK_FALSE((adRoom && processRoom));
            const char* quota = !adRoom ? "past its ad's quota of pings" : "past the process's quota of pings";
            CHECK(error.description.find(quota) != std::string::npos);
            if (adRoom) ++processRefusals_;
            return nullptr;
        }
        ++totals_.pings;
        CHECK((floor || (adRoom && processRoom)));
        // One ad of the test's is one of the engine's: a page opened for a creative is in its ad, each
        // load by the app starts a new one.
        const auto [engineAd, newAd] = engineAds_.emplace(t->ad, origin.adKey());
        const auto [testAd, newEngineAd] = testAds_.emplace(origin.adKey(), t->ad);
        CHECK(engineAd->second == origin.adKey());
        CHECK(testAd->second == t->ad);
        t->made = Steady::now();
        t->madeNanos = t->touchedNanos = Clock::nanoseconds();
        t->connection->start();
        items_.push_back(std::move(t));
        return items_.back().get();
    }

    void sendPings(ViewSlot& v, int count) {
        for (int i = 0; i < count; ++i) {
            const std::size_t body = pick(0, 9) == 0 ? static_cast<std::size_t>(pick(256, 4096)) : 0;
            ping(v, randomPing(), body);
        }
    }
    // A banner's trackers, each ad's to the one host that reads them and never answers (one that never
    // accepts, once the servers have held enough).
    void sendTrackers(ViewSlot& v, int count) {
        for (int i = 0; i < count && hangingAlive() < hangingCap_; ++i) {
            if (!mayHang(v.deadKind))
                ping(v, pingTo('s', v.deadHost));
            else if (v.deadKind == 'v')
                ping(v, pingHangingOnAdHost(v.deadHost));
            else
                ping(v, pingTo('h', v.deadHost));
        }
    }
    // A creative's trackers that its ad host, or hosts that hang, never answer.
    void sendHangingPings(ViewSlot& v, int host, int count) {
        const int roll = pick(0, 2);
        for (int i = 0; i < count && hangingAlive() < hangingCap_; ++i) {
            if (roll == 0 && mayHang('v'))
                ping(v, pingHangingOnAdHost(host));
            else if (roll == 1 && mayHang('h'))
                ping(v, pingTo('h', host));
            else
                ping(v, pingTo('s', host));
        }
    }

    // Loads that end with the document, to every kind of host.
    void sendLoads(ViewSlot& v, int count) {
        auto page = v.view->currentPage();
        if (v.pinned() || !page) return;
        const TransferOrigin origin = page->options().origin;
        for (int i = 0; i < count; ++i) {
            char kind = "nlvthsx"[pick(0, 6)];
            if (!mayHang(kind)) kind = 's';
            sent(kind);
            auto t = std::make_unique<Tracked>();
            t->id = t->finalId = newId("l");
            const int host = pickHost();
            t->url = urlOf(kind, host, t->id);
            t->hosts = {originOf(kind, host)};
            t->answers = kind == 'n' || kind == 'l';
            t->refused = kind == 'x';
            t->view = turnOf(v);
            t->ad = adOf(v);
            t->document = origin.document;
            URLRequest request(*URL::parse(t->url));
            if (pick(0, 1) == 0) request.setTimeoutInterval(15);
            t->connection = v.view->connectionForPage(request, t->recorder, nullptr, PageLoad::EndsWithPage);
            if (!t->connection) continue;  // past the page's loads or budget
            t->made = Steady::now();
            t->madeNanos = Clock::nanoseconds();
            t->connection->start();
            ++totals_.loads;
            items_.push_back(std::move(t));
        }
    }

    void cancelSome(int count) {
        std::vector<Tracked*> open;
        for (auto& t : items_) {
            if (!t->ended() && !t->cancelled) open.push_back(t.get());
        }
        std::shuffle(open.begin(), open.end(), random_);
        open.resize(std::min(open.size(), static_cast<std::size_t>(count)));
        for (Tracked* t : open) cancel(*t);
    }
    void cancel(Tracked& t) {
        t.recorder->cancelled = true;
        t.cancelled = true;
        t.cancelledAt = Steady::now();
        t.cancelledNanos = t.touchedNanos = Clock::nanoseconds();
        t.connection->cancel();
        if (t.ping) ++totals_.cancelled;
    }

    // --- What is owed ------------------------------------------------------------------------------

    // The clock's reading at real time `at`, or the one it was moved to then: no earlier than the
    // reading at that moment.
    Nanos clockBy(Steady::time_point at) const {
        Nanos clock = startNanos_;
        for (const auto& a : advances_) {
            if (a.from > at) break;
            clock = a.after;
        }
        return clock;
    }
    // Whether the test moved the clock between `from` and `to` (real time).
    bool clockMovedBetween(Steady::time_point from, Steady::time_point to) const {
        return std::any_of(advances_.begin(), advances_.end(),
                           [&](const Advance& a) { return a.to >= from && a.from <= to; });
    }
    // The latest the ping may have held a place, on the clock.
    Nanos heldUntil(const Tracked& t, Steady::time_point now, Nanos clock) const {
        if (t.ended()) return t.recorder->endedNanos;
        return t.mayHoldPlace(now) ? clock : t.touchedNanos;
    }
    Slowness slowness(Steady::time_point now, Nanos clock) const {
        Slowness slow;
        for (const auto& t : items_) {
            if (!t->ping) continue;
            const Nanos until = heldUntil(*t, now, clock);
            if (until + SlowFor + Second < clock) continue;
            for (const std::string& host : t->hosts) slow.mayBeUnderWay(host, t->madeNanos, until, t.get());
            if (!t->readHangs || (t->ended() && (t->recorder->finished || !isTimeout(*t->recorder->error)))) continue;
            // Read, it was under way; it ends no earlier than its life or its owner's cancel.
            if (auto read = servers_.reads->find(t->finalId))
                slow.underWay(t->hosts.back(), clockBy(read->seen),
                              std::min(t->madeNanos + LifeNanos, t->cancelled ? t->cancelledNanos : Never));
        }
        return slow;
    }

    // A ping to a host that answers is owed a place at once (read within ReadWithin), judged from what the
    // owners hold, which is at least what holds places, when its lane has room, its view holds no more
    // pings than its share of the ordinary places (views counted with a ping that may hold a place), and:
    // - by the share rule, every ping that may hold a place fits the ordinary places; or
    // - by the reserve's: its host is not slow; every other ping of its ad that may hold a place goes to a
    //   host surely slow now (an ad's pings to slow hosts leave it the reserve); its view holds no other
    //   ping that may have taken a reserve place (one to a host that was not surely slow all the time
    //   since it was made); and fewer other views than the reserve's places hold such pings.
    // Checked again as more pings come: a ping owed a place then may wait behind them.
    void reviewDue(std::size_t firstNew) {
        const auto now = Steady::now();
        const Nanos clock = Clock::nanoseconds();
        const Slowness slow = slowness(now, clock);
        auto surelySlowSince = [&](const Tracked& t, Nanos from) {
            return std::all_of(t.hosts.begin(), t.hosts.end(),
                               [&](const std::string& host) { return slow.surelySlow(host, from, clock); });
        };
        auto mayTakeReserve = [&](const Tracked& t) { return !surelySlowSince(t, t.madeNanos); };
        auto mayKeepAdBusy = [&](const Tracked& t) { return !surelySlowSince(t, clock); };
        std::map<std::uint64_t, std::size_t> views, reserveViews, busyAds;
        std::map<std::pair<std::uint64_t, std::string>, std::size_t> lanes;
        std::size_t total = 0, surelyUnderWay = 0;
        for (const auto& t : items_) {
            if (!t->ping || !t->mayHoldPlace(now)) continue;
            ++total;
            // Read and never answered, within its life and its owner's: it holds a place.
            if (t->readHangs && !t->cancelled && clock < t->madeNanos + LifeNanos && servers_.reads->find(t->finalId))
                ++surelyUnderWay;
            ++views[t->view];
            ++lanes[{t->document, t->lane}];
            if (mayTakeReserve(*t)) ++reserveViews[t->view];
            if (mayKeepAdBusy(*t)) ++busyAds[t->ad];
        }
        const std::size_t share = views.empty() ? ordinary_ : (ordinary_ + views.size() - 1) / views.size();
        const std::size_t viewsOnReserve = reserveViews.size();
        // Every ordinary place is taken when more hold places than the reserve can (one a view).
        const bool ordinaryFull = surelyUnderWay >= ordinary_ + std::min(limits_.pingReserve, viewsOnReserve);
        for (std::size_t i = 0; i < items_.size(); ++i) {
            Tracked& t = *items_[i];
            if (!t.ping || !t.prompt || t.ended() || t.cancelled || (i < firstNew && !t.due)) continue;
            const bool lane = lanes[{t.document, t.lane}] <= PerHost;
            const bool room = lane && views[t.view] <= share;
            bool reserve = false;
            if (lane && (room || ordinaryFull) && total > ordinary_) {
                const std::size_t ownView = reserveViews.contains(t.view) ? reserveViews.at(t.view) : 0;
                const std::size_t ownAd = busyAds.contains(t.ad) ? busyAds.at(t.ad) : 0;
                reserve = !slow.maybeSlow(t.lane, clock, &t) && ownView - (mayTakeReserve(t) ? 1 : 0) == 0 &&
                          ownAd - (mayKeepAdBusy(t) ? 1 : 0) == 0 &&
                          viewsOnReserve - (ownView > 0 ? 1 : 0) < limits_.pingReserve;
            }
            const bool owed = (room && total <= ordinary_) || reserve;
            if (i >= firstNew && owed) {
                ++totals_.due;
                if (total > ordinary_) ++totals_.dueByReserve;
            }
            t.due = owed;
        }
    }

    // --- Steps -------------------------------------------------------------------------------------

    void act() {
        const int roll = pick(0, 99);
        ViewSlot* free = freeView();
        if (views_.size() < 4 || (roll < 8 && ordinaryViews() < maxViews_)) {
            appLoad(addView());
        } else if (roll < 16) {
            if (free) appLoad(*free);
        } else if (roll < 24) {
            if (free) selfNavigate(*free, pick(0, 1) == 0);
        } else if (roll < 38) {
            sendPings(anyView(), pick(1, 4));
        } else if (roll < 44) {
            // A creative's trackers hang on its ad host as it goes; the next one in the view loads from
            // there.
            ViewSlot& v = anyView();
            const int host = pickHost();
            sendHangingPings(v, host, pick(6, 16));
            if (!v.creative && !v.banner && !v.pinned()) appLoad(v, host);
        } else if (roll < 50) {
            for (auto& v : views_) {
                if (v->banner && !v->pinned()) refresh(*v);
            }
        } else if (roll < 56) {
            ViewSlot* base = viewWithPage();
            if (base != nullptr && overlays() < 4) openOverlay(*base);
        } else if (roll < 65) {
            sendLoads(anyView(), pick(1, 3));
        } else if (roll < 72) {
            cancelSome(pick(1, 4));
        } else if (roll < 81) {
            advance(pick(1, 12));
        } else if (roll < 84) {
            advance(Life + 1);
        } else if (roll < 90) {
            if (free && views_.size() > 4) removeView(*free);
        } else if (free) {
            // A page pings and goes at once: its pings go on.
            sendPings(*free, pick(1, 3));
            selfNavigate(*free, pick(0, 1) == 0);
        }
    }

    void removeView(ViewSlot& v) {
        std::erase_if(views_, [&](const auto& slot) { return slot.get() == &v; });
    }

    void advance(double seconds) {
        const auto from = Steady::now();
        h_.advance(seconds);
        advances_.push_back({from, Steady::now(), Clock::nanoseconds()});
        // What may still hold a place may have held it at the clock's new reading.
        const auto now = Steady::now();
        for (auto& t : items_) {
            if (t->ping && t->mayHoldPlace(now)) t->touchedNanos = advances_.back().after;
        }
        clockMoved_ += seconds;
        if (clockMoved_ >= Life) {
            clockMoved_ = 0;
            lifeMark_ = Steady::now();
        }
    }
    // A ping's life ends on the virtual clock: the clock moves a life within every 20 s of real time, so
    // that no real-time timeout (a connection's, a server's answer at last) comes first.
    void keepLivesMoving() {
        if (secondsSince(lifeMark_) > 20) advance(Life + 1);
    }

    // Views near their ad's quota of hanging pings fill the process's; a fresh view and a page opened for
    // its creative are still admitted their ad's floor, together; then the owners let most of them go.
    void fillQuotas() {
        const std::size_t before = items_.size();
        // The process fills: no ping is owed a place at once any more.
        for (auto& t : items_) t->due = false;
        const bool bodies = pick(0, 1) == 0;
        // Until refused (its ad's quota, or the process's once full: its ad's floor first), or `most`.
        auto fill = [&](ViewSlot& v, int most) {
            for (int i = 0; i < most; ++i) {
                const std::size_t body = bodies ? static_cast<std::size_t>(pick(6000, 12000)) : 0;
                const int host = pickHost();
                Target target = pick(0, 9) == 0 && mayHang('h') ? pingTo('h', host) : pingTo('s', host);
                if (ping(v, target, body) == nullptr) return i;
            }
            if (most >= 80) FAIL("a view's pings were never refused");
            return most;
        };
        auto freshView = [&] {
            ViewSlot& v = addView();
            v.quota = true;
            appLoad(v, -1, std::string{'n', static_cast<char>('0' + pickHost())});
            awaitCommit(v);
            return &v;
        };
        const std::size_t refusedBefore = processRefusals_;
        while (processRefusals_ == refusedBefore) {
            REQUIRE(views_.size() < 31);
            fill(*freshView(), 80);
        }
        // An ad within its floor is admitted while the process is full, the page the app opens for its
        // creative counting in it; past it, both are refused for the process's quota.
        ViewSlot& fresh = *freshView();
        const int first = fill(fresh, pick(1, static_cast<int>(Quotas.adFloorPings) - 1));
        ViewSlot& overlay = openOverlay(fresh);
        overlay.quota = true;
        overlay.pinged = true;
        awaitCommit(overlay);
        const int more = fill(overlay, 80);
        CHECK(first >= 1);
        CHECK(static_cast<std::size_t>(first + more) <= Quotas.adFloorPings);
        const auto counts = NetworkEngine::shared().pingCounts();
        totals_.mostAdmitted = std::max(totals_.mostAdmitted, counts.admitted);
        check();
        // The owners let most go: what is left drains within a life.
        std::vector<Tracked*> filled;
        for (std::size_t i = before; i < items_.size(); ++i) filled.push_back(items_[i].get());
        std::shuffle(filled.begin(), filled.end(), random_);
        for (Tracked* t : filled) {
            if (hangingAlive() <= hangingCap_ / 2) break;
            if (!t->ended() && !t->cancelled) cancel(*t);
        }
        std::vector<ViewSlot*> quotaViews;
        for (auto& v : views_) {
            if (v->quota) quotaViews.push_back(v.get());
        }
        for (std::size_t i = 2; i < quotaViews.size(); ++i) removeView(*quotaViews[i]);
        h_.runUntil([] { return false; }, 0.2);
        observeNavigations();
        check();
    }

    // What still waits for its first load's place: a navigation under way, a first image not read, the
    // creative's last reload or its document's first image. Empty when nothing.
    std::string firstLoadsWaiting() {
        for (const auto& v : views_) {
            if (v->navigating) return "a navigation: " + stuck(*v);
            if (!v->firstImage.empty() && !servers_.reads->find(v->firstImage)) return "the image " + v->firstImage;
        }
        if (creative_ == nullptr) return {};
        const ViewSlot& c = *creative_;
        if (c.view->currentPage() == c.navigatingFrom && c.delegate->failures == c.failuresBefore)
            return "the creative's reload";
        const std::string serial = c.view->evaluate("serial");
        if (serial.empty() || !servers_.reads->find(serial + "-0")) return "the creative's image " + serial + "-0";
        return {};
    }

    // A newcomer's load, to a host that answers late, completes within its own timeout beside loads that
    // trickle their bodies and heads (web content full of them at the smallest limits), and at most one
    // load gives its place for it. A load is failed for a newcomer only while it is the longest-held
    // written load: so that none comes meanwhile, every ping's life ends first and none is made, and every
    // other document's first load has had its place before the probe's document comes.
    void probeNewcomer() {
        advance(Life + 1);
        auto noPings = [] {
            const auto counts = NetworkEngine::shared().pingCounts();
            return counts.underWay == 0 && counts.waiting == 0;
        };
        if (!h_.runUntil(noPings, ReadWithin)) {
            const auto counts = NetworkEngine::shared().pingCounts();
            FAIL("pings outlive their life: " << counts.underWay << " under way, " << counts.waiting
                                              << " waiting a life after every ping was made");
        }
        ViewSlot* filler = freeView();
        if (filler == nullptr) filler = &addView();
        std::string mix = {'n', static_cast<char>('0' + pickHost())};
        const int fill = static_cast<int>(std::min<std::size_t>(limits_.webContentTransfers, 16));
        for (int i = 0; i < fill; ++i) {
            char kind = i % 2 == 0 && mayHang('h') ? 'h' : 't';
            sent(kind);
            mix += kind;
            mix += static_cast<char>('0' + pickHost());
        }
        appLoad(*filler, -1, mix);
        h_.runUntil([] { return false; }, 1.0);
        observeNavigations();
        // Seen twice in a row: a navigation a page asked for starts from a task of its own.
        const auto since = Steady::now();
        int placed = 0;
        while (placed < 2) {
            const std::string waiting = firstLoadsWaiting();
            placed = waiting.empty() ? placed + 1 : 0;
            if (secondsSince(since) > ReadWithin)
                FAIL("a first load still waits after " << ReadWithin << " s: " << waiting);
            h_.runUntil([] { return false; }, 0.1);
            observeNavigations();
        }
        check();
        const std::size_t givenWay = NetworkEngine::shared().observations().loadsGivenWay;
        ViewSlot& v = addView();
        startNavigation(v, nextId_++, v.serial);
        v.mix.clear();
        v.view->loadHTMLString(pageHTML(newId("Q"), ""), URL::parse(pageURL("")));
        awaitCommit(v);
        auto page = v.view->currentPage();
        auto t = std::make_unique<Tracked>();
        t->id = t->finalId = newId("q");
        const int host = pickHost();
        t->url = urlOf('l', host, t->id);
        t->hosts = {originOf('l', host)};
        t->answers = true;
        t->view = v.turn;
        t->ad = v.ad;
        t->document = page->options().origin.document;
        URLRequest request(*URL::parse(t->url));
        constexpr double OwnTime = 10;
        request.setTimeoutInterval(OwnTime);
        t->connection = v.view->connectionForPage(request, t->recorder, nullptr, PageLoad::EndsWithPage);
        REQUIRE(t->connection);
        t->made = Steady::now();
        t->madeNanos = Clock::nanoseconds();
        t->connection->start();
        Tracked& probe = *t;
        items_.push_back(std::move(t));
        h_.runUntil([&] { return probe.ended(); }, OwnTime + 5);
        const std::size_t gaveWay = NetworkEngine::shared().observations().loadsGivenWay - givenWay;
        INFO("a newcomer's load beside trickles: " << probe.text() << ", ended " << probe.recorder->ends
                                                   << " times, error " << describe(probe.recorder->error) << "; "
                                                   << gaveWay << " loads gave their place meanwhile");
        CHECK(probe.recorder->finished);
        CHECK(gaveWay <= 1);
        ++totals_.probes;
        clickBesideHangingPings(v);
    }

    // Creatives whose trackers never get through (to hosts that never accept) hold every ordinary place of
    // pings, and more wait; a new ad's click, to a host that is not slow, is owed a place at once all the
    // same (see reviewDue). Run where no other ping is left.
    void clickBesideHangingPings(ViewSlot& clicker) {
        const std::size_t before = items_.size();
        const std::size_t hanging = ordinary_ + 4;
        for (std::size_t sent = 0; sent < hanging;) {
            ViewSlot& creative = addView();
            appLoad(creative, -1, std::string{'n', static_cast<char>('0' + pickHost())});
            awaitCommit(creative);
            for (std::size_t i = 0; i < Quotas.adPings && sent < hanging; ++i, ++sent)
                ping(creative, pingTo('s', pickHost()));
        }
        const Slowness slow = slowness(Steady::now(), Clock::nanoseconds());
        const int first = pickHost();
        for (int i = 0; i < HostsPerKind; ++i) {
            const int host = (first + i) % HostsPerKind;
            if (slow.maybeSlow(originOf('c', host), Clock::nanoseconds())) continue;
            Tracked* click = ping(clicker, pingTo('c', host));
            if (click == nullptr) break;
            ++totals_.clicks;
            reviewDue(before);
            // Nothing else comes meanwhile: owed a place, it is read in time.
            if (click->due) {
                ++totals_.clicksBesideHanging;
                h_.runUntil([&] { return servers_.reads->find(click->id).has_value(); }, ReadWithin + 0.5);
                check();
            }
            break;
        }
    }

    // --- Checks ------------------------------------------------------------------------------------

    void check() {
        servers_.poll();
        const auto twice = servers_.reads->readTwice();
        if (!twice.empty()) FAIL("a server read request " << twice.front() << " twice");
        const auto now = Steady::now();
        const Nanos clock = Clock::nanoseconds();
        Counts held;
        std::set<std::uint64_t> holding;
        for (auto& slot : items_) {
            Tracked& t = *slot;
            if (t.held()) {
                held.add(t.bytes);
                holding.insert(t.ad);
            }
            if (t.settled) continue;
            const Recorder& r = *t.recorder;
            INFO(t.text() << ": ended " << r.ends << " times, error " << describe(r.error));
            REQUIRE(r.ends <= 1);
            REQUIRE(r.afterCancel == 0);
            if (t.ended()) {
                t.settled = true;
                if (t.ping) checkPingEnd(t);
                else checkLoadEnd(t);
            } else if (t.ping && !t.cancelled && clock >= t.madeNanos + LifeNanos) {
                // Nothing admitted lives past its life, waiting or not.
                if (!t.overdueSince) t.overdueSince = now;
                else if (secondsBetween(*t.overdueSince, now) > ReadWithin)
                    FAIL("a ping lives on " << ReadWithin << " s after the clock passed its life");
            }
            if (!t.ended() && t.due && !t.cancelled && !servers_.reads->find(t.id) &&
                secondsBetween(t.made, now) > ReadWithin) {
                FAIL("a ping owed a place at once is not read within " << ReadWithin << " s");
            }
            if (t.due) {
                if (auto read = servers_.reads->find(t.id)) {
                    CHECK(secondsBetween(t.made, read->first) <= ReadWithin);
                    t.due = false;
                    ++totals_.dueRead;
                }
            }
        }
        for (auto& slot : views_) {
            ViewSlot& v = *slot;
            if (v.firstImage.empty()) continue;
            if (auto read = servers_.reads->find(v.firstImage)) {
                CHECK(secondsBetween(v.committedAt, read->first) <= ReadWithin);
                v.firstImage.clear();
            } else if (secondsSince(v.committedAt) > ReadWithin) {
                FAIL("a new document's first image is not read within "
                     << ReadWithin << " s: " << v.firstImage << " (" << v.view->request().url().absoluteString()
                     << ")");
            }
        }
        const auto counts = NetworkEngine::shared().pingCounts();
        INFO("the owners hold " << held.pings << " pings of " << held.bytes << " bytes in " << holding.size()
                                << " ads; the engine admitted " << counts.admitted << " of " << counts.bytes
                                << " bytes, " << counts.underWay << " under way, " << counts.waiting
                                << " waiting");
        REQUIRE(counts.admitted == held.pings);
        REQUIRE(counts.bytes == held.bytes);
        REQUIRE(counts.admitted <= Quotas.processPings + Quotas.adFloorPings * holding.size());
        REQUIRE(counts.underWay <= limits_.pingTransfers);
    }

    void checkPingEnd(const Tracked& t) {
        const Recorder& r = *t.recorder;
        const auto read = servers_.reads->find(t.finalId);
        if (r.finished) {
            // Done at its final head: the server read it (and its redirect's target), its body unread.
            ++totals_.answered;
            CHECK(t.answers);
            CHECK(r.responses >= 1);
            CHECK(r.dataBytes == 0);
            CHECK(servers_.reads->times(t.id) == 1);
            CHECK(servers_.reads->times(t.finalId) == 1);
            return;
        }
        REQUIRE(r.error);
        if (t.refused && !isTimeout(*r.error)) {
            // Its host refused the connection: it ends then, never read there.
            ++totals_.refusedByHost;
            CHECK(r.error->code == URLError::CannotConnectToHost);
            CHECK_FALSE(read);
            return;
        }
        // Only its life ends it otherwise, a life from its making: a hop under way fails at its end, a
        // hop left less than a second fails unsent.
        ++totals_.lifeEnded;
        CHECK(isTimeout(*r.error));
        CHECK(detailOf(*r.error).find("life") != std::string::npos);
        CHECK(r.endedNanos - t.madeNanos >= (read ? LifeNanos : LifeNanos - LeastLife));
        // Its host did not answer in its life: a host that answers had never read it (it waited its life),
        // or the clock passed its life while the answer was on the way.
        if (t.answers && read) {
            INFO("read " << secondsBetween(read->first, r.endedAt) << " s before it ended");
            CHECK(clockMovedBetween(read->first - std::chrono::seconds(1), r.endedAt));
        }
    }

    void checkLoadEnd(const Tracked& t) {
        const Recorder& r = *t.recorder;
        if (r.finished) {
            CHECK(t.answers);
            CHECK(servers_.reads->times(t.id) == 1);
            return;
        }
        // Its timeout (a place given to another document's, its own running out), its page gone, or its
        // host refusing.
        REQUIRE(r.error);
        const bool pageGone = r.error->domain == WebView::ErrorDomain && r.error->code == 102;
        const bool refused = t.refused && r.error->code == URLError::CannotConnectToHost;
        CHECK((isTimeout(*r.error) || pageGone || refused));
        if (gaveWay(*r.error)) {
            ++totals_.loadsGaveWay;
            victims_.push_back(t.id);
        }
    }

    // Every view goes, and the clock moves on a life: every ping has ended then, whatever it waited for.
    void drain() {
        creative_ = nullptr;
        views_.clear();
        h_.runUntilIdle();
        h_.runUntil([&] { return allEnded(); }, 1.0);
        advance(Life + 1);
        h_.runUntil([&] { return allEnded(); }, ReadWithin);
        check();
        for (const auto& t : items_) {
            if (t->ended() || t->cancelled) continue;
            FAIL("still under way a life after it was made: " << t->text());
        }
        REQUIRE(h_.runUntil([] { return NetworkEngine::shared().activeTransferCount() == 0; }, 20));
        h_.runUntilIdle();
        check();
        for (const auto& t : items_) {
            INFO(t->text());
            if (!t->cancelled) CHECK(t->recorder->ends == 1);
            // Read once, unless its life ended (or its owner let it go) first.
            if (t->ping && t->answers && t->recorder->finished) CHECK(servers_.reads->times(t->finalId) == 1);
        }
        // A load gave its place only once its request had gone out: its server read it (one still
        // connecting hands its place on and waits again).
        for (const std::string& id : victims_) {
            INFO("the load " << id << " gave its place");
            CHECK(servers_.reads->find(id));
        }
        for (const std::string& url : victimPages_) {
            INFO("the navigation to " << url << " gave its place");
            CHECK_FALSE(servedPages(url).empty());
        }
        const auto counts = NetworkEngine::shared().pingCounts();
        CHECK(counts.admitted == 0);
        CHECK(counts.bytes == 0);
        servers_.web->clearLog();
    }
    bool allEnded() const {
        return std::all_of(items_.begin(), items_.end(), [](const auto& t) { return t->ended() || t->cancelled; });
    }

    struct Advance {
        Steady::time_point from, to;  // real time around the move
        Nanos after;                   // the clock's reading then
    };

    testing::Harness& h_;
    Servers& servers_;
    std::mt19937 random_;
    const NetworkEngine::Limits limits_;
    Totals& totals_;
    const std::size_t ordinary_;    // pings' places less the reserve
    const std::size_t hangingCap_;  // hanging pings alive at once outside the quotas' fill
    const std::size_t maxViews_;
    const Nanos startNanos_;
    std::vector<std::unique_ptr<ViewSlot>> views_;
    ViewSlot* creative_ = nullptr;
    std::vector<std::unique_ptr<Tracked>> items_;
    std::vector<Advance> advances_;
    std::vector<std::string> victims_;      // loads that gave their place to a newcomer
    std::vector<std::string> victimPages_;  // navigations whose load did
    std::map<std::uint64_t, std::uint64_t> engineAds_;  // the test's ads, the engine's
    std::map<std::uint64_t, std::uint64_t> testAds_;    // and back
    int step_ = 0;
    std::size_t processRefusals_ = 0;
    int neverSent_ = 0;
    int headsSent_ = 0;
    double clockMoved_ = 0;
    Steady::time_point lifeMark_;
    // Request ids (and the test's names for views and ads) are unique for the whole run: the servers'
    // records outlive a round.
    static inline std::uint64_t nextId_ = 1;
};

void holdInvariants(testing::Harness& h, rlim_t descriptorLimit) {
    const auto limits = nettest::limitDescriptors(descriptorLimit);
    Servers servers;
    // The first secure connection pays for the trust store and the server's set-up.
    auto warm = std::make_shared<Recorder>();
    auto first =
        URLConnection::create(URLRequest(*URL::parse(urlOf('n', 0, "warm"))), warm, TransferOrigin::app());
    REQUIRE(h.runUntil([&] { return warm->ends > 0; }, 60));
    const char* seedText = std::getenv("RUZAVE_INVARIANT_SEED");
    const char* roundsText = std::getenv("RUZAVE_INVARIANT_ROUNDS");
    const std::uint32_t seed = seedText ? static_cast<std::uint32_t>(std::strtoul(seedText, nullptr, 10))
                                        : static_cast<std::uint32_t>(descriptorLimit);
    const int rounds = roundsText ? std::atoi(roundsText) : 4;
    Totals totals;
    for (int round = 0; round < rounds; ++round) {
        INFO("seed " << seed + static_cast<std::uint32_t>(round) << " at " << descriptorLimit << " descriptors");
        Run run(h, servers, seed + static_cast<std::uint32_t>(round), limits, totals);
        run.round(50);
    }
    const auto observed = NetworkEngine::shared().observations();
    MESSAGE("pings " << totals.pings << " (refused " << totals.refused << ", answered " << totals.answered
                     << ", ended by their life " << totals.lifeEnded << ", by their host's refusal "
                     << totals.refusedByHost << ", cancelled " << totals.cancelled << ", owed a place at once "
                     << totals.due << " (by the reserve " << totals.dueByReserve << ") of which read "
                     << totals.dueRead << ", clicks " << totals.clicks << ", of which owed beside hanging pings "
                     << totals.clicksBesideHanging << "), at most " << totals.mostAdmitted
                     << " admitted; ads refreshed " << totals.refreshes << ", pages opened for a creative "
                     << totals.overlays << "; loads " << totals.loads << " (" << totals.loadsGaveWay
                     << " gave their place); first images " << totals.firstImages << "; navigations given way "
                     << totals.navigationsGivenWay << "; newcomers beside trickles " << totals.probes
                     << "; engine: loads given way " << observed.loadsGivenWay << ", put back "
                     << observed.loadsPutBack << ", ping hops put back " << observed.pingHopsPutBack
                     << ", most put back of one " << observed.mostPutBacksOfOne);
}

} // namespace

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, pings and servers never break web content's invariants at 64 "
                  "descriptors") {
    holdInvariants(*this, 64);
}

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, pings and servers never break web content's invariants at 128 "
                  "descriptors") {
    holdInvariants(*this, 128);
}

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, pings and servers never break web content's invariants at 256 "
                  "descriptors") {
    holdInvariants(*this, 256);
}

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, pings and servers never break web content's invariants at 1,024 "
                  "descriptors") {
    holdInvariants(*this, 1024);
}

namespace {
// A click of an ad whose view holds its share with trackers to a host that has turned slow, while loads
// that are written and never end fill web content and the ordinary places of pings are not all taken.
void clickBesideFullWebContent(testing::Harness& h, bool atShare) {
    const auto limits = nettest::limitDescriptors(128);
    REQUIRE(limits.webContentTransfers == 16);
    REQUIRE(limits.pingTransfers == 12);
    Servers servers;
    // The app has heard from the click's host (its ad server, say) within the half minute: it is known to
    // answer, and the click is a hop the reserve is for.
    auto warm = std::make_shared<Recorder>();
    auto first = URLConnection::create(URLRequest(*URL::parse(urlOf('n', 0, "warm"))), warm, TransferOrigin::app());
    auto clickHost = URLConnection::create(URLRequest(*URL::parse(urlOf('c', 0, "warm"))), warm, TransferOrigin::app());
    REQUIRE(h.runUntil([&] { return warm->ends > 1; }, 60));
    auto viewWith = [&](const std::string& html) {
        auto v = WebView::create(Rect(0, 0, 320, 480));
        v->loadHTMLString(html, URL::parse("https://now-0.invariants.example/page"));
        REQUIRE(h.runUntil([&] { return v->currentPage() != nullptr; }, 5));
        return v;
    };
    std::vector<std::shared_ptr<Recorder>> recorders;
    std::vector<std::shared_ptr<URLConnection>> connections;
    auto ping = [&](WebView& v, const std::string& url) {
        auto r = std::make_shared<Recorder>();
        auto c = v.connectionForPage(URLRequest(*URL::parse(url)), r, nullptr, PageLoad::Beacon);
        REQUIRE(c);
        c->start();
        recorders.push_back(r);
        connections.push_back(c);
    };
    // Two views' trackers, to a host that reads them and never answers: A holds 5 places, B 1 (each's
    // share is 5 of the 10 ordinary places).
    auto a = viewWith("<body></body>");
    auto b = viewWith("<body></body>");
    for (int i = 0; i < 5; ++i) ping(*a, "https://now-1.invariants.example/v?id=a" + std::to_string(i));
    ping(*b, "https://now-2.invariants.example/v?id=b0");
    REQUIRE(h.runUntil([&] { return servers.reads->find("a4") && servers.reads->find("b0"); }, 5));
    // Documents whose images' heads trickle without end fill the 10 other places.
    std::vector<std::shared_ptr<WebView>> fillers;
    for (int d = 0; d < 8; ++d) {
        std::string html = "<body>";
        for (int i = 0; i < 4; ++i)
            html += "<img src=\"" + urlOf('h', i, "f" + std::to_string(d) + "-" + std::to_string(i)) + "\">";
        fillers.push_back(viewWith(html + "</body>"));
    }
    REQUIRE(h.runUntil([&] { return servers.head->openConnections() >= 10; }, 5));
    h.runUntil([] { return false; }, 1.0);
    // The trackers have been under way 2 s without their head: their host is slow.
    h.advance(2);
    ping(atShare ? *a : *b, urlOf('c', 0, "click"));
    const auto made = Steady::now();
    const bool read = h.runUntil([&] { return servers.reads->find("click").has_value(); }, 5);
    const std::string where = atShare ? "at" : "below";
    INFO("the click of the view " << where << " its share, read: " << read << " after "
                                  << secondsSince(made) << " s; web content's loads: "
                                  << servers.head->openConnections() << " trickling heads");
    CHECK(read);
}
} // namespace

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: at 128 descriptors a click of a view below its share is read at once beside web content "
                  "full of written loads") {
    clickBesideFullWebContent(*this, false);
}
TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: at 128 descriptors a click the reserve is for is read at once beside web content full of "
                  "written loads, its view at its share") {
    clickBesideFullWebContent(*this, true);
}
