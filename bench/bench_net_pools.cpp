// The two pools at a 1,024-descriptor limit: how long an app request to a host takes while a page's 8
// loads to that host hang, or trickle a byte at a time; how long a fourth page's load takes while three
// pages hold 128 hanging loads each; how many times a server receives a POST it reads and drops unanswered
// on kept-alive connections; what twelve pages of 128 hanging loads each (on hosts of their own) hold in
// descriptors and connections, and whether the app's requests still get through; and what 1,800 app
// requests to 300 hanging hosts hold, and whether a file still opens beside them. Then, at 64, 128, 256
// and 1,024 descriptors, and at 20,000 for one figure (each in a process of its own, as the engine reads
// the limit once):
// - at 128, 256 and 1,024, how long a new page's first load takes beside a page whose loads trickle on the
//   same host, and beside five pages of trickling loads that fill web content;
// - at 128 and 1,024, how long the next document in a web view takes to load its images from the ad host
//   while the last document's 16 pings hang there (they go on past its close);
// - at 64 and 128, how long a new document's first load takes while every place of web content is held by
//   a different document's one load, which the server has read and never answers;
// - at 64, 128 and 1,024, net_click_beside_<N>_creatives_<kind>_pings_<limit>: how long another banner's
//   click (a ping its page makes) takes from being made to the server reading it, while 1, 2 or 8
//   creatives (web views' documents) have each sent 16 pings to a host that reads and never answers
//   (hanging), sends a head then its body a byte a second (trickling: a ping is done at its head), or its
//   head a byte a second (head_trickling); -1: unheard within three of a ping's lives;
// - at 256, 1,024 and 20,000, net_click{,s_own,s_own_latest}_beside_20_creatives_12_hanging_pings_<limit>:
//   20 creatives each send 12 pings to a host of theirs that reads and never answers; then another
//   banner's click, and a click of each creative's own, both to the ad host: how long the banner's click takes from being made to the server
//   reading it, how many of the creatives' own clicks the server read within three of a ping's lives, and
//   the latest of those from the same moment;
// - at 1,024, net_ping_burst_64_of_<size>_1024: how long a document's burst of 64 pings to one host takes
//   to end, and the connections (TLS handshakes) the server saw for it, counted by a relay in front of it,
//   for an answer of 43 bytes (which comes with its head), of 64 KB sent at once, and of 64 KB paced in
//   four pieces 10 ms apart (as a network brings it after its head): a ping ended at its head before its
//   body has all come leaves its connection unfit for reuse. The server closes a connection after its
//   fifth request, so 13 handshakes is the least;
// - at 64 and 128, net_newcomer*_beside_<M>_{trickling,head_trickling}_documents_<limit>: M documents (all
//   of web content's places but one) each hold one load that trickles for ever, its body or its head, and
//   then a new document comes every second, 20 of them, each with one image the server answers in 3 s:
//   how many had their image, the median and longest from asking to having it, and the loads failed to
//   give their place meanwhile;
// - at 64 and 128, net_new_ad{,_images_loaded,_loads_put_back}_beside_<N>_stuck_handshakes_<limit>: N
//   banners (six, and at 128 every place of web content too) each hold one image on a host that never
//   completes a handshake, for longer than NetworkEngine::StuckConnectionSeconds; then a new banner's ad
//   with three images on the ad host: from the app loading it to its load ending, its images the server
//   read, and the loads put back to wait again meanwhile.
// Then, each in a child process of its own, whose network engine reads its limit as it starts and whose
// servers (elsewhere on a phone) then get room beyond it:
// - at 256 and 1,024, net_refreshing_banners_<R>s_<T>_trackers_<limit>_*: 20 web views each loading a new
//   ad every R s (10 or 30), their first spread over one interval, for RUZAVE_BENCH_REFRESH_MINUTES (3 when
//   unset); each ad sends T pings (2 or 12) as it loads to a host that reads and never ends its head, and
//   a click to the ad host 8 s later: the click's wait from being made to the server reading it (median,
//   p99, max; _clicks_past_1s), the clicks refused as made, the admitted clicks never read (waited for up
//   to a ping's life after the run), the trackers refused, and the most pings admitted at once;
// - at 64, net_handshake_newcomer*_<N>_newcomers_2500ms_handshakes_beside_trickling_documents_64: documents
//   each hold one load that trickles its body for ever, on all of web content's places but one; then N new
//   documents (20, and 75), one a second, each loading an image from a host of its own whose handshake a
//   relay holds 2.5 s: how many had it, the median and longest from asking to having it, the most times
//   one transfer was put back, the loads put back and given way, and the handshakes the relay saw;
// - at 1,024, net_quick_pings_beside_{nothing,written,stuck}_1024_*: beside nothing, 220 pings from 44 views
//   that the server read and never answers, or 220 whose handshake never ends (held past
//   NetworkEngine::StuckConnectionSeconds), another view sends a ping to the ad host every 20 ms for 10 s:
//   the network thread's CPU time meanwhile, and each quick ping's wait from being made to the server
//   reading it (median, p99, max);
// - at 64, net_click_beside_5_views_pinging_7000ms_handshakes_64_*: every handshake takes 7 s (a relay
//   holds each connection), 5 views each send a ping twice a second for a minute (every answer closing its
//   connection), and another view's click 15 s in: the click's wait from being made to the server reading
//   it (-1: not within its life), the views' pings read per minute, the most times one transfer was put
//   back, and the handshakes the relay saw.
// Quick runs (BenchQuick.h) measure the clicks beside one creative only, 3 newcomers, 0.25 s apart,
// answered in 0.5 s, the refreshing banners of 10 s and 2 trackers only, refreshing every 3.3 s and
// clicking 2 s in for 8 s, 3 and 5 newcomers with 0.5 s handshakes, quick pings for 1 s, and the click
// beside pinging views with 0.5 s handshakes for 3 s.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchQuick.h"

#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/NetworkTransferListener.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/MainLoop.h"
#include "platform/web/WebView.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/SilentServer.h"
#include "tools/adserver/TrickleServer.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const Host = "ads.ruzave.example";
constexpr int Pages = 12;
constexpr int LoadsPerPage = 128;
constexpr int HostsPerPage = 22;  // six loads each, as a page's own limit lets them go
constexpr int AppRequests = 8;
constexpr int FloodRequests = 1800;
constexpr int FloodHosts = 300;
constexpr int HangingHosts = 16;  // a document's own host each, for one hanging load
const char* const TricklingPingHost = "pings.trickle.example";
const char* const HeadTricklingPingHost = "pings.head-trickle.example";
// Under the ad server's certificate, behind the connection counter: one each, so that one burst finds
// none of the other's connections kept.
const char* const BurstPixelHost = "burst-pixel.ruzave.example";
const char* const BurstLargeHost = "burst-large.ruzave.example";
const char* const BurstPacedHost = "burst-paced.ruzave.example";

