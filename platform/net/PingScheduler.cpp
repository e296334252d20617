#include "platform/net/PingScheduler.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace platform {

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

PingScheduler::Admission PingScheduler::admit(const Owner& owner, std::size_t bytes) {
    if (!fits(countOf(viewCounts_, owner.view, Count{}), bytes, limits_.viewFloorPings, limits_.viewFloorBytes)) {
        Refusal refusal = Refusal::None;
        if (!fits(countOf(adCounts_, owner.ad, Count{}), bytes, limits_.adPings, limits_.adBytes)) refusal = Refusal::AdQuota;
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
    for (Count* count : {&viewCounts_[owner.view], &adCounts_[owner.ad], &process_}) {
        ++count->pings;
        count->bytes += bytes;
    }
    return {id, Refusal::None};
}

void PingScheduler::release(PingId id) {
    auto found = pings_.find(id);
    if (found == pings_.end() || found->second.released) return;
    Ping& ping = found->second;
    ping.released = true;
    for (auto [counts, key] : {std::pair{&viewCounts_, ping.owner.view}, std::pair{&adCounts_, ping.owner.ad}}) {
        Count& count = counts->at(key);
        --count.pings;
        count.bytes -= ping.bytes;
        if (count.pings == 0) counts->erase(key);
    }
    --process_.pings;
    process_.bytes -= ping.bytes;
    // A hop still waiting will not go; one under way keeps its place until the caller's cancel ends it.
    if (ping.hop != 0 && !ping.underWay) forget(id, ping);
    if (ping.hop == 0) pings_.erase(found);
    settle();
}

PingScheduler::Wanted PingScheduler::want(PingId id, HopId hop, const std::string& host, Nanos now) {
    auto found = pings_.find(id);
    if (found == pings_.end() || found->second.released || found->second.hop != 0) return Wanted::Unknown;
    Ping& ping = found->second;
    if (ping.placed && ping.deadline <= now) return Wanted::LifePassed;
    // A redirect hop keeps its ping's turn, and runs on in the life its ping began.
    if (ping.order == 0) ping.order = nextOrder_++;
    if (ping.placed) deadlines_.emplace(ping.deadline, id);
    ping.hop = hop;
    ping.host = host;
    hops_.emplace(hop, id);
    if (viewHops_[ping.owner.view]++ == 0) viewTurns_[ping.owner.view] = ++turns_;
    return Wanted::Queued;
}

void PingScheduler::forget(PingId id, Ping& ping) {
    const Owner& owner = ping.owner;
    if (ping.underWay) {
        drop(viewsUnderWay_, owner.view);
        drop(viewHostsUnderWay_, HostKey{owner.view, ping.host});
        drop(lanesUnderWay_, HostKey{owner.document, ping.host});
        drop(documentsUnderWay_, owner.document);
        if (ping.reserve) {
            --reserveHeld_;
            drop(adsOnReserve_, owner.ad);
        } else {
            --ordinaryHeld_;
        }
    }
    if (--viewHops_.at(owner.view) == 0) {
        viewHops_.erase(owner.view);
        viewTurns_.erase(owner.view);
    }
    if (ping.placed) deadlines_.erase({ping.deadline, id});
    hops_.erase(ping.hop);
    ping.hop = 0;
    ping.underWay = ping.reserve = false;
}

void PingScheduler::hopEnded(HopId hop) {
    auto found = hops_.find(hop);
    if (found == hops_.end()) return;
    const PingId id = found->second;
    Ping& ping = pings_.at(id);
    forget(id, ping);
    if (ping.released) pings_.erase(id);
    settle();
}

std::optional<PingScheduler::Choice> PingScheduler::choose() const {
    if (underWay() >= limits_.places) return std::nullopt;
    const bool ordinary = ordinaryHeld_ < ordinaryPlaces();
    if (!ordinary && reserveHeld_ >= limits_.reserve) return std::nullopt;
    // By the view's pings under way and turn, then by the view's under way to the host, then by age.
    using Rank = std::tuple<std::size_t, std::uint64_t, std::size_t, std::uint64_t>;
    std::optional<Choice> best;
    Rank bestRank{};
    for (const auto& [hop, id] : hops_) {
        const Ping& ping = pings_.at(id);
        const Owner& owner = ping.owner;
        if (ping.underWay || countOf(lanesUnderWay_, HostKey{owner.document, ping.host}, std::size_t{0}) >= limits_.perHost) continue;
        // Beyond the ordinary places, only a light newcomer whose ad holds no reserve place.
        if (!ordinary && (documentsUnderWay_.contains(owner.document) || adsOnReserve_.contains(owner.ad) ||
                          adCounts_.at(owner.ad).pings > limits_.reserveInFlight))
            continue;
        Rank rank{underWayFor(owner.view), viewTurns_.at(owner.view),
                  countOf(viewHostsUnderWay_, HostKey{owner.view, ping.host}, std::size_t{0}), ping.order};
        if (!best || rank < bestRank) {
            best = Choice{id, !ordinary};
            bestRank = rank;
        }
    }
    return best;
}

void PingScheduler::start(PingId id, Ping& ping, bool reserve, Nanos now) {
    const Owner& owner = ping.owner;
    ping.underWay = true;
    ping.reserve = reserve;
    ++viewsUnderWay_[owner.view];
    viewTurns_[owner.view] = ++turns_;
    ++viewHostsUnderWay_[HostKey{owner.view, ping.host}];
    ++lanesUnderWay_[HostKey{owner.document, ping.host}];
    ++documentsUnderWay_[owner.document];
    if (reserve) {
        ++reserveHeld_;
        ++adsOnReserve_[owner.ad];
    } else {
        ++ordinaryHeld_;
    }
    if (!ping.placed) {
        ping.placed = true;
        // Saturated: a life past the clock's range never ends.
        const Nanos most = std::numeric_limits<Nanos>::max();
        ping.deadline = now > most - limits_.life ? most : now + limits_.life;
        deadlines_.emplace(ping.deadline, id);
    }
}

// Hops on reserve places move to ordinary ones that nothing waiting may take, so that the reserve is free
// for the next newcomer.
void PingScheduler::settle() {
    if (reserveHeld_ == 0 || ordinaryHeld_ >= ordinaryPlaces()) return;
    if (auto choice = choose(); choice && !choice->reserve) return;
    for (auto& [id, ping] : pings_) {
        if (!ping.reserve) continue;
        ping.reserve = false;
        drop(adsOnReserve_, ping.owner.ad);
        --reserveHeld_;
        ++ordinaryHeld_;
        if (reserveHeld_ == 0 || ordinaryHeld_ >= ordinaryPlaces()) return;
    }
}

std::optional<PingScheduler::HopId> PingScheduler::next(std::size_t freePlaces, Nanos now) {
    if (freePlaces == 0) return std::nullopt;
    std::optional<Choice> choice = choose();
    if (choice) start(choice->ping, pings_.at(choice->ping), choice->reserve, now);
    // What it started may have been the last hop that could take a free ordinary place.
    settle();
    if (!choice) return std::nullopt;
    return pings_.at(choice->ping).hop;
}

bool PingScheduler::wantsPlace() const {
    std::optional<Choice> choice = choose();
    return choice && (choice->reserve || underWayFor(pings_.at(choice->ping).owner.view) < share());
}

std::vector<PingScheduler::HopId> PingScheduler::expired(Nanos now) {
    std::vector<HopId> out;
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        // Only pings with a hop here have a deadline listed.
        const PingId id = deadlines_.begin()->second;
        Ping& ping = pings_.at(id);
        out.push_back(ping.hop);
        forget(id, ping);
        // Its owner still holds it (and its quota) until it hears the failure; a hop that comes meanwhile
        // is refused (want: LifePassed).
        if (ping.released) pings_.erase(id);
    }
    settle();
    return out;
}

} // namespace platform
