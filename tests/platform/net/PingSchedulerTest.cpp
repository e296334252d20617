#include <doctest/doctest.h>

#include "platform/net/PingScheduler.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
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
using Only = PingScheduler::Only;

constexpr Nanos Second = PingScheduler::NanosPerSecond;
constexpr Nanos Milli = Second / 1000;
constexpr Nanos Never = std::numeric_limits<Nanos>::max();
// Past 2^53 a double no longer holds every nanosecond: a deadline kept as seconds would fire early or late.
constexpr Nanos Clock53 = Nanos{1} << 53;

// The hop started, 0 for none: doctest prints it.
HopId got(std::optional<HopId> hop) { return hop.value_or(0); }

// Admits a ping of 100 bytes for `owner` at `now` and queues its first hop.
PingId queue(PingScheduler& s, const Owner& owner, HopId hop, const std::string& host, Nanos now) {
    const auto admission = s.admit(owner, 100, now);
    REQUIRE(admission.id != 0);
    REQUIRE(s.want(admission.id, hop, host, now) == Wanted::Queued);
    return admission.id;
}

// Starts every hop that may start with `free` places of web content free.
std::vector<HopId> startAll(PingScheduler& s, Nanos now, std::size_t free = 1000) {
    std::vector<HopId> started;
    while (auto hop = s.next(free, now)) {
        started.push_back(*hop);
        --free;
    }
    return started;
}

// Three creatives whose trackers hang on one host hold the 3 ordinary places of the default limits, with
// `waiting` more each; at 2 s the host has been slow for a second. Hops 1 up.
void fillWithHangingTrackers(PingScheduler& s, int waiting) {
    HopId hop = 0;
    for (std::uint64_t v = 1; v <= 3; ++v)
        for (int i = 0; i <= waiting; ++i)
            queue(s, Owner{v, v, v}, ++hop, "https://hang.test", 0);
    REQUIRE(startAll(s, 0).size() == 3);
    REQUIRE(s.reserveHeld() == 0);
}

} // namespace