// A TCP relay in front of the ad server that counts the connections made through it: each is a TLS
// handshake the server did, which its log of requests does not tell. Given a `delay`, it holds each new
// connection that long before relaying a byte, as a slow network holds a handshake. Threads of its own:
// one accepts, two per connection copy bytes. Any thread may ask it.
class ConnectionCounter {
  public:
    static std::unique_ptr<ConnectionCounter> start(std::uint16_t target,
                                                    std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return nullptr;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 256) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            close(fd);
            return nullptr;
        }
        return std::unique_ptr<ConnectionCounter>(new ConnectionCounter(fd, ntohs(address.sin_port), target, delay));
    }

    ~ConnectionCounter() {
        // Ends a blocked accept on Linux.
        shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        std::vector<std::thread> pumps;
        {
            std::lock_guard lock(mutex_);
            for (auto& weak : pairs_) {
                if (auto pair = weak.lock()) {
                    shutdown(pair->client, SHUT_RDWR);
                    shutdown(pair->server, SHUT_RDWR);
                }
            }
            pumps.swap(pumps_);
        }
        for (auto& pump : pumps)
            pump.join();
        close(listener_);
    }

    std::uint16_t port() const { return port_; }
    std::size_t connections() const { return accepted_.load(); }

    ConnectionCounter(const ConnectionCounter&) = delete;
    ConnectionCounter& operator=(const ConnectionCounter&) = delete;

  private:
    struct Pair {
        int client = -1;
        int server = -1;
        ~Pair() {
            if (client >= 0) close(client);
            if (server >= 0) close(server);
        }
    };

    ConnectionCounter(int listener, std::uint16_t port, std::uint16_t target, std::chrono::milliseconds delay)
        : listener_(listener), port_(port), target_(target), delay_(delay), acceptor_([this] { acceptLoop(); }) {}

    void acceptLoop() {
        while (true) {
            const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                return;
            }
            ++accepted_;
            auto pair = std::make_shared<Pair>();
            pair->client = client;
            pair->server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            std::lock_guard lock(mutex_);
            pairs_.push_back(pair);
            pumps_.emplace_back([this, pair] { relay(pair); });
        }
    }

    // After the delay, connects to the target and copies both ways until the end.
    void relay(const std::shared_ptr<Pair>& pair) {
        if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(target_);
        if (pair->server < 0 || connect(pair->server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            shutdown(pair->client, SHUT_RDWR); // the client sees the connection end
            return;
        }
        // As client and server each set it: a small write held for an earlier one's ack would time
        // the relay, not them.
        const int on = 1;
        setsockopt(pair->client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(pair->server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::thread back([pair] { pump(pair->server, pair->client); });
        pump(pair->client, pair->server);
        back.join();
    }

    // Copies one way until the end; a reset or a failed write ends both ways.
    static void pump(int from, int to) {
        char buffer[16384];
        while (true) {
            const ssize_t n = recv(from, buffer, sizeof buffer, 0);
            if (n == 0) {
                shutdown(to, SHUT_WR);
                return;
            }
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            ssize_t sent = 0;
            while (sent < n) {
                const ssize_t m = send(to, buffer + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
                if (m < 0 && errno == EINTR) continue;
                if (m < 0) break;
                sent += m;
            }
            if (sent < n) break;
        }
        shutdown(from, SHUT_RDWR);
        shutdown(to, SHUT_RDWR);
    }

    const int listener_;
    const std::uint16_t port_;
    const std::uint16_t target_;
    const std::chrono::milliseconds delay_;
    std::atomic<std::size_t> accepted_{0};
    std::mutex mutex_;
    std::vector<std::weak_ptr<Pair>> pairs_;
    std::vector<std::thread> pumps_;
    std::thread acceptor_; // last: it starts once the rest is ready
};

struct Done : platform::URLConnectionDelegate {
    bool ended = false;
    bool failed = false;
    Clock::time_point endedAt;
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>&) override {
        ended = true;
        endedAt = Clock::now();
    }
    void didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error&) override {
        ended = failed = true;
        endedAt = Clock::now();
    }
};

struct Load {
    std::shared_ptr<Done> delegate = std::make_shared<Done>();
    std::shared_ptr<platform::URLConnection> connection;
};

Load load(platform::URLRequest request, platform::TransferOrigin origin, double timeout = 120) {
    Load l;
    request.setTimeoutInterval(timeout);
    l.connection = platform::URLConnection::create(request, l.delegate, origin, true);
    return l;
}

Load load(const std::string& url, platform::TransferOrigin origin, double timeout = 120) {
    return load(*platform::URLRequest::withURLString(url), origin, timeout);
}

bool allEnded(const std::vector<Load>& loads) {
    return std::all_of(loads.begin(), loads.end(), [](const Load& l) { return l.delegate->ended; });
}

void cancel(std::vector<Load>& loads) {
    for (auto l = loads.rbegin(); l != loads.rend(); ++l) l->connection->cancel();
}

bool runUntil(const std::function<bool()>& pred, double seconds) {
    return platform::MainLoop::main().runUntil(pred, seconds);
}

// Probed one by one: listing /proc/self/fd needs a descriptor of its own, which may be the one missing.
std::size_t openDescriptors(rlim_t limit) {
    std::size_t count = 0;
    for (rlim_t fd = 0; fd < limit; ++fd) count += fcntl(static_cast<int>(fd), F_GETFD) != -1 ? 1 : 0;
    return count;
}

// Milliseconds until an app request to the host is answered while a page has 8 loads of `path` there.
double appRequestBeside(adserver::AdServer& server, const std::string& path) {
    const std::string base = std::string("https://") + Host;
    std::vector<Load> page;
    auto origin = platform::TransferOrigin::webContent(platform::TransferOrigin::newId());
    for (int i = 0; i < 8; ++i) page.push_back(load(base + path + "?n=" + std::to_string(i), origin));
    runUntil([&] { return server.requestCount(path) >= 6; }, 10);
    auto asked = Clock::now();
    Load app = load(base + "/quick", platform::TransferOrigin::app());
    runUntil([&] { return app.delegate->ended; }, 120);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    cancel(page);
    return app.delegate->ended && !app.delegate->failed ? ms : -1;
}

platform::TransferOrigin newPage() {
    return platform::TransferOrigin::webContent(platform::TransferOrigin::newId());
}

// Until the silent server has connections and they stop growing for three seconds (connections come in
// bursts as the kernel retries the ones its backlog turned away).
void untilStill(const adserver::SilentServer& silent) {
    std::size_t seen = 0;
    auto still = Clock::now();
    runUntil(
        [&] {
            std::size_t now = silent.waitingConnections();
            if (now != seen) {
                seen = now;
                still = Clock::now();
            }
            return seen > 0 && Clock::now() - still > std::chrono::seconds(3);
        },
        60);
}

// Cancels and waits until the engine has let go of every transfer.
void cancelAndDrain(std::vector<Load>& loads) {
    cancel(loads);
    auto& engine = platform::NetworkEngine::shared();
    runUntil([&] { return engine.activeTransferCount() == 0; }, 30);
}

// Milliseconds until a fourth page's load is answered while three pages hold 128 hanging loads each (-1:
// it failed, after waiting 10 s for a place).
double fourthPageBeside(const std::vector<std::string>& silentHosts) {
    std::vector<Load> pages;
    for (int page = 0; page < 3; ++page) {
        auto origin = newPage();
        for (int i = 0; i < LoadsPerPage; ++i) {
            const std::string& host = silentHosts[(page * HostsPerPage + i % HostsPerPage) % silentHosts.size()];
            pages.push_back(load("https://" + host + "/hang?n=" + std::to_string(i), origin));
        }
    }
    runUntil([] { return false; }, 2);
    auto asked = Clock::now();
    Load fourth = load(std::string("https://") + Host + "/quick?n=fourth", newPage(), 10);
    runUntil([&] { return fourth.delegate->ended; }, 30);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    cancelAndDrain(pages);
    return fourth.delegate->ended && !fourth.delegate->failed ? ms : -1;
}

// How many times the server receives a request of `method` to `path` sent right after six app requests
// left six connections to the host kept alive.
std::size_t receptionsOnKeptAlive(adserver::AdServer& server, const std::string& method, const std::string& path) {
    std::vector<Load> warm;
    for (int i = 0; i < 6; ++i) warm.push_back(load(std::string("https://") + Host + "/slowish?n=" + std::to_string(i),
                                                    platform::TransferOrigin::app()));
    runUntil([&] { return allEnded(warm); }, 10);
    auto request = *platform::URLRequest::withURLString(std::string("https://") + Host + path);
    request.setHTTPMethod(method);
    if (method == "POST") request.setHTTPBody(std::string_view("a=1"));
    Load sent = load(request, platform::TransferOrigin::app(), 10);
    runUntil([&] { return sent.delegate->ended; }, 30);
    runUntil([] { return false; }, 0.5);
    return server.requestCount(path);
}

// Milliseconds until a new page's first load to the host is answered while another page has 128 loads
// there that trickle a byte a second (-1: it failed or took over a minute).
double newPageBesideTricklingPage(adserver::AdServer& server) {
    const std::string base = std::string("https://") + Host;
    std::vector<Load> page;
    auto origin = newPage();
    for (int i = 0; i < LoadsPerPage; ++i) page.push_back(load(base + "/trickle?n=" + std::to_string(i), origin));
    runUntil([&] { return server.requestCount("/trickle") >= 6; }, 10);
    runUntil([] { return false; }, 0.5);  // whatever else was to start has
    auto asked = Clock::now();
    Load fresh = load(base + "/quick?n=beside-one", newPage());
    runUntil([&] { return fresh.delegate->ended; }, 70);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    bool answered = fresh.delegate->ended && !fresh.delegate->failed;
    cancelAndDrain(page);
    return answered ? ms : -1;
}

// The same beside five pages of 128 loads each, on trickling hosts of their own, started one after another:
// together they fill web content.
double newPageBesideFiveTricklingPages(const std::vector<std::string>& tricklingHosts,
                                       const adserver::TrickleServer& trickle) {
    std::vector<Load> pages;
    for (int page = 0; page < 5; ++page) {
        auto origin = newPage();
        for (int i = 0; i < LoadsPerPage; ++i) {
            const std::string& host = tricklingHosts[(page * HostsPerPage + i % HostsPerPage) % tricklingHosts.size()];
            pages.push_back(load("http://" + host + "/t?n=" + std::to_string(i), origin));
        }
        runUntil([] { return false; }, 0.3);
    }
    // Until the connections stop growing for a second.
    std::size_t seen = 0;
    auto still = Clock::now();
    runUntil(
        [&] {
            if (trickle.openConnections() != seen) {
                seen = trickle.openConnections();
                still = Clock::now();
            }
            return seen > 0 && Clock::now() - still > std::chrono::seconds(1);
        },
        10);
    auto asked = Clock::now();
    Load fresh = load(std::string("https://") + Host + "/quick?n=beside-five", newPage());
    runUntil([&] { return fresh.delegate->ended; }, 70);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    bool answered = fresh.delegate->ended && !fresh.delegate->failed;
    cancelAndDrain(pages);
    return answered ? ms : -1;
}

// Milliseconds until the next document in a web view has loaded its 8 images from the ad host, while the
// last document's 16 pings to the host, read and never answered, go on past its close (-1: it did not load
// within a minute, or the pings were no longer counted).
struct ViewDelegate : platform::WebViewDelegate {
    int finished = 0;
    void didFinishLoad(platform::WebView&) override { ++finished; }
    void didFailLoad(platform::WebView&, const platform::Error&) override { ++finished; }
};

double nextDocumentBesideHangingPings(adserver::AdServer& server) {
    auto view = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    auto delegate = std::make_shared<ViewDelegate>();
    view->setDelegate(delegate);
    const std::string base = std::string("https://") + Host;
    view->loadHTMLString("<p>first ad</p>", platform::URL::parse(base + "/first.html"));
    runUntil([&] { return delegate->finished == 1; }, 10);
    std::vector<Load> pings;
    for (int i = 0; i < 16; ++i) {
        Load ping;
        ping.connection = view->connectionForPage(*platform::URLRequest::withURLString(base + "/hang?ping=" + std::to_string(i)),
                                                  ping.delegate, nullptr, platform::PageLoad::Beacon);
        if (ping.connection) ping.connection->start();
        pings.push_back(std::move(ping));
    }
    runUntil([&] { return server.requestCount("/hang") >= 6; }, 10);
    std::string html = "<body>";
    for (int i = 0; i < 8; ++i) html += "<img src=\"" + base + "/image.gif?n=" + std::to_string(i) + "\">";
    auto asked = Clock::now();
    view->loadHTMLString(html + "</body>", platform::URL::parse(base + "/next.html"));
    runUntil([&] { return delegate->finished == 2; }, 60);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    const bool loaded = delegate->finished == 2 && server.requestCount("/image.gif") >= 8;
    // The last ad's pings are still counted: they go on beside the next ad.
    const std::size_t goingOn = platform::NetworkEngine::shared().pingCounts().admitted;
    view.reset();
    for (auto& ping : pings) {
        if (ping.connection) ping.connection->cancel();
    }
    runUntil([] { return platform::NetworkEngine::shared().activeTransferCount() == 0; }, 10);
    return loaded && goingOn > 0 ? ms : -1;
}

// Milliseconds until a new document's first load is answered while `documents` others each hold one
// load the server has read and never answers, as many as web content has places (-1: it failed, or took
// over a minute).
double newDocumentBesideOneHangingLoadEach(adserver::AdServer& server, std::size_t documents) {
    const std::string base = std::string("https://") + Host;
    const std::size_t before = server.requestCount("/hang");
    std::vector<Load> held;
    for (std::size_t i = 0; i < documents; ++i) {
        held.push_back(load("https://d" + std::to_string(i) + ".hang.example/hang?one=" + std::to_string(i), newPage()));
        runUntil([&] { return server.requestCount("/hang") >= before + i + 1; }, 10);
    }
    auto asked = Clock::now();
    Load fresh = load(base + "/quick?n=beside-one-each", newPage());
    runUntil([&] { return fresh.delegate->ended; }, 70);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    bool answered = fresh.delegate->ended && !fresh.delegate->failed;
    cancelAndDrain(held);
    return answered ? ms : -1;
}

// Quick runs keep every figure's name, with one hanging creative in place of several, and newcomers that
// come faster and are answered sooner: they show the program reaches its end, not how fast.
// Past three of a ping's lives of 30 s: a click behind hanging pings waits for lives to end.
const double ClickGiveUpSeconds = bench::quickOr(95.0, 10.0);
constexpr int PingsPerCreative = 16;
constexpr int BurstPings = 64;
const int Newcomers = bench::quickOr(20, 3);
const double NewcomerEverySeconds = bench::quickOr(1.0, 0.25);
const auto NewcomerImageDelay = std::chrono::milliseconds(bench::quickOr(3000, 500));
// A handshake on a slow phone network (shorter in quick runs), for newcomers of their own.
const auto HandshakeDelay = std::chrono::milliseconds(bench::quickOr(2500, 500));
const std::vector<int> HandshakeNewcomers = bench::quickOr(std::vector<int>{20, 75}, std::vector<int>{3, 5});
std::string handshakeHost(int k) { return "n" + std::to_string(k) + ".handshake.example"; }
// Hosts behind the listener that never completes a handshake, one for each banner holding an image there.
std::string stuckHost(std::size_t i) { return "s" + std::to_string(i) + ".stuck.example"; }
constexpr int StuckAdImages = 3;
// The refreshing banners: how many, when each ad clicks, how long they run (RUZAVE_BENCH_REFRESH_MINUTES
// when it holds a number, else 3 minutes; 8 s in quick runs, whose ads refresh three times as often).
constexpr int RefreshingBanners = 20;
const double RefreshClickAfterSeconds = bench::quickOr(8.0, 2.0);
double refreshRunSeconds() {
    if (bench::quick()) return 8;
    const char* value = std::getenv("RUZAVE_BENCH_REFRESH_MINUTES");
    char* end = nullptr;
    const double minutes = value != nullptr ? std::strtod(value, &end) : 0;
    return (value != nullptr && end != value && minutes > 0 ? minutes : 3) * 60;
}
const double RefreshRunSeconds = refreshRunSeconds();
const char* const DeadTrackerHost = "dead.trackers.example";
// The smallest GIF: 43 bytes, which come with the head.
const std::string
    Pixel("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
          "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
          43);

// When the server read each click, by its `m` parameter. Any thread.
struct ClickLog {
    std::mutex mutex;
    std::map<std::string, Clock::time_point> heard;
    std::optional<Clock::time_point> heardAt(const std::string& mark) {
        std::lock_guard lock(mutex);
        auto found = heard.find(mark);
        if (found == heard.end()) return std::nullopt;
        return found->second;
    }
};

// A web view holding a document of its own, loaded; the delegate must live as long as the view.
struct ShownDocument {
    std::shared_ptr<platform::WebView> view;
    std::shared_ptr<ViewDelegate> delegate = std::make_shared<ViewDelegate>();
};

ShownDocument showDocument(const std::string& name) {
    ShownDocument shown;
    shown.view = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    shown.view->setDelegate(shown.delegate);
    shown.view->loadHTMLString("<p>" + name + "</p>",
                               platform::URL::parse(std::string("https://") + Host + "/" + name + ".html"));
    runUntil([&] { return shown.delegate->finished == 1; }, 10);
    return shown;
}

// A ping the view's page sends (its connection is null when refused).
Load pingFrom(platform::WebView& view, const std::string& url) {
    Load ping;
    ping.connection = view.connectionForPage(*platform::URLRequest::withURLString(url), ping.delegate,
                                             nullptr, platform::PageLoad::Beacon);
    if (ping.connection) ping.connection->start();
    return ping;
}

// Until `heard` has grown and stayed for half a second (at most 10 s).
void untilHeardStill(const std::function<std::size_t()>& heard, std::size_t before) {
    std::size_t seen = before;
    auto still = Clock::now();
    runUntil(
        [&] {
            if (heard() != seen) {
                seen = heard();
                still = Clock::now();
            }
            return seen > before && Clock::now() - still > std::chrono::milliseconds(500);
        },
        10);
}

// Web views' documents (creatives) that have each sent `perCreative` pings to `pingURL(c)` (marked with
// `mark`, the creative and the ping's number), then a banner shown beside them once the server has read
// what it was let to. drain() cancels every ping sent, closes every document and waits for the engine.
struct PingingCreatives {
    std::vector<ShownDocument> shown;
    std::vector<Load> pings;
    ShownDocument banner;

    PingingCreatives(int creatives, int perCreative, const std::function<std::string(int)>& pingURL,
                     const std::function<std::size_t()>& heard, const std::string& mark) {
        const std::size_t before = heard();
        for (int c = 0; c < creatives; ++c) {
            shown.push_back(showDocument("creative-" + std::to_string(c)));
            for (int i = 0; i < perCreative; ++i) {
                pings.push_back(pingFrom(*shown.back().view, pingURL(c) + "?m=" + mark + "&c=" + std::to_string(c) +
                                                                 "&n=" + std::to_string(i)));
            }
        }
        untilHeardStill(heard, before);
        banner = showDocument("banner");
    }
    void drain() {
        auto& engine = platform::NetworkEngine::shared();
        for (auto& ping : pings) {
            if (ping.connection) ping.connection->cancel();
        }
        shown.clear();
        banner.view.reset();
        runUntil([&] { return engine.activeTransferCount() == 0 && engine.pingCounts().admitted == 0; }, 10);
    }
};

// Milliseconds from another banner's click (a ping its page makes) to the server reading it, while
// `creatives` web views' documents each have sent 16 pings to `pingURL` (a host that hangs, or trickles its
// body or its head) and the server has read what it was let to (-1: unheard within ClickGiveUpSeconds).
double clickBeside(int creatives, const std::string& pingURL, const std::function<std::size_t()>& heard,
                   ClickLog& clicks, const std::string& mark) {
    PingingCreatives run(creatives, PingsPerCreative, [&pingURL](int) { return pingURL; }, heard, mark);
    const auto made = Clock::now();
    run.pings.push_back(pingFrom(*run.banner.view, std::string("https://") + Host + "/click?m=" + mark));
    runUntil([&] { return clicks.heardAt(mark).has_value(); }, ClickGiveUpSeconds);
    const auto heardAt = clicks.heardAt(mark);
    run.drain();
    return heardAt ? std::chrono::duration<double, std::milli>(*heardAt - made).count() : -1;
}

struct TwentyCreativesFigures {
    double bannerClickMs = -1;
    std::size_t ownClicks = 0;
    double ownLatestMs = -1;
};

// Another banner's click and each creative's own (to the ad host), while 20 creatives each have sent 12
// pings to a host of theirs that reads and never answers.
TwentyCreativesFigures clicksBesideTwentyCreatives(adserver::AdServer& server, ClickLog& clicks,
                                                   const std::string& mark) {
    constexpr int Creatives = 20;
    constexpr int Hanging = 12;
    PingingCreatives run(
        Creatives, Hanging,
        [](int c) { return "https://d" + std::to_string(c % HangingHosts) + ".hang.example/ping-hang"; },
        [&server] { return server.requestCount("/ping-hang"); }, mark);
    const std::string clickURL = std::string("https://") + Host + "/click?m=";
    const auto made = Clock::now();
    run.pings.push_back(pingFrom(*run.banner.view, clickURL + mark));
    for (int c = 0; c < Creatives; ++c) {
        run.pings.push_back(
            pingFrom(*run.shown[static_cast<std::size_t>(c)].view, clickURL + mark + "-own-" + std::to_string(c)));
    }
    const auto ownHeard = [&] {
        std::size_t n = 0;
        for (int c = 0; c < Creatives; ++c) n += clicks.heardAt(mark + "-own-" + std::to_string(c)).has_value();
        return n;
    };
    runUntil([&] { return clicks.heardAt(mark).has_value() && ownHeard() == Creatives; }, ClickGiveUpSeconds);
    TwentyCreativesFigures figures;
    if (auto at = clicks.heardAt(mark)) figures.bannerClickMs = std::chrono::duration<double, std::milli>(*at - made).count();
    for (int c = 0; c < Creatives; ++c) {
        if (auto at = clicks.heardAt(mark + "-own-" + std::to_string(c))) {
            ++figures.ownClicks;
            figures.ownLatestMs = std::max(figures.ownLatestMs, std::chrono::duration<double, std::milli>(*at - made).count());
        }
    }
    run.drain();
    return figures;
}

struct BurstFigures {
    double ms = -1;
    std::size_t handshakes = 0;
    std::size_t failed = 0;
};

// A document's burst of 64 pings to `host`, whose answer is `path`: until every one has ended (-1: not
// within a minute), and the connections the server saw made for them.
BurstFigures pingBurst(const ConnectionCounter& counter, const std::string& host, const std::string& path) {
    auto& engine = platform::NetworkEngine::shared();
    ShownDocument shown = showDocument("burst");
    const std::size_t before = counter.connections();
    const auto made = Clock::now();
    std::vector<Load> pings;
    for (int i = 0; i < BurstPings; ++i)
        pings.push_back(pingFrom(*shown.view, "https://" + host + path + "?n=" + std::to_string(i)));
    const bool ended = runUntil(
        [&] {
            return std::all_of(pings.begin(), pings.end(),
                               [](const Load& p) { return !p.connection || p.delegate->ended; });
        },
        60);
    BurstFigures figures;
    auto last = made;
    for (const Load& ping : pings) last = std::max(last, ping.delegate->endedAt);
    if (ended) figures.ms = std::chrono::duration<double, std::milli>(last - made).count();
    figures.handshakes = counter.connections() - before;
    figures.failed = static_cast<std::size_t>(std::count_if(pings.begin(), pings.end(), [](const Load& p) {
        return !p.connection || !p.delegate->ended || p.delegate->failed;
    }));
    for (auto& ping : pings) {
        if (ping.connection) ping.connection->cancel();
    }
    shown.view.reset();
    runUntil([&] { return engine.activeTransferCount() == 0 && engine.pingCounts().admitted == 0; }, 10);
    return figures;
}

struct NewcomerFigures {
    std::size_t loaded = 0;
    double medianMs = -1;
    double maxMs = -1;
    std::size_t givenWay = 0; // loads failed to give their place, the holders' and the newcomers'
    std::size_t putBack = 0;  // loads put back to wait again, their request unwritten
};

// The median of `sorted` (in order); -1 when there are none.
double median(const std::vector<double>& sorted) {
    if (sorted.empty()) return -1;
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

// Documents each holding one load of `holderURLs` (that trickles its body or its head for ever), then
// `newcomers` new documents, one every NewcomerEverySeconds, each loading `newcomerURL(k)`: how many had
// it, and how long from asking to having it.
NewcomerFigures newcomersBeside(const std::vector<std::string>& holderURLs, const std::function<std::size_t()>& heard,
                                int newcomers, const std::function<std::string(int)>& newcomerURL) {
    auto& engine = platform::NetworkEngine::shared();
    const auto observedBefore = engine.observations();
    const std::size_t before = heard();
    std::vector<Load> holders;
    for (const auto& url : holderURLs)
        holders.push_back(load(url, newPage()));
    runUntil([&] { return heard() >= before + holderURLs.size(); }, 10);
    std::vector<Load> loads;
    std::vector<Clock::time_point> asked;
    const auto begin = Clock::now();
    for (int k = 0; k < newcomers; ++k) {
        const auto due = begin + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(k * NewcomerEverySeconds));
        runUntil([&] { return Clock::now() >= due; }, k * NewcomerEverySeconds + 1);
        asked.push_back(Clock::now());
        loads.push_back(load(newcomerURL(k), newPage(), 60));
    }
    runUntil([&] { return allEnded(loads); }, 65);
    NewcomerFigures figures;
    std::vector<double> ms;
    for (std::size_t k = 0; k < loads.size(); ++k) {
        const Done& done = *loads[k].delegate;
        if (done.ended && !done.failed)
            ms.push_back(std::chrono::duration<double, std::milli>(done.endedAt - asked[k]).count());
    }
    figures.loaded = ms.size();
    std::sort(ms.begin(), ms.end());
    figures.medianMs = median(ms);
    if (!ms.empty()) figures.maxMs = ms.back();
    const auto observed = engine.observations();
    figures.givenWay = observed.loadsGivenWay - observedBefore.loadsGivenWay;
    figures.putBack = observed.loadsPutBack - observedBefore.loadsPutBack;
    cancel(loads);
    cancelAndDrain(holders);
    return figures;
}

struct StuckFigures {
    double receivedMs = -1;
    std::size_t images = 0;   // the new ad's images the server read
    std::size_t putBack = 0;  // loads put back meanwhile, their request unwritten
};

// A new banner's ad (a document with StuckAdImages images on the ad host, answered at once) beside
// `stuck` banners that each hold one image on a host of its own behind `silent`, which never completes a
// handshake, held past NetworkEngine::StuckConnectionSeconds: from the app loading it to its load ending
// (-1: not within a minute), and how many of its images the server read.
StuckFigures newAdBesideStuckHandshakes(adserver::AdServer& server, const adserver::SilentServer& silent,
                                        std::size_t stuck, const std::string& mark) {
    const std::string base = std::string("https://") + Host;
    const std::size_t before = silent.waitingConnections();
    std::vector<ShownDocument> holders(stuck);
    for (std::size_t i = 0; i < stuck; ++i) {
        holders[i].view = platform::WebView::create(platform::Rect(0, 0, 320, 50));
        holders[i].view->setDelegate(holders[i].delegate);
        holders[i].view->loadHTMLString("<img src=\"https://" + stuckHost(i) + "/i.png?m=" + mark + "\">",
                                        platform::URL::parse(base + "/stuck-" + std::to_string(i) + ".html"));
    }
    runUntil([&] { return silent.waitingConnections() >= before + stuck; }, 10);
    runUntil([] { return false; }, platform::NetworkEngine::StuckConnectionSeconds + 1);
    auto& engine = platform::NetworkEngine::shared();
    const std::size_t putBackBefore = engine.observations().loadsPutBack;
    std::string html = "<body>";
    for (int i = 0; i < StuckAdImages; ++i)
        html += "<img src=\"" + base + "/ad-image.gif?m=" + mark + "&n=" + std::to_string(i) + "\">";
    ShownDocument next;
    next.view = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    next.view->setDelegate(next.delegate);
    const auto asked = Clock::now();
    next.view->loadHTMLString(html + "</body>", platform::URL::parse(base + "/next-ad.html"));
    runUntil([&] { return next.delegate->finished == 1; }, 60);
    StuckFigures figures;
    if (next.delegate->finished == 1)
        figures.receivedMs = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    for (const auto& request : server.requests("/ad-image.gif")) figures.images += request.param("m") == mark;
    figures.putBack = engine.observations().loadsPutBack - putBackBefore;
    holders.clear();
    next.view.reset();
    runUntil([&] { return engine.activeTransferCount() == 0; }, 10);
    return figures;
}

// Records when the server read each click, by its `m` parameter, answering at once.
void routeClicks(adserver::AdServer& server, const std::shared_ptr<ClickLog>& clicks) {
    server.route("/click", [clicks](const adserver::Request& request) {
        const auto now = Clock::now();
        std::lock_guard lock(clicks->mutex);
        clicks->heard.emplace(request.param("m"), now);
        return adserver::Response::text(Pixel, "image/gif");
    });
}

// The nearest-rank `p` quantile of `sorted` (in order); -1 when there are none.
double quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return -1;
    return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5)];
}

