#include "platform/net/PingScheduler.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace platform {

namespace {
// Saturated: a time past the clock's range never comes.
PingScheduler::Nanos later(PingScheduler::Nanos now, PingScheduler::Nanos by) {
    const PingScheduler::Nanos most = std::numeric_limits<PingScheduler::Nanos>::max();
    return now > most - by ? most : now + by;
}
} // namespace

PingScheduler::Limits PingScheduler::limitsFor(std::size_t webContentPlaces, std::size_t loadsReserve) {
    Limits limits;
    limits.places = webContentPlaces > loadsReserve ? webContentPlaces - loadsReserve : 1;
    limits.reserve = limits.places <= 1 ? 0 : std::min(limits.places - 1, std::max<std::size_t>(2, limits.places / 8));
    return limits;
}

const char* PingScheduler::describe(Refusal refusal) {
    switch (refusal) {
    case Refusal::None: return "admitted";
    case Refusal::AdQuota: return "past its ad's quota of pings";
    case Refusal::ProcessQuota: return "past the process's quota of pings";
    }
    return "refused";
}

PingScheduler::PingScheduler(Limits limits) : limits_(limits) {}

bool PingScheduler::fits(const Count& count, std::size_t bytes, std::size_t pings, std::size_t most) {
    return count.pings < pings && bytes <= most && count.bytes <= most - bytes;
}

PingScheduler::Admission PingScheduler::admit(const Owner& owner, std::size_t bytes, Nanos now) {
    const Count& ad = countOf(adCounts_, owner.ad, Count{});
    if (!fits(ad, bytes, limits_.adFloorPings, limits_.adFloorBytes)) {
        Refusal refusal = Refusal::None;
        if (!fits(ad, bytes, limits_.adPings, limits_.adBytes)) refusal = Refusal::AdQuota;
        else if (!fits(process_, bytes, limits_.processPings, limits_.processBytes)) refusal = Refusal::ProcessQuota;
        if (refusal != Refusal::None) {
            ++refusals_[refusal];
            return {0, refusal};
        }
    }
    const PingId id = nextPing_++;
    Ping& ping = pings_[id];
    ping.owner = owner;
    ping.bytes = bytes;
    ping.order = id;
    ping.deadline = later(now, limits_.life);
    for (Count* count : {&adCounts_[owner.ad], &process_}) {
        ++count->pings;
        count->bytes += bytes;
    }
    return {id, Refusal::None};
}

void PingScheduler::release(PingId id, Nanos now) {
    auto found = pings_.find(id);
    if (found == pings_.end() || found->second.released) return;
    Ping& ping = found->second;
    ping.released = true;
    Count& count = adCounts_.at(ping.owner.ad);
    --count.pings;
    count.bytes -= ping.bytes;
    if (count.pings == 0) adCounts_.erase(ping.owner.ad);
    --process_.pings;
    process_.bytes -= ping.bytes;
    // A hop still waiting will not go; one under way keeps its place until the caller's cancel ends it.
    if (ping.hop != 0 && !ping.underWay) forget(id, ping, now);
    if (ping.hop == 0) pings_.erase(found);
    settle(now);
}

PingScheduler::Wanted PingScheduler::want(PingId id, HopId hop, const std::string& host, Nanos now) {
    auto found = pings_.find(id);
    if (found == pings_.end() || found->second.released || found->second.hop != 0) return Wanted::Unknown;
    Ping& ping = found->second;
    if (lifeTooShort(ping, now)) return Wanted::LifePassed;
    ping.hop = hop;
    ping.host = host;
    ping.redirect = ping.answered;
    ping.held = false;
    hops_.emplace(hop, id);
    // A view that begins to wait has not been served since.
    if (viewHops_[ping.owner.view]++ == 0) viewTurns_[ping.owner.view] = 0;
    list(id, ping);
    return Wanted::Queued;
}

