// Web content's invariants (NetworkEngine and WebView together), held over random sequences: documents
// made, navigated and replaced in the same web view and in several, the pings they send kept past their
// close, loads made for them, new documents arriving while web content is full (so that places are given
// back), and servers that answer at once, late, never, trickle, or never accept. After every step:
// - no server read a request twice;
// - a document with nothing under way got its first place within a second, whatever the others hold
//   (the view's kept pings and its earlier documents' loads included);
// - kept pings stay within the per-view and per-process quotas, and hold at most their share of places;
// - no load ended twice, and a ping sent while pings have room reaches its server at once, however the
//   document's other loads hang.
// At the end, with every view gone and the kept pings' deadline passed, every load has ended once and the
// quotas hold nothing. A new rule of this kind gets its check here.
#include <doctest/doctest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/testing/Harness.h"
#include "platform/net/PingScheduler.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/SilentServer.h"
#include "tools/adserver/TrickleServer.h"

using namespace platform;

namespace {

using Steady = std::chrono::steady_clock;

// What goes out at once is read by a server that answers at once well within this, on a loaded machine
// and under the sanitizers; what waits for a hang to end (a kept ping's deadline, a load's timeout) is
// not.
constexpr auto ReadWithin = std::chrono::seconds(10);

enum class Answer { Now, Late, Never, Trickle, Silent };
constexpr int AnswerKinds = 5;
const char* const AnswerNames[AnswerKinds] = {"now", "late", "never", "trickle", "silent"};
constexpr int HostsPerKind = 8;

std::string hostFor(Answer answer, int n) {
    return std::string(AnswerNames[static_cast<int>(answer)]) + "-" + std::to_string(n % HostsPerKind) +
           ".invariants.example";
}

// The servers behind every kind of host.
struct Servers {
    std::unique_ptr<adserver::AdServer> web;
    std::unique_ptr<adserver::SilentServer> silent = adserver::SilentServer::start();
    std::unique_ptr<adserver::TrickleServer> trickle = adserver::TrickleServer::start(std::chrono::seconds(1));

    Servers() {
        adserver::Options options;
        for (Answer answer : {Answer::Now, Answer::Late, Answer::Never}) {
            for (int n = 0; n < HostsPerKind; ++n) options.hostNames.push_back(hostFor(answer, n));
        }
        web = adserver::AdServer::start(options);
        REQUIRE(web != nullptr);
        REQUIRE(silent != nullptr);
        REQUIRE(trickle != nullptr);
        auto image = adserver::Response::text("GIF89a", "image/gif");
        web->route("/now", image);
        auto late = image;
        late.delay = std::chrono::milliseconds(700);
        web->route("/late", late);
        auto never = image;
        never.delay = std::chrono::seconds(120);  // cut short when the client leaves or the server stops
        web->route("/never", never);
        auto config = NetworkConfiguration::sharedInstance();
        config->reset();
        REQUIRE(config->setHostMappings(web->connectToSpec(443)));
        config->setTrustedCAFile(web->caFile());
        for (int n = 0; n < HostsPerKind; ++n) {
            config->addHostMapping(hostFor(Answer::Silent, n), 443, "127.0.0.1", silent->port());
            config->addHostMapping(hostFor(Answer::Trickle, n), 80, "127.0.0.1", trickle->port());
        }
    }

    static std::string url(Answer answer, int host, std::uint64_t id) {
        const std::string scheme = answer == Answer::Trickle ? "http://" : "https://";
        return scheme + hostFor(answer, host) + "/" + AnswerNames[static_cast<int>(answer)] + "?id=" + std::to_string(id);
    }