struct RefreshShape {
    int refreshSeconds;
    int trackers;
};

struct RefreshingFigures {
    std::size_t clicks = 0;      // made
    std::size_t refused = 0;     // of those, refused as made
    std::size_t missing = 0;     // admitted, never read
    std::size_t pastOneSecond = 0;
    std::vector<double> waitsMs;  // of those read, from made to read, in order
    std::size_t trackers = 0;
    std::size_t trackersRefused = 0;
    std::size_t mostAdmitted = 0;  // the most pings admitted at once
};

// RefreshingBanners web views, each loading a new ad (a document the app loads, so an ad of its own)
// every `shape.refreshSeconds`, their first loads spread over one interval, for RefreshRunSeconds. Each
// ad, once loaded, sends `shape.trackers` pings to `deadURL` (a host that reads and never answers), and a
// click to the ad host RefreshClickAfterSeconds later; what its pages made is then waited for, up to a
// ping's life. Marks start with `mark`.
RefreshingFigures refreshingBanners(const RefreshShape& shape, const std::string& deadURL, ClickLog& clicks,
                                    const std::string& mark) {
    auto& engine = platform::NetworkEngine::shared();
    const std::string base = std::string("https://") + Host;
    const auto seconds = [](double s) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
    };
    const double refresh = bench::quickOr(static_cast<double>(shape.refreshSeconds), shape.refreshSeconds / 3.0);
    struct Banner {
        ShownDocument shown;
        int asked = 0;
        int loaded = 0;
        Clock::time_point nextAd;
        std::optional<Clock::time_point> clickDue;
    };
    struct Click {
        std::string mark;
        Clock::time_point made;
        Load load;
    };
    std::vector<Banner> banners(RefreshingBanners);
    std::vector<Click> made;
    std::vector<Load> trackers;
    RefreshingFigures figures;
    const auto begin = Clock::now();
    const auto end = begin + seconds(RefreshRunSeconds);
    for (std::size_t k = 0; k < banners.size(); ++k) {
        banners[k].shown.view = platform::WebView::create(platform::Rect(0, 0, 320, 50));
        banners[k].shown.view->setDelegate(banners[k].shown.delegate);
        banners[k].nextAd = begin + seconds(refresh * static_cast<double>(k) / static_cast<double>(banners.size()));
    }
    while (Clock::now() < end) {
        const auto now = Clock::now();
        for (std::size_t k = 0; k < banners.size(); ++k) {
            Banner& b = banners[k];
            const std::string page = mark + "-" + std::to_string(k) + "-" + std::to_string(b.asked);
            if (now >= b.nextAd) {
                b.clickDue.reset();
                ++b.asked;
                b.nextAd += seconds(refresh);
                b.shown.view->loadHTMLString("<p>ad</p>", platform::URL::parse(base + "/" + page + ".html"));
                continue;
            }
            if (b.shown.delegate->finished > b.loaded) {
                b.loaded = b.shown.delegate->finished;
                for (int i = 0; i < shape.trackers; ++i) {
                    trackers.push_back(pingFrom(*b.shown.view, deadURL + "?m=" + page + "-" + std::to_string(i)));
                    figures.trackersRefused += trackers.back().connection ? 0 : 1;
                }
                b.clickDue = now + seconds(RefreshClickAfterSeconds);
            }
            if (b.clickDue && now >= *b.clickDue) {
                b.clickDue.reset();
                made.push_back({page, Clock::now(), pingFrom(*b.shown.view, base + "/click?m=" + page)});
                figures.refused += made.back().load.connection ? 0 : 1;
            }
        }
        figures.mostAdmitted = std::max(figures.mostAdmitted, engine.pingCounts().admitted);
        runUntil([] { return false; }, 0.005);
    }
    // What was made is waited for: an admitted click is read within its life, or never.
    runUntil(
        [&] {
            return std::all_of(made.begin(), made.end(), [&](const Click& c) {
                return !c.load.connection || c.load.delegate->ended || clicks.heardAt(c.mark);
            });
        },
        platform::PingScheduler::LifeSeconds + 5);
    figures.clicks = made.size();
    figures.trackers = trackers.size();
    for (const Click& c : made) {
        if (!c.load.connection) continue;
        if (auto at = clicks.heardAt(c.mark)) {
            figures.waitsMs.push_back(std::chrono::duration<double, std::milli>(*at - c.made).count());
            figures.pastOneSecond += *at - c.made > std::chrono::seconds(1) ? 1 : 0;
        } else {
            ++figures.missing;
        }
    }
    std::sort(figures.waitsMs.begin(), figures.waitsMs.end());
    for (auto& c : made) {
        if (c.load.connection) c.load.connection->cancel();
    }
    for (auto& t : trackers) {
        if (t.connection) t.connection->cancel();
    }
    banners.clear();
    runUntil([&] { return engine.activeTransferCount() == 0 && engine.pingCounts().admitted == 0; }, 10);
    return figures;
}