bool PingScheduler::lifeTooShort(const Ping& ping, Nanos now) const {
    return ping.deadline != std::numeric_limits<Nanos>::max() && ping.deadline - limits_.leastLife < now;
}

PingScheduler::Nanos PingScheduler::dueOf(const Ping& ping) const {
    // Waiting, it fails as soon as less than the least life is left; under way, at its life's end. A life
    // that ends past the clock's range never does.
    if (ping.underWay || ping.deadline == std::numeric_limits<Nanos>::max()) return ping.deadline;
    return ping.deadline - limits_.leastLife + 1;
}

void PingScheduler::place(PingId id, Ping& ping, bool reserve, Nanos startedAt) {
    const Owner& owner = ping.owner;
    unlist(id, ping);
    ping.underWay = true;
    ping.reserve = reserve;
    ping.held = true;
    ping.startedAt = startedAt;
    ++viewsUnderWay_[owner.view];
    viewTurns_[owner.view] = ++turns_;
    ++viewHostsUnderWay_[HostKey{owner.view, ping.host}];
    ++lanesUnderWay_[HostKey{owner.document, ping.host}];
    ++adHostsUnderWay_[HostKey{owner.ad, ping.host}];
    hostStarts_[ping.host].insert(startedAt);
    if (reserve) {
        ++reserveHeld_;
        onReserve_.insert(id);
    } else {
        ++ordinaryHeld_;
    }
    list(id, ping);
}

void PingScheduler::unplace(Ping& ping, Nanos now) {
    const Owner& owner = ping.owner;
    const PingId id = hops_.at(ping.hop);
    unlist(id, ping);
    drop(viewsUnderWay_, owner.view);
    drop(viewHostsUnderWay_, HostKey{owner.view, ping.host});
    drop(lanesUnderWay_, HostKey{owner.document, ping.host});
    drop(adHostsUnderWay_, HostKey{owner.ad, ping.host});
    auto starts = hostStarts_.find(ping.host);
    starts->second.erase(starts->second.find(ping.startedAt));
    if (starts->second.empty()) hostStarts_.erase(starts);
    // It was under way long enough without its head: its host stays slow a while.
    if (now - ping.startedAt > limits_.slowAfter) slow_.mark(ping.host, later(now, limits_.slowFor));
    if (ping.reserve) {
        --reserveHeld_;
        onReserve_.erase(id);
    } else {
        --ordinaryHeld_;
    }
    ping.underWay = ping.reserve = false;
    list(id, ping);
}

void PingScheduler::forget(PingId id, Ping& ping, Nanos now) {
    if (ping.underWay) unplace(ping, now);
    unlist(id, ping);
    const std::uint64_t view = ping.owner.view;
    if (--viewHops_.at(view) == 0) {
        viewHops_.erase(view);
        viewTurns_.erase(view);
    }
    hops_.erase(ping.hop);
    ping.hop = 0;
}

void PingScheduler::hopEnded(HopId hop, Nanos now) {
    auto found = hops_.find(hop);
    if (found == hops_.end()) return;
    const PingId id = found->second;
    Ping& ping = pings_.at(id);
    // Ended under way: the ping has been on the wire, and its next hop, if any, is a redirect.
    if (ping.underWay) ping.answered = true;
    forget(id, ping, now);
    if (ping.released) pings_.erase(id);
    settle(now);
}

bool PingScheduler::isSlow(const std::string& host, Nanos now) const {
    if (auto starts = hostStarts_.find(host); starts != hostStarts_.end() && now - *starts->second.begin() > limits_.slowAfter)
        return true;
    return slow_.holds(host, now);
}

void PingScheduler::answered(const std::string& host, Nanos now) { answering_.mark(host, later(now, limits_.slowFor)); }

void PingScheduler::HostMarks::mark(const std::string& host, Nanos until) {
    auto [at, added] = until_.try_emplace(host, until);
    if (!added) {
        if (at->second >= until) return;
        ends_.erase({at->second, host});
        at->second = until;
    }
    ends_.emplace(until, host);
}

