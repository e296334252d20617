// Web content's invariants (NetworkEngine, its ping scheduler and WebView together), held over random
// sequences at descriptor limits of 64, 128, 256 and 1,024 (one test each: the engine reads the limit once
// per process). Web views come and go; the app loads creatives into them (each a new ad), pages navigate
// and reload themselves (the same ad), and one creative reloads itself at every step; pages send pings
// (beacons) one at a time and in bursts, and loads, to hosts that answer at once, late (0.7 s), never,
// trickle a body, trickle a head without end, or never accept; owners cancel; the virtual clock moves,
// past pings' lives too. Outcomes are counted from outside: what the servers read (every request carries
// an id of its own) and what the delegates hear. After every step:
// - no server read a request twice;
// - no load ended twice, nor was heard from after its owner cancelled it;
// - a ping ends only by its answer (its final head: a response, no body, a finish) or by its life: a
//   failure is its life's timeout, after 30 s of virtual time at least since it was made; a load fails
//   only as timed out or with its page gone;
// - a ping is refused only as it is made, only past its ad's or the process's quota (the error names
//   which), never within its view's floor, and is admitted whenever the quotas leave room; the engine
//   holds as many pings and bytes as their owners do, never more than the process's quota plus the
//   floor of each view holding some;
// - a ping to a host that answers is read within 10 s of real time when a place is owed it at once: its
//   lane has room, its view holds fewer than its share, and either every ping in flight fits the ordinary
//   places or its document and ad have no other in flight while the newcomers' reserve has room (places
//   held by other views' pings are not taken back: past these, a ping waits its turn);
// - a new document's first image, to a host that answers at once, is read within 10 s of its commit
//   whatever the others hold (hanging, trickling bodies and heads, silent hosts), and a navigation
//   commits within 10 s unless a newer document took its load's place.
// Once a round the process's quota is reached by views each near their ad's quota of hanging pings, a
// fresh view is still admitted its floor, and the owners cancel most of them; and twice a round a
// newcomer's load to a host that answers late completes within its own timeout beside loads that trickle
// their bodies and heads.
// At the end of a round (views gone, the clock moved on a life at a time): every ping to a host that
// answers was read once and finished unless its life ended first, every ping to a host that hangs failed
// by its life within the lives the hanging pings take, every load ended once, no ping is held and no
// transfer is active. RUZAVE_INVARIANT_SEED repeats a run, RUZAVE_INVARIANT_ROUNDS extends it.
#include <doctest/doctest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
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
#include "tools/adserver/AdServer.h"
#include "tools/adserver/SilentServer.h"
#include "tools/adserver/TrickleServer.h"

using namespace platform;

namespace {

using Steady = std::chrono::steady_clock;

double secondsSince(Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); }
double secondsBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// What a place owed at once brings: a request read well within this on a loaded machine under the
// sanitizers. Whatever waits for a hang to end (a ping's life, a load's timeout) does not count on it.
constexpr double ReadWithin = 10;
constexpr double Life = PingScheduler::LifeSeconds;
constexpr std::int64_t LifeNanos = static_cast<std::int64_t>(Life) * PingScheduler::NanosPerSecond;
constexpr std::size_t PerHost = NetworkEngine::MaximumTransfersPerHost;
const PingScheduler::Limits Quotas{};
constexpr int HostsPerKind = 8;

// Hosts by how they answer: n at once, l late, v never (it reads and holds the request), t a body a byte
// a second, h a head a byte a second, s never (it never accepts).
std::string hostName(char kind, int n) {
    static const std::map<char, std::string> names{{'n', "now"},     {'l', "late"}, {'v', "never"},
                                                   {'t', "trickle"}, {'h', "head"}, {'s', "silent"}};
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
bool answersPing(char kind) { return kind == 'n' || kind == 'l' || kind == 't'; }

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
        if (std::string("nlvths").find(mix[i]) == std::string::npos || host < 0 || host >= HostsPerKind) continue;
        html += "<img src=\"" + urlOf(mix[i], host, serial + "-" + std::to_string(i / 2)) + "\">";
    }
    return html + "</body>";
}