// Sets the soft descriptor limit to `limit` before the network engine first runs (it reads it as it
// starts, once); false, saying so, when the hard limit is lower. With `roomForServers` the engine is
// started at once and the limit lifted again: the servers this process plays for the app, which a
// phone reaches elsewhere, then take none of the descriptors the engine counts on.
bool limitDescriptors(rlim_t limit, bool roomForServers = false) {
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    const rlim_t was = descriptors.rlim_cur;
    descriptors.rlim_cur = std::min<rlim_t>(limit, descriptors.rlim_max);
    setrlimit(RLIMIT_NOFILE, &descriptors);
    if (descriptors.rlim_cur < limit) {
        std::printf("net_figures_%lu: the hard descriptor limit is %lu, no figures\n", static_cast<unsigned long>(limit),
                    static_cast<unsigned long>(descriptors.rlim_max));
        return false;
    }
    if (roomForServers) {
        platform::NetworkEngine::shared();
        descriptors.rlim_cur = std::max(was, limit);
        setrlimit(RLIMIT_NOFILE, &descriptors);
    }
    return true;
}

// The refreshing banners in this process (before the engine has run), at `limit` descriptors.
void refreshingBannersAt(rlim_t limit, const RefreshShape& shape) {
    const std::string name = "net_refreshing_banners_" + std::to_string(shape.refreshSeconds) + "s_" +
                             std::to_string(shape.trackers) + "_trackers_" + std::to_string(limit);
    if (bench::quick() && (shape.refreshSeconds != 10 || shape.trackers != 2)) {
        std::printf("%s_click_wait_median: left out of quick runs\n", name.c_str());
        return;
    }
    if (!limitDescriptors(limit, true)) return;
    adserver::Options options;
    options.hostNames = {Host};
    auto server = adserver::AdServer::start(options);
    // Reads each request and never ends its head.
    auto dead = adserver::TrickleServer::start(std::chrono::hours(1), adserver::TrickleServer::Trickle::Head);
    if (!server || !dead) {
        std::printf("%s_click_wait_median: the servers did not start, no figure\n", name.c_str());
        return;
    }
    auto clicks = std::make_shared<ClickLog>();
    routeClicks(*server, clicks);
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    config->addHostMapping(DeadTrackerHost, 80, "127.0.0.1", dead->port());
    const RefreshingFigures f =
        refreshingBanners(shape, std::string("http://") + DeadTrackerHost + "/t", *clicks, name);
    const std::size_t admitted = f.clicks - f.refused;
    std::printf("%s_click_wait_median: %.1f ms\n", name.c_str(), median(f.waitsMs));
    std::printf("%s_click_wait_p99: %.1f ms\n", name.c_str(), quantile(f.waitsMs, 0.99));
    std::printf("%s_click_wait_max: %.1f ms\n", name.c_str(), quantile(f.waitsMs, 1));
    std::printf("%s_clicks_past_1s: %zu of %zu clicks\n", name.c_str(), f.pastOneSecond, f.waitsMs.size());
    std::printf("%s_clicks_refused: %zu of %zu clicks\n", name.c_str(), f.refused, f.clicks);
    std::printf("%s_clicks_missing: %zu of %zu clicks\n", name.c_str(), f.missing, admitted);
    std::printf("%s_trackers_refused: %zu of %zu trackers\n", name.c_str(), f.trackersRefused, f.trackers);
    std::printf("%s_pings_admitted_max: %zu pings (process quota %zu)\n", name.c_str(), f.mostAdmitted,
                platform::PingScheduler::Limits{}.processPings);
    std::printf("%s_dead_host_read: %zu requests\n", name.c_str(), dead->requestCount());
}