bool PingScheduler::HostMarks::holds(const std::string& host, Nanos now) const {
    auto until = until_.find(host);
    return until != until_.end() && until->second > now;
}

void PingScheduler::HostMarks::prune(Nanos now) {
    while (!ends_.empty() && ends_.begin()->first <= now) {
        until_.erase(ends_.begin()->second);
        ends_.erase(ends_.begin());
    }
}

std::optional<PingScheduler::Choice> PingScheduler::choose(Nanos now, Only only) const {
    if (underWay() >= limits_.places) return std::nullopt;
    const bool ordinary = ordinaryHeld_ < ordinaryPlaces();
    if (!ordinary && reserveHeld_ >= limits_.reserve) return std::nullopt;
    // Slowness read once per host, and whether an ad has a ping under way to a host that answers.
    std::unordered_map<std::string, bool> slow;
    auto slowHost = [&](const std::string& host) {
        auto [at, added] = slow.try_emplace(host, false);
        if (added) at->second = isSlow(host, now);
        return at->second;
    };
    std::unordered_map<std::uint64_t, bool> busy;
    auto busyAd = [&](std::uint64_t ad) {
        auto [at, added] = busy.try_emplace(ad, false);
        if (added) {
            for (auto it = adHostsUnderWay_.lower_bound(HostKey{ad, {}}); it != adHostsUnderWay_.end() && it->first.first == ad; ++it) {
                if (!slowHost(it->first.second)) {
                    at->second = true;
                    break;
                }
            }
        }
        return at->second;
    };
    // Who holds the reserve: the views with a reserve place, and whether one of those is a probe (to a host
    // not known to answer either way), which only one hop at a time may be.
    std::set<std::uint64_t> viewsOnReserve;
    bool probing = false;
    for (const PingId holder : onReserve_) {
        const Ping& ping = pings_.at(holder);
        viewsOnReserve.insert(ping.owner.view);
        probing = probing || (!slowHost(ping.host) && !answering_.holds(ping.host, now));
    }
    auto reserveFor = [&](const Ping& ping, bool slowOne) {
        return !slowOne && !viewsOnReserve.contains(ping.owner.view) && !busyAd(ping.owner.ad) &&
               (!probing || answering_.holds(ping.host, now));
    };
    // By the view's pings under way and turn (then its pings waiting: the lighter view first); then a
    // redirect, a host that is not slow, a slow one; then the view's under way to the host; then the
    // ping's age.
    using Rank = std::tuple<std::size_t, std::uint64_t, std::size_t, int, std::size_t, std::uint64_t>;
    std::optional<Choice> best;
    Rank bestRank{};
    for (const auto& [hop, id] : hops_) {
        const Ping& ping = pings_.at(id);
        const Owner& owner = ping.owner;
        if (ping.underWay || (only != Only::Any && ping.held)) continue;
        // Less life left than a hop needs: it fails unsent (expired).
        if (lifeTooShort(ping, now)) continue;
        if (countOf(lanesUnderWay_, HostKey{owner.document, ping.host}, std::size_t{0}) >= limits_.perHost) continue;
        const bool slowOne = slowHost(ping.host);
        // Beyond the ordinary places, only a hop the reserve is for.
        if (!ordinary && !reserveFor(ping, slowOne)) continue;
        // Owed a place: its view holds fewer than its share, or it is a hop the reserve is for (while the
        // reserve has room), whether it would take a reserve place or an ordinary one.
        if (only == Only::Owed && ordinary && underWayFor(owner.view) >= share() &&
            (reserveHeld_ >= limits_.reserve || !reserveFor(ping, slowOne)))
            continue;
        const std::size_t underWay = underWayFor(owner.view);
        Rank rank{underWay, viewTurns_.at(owner.view), viewHops_.at(owner.view) - underWay,
                  ping.redirect ? 0 : slowOne ? 2 : 1,
                  countOf(viewHostsUnderWay_, HostKey{owner.view, ping.host}, std::size_t{0}), ping.order};
        if (!best || rank < bestRank) {
            best = Choice{id, !ordinary};
            bestRank = rank;
        }
    }
    return best;
}

