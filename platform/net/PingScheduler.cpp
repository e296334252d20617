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
    const std::uint64_t view = ping.owner.view;
    unrank(view);
    // A view that begins to wait has not been served since.
    if (viewHops_[view]++ == 0) viewTurns_[view] = 0;
    list(id, ping);
    enqueue(id, ping);
    rerank(view);
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

void PingScheduler::place(PingId id, Ping& ping, bool reserve, Nanos startedAt, bool asTry) {
    const Owner& owner = ping.owner;
    unrank(owner.view);
    dequeue(id, ping);
    unlist(id, ping);
    ping.underWay = true;
    ping.reserve = reserve;
    ping.reserveTry = reserve && asTry;
    ping.held = true;
    ping.startedAt = startedAt;
    ++viewsUnderWay_[owner.view];
    ping.turnBefore = viewTurns_.at(owner.view);
    ping.turnTaken = viewTurns_[owner.view] = ++turns_;
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
    rerank(owner.view);
}

void PingScheduler::unplace(Ping& ping, Nanos now) {
    const Owner& owner = ping.owner;
    const PingId id = hops_.at(ping.hop);
    unrank(owner.view);
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
    ping.underWay = ping.reserve = ping.reserveTry = false;
    list(id, ping);
    enqueue(id, ping);
    rerank(owner.view);
}

void PingScheduler::forget(PingId id, Ping& ping, Nanos now) {
    if (ping.underWay) unplace(ping, now);
    const std::uint64_t view = ping.owner.view;
    unrank(view);
    unlist(id, ping);
    dequeue(id, ping);
    if (--viewHops_.at(view) == 0) {
        viewHops_.erase(view);
        viewTurns_.erase(view);
    }
    hops_.erase(ping.hop);
    ping.hop = 0;
    rerank(view);
}

void PingScheduler::enqueue(PingId id, const Ping& ping) {
    const auto entry = std::make_pair(ping.order, id);
    ViewWaiting& view = waiting_[ping.owner.view];
    if (ping.redirect) view.redirects.insert(entry);
    else view.hosts[ping.host][ping.owner.document].insert(entry);
    ++hostsWaiting_[ping.host];
}

void PingScheduler::dequeue(PingId id, const Ping& ping) {
    auto view = waiting_.find(ping.owner.view);
    if (view == waiting_.end()) return;
    const auto entry = std::make_pair(ping.order, id);
    std::size_t erased = 0;
    if (ping.redirect) {
        erased = view->second.redirects.erase(entry);
    } else if (auto host = view->second.hosts.find(ping.host); host != view->second.hosts.end()) {
        if (auto document = host->second.find(ping.owner.document); document != host->second.end()) {
            erased = document->second.erase(entry);
            if (document->second.empty()) host->second.erase(document);
        }
        if (host->second.empty()) view->second.hosts.erase(host);
    }
    if (view->second.redirects.empty() && view->second.hosts.empty()) waiting_.erase(view);
    if (erased != 0) drop(hostsWaiting_, ping.host);
}

void PingScheduler::unrank(std::uint64_t view) {
    auto found = viewRanks_.find(view);
    if (found == viewRanks_.end()) return;
    viewOrder_.erase(found->second);
    viewRanks_.erase(found);
}