// `count` newcomers whose handshakes take HandshakeDelay, one a second, beside documents each holding
// one trickling load on all of web content's places but one, at 64 descriptors, in this process.
void handshakeNewcomersAt(int count) {
    const rlim_t limit = 64;
    const std::string beside = std::to_string(count) + "_newcomers_" + std::to_string(HandshakeDelay.count()) +
                               "ms_handshakes_beside_trickling_documents_" + std::to_string(limit);
    if (!limitDescriptors(limit, true)) return;
    adserver::Options options;
    options.hostNames = {Host};
    for (int k = 0; k < count; ++k) options.hostNames.push_back(handshakeHost(k));
    auto server = adserver::AdServer::start(options);
    auto trickle = adserver::TrickleServer::start(std::chrono::seconds(1));
    auto slow = server ? ConnectionCounter::start(server->port(), HandshakeDelay) : nullptr;
    if (!server || !trickle || !slow) {
        std::printf("net_handshake_newcomers_loaded_%s: the servers did not start, no figure\n", beside.c_str());
        return;
    }
    server->route("/handshake.gif", adserver::Response::text(Pixel, "image/gif"));
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    // Each newcomer a host of its own, so that none finds another's connection kept.
    for (int k = 0; k < count; ++k) config->addHostMapping(handshakeHost(k), 443, "127.0.0.1", slow->port());
    auto& engine = platform::NetworkEngine::shared();
    std::vector<std::string> urls;
    for (std::size_t i = 0; i + 1 < engine.limits().webContentTransfers; ++i)
        urls.push_back("http://t" + std::to_string(i) + ".trickle.example/hold?n=" + std::to_string(i));
    for (std::size_t i = 0; i < urls.size(); ++i)
        config->addHostMapping("t" + std::to_string(i) + ".trickle.example", 80, "127.0.0.1", trickle->port());
    const NewcomerFigures f = newcomersBeside(urls, [&trickle] { return trickle->requestCount(); }, count, [](int k) {
        return "https://" + handshakeHost(k) + "/handshake.gif?n=" + std::to_string(k);
    });
    std::printf("net_handshake_newcomers_loaded_%s: %zu of %d newcomers\n", beside.c_str(), f.loaded, count);
    std::printf("net_handshake_newcomer_median_%s: %.1f ms\n", beside.c_str(), f.medianMs);
    std::printf("net_handshake_newcomer_max_%s: %.1f ms\n", beside.c_str(), f.maxMs);
    std::printf("net_handshake_newcomer_most_put_backs_of_one_%s: %zu put-backs\n", beside.c_str(),
                engine.observations().mostPutBacksOfOne);
    std::printf("net_handshake_newcomer_loads_put_back_%s: %zu loads\n", beside.c_str(), f.putBack);
    std::printf("net_handshake_newcomer_loads_given_way_%s: %zu loads\n", beside.c_str(), f.givenWay);
    std::printf("net_handshake_newcomer_handshakes_%s: %zu handshakes\n", beside.c_str(), slow->connections());
}

