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
//   ad and for the process, in pings and bytes (URL and body). An ad is the document the app loaded with
//   every document its pages navigated to and every page the SDK opened to show it.
// - An ad within its floor (fewer than Limits::adFloorPings and at most adFloorBytes with this one) is
//   always admitted. Beyond it a ping is admitted within its ad's quota while the process is within its
//   own. Lives are bounded, so the process holds at most its quota plus the floor times the ads that
//   made a ping within one life, whatever views come and go.
// - A refusal is only ever at admission; nothing admitted is dropped later.
//
// An admitted ping ends only by its answer, its owner, or its life: Limits::life from its admission,
// waiting included, across its redirect hops. A hop that would start with less than Limits::leastLife
// left fails unsent instead, so that no server reads a ping that is then cut. Its document closing or its
// view going ends nothing; neither does room for another load or a newer ping.
//
// A host is slow while a hop to it, from any view, has been under way for more than Limits::slowAfter
// without its head, and for Limits::slowFor after that.
//
// Places (next): pings hold at most Limits::places of web content's places together.
// - Views take places in turn: the next place goes to the view with the fewest pings under way among
//   those with a hop that may start; ties to the one served longest ago, a view that has just begun to
//   wait counting as never served, then the one with fewer pings waiting. So a view takes no further
//   place while it holds more than its share and another view within its share waits. A view is the web
//   view showing the document, and every page the SDK opened to show that view's creative.
// - Within a view: a redirect hop first (its ping is on the wire and its life runs), then hops to hosts
//   that are not slow, then hops to slow hosts; within each, the host on which the view has the fewest
//   under way, ties to the ping made first. So a click to a host that answers goes at its view's next
//   place, never behind the view's trackers to a dead host.
// - A document has at most Limits::perHost pings under way to one origin.
// - The last Limits::reserve places are for hops whose host answers, judged per host at each choice: a
//   hop is sure when its host is known to answer (see answered) and is not slow, a try when its host is
//   neither known nor slow. With the ordinary places full, a waiting hop takes a reserve place only when
//   its ad has no ping under way to a host that is not slow (its pings to slow hosts do not count), and its
//   view holds no reserve place (for a sure hop, the view's holders that were tries and whose host has
//   since turned slow, still not known, do not count while a reserve place stays free after it). A sure
//   hop needs nothing more. A try also needs a view with nothing under way, no other holder that is a try
//   still, and fewer than reserve - 1 places held by hops that are not sure; so does a hop to a host that
//   is slow but known to answer (a hanging path on a host that answers others), but for the one-try rule.
//   A hop to a host slow and not known never takes one. "Not sure" is read over the holders as they are
//   now, so the last reserve place only ever goes to a sure hop: a new ad's click to a host that answers
//   goes at once beside its own, its view's and other views' pings to dead hosts.
//   A hop on a reserve place moves to an ordinary one as soon as one is free and no waiting hop may take
//   it.
// A choice, an admission and an end cost about the logarithm of what waits: views wait in the order they
// take turns, and within a view its waiting hops by host and document, so a choice looks at hosts and
// documents, never at every hop.
// A hop under way whose connection never came (the engine tells, see handOff) gives its place to a hop
// that has never held one, unless its own view's turn comes first, counting it as waiting and never served
// (so places do not change hands between busy views for ever); it goes back to wait with its view's turn as
// before it was placed, its ping's life running on.
// Main thread or network thread, under the caller's lock; not thread-safe by itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace platform {

class PingScheduler {
public:
    using PingId = std::uint64_t;  // 0: none
    using HopId = std::uint64_t;   // the network engine's transfer of one hop
    using Nanos = std::int64_t;
    static constexpr Nanos NanosPerSecond = 1'000'000'000;
    // A ping's life from its admission, as a browser gives a keepalive request.
    static constexpr double LifeSeconds = 30;

    struct Limits {
        std::size_t places = 5;   // what pings may hold together (at least 1)
        std::size_t reserve = 2;  // the last of those, for a hop to a host that answers (< places)
        std::size_t perHost = 6;  // a document's pings under way to one origin
        std::size_t adPings = 64;
        std::size_t adBytes = 512u << 10;
        std::size_t processPings = 512;
        std::size_t processBytes = 4u << 20;
        // An ad's floor: room for a banner that sends a tracker a second to a slow host, and its clicks,
        // whatever other ads hold.
        std::size_t adFloorPings = 16;
        std::size_t adFloorBytes = 128u << 10;
        Nanos life = static_cast<Nanos>(LifeSeconds) * NanosPerSecond;
        Nanos leastLife = NanosPerSecond;  // what a hop must have left to start
        Nanos slowAfter = NanosPerSecond;  // under way this long without a head: its host is slow
        Nanos slowFor = 30 * NanosPerSecond;
    };
    // The figures for `webContentPlaces` places of which loads keep `loadsReserve` for themselves:
    // pings hold what loads leave, and keep an eighth of that (at least 2, fewer when there are fewer
    // places) for hops to hosts that answer.
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

