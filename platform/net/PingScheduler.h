#pragma once
// The policy for the pings web content sends (a creative's tracking and click requests, the trackers it
// passes with an app link, a purchase's report URLs), as a browser's network service treats keepalive
// requests: which are admitted, when each hop takes a place on the network, and when one has lived too
// long. It has no sockets, threads or clock of its own: the network engine tells it what happens and
// carries out what it decides, under a lock of its own; the model test drives it on simulated time.
// Time is the caller's monotonic clock in whole nanoseconds, so a deadline that fires is always due.
//
// Admission, once, when the page makes the ping (admit):
// - Counted from that moment until its owner lets it go (release: its end delivered, or cancelled), per
//   ad (the document the app loaded with the documents its pages navigated to), per web view and for
//   the process, in pings and bytes (URL and body).
// - A view within its floor (fewer than Limits::viewFloorPings and at most viewFloorBytes with this one)
//   is always admitted. Beyond it a ping is admitted within its ad's quota while the process is within
//   its own. So the process holds at most its quota plus the floor times the views, and no set of views
//   shuts another out.
// - A refusal is only ever at admission; nothing admitted is dropped later.
//
// An admitted ping ends only by its answer, its owner, or its life: Limits::life from the moment its
// first hop first got a place, across its redirect hops. Its document closing or its view going ends
// nothing; neither does room for another load or a newer ping.
//
// Places (next): pings hold at most Limits::places of web content's places together.
// - Views take places in turn: the next place goes to the view with the fewest pings under way among
//   those with a hop that may start (ties to the one served longest ago), so a view takes no further
//   place while it holds more than its share and another view within its share waits.
// - Within a view, hops take turns by host: the one to the host on which the view has the fewest under
//   way (ties to the ping that came first: a redirect hop keeps its ping's turn), so a click to a new
//   host never waits behind the view's pings to others.
// - A document has at most Limits::perHost pings under way to one origin.
// - The last Limits::reserve places are for a light newcomer: a document with no ping under way whose ad
//   has at most Limits::reserveInFlight pings in flight (a tap's clicks), at most one held per ad at a
//   time. So a banner's click moves whatever hostile views hold: a creative that sends a burst of pings
//   at once is no light newcomer, and a self-reloading one is one ad. A hop on a reserve place
//   moves to an ordinary one as soon as one is free and no waiting hop may take it.
// Deadlines are listed only for pings with a hop here (nextDeadline).
// Main thread or network thread, under the caller's lock; not thread-safe by itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

class PingScheduler {
public:
    using PingId = std::uint64_t;  // 0: none
    using HopId = std::uint64_t;   // the network engine's transfer of one hop
    using Nanos = std::int64_t;
    static constexpr Nanos NanosPerSecond = 1'000'000'000;
    // A ping's life from its first place, as a browser gives a keepalive request.
    static constexpr double LifeSeconds = 30;

    struct Limits {
        std::size_t places = 5;   // what pings may hold together (at least 1)
        std::size_t reserve = 2;  // the last of those, for a light newcomer (< places)
        std::size_t reserveInFlight = 4;  // the most pings in flight an ad may have to take a reserve place
        std::size_t perHost = 6;  // a document's pings under way to one origin
        std::size_t adPings = 64;
        std::size_t adBytes = 512u << 10;
        std::size_t processPings = 512;
        std::size_t processBytes = 4u << 20;
        // A view's floor: room for a banner that sends a tracker a second to a slow host, and its clicks,
        // whatever other views hold.
        std::size_t viewFloorPings = 16;
        std::size_t viewFloorBytes = 128u << 10;
        Nanos life = static_cast<Nanos>(LifeSeconds) * NanosPerSecond;
    };
    // The figures for `webContentPlaces` places of which loads keep `loadsReserve` for themselves:
    // pings hold what loads leave, and keep an eighth of that (at least 2, fewer when there are fewer
    // places) for newcomers.
    static Limits limitsFor(std::size_t webContentPlaces, std::size_t loadsReserve);

    // Whose ping it is. `view` is the web view showing the document (the document itself when none shows
    // it), `ad` the account its pings are counted in.
    struct Owner {
        std::uint64_t ad = 0;
        std::uint64_t view = 0;
        std::uint64_t document = 0;
    };
    enum class Refusal { None, AdQuota, ProcessQuota };
    static const char* describe(Refusal refusal);
    struct Admission {
        PingId id = 0;  // 0 when refused
        Refusal refusal = Refusal::None;
    };

    explicit PingScheduler(Limits limits);

    // A ping of `bytes` (its URL and body) made for `owner`.
    Admission admit(const Owner& owner, std::size_t bytes);
    // Its owner lets it go (its end delivered, or it cancelled it): its quota comes back, a hop waiting
    // for it leaves the queue (its transfer is cancelled by the caller), and the ping is forgotten once
    // no hop of it holds a place.
    void release(PingId ping);