// Both figures at one descriptor limit, in this process (before the engine has run).
void newPageFiguresAt(rlim_t limit) {
    if (!limitDescriptors(limit)) return;
    adserver::Options options;
    options.hostNames = {Host};
    for (int i = 0; i < HangingHosts; ++i) options.hostNames.push_back("d" + std::to_string(i) + ".hang.example");
    options.hostNames.push_back(BurstPixelHost);
    options.hostNames.push_back(BurstLargeHost);
    options.hostNames.push_back(BurstPacedHost);
    auto server = adserver::AdServer::start(options);
    auto trickle = adserver::TrickleServer::start(std::chrono::seconds(1));
    auto headTrickle =
        adserver::TrickleServer::start(std::chrono::seconds(1), adserver::TrickleServer::Trickle::Head);
    // Only where the bursts run: its descriptors and threads stay out of the smaller limits' figures.
    auto counter = server && limit == 1024 ? ConnectionCounter::start(server->port()) : nullptr;
    // Where a new ad meets stuck handshakes: connections wait in its backlog, costing no descriptor here.
    auto silent = limit == 64 || limit == 128 ? adserver::SilentServer::start() : nullptr;
    if (!server || !trickle || !headTrickle || (limit == 1024 && !counter) ||
        ((limit == 64 || limit == 128) && !silent)) {
        std::printf("net_new_page_beside_trickling_page_%lu: the servers did not start, no figure\n",
                    static_cast<unsigned long>(limit));
        return;
    }
    // An image, so that the server sends each byte as it comes rather than compressing them to the end.
    adserver::Response trickling = adserver::Response::text(std::string(1000, 't'), "image/png");
    trickling.unknownLength = true;
    trickling.chunkBytes = 1;
    trickling.chunkDelay = std::chrono::seconds(1);
    server->route("/trickle", trickling);
    server->route("/quick", adserver::Response::text("quick"));
    auto clicks = std::make_shared<ClickLog>();
    routeClicks(*server, clicks);
    adserver::Response pingHang = adserver::Response::text(Pixel, "image/gif");
    pingHang.delay = std::chrono::seconds(120);
    server->route("/ping-hang", pingHang);
    server->route("/pixel.gif", adserver::Response::text(Pixel, "image/gif"));
    server->route("/large.png", adserver::Response::text(std::string(64u << 10, 'x'), "image/png"));
    // The same body as a network brings it, some time after its head: four pieces 10 ms apart.
    adserver::Response paced = adserver::Response::text(std::string(64u << 10, 'x'), "image/png");
    paced.unknownLength = true;
    paced.chunkBytes = 16u << 10;
    paced.chunkDelay = std::chrono::milliseconds(10);
    server->route("/paced.png", paced);
    adserver::Response newcomerImage = adserver::Response::text(Pixel, "image/gif");
    newcomerImage.delay = NewcomerImageDelay;
    server->route("/newcomer.gif", newcomerImage);
    server->route("/ad-image.gif", adserver::Response::text(Pixel, "image/gif"));
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    std::vector<std::string> hosts;
    for (int i = 0; i < 5 * HostsPerPage; ++i) {
        hosts.push_back("t" + std::to_string(i) + ".trickle.example");
        config->addHostMapping(hosts.back(), 80, "127.0.0.1", trickle->port());
    }
    std::vector<std::string> headHosts;
    for (int i = 0; i < HangingHosts; ++i) {
        headHosts.push_back("h" + std::to_string(i) + ".head-trickle.example");
        config->addHostMapping(headHosts.back(), 80, "127.0.0.1", headTrickle->port());
    }
    config->addHostMapping(TricklingPingHost, 80, "127.0.0.1", trickle->port());
    config->addHostMapping(HeadTricklingPingHost, 80, "127.0.0.1", headTrickle->port());
    if (counter) {
        for (const char* host : {BurstPixelHost, BurstLargeHost, BurstPacedHost})
            config->addHostMapping(host, 443, "127.0.0.1", counter->port());
    }
    if (silent) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(HangingHosts); ++i)
            config->addHostMapping(stuckHost(i), 443, "127.0.0.1", silent->port());
    }
    Load warm = load(std::string("https://") + Host + "/quick", platform::TransferOrigin::app());
    runUntil([&] { return warm.delegate->ended; }, 10);
    const auto l = static_cast<unsigned long>(limit);
    if (limit == 256 || limit == 1024 || limit == 20000) {
        const std::string beside = "beside_20_creatives_12_hanging_pings_" + std::to_string(l);
        if (bench::quick()) {
            std::printf("net_click_%s: left out of quick runs\n", beside.c_str());
        } else {
            const TwentyCreativesFigures figures = clicksBesideTwentyCreatives(*server, *clicks, "twenty-" + std::to_string(l));
            std::printf("net_click_%s: %.1f ms\n", beside.c_str(), figures.bannerClickMs);
            std::printf("net_clicks_own_%s: %zu of 20 clicks\n", beside.c_str(), figures.ownClicks);
            std::printf("net_clicks_own_latest_%s: %.1f ms\n", beside.c_str(), figures.ownLatestMs);
        }
    }
    if (limit == 20000) return;
    if (limit != 64) {
        std::printf("net_new_page_beside_trickling_page_%lu: %.1f ms\n", l, newPageBesideTricklingPage(*server));
        std::printf("net_new_page_beside_five_trickling_pages_%lu: %.1f ms\n", l,
                    newPageBesideFiveTricklingPages(hosts, *trickle));
    }
    if (limit == 128 || limit == 1024) {
        adserver::Response hang = adserver::Response::text("late");
        hang.delay = std::chrono::seconds(120);
        server->route("/hang", hang);
        server->route("/image.gif", adserver::Response::text("GIF89a", "image/gif"));
        std::printf("net_next_document_beside_16_hanging_pings_%lu: %.1f ms\n", l,
                    nextDocumentBesideHangingPings(*server));
    }
    if (limit == 64 || limit == 128) {
        adserver::Response hang = adserver::Response::text("late");
        hang.delay = std::chrono::seconds(120);
        server->route("/hang", hang);
        const std::size_t documents = platform::NetworkEngine::shared().limits().webContentTransfers;
        std::printf("net_new_document_beside_one_hanging_load_each_of_%zu_%lu: %.1f ms\n", documents, l,
                    newDocumentBesideOneHangingLoadEach(*server, std::min<std::size_t>(documents, HangingHosts)));
        // Six, and at 128 every place of web content as well.
        std::vector<std::size_t> counts = {6};
        if (documents > 6) counts.push_back(std::min<std::size_t>(documents, HangingHosts));
        for (const std::size_t stuck : counts) {
            const std::string beside = "beside_" + std::to_string(stuck) + "_stuck_handshakes_" + std::to_string(l);
            const StuckFigures figures = newAdBesideStuckHandshakes(*server, *silent, stuck, beside);
            std::printf("net_new_ad_%s: %.1f ms\n", beside.c_str(), figures.receivedMs);
            std::printf("net_new_ad_images_loaded_%s: %zu of %d images\n", beside.c_str(), figures.images,
                        StuckAdImages);
            std::printf("net_new_ad_loads_put_back_%s: %zu loads\n", beside.c_str(), figures.putBack);
        }
    }
    if (limit == 64 || limit == 128 || limit == 1024) {
        struct Kind {
            const char* name;
            std::string url;
            std::function<std::size_t()> heard;
        };
        const std::vector<Kind> kinds = {
            {"hanging", std::string("https://") + Host + "/ping-hang",
             [&server] { return server->requestCount("/ping-hang"); }},
            {"trickling", std::string("http://") + TricklingPingHost + "/p",
             [&trickle] { return trickle->requestCount(); }},
            {"head_trickling", std::string("http://") + HeadTricklingPingHost + "/p",
             [&headTrickle] { return headTrickle->requestCount(); }},
        };
        for (const Kind& kind : kinds) {
            for (int creatives : {1, 2, 8}) {
                const std::string name = "net_click_beside_" + std::to_string(creatives) + "_creatives_" +
                                         kind.name + "_pings_" + std::to_string(l);
                if (bench::quick() && creatives > 1) {
                    std::printf("%s: left out of quick runs\n", name.c_str());
                    continue;
                }
                std::printf("%s: %.1f ms\n", name.c_str(),
                            clickBeside(creatives, kind.url, kind.heard, *clicks, name));
            }
        }
    }
    if (limit == 1024) {
        struct Answer {
            const char* host;
            const char* path;
            const char* size;
        };
        for (const Answer& answer :
             {Answer{BurstPixelHost, "/pixel.gif", "43_bytes"}, Answer{BurstLargeHost, "/large.png", "64_kb"},
              Answer{BurstPacedHost, "/paced.png", "64_kb_paced"}}) {
            const char* const size = answer.size;
            const BurstFigures burst = pingBurst(*counter, answer.host, answer.path);
            std::printf("net_ping_burst_64_of_%s_%lu: %.1f ms\n", size, l, burst.ms);
            std::printf("net_ping_burst_64_of_%s_handshakes_%lu: %zu handshakes\n", size, l,
                        burst.handshakes);
            std::printf("net_ping_burst_64_of_%s_failed_%lu: %zu of %d pings\n", size, l, burst.failed,
                        BurstPings);
        }
    }
    if (limit == 64 || limit == 128) {
        // Every place of web content but one held.
        const std::size_t holding = platform::NetworkEngine::shared().limits().webContentTransfers - 1;
        for (const bool head : {false, true}) {
            std::vector<std::string> urls;
            for (std::size_t i = 0; i < holding; ++i) {
                urls.push_back("http://" + (head ? headHosts : hosts)[i % HangingHosts] +
                               "/hold?n=" + std::to_string(i));
            }
            const std::string beside = std::to_string(holding) + (head ? "_head_trickling" : "_trickling") +
                                       "_documents_" + std::to_string(l);
            adserver::TrickleServer& holder = head ? *headTrickle : *trickle;
            const NewcomerFigures figures =
                newcomersBeside(urls, [&holder] { return holder.requestCount(); }, Newcomers, [&beside](int k) {
                    return std::string("https://") + Host + "/newcomer.gif?m=" + beside + "&n=" + std::to_string(k);
                });
            std::printf("net_newcomers_images_loaded_beside_%s: %zu of %d newcomers\n", beside.c_str(),
                        figures.loaded, Newcomers);
            std::printf("net_newcomer_image_median_beside_%s: %.1f ms\n", beside.c_str(), figures.medianMs);
            std::printf("net_newcomer_image_max_beside_%s: %.1f ms\n", beside.c_str(), figures.maxMs);
            std::printf("net_loads_given_way_beside_%s: %zu loads\n", beside.c_str(), figures.givenWay);
        }
    }
}