void PingScheduler::rerank(std::uint64_t view) {
    auto hops = viewHops_.find(view);
    if (hops == viewHops_.end()) return;
    const std::size_t underWay = underWayFor(view);
    if (hops->second <= underWay) return;
    const ViewRank rank{underWay, viewTurns_.at(view), hops->second - underWay, view};
    viewOrder_.insert(rank);
    viewRanks_[view] = rank;
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

PingScheduler::HostClass PingScheduler::classOf(const std::string& host, Nanos now) const {
    const bool known = answering_.holds(host, now);
    if (isSlow(host, now)) return known ? HostClass::SlowKnown : HostClass::SlowUnknown;
    return known ? HostClass::Sure : HostClass::Try;
}

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
    if (underWay() >= limits_.places || viewOrder_.empty()) return std::nullopt;
    const bool ordinary = ordinaryHeld_ < ordinaryPlaces();
    const bool reserveRoom = reserveHeld_ < limits_.reserve;
    if (!ordinary && !reserveRoom) return std::nullopt;
    // What is known of each host, read once per choice.
    std::unordered_map<std::string, HostClass> classes;
    auto hostClass = [&](const std::string& host) {
        auto [at, added] = classes.try_emplace(host, HostClass::Sure);
        if (added) at->second = classOf(host, now);
        return at->second;
    };
    auto slow = [](HostClass c) { return c == HostClass::SlowKnown || c == HostClass::SlowUnknown; };
    // Whether an ad has a ping under way to a host that is not slow.
    std::unordered_map<std::uint64_t, bool> busy;
    auto busyAd = [&](std::uint64_t ad) {
        auto [at, added] = busy.try_emplace(ad, false);
        if (added) {
            for (auto it = adHostsUnderWay_.lower_bound(HostKey{ad, {}}); it != adHostsUnderWay_.end() && it->first.first == ad; ++it) {
                if (!slow(hostClass(it->first.second))) {
                    at->second = true;
                    break;
                }
            }
        }
        return at->second;
    };
    // The reserve's holders as they are now: how many are not sure, whether one is a try still, and per view
    // how many it holds and how many of those were tries whose host has turned slow since.
    std::size_t notSure = 0;
    bool trying = false;
    std::unordered_map<std::uint64_t, std::pair<std::size_t, std::size_t>> holders;
    for (const PingId holder : onReserve_) {
        const Ping& ping = pings_.at(holder);
        const HostClass c = hostClass(ping.host);
        notSure += c != HostClass::Sure;
        trying = trying || c == HostClass::Try;
        auto& view = holders[ping.owner.view];
        ++view.first;
        view.second += ping.reserveTry && c == HostClass::SlowUnknown;
    }
    // Room on the reserve by what a host is, whatever the hop's ad and view.
    const bool roomForUnsure = notSure + 1 < limits_.reserve;
    auto reserveTakes = [&](HostClass c) {
        switch (c) {
        case HostClass::Sure: return true;
        case HostClass::Try: return roomForUnsure && !trying;
        case HostClass::SlowKnown: return roomForUnsure;
        case HostClass::SlowUnknown: return false;
        }
        return false;
    };
    auto reserveFor = [&](const Ping& ping, HostClass c) {
        if (!reserveRoom || !reserveTakes(c) || busyAd(ping.owner.ad)) return false;
        const std::uint64_t view = ping.owner.view;
        if (auto held = holders.find(view); held != holders.end()) {
            std::size_t counted = held->second.first;
            if (c == HostClass::Sure && reserveHeld_ + 1 < limits_.reserve) counted -= held->second.second;
            if (counted != 0) return false;
        }
        return c == HostClass::Sure || underWayFor(view) == 0;
    };
    // On the reserve, nothing starts unless some host waited on may take a place there.
    if (!ordinary) {
        bool any = false;
        for (const auto& [host, count] : hostsWaiting_) {
            if (reserveTakes(hostClass(host))) {
                any = true;
                break;
            }
        }
        if (!any) return std::nullopt;
    }
    auto skipped = [&](const Ping& ping) { return (only != Only::Any && ping.held) || lifeTooShort(ping, now); };
    auto laneFull = [&](std::uint64_t document, const std::string& host) {
        return countOf(lanesUnderWay_, HostKey{document, host}, std::size_t{0}) >= limits_.perHost;
    };
    // Views in turn; the first with a hop that may start has the place, views alike in turn compared by
    // their hops: a redirect, a host that is not slow, a slow one; then the view's under way to the host;
    // then the ping's age.
    using HopRank = std::tuple<int, std::size_t, std::uint64_t>;
    std::optional<Choice> best;
    HopRank bestRank{};
    std::optional<ViewRank> bestView;
    const std::size_t share = this->share();
    for (const ViewRank& rank : viewOrder_) {
        if (bestView && std::tie(std::get<0>(rank), std::get<1>(rank), std::get<2>(rank)) !=
                            std::tie(std::get<0>(*bestView), std::get<1>(*bestView), std::get<2>(*bestView)))
            break;
        const std::uint64_t view = std::get<3>(rank);
        // Only the reserve's hops: beyond the ordinary places, or owed a place with the view at its share.
        const bool reserveOnly = !ordinary || (only == Only::Owed && std::get<0>(rank) >= share);
        if (reserveOnly && !reserveRoom) continue;
        auto found = waiting_.find(view);
        if (found == waiting_.end()) continue;
        const ViewWaiting& queues = found->second;
        auto consider = [&](PingId id, HopRank hopRank, HostClass c) {
            if (best && bestRank <= hopRank) return;
            best = Choice{id, !ordinary, !ordinary && c == HostClass::Try};
            bestRank = hopRank;
            bestView = rank;
        };
        for (const auto& [order, id] : queues.redirects) {
            const Ping& ping = pings_.at(id);
            if (skipped(ping) || laneFull(ping.owner.document, ping.host)) continue;
            const HostClass c = hostClass(ping.host);
            if (reserveOnly && !reserveFor(ping, c)) continue;
            consider(id, HopRank{0, countOf(viewHostsUnderWay_, HostKey{view, ping.host}, std::size_t{0}), order}, c);
        }
        for (const auto& [host, documents] : queues.hosts) {
            const HostClass c = hostClass(host);
            if (reserveOnly && !reserveTakes(c)) continue;
            const int hostRank = slow(c) ? 2 : 1;
            const std::size_t onHost = countOf(viewHostsUnderWay_, HostKey{view, host}, std::size_t{0});
            if (best && bestRank < HopRank{hostRank, onHost, 0}) continue;
            for (const auto& [document, hops] : documents) {
                if (laneFull(document, host)) continue;
                for (const auto& [order, id] : hops) {
                    const Ping& ping = pings_.at(id);
                    if (skipped(ping)) continue;
                    // A document's hops to a host share their ad and view: the first decides for all.
                    if (!reserveOnly || reserveFor(ping, c)) consider(id, HopRank{hostRank, onHost, order}, c);
                    break;
                }
            }
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
    if (choice) place(choice->ping, pings_.at(choice->ping), choice->reserve, now, choice->asTry);
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
    const bool wasTry = ping.reserveTry;
    const Nanos startedAt = ping.startedAt;
    const std::uint64_t turn = viewTurns_.at(ping.owner.view);
    unplace(ping, now);
    const std::uint64_t unserved = turnUnserved(ping);
    setTurn(ping.owner.view, unserved);
    std::optional<Choice> choice = choose(now, Only::Fresh);
    // Another view's fresh hop takes the place unless the stuck hop's view comes first, counting it as waiting
    // and never served: where every handshake is slow, places would otherwise change hands between views
    // for ever, each cut costing a whole handshake.
    if (choice) {
        const std::uint64_t to = pings_.at(choice->ping).owner.view;
        const ViewRank& taker = viewRanks_.at(to);
        const auto giver = std::make_pair(underWayFor(ping.owner.view), unserved);
        if (to != ping.owner.view && giver < std::make_pair(std::get<0>(taker), std::get<1>(taker))) choice.reset();
    }
    if (!choice) {
        // Nothing takes its place: it keeps it, as it was.
        const std::uint64_t before = ping.turnBefore, taken = ping.turnTaken;
        place(id, ping, reserve, startedAt, wasTry);
        setTurn(ping.owner.view, turn);
        ping.turnBefore = before;
        ping.turnTaken = taken;
        return std::nullopt;
    }
    place(choice->ping, pings_.at(choice->ping), choice->reserve, now, choice->asTry);
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
    setTurn(ping.owner.view, turnUnserved(ping));
    if (ping.released) {
        forget(id, ping, now);
        pings_.erase(id);
    }
    settle(now);
}

std::uint64_t PingScheduler::turnUnserved(const Ping& ping) const {
    const std::uint64_t turn = viewTurns_.at(ping.owner.view);
    return turn == ping.turnTaken ? ping.turnBefore : turn;
}

void PingScheduler::setTurn(std::uint64_t view, std::uint64_t turn) {
    unrank(view);
    viewTurns_.at(view) = turn;
    rerank(view);
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