TEST_CASE("PingScheduler: behaviour") {
    const Limits defaults;
    const Nanos life = defaults.life;
    const Nanos least = defaults.leastLife;
    Limits one;
    one.places = 1;
    one.reserve = 0;

    SUBCASE("an ad's floor is admitted past a full process quota, and past it a ping is refused and counted") {
        PingScheduler s{defaults};
        REQUIRE(defaults.processPings == 8 * defaults.adPings);
        // Eight ads, each in a view of its own, take the whole process quota.
        std::vector<PingId> first;
        for (std::uint64_t a = 0; a < 8; ++a)
            for (std::size_t i = 0; i < defaults.adPings; ++i) {
                const auto admission = s.admit(Owner{100 + a, 200 + a, 300 + a}, 100, 0);
                REQUIRE(admission.id != 0);
                if (a == 0)
                    first.push_back(admission.id);
            }
        CHECK(s.admitted() == defaults.processPings);

        // A ninth ad gets its floor, and its banner and the overlay it opened share it.
        const Owner banner{109, 209, 309};
        const Owner overlay{109, 210, 310};
        for (std::size_t i = 0; i < defaults.adFloorPings; ++i)
            CHECK(s.admit(i % 2 ? overlay : banner, 100, Second).id != 0);
        const auto refused = s.admit(overlay, 100, Second);
        CHECK(refused.id == 0);
        CHECK(refused.refusal == Refusal::ProcessQuota);
        CHECK(s.admittedForAd(109) == defaults.adFloorPings);
        // The next ad in the banner's view has a floor of its own.
        CHECK(s.admit(Owner{111, 209, 311}, 100, 2 * Second).id != 0);

        // The floor's bytes include the ping being made: exactly adFloorBytes fits, one byte more does not.
        const Owner big{110, 211, 312};
        CHECK(s.admit(big, defaults.adFloorBytes + 1, 2 * Second).refusal == Refusal::ProcessQuota);
        CHECK(s.admit(big, defaults.adFloorBytes, 2 * Second).id != 0);
        CHECK(s.admit(big, 1, 2 * Second).refusal == Refusal::ProcessQuota);
        CHECK(s.refusals(Refusal::ProcessQuota) == 3);
        CHECK(s.refusals(Refusal::AdQuota) == 0);
        CHECK(s.admitted() == defaults.processPings + defaults.adFloorPings + 2);
        CHECK(s.admittedBytes() == (defaults.processPings + defaults.adFloorPings + 1) * 100 + defaults.adFloorBytes);

        // Floor pings count in the process too: past its floor the ad is admitted only once the process is
        // within its quota with the new ping.
        for (std::size_t i = 0; i < defaults.adFloorPings + 2; ++i)
            s.release(first[i], 3 * Second);
        CHECK(s.admitted() == defaults.processPings);
        CHECK(s.admit(banner, 100, 3 * Second).refusal == Refusal::ProcessQuota);
        s.release(first[defaults.adFloorPings + 2], 3 * Second);
        CHECK(s.admit(banner, 100, 3 * Second).id != 0);
        CHECK(s.refusals(Refusal::ProcessQuota) == 4);
    }

    SUBCASE("an ad's quota is shared by its documents and views, and the next ad starts afresh") {
        PingScheduler s{defaults};
        std::vector<PingId> ids;
        // A creative that reloads itself, in its banner (view 7) and its expand's page (view 8).
        for (std::size_t i = 0; i < defaults.adPings; ++i) {
            const auto admission = s.admit(Owner{1, i % 3 == 2 ? 8u : 7u, 1000 + i}, 10, 0);
            REQUIRE(admission.id != 0);
            ids.push_back(admission.id);
        }
        const auto refused = s.admit(Owner{1, 9, 2000}, 10, 0);
        CHECK(refused.id == 0);
        CHECK(refused.refusal == Refusal::AdQuota);
        CHECK(s.admittedForAd(1) == defaults.adPings);
        CHECK(s.admit(Owner{2, 7, 2001}, 10, 0).id != 0);
        // A release gives the ad its room back, to any of its documents.
        s.release(ids.front(), Second);
        CHECK(s.admit(Owner{1, 8, 2002}, 10, Second).id != 0);
        CHECK(s.admit(Owner{1, 7, 2003}, 10, Second).refusal == Refusal::AdQuota);
        CHECK(s.refusals(Refusal::AdQuota) == 2);

        // The ad's bytes: exactly adBytes fits, one byte more does not.
        const std::size_t chunk = 100u << 10;
        const std::size_t whole = defaults.adBytes / chunk;
        for (std::size_t i = 0; i < whole; ++i)
            REQUIRE(s.admit(Owner{3, 10, 5000 + i}, chunk, 0).id != 0);
        const std::size_t rest = defaults.adBytes - whole * chunk;
        CHECK(s.admit(Owner{3, 10, 6000}, rest + 1, 0).refusal == Refusal::AdQuota);
        CHECK(s.admit(Owner{3, 10, 6001}, rest, 0).id != 0);
        CHECK(s.admit(Owner{3, 10, 6002}, 1, 0).refusal == Refusal::AdQuota);
    }

    SUBCASE("limitsFor leaves pings what loads leave, and an eighth of it (at least 2, below all) for the reserve") {
        // 64, 128, 256 and 1,024 descriptors.
        const auto at64 = PingScheduler::limitsFor(6, 1);
        CHECK(at64.places == defaults.places);
        CHECK(at64.reserve == defaults.reserve);
        CHECK(PingScheduler::limitsFor(16, 4).places == 12);
        CHECK(PingScheduler::limitsFor(16, 4).reserve == 2);
        CHECK(PingScheduler::limitsFor(53, 6).places == 47);
        CHECK(PingScheduler::limitsFor(53, 6).reserve == 5);
        CHECK(PingScheduler::limitsFor(256, 6).places == 250);
        CHECK(PingScheduler::limitsFor(256, 6).reserve == 31);
        CHECK(PingScheduler::limitsFor(3, 0).reserve == 2);
        CHECK(PingScheduler::limitsFor(2, 0).places == 2);
        CHECK(PingScheduler::limitsFor(2, 0).reserve == 1);
        CHECK(PingScheduler::limitsFor(1, 0).places == 1);
        CHECK(PingScheduler::limitsFor(1, 0).reserve == 0);
    }

    SUBCASE("a ping's life runs from its admission, waiting included, and a hop starts only with a second of it left") {
        PingScheduler s{one};
        const Nanos t0 = Clock53 + 1;
        const PingId blocker = queue(s, Owner{1, 1, 1}, 1, "https://hang.test", t0);
        REQUIRE(got(s.next(1, t0)) == 1);
        const PingId p = queue(s, Owner{2, 2, 2}, 2, "https://a.test", t0);
        // Waiting, its hop is due to fail as soon as less than the least life is left.
        CHECK(s.nextDeadline() == t0 + life - least + 1);
        const Nanos lastStart = t0 + life - least;
        CHECK(s.expired(lastStart).empty());
        s.hopEnded(1, lastStart);
        s.release(blocker, lastStart);
        // Exactly the least life left: it starts, and fails at its life's end, not a nanosecond before.
        CHECK(got(s.next(1, lastStart)) == 2);
        CHECK(s.nextDeadline() == t0 + life);
        CHECK(s.expired(t0 + life - 1).empty());
        CHECK(s.expired(t0 + life) == std::vector<HopId>{2});
        CHECK(s.underWay() == 0);
        // Its owner fails it; a hop asked for now is not sent.
        CHECK(s.want(p, 3, "https://b.test", t0 + life) == Wanted::LifePassed);
        s.release(p, t0 + life);
        CHECK(s.admitted() == 0);

        // A nanosecond less than the least life left: a waiting hop is listed to fail, a place or not, and a
        // hop asked for then is not queued.
        const Nanos t1 = t0 + life;
        queue(s, Owner{3, 3, 3}, 10, "https://hang.test", t1);
        REQUIRE(got(s.next(1, t1)) == 10);
        const PingId q = queue(s, Owner{4, 4, 4}, 11, "https://a.test", t1);
        const PingId r = s.admit(Owner{5, 5, 5}, 100, t1).id;
        CHECK(s.want(r, 12, "https://a.test", t1 + life - least) == Wanted::Queued);
        const Nanos tooLate = t1 + life - least + 1;
        s.hopEnded(10, tooLate);
        CHECK_FALSE(s.next(1, tooLate).has_value());
        CHECK(s.expired(tooLate) == std::vector<HopId>{11, 12});
        CHECK(s.waiting() == 0);
        CHECK(s.want(q, 13, "https://a.test", tooLate) == Wanted::LifePassed);
        const PingId late = s.admit(Owner{6, 6, 6}, 100, t1).id;
        CHECK(s.want(late, 14, "https://a.test", tooLate) == Wanted::LifePassed);
    }

    SUBCASE("a redirect hop runs on its ping's life") {
        PingScheduler s{defaults};
        const Nanos t0 = 1000 * Second;
        const PingId p = queue(s, Owner{1, 1, 1}, 1, "https://r.test", t0);
        REQUIRE(got(s.next(1, t0 + 5 * Second)) == 1);
        // Its 3xx: between the hops nothing of it is here, so nothing is due.
        s.hopEnded(1, t0 + 6 * Second);
        CHECK(s.nextDeadline() == Never);
        REQUIRE(s.want(p, 2, "https://b.test", t0 + 20 * Second) == Wanted::Queued);
        CHECK(s.nextDeadline() == t0 + life - least + 1);
        CHECK(got(s.next(1, t0 + 25 * Second)) == 2);
        CHECK(s.nextDeadline() == t0 + life);
        CHECK(s.expired(t0 + life) == std::vector<HopId>{2});
        CHECK(s.want(p, 3, "https://c.test", t0 + life - least + 1) == Wanted::LifePassed);
    }

    SUBCASE("a life that would end past the clock's range never ends") {
        PingScheduler s{one};
        const Nanos t = Never - 10 * Second;
        const PingId blocker = queue(s, Owner{1, 1, 1}, 1, "https://hang.test", t);
        REQUIRE(got(s.next(1, t)) == 1);
        queue(s, Owner{2, 2, 2}, 2, "https://a.test", t);
        CHECK(s.expired(Never - 1).empty());
        CHECK(s.waiting() == 1);
        s.hopEnded(1, Never - 1);
        s.release(blocker, Never - 1);
        CHECK(got(s.next(1, Never - 1)) == 2);
        CHECK(s.expired(Never - 1).empty());
        CHECK(s.underWay() == 1);
    }

    SUBCASE("a host is slow while a hop to it has been under way over a second without its head, and 30 s after") {
        Limits wide;
        wide.places = 20;
        PingScheduler s{wide};
        const Nanos t = 100 * Second;
        queue(s, Owner{1, 1, 1}, 1, "https://dead.test", t);
        REQUIRE(got(s.next(1, t)) == 1);
        CHECK_FALSE(s.isSlow("https://dead.test", t + Second));
        CHECK(s.isSlow("https://dead.test", t + Second + 1));
        // Slow for every view: another view's older ping to it goes after its newer one to another host.
        queue(s, Owner{2, 2, 2}, 2, "https://dead.test", t + 2 * Second);
        queue(s, Owner{2, 2, 2}, 3, "https://shop.test", t + 2 * Second);
        CHECK(got(s.next(1, t + 2 * Second)) == 3);
        CHECK(got(s.next(1, t + 2 * Second)) == 2);
        // Both its hops end 5 s on: it stays slow for 30 s after.
        s.hopEnded(1, t + 5 * Second);
        s.hopEnded(2, t + 5 * Second);
        CHECK(s.isSlow("https://dead.test", t + 35 * Second - 1));
        CHECK_FALSE(s.isSlow("https://dead.test", t + 35 * Second));
        queue(s, Owner{3, 3, 3}, 4, "https://dead.test", t + 35 * Second - 1);
        queue(s, Owner{3, 3, 3}, 5, "https://other.test", t + 35 * Second - 1);
        CHECK(got(s.next(1, t + 35 * Second - 1)) == 5);
        queue(s, Owner{4, 4, 4}, 6, "https://dead.test", t + 35 * Second);
        queue(s, Owner{4, 4, 4}, 7, "https://other.test", t + 35 * Second);
        CHECK(got(s.next(1, t + 35 * Second)) == 6);
        // A hop whose head came within the second leaves its host as it was.
        queue(s, Owner{5, 5, 5}, 8, "https://quick.test", t + 40 * Second);
        REQUIRE(got(s.next(1, t + 40 * Second)) == 8);
        s.hopEnded(8, t + 41 * Second);
        CHECK_FALSE(s.isSlow("https://quick.test", t + 41 * Second));
    }

    SUBCASE("a click to a host that answers goes before its view's older trackers to twelve dead hosts it has nothing on") {
        Limits wide;
        wide.places = 16;
        PingScheduler s{wide};
        auto dead = [](int i) { return "https://dead" + std::to_string(i) + ".test"; };
        // Another creative found the twelve hosts dead: its trackers hung on them and were let go at 2 s.
        std::vector<PingId> earlier;
        for (int i = 0; i < 12; ++i)
            earlier.push_back(queue(s, Owner{1, 1, 1}, 1 + i, dead(i), 0));
        REQUIRE(startAll(s, 0).size() == 12);
        for (int i = 0; i < 12; ++i) {
            s.release(earlier[i], 2 * Second);
            s.hopEnded(1 + i, 2 * Second);
        }
        // This view's trackers to those hosts, made before its click.
        const Owner view{2, 2, 2};
        for (int i = 0; i < 12; ++i)
            queue(s, view, 100 + i, dead(i), 3 * Second);
        queue(s, view, 200, "https://shop.test", 4 * Second);
        CHECK(got(s.next(1, 4 * Second)) == 200);
        CHECK(got(s.next(1, 4 * Second)) == 100);

        // Hosts nobody has found dead yet are no slower than the click's: the older tracker goes first, and
        // its host is slow a second later.
        const Owner fresh{3, 3, 3};
        queue(s, fresh, 300, "https://unknown.test", 5 * Second);
        queue(s, fresh, 301, "https://ads.test", 5 * Second);
        CHECK(got(s.next(1, 5 * Second)) == 300);
    }

    SUBCASE("within a view: a redirect hop first, then the host the view holds fewest on, ties to the ping made first") {
        Limits wide;
        wide.places = 10;
        PingScheduler s{wide};
        const Owner view{1, 1, 1};
        queue(s, view, 1, "https://c.test", 0);
        REQUIRE(got(s.next(1, 0)) == 1);
        const PingId older = s.admit(view, 100, 0).id;
        const PingId old = s.admit(view, 100, 0).id;
        const PingId redirected = s.admit(view, 100, 0).id;
        REQUIRE(s.want(redirected, 2, "https://r.test", 0) == Wanted::Queued);
        REQUIRE(got(s.next(1, 0)) == 2);
        s.hopEnded(2, Milli);
        REQUIRE(s.want(older, 3, "https://a.test", 2 * Second) == Wanted::Queued);
        REQUIRE(s.want(old, 4, "https://b.test", 2 * Second) == Wanted::Queued);
        // Its next hop goes to a host the view holds a place on, slow by now: it goes first all the same.
        REQUIRE(s.want(redirected, 5, "https://c.test", 2 * Second) == Wanted::Queued);
        REQUIRE(s.isSlow("https://c.test", 2 * Second));
        CHECK(got(s.next(1, 2 * Second)) == 5);
        // Then the host the view holds fewest on, the older ping first among equals.
        CHECK(got(s.next(1, 2 * Second)) == 3);  // a.test and b.test hold none: the older ping
        queue(s, view, 6, "https://d.test", 2 * Second);
        queue(s, view, 7, "https://a.test", 2 * Second);
        CHECK(got(s.next(1, 2 * Second)) == 4);
        // a.test holds one now: the newer ping to d.test goes before the older one to it.
        const PingId older2 = s.admit(view, 100, 2 * Second).id;
        const PingId newer2 = s.admit(view, 100, 2 * Second).id;
        REQUIRE(s.want(newer2, 8, "https://e.test", 2 * Second) == Wanted::Queued);
        REQUIRE(s.want(older2, 9, "https://a.test", 2 * Second) == Wanted::Queued);
        CHECK(got(s.next(1, 2 * Second)) == 6);
        CHECK(got(s.next(1, 2 * Second)) == 8);
        CHECK(got(s.next(1, 2 * Second)) == 7);
    }

    SUBCASE("a document has at most perHost pings under way to one host; another document of its view has its own") {
        Limits wide;
        wide.places = 20;
        PingScheduler s{wide};
        for (HopId hop = 1; hop <= 8; ++hop)
            queue(s, Owner{1, 1, 1}, hop, "https://ping.test", 0);
        CHECK(startAll(s, 0).size() == wide.perHost);
        CHECK(s.waiting() == 8 - wide.perHost);
        // The same ad's next document, in the same view.
        queue(s, Owner{1, 1, 2}, 100, "https://ping.test", Second);
        CHECK(got(s.next(10, Second)) == 100);
        CHECK_FALSE(s.next(10, Second).has_value());
        s.hopEnded(1, 2 * Second);
        CHECK(got(s.next(10, 2 * Second)) == 7);
    }

    SUBCASE("between views: the fewest under way first, ties to the one served longest ago, a newly waiting view as never served") {
        Limits wide;
        wide.places = 10;
        wide.reserve = 0;
        PingScheduler s{wide};
        const Owner a{1, 1, 1};
        const Owner b{2, 2, 2};
        queue(s, a, 1, "https://x.test", 0);
        queue(s, a, 2, "https://x.test", 0);
        queue(s, b, 3, "https://y.test", 0);
        queue(s, b, 4, "https://y.test", 0);
        CHECK(got(s.next(1, Milli)) == 1);
        CHECK(got(s.next(1, Milli)) == 3);
        s.hopEnded(1, 2 * Milli);
        s.hopEnded(3, 2 * Milli);
        // A and B hold nothing now, A served before B; C begins to wait.
        queue(s, Owner{3, 3, 3}, 5, "https://z.test", 3 * Milli);
        CHECK(got(s.next(1, 4 * Milli)) == 5);
        CHECK(got(s.next(1, 4 * Milli)) == 2);
        CHECK(got(s.next(1, 4 * Milli)) == 4);
        CHECK(s.underWayFor(1) == 1);
        CHECK(s.underWayFor(2) == 1);
        CHECK(s.underWayFor(3) == 1);
    }

    SUBCASE("between views alike in places held and turn, the one with fewer pings waiting first; its turn before that") {
        Limits wide;
        wide.places = 10;
        wide.reserve = 0;
        PingScheduler s{wide};
        const Owner busy{1, 1, 1};
        const Owner light{2, 2, 2};
        queue(s, busy, 1, "https://x.test", 0);
        queue(s, busy, 2, "https://x.test", 0);
        queue(s, busy, 3, "https://x.test", 0);
        queue(s, light, 4, "https://y.test", 0);
        // Neither served yet: the view with one ping waiting goes before the one with three made before it.
        CHECK(got(s.next(1, Milli)) == 4);
        CHECK(got(s.next(1, Milli)) == 1);
        // Each holds one, the light view served first: with three waiting now to the busy view's two, its
        // turn still comes first.
        for (HopId hop = 5; hop <= 7; ++hop)
            queue(s, light, hop, "https://y.test", 2 * Milli);
        CHECK(got(s.next(1, 3 * Milli)) == 5);
        CHECK(got(s.next(1, 3 * Milli)) == 2);
    }

    SUBCASE("the reserve: a healthy ad beside hanging pings gets its click on it, with 5 or 12 trackers of its own") {
        for (int trackers : {5, 12}) {
            CAPTURE(trackers);
            PingScheduler s{defaults};
            fillWithHangingTrackers(s, 7);
            const Nanos t = 2 * Second;
            const Owner healthy{9, 9, 9};
            std::map<HopId, PingId> pings;
            for (int i = 0; i < trackers; ++i)
                pings[100 + i] = queue(s, healthy, 100 + i, "https://ping.test", t);
            pings[200] = queue(s, healthy, 200, "https://ads.test", t);
            // Each takes a reserve place as the one before it answers, 20 ms on.
            Nanos now = t;
            std::size_t started = 0;
            for (;;) {
                const auto hop = s.next(10, now);
                REQUIRE(hop.has_value());
                REQUIRE(pings.count(*hop) == 1);
                ++started;
                CHECK(s.reserveHeld() == 1);
                CHECK_FALSE(s.next(10, now).has_value());
                now += 20 * Milli;
                s.hopEnded(*hop, now);
                s.release(pings[*hop], now);
                if (*hop == 200)
                    break;
            }
            CHECK(started == static_cast<std::size_t>(trackers) + 1);
            CHECK(now - t < Second);
            CHECK(s.waiting() == 3 * 7);
        }
    }

    SUBCASE("the reserve: a hop to a slow host never takes it, and at most one is held per view") {
        PingScheduler s{defaults};  // 3 ordinary places, 2 reserve
        fillWithHangingTrackers(s, 3);
        // Half a second in, a tracker to a host nobody has found dead takes a reserve place.
        const PingId tracker = queue(s, Owner{4, 4, 4}, 100, "https://dead.test", Second / 2);
        CHECK(got(s.next(10, Second / 2)) == 100);
        CHECK(s.reserveHeld() == 1);
        const Nanos t = 2 * Second;
        // The clicks' hosts have answered the app's own requests within the second.
        for (const char* host : {"https://shop.test", "https://shop2.test", "https://ads.test"})
            s.answered(host, t);
        // Slow now: another view's tracker to it does not take the last one; a click does.
        queue(s, Owner{5, 5, 5}, 101, "https://dead.test", t);
        CHECK_FALSE(s.next(10, t).has_value());
        queue(s, Owner{6, 6, 6}, 102, "https://shop.test", t);
        CHECK(got(s.next(10, t)) == 102);
        CHECK(s.reserveHeld() == 2);
        queue(s, Owner{7, 7, 7}, 103, "https://shop2.test", t);
        CHECK_FALSE(s.next(10, t).has_value());
        // The tracker's owner lets it go: the next click takes its place, not the tracker to the slow host.
        s.release(tracker, 3 * Second);
        s.hopEnded(100, 3 * Second);
        CHECK(got(s.next(10, 3 * Second)) == 103);
        // View 6's next ad's click waits for its first's: one reserve place per view.
        s.hopEnded(103, 3 * Second);
        queue(s, Owner{60, 6, 61}, 104, "https://ads.test", 3 * Second);
        CHECK_FALSE(s.next(10, 3 * Second).has_value());
        s.hopEnded(102, 3 * Second + Milli);
        CHECK(got(s.next(10, 3 * Second + Milli)) == 104);
    }

    SUBCASE("the reserve: an ad's pings to slow hosts do not count against it, one to a host that answers does") {
        Limits wider = defaults;
        wider.places = 6;
        wider.reserve = 3;
        PingScheduler s{wider};
        fillWithHangingTrackers(s, 3);
        const Nanos t = 2 * Second;
        for (const char* host : {"https://ads.test", "https://shop.test", "https://shop2.test"})
            s.answered(host, t);
        // The first creative's click: its ad holds a place on the slow host only.
        queue(s, Owner{1, 1, 1}, 100, "https://ads.test", t);
        CHECK(got(s.next(10, t)) == 100);
        // Another ad's click in its banner, then one in the overlay it opened: the ad has a ping under way
        // to a host that answers, so the overlay's waits with a reserve place free ...
        queue(s, Owner{6, 6, 6}, 101, "https://shop.test", t);
        CHECK(got(s.next(10, t)) == 101);
        queue(s, Owner{6, 7, 7}, 102, "https://shop2.test", t);
        CHECK_FALSE(s.next(10, t).has_value());
        CHECK(s.reserveHeld() == 2);
        // ... until that host has been a second without a head.
        CHECK_FALSE(s.next(10, t + Second).has_value());
        CHECK(got(s.next(10, t + Second + 1)) == 102);
        CHECK(s.reserveHeld() == 3);
    }

    SUBCASE("the reserve: a hop on it moves to an ordinary place as soon as one frees that nothing waiting may take") {
        PingScheduler s{defaults};
        fillWithHangingTrackers(s, 1);  // hops 1-6: 1, 3 and 5 under way
        const Nanos t = 2 * Second;
        queue(s, Owner{4, 4, 4}, 100, "https://ads.test", t);
        CHECK(got(s.next(10, t)) == 100);
        CHECK(s.reserveHeld() == 1);
        // An ordinary place frees with hops waiting that may take it: the reserve hop stays there.
        s.hopEnded(1, 3 * Second);
        CHECK(s.reserveHeld() == 1);
        CHECK(got(s.next(10, 3 * Second)) == 2);
        CHECK(s.reserveHeld() == 1);
        // Nothing waits; the next place that frees takes the reserve hop, and the reserve is whole again.
        s.hopEnded(4, 3 * Second);
        s.hopEnded(6, 3 * Second);
        CHECK(s.reserveHeld() == 1);
        s.hopEnded(3, 4 * Second);
        CHECK(s.reserveHeld() == 0);
        CHECK(s.underWay() == 3);
        s.answered("https://a.test", 4 * Second);
        s.answered("https://b.test", 4 * Second);
        queue(s, Owner{5, 5, 5}, 101, "https://a.test", 4 * Second);
        queue(s, Owner{6, 6, 6}, 102, "https://b.test", 4 * Second);
        CHECK(startAll(s, 4 * Second).size() == 2);
        CHECK(s.reserveHeld() == 2);
        // A waiting hop keeps them there while it may take the place, not once less than the least life is
        // left to it.
        const PingId late = s.admit(Owner{2, 2, 2}, 100, 0).id;
        REQUIRE(s.want(late, 103, "https://hang.test", 5 * Second) == Wanted::Queued);
        s.hopEnded(5, 10 * Second);
        CHECK(s.reserveHeld() == 2);
        s.hopEnded(2, life - least + 1);
        CHECK(s.reserveHeld() == 0);
    }

    SUBCASE("the reserve: a host not known to answer is tried by one hop at a time, until its head comes or its host is slow") {
        Limits wider = defaults;
        wider.places = 6;
        wider.reserve = 3;
        PingScheduler s{wider};
        fillWithHangingTrackers(s, 3);
        const Nanos t = 2 * Second;
        queue(s, Owner{4, 4, 4}, 100, "https://dead.test", t);
        CHECK(got(s.next(10, t)) == 100);
        queue(s, Owner{5, 5, 5}, 101, "https://shop.test", t);
        queue(s, Owner{6, 6, 6}, 102, "https://ads.test", t);
        // Two reserve places free, but dead.test's try is under way: nothing takes one, nor is owed one, up to
        // the end of its second.
        for (const Nanos at : {t, t + Second}) {
            CAPTURE(at);
            CHECK_FALSE(s.owed(at).has_value());
            CHECK_FALSE(s.next(10, at, Only::Owed).has_value());
            CHECK_FALSE(s.next(10, at).has_value());
        }
        CHECK(s.reserveHeld() == 1);
        // A nanosecond later dead.test is slow: shop.test is tried, a load giving way for it, and ads.test waits
        // for that try in turn.
        const Nanos slowNow = t + Second + 1;
        CHECK(got(s.owed(slowNow)) == 101);
        CHECK(got(s.next(1, slowNow, Only::Owed)) == 101);
        CHECK_FALSE(s.next(10, slowNow).has_value());
        CHECK(s.reserveHeld() == 2);
        // shop.test's head comes 20 ms on: ads.test is tried, and a third host waits behind it.
        const Nanos head = slowNow + 20 * Milli;
        s.answered("https://shop.test", head);
        s.hopEnded(101, head);
        CHECK(got(s.next(10, head)) == 102);
        queue(s, Owner{7, 7, 7}, 103, "https://new.test", head);
        CHECK_FALSE(s.next(10, head).has_value());
        CHECK(s.reserveHeld() == 2);
    }

    SUBCASE("the reserve: a host known to answer takes it beside a try of an unknown host, and an ordinary place takes either") {
        PingScheduler s{defaults};  // 3 ordinary places, 2 reserve
        fillWithHangingTrackers(s, 3);
        const Nanos t = 2 * Second;
        // The app's own request to shop.test had its head within a second.
        s.answered("https://shop.test", Second);
        queue(s, Owner{4, 4, 4}, 100, "https://dead.test", t);
        CHECK(got(s.next(10, t)) == 100);
        queue(s, Owner{5, 5, 5}, 101, "https://new.test", t);
        queue(s, Owner{6, 6, 6}, 102, "https://shop.test", t);
        CHECK(got(s.next(10, t)) == 102);
        CHECK(s.reserveHeld() == 2);
        CHECK_FALSE(s.owed(t).has_value());
        // An ordinary place frees: new.test's hop, in the view never served, takes it, dead.test's try still
        // under way.
        s.hopEnded(1, t + 100 * Milli);
        CHECK(got(s.next(10, t + 100 * Milli)) == 101);
        CHECK(s.reserveHeld() == 2);
    }

    SUBCASE("the reserve: a host is known to answer for 30 s after its last prompt head") {
        Limits three;
        three.places = 3;
        three.reserve = 2;
        // With the one ordinary place held and an unknown host's try on the reserve, whether shop.test's hop
        // takes the last place at `at`, after its heads at `heads`.
        auto known = [&](std::vector<Nanos> heads, Nanos at) {
            PingScheduler s{three};
            for (const Nanos head : heads) {
                s.expired(head);
                s.answered("https://shop.test", head);
            }
            s.expired(at);
            queue(s, Owner{1, 1, 1}, 1, "https://hang.test", at);
            queue(s, Owner{2, 2, 2}, 2, "https://dead.test", at);
            REQUIRE(startAll(s, at).size() == 2);
            REQUIRE(s.reserveHeld() == 1);
            queue(s, Owner{3, 3, 3}, 3, "https://shop.test", at);
            return got(s.next(10, at)) == 3;
        };
        const Nanos a = 100 * Second;
        CHECK(known({a}, a + 30 * Second - 1));
        CHECK_FALSE(known({a}, a + 30 * Second));
        // Each prompt head renews it, after it lapsed too.
        CHECK(known({a, a + 20 * Second}, a + 50 * Second - 1));
        CHECK_FALSE(known({a, a + 20 * Second}, a + 50 * Second));
        CHECK(known({a, a + 40 * Second}, a + 70 * Second - 1));
    }

    SUBCASE("the reserve: hosts that read and never answer, each a view's first, take at most one of it a second") {
        Limits eight;
        eight.places = 16;
        eight.reserve = 8;
        for (const Limits& limits : {PingScheduler::limitsFor(53, 6), eight}) {
            const std::size_t reserve = limits.reserve;
            CAPTURE(reserve);
            PingScheduler s{limits};
            const std::size_t ordinary = limits.places - reserve;
            for (std::uint64_t v = 1; v <= ordinary; ++v)
                queue(s, Owner{v, v, v}, v, "https://hang.test", 0);
            REQUIRE(startAll(s, 0).size() == ordinary);
            const Nanos t = 2 * Second;
            for (std::uint64_t i = 0; i < reserve; ++i)
                queue(s, Owner{100 + i, 100 + i, 100 + i}, 100 + i, "https://dead" + std::to_string(i) + ".test", t);
            // Half a second in, a click to a host that answered the app within the second.
            const Nanos clickAt = t + Second / 2;
            s.answered("https://ads.test", t);
            // The engine looks every 50 ms.
            const Nanos step = 50 * Milli;
            std::vector<Nanos> tries;
            Nanos clickStarted = -1;
            for (Nanos now = t; now <= t + static_cast<Nanos>(reserve + 1) * Second; now += step) {
                if (now == clickAt)
                    queue(s, Owner{200, 200, 200}, 200, "https://ads.test", now);
                for (const HopId hop : startAll(s, now)) {
                    if (hop == 200)
                        clickStarted = now;
                    else
                        tries.push_back(now);
                }
            }
            CHECK(clickStarted == clickAt);
            // The click, left without its head here, is not sure a second on: the dead hosts and it hold all but
            // the last place, kept for a hop that is sure. Each host tried as the one before it has been a second
            // without its head, at the engine's next look.
            REQUIRE(tries.size() == reserve - 2);
            CHECK(tries.front() == t);
            for (std::size_t i = 1; i < tries.size(); ++i) {
                CAPTURE(i);
                CHECK(tries[i] - tries[i - 1] > Second);
                CHECK(tries[i] - tries[i - 1] <= Second + step);
            }
            CHECK(s.reserveHeld() == reserve - 1);
        }
    }

    SUBCASE("a hop stuck without its connection hands its place to a fresh hop once, and waits again on its ping's life") {
        PingScheduler s{one};
        queue(s, Owner{1, 1, 1}, 1, "https://stuck.test", 0);
        REQUIRE(got(s.next(1, 0)) == 1);
        // No fresh hop waits: nothing changes.
        CHECK_FALSE(s.handOff(1, 5 * Second).has_value());
        CHECK(s.underWay() == 1);
        CHECK(s.waiting() == 0);
        queue(s, Owner{2, 2, 2}, 2, "https://shop.test", 6 * Second);
        CHECK(got(s.handOff(1, 6 * Second)) == 2);
        CHECK(s.underWay() == 1);
        CHECK(s.waiting() == 1);
        // The stuck hop waits on its ping's life, admitted at 0.
        CHECK(s.nextDeadline() == life - least + 1);
        // A hop that has held a place never takes another's: with only such hops waiting, nothing changes.
        CHECK_FALSE(s.handOff(2, 11 * Second).has_value());
        CHECK(s.underWay() == 1);
        CHECK(s.waiting() == 1);
        // Put back, it waits while the place goes to a load.
        s.putBack(2, 11 * Second);
        CHECK(s.underWay() == 0);
        CHECK(s.waiting() == 2);
        CHECK_FALSE(s.next(0, 11 * Second).has_value());
        // Waiting or unknown hops are neither handed off nor put back.
        CHECK_FALSE(s.handOff(2, 11 * Second).has_value());
        CHECK_FALSE(s.handOff(999, 11 * Second).has_value());
        s.putBack(2, 11 * Second);
        s.putBack(999, 11 * Second);
        CHECK(s.waiting() == 2);
        // They go in their turns when a place frees (view 1 served longest ago), and their lives run on.
        CHECK(got(s.next(1, 12 * Second)) == 1);
        CHECK(s.expired(life - 1).empty());
        CHECK(s.expired(life) == std::vector<HopId>{1});
        CHECK(s.expired(6 * Second + life - least).empty());
        CHECK(s.expired(6 * Second + life - least + 1) == std::vector<HopId>{2});
    }

    SUBCASE("a stuck hop whose ping was let go leaves as it gives up its place, never to start again") {
        PingScheduler s{one};
        const PingId gone = queue(s, Owner{1, 1, 1}, 1, "https://stuck.test", 0);
        REQUIRE(got(s.next(1, 0)) == 1);
        // Its owner lets it go; the engine's cancel of its transfer is still to come.
        s.release(gone, Second);
        queue(s, Owner{2, 2, 2}, 2, "https://shop.test", 5 * Second);
        CHECK(got(s.handOff(1, 5 * Second)) == 2);
        CHECK(s.waiting() == 0);
        s.hopEnded(2, 5 * Second + Milli);
        CHECK_FALSE(s.next(1, 5 * Second + Milli).has_value());
        s.hopEnded(1, 6 * Second);  // the cancel, for a hop no longer here
        CHECK(s.underWay() == 0);

        // The same when the place goes to a load.
        const PingId also = queue(s, Owner{3, 3, 3}, 3, "https://stuck.test", 10 * Second);
        REQUIRE(got(s.next(1, 10 * Second)) == 3);
        s.release(also, 11 * Second);
        s.putBack(3, 15 * Second);
        CHECK(s.waiting() == 0);
        CHECK(s.underWay() == 0);
        CHECK_FALSE(s.next(1, 16 * Second).has_value());
        CHECK(s.nextDeadline() == Never);
    }

    SUBCASE("owed: only a fresh hop whose view holds fewer than its share, or that the reserve is for while it has room") {
        Limits six;
        six.places = 6;
        six.reserve = 0;
        PingScheduler s{six};
        for (HopId hop = 1; hop <= 6; ++hop)
            queue(s, Owner{1, 1, 1}, hop, "https://hang.test", 0);
        for (int i = 0; i < 4; ++i)
            REQUIRE(s.next(1, 0).has_value());
        // One view: its share is every ordinary place, so it is owed the two left.
        CHECK(got(s.owed(0)) == 5);
        // Another view begins to wait: the shares are 3, so view 1 at 4 is owed nothing, view 2 at 0 is.
        queue(s, Owner{2, 2, 2}, 10, "https://ads.test", Second);
        CHECK(got(s.owed(Second)) == 10);
        CHECK(got(s.next(1, Second, Only::Owed)) == 10);
        // Stuck, it goes back to wait: it has held a place, so it is owed none, while view 1's fresh hops
        // are owed none either.
        s.putBack(10, 6 * Second);
        CHECK_FALSE(s.owed(6 * Second).has_value());
        CHECK_FALSE(s.next(1, 6 * Second, Only::Owed).has_value());
        // A fresh hop of view 2 is owed one, though the put-back hop ranks before it.
        queue(s, Owner{2, 2, 2}, 11, "https://shop.test", 6 * Second);
        CHECK(got(s.owed(6 * Second)) == 11);
        CHECK(got(s.next(1, 6 * Second, Only::Owed)) == 11);
        CHECK(got(s.next(1, 6 * Second)) == 10);
        CHECK_FALSE(s.next(0, 6 * Second, Only::Owed).has_value());

        // A hop the reserve is for is owed a place while the reserve has room, an ordinary one included: view
        // 2 holds its share on a slow host, and its ad's click is owed the free ordinary place.
        Limits eight;
        eight.places = 8;  // 6 ordinary, 2 reserve
        PingScheduler e{eight};
        HopId hop = 0;
        for (std::uint64_t v = 1; v <= 2; ++v)
            for (int i = 0; i < 3; ++i)
                queue(e, Owner{v, v, v}, ++hop, "https://hang.test", 0);
        queue(e, Owner{3, 3, 3}, ++hop, "https://a.test", 0);
        REQUIRE(e.next(1, 0).has_value());
        REQUIRE(e.next(1, 0).has_value());
        REQUIRE(e.next(1, 0).has_value());
        REQUIRE(e.next(1, 0).has_value());
        REQUIRE(e.next(1, 0).has_value());
        REQUIRE(e.underWayFor(1) == 2);
        REQUIRE(e.underWayFor(2) == 2);
        REQUIRE(e.underWayFor(3) == 1);
        // Shares of 2 (three views), views 1 and 2 at theirs, 5 of 6 ordinary places held.
        CHECK_FALSE(e.owed(2 * Second).has_value());
        // A try of a host not heard from needs a view with nothing under way; a host that answers does not.
        queue(e, Owner{2, 2, 2}, 100, "https://ads.test", 2 * Second);
        CHECK_FALSE(e.owed(2 * Second).has_value());
        e.answered("https://ads.test", 2 * Second);
        CHECK(got(e.owed(2 * Second)) == 100);
        CHECK(got(e.next(1, 2 * Second, Only::Owed)) == 100);
        CHECK(e.reserveHeld() == 0);

        // A fresh hop owed a reserve place.
        PingScheduler r{defaults};
        fillWithHangingTrackers(r, 2);
        CHECK_FALSE(r.owed(2 * Second).has_value());
        queue(r, Owner{4, 4, 4}, 100, "https://ads.test", 2 * Second);
        CHECK(got(r.owed(2 * Second)) == 100);
        CHECK(got(r.next(1, 2 * Second, Only::Owed)) == 100);
        CHECK(r.reserveHeld() == 1);

        // The reserve's leg holds for an ordinary place too: while an unknown host's try is on the reserve, a
        // view at its share is owed a place for its new ad's hop to a host known to answer, not to another
        // unknown one, until the try's host is slow.
        PingScheduler q{defaults};
        for (HopId hop = 1; hop <= 4; ++hop)
            queue(q, Owner{1, 1, 1}, hop, "https://hang.test", 0);
        REQUIRE(startAll(q, 0).size() == 3);
        queue(q, Owner{2, 2, 2}, 5, "https://dead.test", Second / 2);
        REQUIRE(got(q.next(10, Second / 2)) == 5);
        // An ordinary place frees that view 1's waiting tracker may take: the try stays on the reserve.
        const Nanos freed = Second / 2 + 100 * Milli;
        q.hopEnded(1, freed);
        REQUIRE(q.reserveHeld() == 1);
        q.answered("https://shop.test", freed);
        queue(q, Owner{3, 1, 3}, 10, "https://new.test", freed);
        queue(q, Owner{5, 1, 5}, 11, "https://shop.test", freed);
        CHECK(got(q.owed(freed)) == 11);
        CHECK(got(q.next(1, freed, Only::Owed)) == 11);
        CHECK(q.reserveHeld() == 1);
        CHECK_FALSE(q.owed(freed).has_value());
        // Nor once the try's host is slow: view 1 has pings under way, and a try needs a view with none.
        CHECK_FALSE(q.owed(3 * Second / 2 + 1).has_value());
        CHECK(q.reserveHeld() == 1);
    }

    SUBCASE("a released ping's hop keeps its place until the engine ends it, and unknown hops and pings are ignored") {
        PingScheduler s{one};
        const PingId a = queue(s, Owner{1, 1, 1}, 1, "https://a.test", 0);
        queue(s, Owner{2, 2, 2}, 2, "https://b.test", 0);
        CHECK(got(s.next(5, 0)) == 1);
        s.release(a, 0);
        CHECK(s.admitted() == 1);
        CHECK_FALSE(s.next(5, 1).has_value());
        CHECK(s.underWay() == 1);
        s.hopEnded(1, 2);
        CHECK(got(s.next(5, 2)) == 2);
        // A released ping's waiting hop leaves the queue at once; the engine's later hopEnded is ignored.
        const PingId c = queue(s, Owner{3, 3, 3}, 3, "https://c.test", 3);
        s.release(c, 3);
        CHECK(s.waiting() == 0);
        s.hopEnded(3, 3);
        s.hopEnded(12345, 3);
        CHECK(s.underWay() == 1);
        CHECK(s.want(c, 4, "https://c.test", 4) == Wanted::Unknown);
        CHECK(s.want(777, 5, "https://c.test", 4) == Wanted::Unknown);
        CHECK(s.want(0, 6, "https://c.test", 4) == Wanted::Unknown);
    }
}