// The network thread's CPU clock, read from inside a listener the thread itself calls.
struct ThreadClockProbe : platform::NetworkTransferListener {
    std::atomic<bool> known{false};
    clockid_t clock{};
    void transferDidStart() override {
        if (pthread_getcpuclockid(pthread_self(), &clock) == 0) known = true;
    }
    void transferDidReceiveResponse(int, platform::HTTPHeaderFields) override {}
    void transferDidReceiveData(const char*, std::size_t) override {}
    void transferDidComplete(std::optional<platform::Error>) override {}
};

double cpuSeconds(clockid_t clock) {
    timespec at{};
    clock_gettime(clock, &at);
    return static_cast<double>(at.tv_sec) + static_cast<double>(at.tv_nsec) / 1e9;
}

// The network thread's clock, learnt from an app request to the ad host; nullopt when it never started.
std::optional<clockid_t> networkThreadClock() {
    auto probe = std::make_shared<ThreadClockProbe>();
    platform::NetworkEngine::shared().start(*platform::URLRequest::withURLString(std::string("https://") + Host + "/quick"),
                                            probe, platform::TransferOrigin::app());
    runUntil([&] { return probe->known.load(); }, 10);
    if (!probe->known) return std::nullopt;
    return probe->clock;
}

// What one quick ping every QuickPingEvery for QuickPingSeconds costs beside a background of pings.
const auto QuickPingEvery = std::chrono::milliseconds(20);
const double QuickPingSeconds = bench::quickOr(10.0, 1.0);
constexpr int BackgroundViews = 44;  // five pings each: a page's memory budget holds six
constexpr int BackgroundPings = 220;

// At 1,024 descriptors, in this process: beside nothing, 220 pings the server has read and never answers
// ("written"), or 220 pings whose handshake never ends ("stuck"), from 44 views, a quick ping to the ad
// host from another view every 20 ms for 10 s: the network thread's CPU time meanwhile, and each quick
// ping's wait from being made to the server reading it.
void quickPingsBesideAt(const std::string& background) {
    const rlim_t limit = 1024;
    const std::string name = "net_quick_pings_beside_" + background + "_1024";
    if (!limitDescriptors(limit, true)) return;
    adserver::Options options;
    options.hostNames = {Host};
    // A host a view.
    auto hostOf = [](int v) { return "h" + std::to_string(v) + ".pings.example"; };
    auto server = adserver::AdServer::start(options);
    // Written: read, its head never ended (the ad server's threads stay free for the quick pings). Stuck:
    // a handshake never answered.
    auto dead = adserver::TrickleServer::start(std::chrono::hours(1), adserver::TrickleServer::Trickle::Head);
    auto silent = adserver::SilentServer::start();
    if (!server || !dead || !silent) {
        std::printf("%s_network_cpu: the servers did not start, no figure\n", name.c_str());
        return;
    }
    auto clicks = std::make_shared<ClickLog>();
    routeClicks(*server, clicks);
    server->route("/quick", adserver::Response::text("quick"));
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    const bool stuck = background == "stuck";
    for (int v = 0; v < BackgroundViews; ++v) {
        if (stuck) config->addHostMapping(hostOf(v), 443, "127.0.0.1", silent->port());
        else config->addHostMapping(hostOf(v), 80, "127.0.0.1", dead->port());
    }
    const std::optional<clockid_t> thread = networkThreadClock();
    auto& engine = platform::NetworkEngine::shared();
    std::vector<ShownDocument> views;
    std::vector<Load> pings;
    if (background != "nothing") {
        for (int v = 0; v < BackgroundViews; ++v) {
            views.push_back(showDocument("background-" + std::to_string(v)));
            for (int i = v; i < BackgroundPings; i += BackgroundViews)
                pings.push_back(pingFrom(*views.back().view, (stuck ? "https://" : "http://") + hostOf(v) + "/t?n=" + std::to_string(i)));
        }
        // Under way (all but the one the reserve leaves out: their hosts turn slow), and past the mark at
        // which a handshake counts as stuck.
        const auto& limits = engine.limits();
        const std::size_t room = std::min<std::size_t>(BackgroundPings, limits.pingTransfers - limits.pingReserve);
        runUntil([&] { return engine.pingCounts().underWay >= room; }, 20);
        runUntil([] { return false; }, bench::quickOr(platform::NetworkEngine::StuckConnectionSeconds + 1.0, 0.5));
    }
    ShownDocument quickView = showDocument("quick");
    std::vector<Load> quick;
    std::vector<std::pair<std::string, Clock::time_point>> made;
    const double cpuBefore = thread ? cpuSeconds(*thread) : 0;
    const auto begin = Clock::now();
    for (int k = 0; Clock::now() < begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(QuickPingSeconds)); ++k) {
        const auto due = begin + k * QuickPingEvery;
        runUntil([&] { return Clock::now() >= due; }, 1);
        const std::string mark = name + "-" + std::to_string(k);
        made.emplace_back(mark, Clock::now());
        quick.push_back(pingFrom(*quickView.view, std::string("https://") + Host + "/click?m=" + mark));
    }
    runUntil([&] { return std::all_of(made.begin(), made.end(), [&](const auto& m) { return clicks->heardAt(m.first).has_value(); }); }, 10);
    const double cpu = thread ? cpuSeconds(*thread) - cpuBefore : -1;
    const double window = std::chrono::duration<double>(Clock::now() - begin).count();
    std::vector<double> waits;
    std::size_t unheard = 0;
    for (const auto& [mark, at] : made) {
        if (auto heard = clicks->heardAt(mark)) waits.push_back(std::chrono::duration<double, std::milli>(*heard - at).count());
        else ++unheard;
    }
    std::sort(waits.begin(), waits.end());
    std::printf("%s_network_cpu: %.2f s in %.1f s\n", name.c_str(), cpu, window);
    std::printf("%s_wait_median: %.1f ms\n", name.c_str(), median(waits));
    std::printf("%s_wait_p99: %.1f ms\n", name.c_str(), quantile(waits, 0.99));
    std::printf("%s_wait_max: %.1f ms\n", name.c_str(), quantile(waits, 1));
    std::printf("%s_unheard: %zu of %zu pings\n", name.c_str(), unheard, made.size());
    cancel(quick);
    cancel(pings);
    views.clear();
    quickView.view.reset();
    runUntil([&] { return engine.activeTransferCount() == 0; }, 10);
}

// Every handshake slow (a relay holds each connection SlowEverywhereHandshake), at 64 descriptors, in this
// process: 5 views each send a ping twice a second to a host of their own for SlowEverywhereSeconds, every
// answer closing its connection; another view's click, made SlowEverywhereClickAt in: its wait from being
// made to the server reading it (-1: not within its life), and the views' pings read per minute.
const auto SlowEverywhereHandshake = std::chrono::milliseconds(bench::quickOr(7000, 500));
const double SlowEverywhereSeconds = bench::quickOr(60.0, 3.0);
const double SlowEverywhereClickAt = bench::quickOr(15.0, 1.0);
constexpr int SlowEverywhereViews = 5;