    // A ping of `bytes` (its URL and body) made for `owner` at `now`: its life runs from here.
    Admission admit(const Owner& owner, std::size_t bytes, Nanos now);
    // Its owner lets it go (its end delivered, or it cancelled it): its quota comes back, a hop waiting
    // for it leaves the queue (its transfer is cancelled by the caller), and the ping is forgotten once
    // no hop of it holds a place.
    void release(PingId ping, Nanos now);

    enum class Wanted { Queued, LifePassed, Unknown };
    // A hop of `ping` (its first, or a redirect) to `host` (scheme, host and port) waits for a place.
    // LifePassed: less than Limits::leastLife of the ping's life is left (it fails as timed out, unsent);
    // Unknown: the ping was released or never admitted (nothing to send). One hop per ping at a time.
    Wanted want(PingId ping, HopId hop, const std::string& host, Nanos now);
    // The hop ended (its head came, it failed, or it was cancelled), waiting or under way: its place frees.
    // Unknown hops are ignored.
    void hopEnded(HopId hop, Nanos now);

    // Which waiting hops may take a place.
    enum class Only {
        Any,
        Owed,   // only a hop that has never held a place and is owed one: its view holds fewer than its
                // share, or it is a hop the reserve is for while the reserve has room
        Fresh,  // only a hop that has never held a place
    };
    // The hop to start now, counted as under way from here, when `freePlaces` places of web content are
    // free; nullopt when none may start.
    std::optional<HopId> next(std::size_t freePlaces, Nanos now, Only only = Only::Any);
    // The hop that has never held a place that would start if one more place of web content were free, when
    // it is owed one (see Only::Owed); the caller then has a load give way. nullopt when none.
    std::optional<HopId> owed(Nanos now) const;
    // `stuck`, under way, has had its place without its connection coming: a hop that has never held a
    // place takes that place, if one would and its view's turn does not come after the stuck hop's (its
    // view counted as never served by it), and `stuck` goes back to wait in its turn (it was never sent),
    // its ping's life running on (a hop of a ping let go leaves instead). Returns the hop started in its
    // place; nullopt (nothing changed) when none would start there.
    std::optional<HopId> handOff(HopId stuck, Nanos now);
    // `stuck`, under way, goes back to wait in its turn (or leaves, its ping let go) and its place frees: the
    // caller gives the place to a load that has never had one. Unknown or waiting hops are ignored.
    void putBack(HopId stuck, Nanos now);

    // The hops (under way or waiting) of pings whose life has ended by `now`, and waiting hops with less
    // than Limits::leastLife left: forgotten here, each to be failed as timed out by the caller.
    std::vector<HopId> expired(Nanos now);
    // When the next of those is due; INT64_MAX when none.
    Nanos nextDeadline() const { return deadlines_.empty() ? std::numeric_limits<Nanos>::max() : deadlines_.begin()->first; }
    // Whether `host` is slow at `now` (see the head of the file).
    bool isSlow(const std::string& host, Nanos now) const;
    // A request to `host` (a ping's hop, a load, the app's own) had its answer's head within
    // Limits::slowAfter of being written: the host is known to answer for Limits::slowFor.
    void answered(const std::string& host, Nanos now);