// ---------------------------------------------------------------------------------------------------------
// The model: a simulated network engine on simulated time drives the unit as the network engine does, and
// simulated servers answer each hop it starts, apart from the unit: a ping has arrived when its server has
// read its request, on the server's clock. Owners make, cancel and let go of pings as views, ads and
// documents come and go, and loads take web content's places. What must hold is checked from the rules
// (the head of PingScheduler.h) against the model's own records: when each hop started, ended and was
// read, what every host did. The unit's figures are checked against the records and never excuse a case.
// One thing the records cannot tell is which of several reserve hops moved to an ordinary place: after each
// call the unit is asked which of the hops under way hold reserve places (holdsReserve), as it is asked how
// many (reserveHeld), and what it says is judged: only the hop it just started may have come onto the
// reserve, and only the moves the rules allow may have left it. Whether a host is known to answer is the servers'
// own log (a head within a second of its reading a request, in the last 30 s), whether it is slow the
// engine's (a hop to it under way over a second without its head, and 30 s after).
// The hostile runs put healthy views beside an adversary (hostileAct) and hold the healthy views' pings to
// the promise the reserve makes them (checkPromise), from the servers' reads.

namespace {

enum class Server {
    Prompt,          // reads at once and answers within 20 ms
    Quick,           // answers within a second of the hop's start
    Late,            // answers 1.5 to 8 s after reading
    Silent,          // reads and never answers
    TrickleHead,     // reads; its head trickles in over 10 to 45 s
    StuckHandshake,  // never completes the handshake: nothing is written
    SlowHandshake,   // a handshake of 1.2 to 4.5 s, then answers at once
    Refuse,          // the connection fails within 3 s, nothing written
    Edge,            // answers as the ping's life, or its least life, runs out, to the nanosecond
};
constexpr int ServerKinds = 9;

const char* nameOf(Server s) {
    switch (s) {
    case Server::Prompt: return "prompt";
    case Server::Quick: return "quick";
    case Server::Late: return "late";
    case Server::Silent: return "silent";
    case Server::TrickleHead: return "trickle";
    case Server::StuckHandshake: return "stuck";
    case Server::SlowHandshake: return "slow-handshake";
    case Server::Refuse: return "refuse";
    case Server::Edge: return "edge";
    }
    return "?";
}

// Every hop to it is answered within a second of its start.
bool answersInTime(Server s) { return s == Server::Prompt || s == Server::Quick; }
bool deadHost(Server s) {
    return s == Server::Silent || s == Server::TrickleHead || s == Server::StuckHandshake || s == Server::Late;
}

struct Totals {
    std::size_t runs = 0;
    double seconds = 0;
    std::size_t admitted = 0, floorPastQuota = 0, adRefusals = 0, processRefusals = 0, mostAdmitted = 0;
    std::size_t reads = 0, arrivals = 0, answered = 0, refused = 0, cancels = 0, orphans = 0;
    std::size_t livesWaiting = 0, livesUnderWay = 0, lifePassed = 0, redirects = 0;
    std::size_t starts = 0, reserveStarts = 0, slowStarts = 0, redirectsFirst = 0, pastDeadHosts = 0;
    std::size_t handOffs = 0, handOffsIdle = 0, putBacks = 0, loadHandOffs = 0, givenWay = 0, moved = 0;
    std::size_t clicks = 0, clicksLate = 0, exactDeadlines = 0;
    // Hostile runs: the adversary's moves by kind, screens opened, watched pings, how many of them read and
    // how many a limit of the promise excused (by limit: host not known, host left slow by other views, own
    // ad busy, reserve taken by clicks that hang, own try on the view's reserve place, a view with fewer under
    // way first); the longest a watched ping waited from its making to its server's read.
    std::size_t moves[4] = {}, screens = 0, watched = 0, watchedRead = 0, excused[6] = {};
    Nanos longestWatched = 0;
    std::size_t appRequests = 0, answeredCalls = 0, tries = 0, besideTries = 0, besideOwnTries = 0, keptOffByTries = 0;
    Nanos longestOwedWait = 0;
    std::size_t passes = 0, hopsSeen = 0, drainPasses = 0;
};

// What a stretch of time is like, per owners' turn: the mean seconds between turns (divided by the
// configuration's scale), pings made, the shares of them that are clicks and redirect chains, the share of
// trackers sent to dead hosts, the share of big pings, the chance of a burst, cancels, view events, loads
// queued and the share of loads that hang or never connect.
struct Mood {
    const char* name;
    double tick, pings, clicks, chains, hang, big, burst, cancels;
    double open, close, refresh, reload, overlay;
    double loads, loadHang;
};
constexpr Mood Moods[] = {
    {"calm", 0.4, 1.0, 0.3, 0.1, 0.2, 0.02, 0.002, 0.05, 0.03, 0.02, 0.05, 0.03, 0.02, 0.5, 0.05},
    {"dead hosts", 0.25, 1.5, 0.2, 0.05, 0.8, 0.02, 0.01, 0.05, 0.05, 0.02, 0.1, 0.05, 0.05, 0.5, 0.2},
    {"quota", 0.2, 2.5, 0.1, 0.05, 0.4, 0.3, 0.5, 0.2, 0.02, 0.02, 0.05, 0.05, 0.02, 0.2, 0.1},
    {"churn", 0.1, 0.8, 0.3, 0.1, 0.4, 0.02, 0.005, 0.3, 0.3, 0.3, 0.3, 0.3, 0.2, 0.5, 0.1},
    {"loads", 0.2, 0.8, 0.3, 0.1, 0.5, 0.02, 0.005, 0.1, 0.05, 0.02, 0.1, 0.05, 0.05, 3.0, 0.3},
};

struct Config {
    const char* name;
    Limits limits;
    std::size_t loadsOnly;  // web content's places beyond what pings may hold
    double scale;           // how busy the owners are, for as many places
    int seconds;            // simulated per seed
    int seeds;
    bool triesSeen = true;  // whether the reserve is ever full enough for a host not known to answer to be tried
    // Instead of the moods: healthy views beside an adversary (see hostileAct), and the promise to the healthy
    // views' pings checked.
    bool hostile = false;
};

constexpr Nanos StuckAfter = 5 * Second;      // the engine's StuckConnectionSeconds
constexpr Nanos LeastHold = 500 * Milli;      // a load gives way only once it has held its place this long
constexpr Nanos FollowGap = Milli;            // the engine asks for a redirect's next hop within this
constexpr double HostileTick = 0.8;           // the mean seconds between a hostile run's turns
constexpr Nanos ScreenEvery = 1200 * Milli;   // a hostile creative opens a screen this often
constexpr Nanos PromptRead = 5 * Milli;       // a prompt server reads a request this soon after its start
constexpr Nanos ClockStarts[] = {0, Clock53 - 7, Clock53 + 3, (Nanos{1} << 62) + 11};

Nanos later(Nanos t, Nanos by) { return t > Never - by ? Never : t + by; }

#define MODEL_CHECK(cond, what)                                                          \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::ostringstream modelWhat_;                                               \
            modelWhat_ << what << " [seed " << seed_ << ", at " << now_ - start_ << " ns]"; \
            FAIL(modelWhat_.str());                                                      \
        }                                                                                \
    } while (false)