void clickBesideSlowHandshakesAt() {
    const rlim_t limit = 64;
    const std::string name = "net_click_beside_5_views_pinging_" + std::to_string(SlowEverywhereHandshake.count()) +
                             "ms_handshakes_64";
    if (!limitDescriptors(limit, true)) return;
    adserver::Options options;
    options.hostNames = {Host, "click.slow.example"};
    for (int v = 0; v < SlowEverywhereViews; ++v) options.hostNames.push_back("v" + std::to_string(v) + ".slow.example");
    auto server = adserver::AdServer::start(options);
    auto relay = server ? ConnectionCounter::start(server->port(), SlowEverywhereHandshake) : nullptr;
    if (!server || !relay) {
        std::printf("%s_click_wait: the servers did not start, no figure\n", name.c_str());
        return;
    }
    auto clicks = std::make_shared<ClickLog>();
    routeClicks(*server, clicks);
    server->route("/vp", adserver::Response::text(Pixel, "image/gif").header("Connection", "close"));
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    for (const auto& host : options.hostNames) {
        if (host != Host) config->addHostMapping(host, 443, "127.0.0.1", relay->port());
    }
    auto& engine = platform::NetworkEngine::shared();
    std::vector<ShownDocument> views;
    for (int v = 0; v < SlowEverywhereViews; ++v) views.push_back(showDocument("view-" + std::to_string(v)));
    ShownDocument clicking = showDocument("clicking");
    std::vector<Load> pings;
    std::optional<Load> click;
    std::optional<Clock::time_point> clickMade;
    const auto seconds = [](double s) { return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s)); };
    const auto begin = Clock::now();
    std::size_t refused = 0;
    for (int k = 0; Clock::now() < begin + seconds(SlowEverywhereSeconds); ++k) {
        runUntil([&] { return Clock::now() >= begin + seconds(0.5 * k); }, 1);
        for (int v = 0; v < SlowEverywhereViews; ++v) {
            pings.push_back(pingFrom(*views[static_cast<std::size_t>(v)].view,
                                     "https://v" + std::to_string(v) + ".slow.example/vp?n=" + std::to_string(k)));
            refused += pings.back().connection ? 0 : 1;
        }
        if (!click && Clock::now() >= begin + seconds(SlowEverywhereClickAt)) {
            clickMade = Clock::now();
            click = pingFrom(*clicking.view, "https://click.slow.example/click?m=" + name);
        }
    }
    const double ran = std::chrono::duration<double>(Clock::now() - begin).count();
    const std::size_t read = server->requestCount("/vp");
    if (clickMade) runUntil([&] { return clicks->heardAt(name).has_value() || Clock::now() > *clickMade + seconds(platform::PingScheduler::LifeSeconds); }, platform::PingScheduler::LifeSeconds + 1);
    const auto heard = clicks->heardAt(name);
    std::printf("%s_click_wait: %.1f ms\n", name.c_str(),
                heard && clickMade ? std::chrono::duration<double, std::milli>(*heard - *clickMade).count() : -1.0);
    std::printf("%s_views_pings_read: %.1f per minute (%zu of %zu in %.0f s, %zu refused)\n", name.c_str(),
                static_cast<double>(read) * 60 / ran, read, pings.size(), ran, refused);
    std::printf("%s_most_put_backs_of_one: %zu put-backs\n", name.c_str(), engine.observations().mostPutBacksOfOne);
    std::printf("%s_handshakes: %zu handshakes\n", name.c_str(), relay->connections());
    if (click) pings.push_back(*click);
    for (auto& ping : pings) {
        if (ping.connection) ping.connection->cancel();
    }
    views.clear();
    clicking.view.reset();
    runUntil([&] { return engine.activeTransferCount() == 0; }, 10);
}

// Runs `figures` in a child process of its own, forked before this one starts any thread.
void inChild(const std::function<void()>& figures) {
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        figures();
        std::fflush(stdout);
        std::exit(0);
    }
    if (child > 0) waitpid(child, nullptr, 0);
}

// Each limit, each refreshing shape and each run of newcomers in a child process of its own.
void newPageFigures() {
    for (rlim_t limit : {64, 128, 256, 1024, 20000}) {
        if (limit == 20000 && bench::quick()) continue;
        inChild([limit] { newPageFiguresAt(limit); });
    }
    for (rlim_t limit : {256, 1024}) {
        for (const RefreshShape shape : {RefreshShape{10, 2}, RefreshShape{10, 12}, RefreshShape{30, 2}, RefreshShape{30, 12}})
            inChild([limit, shape] { refreshingBannersAt(limit, shape); });
    }
    for (const int count : HandshakeNewcomers) inChild([count] { handshakeNewcomersAt(count); });
    for (const char* background : {"nothing", "written", "stuck"}) inChild([background] { quickPingsBesideAt(background); });
    inChild([] { clickBesideSlowHandshakesAt(); });
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    newPageFigures();
    // Set before the network engine first runs: it reads the limit then.
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    descriptors.rlim_cur = std::min<rlim_t>(1024, descriptors.rlim_max);
    setrlimit(RLIMIT_NOFILE, &descriptors);

    adserver::Options options;
    options.hostNames = {Host};
    auto server = adserver::AdServer::start(options);
    auto silent = adserver::SilentServer::start();
    if (!server || !silent) {
        std::printf("net_app_request_beside_hanging_page: the servers did not start, no figure\n");
        return 1;
    }
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60);
    server->route("/hang", hang);
    adserver::Response trickle = adserver::Response::text(std::string(300, 't'));
    trickle.unknownLength = true;
    trickle.chunkBytes = 1;
    trickle.chunkDelay = std::chrono::milliseconds(100);
    server->route("/trickle", trickle);
    server->route("/quick", adserver::Response::text("quick"));
    adserver::Response slowish = adserver::Response::text("slowish");
    slowish.delay = std::chrono::milliseconds(300);
    server->route("/slowish", slowish);
    adserver::Response drop;
    drop.fault = adserver::Fault::Drop;
    server->route("/drop", drop);
    // Drops the first it hears, answers the others.
    auto heard = std::make_shared<std::atomic<int>>(0);
    server->route("/drop-once", [heard](const adserver::Request&) {
        adserver::Response r = adserver::Response::text("answered");
        if (heard->fetch_add(1) == 0) r.fault = adserver::Fault::Drop;
        return r;
    });

    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    auto silentHost = [](int page, int host) {
        return "p" + std::to_string(page) + "-h" + std::to_string(host) + ".silent.example";
    };
    for (int page = 0; page < Pages; ++page) {
        for (int host = 0; host < HostsPerPage; ++host) {
            config->addHostMapping(silentHost(page, host), 443, "127.0.0.1", silent->port());
        }
    }

    // Warm: the first request pays for the TLS set-up.
    Load warm = load(std::string("https://") + Host + "/quick", platform::TransferOrigin::app());
    runUntil([&] { return warm.delegate->ended; }, 10);

    std::printf("net_app_request_beside_hanging_page: %.1f ms\n", appRequestBeside(*server, "/hang"));
    std::printf("net_app_request_beside_trickling_page: %.1f ms\n", appRequestBeside(*server, "/trickle"));
    std::printf("net_post_receptions_dropped_on_kept_alive: %zu receptions\n",
                receptionsOnKeptAlive(*server, "POST", "/drop"));
    std::printf("net_get_receptions_dropped_once_on_kept_alive: %zu receptions\n",
                receptionsOnKeptAlive(*server, "GET", "/drop-once"));
    {
        auto fourthSilent = adserver::SilentServer::start();
        std::vector<std::string> hosts;
        for (int i = 0; i < 3 * HostsPerPage; ++i) {
            hosts.push_back("f" + std::to_string(i) + ".silent.example");
            config->addHostMapping(hosts.back(), 443, "127.0.0.1", fourthSilent->port());
        }
        std::printf("net_fourth_page_beside_three_hanging_pages: %.1f ms\n", fourthPageBeside(hosts));
    }

    const std::size_t before = openDescriptors(descriptors.rlim_cur);
    std::vector<Load> pages;
    for (int page = 0; page < Pages; ++page) {
        auto origin = platform::TransferOrigin::webContent(platform::TransferOrigin::newId());
        for (int i = 0; i < LoadsPerPage; ++i) {
            pages.push_back(load("https://" + silentHost(page, i % HostsPerPage) + "/hang?n=" + std::to_string(i),
                                 origin));
        }
    }
    untilStill(*silent);
    const std::size_t held = openDescriptors(descriptors.rlim_cur);
    std::vector<Load> app;
    auto asked = Clock::now();
    for (int i = 0; i < AppRequests; ++i) {
        app.push_back(load(std::string("https://") + Host + "/quick?n=" + std::to_string(i),
                           platform::TransferOrigin::app(), 10));
    }
    runUntil([&] { return std::all_of(app.begin(), app.end(), [](const Load& l) { return l.delegate->ended; }); },
             30);
    double appMs = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    auto failed = std::count_if(app.begin(), app.end(), [](const Load& l) { return l.delegate->failed; });
    std::printf("net_descriptors_before_pages: %zu descriptors\n", before);
    std::printf("net_twelve_hanging_pages_descriptors: %zu descriptors\n", held - before);
    std::printf("net_twelve_hanging_pages_connections: %zu connections\n", silent->waitingConnections());
    std::printf("net_app_requests_beside_twelve_hanging_pages: %.1f ms\n", appMs);
    std::printf("net_app_requests_failed_beside_twelve_hanging_pages: %lld of %d requests\n",
                static_cast<long long>(failed), AppRequests);
    cancelAndDrain(pages);

    // The app's side flooded: 1,800 requests to 300 hosts that never answer.
    auto floodSilent = adserver::SilentServer::start();
    for (int host = 0; host < FloodHosts; ++host) {
        config->addHostMapping("a" + std::to_string(host) + ".silent.example", 443, "127.0.0.1", floodSilent->port());
    }
    const std::size_t beforeFlood = openDescriptors(descriptors.rlim_cur);
    std::vector<Load> flood;
    for (int i = 0; i < FloodRequests; ++i) {
        flood.push_back(load("https://a" + std::to_string(i % FloodHosts) + ".silent.example/hang?n=" +
                                 std::to_string(i),
                             platform::TransferOrigin::app()));
    }
    untilStill(*floodSilent);
    const std::size_t heldByFlood = openDescriptors(descriptors.rlim_cur);
    std::FILE* file = std::tmpfile();
    auto floodFailed = std::count_if(flood.begin(), flood.end(), [](const Load& l) { return l.delegate->failed; });
    std::printf("net_app_flood_descriptors: %zu descriptors\n", heldByFlood - beforeFlood);
    std::printf("net_app_flood_connections: %zu connections\n", floodSilent->waitingConnections());
    std::printf("net_app_flood_failed_at_once: %lld of %d requests\n", static_cast<long long>(floodFailed),
                FloodRequests);
    std::printf("net_app_flood_file_opens: %s\n", file != nullptr ? "yes" : "no");
    if (file != nullptr) std::fclose(file);
    cancel(flood);
    return 0;
}