    // What it holds, for the engine's bounds, the tests and the benchmarks.
    std::size_t underWay() const { return ordinaryHeld_ + reserveHeld_; }
    std::size_t reserveHeld() const { return reserveHeld_; }
    // Whether the hop holds a reserve place now (it may have moved to an ordinary one since it started).
    bool holdsReserve(HopId hop) const {
        auto found = hops_.find(hop);
        return found != hops_.end() && pings_.at(found->second).reserve;
    }
    std::size_t waiting() const { return hops_.size() - underWay(); }
    std::size_t admitted() const { return process_.pings; }
    std::size_t admittedBytes() const { return process_.bytes; }
    std::size_t admittedForAd(std::uint64_t ad) const { return countOf(adCounts_, ad, Count{}).pings; }
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
        Nanos deadline = 0;  // its life's end, from its admission
        bool released = false;
        std::uint64_t order = 0;  // when it was admitted: the view's hops to like hosts go by it
        HopId hop = 0;            // its hop here, waiting or under way
        std::string host;         // that hop's
        bool answered = false;    // a hop of it ended under way: the next is a redirect
        bool redirect = false;    // that hop follows one that got its head
        bool held = false;        // that hop has held a place (it was put back)
        bool underWay = false;
        bool reserve = false;  // on a reserve place
        bool reserveTry = false;  // took it as a try (its host neither known nor slow then)
        Nanos startedAt = 0;   // when that hop last took its place
        // The view's turn before that hop took its place, and the turn it took: put back, the hop was never
        // served, and its view's turn goes back unless another hop of it has been served since.
        std::uint64_t turnBefore = 0;
        std::uint64_t turnTaken = 0;
    };
    // What is known of a host at a choice (see the head of the file).
    enum class HostClass { Sure, Try, SlowKnown, SlowUnknown };
    using HostKey = std::pair<std::uint64_t, std::string>;  // a view's, a document's or an ad's, to one host
    struct Choice {
        PingId ping = 0;
        bool reserve = false;
        bool asTry = false;  // a reserve place taken by a try
    };
    // Waiting hops, as the choice reads them: per view, its redirect hops by age, and its other hops by host,
    // then document, then age.
    using ByAge = std::set<std::pair<std::uint64_t, PingId>>;
    struct ViewWaiting {
        ByAge redirects;
        std::map<std::string, std::map<std::uint64_t, ByAge>> hosts;
    };
    // A view's turn: its pings under way, when it was last served (0: not since it began to wait), its pings
    // waiting, the view.
    using ViewRank = std::tuple<std::size_t, std::uint64_t, std::size_t, std::uint64_t>;

    static bool fits(const Count& count, std::size_t bytes, std::size_t pings, std::size_t most);
    // The waiting hop the next place goes to, if one may start (see the head of the file).
    std::optional<Choice> choose(Nanos now, Only only) const;
    // Counts the ping's hop as under way, or no longer.
    void place(PingId id, Ping& ping, bool reserve, Nanos startedAt, bool asTry = false);
    void unplace(Ping& ping, Nanos now);
    // The turn the ping's view would have, had its hop under way never been served.
    std::uint64_t turnUnserved(const Ping& ping) const;
    void setTurn(std::uint64_t view, std::uint64_t turn);
    // Less than Limits::leastLife of the ping's life is left at `now`.
    bool lifeTooShort(const Ping& ping, Nanos now) const;
    // When the hop waiting or under way is to be failed, and its listing there.
    Nanos dueOf(const Ping& ping) const;
    void list(PingId id, const Ping& ping) { deadlines_.emplace(dueOf(ping), id); }
    // The ping's waiting hop into or out of its view's queues.
    void enqueue(PingId id, const Ping& ping);
    void dequeue(PingId id, const Ping& ping);
    // A view's turn out of the order before its counts change, and back in after (while it has a hop waiting).
    void unrank(std::uint64_t view);
    void rerank(std::uint64_t view);
    HostClass classOf(const std::string& host, Nanos now) const;
    void unlist(PingId id, const Ping& ping) { deadlines_.erase({dueOf(ping), id}); }
    // Takes the ping's hop out, waiting or under way.
    void forget(PingId id, Ping& ping, Nanos now);
    void settle(Nanos now);
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
    std::uint64_t turns_ = 0;
    std::unordered_map<PingId, Ping> pings_;
    std::unordered_map<HopId, PingId> hops_;
    // Quotas, from admission to release.
    std::unordered_map<std::uint64_t, Count> adCounts_;
    Count process_;
    std::map<Refusal, std::size_t> refusals_;
    // What holds places, kept as hops start and end; views with a hop here and when each was last served
    // (0: not since it began to wait).
    std::map<std::uint64_t, std::size_t> viewHops_;
    std::map<std::uint64_t, std::uint64_t> viewTurns_;
    std::map<std::uint64_t, std::size_t> viewsUnderWay_;
    std::map<HostKey, std::size_t> viewHostsUnderWay_;
    std::map<HostKey, std::size_t> lanesUnderWay_;
    std::map<HostKey, std::size_t> adHostsUnderWay_;
    std::set<PingId> onReserve_;  // the pings whose hop holds a reserve place
    // The waiting hops, for the choice: views by turn, each view's by host and document, and how many wait
    // on each host.
    std::unordered_map<std::uint64_t, ViewWaiting> waiting_;
    std::set<ViewRank> viewOrder_;
    std::unordered_map<std::uint64_t, ViewRank> viewRanks_;
    std::map<std::string, std::size_t> hostsWaiting_;
    std::size_t ordinaryHeld_ = 0;
    std::size_t reserveHeld_ = 0;
    // Slow hosts: when each hop under way to a host took its place, and until when a host that was slow
    // stays so.
    std::map<std::string, std::multiset<Nanos>> hostStarts_;
    // Hosts marked until a time: forgotten as it passes (expired).
    class HostMarks {
    public:
        void mark(const std::string& host, Nanos until);
        bool holds(const std::string& host, Nanos now) const;
        void prune(Nanos now);

    private:
        std::map<std::string, Nanos> until_;
        std::set<std::pair<Nanos, std::string>> ends_;
    };
    HostMarks slow_;       // hosts that were slow, until when they stay so
    HostMarks answering_;  // hosts that answered, until when they are known to
    std::set<std::pair<Nanos, PingId>> deadlines_;  // pings with a hop here, by when that hop is due to fail
};

} // namespace platform