class Model {
public:
    Model(std::uint32_t seed, const Config& config, Nanos start, Totals& totals)
        : unit_(config.limits), l_(unit_.limits()), ordinary_(l_.places - l_.reserve), seed_(seed), random_(seed),
          webPlaces_(l_.places + config.loadsOnly), scale_(config.scale), start_(start), now_(start), totals_(totals) {
        const int counts[ServerKinds] = {4, 2, 1, 6, 2, 3, 1, 1, 1};
        for (int k = 0; k < ServerKinds; ++k)
            for (int i = 0; i < counts[k]; ++i)
                addHost(static_cast<Server>(k));
        if (config.hostile) {
            hostile_ = true;
            healthyHost_ = addHost(Server::Prompt);
            sharedHost_ = addHost(Server::Prompt);
            for (int i = 0; i < 3; ++i)
                healthy_.push_back(Slot{newId(), newId(), newId()});
        } else {
            for (int i = 0; i < 8; ++i)
                openView(false);
        }
        nextTurn_ = nextWake_ = now_;
    }

    // Goes through every mood twice, from one the seed picks.
    void run(Nanos duration) {
        const Nanos end = start_ + duration;
        moodLength_ = std::max<Nanos>(Second, duration / static_cast<Nanos>(2 * std::size(Moods)));
        mood_ = &Moods[uniform<std::size_t>(0, std::size(Moods) - 1)];
        nextMood_ = now_ + moodLength_;
        while (now_ < end)
            step();
    }

    // No more pings, cancels or loads: everything admitted ends, by its answer or its life.
    void drain() {
        draining_ = true;
        for (int guard = 0; !live_.empty() || !hops_.empty(); ++guard) {
            MODEL_CHECK(guard < 1'000'000, "the drain does not end: " << live_.size() << " pings live");
            step();
        }
    }

    void finish() {
        MODEL_CHECK(unit_.admitted() == 0 && unit_.admittedBytes() == 0,
                    "the unit still counts " << unit_.admitted() << " pings after all were let go");
        MODEL_CHECK(unit_.underWay() == 0 && unit_.waiting() == 0 && unit_.reserveHeld() == 0,
                    "the unit still holds hops after all ended");
        MODEL_CHECK(unit_.nextDeadline() == Never, "a deadline is left with no hop here");
        MODEL_CHECK(!unit_.owed(now_).has_value(), "owed() with nothing waiting");
        for (const auto& [id, p] : pings_) {
            MODEL_CHECK(p.released && p.end != End::None, "ping " << id << " never ended");
            for (std::size_t i = 0; i < p.reads.size(); ++i)
                MODEL_CHECK(p.reads[i] <= 1, "hop " << i << " of ping " << id << " was read " << p.reads[i] << " times");
            if (p.end == End::Answer)
                MODEL_CHECK(p.at + 1 == p.chain.size() && p.reads.back() == 1,
                            "ping " << id << " ended by its answer without its last server reading it");
            // To hosts that answer within a second: read once, or its life ran out while it waited.
            if (p.answering && p.end != End::Owner)
                MODEL_CHECK(p.end == End::Answer || (p.end == End::Life && p.waitedAtEnd && p.reads[p.at] == 0),
                            "ping " << id << " to hosts that answer within a second ended "
                                    << (p.end == End::Life ? "by its life under way" : "otherwise")
                                    << " at hop " << p.at);
        }
        totals_.seconds += static_cast<double>(now_ - start_) / Second;
        ++totals_.runs;
    }

private:
    enum class End { None, Answer, Refused, Owner, Life };
    enum class Kind { Tracker, Click, Chain };
    enum class Asked { Any, Owed, Fresh };  // how the hop got its place: next(), next(Owed), handOff or next(Fresh)
    struct Host {
        std::string name;
        Server server;
    };
    struct Count {
        std::size_t pings = 0;
        std::size_t bytes = 0;
    };
    struct PingRec {
        Owner owner;
        std::size_t bytes = 0;
        Nanos admittedAt = 0;
        Nanos deadline = 0;
        std::uint64_t order = 0;
        std::vector<int> chain;  // its hosts: each answers all but the last with a 3xx
        std::vector<int> reads;  // how often each hop's server read it
        std::size_t at = 0;      // its hop in the chain
        HopId hop = 0;           // that hop, waiting or under way here
        bool answering = false;  // every host of its chain answers within a second
        bool click = false;
        bool released = false;
        bool waitedAtEnd = false;
        bool hangs = false;    // to the one path of its host that reads and never answers
        bool watched = false;  // a healthy view's, or an ad's own click, to a host that answers: see checkPromise
        bool clickAfter = false;  // its view clicks once its first hop starts
        End end = End::None;
    };
    struct HopRec {
        PingId ping = 0;
        PingRec* p = nullptr;        // its ping's record
        std::size_t* lane = nullptr;  // its document's hops under way to its host
        Owner owner;
        int host = 0;
        std::size_t index = 0;  // in its ping's chain
        bool underWay = false;
        // Its view's turn before it took its place, and the turn it took: put back, it was never served.
        std::uint64_t turnBefore = 0, turnTaken = 0;
        bool held = false;      // it has held a place
        bool orphan = false;    // its ping was let go while it held a place: the engine ends it later
        bool written = false;
        bool causedGiveWay = false;
        bool keptOff = false;   // a try kept it off the reserve
        // When it last took its place: on a reserve place (when the records tell), its host sure or a try
        // then, its view with nothing under way then; and whether it has counted as sure at its start or at a
        // choice of the reserve since.
        bool reserveStart = false, sureAtStart = false, tryAtStart = false, emptyViewAtStart = false, sureSeen = false;
        // On a reserve place: when it took it (in the order of takes), and its view's holders then, each a try
        // at its start whose host was slow and not known then (a sure hop's leave to sit beside them).
        std::uint64_t take = 0;
        std::vector<HopId> besideOwn;
        Nanos owedFrom = Never;  // watched: since when it has waited with no limit of the promise to excuse it
        unsigned excused = 0;    // watched: the limits that have excused its wait, one bit each
        Nanos startedAt = 0;
        Nanos writtenAt = 0;
        Nanos answerAt = Never;  // when its server answers (or its connection fails)
        std::uint64_t generation = 0;
    };
    struct ViewRec {
        std::size_t hops = 0;
        std::size_t underWay = 0;
        std::uint64_t turn = 0;  // 0: not served since it began to wait
        std::map<int, std::size_t> hostUnderWay;
    };
    struct Slot {
        std::uint64_t view = 0, ad = 0, document = 0;
        int trackers = 0;  // the host its ad's trackers mostly go to
        bool selfReloading = false;
        bool overlay = false;
        Nanos until = 0;  // a hostile creative: when it stops opening screens
    };
    struct Load {
        Nanos startedAt = 0;
        Nanos duration = 0;
        bool running = false;
        bool stuck = false;
    };
    enum class Ev { Write, Answer, Fail, Follow, OrphanEnd, LoadEnd, Click, Stale, AppHead, Screen };
    struct Event {
        Ev kind;
        std::uint64_t id = 0;
        std::uint64_t generation = 0;
        std::uint64_t ad = 0;
    };
    // The view's pings under way, its turn, its pings waiting; the hop's class; the view's under way to its
    // host; its ping's order.
    using Rank = std::tuple<std::size_t, std::uint64_t, std::size_t, int, std::size_t, std::uint64_t>;