    // Every request id a server read, and how often.
    std::map<std::string, int> readIds() const {
        std::map<std::string, int> ids;
        for (const auto& r : web->requests()) ++ids[r.param("id")];
        for (const auto& target : trickle->requestTargets()) {
            auto at = target.find("id=");
            if (at != std::string::npos) ++ids[target.substr(at + 3)];
        }
        return ids;
    }
};

struct Recorder : URLConnectionDelegate {
    int ends = 0;
    bool finished = false;
    void didFinishLoading(const std::shared_ptr<URLConnection>&) override {
        ++ends;
        finished = true;
    }
    void didFailWithError(const std::shared_ptr<URLConnection>&, const Error&) override { ++ends; }
};

// A load made for a document (a ping or one that ends with it), as the test follows it.
struct Load {
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<URLConnection> connection;
    std::uint64_t document = 0;
    std::string host;
    bool ping = false;
    bool hangs = false;   // to a host that never answers or trickles
    bool due = false;     // a ping that pings' room lets start at once, to a host that answers at once
    Steady::time_point sent;
};

struct View {
    std::shared_ptr<WebView> view = WebView::create(Rect(0, 0, 320, 480));
};

class Run {
public:
    Run(testing::Harness& harness, std::uint32_t seed, const NetworkEngine::Limits& limits)
        : h_(harness), random_(seed), limits_(limits) {}