// Every request id the servers read: how often, and when first (for the trickle servers, no later than
// then: they are polled).
class Reads {
public:
    struct Read {
        int times = 0;
        Steady::time_point first;
    };
    void record(const std::string& id, Steady::time_point at) {
        std::lock_guard lock(mutex_);
        Read& read = ids_[id];
        if (++read.times == 1) read.first = at;
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

// The servers behind every kind of host, each request recorded as it is read.
struct Servers {
    std::shared_ptr<Reads> reads = std::make_shared<Reads>();
    std::shared_ptr<std::atomic<std::uint64_t>> served = std::make_shared<std::atomic<std::uint64_t>>(0);
    std::unique_ptr<adserver::AdServer> web;
    std::unique_ptr<adserver::SilentServer> silent = adserver::SilentServer::start();
    std::unique_ptr<adserver::TrickleServer> trickle = adserver::TrickleServer::start(std::chrono::seconds(1));
    std::unique_ptr<adserver::TrickleServer> head =
        adserver::TrickleServer::start(std::chrono::seconds(1), adserver::TrickleServer::Trickle::Head);
    std::size_t trickleSeen = 0;
    std::size_t headSeen = 0;
    Steady::time_point lastPoll = Steady::now();

    Servers() {
        adserver::Options options;
        for (char kind : std::string("nlv")) {
            for (int n = 0; n < HostsPerKind; ++n) options.hostNames.push_back(hostName(kind, n));
        }
        web = adserver::AdServer::start(options);
        REQUIRE(web != nullptr);
        REQUIRE(silent != nullptr);
        REQUIRE(trickle != nullptr);
        REQUIRE(head != nullptr);
        auto answer = [reads = reads](adserver::Response response) {
            return [reads, response](const adserver::Request& r) {
                reads->record(r.param("id"), Steady::now());
                return response;
            };
        };
        auto image = adserver::Response::text("GIF89a", "image/gif");
        web->route("/n", answer(image));
        auto late = image;
        late.delay = std::chrono::milliseconds(700);
        web->route("/l", answer(late));
        auto never = image;
        never.delay = std::chrono::seconds(120);  // cut short when the client leaves
        web->route("/v", answer(never));
        web->route("/r", [reads = reads](const adserver::Request& r) {
            reads->record(r.param("id"), Steady::now());
            return adserver::Response::redirect(r.param("to"));
        });
        // A creative's page: each serving names its document (and its images) afresh, so that a reload
        // asks for nothing already read.
        web->route("/page", [served = served, reads = reads](const adserver::Request& r) {
            const std::string serial = std::to_string(++*served);
            reads->record("page " + r.param("doc") + " " + serial, Steady::now());
            return adserver::Response::html(pageHTML("S" + serial, r.param("mix")));
        });
        auto config = NetworkConfiguration::sharedInstance();
        config->reset();
        REQUIRE(config->setHostMappings(web->connectToSpec(443)));
        config->setTrustedCAFile(web->caFile());
        for (int n = 0; n < HostsPerKind; ++n) {
            config->addHostMapping(hostName('s', n), 443, "127.0.0.1", silent->port());
            config->addHostMapping(hostName('t', n), 80, "127.0.0.1", trickle->port());
            config->addHostMapping(hostName('h', n), 80, "127.0.0.1", head->port());
        }
    }

    // Takes in what the trickle servers read since the last poll, as read at that poll at the earliest.
    void poll() {
        const auto now = Steady::now();
        for (auto [server, seen] : {std::pair{trickle.get(), &trickleSeen}, std::pair{head.get(), &headSeen}}) {
            const auto targets = server->requestTargets();
            for (std::size_t i = *seen; i < targets.size(); ++i) {
                const auto at = targets[i].find("id=");
                reads->record(at == std::string::npos ? targets[i] : targets[i].substr(at + 3), lastPoll);
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
    std::int64_t endedNanos = 0;  // on the virtual clock

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

// A load or ping the test made for a page, as it follows it.
struct Tracked {
    std::string id;       // its request's
    std::string finalId;  // a redirect's target (the same id otherwise)
    std::string url;
    bool ping = false;
    bool answers = false;  // its host answers (a ping's final hop's; a load's at once or late)
    bool prompt = false;   // a ping's first and only hop goes to a host that answers
    std::string lane;      // the first hop's origin
    std::uint64_t view = 0, document = 0, ad = 0;
    std::size_t bytes = 0;  // what a ping counts in the quotas
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<URLConnection> connection;
    Steady::time_point made;
    std::int64_t madeNanos = 0;
    bool cancelled = false;
    Steady::time_point cancelledAt;
    bool due = false;      // a place was owed it at once: read within ReadWithin
    bool settled = false;  // its end has been checked

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
    bool creative = false;  // reloads itself at every step
    bool quota = false;     // made to fill the quotas
    std::string mix;        // the images of the document it loads or holds
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
    std::size_t pings = 0, refused = 0, answered = 0, lifeEnded = 0, cancelled = 0, due = 0, dueRead = 0;
    std::size_t loads = 0, firstImages = 0, navigationsGivenWay = 0, probes = 0, lives = 0, mostAdmitted = 0;
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
          maxViews_(limits.webContentTransfers >= 256 ? 12 : 8) {}

    void round(int steps) {
        lifeMark_ = Steady::now();
        creative_ = &addView();
        creative_->creative = true;
        appLoad(*creative_, -1, creativeMix());
        // Its documents go at the next step: none is followed.
        creative_->navigating = false;
        creative_->navigatingFrom.reset();
        const int quotaAt = pick(steps / 4, steps / 2);
        const int probeAt[] = {pick(1, steps / 3), pick(steps / 2, steps - 2)};
        for (step_ = 0; step_ < steps; ++step_) {
            INFO("step " << step_);
            if (step_ == quotaAt) fillQuotas();
            if (step_ == probeAt[0] || step_ == probeAt[1]) probeNewcomer();
            const std::size_t before = items_.size();
            reloadCreative();
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
        return *views_.back();
    }
    std::size_t ordinaryViews() const {
        return static_cast<std::size_t>(
            std::count_if(views_.begin(), views_.end(), [](const auto& v) { return !v->quota; }));
    }
    // A view whose document may be replaced: not the creative, not waiting for its first image.
    ViewSlot* freeView() {
        std::vector<ViewSlot*> free;
        for (auto& v : views_) {
            if (!v->creative && !v->pinned()) free.push_back(v.get());
        }
        return free.empty() ? nullptr : free[static_cast<std::size_t>(pick(0, static_cast<int>(free.size()) - 1))];
    }
    ViewSlot& anyView() { return *views_[static_cast<std::size_t>(pick(0, static_cast<int>(views_.size()) - 1))]; }

    // Servers that read and never answer hold a thread each, heads that trickle a descriptor each: a
    // round sends them a bounded number. Hosts that never accept cost the servers nothing.
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
        char kind = roll < 25 ? 'n' : roll < 35 ? 'l' : roll < 40 ? 'v' : roll < 55 ? 't' : roll < 62 ? 'h' : 's';
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

    void startNavigation(ViewSlot& v) {
        v.navigatingFrom = v.view->currentPage();
        v.navigating = true;
        v.navigatedAt = Steady::now();
        v.failuresBefore = v.delegate->failures;
        v.firstImage.clear();
    }
    // The app loads a creative: a new ad, from a string (its base URL serves it again on a reload) or
    // from the server.
    void appLoad(ViewSlot& v, int firstHost = -1, std::string mix = {}) {
        if (mix.empty()) mix = newMix(firstHost);
        v.mix = mix;
        const std::string url = pageURL(mix);
        startNavigation(v);
        if (pick(0, 9) < 7)
            v.view->loadHTMLString(pageHTML(newId("H"), mix), URL::parse(url));
        else
            v.view->loadRequest(URLRequest(*URL::parse(url)));
    }
    // The page navigates itself, as a creative does: the same ad.
    void selfNavigate(ViewSlot& v, bool reload) {
        auto page = v.view->currentPage();
        if (!page || !page->acceptsLoadsForPage()) return;
        if (!v.creative) startNavigation(v);
        if (reload && mayReload(v.mix)) {
            v.view->evaluate("location.reload()");
            return;
        }
        v.mix = newMix();
        v.view->evaluate("location.href = '" + pageURL(v.mix) + "'");
    }
    void reloadCreative() {
        if (creative_ == nullptr) return;
        selfNavigate(*creative_, true);
        if (pick(0, 9) < 3) sendPings(*creative_, 1);
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
                INFO("the navigation to " << v.view->request().url().absoluteString()
                                          << " failed: " << describe(error));
                REQUIRE(isTimeout(error));
                REQUIRE(detailOf(error).find("gave its place") != std::string::npos);
                ++totals_.navigationsGivenWay;
            } else if (secondsSince(v.navigatedAt) > ReadWithin) {
                FAIL("a navigation did not commit within " << ReadWithin << " s: " << stuck(v));
            }
        }
    }

    // What the engine shows of a navigation that does not commit (its counts are for the message only).
    std::string stuck(ViewSlot& v) {
        const std::string url = v.view->request().url().absoluteString();
        const auto doc = url.find("doc=");
        const std::string param =
            doc == std::string::npos ? std::string() : url.substr(doc + 4, url.find('&', doc) - doc - 4);
        std::string served;
        for (const auto& [id, read] : servers_.reads->all()) {
            if (!param.empty() && id.rfind("page " + param + " ", 0) == 0)
                served += " served " + std::to_string(secondsSince(read.first)) + " s ago;";
        }
        const auto counts = NetworkEngine::shared().pingCounts();
        const auto observed = NetworkEngine::shared().observations();
        return url + " (navigated " + std::to_string(secondsSince(v.navigatedAt)) + " s ago;" + served +
               " pings " + std::to_string(counts.underWay) + " under way, " + std::to_string(counts.waiting) +
               " waiting; " + std::to_string(NetworkEngine::shared().activeTransferCount()) +
               " transfers; loads put back so far " + std::to_string(observed.loadsPutBack) + ", given way " +
               std::to_string(observed.loadsGivenWay) + ")";
    }
    void awaitCommit(ViewSlot& v) {
        if (!h_.runUntil([&] { return v.view->currentPage() != v.navigatingFrom; }, ReadWithin))
            FAIL("a new document did not commit within " << ReadWithin << " s: " << stuck(v));
        observeNavigations();
    }

    // --- Pings and loads ---------------------------------------------------------------------------

    struct Target {
        std::string url, id, finalId, lane;
        bool answers = false, prompt = false;
    };
    Target pingTo(char kind, int host) {
        Target t;
        t.id = t.finalId = newId("p");
        t.url = urlOf(kind, host, t.id);
        t.lane = originOf(kind, host);
        t.answers = t.prompt = answersPing(kind);
        sent(kind);
        return t;
    }
    // To an ad host, which never answers this one.
    Target pingHangingOnAdHost(int host) {
        Target t;
        t.id = t.finalId = newId("p");
        t.url = originOf('n', host) + "/v?id=" + t.id;
        t.lane = originOf('n', host);
        sent('v');
        return t;
    }
    // Through the ad host's redirect: the same ping, its life running from its first hop's place.
    Target redirectedPing(char kind, int host) {
        Target t;
        const int from = pickHost();
        t.id = newId("p");
        t.finalId = t.id + "r";
        t.url = originOf('n', from) + "/r?id=" + t.id + "&to=" + percentEncoded(urlOf(kind, host, t.finalId));
        t.lane = originOf('n', from);
        t.answers = answersPing(kind);
        sent(kind);
        return t;
    }
    std::size_t hangingAlive() const {
        return static_cast<std::size_t>(std::count_if(items_.begin(), items_.end(), [](const auto& t) {
            return t->ping && !t->answers && !t->ended() && !t->cancelled;
        }));
    }
    Target randomPing() {
        const int roll = pick(0, 99);
        const int host = pickHost();
        if (roll < 35) return pingTo('n', host);
        if (roll < 45) return pingTo('l', host);
        if (roll < 55) return pingTo('t', host);
        if (roll < 60) return redirectedPing("nlt"[pick(0, 2)], host);
        if (hangingAlive() >= hangingCap_) return pingTo('n', host);
        if (roll < 65) return redirectedPing(mayHang('h') && pick(0, 1) == 0 ? 'h' : 's', host);
        if (roll < 75 && mayHang('v')) return pingHangingOnAdHost(host);
        if (roll < 85 && mayHang('h')) return pingTo('h', host);
        return pingTo('s', host);
    }

    // A ping from the view's document; null when refused (checked against the quotas as the owners hold
    // them) or when the view holds no open document.
    Tracked* ping(ViewSlot& v, const Target& target, std::size_t bodyBytes = 0) {
        auto page = v.view->currentPage();
        if (!page || !page->acceptsLoadsForPage()) return nullptr;
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
        t->lane = target.lane;
        t->view = origin.viewKey();
        t->document = origin.document;
        t->ad = origin.adKey();
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
        const bool floor = fits(view, Quotas.viewFloorPings, Quotas.viewFloorBytes);
        const bool adRoom = fits(ad, Quotas.adPings, Quotas.adBytes);
        const bool processRoom = fits(process, Quotas.processPings, Quotas.processBytes);
        Error error;
        t->connection = v.view->connectionForPage(request, t->recorder, &error, PageLoad::Beacon);
        INFO(t->text() << " of " << t->bytes << " bytes; the view holds " << view.pings << " pings, " << view.bytes
                       << " bytes; its ad " << ad.pings << ", " << ad.bytes << "; the process " << process.pings
                       << ", " << process.bytes);
        ++totals_.pings;
        if (!t->connection) {
            ++totals_.refused;
            INFO("refused: " << error.description);
            CHECK_FALSE(floor);
            CHECK_FALSE((adRoom && processRoom));
            const char* quota = !adRoom ? "past its ad's quota of pings" : "past the process's quota of pings";
            CHECK(error.description.find(quota) != std::string::npos);
            if (adRoom) ++processRefusals_;
            return nullptr;
        }
        CHECK((floor || (adRoom && processRoom)));
        t->made = Steady::now();
        t->madeNanos = Clock::nanoseconds();
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
        if (v.pinned() || !page || !page->acceptsLoadsForPage()) return;
        const TransferOrigin origin = page->options().origin;
        for (int i = 0; i < count; ++i) {
            char kind = "nlvths"[pick(0, 5)];
            if (!mayHang(kind)) kind = 's';
            sent(kind);
            auto t = std::make_unique<Tracked>();
            t->id = t->finalId = newId("l");
            t->url = urlOf(kind, pickHost(), t->id);
            t->answers = kind == 'n' || kind == 'l';
            t->view = origin.viewKey();
            t->document = origin.document;
            t->ad = origin.adKey();
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
        t.connection->cancel();
        if (t.ping) ++totals_.cancelled;
    }

    // A ping owed a place at once (see the head comment), judged from what the owners hold, which is at
    // least what holds places: its lane has room, its view holds fewer than its share of the ordinary
    // places (so a load gives way for it when web content is full), and either every ping fits the
    // ordinary places, or its document and ad hold no other ping while the reserve (at most one place
    // an ad) has room. Checked again as more pings come: a ping owed a place then may wait behind them.
    void reviewDue(std::size_t firstNew) {
        const auto now = Steady::now();
        std::map<std::uint64_t, std::size_t> views, documents, ads;
        std::map<std::pair<std::uint64_t, std::string>, std::size_t> lanes;
        std::size_t total = 0;
        for (const auto& t : items_) {
            if (!t->ping || !t->mayHoldPlace(now)) continue;
            ++total;
            ++views[t->view];
            ++documents[t->document];
            ++ads[t->ad];
            ++lanes[{t->document, t->lane}];
        }
        const std::size_t share = views.empty() ? ordinary_ : (ordinary_ + views.size() - 1) / views.size();
        for (std::size_t i = 0; i < items_.size(); ++i) {
            Tracked& t = *items_[i];
            if (!t.ping || !t.prompt || t.ended() || t.cancelled || (i < firstNew && !t.due)) continue;
            const bool newcomer =
                documents[t.document] == 1 && ads[t.ad] == 1 && ads.size() - 1 < limits_.pingReserve;
            const bool room = lanes[{t.document, t.lane}] <= PerHost && views[t.view] <= share;
            const bool owed = room && (total <= ordinary_ || newcomer);
            if (i >= firstNew && owed) ++totals_.due;
            t.due = owed;
        }
    }

    // --- Steps -------------------------------------------------------------------------------------

    void act() {
        const int roll = pick(0, 99);
        ViewSlot* free = freeView();
        if (views_.size() < 3 || (roll < 10 && ordinaryViews() < maxViews_)) {
            appLoad(addView());
        } else if (roll < 22) {
            if (free) appLoad(*free);
        } else if (roll < 32) {
            if (free) selfNavigate(*free, pick(0, 1) == 0);
        } else if (roll < 50) {
            sendPings(anyView(), pick(1, 4));
        } else if (roll < 57) {
            // A creative's trackers hang on its ad host as it goes; the next one in the view loads from
            // there.
            ViewSlot& v = anyView();
            const int host = pickHost();
            sendHangingPings(v, host, pick(6, 16));
            if (!v.creative && !v.pinned()) appLoad(v, host);
        } else if (roll < 68) {
            sendLoads(anyView(), pick(1, 3));
        } else if (roll < 75) {
            cancelSome(pick(1, 4));
        } else if (roll < 84) {
            advance(pick(1, 12));
        } else if (roll < 87) {
            advance(Life + 1);
        } else if (roll < 92) {
            if (free && views_.size() > 3) removeView(*free);
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
        h_.advance(seconds);
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

    // Views near their ad's quota of hanging pings fill the process's; a fresh view is still admitted
    // its floor; then the owners let most of them go.
    void fillQuotas() {
        const std::size_t before = items_.size();
        // The process fills: no ping is owed a place at once any more.
        for (auto& t : items_) t->due = false;
        const bool bodies = pick(0, 1) == 0;
        auto fill = [&](ViewSlot& v) {
            // Until refused: its ad's quota, or the process's once full (its view's floor first).
            for (int i = 0; i < 80; ++i) {
                const std::size_t body = bodies ? static_cast<std::size_t>(pick(6000, 12000)) : 0;
                const int host = pickHost();
                Target target = pick(0, 9) == 0 && mayHang('h') ? pingTo('h', host) : pingTo('s', host);
                if (ping(v, target, body) == nullptr) return i;
            }
            FAIL("a view's pings were never refused");
            return 0;
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
            fill(*freshView());
        }
        // A view within its floor is admitted while the process is full; past it, refused for the
        // process's quota.
        const std::size_t admitted = static_cast<std::size_t>(fill(*freshView()));
        CHECK(admitted >= 1);
        CHECK(admitted <= Quotas.viewFloorPings);
        const auto counts = NetworkEngine::shared().pingCounts();
        totals_.mostAdmitted = std::max(totals_.mostAdmitted, counts.admitted);
        check();
        // The owners let most go: what is left drains in a few lives.
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

    // A newcomer's load, to a host that answers late, completes within its own timeout beside loads that
    // trickle their bodies and heads (web content full of them at the smallest limits).
    void probeNewcomer() {
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
        // Nothing else new arrives meanwhile: no navigation under way, the creative still.
        auto settled = [&] {
            return std::none_of(views_.begin(), views_.end(), [](const auto& v) { return v->navigating; });
        };
        h_.runUntil(settled, ReadWithin);
        observeNavigations();
        ViewSlot& v = addView();
        v.mix.clear();
        startNavigation(v);
        v.view->loadHTMLString(pageHTML(newId("Q"), ""), URL::parse(pageURL("")));
        awaitCommit(v);
        auto page = v.view->currentPage();
        auto t = std::make_unique<Tracked>();
        t->id = t->finalId = newId("q");
        t->url = urlOf('l', pickHost(), t->id);
        t->answers = true;
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
        INFO("a newcomer's load beside trickles: " << probe.text() << ", ended " << probe.recorder->ends
                                                   << " times, error " << describe(probe.recorder->error));
        CHECK(probe.recorder->finished);
        ++totals_.probes;
    }

    // --- Checks ------------------------------------------------------------------------------------

    void check() {
        servers_.poll();
        const auto twice = servers_.reads->readTwice();
        if (!twice.empty()) FAIL("a server read request " << twice.front() << " twice");
        const auto now = Steady::now();
        Counts held;
        std::set<std::uint64_t> holding;
        for (auto& slot : items_) {
            Tracked& t = *slot;
            if (t.held()) {
                held.add(t.bytes);
                holding.insert(t.view);
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
            } else if (t.due && !t.cancelled && !servers_.reads->find(t.id) &&
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
                                << " views; the engine admitted " << counts.admitted << " of " << counts.bytes
                                << " bytes, " << counts.underWay << " under way, " << counts.waiting
                                << " waiting");
        REQUIRE(counts.admitted == held.pings);
        REQUIRE(counts.bytes == held.bytes);
        REQUIRE(counts.admitted <= Quotas.processPings + Quotas.viewFloorPings * holding.size());
        REQUIRE(counts.underWay <= limits_.pingTransfers);
    }

    void checkPingEnd(const Tracked& t) {
        const Recorder& r = *t.recorder;
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
        // Only its life ends it otherwise, a life from its first place: not before 30 s on the clock.
        ++totals_.lifeEnded;
        REQUIRE(r.error);
        CHECK(isTimeout(*r.error));
        CHECK(detailOf(*r.error).find("life") != std::string::npos);
        CHECK(r.endedNanos - t.madeNanos >= LifeNanos);
    }

    void checkLoadEnd(const Tracked& t) {
        const Recorder& r = *t.recorder;
        if (r.finished) {
            CHECK(t.answers);
            CHECK(servers_.reads->times(t.id) == 1);
            return;
        }
        // Its timeout (a place given to another document's, its own running out) or its page gone.
        REQUIRE(r.error);
        const bool pageGone = r.error->domain == WebView::ErrorDomain && r.error->code == 102;
        CHECK((isTimeout(*r.error) || pageGone));
    }

    // Every view goes and the clock moves on a life at a time: each life frees what the pings then
    // under way held, so the hanging ones end within as many lives as they fill the ordinary places (or a
    // lane's, when one holds them), and every other ping is read meanwhile.
    void drain() {
        creative_ = nullptr;
        views_.clear();
        h_.runUntilIdle();
        h_.runUntil([&] { return allEnded(); }, 1.0);
        std::size_t pending = 0;
        for (const auto& t : items_) pending += t->ping && !t->ended() && !t->cancelled;
        const std::size_t perLife = std::min(ordinary_, PerHost);
        const std::size_t most = (pending + perLife - 1) / perLife + 3;
        std::size_t lives = 0;
        while (!allEnded() && lives < most) {
            advance(Life + 1);
            ++lives;
            settle();
            check();
        }
        totals_.lives += lives;
        for (const auto& t : items_) {
            if (t->ended() || t->cancelled) continue;
            FAIL("still under way after " << lives << " lives of " << pending << " pings: " << t->text());
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
        const auto counts = NetworkEngine::shared().pingCounts();
        CHECK(counts.admitted == 0);
        CHECK(counts.bytes == 0);
        servers_.web->clearLog();
    }
    bool allEnded() const {
        return std::all_of(items_.begin(), items_.end(), [](const auto& t) { return t->ended() || t->cancelled; });
    }
    // Until the network thread has seen the clock (within a second) and placed what waited.
    void settle() {
        auto state = [&] {
            const auto counts = NetworkEngine::shared().pingCounts();
            std::size_t ended = 0;
            for (const auto& t : items_) ended += t->ended();
            return std::tuple(ended, counts.admitted, counts.underWay, counts.waiting);
        };
        const auto start = Steady::now();
        auto last = state();
        auto same = Steady::now();
        while (!allEnded() && secondsSince(start) < 6) {
            h_.runUntil([] { return false; }, 0.1);
            const auto now = state();
            if (now != last) {
                last = now;
                same = Steady::now();
            } else if (secondsSince(start) > 1.2 && secondsSince(same) > 0.4) {
                break;
            }
        }
    }

    testing::Harness& h_;
    Servers& servers_;
    std::mt19937 random_;
    const NetworkEngine::Limits limits_;
    Totals& totals_;
    const std::size_t ordinary_;    // pings' places less the newcomers' reserve
    const std::size_t hangingCap_;  // hanging pings alive at once outside the quotas' fill
    const std::size_t maxViews_;
    std::vector<std::unique_ptr<ViewSlot>> views_;
    ViewSlot* creative_ = nullptr;
    std::vector<std::unique_ptr<Tracked>> items_;
    int step_ = 0;
    std::size_t processRefusals_ = 0;
    int neverSent_ = 0;
    int headsSent_ = 0;
    double clockMoved_ = 0;
    Steady::time_point lifeMark_;
    // Request ids are unique for the whole run: the servers' records outlive a round.
    static inline std::uint64_t nextId_ = 1;
};

void holdInvariants(testing::Harness& h, rlim_t descriptorLimit) {
    rlimit descriptors{};
    REQUIRE(getrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    REQUIRE(descriptors.rlim_max >= descriptorLimit);
    descriptors.rlim_cur = descriptorLimit;
    REQUIRE(setrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    Servers servers;
    const auto limits = NetworkEngine::shared().limits();
    REQUIRE(limits.descriptorLimit == descriptorLimit);
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
                     << ", ended by their life " << totals.lifeEnded << ", cancelled " << totals.cancelled
                     << ", owed a place at once " << totals.due << " of which read " << totals.dueRead
                     << "), at most " << totals.mostAdmitted << " admitted; loads " << totals.loads
                     << "; first images " << totals.firstImages << "; navigations given way "
                     << totals.navigationsGivenWay << "; newcomers beside trickles " << totals.probes
                     << "; lives drained " << totals.lives << "; loads put back " << observed.loadsPutBack
                     << ", given way " << observed.loadsGivenWay);
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