    // --- randomness ---
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < p; }
    template <class T> T uniform(T lo, T hi) { return std::uniform_int_distribution<T>(lo, hi)(random_); }
    int poisson(double mean) { return mean <= 0 ? 0 : std::poisson_distribution<int>(mean)(random_); }
    Nanos exponential(double meanSeconds) {
        return 1 + static_cast<Nanos>(std::exponential_distribution<double>(1.0 / meanSeconds)(random_) * Second);
    }
    std::uint64_t newId() { return ++ids_; }

    int addHost(Server s) {
        const int at = static_cast<int>(hosts_.size());
        hosts_.push_back({"https://h" + std::to_string(at) + "-" + nameOf(s) + ".test:443", s});
        if (answersInTime(s))
            answering_.push_back(at);
        else if (deadHost(s))
            dead_.push_back(at);
        else if (s == Server::Edge)
            edge_ = at;
        return at;
    }
    int any(const std::vector<int>& from) { return from[uniform<std::size_t>(0, from.size() - 1)]; }
    int anyHost() { return uniform<int>(0, static_cast<int>(hosts_.size()) - 1); }

    // --- what the rules read, from the records ---
    bool slow(int host) {
        // Starts and ends at one moment never change which hosts are slow then: read once per host and moment.
        const auto at = static_cast<std::size_t>(host);
        if (slowAt_.size() < hosts_.size()) {
            slowAt_.resize(hosts_.size(), std::numeric_limits<Nanos>::min());
            slow_.resize(hosts_.size(), false);
        }
        if (slowAt_[at] != now_) {
            slowAt_[at] = now_;
            const auto starts = hostStarts_.find(host);
            const auto until = slowUntil_.find(host);
            slow_[at] = (starts != hostStarts_.end() && now_ - *starts->second.begin() > l_.slowAfter) ||
                        (until != slowUntil_.end() && until->second > now_);
        }
        return slow_[at];
    }
    // Its ad has a ping under way to a host that is not slow.
    bool busy(std::uint64_t ad) {
        const auto hosts = adHosts_.find(ad);
        if (hosts == adHosts_.end())
            return false;
        for (const auto& [host, n] : hosts->second)
            if (n > 0 && !slow(host))
                return true;
        return false;
    }
    bool known(int host) const {
        const auto until = knownUntil_.find(host);
        return until != knownUntil_.end() && until->second > now_;
    }
    // What a host is at a choice: sure (known to answer, not slow), a try (neither), slow but known to answer,
    // or slow and not known.
    enum class Class { Sure, Try, SlowKnown, SlowUnknown };
    Class classOf(int host) {
        const bool k = known(host);
        if (slow(host))
            return k ? Class::SlowKnown : Class::SlowUnknown;
        return k ? Class::Sure : Class::Try;
    }
    // The reserve's holders (P_ but `except`, which leaves): how many, how many are not sure now, tries now,
    // and per view how many hold one and how many of those were tries whose host has turned slow since, still
    // not known.
    struct Holders {
        std::size_t r = 0, notSure = 0, tries = 0;
        std::map<std::uint64_t, std::pair<std::size_t, std::size_t>> views;
    };
    Holders holders(HopId except = 0) {
        Holders out;
        for (HopId id : P_) {
            if (id == except)
                continue;
            const HopRec& h = hops_.at(id);
            const Class c = classOf(h.host);
            ++out.r;
            out.notSure += c != Class::Sure;
            out.tries += c == Class::Try;
            auto& view = out.views[h.owner.view];
            ++view.first;
            view.second += h.tryAtStart && c == Class::SlowUnknown;
        }
        return out;
    }
    // Whether the rules let waiting hop `h` take a reserve place, the ordinary places full: its ad has nothing
    // under way to a host that is not slow; its view holds no reserve place (for a sure hop, its holders that
    // were tries and are now slow and not known do not count while one would stay free after it); a sure hop
    // needs nothing more; a try also needs a view with nothing under way, no other holder a try still, and
    // fewer than R - 1 held by hops that are not sure; a hop to a host slow but known to answer as a try but
    // for the one-try rule; a hop to a host slow and not known never.
    bool reserveAllows(const HopRec& h, const Holders& held) {
        if (held.r >= l_.reserve || !mayStart(h) || busy(h.owner.ad))
            return false;
        const Class c = classOf(h.host);
        if (c == Class::SlowUnknown)
            return false;
        if (const auto view = held.views.find(h.owner.view); view != held.views.end()) {
            std::size_t mine = view->second.first;
            if (c == Class::Sure && held.r + 1 < l_.reserve)
                mine -= view->second.second;
            if (mine > 0)
                return false;
        }
        if (c == Class::Sure)
            return true;
        if (views_.at(h.owner.view).underWay > 0 || held.notSure + 1 >= l_.reserve)
            return false;
        return c != Class::Try || held.tries == 0;
    }
    // For a failure's message: hop `h` and what the reserve's rules read for it.
    std::string reserveState(const HopRec& h) {
        static const char* const Names[] = {"sure", "a try", "slow, known", "slow, not known"};
        std::ostringstream out;
        out << "its host " << hosts_[h.host].name << " " << Names[static_cast<int>(classOf(h.host))] << ", its ad "
            << (busy(h.owner.ad) ? "busy" : "idle") << ", its view " << h.owner.view << " with "
            << views_.at(h.owner.view).underWay << " under way; " << r_ << " of " << l_.reserve << " reserve places held, "
            << U_ << " of " << l_.places << " places, by some of:";
        for (HopId id : P_) {
            const HopRec& o = hops_.at(id);
            out << " hop " << id << " (view " << o.owner.view << ", " << Names[static_cast<int>(classOf(o.host))]
                << (o.tryAtStart ? ", a try at its start" : o.sureAtStart ? ", sure at its start" : "") << ", "
                << (now_ - o.startedAt) / Milli << " ms)";
        }
        return out.str();
    }
    bool lifeLeft(const PingRec& p) const { return p.deadline == Never || p.deadline - now_ >= l_.leastLife; }
    std::size_t laneUnderWay(const HopRec& h) const { return *h.lane; }
    bool mayStart(const HopRec& h) const { return !h.underWay && *h.lane < l_.perHost && lifeLeft(*h.p); }
    Rank rank(const HopRec& h) {
        const ViewRec& v = views_.at(h.owner.view);
        const auto host = v.hostUnderWay.find(h.host);
        return {v.underWay, v.turn, v.hops - v.underWay, h.index > 0 ? 0 : slow(h.host) ? 2 : 1,
                host == v.hostUnderWay.end() ? 0 : host->second, h.p->order};
    }
    bool ordinaryFull() const { return U_ - r_ >= ordinary_; }
    std::size_t share() const {
        const std::size_t views = std::max<std::size_t>(1, views_.size());
        return std::max<std::size_t>(1, (ordinary_ + views - 1) / views);
    }
    // Owed a place, so that a load gives way for it: a hop that has never held one and may start, whose view
    // holds fewer than its share, or that the reserve is for while it has room (reserveAllows).
    bool owedByRules(const HopRec& h, const Holders& held) {
        if (h.held || !mayStart(h))
            return false;
        return reserveAllows(h, held) || (!ordinaryFull() && views_.at(h.owner.view).underWay < share());
    }
    bool anyMayTakeOrdinary() const {
        for (const auto& [id, h] : hops_)
            if (mayStart(h))
                return true;
        return false;
    }
    // The reserve count after the unit settles: hops on reserve places move to ordinary ones that nothing
    // waiting may take.
    std::size_t settled(std::size_t r) const {
        if (r == 0 || r > U_ || U_ - r >= ordinary_ || anyMayTakeOrdinary())
            return r;
        return U_ > ordinary_ ? U_ - ordinary_ : 0;
    }
    std::size_t webFree() const { return webPlaces_ - loadsRunning_ - U_; }

    // --- records ---
    Nanos waitingDue(const PingRec& p) const { return p.deadline == Never ? Never : p.deadline - l_.leastLife + 1; }
    Nanos dueOf(const HopRec& h) const { return h.underWay ? h.p->deadline : waitingDue(*h.p); }

    void addWaiting(HopId id, PingId ping, int host) {
        PingRec& p = pings_.at(ping);
        HopRec h;
        h.ping = ping;
        h.p = &p;
        h.lane = &lanes_[{p.owner.document, host}];
        h.owner = p.owner;
        h.host = host;
        h.index = p.at;
        auto [view, fresh] = views_.try_emplace(p.owner.view);
        if (fresh)
            view->second.turn = 0;
        ++view->second.hops;
        ++W_;
        ++fresh_;
        p.hop = id;
        hops_.emplace(id, h);
        dues_.insert({dueOf(h), id});
    }

    void recordStart(HopId id, bool reserve) {
        HopRec& h = hops_.at(id);
        dues_.erase({dueOf(h), id});
        fresh_ -= !h.held;
        h.underWay = h.held = true;
        h.written = false;
        h.startedAt = now_;
        ++h.generation;
        ++U_;
        --W_;
        ViewRec& v = views_.at(h.owner.view);
        ++v.underWay;
        ++v.hostUnderWay[h.host];
        h.turnBefore = v.turn;
        h.turnTaken = v.turn = ++turns_;
        ++*h.lane;
        ++adHosts_[h.owner.ad][h.host];
        hostStarts_[h.host].insert(now_);
        unwritten_.insert({now_, id});
        dues_.insert({dueOf(h), id});
        underWay_.insert(id);
        if (reserve)
            P_.insert(id);
        if (h.p->clickAfter) {
            h.p->clickAfter = false;
            events_.insert({now_ + uniform<Nanos>(Second / 2, 3 * Second), {Ev::Click, h.owner.view, 0, h.owner.ad}});
        }
        serve(id);
    }

    // The hop no longer holds its place: it ended, its life did, or it waits again.
    void leavePlace(HopId id, bool waitsAgain) {
        HopRec& h = hops_.at(id);
        dues_.erase({dueOf(h), id});
        h.underWay = false;
        ++h.generation;  // what its server was to do for it now never reaches it
        --U_;
        ViewRec& v = views_.at(h.owner.view);
        --v.underWay;
        if (waitsAgain && v.turn == h.turnTaken)
            v.turn = h.turnBefore;
        if (--v.hostUnderWay.at(h.host) == 0)
            v.hostUnderWay.erase(h.host);
        --*h.lane;
        auto& ad = adHosts_.at(h.owner.ad);
        if (--ad.at(h.host) == 0)
            ad.erase(h.host);
        if (ad.empty())
            adHosts_.erase(h.owner.ad);
        auto& starts = hostStarts_.at(h.host);
        starts.erase(starts.find(h.startedAt));
        if (starts.empty())
            hostStarts_.erase(h.host);
        if (now_ - h.startedAt > l_.slowAfter) {
            Nanos& until = slowUntil_[h.host];
            until = std::max(until, later(now_, l_.slowFor));
            auto& by = slowBy_[h.host];
            std::erase_if(by, [&](const auto& mark) { return mark.second <= now_; });
            by.push_back({h.owner.view, later(now_, l_.slowFor)});
        }
        unwritten_.erase({h.startedAt, id});
        underWay_.erase(id);
        P_.erase(id);
        if (waitsAgain) {
            ++W_;
            dues_.insert({dueOf(h), id});
        }
    }

    // The hop leaves, waiting or under way.
    void dropHop(HopId id) {
        HopRec& h = hops_.at(id);
        if (h.underWay)
            leavePlace(id, false);
        else {
            dues_.erase({dueOf(h), id});
            --W_;
            fresh_ -= !h.held;
        }
        ViewRec& v = views_.at(h.owner.view);
        if (--v.hops == 0)
            views_.erase(h.owner.view);
        const auto ping = pings_.find(h.ping);
        if (ping != pings_.end() && ping->second.hop == id)
            ping->second.hop = 0;
        owedSince_.erase(id);
        hops_.erase(id);
    }

    // The reserve count once `leaving`, under way, have left: less those of them that hold reserve places.
    std::vector<std::size_t> reserveAfterLeaving(const std::vector<HopId>& leaving) {
        std::size_t holding = 0;
        for (HopId id : leaving)
            holding += P_.count(id);
        return {r_ - holding};
    }

    // After each call to the unit: its figures against the records, and its reserve count one of those the
    // rules allow (each candidate as it was, or settled). Then which hops under way hold reserve places, as
    // the unit says: only hops the records have on the reserve (P_, the hop it has just started on a reserve
    // place included) may, and as many as it counts; those that left it moved to ordinary places (settle).
    void afterCall(const std::vector<std::size_t>& candidates, const char* call) {
        MODEL_CHECK(unit_.underWay() == U_, call << ": underWay() " << unit_.underWay() << ", not " << U_);
        MODEL_CHECK(unit_.waiting() == W_, call << ": waiting() " << unit_.waiting() << ", not " << W_);
        MODEL_CHECK(fresh_ <= W_, call << ": the records count more fresh hops than waiting ones");
        const std::size_t held = unit_.reserveHeld();
        bool allowed = false;
        std::ostringstream list;
        for (std::size_t c : candidates) {
            const std::size_t s = settled(c);
            allowed = allowed || held == c || held == s;
            list << ' ' << c << '/' << s;
        }
        MODEL_CHECK(allowed, call << ": reserveHeld() " << held << ", where the records allow (as it was/settled)"
                                  << list.str() << "; " << U_ << " under way of " << ordinary_ << " ordinary places");
        std::set<HopId> holding;
        for (HopId id : underWay_) {
            if (!unit_.holdsReserve(id))
                continue;
            MODEL_CHECK(P_.count(id) > 0, call << ": hop " << id << ", which took an ordinary place, holds a reserve one");
            holding.insert(id);
        }
        MODEL_CHECK(holding.size() == held, call << ": " << holding.size() << " hops under way hold reserve places, and "
                                                 << "reserveHeld() says " << held);
        totals_.moved += P_.size() - holding.size();
        P_ = std::move(holding);
        r_ = held;
        MODEL_CHECK(r_ <= l_.reserve && U_ <= l_.places && U_ - r_ <= ordinary_,
                    call << ": " << U_ << " under way, " << r_ << " of them on reserve places");
    }

    // --- the servers ---
    struct Timing {
        Nanos write = Never;   // it reads the request
        Nanos answer = Never;  // its head comes
        Nanos fail = Never;    // the connection fails, nothing written
    };
    // What a request started now to a server of the kind meets; `deadline` is its ping's life's end, and
    // `last` tells whether its answer ends the ping (not a 3xx).
    Timing timing(Server server, Nanos deadline, bool last) {
        Nanos write = Never, answer = Never, fail = Never;
        switch (server) {
        case Server::Prompt:
            write = now_ + uniform<Nanos>(0, 5 * Milli);
            answer = write + uniform<Nanos>(0, 20 * Milli);
            break;
        case Server::Quick:
            write = now_ + uniform<Nanos>(0, 50 * Milli);
            answer = write + uniform<Nanos>(100 * Milli, 900 * Milli);
            break;
        case Server::Late:
            write = now_ + uniform<Nanos>(0, 5 * Milli);
            answer = write + uniform<Nanos>(1500 * Milli, 8 * Second);
            break;
        case Server::Silent: write = now_ + uniform<Nanos>(0, 5 * Milli); break;
        case Server::TrickleHead:
            write = now_ + uniform<Nanos>(0, 5 * Milli);
            answer = write + uniform<Nanos>(10 * Second, 45 * Second);
            break;
        case Server::StuckHandshake: break;
        case Server::SlowHandshake:
            write = now_ + uniform<Nanos>(1200 * Milli, 4500 * Milli);
            answer = write + uniform<Nanos>(0, 20 * Milli);
            break;
        case Server::Refuse: fail = now_ + uniform<Nanos>(0, 3 * Second); break;
        case Server::Edge:
            write = now_ + uniform<Nanos>(0, 5 * Milli);
            answer = std::max(write, (last ? deadline : deadline - l_.leastLife) + uniform<Nanos>(-1, 1));
            break;
        }
        return {write, answer, fail};
    }

    void serve(HopId id) {
        HopRec& h = hops_.at(id);
        const PingRec& p = pings_.at(h.ping);
        const Server server = p.hangs ? Server::Silent : hosts_[h.host].server;
        const Timing t = timing(server, p.deadline, h.index + 1 == p.chain.size());
        h.answerAt = std::min(t.answer, t.fail);
        if (t.write != Never)
            events_.insert({t.write, {Ev::Write, id, h.generation}});
        if (t.answer != Never)
            events_.insert({t.answer, {Ev::Answer, id, h.generation}});
        if (t.fail != Never)
            events_.insert({t.fail, {Ev::Fail, id, h.generation}});
    }

    // The app's own request to a host (an ad request, a report): it holds no place of pings, and its head,
    // within a second of its write, tells the unit the host answers, as the engine does for any request.
    void appRequest() {
        const int host = anyHost();
        const Timing t = timing(hosts_[host].server, later(now_, l_.life), true);
        if (t.answer == Never)
            return;
        const std::uint64_t id = newId();
        appRequests_[id] = {host, t.write};
        events_.insert({t.answer, {Ev::AppHead, id}});
        ++totals_.appRequests;
    }

    void appHead(std::uint64_t id) {
        const auto [host, writtenAt] = appRequests_.at(id);
        appRequests_.erase(id);
        // Its server's doing alone: a head within a second of the write.
        if (now_ - writtenAt <= l_.slowAfter)
            knowAnswers(host);
        tellAnswered(host, writtenAt);
    }

    // A head within a second: the host is known to answer for 30 s (the records).
    void knowAnswers(int host) {
        Nanos& until = knownUntil_[host];
        until = std::max(until, later(now_, l_.slowFor));
    }
    // The engine tells the unit of a head that came within a second of its request's write.
    void tellAnswered(int host, Nanos writtenAt) {
        if (now_ - writtenAt > l_.slowAfter)
            return;
        unit_.answered(hosts_[host].name, now_);
        ++totals_.answeredCalls;
        afterCall({r_}, "answered()");
    }

    // --- the owners ---
    void openView(bool documentAlone) {
        Slot s;
        s.document = newId();
        s.view = documentAlone ? s.document : newId();
        s.ad = newId();
        s.selfReloading = chance(0.05);
        slots_.push_back(s);
        newAd(slots_.back());
    }

    // A new ad response in a slot: its trackers at once, its click when the user taps it.
    void newAd(Slot& s) {
        s.trackers = chance(mood_->hang) ? any(dead_) : anyHost();
        if (draining_)
            return;
        for (int n = chance(0.5) ? uniform(0, 2) : uniform(0, 12); n > 0; --n)
            makePing(s, Kind::Tracker);
        if (chance(0.6))
            events_.insert({now_ + uniform<Nanos>(500 * Milli, 10 * Second), {Ev::Click, s.view, 0, s.ad}});
    }

    std::size_t pingBytes() {
        if (chance(mood_->big))
            return chance(0.2) ? l_.adFloorBytes + uniform<std::size_t>(0, 1) : uniform<std::size_t>(20'000, 100'000);
        return chance(0.8) ? uniform<std::size_t>(50, 2'000) : uniform<std::size_t>(2'000, 20'000);
    }

    std::vector<int> chainFor(const Slot& s, Kind kind) {
        switch (kind) {
        case Kind::Tracker: return {chance(0.6) ? s.trackers : chance(mood_->hang) ? any(dead_) : anyHost()};
        case Kind::Click: return {chance(0.9) ? any(answering_) : anyHost()};
        case Kind::Chain: break;
        }
        std::vector<int> chain;
        // Now and then through the host whose 3xx comes just as less than the least life is left.
        for (int n = uniform(1, 5); n > 0; --n)
            chain.push_back(chance(0.8) ? any(answering_) : chance(0.5) ? edge_ : anyHost());
        chain.push_back(chance(0.5) ? any(answering_) : anyHost());
        return chain;
    }

    // `to`: its one host, instead of one the kind picks; `hangs`: to its host's hanging path.
    // `clickAfter`: its view clicks 0.5 to 3 s after this ping's first hop starts.
    void makePing(const Slot& s, Kind kind, std::optional<int> to = std::nullopt, bool hangs = false, bool watched = false,
                  bool clickAfter = false) {
        const Owner owner{s.ad, s.view, s.document};
        const std::size_t bytes = pingBytes();
        const auto found = adCounts_.find(owner.ad);
        const Count ad = found == adCounts_.end() ? Count{} : found->second;
        const auto fits = [bytes](const Count& c, std::size_t pings, std::size_t most) {
            return c.pings < pings && bytes <= most && c.bytes <= most - bytes;
        };
        const bool floor = fits(ad, l_.adFloorPings, l_.adFloorBytes);
        const bool adRoom = fits(ad, l_.adPings, l_.adBytes);
        const bool processRoom = fits(process_, l_.processPings, l_.processBytes);
        const auto a = unit_.admit(owner, bytes, now_);
        if (a.id == 0) {
            MODEL_CHECK(!floor, "ad " << owner.ad << " refused within its floor: " << ad.pings << " pings, " << ad.bytes
                                      << " + " << bytes << " bytes");
            if (!adRoom) {
                MODEL_CHECK(a.refusal == Refusal::AdQuota, "refused past its ad's quota, said to be " << int(a.refusal));
                ++totals_.adRefusals;
            } else {
                MODEL_CHECK(!processRoom && a.refusal == Refusal::ProcessQuota,
                            "refused with room in its ad's and the process's quotas: " << process_.pings << " pings, "
                                                                                      << process_.bytes << " bytes");
                ++totals_.processRefusals;
            }
            ++refusals_[a.refusal];
            MODEL_CHECK(unit_.refusals(a.refusal) == refusals_[a.refusal], "refusals() is off");
            return;
        }
        MODEL_CHECK(floor || (adRoom && processRoom), "admitted past a quota outside its ad's floor: ad "
                                                          << ad.pings << " pings, process " << process_.pings
                                                          << " pings " << process_.bytes << " bytes, + " << bytes);
        MODEL_CHECK(a.refusal == Refusal::None && !pings_.count(a.id), "admission " << a.id << " is off");
        if (!(adRoom && processRoom))
            ++totals_.floorPastQuota;
        ++totals_.admitted;
        for (Count* c : {&adCounts_[owner.ad], &process_}) {
            ++c->pings;
            c->bytes += bytes;
        }
        lastAdmission_[owner.ad] = now_;
        totals_.mostAdmitted = std::max(totals_.mostAdmitted, process_.pings);
        PingRec& p = pings_[a.id];
        p.owner = owner;
        p.bytes = bytes;
        p.admittedAt = now_;
        p.deadline = later(now_, l_.life);
        p.order = ++orders_;
        p.chain = to ? std::vector<int>{*to} : chainFor(s, kind);
        p.hangs = hangs;
        p.watched = watched;
        p.clickAfter = clickAfter;
        totals_.watched += watched;
        p.reads.assign(p.chain.size(), 0);
        p.click = kind == Kind::Click;
        p.answering = !hangs && std::all_of(p.chain.begin(), p.chain.end(), [&](int h) { return answersInTime(hosts_[h].server); });
        totals_.clicks += p.click;
        liveIndex_[a.id] = live_.size();
        live_.push_back(a.id);
        const HopId hop = ++hopIds_;
        const Wanted w = unit_.want(a.id, hop, hosts_[p.chain[0]].name, now_);
        MODEL_CHECK(w == Wanted::Queued, "a new ping's first hop was not queued");
        addWaiting(hop, a.id, p.chain[0]);
        afterCall({r_}, "want()");
        checkBound();
    }

    // Its owner lets it go: its end was delivered, or it cancelled it.
    void release(PingId id, End why) {
        PingRec& p = pings_.at(id);
        MODEL_CHECK(!p.released, "ping " << id << " let go twice");
        // Nothing admitted lives past its life (the engine asks for a redirect's next hop within FollowGap).
        MODEL_CHECK(now_ - p.admittedAt <= l_.life + FollowGap,
                    "ping " << id << " ended " << now_ - p.admittedAt << " ns after its admission");
        p.released = true;
        p.end = why;
        Count& ad = adCounts_.at(p.owner.ad);
        --ad.pings;
        ad.bytes -= p.bytes;
        if (ad.pings == 0)
            adCounts_.erase(p.owner.ad);
        --process_.pings;
        process_.bytes -= p.bytes;
        const std::size_t at = liveIndex_.at(id);
        liveIndex_[live_.back()] = at;
        live_[at] = live_.back();
        live_.pop_back();
        liveIndex_.erase(id);
        const HopId hop = p.hop;
        const bool waiting = hop != 0 && !hops_.at(hop).underWay;
        if (waiting)
            dropHop(hop);  // the unit forgets it; the engine's end of its transfer may come later
        unit_.release(id, now_);
        afterCall({r_}, "release()");
        MODEL_CHECK(unit_.admitted() == process_.pings && unit_.admittedBytes() == process_.bytes,
                    "admitted() " << unit_.admitted() << ", not " << process_.pings);
        if (waiting && chance(0.3))
            events_.insert({now_ + uniform<Nanos>(0, Second), {Ev::Stale, hop}});
        if (hop == 0 || waiting)
            return;
        // Under way: its place is held until the engine's cancel ends the transfer.
        hops_.at(hop).orphan = true;
        p.hop = 0;
        ++totals_.orphans;
        if (chance(0.6))
            endHop(hop, "hopEnded() of a cancelled hop");
        else
            events_.insert({now_ + uniform<Nanos>(0, 8 * Second), {Ev::OrphanEnd, hop}});
    }

    // The engine ends the hop: its head came, it failed, or it was cancelled.
    void endHop(HopId id, const char* call) {
        const auto it = hops_.find(id);
        if (it == hops_.end()) {
            unit_.hopEnded(id, now_);
            afterCall({r_}, "hopEnded() of a hop not there");
            return;
        }
        const bool underWay = it->second.underWay;
        const auto candidates = underWay ? reserveAfterLeaving({id}) : std::vector<std::size_t>{r_};
        dropHop(id);
        unit_.hopEnded(id, now_);
        afterCall(candidates, call);
    }

    void act() {
        if (now_ >= nextMood_) {
            mood_ = mood_ + 1 == std::end(Moods) ? std::begin(Moods) : mood_ + 1;
            nextMood_ = now_ + moodLength_;
        }
        const Mood& m = *mood_;
        if (slots_.size() < 48 && chance(m.open))
            openView(chance(0.1));
        // A view going ends nothing of what its documents sent.
        if (slots_.size() > 2 && chance(m.close)) {
            const std::size_t at = uniform<std::size_t>(0, slots_.size() - 1);
            slots_[at] = slots_.back();
            slots_.pop_back();
        }
        for (std::size_t i = 0; i < slots_.size();) {
            if (slots_[i].overlay && slots_.size() > 2 && chance(0.1)) {
                slots_[i] = slots_.back();
                slots_.pop_back();
                continue;
            }
            // A creative that reloads itself: a new document of the same ad.
            if (slots_[i].selfReloading && chance(0.3)) {
                slots_[i].document = newId();
                for (int n = uniform(0, 4); n > 0; --n)
                    makePing(slots_[i], Kind::Tracker);
                if (chance(0.5))
                    makePing(slots_[i], Kind::Click);
            }
            ++i;
        }
        // The app refreshes a banner: a new ad in the same view.
        if (chance(m.refresh)) {
            Slot& s = slots_[uniform<std::size_t>(0, slots_.size() - 1)];
            s.ad = newId();
            s.document = newId();
            newAd(s);
        }
        if (chance(m.reload))
            slots_[uniform<std::size_t>(0, slots_.size() - 1)].document = newId();
        // An overlay or an expand's second part: the same ad in a new view.
        if (chance(m.overlay) && slots_.size() < 64) {
            Slot s = slots_[uniform<std::size_t>(0, slots_.size() - 1)];
            s.view = newId();
            s.document = newId();
            s.overlay = true;
            s.selfReloading = false;
            slots_.push_back(s);
            for (int n = chance(0.1) ? 16 : uniform(0, 3); n > 0; --n)
                makePing(slots_.back(), Kind::Tracker);
        }
        for (int n = poisson(m.pings); n > 0; --n) {
            const double kind = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
            makePing(slots_[uniform<std::size_t>(0, slots_.size() - 1)],
                     kind < m.clicks ? Kind::Click : kind < m.clicks + m.chains ? Kind::Chain : Kind::Tracker);
        }
        if (chance(m.burst)) {
            const Slot s = slots_[uniform<std::size_t>(0, slots_.size() - 1)];
            for (int n = uniform(10, 80); n > 0; --n)
                makePing(s, Kind::Tracker);
        }
        for (int n = poisson(m.cancels + static_cast<double>(live_.size()) / 400.0); n > 0 && !live_.empty(); --n) {
            ++totals_.cancels;
            release(live_[uniform<std::size_t>(0, live_.size() - 1)], End::Owner);
        }
        for (int n = poisson(0.3); n > 0; --n)
            appRequest();
        for (int n = poisson(m.loads); n > 0; --n) {
            Load load;
            load.stuck = chance(m.loadHang / 2);
            load.duration = chance(m.loadHang) ? uniform<Nanos>(5 * Second, 40 * Second) : uniform<Nanos>(20 * Milli, 2 * Second);
            const std::uint64_t id = newId();
            loads_[id] = load;
            loadQueue_.push_back(id);
        }
        // What the unit must shrug off: a hop of a ping it never admitted or has let go.
        if (chance(0.02)) {
            const PingId stranger = chance(0.5) ? 0 : (PingId{1} << 62) + uniform<PingId>(0, 1000);
            MODEL_CHECK(unit_.want(stranger, (HopId{1} << 62) + 1, hosts_[0].name, now_) == Wanted::Unknown,
                        "want() for a ping never admitted was not Unknown");
        }
        if (chance(0.02) && !pings_.empty()) {
            const auto& [id, p] = *pings_.rbegin();
            if (p.released)
                MODEL_CHECK(unit_.want(id, (HopId{1} << 62) + 2, hosts_[0].name, now_) == Wanted::Unknown,
                            "want() for released ping " << id << " was not Unknown");
        }
    }

    // --- the adversary ---
    // A hostile run's turn: each healthy view may make an impression or a click to a host that answers
    // (mostly the one that always does, else the one with a hanging path), and the adversary makes one of its
    // moves, or none.
    void hostileAct() {
        for (const Slot& s : healthy_)
            if (chance(0.4))
                makePing(s, Kind::Click, chance(0.7) ? healthyHost_ : sharedHost_, false, true);
        switch (uniform(0, 4)) {
        case 0: {
            // A creative with 3 trackers to a dead host, opening a screen every 1.2 s, each with one tracker.
            Slot c = hostileSlot();
            c.trackers = addHost(Server::Silent);
            c.until = now_ + uniform<Nanos>(4 * Second, 12 * Second);
            for (int n = 0; n < 3; ++n)
                makePing(c, Kind::Tracker, c.trackers);
            hostileAds_[c.view] = c;
            events_.insert({now_ + ScreenEvery, {Ev::Screen, c.view}});
            ++totals_.moves[0];
            break;
        }
        case 1: {
            // Views, each with one tracker to a host of its own that reads and never answers; half of them click
            // to a host that answers once their tracker is on its way.
            constexpr int Counts[] = {5, 20, 50};
            for (int n = Counts[uniform(0, 2)]; n > 0; --n) {
                const Slot v = hostileSlot();
                const bool clicks = chance(0.5);
                makePing(v, Kind::Tracker, addHost(Server::Silent), false, false, clicks);
                if (clicks)
                    hostileAds_[v.view] = v;
            }
            ++totals_.moves[1];
            break;
        }
        case 2:
            // One creative, one ping to the path that hangs on a host that answers every other at once.
            makePing(hostileSlot(), Kind::Click, sharedHost_, true);
            ++totals_.moves[2];
            break;
        case 3: {
            // An ad's own 16 or 48 trackers to hosts that read and never answer, then its clicks to a host that
            // answers.
            const Slot c = hostileSlot();
            for (int n = chance(0.5) ? 16 : 48; n > 0; --n)
                makePing(c, Kind::Tracker, addHost(Server::Silent));
            hostileAds_[c.view] = c;
            for (const Nanos at : {Second / 2, Second, 2 * Second, 3 * Second, 6 * Second})
                events_.insert({now_ + at, {Ev::Click, c.view, 0, c.ad}});
            ++totals_.moves[3];
            break;
        }
        default: break;
        }
    }

    Slot hostileSlot() {
        Slot s;
        s.view = newId();
        s.ad = newId();
        s.document = newId();
        return s;
    }

    // A hostile creative opens a screen: its ad and view, a document of its own, one tracker to a dead host
    // (its own or a new one).
    void screen(std::uint64_t view) {
        const auto c = hostileAds_.find(view);
        if (c == hostileAds_.end() || draining_ || now_ >= c->second.until)
            return;
        Slot screen = c->second;
        screen.document = newId();
        makePing(screen, Kind::Tracker, chance(0.5) ? screen.trackers : addHost(Server::Silent));
        ++totals_.screens;
        events_.insert({now_ + ScreenEvery, {Ev::Screen, view}});
    }

    // The promise to a watched ping (a healthy view's, or an ad's own click, to a host that answers within a
    // second): it is placed within a second, and its server reads it then, but in these limits, read from the
    // records (the servers' logs and what the engine started and ended), never from the unit. Returns the
    // limit that excuses its wait now, if any; -1 for none.
    int excuse(const HopRec& h) {
        // A host not heard from within the last 30 s cannot be told from a hostile try.
        if (!known(h.host))
            return 0;
        // A slow host, left slow by other views that asked for it: they go first, and while the reserve's
        // places are not all free of hops that are not sure, it waits for an ordinary place.
        if (slow(h.host) && slowByOthers(h))
            return 1;
        // Its ad has a hop under way to a host not yet slow: for a second at most from that hop's start.
        if (busy(h.owner.ad))
            return 2;
        // Every place held, one of the reserve's by a hop that looked exactly like a healthy click (its host
        // known and not slow, at its start or at a choice of the reserve since; its view with nothing under way
        // at its start) and has hung since.
        if (U_ >= l_.places)
            for (HopId id : P_) {
                const HopRec& o = hops_.at(id);
                if (o.reserveStart && o.sureSeen && o.emptyViewAtStart && now_ - o.startedAt > l_.slowAfter)
                    return 3;
            }
        // Its view's one reserve place held by a try of its own, taken from a view with nothing under way: until
        // that try's host turns slow, and past that while the reserve keeps no place free after the click.
        const std::size_t reserveHeld = U_ > ordinary_ ? U_ - ordinary_ : 0;
        for (HopId id : P_) {
            const HopRec& o = hops_.at(id);
            if (o.owner.view == h.owner.view && o.reserveStart && o.tryAtStart && o.emptyViewAtStart &&
                (classOf(o.host) != Class::SlowUnknown || reserveHeld + 1 >= l_.reserve))
                return 4;
        }
        // Its view has pings under way (its own trackers to dead hosts), and every place is held, one of the
        // reserve's by a sure hop of a view that had nothing under way: that view went first. A view with
        // nothing under way is never kept so.
        if (U_ >= l_.places && views_.at(h.owner.view).underWay > 0)
            for (HopId id : P_) {
                const HopRec& o = hops_.at(id);
                if (o.reserveStart && o.sureAtStart && o.emptyViewAtStart)
                    return 5;
            }
        return -1;
    }
    // Its host is slow by a hop of another view: under way over a second, or ended so within the last 30 s.
    bool slowByOthers(const HopRec& h) {
        for (const auto& [id, o] : hops_)
            if (o.underWay && o.host == h.host && o.owner.view != h.owner.view && now_ - o.startedAt > l_.slowAfter)
                return true;
        auto& by = slowBy_[h.host];
        std::erase_if(by, [&](const auto& mark) { return mark.second <= now_; });
        return std::any_of(by.begin(), by.end(), [&](const auto& mark) { return mark.first != h.owner.view; });
    }
    // At each pass, for each watched hop still waiting: how long it has waited unexcused.
    void checkPromise() {
        for (auto& [id, h] : hops_) {
            if (!h.p->watched || h.underWay)
                continue;
            const int why = excuse(h);
            if (why >= 0) {
                h.owedFrom = Never;
                totals_.excused[why] += (h.excused & (1u << why)) == 0;
                h.excused |= 1u << why;
                continue;
            }
            if (h.owedFrom == Never)
                h.owedFrom = now_;
            MODEL_CHECK(now_ - h.owedFrom <= Second,
                        "watched hop " << id << " (view " << h.owner.view << ", ad " << h.owner.ad << ") to "
                                       << hosts_[h.host].name << " has waited unexcused since "
                                       << h.owedFrom - start_ << ": " << reserveState(h));
        }
    }

    // --- the engine ---
    void step() {
        Nanos next = nextWake_;
        if (!draining_)
            next = std::min(next, nextTurn_);
        Nanos other = next;
        if (!dues_.empty())
            other = next = std::min(next, dues_.begin()->first);
        if (const auto stuck = unwritten_.lower_bound({now_ - StuckAfter + 1, 0}); stuck != unwritten_.end())
            other = next = std::min(next, stuck->first + StuckAfter);
        if (!events_.empty())
            next = std::min(next, events_.begin()->first);
        // A hop put back with less than the least life left is due at once.
        now_ = std::max(now_, next);
        // A server reading a request changes nothing the unit knows: nothing else due, no pass is needed.
        if (other > now_) {
            bool reads = true;
            for (auto e = events_.begin(); reads && e != events_.end() && e->first <= now_; ++e)
                reads = e->second.kind == Ev::Write;
            if (reads) {
                deliver();
                return;
            }
        }
        if (!dues_.empty() && dues_.begin()->first == now_)
            ++totals_.exactDeadlines;
        // Heads that come as a life ends are seen before it or after.
        if (chance(0.5)) {
            expire();
            deliver();
        } else {
            deliver();
            expire();
        }
        if (!draining_ && now_ >= nextTurn_) {
            if (hostile_)
                hostileAct();
            else
                act();
            nextTurn_ = now_ + exponential((hostile_ ? HostileTick : mood_->tick) / scale_);
        }
        ++totals_.passes;
        totals_.hopsSeen += hops_.size();
        totals_.drainPasses += draining_;
        place();
        startLoads();
        handedOff_ = false;
        handOffStuck();
        giveWay();
        checkPass();
        // The network thread looks at least once a second.
        nextWake_ = now_ + uniform<Nanos>(Milli, Second);
    }

    void expire() {
        const auto gone = unit_.expired(now_);
        std::vector<HopId> underWay;
        std::set<HopId> seen;
        for (HopId id : gone) {
            MODEL_CHECK(seen.insert(id).second, "expired() gave hop " << id << " twice");
            const auto it = hops_.find(id);
            MODEL_CHECK(it != hops_.end(), "expired() gave hop " << id << ", which is not here");
            const HopRec& h = it->second;
            const PingRec& p = pings_.at(h.ping);
            MODEL_CHECK(dueOf(h) <= now_, "expired() gave hop " << id << " before it was due at " << dueOf(h) - start_);
            if (h.underWay) {
                // Its server did not answer within the life.
                MODEL_CHECK(h.answerAt >= p.deadline, "hop " << id << " failed at its life, its answer due at "
                                                             << h.answerAt - start_);
                underWay.push_back(id);
            }
        }
        const auto candidates = reserveAfterLeaving(underWay);
        std::vector<std::pair<PingId, bool>> ended;
        for (HopId id : gone) {
            const HopRec h = hops_.at(id);
            if (!h.orphan)
                ended.push_back({h.ping, !h.underWay});
            dropHop(id);
        }
        afterCall(candidates, "expired()");
        for (const auto& [ping, waited] : ended) {
            PingRec& p = pings_.at(ping);
            p.waitedAtEnd = waited;
            ++(waited ? totals_.livesWaiting : totals_.livesUnderWay);
            release(ping, End::Life);
        }
        if (!gone.empty() && chance(0.3)) {
            unit_.hopEnded(gone.front(), now_);  // the engine's end of a transfer failed for its life
            afterCall({r_}, "hopEnded() of an expired hop");
        }
        // Nothing lives past its life, nor waits with less than the least life left.
        MODEL_CHECK(dues_.empty() || dues_.begin()->first > now_,
                    "hop " << dues_.begin()->second << ", due at " << dues_.begin()->first - start_
                           << ", was not given by expired()");
        const Nanos due = dues_.empty() ? Never : dues_.begin()->first;
        MODEL_CHECK(unit_.nextDeadline() == due, "nextDeadline() " << unit_.nextDeadline() << ", not " << due);
    }

    void deliver() {
        while (!events_.empty() && events_.begin()->first <= now_) {
            const Event e = events_.begin()->second;
            events_.erase(events_.begin());
            switch (e.kind) {
            case Ev::Write: written(e); break;
            case Ev::Answer:
            case Ev::Fail: answered(e); break;
            case Ev::Follow: follow(e.id); break;
            case Ev::OrphanEnd:
            case Ev::Stale: endHop(e.id, "hopEnded() of a cancelled hop"); break;
            case Ev::LoadEnd:
                if (auto load = loads_.find(e.id); load != loads_.end() && load->second.running) {
                    loads_.erase(load);
                    --loadsRunning_;
                }
                break;
            case Ev::AppHead: appHead(e.id); break;
            case Ev::Screen: screen(e.id); break;
            case Ev::Click:
                if (const auto c = hostileAds_.find(e.id); c != hostileAds_.end() && c->second.ad == e.ad && !draining_)
                    makePing(c->second, Kind::Click, healthyHost_, false, true);
                for (const Slot& s : slots_)
                    if (s.view == e.id && s.ad == e.ad && !draining_) {
                        makePing(s, Kind::Click);
                        break;
                    }
                break;
            }
        }
    }

    HopRec* current(const Event& e) {
        const auto it = hops_.find(e.id);
        return it != hops_.end() && it->second.underWay && it->second.generation == e.generation ? &it->second : nullptr;
    }

    // The server reads the request: the ping has arrived there.
    void written(const Event& e) {
        HopRec* h = current(e);
        if (h == nullptr)
            return;
        h->written = true;
        h->writtenAt = now_;
        unwritten_.erase({h->startedAt, e.id});
        PingRec& p = pings_.at(h->ping);
        ++totals_.reads;
        MODEL_CHECK(++p.reads[h->index] == 1, "the server read hop " << h->index << " of ping " << h->ping << " twice");
        if (h->index + 1 == p.chain.size())
            ++totals_.arrivals;
        if (p.watched) {
            // Its server's read, within a second of its last unexcused wait's start (and the server's own read).
            ++totals_.watchedRead;
            totals_.longestWatched = std::max(totals_.longestWatched, now_ - p.admittedAt);
            MODEL_CHECK(h->owedFrom == Never || now_ - h->owedFrom <= Second + PromptRead,
                        "watched ping " << h->ping << " read " << now_ - h->owedFrom << " ns after its wait began, unexcused, at "
                                        << h->owedFrom - start_);
        }
    }

    void answered(const Event& e) {
        HopRec* h = current(e);
        if (h == nullptr)
            return;
        const bool failed = e.kind == Ev::Fail;
        MODEL_CHECK(failed || h->written, "an answer before the request");
        if (!failed) {
            // The server's own log: a head within a second of its reading the request, and the host is known
            // to answer (the engine tells the unit the same).
            if (now_ - h->writtenAt <= l_.slowAfter)
                knowAnswers(h->host);
            tellAnswered(h->host, h->writtenAt);
        }
        const bool orphan = h->orphan;
        const PingId ping = h->ping;
        endHop(e.id, failed ? "hopEnded() of a refused hop" : "hopEnded() at a head");
        if (orphan)
            return;
        PingRec& p = pings_.at(ping);
        if (failed) {
            ++totals_.refused;
            release(ping, End::Refused);
        } else if (p.at + 1 < p.chain.size()) {
            events_.insert({now_ + (chance(0.7) ? 0 : uniform<Nanos>(1, FollowGap)), {Ev::Follow, ping}});
        } else {
            ++totals_.answered;
            release(ping, End::Answer);
        }
    }

    // The engine asks for a redirect's next hop.
    void follow(PingId id) {
        PingRec& p = pings_.at(id);
        const HopId hop = ++hopIds_;
        const int host = p.chain[p.at + 1];
        const Wanted w = unit_.want(id, hop, hosts_[host].name, now_);
        if (p.released) {
            MODEL_CHECK(w == Wanted::Unknown, "a redirect hop of released ping " << id << " was not Unknown");
            return;
        }
        const Wanted expected = lifeLeft(p) ? Wanted::Queued : Wanted::LifePassed;
        MODEL_CHECK(w == expected, "a redirect hop of ping " << id << " with " << p.deadline - now_
                                                             << " ns of life left: want() gave " << int(w));
        ++totals_.redirects;
        ++p.at;
        if (w == Wanted::LifePassed) {
            // It fails unsent, as a hop that waited past its least life.
            ++totals_.lifePassed;
            p.waitedAtEnd = true;
            release(id, End::Life);
            return;
        }
        addWaiting(hop, id, host);
        afterCall({r_}, "want()");
    }

    // Hop `h` takes a reserve place: the rules for the reserve, read from the records, over the holders as the
    // unit has them.
    void checkReserveTaken(HopId id, HopRec& h, Class c, std::size_t viewUnderWay) {
        static const char* const Names[] = {"sure", "a try", "slow, known", "slow, not known"};
        const std::string& host = hosts_[h.host].name;
        const Holders held = holders();
        MODEL_CHECK(r_ < l_.reserve, "a reserve place past the reserve");
        MODEL_CHECK(c != Class::SlowUnknown, "hop " << id << " to " << host << ", slow and not known to answer, took a reserve place");
        MODEL_CHECK(!busy(h.owner.ad), "hop " << id << " took a reserve place while its ad has a ping under way "
                                              << "to a host that is not slow");
        // A creative and its screens hold one reserve place, but for a sure hop beside its own tries whose hosts
        // have turned slow, still not known, while a reserve place stays free after it.
        h.besideOwn.clear();
        for (HopId other : P_) {
            const HopRec& o = hops_.at(other);
            if (o.owner.view != h.owner.view)
                continue;
            MODEL_CHECK(c == Class::Sure && r_ + 1 < l_.reserve && o.tryAtStart && classOf(o.host) == Class::SlowUnknown,
                        "view " << h.owner.view << " took a second reserve place: hop " << id << " to " << host << ", "
                                << Names[static_cast<int>(c)] << ", beside hop " << other << " to " << hosts_[o.host].name
                                << ", " << Names[static_cast<int>(classOf(o.host))]
                                << (o.tryAtStart ? ", a try at its start" : ", not a try at its start") << ", with " << r_
                                << " of " << l_.reserve << " reserve places held");
            h.besideOwn.push_back(other);
        }
        h.take = ++takes_;
        totals_.besideOwnTries += !h.besideOwn.empty();
        if (c != Class::Sure) {
            MODEL_CHECK(viewUnderWay == 0, "hop " << id << " to " << host << ", not sure, took a reserve place from a view with "
                                                  << viewUnderWay << " under way");
            // The last reserve place only ever goes to a sure hop.
            MODEL_CHECK(held.notSure + 1 < l_.reserve, "hop " << id << " to " << host << ", " << Names[static_cast<int>(c)]
                                                              << ", took a reserve place beside " << held.notSure
                                                              << " held by hops not sure, of " << l_.reserve);
        }
        if (c == Class::Try)
            MODEL_CHECK(held.tries == 0, "hop " << id << " to " << host << ", not known to answer, took a reserve place while "
                                                << "a try of another such host holds one");
        if (c == Class::Try)
            ++totals_.tries;
        else if (c == Class::Sure && held.tries > 0)
            ++totals_.besideTries;
        for (HopId holder : P_) {
            HopRec& o = hops_.at(holder);
            o.sureSeen = o.sureSeen || classOf(o.host) == Class::Sure;
        }
    }

    // Checks that hop `id` may take the place it gets now (a reserve place or not), and that no hop that may
    // take it ranks before it; then records its start.
    void started(HopId id, Asked asked, bool reserve) {
        const auto it = hops_.find(id);
        MODEL_CHECK(it != hops_.end(), "hop " << id << " started, which nothing waits for");
        HopRec& h = it->second;
        const PingRec& p = pings_.at(h.ping);
        MODEL_CHECK(!h.underWay, "hop " << id << " started again: its server would read it twice");
        MODEL_CHECK(!p.released && !h.orphan, "hop " << id << " of a ping let go started");
        MODEL_CHECK(U_ < l_.places, "a hop started past the " << l_.places << " places of pings");
        MODEL_CHECK(laneUnderWay(h) < l_.perHost, "hop " << id << " started past " << l_.perHost << " under way to "
                                                         << hosts_[h.host].name << " from its document");
        MODEL_CHECK(lifeLeft(p), "hop " << id << " started with " << p.deadline - now_ << " ns of its life left");
        MODEL_CHECK(asked == Asked::Any || !h.held, "hop " << id << ", which has held a place, took one as a fresh hop: "
                                                         << "a hop that never held one costs one put-back at most");
        if (asked == Asked::Owed)
            MODEL_CHECK(owedByRules(h, holders()), "a load gave way for hop " << id << ", owed no place");
        const bool slowHost = slow(h.host);
        const Class c = classOf(h.host);
        const ViewRec& view = views_.at(h.owner.view);
        if (reserve)
            checkReserveTaken(id, h, c, view.underWay);
        // The unit put it where the records say: on a reserve place exactly when the ordinary places were full
        // (settling moves nothing then).
        MODEL_CHECK(unit_.holdsReserve(id) == reserve, "hop " << id << " started on a" << (reserve ? " reserve" : "n ordinary")
                                                              << " place by the records; holdsReserve() says otherwise");
        h.reserveStart = reserve;
        h.tryAtStart = c == Class::Try;
        h.sureAtStart = h.sureSeen = c == Class::Sure;
        h.emptyViewAtStart = view.underWay == 0;
        // Of the hops owed a place, owed() gave the first (checkOwed).
        if (asked != Asked::Owed) {
            const Rank mine = rank(h);
            const Holders held = holders();
            bool pastOlder = false, pastDead = false;
            for (auto& [otherId, w] : hops_) {
                if (otherId == id || !mayStart(w) || (asked != Asked::Any && w.held))
                    continue;
                if (w.owner.view == h.owner.view && w.p->order < p.order)
                    pastOlder = true;
                if (w.owner.view == h.owner.view && w.p->order < p.order && w.index == 0 && slow(w.host))
                    pastDead = true;
                if (reserve && !reserveAllows(w, held))
                    continue;
                const Rank theirs = rank(w);
                MODEL_CHECK(mine < theirs,
                            "hop " << id << " (view " << h.owner.view << ", " << std::get<0>(mine) << " under way, turn "
                                   << std::get<1>(mine) << ", " << std::get<2>(mine) << " waiting, class "
                                   << std::get<3>(mine) << ", " << std::get<4>(mine) << " on its host, ping "
                                   << std::get<5>(mine) << ") took a" << (reserve ? " reserve" : "n ordinary")
                                   << " place before hop " << otherId << " (view " << w.owner.view << ", "
                                   << std::get<0>(theirs) << ", turn " << std::get<1>(theirs) << ", "
                                   << std::get<2>(theirs) << ", class " << std::get<3>(theirs) << ", "
                                   << std::get<4>(theirs) << ", ping " << std::get<5>(theirs) << ")");
            }
            if (h.index > 0 && pastOlder)
                ++totals_.redirectsFirst;
            if (h.index == 0 && !slowHost && pastDead)
                ++totals_.pastDeadHosts;
        }
        ++totals_.starts;
        totals_.reserveStarts += reserve;
        totals_.slowStarts += slowHost;
        recordStart(id, reserve);
    }

    void place() {
        for (;;) {
            const std::size_t free = webFree();
            const bool reserve = ordinaryFull();
            const auto hop = unit_.next(free, now_);
            if (!hop) {
                afterCall({r_}, "next() that started nothing");
                return;
            }
            MODEL_CHECK(free > 0, "next() started hop " << *hop << " with no free place");
            started(*hop, Asked::Any, reserve);
            afterCall({r_ + reserve}, "next()");
        }
    }

    void startLoads() {
        while (webFree() > 0 && !loadQueue_.empty()) {
            const std::uint64_t id = loadQueue_.front();
            loadQueue_.pop_front();
            startLoad(id);
        }
    }

    void startLoad(std::uint64_t id) {
        Load& load = loads_.at(id);
        load.running = true;
        load.startedAt = now_;
        ++loadsRunning_;
        events_.insert({now_ + (load.stuck ? 20 * Second : load.duration), {Ev::LoadEnd, id}});
    }

    bool freshWaits() const { return !loadQueue_.empty() || fresh_ > 0; }

    // Web content that has held its place StuckAfter without writing its request hands it to a fresh hop
    // (the unit's choice), else to a fresh load.
    void handOffStuck() {
        std::vector<HopId> stuck;
        for (const auto& [at, id] : unwritten_) {
            if (now_ - at < StuckAfter)
                break;
            stuck.push_back(id);
        }
        // The engine looks when something fresh waits, and now and then besides; here it stops looking once
        // two in a row found nothing to take their places, as the rest would find the same.
        if (!stuck.empty() && (freshWaits() || chance(0.05))) {
            int idle = 0;
            for (HopId id : stuck)
                if (idle < 2)
                    idle = handOff(id) ? 0 : idle + 1;
        }
        std::vector<std::uint64_t> stuckLoads;
        for (const auto& [id, load] : loads_)
            if (load.running && load.stuck && now_ - load.startedAt >= StuckAfter)
                stuckLoads.push_back(id);
        for (std::uint64_t id : stuckLoads) {
            const bool reserve = ordinaryFull();
            if (const auto hop = unit_.next(1, now_, Only::Fresh)) {
                // The load goes back to wait; it has had its place, so it takes nobody's.
                loads_.erase(id);
                --loadsRunning_;
                ++totals_.loadHandOffs;
                started(*hop, Asked::Fresh, reserve);
                afterCall({r_ + reserve}, "next(Fresh) for a stuck load's place");
            } else {
                afterCall({r_}, "next(Fresh) that started nothing");
                if (loadQueue_.empty())
                    continue;
                loads_.erase(id);
                --loadsRunning_;
                const std::uint64_t fresh = loadQueue_.front();
                loadQueue_.pop_front();
                startLoad(fresh);
            }
        }
    }

    // True when the place went to a fresh hop or load.
    bool handOff(HopId id) {
        const auto it = hops_.find(id);
        if (it == hops_.end() || !it->second.underWay || it->second.written)
            return true;
        const std::size_t U0 = U_, W0 = W_, r0 = r_;
        const bool orphan = it->second.orphan;
        const auto taker = unit_.handOff(id, now_);
        if (!taker) {
            MODEL_CHECK(unit_.underWay() == U0 && unit_.waiting() == W0 && unit_.reserveHeld() == r0,
                        "handOff() changed what is held and started nothing");
            ++totals_.handOffsIdle;
            return noTaker(id);
        }
        ++totals_.handOffs;
        handedOff_ = true;
        {
            const HopRec& stuck = it->second;
            const HopRec& took = hops_.at(*taker);
            const ViewRec& giver = views_.at(stuck.owner.view);
            const ViewRec& takerView = views_.at(took.owner.view);
            const auto giverTurn = std::make_pair(giver.underWay - 1,
                                                  giver.turn == stuck.turnTaken ? stuck.turnBefore : giver.turn);
            MODEL_CHECK(took.owner.view == stuck.owner.view ||
                            !(giverTurn < std::make_pair(takerView.underWay, takerView.turn)),
                        "handOff() gave stuck hop " << id << "'s place to hop " << *taker
                                                    << " of a view whose turn comes after its own, never served");
        }
        // The stuck hop waits again, in its turn and on its ping's life (never written, never read); one whose
        // ping was let go leaves.
        r_ = reserveAfterLeaving({id}).front();
        leavePlace(id, true);
        if (orphan)
            dropHop(id);
        // The taker's place: a reserve one when the ordinary places are full without the stuck hop.
        const bool reserve = ordinaryFull();
        started(*taker, Asked::Fresh, reserve);
        afterCall({r_ + reserve}, orphan ? "handOff() of a hop whose ping was let go" : "handOff()");
        return true;
    }

    // handOff() found no fresh hop to take the stuck hop's place: none may, by the records, where they can tell
    // which place it is.
    bool noTaker(HopId id) {
        const HopRec& s = hops_.at(id);
        {
            // Its place: a reserve one only when it holds one and the ordinary places stay full without it.
            const bool reservePlace = P_.count(id) > 0 && U_ - r_ >= ordinary_;
            // Without it: the rules read as it leaves.
            const Holders held = holders(id);
            // Another view's hop takes it only when that view's turn comes first, the stuck hop counted as
            // waiting.
            const ViewRec& giver = views_.at(s.owner.view);
            const auto giverTurn =
                std::make_pair(giver.underWay - 1, giver.turn == s.turnTaken ? s.turnBefore : giver.turn);
            --*s.lane;
            for (auto& [otherId, w] : hops_) {
                if (otherId == id || w.held || !mayStart(w))
                    continue;
                const ViewRec& taker = views_.at(w.owner.view);
                if (w.owner.view != s.owner.view && giverTurn < std::make_pair(taker.underWay, taker.turn))
                    continue;
                const bool may = !reservePlace || reserveAllows(w, held);
                MODEL_CHECK(!may, "handOff() of stuck hop " << id << " found no taker, while fresh hop " << otherId
                                                            << " may take its " << (reservePlace ? "reserve" : "ordinary")
                                                            << " place");
            }
            ++*s.lane;
        }
        // No fresh hop: a fresh load takes the place, and the stuck hop waits again.
        if (loadQueue_.empty())
            return false;
        const bool orphan = s.orphan;
        auto candidates = reserveAfterLeaving({id});
        leavePlace(id, true);
        if (orphan)
            dropHop(id);
        unit_.putBack(id, now_);
        afterCall(candidates, orphan ? "putBack() of a hop whose ping was let go" : "putBack()");
        ++totals_.putBacks;
        handedOff_ = true;
        const std::uint64_t fresh = loadQueue_.front();
        loadQueue_.pop_front();
        startLoad(fresh);
        return true;
    }

    // While every place of web content is held, a load that has held its place LeastHold gives it to a fresh
    // hop owed one: one load for each such hop.
    void giveWay() {
        // The engine asks whenever every place is held; asked with no fresh hop waiting, owed() must say none.
        if (fresh_ == 0 && !chance(0.05))
            return;
        while (webFree() == 0) {
            const auto owed = unit_.owed(now_);
            checkOwed(owed);
            if (!owed || hops_.at(*owed).causedGiveWay)
                return;
            std::optional<std::uint64_t> longest;
            for (const auto& [id, load] : loads_)
                if (load.running && !load.stuck && now_ - load.startedAt >= LeastHold &&
                    (!longest || load.startedAt < loads_.at(*longest).startedAt))
                    longest = id;
            if (!longest)
                return;
            loads_.erase(*longest);
            --loadsRunning_;
            ++totals_.givenWay;
            const bool reserve = ordinaryFull();
            const auto hop = unit_.next(1, now_, Only::Owed);
            MODEL_CHECK(hop == owed, "a load gave way for hop " << *owed << ", and next(Owed) started " << got(hop));
            started(*hop, Asked::Owed, reserve);
            hops_.at(*hop).causedGiveWay = true;
            afterCall({r_ + reserve}, "next(Owed)");
        }
    }

    // owed() against the rules: the first of the hops owed a place (see owedByRules), or none when none is.
    void checkOwed(std::optional<HopId> owed) {
        if (U_ >= l_.places) {
            MODEL_CHECK(!owed, "owed() with every place of pings held");
            return;
        }
        const Holders held = holders();
        std::optional<Rank> mine;
        if (owed) {
            const auto it = hops_.find(*owed);
            MODEL_CHECK(it != hops_.end() && !it->second.underWay, "owed() gave hop " << *owed << ", which does not wait");
            const HopRec& h = it->second;
            MODEL_CHECK(!h.held, "owed() gave hop " << *owed << ", which has held a place");
            MODEL_CHECK(owedByRules(h, holders()),
                        "owed() gave hop " << *owed << ", owed no place: its view holds " << views_.at(h.owner.view).underWay
                                           << " of its share " << share() << ", " << U_ - r_ << " of " << ordinary_
                                           << " ordinary places held, " << r_ << " reserve places");
            mine = rank(h);
        }
        for (auto& [id, w] : hops_) {
            if (id == owed.value_or(0) || !owedByRules(w, held))
                continue;
            MODEL_CHECK(owed, "owed() gave nothing, while hop " << id << " is owed a place");
            MODEL_CHECK(*mine < rank(w), "owed() gave hop " << *owed << ", while hop " << id
                                                            << ", owed a place too, ranks before it");
        }
    }

    bool loadMayGiveWay() const {
        for (const auto& [id, load] : loads_)
            if (load.running && !load.stuck && now_ - load.startedAt >= LeastHold)
                return true;
        return false;
    }

    void checkBound() {
        // Lives are bounded: the process holds at most its quota and a floor for each ad that made a ping
        // within a life (and the moment a redirect's next hop is asked for).
        for (auto it = lastAdmission_.begin(); it != lastAdmission_.end();)
            it = now_ - it->second > l_.life + FollowGap ? lastAdmission_.erase(it) : std::next(it);
        const std::size_t ads = lastAdmission_.size();
        MODEL_CHECK(process_.pings <= l_.processPings + l_.adFloorPings * ads &&
                        process_.bytes <= l_.processBytes + l_.adFloorBytes * ads,
                    process_.pings << " pings, " << process_.bytes << " bytes admitted past the quota and the floors of "
                                   << ads << " ads");
    }

    // A creative and its screens hold one reserve place, but for a sure hop beside its own tries whose hosts had
    // turned slow, still not known, while a reserve place stayed free after it: judged as that hop took its
    // place (checkReserveTaken), from the records then. So each view's holders now are the one that took its
    // place last and, besides it, only hops it was let sit beside.
    void checkViewsOnReserve() {
        std::map<std::uint64_t, const HopRec*> last;
        for (HopId id : P_) {
            const HopRec& o = hops_.at(id);
            MODEL_CHECK(o.take > 0, "hop " << id << " holds a reserve place it never took");
            const HopRec*& l = last[o.owner.view];
            if (l == nullptr || o.take > l->take)
                l = &o;
        }
        for (HopId id : P_) {
            const HopRec& o = hops_.at(id);
            const HopRec& l = *last.at(o.owner.view);
            if (&o == &l)
                continue;
            MODEL_CHECK(std::find(l.besideOwn.begin(), l.besideOwn.end(), id) != l.besideOwn.end(),
                        "view " << o.owner.view << " holds more than one reserve place: hop " << id
                                << " to " << hosts_[o.host].name << " and a later taker to " << hosts_[l.host].name
                                << " that was not let sit beside it");
        }
    }

    void checkPass() {
        MODEL_CHECK(U_ + loadsRunning_ <= webPlaces_, "more under way than web content's places");
        MODEL_CHECK(unit_.admitted() == process_.pings && unit_.admittedBytes() == process_.bytes, "admitted() is off");
        MODEL_CHECK(settled(r_) == r_, r_ << " reserve places held with " << U_ - r_ << " of " << ordinary_
                                          << " ordinary places held, and nothing waiting may take one");
        checkViewsOnReserve();
        checkBound();
        if (hostile_)
            checkPromise();
        const bool reserve = ordinaryFull();
        const Holders held = holders();
        const bool loadMay = loadMayGiveWay();
        const std::size_t shares = share();
        std::set<HopId> owedNow;
        for (auto& [id, h] : hops_) {
            if (!mayStart(h))
                continue;
            // Nothing that may start waits while a place it may take is free (after a hand-off, from the engine's
            // next look: the hops that hold places have changed since it looked).
            if (webFree() > 0 && !handedOff_) {
                MODEL_CHECK(reserve, "hop " << id << " waits with " << webFree() << " places free and "
                                            << ordinary_ - (U_ - r_) << " ordinary places");
                if (r_ < l_.reserve)
                    MODEL_CHECK(!reserveAllows(h, held),
                                "hop " << id << " may take one of " << l_.reserve - r_ << " free reserve places, with "
                                       << webFree() << " places free, and waits: " << reserveState(h));
            }
            // A hop the reserve is for (reserveAllows, whoever holds its places) gets a place within a second,
            // with a place free or a load that may give way for it.
            if (!reserveAllows(h, held)) {
                // A try kept off by another try alone.
                if (!h.keptOff && held.tries > 0 && classOf(h.host) == Class::Try) {
                    Holders alone = held;
                    alone.tries = 0;
                    if (reserveAllows(h, alone)) {
                        ++totals_.keptOffByTries;
                        h.keptOff = true;
                    }
                }
                continue;
            }
            if (webFree() == 0 && !(loadMay && owedByRules(h, held)))
                continue;
            owedNow.insert(id);
            const Nanos since = owedSince_.try_emplace(id, now_).first->second;
            totals_.longestOwedWait = std::max(totals_.longestOwedWait, now_ - since);
            MODEL_CHECK(now_ - since <= Second, "hop " << id << " (view " << h.owner.view << ", ad " << h.owner.ad
                                                       << ") to " << hosts_[h.host].name << " has been owed a place since "
                                                       << since - start_);
        }
        for (auto it = owedSince_.begin(); it != owedSince_.end();)
            it = owedNow.count(it->first) ? std::next(it) : owedSince_.erase(it);
        const Nanos due = dues_.empty() ? Never : dues_.begin()->first;
        MODEL_CHECK(unit_.nextDeadline() == due, "nextDeadline() " << unit_.nextDeadline() << ", not " << due);
        if (++passes_ % 64 == 0) {
            MODEL_CHECK(unit_.share() == shares, "share() " << unit_.share() << ", not " << shares);
            for (const auto& [view, v] : views_)
                MODEL_CHECK(unit_.underWayFor(view) == v.underWay, "underWayFor(" << view << ") is off");
            for (const auto& [ad, c] : adCounts_)
                MODEL_CHECK(unit_.admittedForAd(ad) == c.pings, "admittedForAd(" << ad << ") is off");
        }
    }

    PingScheduler unit_;
    const Limits l_;
    const std::size_t ordinary_;
    const std::uint32_t seed_;
    std::mt19937_64 random_;
    const std::size_t webPlaces_;
    const double scale_;
    const Nanos start_;
    Nanos now_;
    Totals& totals_;
    const Mood* mood_ = &Moods[0];
    Nanos nextMood_ = 0;
    Nanos moodLength_ = 0;
    Nanos nextTurn_ = 0;
    Nanos nextWake_ = 0;
    bool draining_ = false;
    bool handedOff_ = false;  // a stuck hop handed its place on in this pass
    std::size_t passes_ = 0;

    std::vector<Host> hosts_;
    std::vector<int> answering_, dead_;
    int edge_ = 0;
    // The hostile run: its healthy views, the host they mostly use, the host whose one path hangs and
    // answers every other at once, and the hostile creatives that open screens or click later, by view.
    bool hostile_ = false;
    std::vector<Slot> healthy_;
    int healthyHost_ = 0, sharedHost_ = 0;
    std::map<std::uint64_t, Slot> hostileAds_;
    std::vector<Slot> slots_;
    std::uint64_t ids_ = 0;
    HopId hopIds_ = 0;
    std::uint64_t orders_ = 0;
    std::uint64_t turns_ = 0;

    std::map<PingId, PingRec> pings_;
    std::vector<PingId> live_;  // admitted, not yet let go
    std::unordered_map<PingId, std::size_t> liveIndex_;
    std::unordered_map<HopId, HopRec> hops_;  // waiting or under way in the unit
    std::map<std::uint64_t, ViewRec> views_;  // views with a hop here
    std::map<std::pair<std::uint64_t, int>, std::size_t> lanes_;       // document and host: under way (kept at 0)
    std::map<std::uint64_t, std::map<int, std::size_t>> adHosts_;      // ad, host: under way
    std::map<int, std::multiset<Nanos>> hostStarts_;                    // when each hop under way to it started
    std::map<int, Nanos> slowUntil_;                                    // slow until, after hops that were slow
    std::map<int, Nanos> knownUntil_;                                   // known to answer until
    std::map<int, std::vector<std::pair<std::uint64_t, Nanos>>> slowBy_;  // hops that left it slow: view, until
    std::map<std::uint64_t, std::pair<int, Nanos>> appRequests_;        // the app's requests: host, written at
    std::vector<bool> slow_;      // per host, as read at
    std::vector<Nanos> slowAt_;
    std::set<std::pair<Nanos, HopId>> dues_;       // when each hop here is due to fail
    std::set<std::pair<Nanos, HopId>> unwritten_;  // under way without their requests written, by start
    std::set<HopId> underWay_;                     // hops under way
    std::set<HopId> P_;                            // hops on reserve places, as the unit says after each call
    std::uint64_t takes_ = 0;                      // reserve places taken
    std::size_t r_ = 0;                            // reserve places held
    std::size_t U_ = 0;                            // under way
    std::size_t W_ = 0;                            // waiting
    std::size_t fresh_ = 0;                        // waiting, never having held a place
    std::map<HopId, Nanos> owedSince_;
    std::unordered_map<std::uint64_t, Count> adCounts_;
    std::map<std::uint64_t, Nanos> lastAdmission_;
    Count process_;
    std::map<Refusal, std::size_t> refusals_;
    std::multimap<Nanos, Event> events_;
    std::map<std::uint64_t, Load> loads_;
    std::deque<std::uint64_t> loadQueue_;
    std::size_t loadsRunning_ = 0;
};