    enum class Wanted { Queued, LifePassed, Unknown };
    // A hop of `ping` (its first, or a redirect) to `host` (scheme, host and port) waits for a place.
    // LifePassed: the ping's life ended before this hop came (it fails as timed out, unsent); Unknown: the
    // ping was released or never admitted (nothing to send). One hop per ping at a time.
    Wanted want(PingId ping, HopId hop, const std::string& host, Nanos now);
    // The hop ended (its head came, it failed, or it was cancelled), waiting or under way: its place frees.
    // Unknown hops are ignored.
    void hopEnded(HopId hop);

    // The hop to start now, counted as under way from here, when `freePlaces` places of web content are
    // free; nullopt when none may start.
    std::optional<HopId> next(std::size_t freePlaces, Nanos now);
    // Whether a waiting hop would start if one more place of web content were free and it is owed one: it
    // takes a reserve place, or its view holds fewer than its share. The caller then has a load give way.
    bool wantsPlace() const;

    // The hops (under way or waiting) of pings whose life has ended by `now`: forgotten here, each to be
    // failed as timed out by the caller.
    std::vector<HopId> expired(Nanos now);
    // When the next life ends among pings with a hop here; INT64_MAX when none.
    Nanos nextDeadline() const { return deadlines_.empty() ? std::numeric_limits<Nanos>::max() : deadlines_.begin()->first; }

    // What it holds, for the engine's bounds, the tests and the benchmarks.
    std::size_t underWay() const { return ordinaryHeld_ + reserveHeld_; }
    std::size_t reserveHeld() const { return reserveHeld_; }
    std::size_t waiting() const { return hops_.size() - underWay(); }
    std::size_t admitted() const { return process_.pings; }
    std::size_t admittedBytes() const { return process_.bytes; }
    std::size_t admittedFor(std::uint64_t view) const { return countOf(viewCounts_, view, Count{}).pings; }
    // Refusals so far for `refusal`.
    std::size_t refusals(Refusal refusal) const { return countOf(refusals_, refusal, std::size_t{0}); }
    // The ceil of the ordinary places over the views with a ping under way or waiting (at least 1).
    std::size_t share() const {
        const std::size_t views = std::max<std::size_t>(1, viewHops_.size());
        return std::max<std::size_t>(1, (ordinaryPlaces() + views - 1) / views);
    }
    // What the view holds under way now.
    std::size_t underWayFor(std::uint64_t view) const { return countOf(viewsUnderWay_, view, std::size_t{0}); }
    const Limits& limits() const { return limits_; }

private:
    struct Count {
        std::size_t pings = 0;
        std::size_t bytes = 0;
    };
    struct Ping {
        Owner owner;
        std::size_t bytes = 0;
        Nanos deadline = 0;  // set when its first hop first gets a place
        bool placed = false;
        bool released = false;
        std::uint64_t order = 0;  // when its first hop came: its later hops keep that turn
        HopId hop = 0;            // its hop here, waiting or under way
        std::string host;         // that hop's
        bool underWay = false;
        bool reserve = false;  // on a reserve place
    };
    using HostKey = std::pair<std::uint64_t, std::string>;  // a view's or a document's, to one host
    struct Choice {
        PingId ping = 0;
        bool reserve = false;
    };

    static bool fits(const Count& count, std::size_t bytes, std::size_t pings, std::size_t most);
    // The waiting hop the next place goes to, if one may start (see the head of the file).
    std::optional<Choice> choose() const;
    void start(PingId id, Ping& ping, bool reserve, Nanos now);
    // Takes the ping's hop out, waiting or under way.
    void forget(PingId id, Ping& ping);
    void settle();
    std::size_t ordinaryPlaces() const { return limits_.places - limits_.reserve; }
    template <class Map, class Key, class Value> static Value countOf(const Map& counts, const Key& key, Value none) {
        auto found = counts.find(key);
        return found == counts.end() ? none : found->second;
    }
    template <class Map, class Key> static void drop(Map& counts, const Key& key) {
        if (--counts.at(key) == 0) counts.erase(key);
    }

    const Limits limits_;
    PingId nextPing_ = 1;
    std::uint64_t nextOrder_ = 1;
    std::uint64_t turns_ = 0;
    std::unordered_map<PingId, Ping> pings_;
    std::unordered_map<HopId, PingId> hops_;
    // Quotas, from admission to release.
    std::unordered_map<std::uint64_t, Count> adCounts_;
    std::unordered_map<std::uint64_t, Count> viewCounts_;
    Count process_;
    std::map<Refusal, std::size_t> refusals_;
    // What holds places, kept as hops start and end; views with a hop here and when each was last served.
    std::map<std::uint64_t, std::size_t> viewHops_;
    std::map<std::uint64_t, std::uint64_t> viewTurns_;
    std::map<std::uint64_t, std::size_t> viewsUnderWay_;
    std::map<HostKey, std::size_t> viewHostsUnderWay_;
    std::map<HostKey, std::size_t> lanesUnderWay_;
    std::map<std::uint64_t, std::size_t> documentsUnderWay_;
    std::map<std::uint64_t, std::size_t> adsOnReserve_;
    std::size_t ordinaryHeld_ = 0;
    std::size_t reserveHeld_ = 0;
    std::set<std::pair<Nanos, PingId>> deadlines_;  // pings with a hop here and a life running
};

} // namespace platform