    void round(Servers& servers, int steps) {
        for (int step = 0; step < steps; ++step) {
            act(servers);
            h_.runUntil([] { return false; }, pick(5, 30) / 100.0);
            check(servers);
        }
        drain(servers);
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    Answer pickAnswer(bool forImage) {
        // Images mostly fill web content (hosts that never accept cost the servers nothing); servers that
        // read and never answer hold a thread each, so fewer of them.
        int roll = pick(0, 99);
        if (forImage) {
            if (roll < 25) return Answer::Now;
            if (roll < 35) return Answer::Late;
            if (roll < 40 && hangingReads_ < 40) return Answer::Never;
            if (roll < 55) return Answer::Trickle;
            return Answer::Silent;
        }
        if (roll < 45) return Answer::Now;
        if (roll < 55) return Answer::Late;
        if (roll < 70 && hangingReads_ < 40) return Answer::Never;
        if (roll < 80) return Answer::Trickle;
        return Answer::Silent;
    }

    void act(Servers& servers) {
        (void)servers;
        const int roll = pick(0, 99);
        if (views_.empty() || (roll < 15 && views_.size() < 8)) {
            views_.emplace_back();
            loadDocument(views_.back());
        } else if (roll < 40) {
            // The next document in the same view: the last one's pings go on as the view's kept pings.
            loadDocument(views_[pick(0, static_cast<int>(views_.size()) - 1)]);
        } else if (roll < 70) {
            sendLoads(views_[pick(0, static_cast<int>(views_.size()) - 1)], true, pick(1, 4), true);
        } else if (roll < 80) {
            sendLoads(views_[pick(0, static_cast<int>(views_.size()) - 1)], false, pick(1, 3), false);
        } else if (roll < 85 && views_.size() > 1) {
            views_.erase(views_.begin() + pick(0, static_cast<int>(views_.size()) - 1));
        } else if (roll < 88) {
            // The clock moves: kept pings past their deadline fail.
            h_.advance(pick(1, 12));
        } else if (roll < 94) {
            // A creative's trackers hang on its ad host as it goes; the next one in the view loads from there.
            View& v = views_[pick(0, static_cast<int>(views_.size()) - 1)];
            const int host = pick(0, HostsPerKind - 1);
            sendHangingPings(v, host, pick(6, 16));
            loadDocument(v, host);
        } else {
            // A document that reloads itself at once.
            View& v = views_[pick(0, static_cast<int>(views_.size()) - 1)];
            // Its pings may still wait for a place as it closes: kept, they wait for the kept pings' room.
            sendLoads(v, true, pick(1, 2), false);
            loadDocument(v);
        }
    }

    void loadDocument(View& v, int firstHost = -1) {
        // Its first image answers at once: it must be read soon, whatever the other documents (the view's
        // earlier ones and their kept pings among them) hold.
        const std::uint64_t first = nextId_++;
        if (firstHost < 0) firstHost = pick(0, HostsPerKind - 1);
        std::string html = "<body><img src=\"" + Servers::url(Answer::Now, firstHost, first) + "\">";
        firstImages_.push_back({std::to_string(first), Steady::now()});
        // Some documents fill web content by themselves.
        const int most = std::max(48, static_cast<int>(limits_.webContentTransfers / 2));
        const int images = pick(0, 3) == 0 ? pick(10, most) : pick(0, 6);
        for (int i = 0; i < images; ++i) {
            Answer answer = pickAnswer(true);
            if (answer == Answer::Never) ++hangingReads_;
            html += "<img src=\"" + Servers::url(answer, pick(0, HostsPerKind - 1), nextId_++) + "\">";
        }
        auto before = v.view->currentPage();
        v.view->loadHTMLString(html + "</body>", URL::parse("https://" + hostFor(Answer::Now, 0) + "/doc-" +
                                                            std::to_string(nextId_++) + ".html"));
        // The document is made on the next turn.
        h_.runUntil([&] { return v.view->currentPage() != before; }, 2);
    }

    // Loads for the view's current document: pings (which outlive it) or loads that end with it.
    // Pings to an ad host (one that answers others at once) that it never answers.
    void sendHangingPings(View& v, int host, int count) {
        auto page = v.view->currentPage();
        if (!page || !page->acceptsLoadsForPage()) return;
        for (int i = 0; i < count && hangingReads_ < 40; ++i, ++hangingReads_) {
            Load load;
            load.document = page->options().origin.document;
            load.host = hostFor(Answer::Now, host);
            load.ping = true;
            load.hangs = true;
            URLRequest request(*URL::parse("https://" + load.host + "/never?id=" + std::to_string(nextId_++)));
            load.connection = v.view->connectionForPage(request, load.recorder, nullptr, PageLoad::Beacon);
            if (!load.connection) continue;
            load.sent = Steady::now();
            load.connection->start();
            loads_.push_back(std::move(load));
        }
        // They reach the server before the document goes.
        h_.runUntil([] { return false; }, 0.2);
    }

    // `mayBeDue`: the document stays open a while (it is not replaced in the same turn).
    void sendLoads(View& v, bool ping, int count, bool mayBeDue) {
        auto page = v.view->currentPage();
        if (!page || !page->acceptsLoadsForPage()) return;
        const std::uint64_t document = page->options().origin.document;
        for (int i = 0; i < count; ++i) {
            Load load;
            Answer answer = pickAnswer(false);
            if (answer == Answer::Never) ++hangingReads_;
            // Hosts of each kind apart, so that a ping that answers never waits for its own lane's hangs.
            const int host = pick(0, HostsPerKind - 1);
            load.host = hostFor(answer, host);
            URLRequest request(*URL::parse(Servers::url(answer, host, nextId_++)));
            load.document = document;
            load.ping = ping;
            load.hangs = answer != Answer::Now && answer != Answer::Late;
            // Due a place at once: pings have room (all the test's pings not ended fit beside the reserve),
            // its document is within its share, and its lane within the per-host places.
            if (ping && mayBeDue && answer == Answer::Now) {
                std::size_t pending = 0, ofDocument = 0, ofLane = 0;
                for (const auto& other : loads_) {
                    if (!other.ping || other.recorder->ends > 0) continue;
                    ++pending;
                    if (other.document == document) ++ofDocument;
                    if (other.document == document && other.host == load.host) ++ofLane;
                }
                load.due = pending + 1 + limits_.newDocumentReserve < limits_.webContentTransfers &&
                           ofDocument < limits_.documentTransfers &&
                           ofLane < static_cast<std::size_t>(NetworkEngine::MaximumTransfersPerHost);
            }
            load.connection = v.view->connectionForPage(request, load.recorder, nullptr,
                                                        ping ? PageLoad::Beacon : PageLoad::EndsWithPage);
            if (!load.connection) continue;  // past the document's loads or budget
            load.sent = Steady::now();
            load.connection->start();
            loads_.push_back(std::move(load));
        }
    }

    void check(Servers& servers) {
        const auto read = servers.readIds();
        const auto now = Steady::now();
        std::erase_if(firstImages_, [&](const auto& image) { return read.contains(image.first); });
        for (const auto& [id, made] : firstImages_) {
            if (now - made < ReadWithin) continue;
            FAIL("a new document's first image is not read in time: id "
                 << id << "; the longest a new document waited for a place: "
                 << NetworkEngine::shared().observations().longestNewDocumentWait << " s");
        }
        for (const auto& [id, times] : read) {
            if (times == 1) continue;
            std::string seen;
            for (const auto& r : servers.web->requests()) {
                if (r.param("id") == id) seen += r.host + r.path + " at " + std::to_string(r.time) + "; ";
            }
            INFO("request id " << id << " read " << times << " times: " << seen);
            REQUIRE(times == 1);
        }
        const auto observed = NetworkEngine::shared().observations();
        REQUIRE(observed.longestNewDocumentWait <= 1.0);
        const auto pings = NetworkEngine::shared().pingCounts();
        REQUIRE(pings.underWay <= limits_.pingTransfers);
        for (const auto& load : loads_) {
            REQUIRE(load.recorder->ends <= 1);
            if (load.due && load.recorder->ends == 0) {
                INFO("a ping with room waits: " << load.connection->originalRequest().url().absoluteString());
                REQUIRE(now - load.sent < ReadWithin);
            }
        }
    }

    // Every view goes; the kept pings' deadline passes; everything ends once and the quotas come back.
    void drain(Servers& servers) {
        views_.clear();
        h_.runUntilIdle();
        auto allEnded = [&] {
            return std::all_of(loads_.begin(), loads_.end(), [](const Load& l) { return l.recorder->ends > 0; });
        };
        // Pings that hang hold their places a life each, a few places at a time at the smallest limits.
        for (int life = 0; life < 60 && !allEnded(); ++life) {
            h_.advance(PingScheduler::LifeSeconds + 1);
            h_.runUntil(allEnded, 1.5);
        }
        REQUIRE(h_.runUntil(allEnded, 20));
        REQUIRE(h_.runUntil([] { return NetworkEngine::shared().activeTransferCount() == 0; }, 20));
        h_.runUntilIdle();
        check(servers);
        for (const auto& load : loads_) CHECK(load.recorder->ends == 1);
        CHECK(NetworkEngine::shared().pingCounts().admitted == 0);
        loads_.clear();
        firstImages_.clear();
        hangingReads_ = 0;
    }

    testing::Harness& h_;
    std::mt19937 random_;
    const NetworkEngine::Limits limits_;
    std::vector<View> views_;
    std::vector<Load> loads_;
    std::vector<std::pair<std::string, Steady::time_point>> firstImages_;  // not yet read: id, when made
    // Request ids are unique for the whole run: the servers' logs outlive a round.
    static inline std::uint64_t nextId_ = 1;
    int hangingReads_ = 0;  // loads sent to servers that read and never answer (each holds a server thread)
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
    auto first = URLConnection::create(URLRequest(*URL::parse(Servers::url(Answer::Now, 0, 0))), warm,
                                       TransferOrigin::app());
    REQUIRE(h.runUntil([&] { return warm->ends > 0; }, 60));
    // RUZAVE_INVARIANT_SEED repeats one run; RUZAVE_INVARIANT_ROUNDS runs more.
    const char* seedText = std::getenv("RUZAVE_INVARIANT_SEED");
    const char* roundsText = std::getenv("RUZAVE_INVARIANT_ROUNDS");
    const std::uint32_t seed = seedText ? static_cast<std::uint32_t>(std::strtoul(seedText, nullptr, 10))
                                        : static_cast<std::uint32_t>(descriptorLimit);
    const int rounds = roundsText ? std::atoi(roundsText) : 3;
    for (int round = 0; round < rounds; ++round) {
        INFO("seed " << seed + round << " at " << descriptorLimit << " descriptors");
        Run run(h, seed + static_cast<std::uint32_t>(round), limits);
        run.round(servers, 40);
    }
    const auto observed = NetworkEngine::shared().observations();
    MESSAGE("longest wait of a new document: " << observed.longestNewDocumentWait << " s; loads put back "
                                               << observed.loadsPutBack << ", given way " << observed.loadsGivenWay);
}

} // namespace

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, kept pings and servers never break web content's invariants at 64 descriptors") {
    holdInvariants(*this, 64);
}

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, kept pings and servers never break web content's invariants at 128 descriptors") {
    holdInvariants(*this, 128);
}

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, kept pings and servers never break web content's invariants at 256 descriptors") {
    holdInvariants(*this, 256);
}

TEST_CASE_FIXTURE(testing::Harness,
                  "WebView: random documents, kept pings and servers never break web content's invariants at 1,024 "
                  "descriptors") {
    holdInvariants(*this, 1024);
}