#undef MODEL_CHECK

int fromEnv(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// RUZAVE_PING_MODEL_SEED picks the first seed, RUZAVE_PING_MODEL_SEEDS how many, RUZAVE_PING_MODEL_SECONDS the
// simulated seconds of each.
void runModel(const Config& config) {
    const int first = fromEnv("RUZAVE_PING_MODEL_SEED", 1);
    const int seeds = fromEnv("RUZAVE_PING_MODEL_SEEDS", config.seeds);
    const int seconds = fromEnv("RUZAVE_PING_MODEL_SECONDS", config.seconds);
    Totals t;
    for (int seed = first; seed < first + seeds; ++seed) {
        const Nanos start = ClockStarts[static_cast<std::size_t>(seed) % std::size(ClockStarts)];
        INFO(std::string(config.name) << ", seed " << seed << ": RUZAVE_PING_MODEL_SEED=" << seed
                         << " RUZAVE_PING_MODEL_SEEDS=1 repeats it");
        Model model(static_cast<std::uint32_t>(seed), config, start, t);
        model.run(seconds * Second);
        model.drain();
        model.finish();
    }
    MESSAGE(std::string(config.name) << ", seeds " << first << "-" << first + seeds - 1 << ", " << t.seconds << " simulated s: admitted "
                        << t.admitted << " (" << t.floorPastQuota << " within a floor past a quota, most at once "
                        << t.mostAdmitted << "), refused " << t.adRefusals << " by ads, " << t.processRefusals
                        << " by the process; read " << t.reads << ", arrived " << t.arrivals << ", answered "
                        << t.answered << " (" << t.clicks << " clicks), connections refused " << t.refused
                        << ", cancelled " << t.cancels << " (" << t.orphans << " under way); lives ended "
                        << t.livesWaiting << " waiting, " << t.livesUnderWay << " under way, " << t.lifePassed
                        << " at a redirect; redirects " << t.redirects << "; starts " << t.starts << " ("
                        << t.reserveStarts << " on reserve, " << t.slowStarts << " to slow hosts, " << t.redirectsFirst
                        << " redirects before older pings, " << t.pastDeadHosts
                        << " before older pings to slow hosts; on reserve, " << t.tries << " tries of hosts not known to answer, "
                        << t.besideTries << " to hosts known to beside a try (" << t.besideOwnTries
                        << " beside their own view's turned slow), " << t.keptOffByTries
                        << " hops kept off by a try), reserve hops moved " << t.moved << "; the app's requests "
                        << t.appRequests << ", hosts told answering " << t.answeredCalls << "; stuck hops handed off "
                        << t.handOffs << " (" << t.handOffsIdle << " found no taker), put back for loads " << t.putBacks
                        << ", stuck loads' places to pings " << t.loadHandOffs << ", loads given way " << t.givenWay
                        << "; longest owed wait " << static_cast<double>(t.longestOwedWait) / Second
                        << " s, deadlines met exactly " << t.exactDeadlines << "; passes " << t.passes << " (" << t.drainPasses << " draining), hops per pass "
                        << static_cast<double>(t.hopsSeen) / static_cast<double>(std::max<std::size_t>(1, t.passes)));
    if (config.hostile)
        MESSAGE("hostile moves: " << t.moves[0] << " creatives opening screens (" << t.screens << " screens), " << t.moves[1]
                                  << " bursts of views with dead trackers, " << t.moves[2] << " pings to the hanging path, "
                                  << t.moves[3] << " ads with dead trackers and later clicks; watched pings " << t.watched
                                  << ", read " << t.watchedRead << ", the longest from its making "
                                  << static_cast<double>(t.longestWatched) / Second << " s; excused by: host not known "
                                  << t.excused[0] << ", host left slow by other views " << t.excused[1] << ", own ad busy "
                                  << t.excused[2] << ", reserve taken by clicks that hang " << t.excused[3]
                                  << ", own try on its view's reserve place " << t.excused[4]
                                  << ", a view with fewer under way first " << t.excused[5]);
    if (seeds < config.seeds || seconds < config.seconds)
        return;  // too short a run to be held to what the full one reaches
    if (config.hostile) {
        CHECK(t.watchedRead > 0);
        CHECK(t.tries > 0);
        CHECK(t.besideTries > 0);
        if (config.limits.reserve > 2)  // with fewer, a try leaves no place another try could be kept off
            CHECK(t.keptOffByTries > 0);
        if (config.limits.reserve <= 5) {  // with more, the reserve seldom fills
            CHECK(t.excused[3] > 0);
            CHECK(t.excused[4] > 0);
        }
        return;
    }
    CHECK(t.floorPastQuota > 0);
    CHECK(t.adRefusals + t.processRefusals > 0);
    CHECK(t.livesWaiting > 0);
    CHECK(t.livesUnderWay > 0);
    CHECK(t.reserveStarts > 0);
    CHECK(t.redirectsFirst > 0);
    CHECK(t.pastDeadHosts > 0);
    CHECK(t.handOffs > 0);
    CHECK(t.givenWay > 0);
    if (!config.triesSeen || config.limits.reserve < 2)  // the last reserve place is never a try's
        return;
    CHECK(t.tries > 0);
    CHECK(t.besideTries > 0);
}

Limits tightQuotas() {
    Limits l;
    l.places = 4;
    l.reserve = 1;
    l.perHost = 1;
    l.adPings = 6;
    l.adBytes = 48u << 10;
    l.processPings = 40;
    l.processBytes = 300u << 10;
    l.adFloorPings = 2;
    l.adFloorBytes = 8u << 10;
    return l;
}

} // namespace