// Hops on reserve places move to ordinary ones that nothing waiting may take, so that the reserve is free
// for the next hop to a host that answers.
void PingScheduler::settle(Nanos now) {
    if (reserveHeld_ == 0 || ordinaryHeld_ >= ordinaryPlaces()) return;
    if (auto choice = choose(now, Only::Any); choice && !choice->reserve) return;
    while (!onReserve_.empty()) {
        pings_.at(*onReserve_.begin()).reserve = false;
        onReserve_.erase(onReserve_.begin());
        --reserveHeld_;
        ++ordinaryHeld_;
        if (reserveHeld_ == 0 || ordinaryHeld_ >= ordinaryPlaces()) return;
    }
}

std::optional<PingScheduler::HopId> PingScheduler::next(std::size_t freePlaces, Nanos now, Only only) {
    if (freePlaces == 0) return std::nullopt;
    std::optional<Choice> choice = choose(now, only);
    if (choice) place(choice->ping, pings_.at(choice->ping), choice->reserve, now);
    // What it started may have been the last hop that could take a free ordinary place.
    settle(now);
    if (!choice) return std::nullopt;
    return pings_.at(choice->ping).hop;
}

std::optional<PingScheduler::HopId> PingScheduler::owed(Nanos now) const {
    std::optional<Choice> choice = choose(now, Only::Owed);
    if (!choice) return std::nullopt;
    return pings_.at(choice->ping).hop;
}

std::optional<PingScheduler::HopId> PingScheduler::handOff(HopId stuck, Nanos now) {
    auto found = hops_.find(stuck);
    if (found == hops_.end()) return std::nullopt;
    const PingId id = found->second;
    Ping& ping = pings_.at(id);
    if (!ping.underWay) return std::nullopt;
    const bool reserve = ping.reserve;
    const Nanos startedAt = ping.startedAt;
    const std::uint64_t turn = viewTurns_.at(ping.owner.view);
    unplace(ping, now);
    std::optional<Choice> choice = choose(now, Only::Fresh);
    if (!choice) {
        // Nothing takes its place: it keeps it, as it was.
        place(id, ping, reserve, startedAt);
        viewTurns_[ping.owner.view] = turn;
        return std::nullopt;
    }
    place(choice->ping, pings_.at(choice->ping), choice->reserve, now);
    if (ping.released) {
        // Let go: it does not wait again (its transfer's cancel is on its way).
        forget(id, ping, now);
        pings_.erase(id);
    }
    settle(now);
    return pings_.at(choice->ping).hop;
}

void PingScheduler::putBack(HopId stuck, Nanos now) {
    auto found = hops_.find(stuck);
    if (found == hops_.end()) return;
    const PingId id = found->second;
    Ping& ping = pings_.at(id);
    if (!ping.underWay) return;
    unplace(ping, now);
    if (ping.released) {
        forget(id, ping, now);
        pings_.erase(id);
    }
    settle(now);
}

std::vector<PingScheduler::HopId> PingScheduler::expired(Nanos now) {
    std::vector<HopId> out;
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        // Only pings with a hop here are listed.
        const PingId id = deadlines_.begin()->second;
        Ping& ping = pings_.at(id);
        out.push_back(ping.hop);
        forget(id, ping, now);
        // Its owner still holds it (and its quota) until it hears the failure; a hop that comes meanwhile
        // is refused (want: LifePassed).
        if (ping.released) pings_.erase(id);
    }
    slow_.prune(now);
    answering_.prune(now);
    settle(now);
    return out;
}

} // namespace platform
