#include <doctest/doctest.h>

#include "platform/net/PingScheduler.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

using platform::PingScheduler;

namespace {

using Nanos = PingScheduler::Nanos;
using PingId = PingScheduler::PingId;
using HopId = PingScheduler::HopId;
using Owner = PingScheduler::Owner;
using Refusal = PingScheduler::Refusal;
using Wanted = PingScheduler::Wanted;
using Limits = PingScheduler::Limits;

constexpr Nanos Second = PingScheduler::NanosPerSecond;
constexpr Nanos Milli = Second / 1000;
constexpr Nanos NoDeadline = std::numeric_limits<Nanos>::max();
// Past 2^53 a double no longer holds every nanosecond: a deadline kept as seconds would fire early or late.
constexpr Nanos Clock53 = Nanos{1} << 53;

// The hop next() started, 0 for none: doctest prints it.
HopId got(std::optional<HopId> hop) { return hop.value_or(0); }

std::vector<HopId> drainNext(PingScheduler& s, std::size_t freePlaces, Nanos now) {
    std::vector<HopId> started;
    while (auto hop = s.next(freePlaces, now)) {
        started.push_back(*hop);
        if (freePlaces > 0)
            --freePlaces;
    }
    return started;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Admission

TEST_CASE("PingScheduler: a view within its floor is admitted past a full process quota, bytes counted with the ping") {
    PingScheduler s{Limits{}};
    const Limits& l = s.limits();
    REQUIRE(l.processPings == 8 * l.adPings);
    // Eight ads, each in its own view, take the whole process quota.
    std::vector<PingId> first;
    for (std::uint64_t v = 0; v < 8; ++v)
        for (std::size_t i = 0; i < l.adPings; ++i) {
            const auto a = s.admit(Owner{100 + v, 200 + v, 300 + v}, 100);
            REQUIRE(a.id != 0);
            if (v == 0)
                first.push_back(a.id);
        }
    CHECK(s.admitted() == l.processPings);

    // A ninth view still gets its floor, and nothing past it.
    const Owner late{109, 209, 309};
    for (std::size_t i = 0; i < l.viewFloorPings; ++i)
        CHECK(s.admit(late, 100).id != 0);
    const auto refused = s.admit(late, 100);
    CHECK(refused.id == 0);
    CHECK(refused.refusal == Refusal::ProcessQuota);
    CHECK(s.admittedFor(209) == l.viewFloorPings);

    // The floor's bytes include the ping being made: exactly viewFloorBytes fits, one more byte does not.
    const Owner big{110, 210, 310};
    CHECK(s.admit(big, l.viewFloorBytes + 1).refusal == Refusal::ProcessQuota);
    CHECK(s.admit(big, l.viewFloorBytes).id != 0);
    CHECK(s.admit(big, 1).refusal == Refusal::ProcessQuota);
    CHECK(s.admitted() == l.processPings + l.viewFloorPings + 1);
    CHECK(s.admittedBytes() == l.processPings * 100 + l.viewFloorPings * 100 + l.viewFloorBytes);
    CHECK(s.refusals(Refusal::ProcessQuota) == 3);
    CHECK(s.refusals(Refusal::AdQuota) == 0);

    // Floor pings count in the process total too: the late view is admitted past its floor only once the
    // process is back within its quota with the new ping.
    for (std::size_t i = 0; i < l.viewFloorPings + 1; ++i)
        s.release(first[i]);
    CHECK(s.admitted() == l.processPings);
    CHECK(s.admit(late, 100).refusal == Refusal::ProcessQuota);
    s.release(first[l.viewFloorPings + 1]);
    CHECK(s.admit(late, 100).id != 0);
}

TEST_CASE("PingScheduler: a self-reloading creative's documents share their ad's quota and the next ad starts afresh") {
    PingScheduler s{Limits{}};
    const Limits& l = s.limits();
    const std::uint64_t view = 7;
    std::uint64_t document = 1000;
    std::vector<PingId> ids;
    // Every load is a new document in the same view, counted in the same ad.
    for (std::size_t i = 0; i < l.adPings; ++i) {
        const auto a = s.admit(Owner{1, view, ++document}, 10);
        REQUIRE(a.id != 0);
        ids.push_back(a.id);
    }
    const auto refused = s.admit(Owner{1, view, ++document}, 10);
    CHECK(refused.id == 0);
    CHECK(refused.refusal == Refusal::AdQuota);
    // The view's next ad has a quota of its own.
    CHECK(s.admit(Owner{2, view, ++document}, 10).id != 0);
    // A release gives the ad its room back, to any of its documents.
    s.release(ids.front());
    CHECK(s.admit(Owner{1, view, ++document}, 10).id != 0);
    CHECK(s.admit(Owner{1, view, ++document}, 10).refusal == Refusal::AdQuota);
    CHECK(s.refusals(Refusal::AdQuota) == 2);

    // The ad's bytes: exactly adBytes fits, one byte more does not.
    const std::uint64_t bigView = 8;
    const std::size_t chunk = 100u << 10;
    const std::size_t whole = l.adBytes / chunk;
    for (std::size_t i = 0; i < whole; ++i)
        REQUIRE(s.admit(Owner{3, bigView, 5000 + i}, chunk).id != 0);
    const std::size_t rest = l.adBytes - whole * chunk;
    CHECK(s.admit(Owner{3, bigView, 6000}, rest + 1).refusal == Refusal::AdQuota);
    CHECK(s.admit(Owner{3, bigView, 6001}, rest).id != 0);
    CHECK(s.admit(Owner{3, bigView, 6002}, 1).refusal == Refusal::AdQuota);
}

TEST_CASE("PingScheduler: limitsFor leaves pings what loads leave, and an eighth of it (at least 2, below all) for newcomers") {
    const auto wide = PingScheduler::limitsFor(72, 8);
    CHECK(wide.places == 64);
    CHECK(wide.reserve == 8);
    CHECK(wide.life == 30 * Second);
    const auto narrow = PingScheduler::limitsFor(24, 8);
    CHECK(narrow.places == 16);
    CHECK(narrow.reserve == 2);
    CHECK(PingScheduler::limitsFor(3, 0).reserve == 2);
    CHECK(PingScheduler::limitsFor(2, 0).places == 2);
    CHECK(PingScheduler::limitsFor(2, 0).reserve == 1);
    CHECK(PingScheduler::limitsFor(1, 0).places == 1);
    CHECK(PingScheduler::limitsFor(1, 0).reserve == 0);
}

// ---------------------------------------------------------------------------------------------------------
// Places

TEST_CASE("PingScheduler: a click to a new host goes before the view's older pings to another host") {
    PingScheduler s{Limits{}};
    const Nanos t = 5 * Second;
    const Owner owner{1, 1, 1};
    HopId hop = 10;
    for (int i = 0; i < 4; ++i)
        REQUIRE(s.want(s.admit(owner, 200).id, ++hop, "https://tracker.test", t) == Wanted::Queued);
    CHECK(got(s.next(1, t)) == 11);
    // The click comes last, to a host the view has nothing under way on.
    const PingId click = s.admit(owner, 300).id;
    REQUIRE(s.want(click, 99, "https://shop.test", t + 1) == Wanted::Queued);
    CHECK(got(s.next(1, t + 2)) == 99);
    CHECK(got(s.next(1, t + 2)) == 12);
    // No free place of web content: nothing starts, whatever is owed.
    CHECK_FALSE(s.next(0, t + 3).has_value());
    CHECK(s.underWay() == 3);
    CHECK(s.underWayFor(1) == 3);
}

TEST_CASE("PingScheduler: a redirect hop keeps its ping's turn among the view's hops to hosts with as many under way") {
    PingScheduler s{Limits{}};
    const Owner owner{1, 1, 1};
    const PingId busy = s.admit(owner, 10).id;
    REQUIRE(s.want(busy, 1, "https://keep.test", 0) == Wanted::Queued);
    REQUIRE(got(s.next(1, 0)) == 1);
    const PingId older = s.admit(owner, 10).id;
    const PingId waiting = s.admit(owner, 10).id;
    REQUIRE(s.want(older, 2, "https://a.test", 1) == Wanted::Queued);
    REQUIRE(got(s.next(1, 2)) == 2);
    REQUIRE(s.want(waiting, 3, "https://b.test", 3) == Wanted::Queued);
    // The older ping's 3xx: its next hop comes after the waiting one, to a host with as few under way, and
    // goes first: its life is running.
    s.hopEnded(2);
    REQUIRE(s.want(older, 4, "https://c.test", 4) == Wanted::Queued);
    CHECK(got(s.next(1, 5)) == 4);
    CHECK(got(s.next(1, 5)) == 3);
    // A newer ping to a host with as few under way waits behind both.
    const PingId newer = s.admit(owner, 10).id;
    REQUIRE(s.want(newer, 5, "https://d.test", 6) == Wanted::Queued);
    s.hopEnded(3);
    s.hopEnded(4);
    REQUIRE(s.want(s.admit(owner, 10).id, 6, "https://e.test", 7) == Wanted::Queued);
    CHECK(got(s.next(1, 8)) == 5);
    CHECK(got(s.next(1, 8)) == 6);
}

TEST_CASE("PingScheduler: a newcomer takes a reserve place beside 16 views with hanging pings") {
    Limits limits;
    limits.places = 20;
    limits.reserve = 4;
    PingScheduler s{limits};
    const Nanos t = Clock53;
    HopId hop = 0;
    for (std::uint64_t v = 1; v <= 16; ++v)
        for (int i = 0; i < 4; ++i)
            REQUIRE(s.want(s.admit(Owner{v, v, v}, 100).id, ++hop, "https://hang.test", t) == Wanted::Queued);
    // The hostile views share the ordinary places, one each; their further pings are no newcomers'.
    CHECK(drainNext(s, 100, t).size() == 16);
    for (std::uint64_t v = 1; v <= 16; ++v)
        CHECK(s.underWayFor(v) == 1);
    CHECK(s.reserveHeld() == 0);
    CHECK(s.waiting() == 48);
    CHECK_FALSE(s.wantsPlace());

    // A newcomer is owed a reserve place: the engine has a load give way for it.
    REQUIRE(s.want(s.admit(Owner{17, 17, 17}, 100).id, 1001, "https://news.test", t + 1) == Wanted::Queued);
    CHECK_FALSE(s.next(0, t + 1).has_value());
    CHECK(s.wantsPlace());
    CHECK(got(s.next(1, t + 1)) == 1001);
    CHECK(s.reserveHeld() == 1);
    // Its document now has a ping under way; its ad's reloaded document holds no second reserve place.
    REQUIRE(s.want(s.admit(Owner{17, 17, 17}, 100).id, 1002, "https://news.test", t + 2) == Wanted::Queued);
    REQUIRE(s.want(s.admit(Owner{17, 17, 18}, 100).id, 1003, "https://news.test", t + 2) == Wanted::Queued);
    CHECK_FALSE(s.next(100, t + 2).has_value());
    CHECK_FALSE(s.wantsPlace());
    // Another ad's newcomer, in a document no view shows, takes the next one.
    REQUIRE(s.want(s.admit(Owner{19, 1900, 1900}, 100).id, 1004, "https://news.test", t + 3) == Wanted::Queued);
    CHECK(got(s.next(100, t + 3)) == 1004);
    CHECK(s.reserveHeld() == 2);
    CHECK(s.underWay() == 18);
}

TEST_CASE("PingScheduler: creatives that send bursts of hanging pings leave the reserve to a banner's click") {
    PingScheduler s{Limits{}};  // 3 ordinary places and 2 reserve
    HopId hop = 0;
    // Eight creatives, sixteen hanging pings each, all made at once.
    for (std::uint64_t v = 1; v <= 8; ++v)
        for (int i = 0; i < 16; ++i)
            REQUIRE(s.want(s.admit(Owner{v, v, v}, 100).id, ++hop, "https://hang.test", 0) == Wanted::Queued);
    CHECK(drainNext(s, 10, 0).size() == 3);
    CHECK(s.reserveHeld() == 0);
    // Another banner's two tap clicks: the first goes at once, on a reserve place.
    const PingId click = s.admit(Owner{9, 9, 9}, 100).id;
    const PingId second = s.admit(Owner{9, 9, 9}, 100).id;
    REQUIRE(s.want(click, 1001, "https://ads.test", 1) == Wanted::Queued);
    REQUIRE(s.want(second, 1002, "https://ping.test", 1) == Wanted::Queued);
    CHECK(got(s.next(10, 1)) == 1001);
    CHECK_FALSE(s.next(10, 1).has_value());
    // Once its head comes, the second takes the reserve place it left.
    s.hopEnded(1001);
    s.release(click);
    CHECK(got(s.next(10, 2)) == 1002);
}

TEST_CASE("PingScheduler: a hop on a reserve place moves to an ordinary one as soon as one frees and nothing waits") {
    PingScheduler s{Limits{}};  // 3 ordinary places and 2 reserve
    REQUIRE(s.limits().places - s.limits().reserve == 3);
    HopId hop = 0;
    for (std::uint64_t v = 1; v <= 4; ++v)
        REQUIRE(s.want(s.admit(Owner{v, v, v}, 100).id, ++hop, "https://hang.test", 0) == Wanted::Queued);
    CHECK(drainNext(s, 10, 0).size() == 4);
    CHECK(s.reserveHeld() == 1);
    // Web content has no free place as the first view's hop ends: the engine may not even ask next().
    s.hopEnded(1);
    CHECK(s.reserveHeld() == 0);
    CHECK_FALSE(s.next(0, 1).has_value());
    CHECK(s.reserveHeld() == 0);
    // So the ordinary places are full again: the hostile views' further pings leave the reserve to newcomers.
    for (std::uint64_t v = 2; v <= 3; ++v)
        REQUIRE(s.want(s.admit(Owner{v, v, v}, 100).id, ++hop, "https://hang.test", 2) == Wanted::Queued);
    CHECK_FALSE(s.next(10, 3).has_value());
    for (std::uint64_t v = 5; v <= 6; ++v)
        REQUIRE(s.want(s.admit(Owner{v, v, v}, 100).id, ++hop, "https://news.test", 4) == Wanted::Queued);
    CHECK(drainNext(s, 10, 5).size() == 2);
    CHECK(s.reserveHeld() == 2);
}

TEST_CASE("PingScheduler: a released ping's hop keeps its place until the engine ends its transfer") {
    Limits limits;
    limits.places = 1;
    limits.reserve = 0;
    PingScheduler s{limits};
    const PingId a = s.admit(Owner{1, 1, 1}, 10).id;
    const PingId b = s.admit(Owner{2, 2, 2}, 10).id;
    REQUIRE(s.want(a, 1, "https://a.test", 0) == Wanted::Queued);
    REQUIRE(s.want(b, 2, "https://b.test", 0) == Wanted::Queued);
    CHECK(got(s.next(5, 0)) == 1);
    s.release(a);
    CHECK(s.admitted() == 1);
    CHECK_FALSE(s.next(5, 1).has_value());
    CHECK(s.underWay() == 1);
    s.hopEnded(1);
    CHECK(got(s.next(5, 2)) == 2);
    // A released ping's waiting hop leaves the queue at once; the engine's later hopEnded is ignored.
    const PingId c = s.admit(Owner{3, 3, 3}, 10).id;
    REQUIRE(s.want(c, 3, "https://c.test", 3) == Wanted::Queued);
    s.release(c);
    CHECK(s.waiting() == 0);
    s.hopEnded(3);
    s.hopEnded(12345);
    CHECK(s.underWay() == 1);
    CHECK(s.want(c, 4, "https://c.test", 4) == Wanted::Unknown);
    CHECK(s.want(777, 5, "https://c.test", 4) == Wanted::Unknown);
}

// ---------------------------------------------------------------------------------------------------------
// Life

TEST_CASE("PingScheduler: a redirect hop keeps the ping's life, which starts only at its first place") {
    PingScheduler s{Limits{}};
    const Nanos life = s.limits().life;
    const Nanos t0 = Clock53 + 1;
    const PingId p = s.admit(Owner{1, 1, 1}, 100).id;
    REQUIRE(s.want(p, 1, "https://a.test", t0) == Wanted::Queued);
    // Waiting for a place costs no life.
    CHECK(s.nextDeadline() == NoDeadline);
    CHECK(s.expired(t0 + 2 * life).empty());
    const Nanos placed = t0 + 2 * life + 3;
    CHECK(got(s.next(1, placed)) == 1);
    CHECK(s.nextDeadline() == placed + life);

    // The 3xx comes; the next hop, to another host, runs on the same life. Between the two the ping has no
    // hop here: nothing is due for it.
    s.hopEnded(1);
    CHECK(s.nextDeadline() == NoDeadline);
    REQUIRE(s.want(p, 2, "https://b.test", placed + 10 * Second) == Wanted::Queued);
    CHECK(s.nextDeadline() == placed + life);
    CHECK(got(s.next(1, placed + 20 * Second)) == 2);
    CHECK(s.expired(placed + life - 1).empty());
    CHECK(s.expired(placed + life) == std::vector<HopId>{2});
    CHECK(s.nextDeadline() == NoDeadline);
    CHECK(s.underWay() == 0);
    // Its owner fails it; a hop that came after the life ended would not be sent.
    CHECK(s.want(p, 3, "https://c.test", placed + life) == Wanted::LifePassed);
    s.release(p);
    CHECK(s.admitted() == 0);

    // A waiting redirect hop is forgotten at its life's end too.
    const PingId q = s.admit(Owner{1, 1, 2}, 100).id;
    REQUIRE(s.want(q, 4, "https://a.test", placed + life) == Wanted::Queued);
    const Nanos qPlaced = placed + life + 1;
    CHECK(got(s.next(1, qPlaced)) == 4);
    s.hopEnded(4);
    REQUIRE(s.want(q, 5, "https://b.test", qPlaced + life - 1) == Wanted::Queued);
    CHECK(s.expired(qPlaced + life - 1).empty());
    CHECK(s.expired(qPlaced + life) == std::vector<HopId>{5});
    CHECK(s.waiting() == 0);
    s.release(q);
}

// ---------------------------------------------------------------------------------------------------------
// The model: a simulated network engine on simulated time drives the unit through random steps, and its
// own records say what the unit must have done.

namespace {

enum class Behaviour { Prompt, Late, Never, Trickle, HeadTrickle, Redirect, Edge };
constexpr int BehaviourCount = 7;

const char* nameOf(Behaviour b) {
    switch (b) {
    case Behaviour::Prompt: return "prompt";
    case Behaviour::Late: return "late";
    case Behaviour::Never: return "never";
    case Behaviour::Trickle: return "trickle";
    case Behaviour::HeadTrickle: return "head-trickle";
    case Behaviour::Redirect: return "redirect";
    case Behaviour::Edge: return "edge";
    }
    return "?";
}

bool hangs(Behaviour b) { return b == Behaviour::Never || b == Behaviour::HeadTrickle; }

struct Totals {
    std::size_t steps = 0, admitted = 0, floorPastQuota = 0, adRefusals = 0, processRefusals = 0;
    std::size_t arrivals = 0, cancels = 0, cancelsUnderWay = 0, lives = 0, lifePassed = 0, redirects = 0;
    std::size_t reserveStarts = 0, givenWay = 0, deadlineHits = 0, orphans = 0, edgeRaces = 0;
};

// What a stretch of steps is like: expected pings, cancels and view events per step, the chance of a burst of
// 10-80 pings, of a big ping, of a load taking each free place, and of a ping going to a host that never answers.
struct Mood {
    const char* name;
    double pings, burst, big, cancels, open, close, reload, newAd, loads, hang;
};
constexpr Mood Moods[] = {
    {"calm", 0.15, 0.002, 0.03, 0.05, 0.05, 0.02, 0.05, 0.02, 0.05, 0.03},
    {"storm", 0.4, 0.005, 0.05, 0.15, 0.2, 0.02, 0.1, 0.05, 0.3, 0.4},
    {"quota", 0.5, 0.01, 0.4, 0.15, 0.1, 0.05, 0.1, 0.1, 0.1, 0.15},
    {"churn", 0.3, 0.005, 0.05, 0.3, 0.3, 0.3, 0.4, 0.2, 0.05, 0.1},
};

struct Config {
    const char* name;
    Limits limits;
    std::size_t loadsOnly;  // web content's places beyond what pings may hold
};

std::vector<Config> everydayLimits() {
    return {{"defaults", Limits{}, 3}, {"limitsFor(40, 8)", PingScheduler::limitsFor(40, 8), 8}};
}

std::vector<Config> tightLimits() {
    Limits quotas;
    quotas.places = 4;
    quotas.reserve = 1;
    quotas.perHost = 1;
    quotas.adPings = 6;
    quotas.adBytes = 48u << 10;
    quotas.processPings = 40;
    quotas.processBytes = 300u << 10;
    quotas.viewFloorPings = 2;
    quotas.viewFloorBytes = 8u << 10;
    Limits lanes;
    lanes.places = 12;
    lanes.reserve = 3;
    lanes.perHost = 2;
    lanes.adPings = 16;
    lanes.processPings = 96;
    lanes.viewFloorPings = 3;
    return {{"tight quotas", quotas, 2}, {"narrow lanes", lanes, 4}};
}

std::vector<Config> fewPlaces() {
    Limits one;
    one.places = 1;
    one.reserve = 0;
    one.perHost = 1;
    return {{"one place", one, 1}, {"limitsFor(3, 0)", PingScheduler::limitsFor(3, 0), 0}};
}

constexpr Nanos ClockStarts[] = {0, Clock53 - 7, Clock53 + 3, (Nanos{1} << 62) + 11};

#define MODEL_CHECK(cond, what)                                          \
    do {                                                                 \
        if (!(cond)) {                                                   \
            std::ostringstream modelWhat_;                               \
            modelWhat_ << what << " [now " << now_ << " ns]";            \
            FAIL(modelWhat_.str());                                      \
        }                                                                \
    } while (false)

class Model {
public:
    Model(std::uint32_t seed, const Config& config, Nanos start, Totals& totals, std::ostream* trace)
        : unit_(config.limits), l_(unit_.limits()), ordinary_(l_.places - l_.reserve), random_(seed),
          webPlaces_(l_.places + config.loadsOnly), now_(start), totals_(totals), trace_(trace) {
        for (int b = 0; b < BehaviourCount; ++b)
            addHost(static_cast<Behaviour>(b));
        for (int i = 0; i < 5; ++i)
            addHost(static_cast<Behaviour>(uniform(0, BehaviourCount - 1)));
        for (int i = 0; i < 8; ++i)
            openView(false);
    }

    int step() const { return step_; }

    void run(int steps) {
        for (int i = 0; i < steps; ++i) {
            ++step_;
            ++totals_.steps;
            if (i % 400 == 0)
                mood_ = &Moods[uniform<std::size_t>(0, std::size(Moods) - 1)];
            advance();
            act();
            engine();
        }
    }

    // No more pings, cancels or loads: everything admitted must end, by its answer or its life.
    void drain() {
        draining_ = true;
        for (int guard = 0; !live_.empty() || !hops_.empty(); ++guard) {
            ++step_;
            MODEL_CHECK(guard < 1'000'000, "the drain does not end: " << live_.size() << " pings live");
            const Nanos cap = nextEvent();
            MODEL_CHECK(cap != NoDeadline, waiting_ << " hops wait, " << underWay_
                                                    << " under way, and nothing will ever free a place");
            now_ = std::max(now_, cap + uniform<Nanos>(-1, 1));
            engine();
        }
    }

    void finish() {
        MODEL_CHECK(unit_.admitted() == 0 && unit_.admittedBytes() == 0, "the unit still counts "
                        << unit_.admitted() << " pings, " << unit_.admittedBytes() << " bytes after all were released");
        MODEL_CHECK(unit_.underWay() == 0 && unit_.waiting() == 0 && unit_.reserveHeld() == 0,
                    "the unit still holds hops after all ended");
        MODEL_CHECK(unit_.nextDeadline() == NoDeadline, "a deadline is left with no hop here");
        MODEL_CHECK(!unit_.wantsPlace(), "wantsPlace() with nothing waiting");
        MODEL_CHECK(unit_.share() == ordinary_, "share() with no view is not all the ordinary places");
        for (const auto& [id, p] : pings_) {
            MODEL_CHECK(p.released && p.end != End::None, "ping " << id << " never ended");
            MODEL_CHECK(p.arrivals <= 1, "ping " << id << " arrived " << p.arrivals << " times");
            if (p.end == End::Answer)
                MODEL_CHECK(p.arrivals == 1, "ping " << id << " ended by its answer without arriving");
            if (p.end == End::Life)
                MODEL_CHECK(p.placed && p.endedAt >= p.deadline,
                            "ping " << id << " ended by its life at " << p.endedAt << ", before its deadline "
                                    << p.deadline);
        }
    }

private:
    enum class End { None, Answer, Owner, Life };
    struct Count {
        std::size_t pings = 0;
        std::size_t bytes = 0;
    };
    struct Host {
        std::string name;
        Behaviour behaviour;
    };
    struct Ping {
        Owner owner;
        std::size_t bytes = 0;
        bool released = false;
        bool placed = false;
        Nanos deadline = 0;
        HopId hop = 0;  // its hop here, waiting or under way
        std::uint64_t order = 0;  // when its first hop came: its later hops keep that turn
        int hops = 0;
        int arrivals = 0;
        End end = End::None;
        Nanos endedAt = 0;
    };
    struct Hop {
        PingId ping = 0;
        Owner owner;
        int host = 0;
        std::uint64_t order = 0;  // its ping's turn
        bool underWay = false;
        bool orphaned = false;     // its ping was released while it held a place: the engine ends it later
        Nanos orphanLife = NoDeadline;
    };
    using LaneKey = std::pair<std::uint64_t, int>;  // document, host
    struct Lane {
        std::size_t underWay = 0;
        std::set<std::pair<std::uint64_t, HopId>> waiting;
    };
    struct View {
        std::size_t hops = 0;
        std::size_t underWay = 0;
        std::uint64_t turn = 0;
        std::map<int, std::size_t> hostUnderWay;
        std::set<LaneKey> lanesWaiting;
        std::size_t startable = 0;  // lanes with a hop waiting and room for it
    };
    struct Document {
        std::uint64_t ad = 0;
        std::size_t underWay = 0;
        std::size_t waiting = 0;
    };
    struct Slot {
        std::uint64_t view = 0;
        std::uint64_t document = 0;
        std::uint64_t ad = 0;
        bool selfReloading = false;
    };

    // --- randomness ---
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < p; }
    template <class T>
    T uniform(T lo, T hi) {
        return std::uniform_int_distribution<T>(lo, hi)(random_);
    }
    int poisson(double mean) { return mean <= 0 ? 0 : std::poisson_distribution<int>(mean)(random_); }

    std::uint64_t newId() { return ++ids_; }

    void addHost(Behaviour b) {
        if (hangs(b))
            hanging_.push_back(static_cast<int>(hosts_.size()));
        hosts_.push_back({"https://h" + std::to_string(hosts_.size()) + "-" + nameOf(b) + ".test:443", b});
    }

    void openView(bool documentAlone) {
        const std::uint64_t document = newId();
        slots_.push_back({documentAlone ? document : newId(), document, newId(), chance(0.04)});
    }

    std::size_t pingBytes() {
        if (chance(mood_->big))
            return chance(0.1) ? l_.viewFloorBytes + uniform<std::size_t>(0, 1) : uniform<std::size_t>(20'000, 100'000);
        return chance(0.8) ? uniform<std::size_t>(50, 2'000) : uniform<std::size_t>(2'000, 20'000);
    }

    int pickHost() {
        if (chance(mood_->hang))
            return hanging_[uniform<std::size_t>(0, hanging_.size() - 1)];
        return uniform<int>(0, static_cast<int>(hosts_.size()) - 1);
    }

    std::size_t freePlaces() const { return webPlaces_ - loads_.size() - underWay_; }

    std::size_t shareNow() const {
        const std::size_t views = std::max<std::size_t>(1, views_.size());
        return std::max<std::size_t>(1, (ordinary_ + views - 1) / views);
    }

    std::size_t hostUnderWay(const View& v, int host) const {
        const auto it = v.hostUnderWay.find(host);
        return it == v.hostUnderWay.end() ? 0 : it->second;
    }

    bool startable(const Lane& lane) const { return !lane.waiting.empty() && lane.underWay < l_.perHost; }

    void recount(View& v, bool was, bool is) {
        if (was == is)
            return;
        if (is) {
            ++v.startable;
            ++startable_;
        } else {
            --v.startable;
            --startable_;
        }
    }

    // An ad with few enough pings in flight that its newcomers may take reserve places.
    bool light(std::uint64_t ad) const {
        const auto count = adCounts_.find(ad);
        return count != adCounts_.end() && count->second.pings <= l_.reserveInFlight;
    }

    // Documents with a hop waiting and nothing under way, and since when.
    void refreshNewcomer(std::uint64_t document) {
        const auto d = documents_.find(document);
        if (d != documents_.end() && d->second.underWay == 0 && d->second.waiting > 0)
            newcomers_.try_emplace(document, now_);
        else
            newcomers_.erase(document);
    }

    // Ads whose hops may hold reserve places: what holds them is among these.
    const std::map<std::uint64_t, std::size_t>& maybeReserveAds() {
        if (reserveAdsStale_) {
            reserveAds_.clear();
            for (HopId h : maybeReserve_)
                ++reserveAds_[hops_.at(h).owner.ad];
            reserveAdsStale_ = false;
        }
        return reserveAds_;
    }

    Nanos nextEvent() const {
        Nanos cap = NoDeadline;
        if (!answers_.empty())
            cap = std::min(cap, answers_.begin()->first);
        if (!loads_.empty())
            cap = std::min(cap, *loads_.begin());
        if (!lives_.empty())
            cap = std::min(cap, lives_.begin()->first);
        if (!redirects_.empty())
            cap = std::min(cap, redirects_.begin()->first);
        return cap;
    }

    // --- the unit's calls, traced on request ---
    std::ostream* t() { return trace_; }

    // --- bookkeeping of hops here ---
    void addHop(PingId id, HopId hop, int host) {
        Ping& p = pings_.at(id);
        auto [vi, fresh] = views_.try_emplace(p.owner.view);
        View& v = vi->second;
        if (fresh)
            v.turn = ++turns_;
        ++v.hops;
        const LaneKey key{p.owner.document, host};
        Lane& lane = lanes_[key];
        const bool was = startable(lane);
        if (p.order == 0)
            p.order = ++orders_;
        lane.waiting.insert({p.order, hop});
        recount(v, was, startable(lane));
        v.lanesWaiting.insert(key);
        Document& d = documents_[p.owner.document];
        d.ad = p.owner.ad;
        ++d.waiting;
        ++waiting_;
        refreshNewcomer(p.owner.document);
        hops_[hop] = Hop{id, p.owner, host, p.order};
        p.hop = hop;
        if (p.placed)
            lives_.insert({p.deadline, id});
    }

    void hopLeaves(HopId hop) {
        const auto it = hops_.find(hop);
        const Hop h = it->second;
        hops_.erase(it);
        const LaneKey key{h.owner.document, h.host};
        Lane& lane = lanes_.at(key);
        View& v = views_.at(h.owner.view);
        Document& d = documents_.at(h.owner.document);
        const bool was = startable(lane);
        if (h.underWay) {
            --lane.underWay;
            --v.underWay;
            if (--v.hostUnderWay.at(h.host) == 0)
                v.hostUnderWay.erase(h.host);
            --d.underWay;
            --underWay_;
        } else {
            lane.waiting.erase({h.order, hop});
            if (lane.waiting.empty())
                v.lanesWaiting.erase(key);
            --d.waiting;
            --waiting_;
        }
        recount(v, was, startable(lane));
        if (lane.underWay == 0 && lane.waiting.empty())
            lanes_.erase(key);
        if (--v.hops == 0)
            views_.erase(h.owner.view);
        if (d.underWay == 0 && d.waiting == 0)
            documents_.erase(h.owner.document);
        refreshNewcomer(h.owner.document);
        if (maybeReserve_.erase(hop) > 0)
            reserveAdsStale_ = true;
        if (h.orphaned) {
            orphanLives_.erase(orphanLives_.find(h.orphanLife));
        } else {
            Ping& p = pings_.at(h.ping);
            p.hop = 0;
            if (p.placed)
                lives_.erase({p.deadline, h.ping});
        }
    }

    // --- the owners ---
    void makePing(const Slot& slot) {
        const Owner owner{slot.ad, slot.view, slot.document};
        const std::size_t bytes = pingBytes();
        const Count view = viewCounts_[owner.view];
        const Count ad = adCounts_[owner.ad];
        const bool floor = view.pings < l_.viewFloorPings && view.bytes + bytes <= l_.viewFloorBytes;
        const bool adRoom = ad.pings + 1 <= l_.adPings && ad.bytes + bytes <= l_.adBytes;
        const bool processRoom = process_.pings + 1 <= l_.processPings && process_.bytes + bytes <= l_.processBytes;
        const auto a = unit_.admit(owner, bytes);
        if (t())
            *t() << now_ << " admit({" << owner.ad << ',' << owner.view << ',' << owner.document << "}, " << bytes
                 << ") -> " << a.id << ' ' << PingScheduler::describe(a.refusal) << '\n';
        if (a.id == 0) {
            if (viewCounts_[owner.view].pings == 0)
                viewCounts_.erase(owner.view);
            if (adCounts_[owner.ad].pings == 0)
                adCounts_.erase(owner.ad);
            MODEL_CHECK(a.refusal != Refusal::None, "a refusal without a reason");
            MODEL_CHECK(!floor, "view " << owner.view << " refused within its floor: " << view.pings << " pings, "
                                        << view.bytes << " + " << bytes << " bytes");
            if (a.refusal == Refusal::AdQuota) {
                MODEL_CHECK(!adRoom, "refused for its ad's quota with room in it: " << ad.pings << " pings, " << ad.bytes
                                                                                    << " + " << bytes << " bytes");
                ++totals_.adRefusals;
            } else {
                MODEL_CHECK(a.refusal == Refusal::ProcessQuota, "refused for an unknown reason");
                MODEL_CHECK(!processRoom, "refused for the process's quota with room in it: " << process_.pings << " pings, "
                                                                                              << process_.bytes << " + "
                                                                                              << bytes << " bytes");
                ++totals_.processRefusals;
            }
            ++refusals_[a.refusal];
            return;
        }
        MODEL_CHECK(a.refusal == Refusal::None, "admitted with a refusal");
        MODEL_CHECK(floor || (adRoom && processRoom),
                    "admitted past a quota outside its view's floor: ad " << ad.pings << " pings " << ad.bytes
                                                                          << " bytes, process " << process_.pings
                                                                          << " pings " << process_.bytes << " bytes, + "
                                                                          << bytes);
        MODEL_CHECK(!pings_.count(a.id), "ping id " << a.id << " given twice");
        if (floor && !(adRoom && processRoom))
            ++totals_.floorPastQuota;
        ++totals_.admitted;
        for (Count* c : {&viewCounts_[owner.view], &adCounts_[owner.ad], &process_}) {
            ++c->pings;
            c->bytes += bytes;
        }
        Ping& p = pings_[a.id];
        p.owner = owner;
        p.bytes = bytes;
        liveIndex_[a.id] = live_.size();
        live_.push_back(a.id);
        const int host = pickHost();
        const HopId hop = ++hopIds_;
        const Wanted w = unit_.want(a.id, hop, hosts_[host].name, now_);
        if (t())
            *t() << now_ << " want(" << a.id << ", " << hop << ", " << hosts_[host].name << ") -> " << int(w) << '\n';
        MODEL_CHECK(w == Wanted::Queued, "a new ping's first hop was not queued");
        p.hops = 1;
        addHop(a.id, hop, host);
    }

    void release(PingId id, End why) {
        Ping& p = pings_.at(id);
        MODEL_CHECK(!p.released, "ping " << id << " released twice");
        unit_.release(id);
        if (t())
            *t() << now_ << " release(" << id << ")\n";
        p.released = true;
        lastReleased_ = id;
        p.end = why;
        p.endedAt = now_;
        for (auto* counts : {&viewCounts_, &adCounts_}) {
            const std::uint64_t key = counts == &viewCounts_ ? p.owner.view : p.owner.ad;
            Count& c = counts->at(key);
            --c.pings;
            c.bytes -= p.bytes;
            if (c.pings == 0)
                counts->erase(key);
        }
        --process_.pings;
        process_.bytes -= p.bytes;
        const std::size_t at = liveIndex_.at(id);
        liveIndex_[live_.back()] = at;
        live_[at] = live_.back();
        live_.pop_back();
        liveIndex_.erase(id);
        if (p.hop == 0)
            return;
        const HopId hop = p.hop;
        Hop& h = hops_.at(hop);
        if (!h.underWay) {
            // The release takes it out of the queue; the engine's end of its transfer may come later, or not.
            hopLeaves(hop);
            if (chance(0.5))
                unit_.hopEnded(hop);
            else if (chance(0.5))
                deferredEnds_.push_back(hop);
            return;
        }
        if (chance(0.3)) {
            // The engine cancels the transfer and ends the hop later: the place stays held until then.
            if (p.placed)
                lives_.erase({p.deadline, id});
            h.orphaned = true;
            h.orphanLife = p.placed ? p.deadline : NoDeadline;
            orphanLives_.insert(h.orphanLife);
            p.hop = 0;
            deferredEnds_.push_back(hop);
            ++totals_.orphans;
            return;
        }
        hopLeaves(hop);
        unit_.hopEnded(hop);
        if (t())
            *t() << now_ << " hopEnded(" << hop << ")\n";
    }

    void act() {
        if (draining_)
            return;
        const Mood& m = *mood_;
        for (Slot& s : slots_)
            if (s.selfReloading) {
                s.document = newId();
                if (chance(0.1))
                    makePing(s);
            }
        if (slots_.size() < 64 && chance(m.open))
            openView(chance(0.1));
        if (slots_.size() > 1 && chance(m.close)) {
            // Its view going ends nothing of what its documents sent.
            const std::size_t at = uniform<std::size_t>(0, slots_.size() - 1);
            slots_[at] = slots_.back();
            slots_.pop_back();
        }
        if (chance(m.reload))
            slots_[uniform<std::size_t>(0, slots_.size() - 1)].document = newId();
        if (chance(m.newAd)) {
            Slot& s = slots_[uniform<std::size_t>(0, slots_.size() - 1)];
            s.document = newId();
            s.ad = newId();
        }
        for (int n = poisson(m.pings); n > 0; --n)
            makePing(slots_[uniform<std::size_t>(0, slots_.size() - 1)]);
        if (chance(m.burst)) {
            const Slot s = slots_[uniform<std::size_t>(0, slots_.size() - 1)];
            for (int n = uniform(10, 80); n > 0; --n)
                makePing(s);
        }
        for (int n = poisson(m.cancels + static_cast<double>(live_.size()) / 300.0); n > 0 && !live_.empty(); --n) {
            const PingId id = live_[uniform<std::size_t>(0, live_.size() - 1)];
            const Ping& p = pings_.at(id);
            if (p.hop != 0 && hops_.at(p.hop).underWay)
                ++totals_.cancelsUnderWay;
            ++totals_.cancels;
            release(id, End::Owner);
        }
        // What the unit must shrug off: an unknown transfer's end, a hop of a ping it never admitted or let go.
        if (chance(0.02))
            unit_.hopEnded((HopId{1} << 62) + uniform<HopId>(0, 1000));
        if (chance(0.02)) {
            const PingId stranger = chance(0.5) ? 0 : (PingId{1} << 62) + uniform<PingId>(0, 1000);
            MODEL_CHECK(unit_.want(stranger, (HopId{1} << 62) + 2000, hosts_[0].name, now_) == Wanted::Unknown,
                        "want() for a ping never admitted was not Unknown");
        }
        if (chance(0.02) && lastReleased_ != 0)
            MODEL_CHECK(unit_.want(lastReleased_, (HopId{1} << 62) + 3000, hosts_[0].name, now_) == Wanted::Unknown,
                        "want() for released ping " << lastReleased_ << " was not Unknown");
    }

    // --- the engine ---
    void advance() {
        const Nanos cap = nextEvent();
        const Nanos deadline = unit_.nextDeadline();
        Nanos target = now_;
        switch (uniform(0, 12)) {
        case 0: break;  // the engine runs again at the same instant
        case 1: target = now_ + 1; break;
        case 2:
        case 3:
            if (deadline != NoDeadline)
                target = deadline + uniform<Nanos>(-1, 1);
            break;
        case 4:
        case 5:
            if (cap != NoDeadline)
                target = cap + uniform<Nanos>(-1, 1);
            break;
        case 6:
        case 7: target = now_ + uniform<Nanos>(1, Milli); break;
        case 8:
        case 9: target = now_ + uniform<Nanos>(Milli, 300 * Milli); break;
        case 10:
        case 11: target = now_ + uniform<Nanos>(300 * Milli, 3 * Second); break;
        default: target = now_ + uniform<Nanos>(3 * Second, 20 * Second); break;
        }
        // Never past what happens in between by more than a nanosecond: the engine sees every event.
        if (cap != NoDeadline)
            target = std::min(target, cap + 1);
        now_ = std::max(now_, target);
        if (now_ == deadline)
            ++totals_.deadlineHits;
    }

    void engine() {
        for (;;) {
            expire();
            bool delivered = deliver();
            placeHops();
            delivered = deliverDeferred() || delivered;
            if (!delivered)
                break;
        }
        checkpoint();
        if (!draining_) {
            for (std::size_t n = freePlaces(); n > 0; --n)
                if (chance(mood_->loads))
                    loads_.insert(now_ + uniform<Nanos>(Milli, 500 * Milli));
        }
    }

    void expire() {
        const auto gone = unit_.expired(now_);
        std::set<HopId> seen;
        for (const HopId hop : gone) {
            if (t())
                *t() << now_ << " expired -> " << hop << '\n';
            MODEL_CHECK(seen.insert(hop).second, "expired() gave hop " << hop << " twice");
            const auto it = hops_.find(hop);
            MODEL_CHECK(it != hops_.end(), "expired() gave hop " << hop << ", which is not here");
            const Hop h = it->second;
            const Ping& p = pings_.at(h.ping);
            MODEL_CHECK(p.placed, "expired() gave hop " << hop << " of ping " << h.ping << ", which never had a place");
            MODEL_CHECK(p.deadline <= now_, "expired() gave hop " << hop << " of ping " << h.ping << " before its life ended at "
                                                                 << p.deadline);
            hopLeaves(hop);
            loadMayTakePlace();
            if (h.orphaned)
                continue;  // its cancelled transfer's end is still to come, and will be ignored
            MODEL_CHECK(p.hop == 0, "ping " << h.ping << " had another hop here");
            if (chance(0.5))
                unit_.hopEnded(hop);
            ++totals_.lives;
            release(h.ping, End::Life);
        }
        MODEL_CHECK(lives_.empty() || lives_.begin()->first > now_,
                    "ping " << lives_.begin()->second << ", whose life ended at " << lives_.begin()->first
                            << ", kept its hop " << pings_.at(lives_.begin()->second).hop << " past expired(now)");
        const Nanos deadline = unit_.nextDeadline();
        const Nanos upper = lives_.empty() ? NoDeadline : lives_.begin()->first;
        const Nanos lower = orphanLives_.empty() ? upper : std::min(upper, *orphanLives_.begin());
        MODEL_CHECK(deadline > now_, "nextDeadline() " << deadline << " is already due after expired(now)");
        MODEL_CHECK(lower <= deadline && deadline <= upper,
                    "nextDeadline() " << deadline << " is not the first life's end among pings with a hop here, "
                                      << upper);
    }

    bool deliver() {
        bool any = false;
        while (!loads_.empty() && *loads_.begin() <= now_) {
            loads_.erase(loads_.begin());
            any = true;
        }
        while (!answers_.empty() && answers_.begin()->first <= now_) {
            const HopId hop = answers_.begin()->second;
            answers_.erase(answers_.begin());
            const auto it = hops_.find(hop);
            if (it == hops_.end() || it->second.orphaned)
                continue;  // its transfer was failed or cancelled
            any = true;
            const Hop h = it->second;
            MODEL_CHECK(h.underWay, "an answer came for hop " << hop << ", which was never started");
            Ping& p = pings_.at(h.ping);
            hopLeaves(hop);
            unit_.hopEnded(hop);
            if (t())
                *t() << now_ << " hopEnded(" << hop << ") [answer]\n";
            loadMayTakePlace();
            if (hosts_[h.host].behaviour == Behaviour::Edge)
                ++totals_.edgeRaces;
            if (hosts_[h.host].behaviour != Behaviour::Redirect || p.hops >= 4) {
                ++p.arrivals;
                ++totals_.arrivals;
                MODEL_CHECK(p.arrivals == 1, "ping " << h.ping << " arrived twice");
                release(h.ping, End::Answer);
                continue;
            }
            int host = uniform<int>(0, static_cast<int>(hosts_.size()) - 2);
            if (host >= h.host)
                ++host;
            if (chance(0.03)) {
                // Its owner let it go as the 3xx came.
                release(h.ping, End::Owner);
                redirect(h.ping, host);
                continue;
            }
            if (chance(0.8)) {
                redirect(h.ping, host);
                continue;
            }
            // The engine follows later (the page is asked first): perhaps just as the ping's life ends.
            const Nanos when = chance(0.5) ? now_ + uniform<Nanos>(0, 2 * Second) : p.deadline + uniform<Nanos>(-1, 1);
            redirects_.insert({std::max(now_, when), {h.ping, host}});
        }
        while (!redirects_.empty() && redirects_.begin()->first <= now_) {
            const auto [ping, host] = redirects_.begin()->second;
            redirects_.erase(redirects_.begin());
            any = true;
            redirect(ping, host);
        }
        return any;
    }

    // The next hop of a ping whose 3xx came.
    void redirect(PingId id, int host) {
        Ping& p = pings_.at(id);
        const HopId next = ++hopIds_;
        const Wanted w = unit_.want(id, next, hosts_[host].name, now_);
        if (t())
            *t() << now_ << " want(" << id << ", " << next << ", " << hosts_[host].name << ") -> " << int(w) << '\n';
        if (p.released) {
            MODEL_CHECK(w == Wanted::Unknown, "a redirect hop of released ping " << id << " was not Unknown");
            return;
        }
        const Wanted expected = now_ >= p.deadline ? Wanted::LifePassed : Wanted::Queued;
        MODEL_CHECK(w == expected, "redirect hop of ping " << id << ", whose life ends at " << p.deadline
                                                           << ": want() gave " << int(w) << ", not " << int(expected));
        ++totals_.redirects;
        if (w == Wanted::LifePassed) {
            ++totals_.lifePassed;
            release(id, End::Life);
            return;
        }
        ++p.hops;
        addHop(id, next, host);
    }

    // Now and then a load queued in the engine takes a place a hop just left, before pings are asked.
    void loadMayTakePlace() {
        if (!draining_ && freePlaces() > 0 && chance(0.1))
            loads_.insert(now_ + uniform<Nanos>(Milli, 500 * Milli));
    }

    bool deliverDeferred() {
        if (deferredEnds_.empty())
            return false;
        const auto ends = std::move(deferredEnds_);
        deferredEnds_.clear();
        for (const HopId hop : ends) {
            if (hops_.count(hop))
                hopLeaves(hop);
            unit_.hopEnded(hop);
            if (t())
                *t() << now_ << " hopEnded(" << hop << ") [cancelled]\n";
            loadMayTakePlace();
        }
        return true;
    }

    void placeHops() {
        std::size_t free = freePlaces();
        for (;;) {
            const auto hop = unit_.next(free, now_);
            if (t())
                *t() << now_ << " next(" << free << ") -> " << (hop ? std::to_string(*hop) : "none") << '\n';
            if (hop) {
                MODEL_CHECK(free > 0, "next() started hop " << *hop << " with no free place");
                started(*hop);
                --free;
                continue;
            }
            if (free == 0 && unit_.wantsPlace()) {
                MODEL_CHECK(underWay_ < l_.places, "wantsPlace() with every place of pings held");
                MODEL_CHECK(!loads_.empty(), "wantsPlace() with no load to give way");
                loads_.erase(std::prev(loads_.end()));
                ++totals_.givenWay;
                free = 1;
                const auto owed = unit_.next(free, now_);
                if (t())
                    *t() << now_ << " next(1) [load gave way] -> " << (owed ? std::to_string(*owed) : "none") << '\n';
                MODEL_CHECK(owed.has_value(), "wantsPlace(), yet next() started nothing with the place a load gave");
                started(*owed, true);
                --free;
                continue;
            }
            break;
        }
        lastFree_ = free;
        if (free > 0)
            MODEL_CHECK(!unit_.wantsPlace(), "wantsPlace() though next() started nothing with " << free << " free places");
    }

    // `givenWay`: a load gave way for it, so it must have been owed the place.
    void started(HopId hop, bool givenWay = false) {
        const auto it = hops_.find(hop);
        MODEL_CHECK(it != hops_.end(), "next() started hop " << hop << ", which nothing waits for");
        Hop& h = it->second;
        MODEL_CHECK(!h.underWay, "next() started hop " << hop << " again: the server would read it twice");
        MODEL_CHECK(underWay_ < l_.places, "next() started a hop past the " << l_.places << " places of pings");
        const std::string& name = hosts_[h.host].name;
        const LaneKey key{h.owner.document, h.host};
        Lane& lane = lanes_.at(key);
        MODEL_CHECK(lane.underWay < l_.perHost,
                    "document " << key.first << " got a hop to " << name << " past " << l_.perHost << " under way");
        View& v = views_.at(h.owner.view);
        Document& d = documents_.at(h.owner.document);
        // A light newcomer may take a reserve place: nothing of its document under way, few of its ad's in flight.
        const bool newcomer = d.underWay == 0 && light(h.owner.ad);
        const bool ordinaryFree = underWay_ < ordinary_;
        const bool ordinaryFull = underWay_ >= ordinary_ + maybeReserve_.size();
        const std::uint64_t viewId = h.owner.view;
        if (givenWay)
            MODEL_CHECK((newcomer && !ordinaryFree) || v.underWay < shareNow(),
                        "wantsPlace() for hop " << hop << ", which took an ordinary place for view " << viewId << " holding "
                                                << v.underWay << ", not fewer than its share " << shareNow());
        if (ordinaryFull) {
            MODEL_CHECK(newcomer, "document " << key.first << ", with a ping under way or its ad's many in flight, took a "
                                              << "reserve place (hop " << hop << ")");
            auto ads = maybeReserveAds();  // a copy: this ad's own entry goes
            ads.erase(h.owner.ad);
            MODEL_CHECK(ads.size() >= underWay_ - ordinary_,
                        "ad " << h.owner.ad << " took a second reserve place (hop " << hop << ")");
            ++totals_.reserveStarts;
        }
        // Hops of a document with a ping under way, or any once an ordinary place is surely free, go on an
        // ordinary place: to the view with the fewest under way, then by host, then by age.
        const auto rank = [&](const View& of, HopId x) {
            const Hop& y = hops_.at(x);
            return std::make_pair(hostUnderWay(of, y.host), y.order);
        };
        if (!newcomer || ordinaryFree) {
            const std::size_t share = shareNow();
            for (const auto& [otherId, other] : views_) {
                if (otherId == viewId || other.startable == 0)
                    continue;
                MODEL_CHECK(!(v.underWay > share && other.underWay <= share),
                            "view " << viewId << " holding " << v.underWay << ", past its share " << share
                                    << ", took a place while view " << otherId << " within it waited");
                MODEL_CHECK(other.underWay >= v.underWay,
                            "view " << viewId << " holding " << v.underWay << " took a place (hop " << hop << ") while view "
                                    << otherId << " holding " << other.underWay << " had a hop that could start");
                MODEL_CHECK(other.underWay > v.underWay || other.turn > v.turn,
                            "view " << viewId << " took a place before view " << otherId
                                    << ", holding as many and served longer ago");
            }
            for (const auto& k : v.lanesWaiting) {
                const Lane& other = lanes_.at(k);
                if (other.underWay >= l_.perHost)
                    continue;
                const HopId first = other.waiting.begin()->second;
                MODEL_CHECK(first == hop || rank(v, first) > rank(v, hop),
                            "view " << viewId << " started hop " << hop << " (document " << key.first << ", "
                                    << rank(v, hop).first << " under way to " << name << ") before hop " << first
                                    << " (document " << k.first << ", " << rank(v, first).first << " under way to "
                                    << hosts_[k.second].name << ", its ping came first); " << underWay_ << " under way of "
                                    << ordinary_ << " ordinary places");
            }
        } else {
            // Perhaps a reserve place: within its document the hops still go by host and age.
            for (const auto& k : v.lanesWaiting) {
                const Lane& other = lanes_.at(k);
                if (k.first != key.first || other.underWay >= l_.perHost)
                    continue;
                const HopId first = other.waiting.begin()->second;
                MODEL_CHECK(first == hop || rank(v, first) > rank(v, hop),
                            "document " << key.first << " started hop " << hop << " before its hop " << first);
            }
        }
        if (underWay_ >= ordinary_ && newcomer) {
            maybeReserve_.insert(hop);
            reserveAdsStale_ = true;
        }
        h.underWay = true;
        const bool was = startable(lane);
        lane.waiting.erase({h.order, hop});
        if (lane.waiting.empty())
            v.lanesWaiting.erase(key);
        ++lane.underWay;
        recount(v, was, startable(lane));
        ++v.underWay;
        ++v.hostUnderWay[h.host];
        v.turn = ++turns_;
        --d.waiting;
        ++d.underWay;
        --waiting_;
        ++underWay_;
        refreshNewcomer(h.owner.document);
        Ping& p = pings_.at(h.ping);
        MODEL_CHECK(p.hop == hop, "hop " << hop << " is not its ping's");
        if (!p.placed) {
            p.placed = true;
            p.deadline = now_ + l_.life;
            lives_.insert({p.deadline, h.ping});
        }
        switch (hosts_[h.host].behaviour) {
        case Behaviour::Prompt: answers_.insert({now_ + (chance(0.3) ? 0 : uniform<Nanos>(1, 20 * Milli)), hop}); break;
        // The head comes at once; the body trickles on after the ping has ended.
        case Behaviour::Trickle: answers_.insert({now_, hop}); break;
        case Behaviour::Late: answers_.insert({now_ + uniform<Nanos>(Second, 5 * Second), hop}); break;
        case Behaviour::Redirect: answers_.insert({now_ + uniform<Nanos>(0, 50 * Milli), hop}); break;
        // The answer races the end of a first hop's life.
        case Behaviour::Edge: answers_.insert({now_ + l_.life + uniform<Nanos>(-1, 1), hop}); break;
        case Behaviour::Never:
        case Behaviour::HeadTrickle: break;
        }
    }

    void checkpoint() {
        // The unit's figures against the records.
        MODEL_CHECK(unit_.underWay() == underWay_, "underWay() " << unit_.underWay() << ", not " << underWay_);
        MODEL_CHECK(unit_.waiting() == waiting_, "waiting() " << unit_.waiting() << ", not " << waiting_);
        MODEL_CHECK(unit_.admitted() == process_.pings, "admitted() " << unit_.admitted() << ", not " << process_.pings);
        MODEL_CHECK(unit_.admittedBytes() == process_.bytes,
                    "admittedBytes() " << unit_.admittedBytes() << ", not " << process_.bytes);
        MODEL_CHECK(unit_.refusals(Refusal::AdQuota) == refusals_[Refusal::AdQuota], "refusals(AdQuota) is off");
        MODEL_CHECK(unit_.refusals(Refusal::ProcessQuota) == refusals_[Refusal::ProcessQuota],
                    "refusals(ProcessQuota) is off");
        const std::size_t share = shareNow();
        MODEL_CHECK(unit_.share() == share, "share() " << unit_.share() << ", not " << share << " for " << views_.size()
                                                       << " views");
        if (step_ % 16 == 0 || draining_) {
            for (const auto& [id, v] : views_)
                MODEL_CHECK(unit_.underWayFor(id) == v.underWay,
                            "underWayFor(" << id << ") " << unit_.underWayFor(id) << ", not " << v.underWay);
            for (const auto& [id, c] : viewCounts_)
                MODEL_CHECK(unit_.admittedFor(id) == c.pings,
                            "admittedFor(" << id << ") " << unit_.admittedFor(id) << ", not " << c.pings);
        }

        // Places.
        MODEL_CHECK(underWay_ <= l_.places, underWay_ << " under way past " << l_.places << " places");
        const std::size_t reserveHeld = unit_.reserveHeld();
        const auto& reserveAds = maybeReserveAds();
        MODEL_CHECK(reserveHeld <= l_.reserve && reserveHeld <= underWay_,
                    "reserveHeld() " << reserveHeld << " past the reserve " << l_.reserve << " or what is under way");
        MODEL_CHECK(underWay_ - reserveHeld <= ordinary_,
                    "reserveHeld() " << reserveHeld << " leaves " << underWay_ - reserveHeld << " on ordinary places");
        MODEL_CHECK(reserveHeld <= reserveAds.size(),
                    "reserveHeld() " << reserveHeld << ", but only " << reserveAds.size()
                                     << " ads' hops could have taken reserve places");

        // The process total.
        const std::size_t views = viewCounts_.size();
        MODEL_CHECK(process_.pings <= l_.processPings + l_.viewFloorPings * views,
                    process_.pings << " pings admitted past the quota and " << views << " views' floors");
        MODEL_CHECK(process_.bytes <= l_.processBytes + l_.viewFloorBytes * views,
                    process_.bytes << " bytes admitted past the quota and " << views << " views' floors");

        // What is owed a place has one, or the engine is told to make one (wantsPlace).
        const bool ordinaryFree = underWay_ < ordinary_;
        const bool ordinaryFull = underWay_ >= ordinary_ + maybeReserve_.size();
        if (startable_ > 0 && ordinaryFree) {
            MODEL_CHECK(lastFree_ == 0, startable_ << " lanes have a hop that could take one of " << ordinary_ - underWay_
                                                   << " free ordinary places, yet next() with " << lastFree_
                                                   << " free started nothing");
            for (const auto& [id, v] : views_)
                MODEL_CHECK(v.startable == 0 || v.underWay >= share,
                            "view " << id << " holds " << v.underWay << ", within its share " << share
                                    << ", and has a hop that could take a free ordinary place, yet wantsPlace() is false");
        }
        // A document with nothing under way gets a place at once, or within a second when loads hold web
        // content's places, unless the reserve is out of its reach.
        if (l_.reserve == 0 || reserveAds.size() >= l_.reserve)
            everyNewcomerExcused_ = now_;  // every ad is on reserve, or as many others as there are reserve places
        else for (auto& [id, since] : newcomers_) {
            since = std::max(since, everyNewcomerExcused_);
            const Document& d = documents_.at(id);
            const bool ownOnReserve = reserveAds.count(d.ad) > 0;
            const std::size_t othersOnReserve = reserveAds.size() - (ownOnReserve ? 1 : 0);
            if (l_.reserve == 0 || ownOnReserve || othersOnReserve >= l_.reserve || !light(d.ad)) {
                since = now_;
                continue;
            }
            MODEL_CHECK(lastFree_ == 0, "document " << id << ", with nothing under way, could take a free reserve place, "
                                                    << "yet next() with " << lastFree_ << " free started nothing");
            MODEL_CHECK(!ordinaryFull, "document " << id << ", with nothing under way, is owed a free reserve place, "
                                                   << "yet wantsPlace() is false");
            MODEL_CHECK(now_ - since <= Second,
                        "document " << id << ", with nothing under way, has waited since " << since << " for a place");
        }
        if (startable_ == 0) {
            // No hop may take a free ordinary place: the hops on reserve places move to it.
            const std::size_t expected = underWay_ > ordinary_ ? underWay_ - ordinary_ : 0;
            MODEL_CHECK(reserveHeld == expected, "reserveHeld() " << reserveHeld << " with nothing able to start and "
                                                                  << underWay_ << " under way: a reserve hop did not move");
            if (expected == 0) {
                maybeReserve_.clear();
                reserveAdsStale_ = true;
            }
        }
    }

    PingScheduler unit_;
    const Limits l_;
    const std::size_t ordinary_;
    std::mt19937_64 random_;
    const std::size_t webPlaces_;
    Nanos now_;
    Totals& totals_;
    std::ostream* trace_;
    const Mood* mood_ = &Moods[0];
    bool draining_ = false;
    int step_ = 0;

    std::vector<Host> hosts_;
    std::vector<Slot> slots_;
    std::uint64_t ids_ = 0;
    HopId hopIds_ = 0;
    std::uint64_t orders_ = 0;
    std::uint64_t turns_ = 0;

    std::map<PingId, Ping> pings_;
    std::vector<PingId> live_;  // admitted, not yet released
    std::unordered_map<PingId, std::size_t> liveIndex_;
    std::unordered_map<HopId, Hop> hops_;  // waiting or under way
    std::map<LaneKey, Lane> lanes_;
    std::map<std::uint64_t, View> views_;  // views with a hop here
    std::unordered_map<std::uint64_t, Document> documents_;  // documents with a hop here
    std::unordered_map<std::uint64_t, Count> viewCounts_;
    std::unordered_map<std::uint64_t, Count> adCounts_;
    Count process_;
    std::map<Refusal, std::size_t> refusals_;
    std::set<std::pair<Nanos, PingId>> lives_;  // unreleased placed pings with a hop here
    std::multiset<Nanos> orphanLives_;           // lives of released pings whose hop still holds a place
    std::set<HopId> maybeReserve_;
    std::map<std::uint64_t, std::size_t> reserveAds_;  // ads of maybeReserve_
    bool reserveAdsStale_ = false;
    std::vector<int> hanging_;  // hosts that never answer
    std::multimap<Nanos, HopId> answers_;
    std::multimap<Nanos, std::pair<PingId, int>> redirects_;  // 3xx heads whose next hop the engine asks later
    std::multiset<Nanos> loads_;  // when each load holding a place ends
    std::vector<HopId> deferredEnds_;
    std::map<std::uint64_t, Nanos> newcomers_;
    std::size_t startable_ = 0;
    PingId lastReleased_ = 0;
    Nanos everyNewcomerExcused_ = std::numeric_limits<Nanos>::min();
    std::size_t underWay_ = 0;
    std::size_t waiting_ = 0;
    std::size_t lastFree_ = 0;
};

#undef MODEL_CHECK

int fromEnv(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// Seeds go round the configurations and the clock's starts. RUZAVE_PING_MODEL_SEED picks the first seed,
// RUZAVE_PING_MODEL_SEEDS how many, RUZAVE_PING_MODEL_STEPS the steps of each; RUZAVE_PING_MODEL_TRACE=1 prints
// every call made to the unit.
Totals runModel(const std::vector<Config>& configs) {
    constexpr int DefaultSeeds = 7;
    constexpr int DefaultSteps = 5000;
    const int first = fromEnv("RUZAVE_PING_MODEL_SEED", 1);
    const int seeds = fromEnv("RUZAVE_PING_MODEL_SEEDS", DefaultSeeds);
    const int steps = fromEnv("RUZAVE_PING_MODEL_STEPS", DefaultSteps);
    std::ostream* trace = fromEnv("RUZAVE_PING_MODEL_TRACE", 0) ? &std::cerr : nullptr;
    Totals totals;
    for (int seed = first; seed < first + seeds; ++seed) {
        const auto round = static_cast<std::size_t>(seed);
        const Config& config = configs[round % configs.size()];
        const Nanos start = ClockStarts[round / configs.size() % std::size(ClockStarts)];
        Model model(static_cast<std::uint32_t>(seed), config, start, totals, trace);
        INFO("seed " << seed << " (" << std::string(config.name) << ", clock from " << start << "), step " << model.step()
                     << ": RUZAVE_PING_MODEL_SEED=" << seed << " RUZAVE_PING_MODEL_SEEDS=1 repeats it");
        model.run(steps);
        model.drain();
        model.finish();
    }
    MESSAGE("steps " << totals.steps << ", admitted " << totals.admitted << " (past a quota within the floor "
                     << totals.floorPastQuota << "), refused " << totals.adRefusals << " by ads, "
                     << totals.processRefusals << " by the process; arrived " << totals.arrivals << ", cancelled "
                     << totals.cancels << " (" << totals.cancelsUnderWay << " under way, " << totals.orphans
                     << " ended later), lives ended " << totals.lives << ", redirects " << totals.redirects << " ("
                     << totals.lifePassed << " past life), reserve starts " << totals.reserveStarts << ", loads given way "
                     << totals.givenWay << ", deadlines hit exactly " << totals.deadlineHits << ", edge races "
                     << totals.edgeRaces);
    if (seeds < DefaultSeeds || steps < DefaultSteps)
        totals = Totals{};  // too short a run to be held to what the default one reaches
    return totals;
}

} // namespace

TEST_CASE("PingScheduler: random views, documents and servers never lose an admitted ping") {
    const Totals totals = runModel(everydayLimits());
    if (totals.steps == 0)
        return;
    // The runs reach what they are for.
    CHECK(totals.floorPastQuota > 0);
    CHECK(totals.adRefusals > 0);
    CHECK(totals.processRefusals > 0);
    CHECK(totals.cancelsUnderWay > 0);
    CHECK(totals.orphans > 0);
    CHECK(totals.lives > 0);
    CHECK(totals.redirects > 0);
    CHECK(totals.lifePassed > 0);
    CHECK(totals.reserveStarts > 0);
    CHECK(totals.givenWay > 0);
    CHECK(totals.deadlineHits > 0);
    CHECK(totals.edgeRaces > 0);
}

TEST_CASE("PingScheduler: random pings under tight quotas and narrow lanes never lose an admitted ping") {
    const Totals totals = runModel(tightLimits());
    if (totals.steps == 0)
        return;
    CHECK(totals.floorPastQuota > 0);
    CHECK(totals.adRefusals > 0);
    CHECK(totals.processRefusals > 0);
    CHECK(totals.reserveStarts > 0);
    CHECK(totals.lives > 0);
}

TEST_CASE("PingScheduler: random pings on one place, or one ordinary place, never lose an admitted ping") {
    const Totals totals = runModel(fewPlaces());
    if (totals.steps == 0)
        return;
    CHECK(totals.reserveStarts > 0);
    CHECK(totals.givenWay > 0);
    CHECK(totals.lives > 0);
    CHECK(totals.lifePassed > 0);
}