TEST_CASE("PingScheduler: on a simulated network every admitted ping is read once or ends at its life, at 64 descriptors") {
    runModel({"defaults (64 descriptors)", Limits{}, 1, 0.3, 200, 4});
}

TEST_CASE("PingScheduler: on a simulated network every admitted ping is read once or ends at its life, at 256 descriptors") {
    runModel({"limitsFor(53, 6) (256 descriptors)", PingScheduler::limitsFor(53, 6), 6, 1.2, 25, 2});
}

TEST_CASE("PingScheduler: on a simulated network every admitted ping is read once or ends at its life, at 1,024 descriptors") {
    runModel({"limitsFor(256, 6) (1,024 descriptors)", PingScheduler::limitsFor(256, 6), 6, 3.0, 12, 2,
              false});  // by the time its ordinary places fill, every host has answered or turned slow
}

TEST_CASE("PingScheduler: on a simulated network every admitted ping is read once or ends at its life, under tight quotas") {
    runModel({"tight quotas", tightQuotas(), 2, 0.3, 150, 4});
}

// Beside the healthy views, an adversary that each turn picks one of its moves: a creative opening screens
// with dead trackers, bursts of views each with one dead tracker, a ping to the one hanging path of a host
// that answers every other, an ad's own 16 or 48 dead trackers and then its clicks.
TEST_CASE("PingScheduler: beside hostile creatives a healthy view's ping to a host that answers is read within a second, at 64 descriptors") {
    runModel({"hostile, defaults (64 descriptors)", Limits{}, 1, 1.0, 40, 2, true, true});
}

TEST_CASE("PingScheduler: beside hostile creatives a healthy view's ping to a host that answers is read within a second, at 128 descriptors") {
    runModel({"hostile, limitsFor(16, 4) (128 descriptors)", PingScheduler::limitsFor(16, 4), 1, 1.0, 40, 2, true, true});
}

TEST_CASE("PingScheduler: beside hostile creatives a healthy view's ping to a host that answers is read within a second, at 256 descriptors") {
    runModel({"hostile, limitsFor(53, 6) (256 descriptors)", PingScheduler::limitsFor(53, 6), 1, 1.0, 30, 2, true, true});
}

TEST_CASE("PingScheduler: beside hostile creatives a healthy view's ping to a host that answers is read within a second, at 1,024 descriptors") {
    runModel({"hostile, limitsFor(256, 6) (1,024 descriptors)", PingScheduler::limitsFor(256, 6), 1, 1.0, 30, 2, true, true});
}
