#include "platform/net/PingScheduler.h"

#include <algorithm>
#include <limits>

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

PingScheduler::Admission PingScheduler::admit(const Owner& owner, std::size_t bytes) {
    auto fits = [bytes](const Count& count, std::size_t pings, std::size_t most) {
        return count.pings < pings && bytes <= most && count.bytes <= most - bytes;
    };
    const Count view = viewCounts_.contains(owner.view) ? viewCounts_.at(owner.view) : Count{};
    if (!fits(view, limits_.viewFloorPings, limits_.viewFloorBytes)) {
        const Count ad = adCounts_.contains(owner.ad) ? adCounts_.at(owner.ad) : Count{};
        Refusal refusal = Refusal::None;
        if (!fits(ad, limits_.adPings, limits_.adBytes)) refusal = Refusal::AdQuota;
        else if (!fits(Count{processPings_, processBytes_}, limits_.processPings, limits_.processBytes))
            refusal = Refusal::ProcessQuota;
        if (refusal != Refusal::None) {
            ++refusals_[refusal];
            return {0, refusal};
        }
    }
    const PingId id = nextPing_++;
    pings_.emplace(id, Ping{owner, bytes});
    for (Count* count : {&viewCounts_[owner.view], &adCounts_[owner.ad]}) {
        ++count->pings;
        count->bytes += bytes;
    }
    ++processPings_;
    processBytes_ += bytes;
    return {id, Refusal::None};
}

void PingScheduler::release(PingId id) {
    auto found = pings_.find(id);
    if (found == pings_.end() || found->second.released) return;
    Ping& ping = found->second;
    ping.released = true;
    auto giveBack = [&](std::unordered_map<std::uint64_t, Count>& counts, std::uint64_t key) {
        Count& count = counts.at(key);
        --count.pings;
        count.bytes -= ping.bytes;
        if (count.pings == 0) counts.erase(key);
    };
    giveBack(viewCounts_, ping.owner.view);
    giveBack(adCounts_, ping.owner.ad);
    --processPings_;
    processBytes_ -= ping.bytes;
    // A hop still waiting will not go; one under way keeps its place until the caller's cancel ends it.
    if (ping.hop != 0 && !hops_.at(ping.hop).underWay) forget(ping.hop);
    if (ping.hop == 0) pings_.erase(found);
    settle();
}

PingScheduler::View& PingScheduler::viewOf(std::uint64_t key) {
    auto [at, made] = views_.try_emplace(key);
    if (made) at->second.turn = ++turns_;
    return at->second;
}

void PingScheduler::forgetViewIfIdle(std::uint64_t key) {
    auto at = views_.find(key);
    if (at != views_.end() && at->second.underWay == 0 && at->second.waiting == 0) views_.erase(at);
}

PingScheduler::Wanted PingScheduler::want(PingId id, HopId hopId, const std::string& host, Nanos now) {
    auto found = pings_.find(id);
    if (found == pings_.end() || found->second.released || found->second.hop != 0) return Wanted::Unknown;
    Ping& ping = found->second;
    if (ping.placed && ping.deadline <= now) return Wanted::LifePassed;
    // A redirect hop keeps its ping's turn: it ranks by when the ping first came.
    if (ping.order == 0) ping.order = nextOrder_++;
    Hop hop{id, {ping.owner.document, host}, ping.order};
    Lane& lane = lanes_[hop.lane];
    lane.waiting.emplace(hop.order, hopId);
    View& view = viewOf(ping.owner.view);
    ++view.waiting;
    view.lanesWaiting.insert(hop.lane);
    hops_.emplace(hopId, std::move(hop));
    ping.hop = hopId;
    // A redirect hop runs on in the life its ping began.
    if (ping.placed) deadlines_.emplace(ping.deadline, id);
    return Wanted::Queued;
}

// Out of its lane's queue and its view's waiting count.
void PingScheduler::unqueue(Hop& hop, HopId id) {
    Lane& lane = lanes_.at(hop.lane);
    lane.waiting.erase({hop.order, id});
    View& view = views_.at(pings_.at(hop.ping).owner.view);
    --view.waiting;
    if (lane.waiting.empty()) view.lanesWaiting.erase(hop.lane);
}

void PingScheduler::forget(HopId id) {
    auto found = hops_.find(id);
    if (found == hops_.end()) return;
    Hop& hop = found->second;
    Ping& ping = pings_.at(hop.ping);
    const std::uint64_t viewKey = ping.owner.view;
    if (hop.underWay) {
        Lane& lane = lanes_.at(hop.lane);
        --lane.underWay;
        View& view = views_.at(viewKey);
        --view.underWay;
        if (--view.hostsUnderWay.at(hop.lane.second) == 0) view.hostsUnderWay.erase(hop.lane.second);
        if (--documentsUnderWay_.at(hop.lane.first) == 0) documentsUnderWay_.erase(hop.lane.first);
        if (hop.reserve) {
            --reserveHeld_;
            reserveHops_.erase(id);
            if (--adReserve_.at(ping.owner.ad) == 0) adReserve_.erase(ping.owner.ad);
        } else {
            --ordinaryHeld_;
        }
    } else {
        unqueue(hop, id);
    }
    auto lane = lanes_.find(hop.lane);
    if (lane->second.underWay == 0 && lane->second.waiting.empty()) lanes_.erase(lane);
    if (ping.placed) deadlines_.erase({ping.deadline, hop.ping});
    hops_.erase(found);
    forgetViewIfIdle(viewKey);
    ping.hop = 0;
}

void PingScheduler::hopEnded(HopId id) {
    auto found = hops_.find(id);
    if (found == hops_.end()) return;
    const PingId pingId = found->second.ping;
    forget(id);
    if (pings_.at(pingId).released) pings_.erase(pingId);
    settle();
}

std::optional<PingScheduler::HopId> PingScheduler::bestHopOf(const View& view, bool newcomerOnly) const {
    std::optional<HopId> best;
    std::pair<std::size_t, std::uint64_t> bestRank{};
    for (const LaneKey& key : view.lanesWaiting) {
        const Lane& lane = lanes_.at(key);
        if (lane.underWay >= limits_.perHost) continue;
        const auto& [order, hop] = *lane.waiting.begin();
        if (newcomerOnly) {
            if (documentsUnderWay_.contains(key.first)) continue;
            const std::uint64_t ad = pings_.at(hops_.at(hop).ping).owner.ad;
            if (adReserve_.contains(ad) || adCounts_.at(ad).pings > limits_.reserveInFlight) continue;
        }
        auto host = view.hostsUnderWay.find(key.second);
        std::pair<std::size_t, std::uint64_t> rank{host == view.hostsUnderWay.end() ? 0 : host->second, order};
        if (!best || rank < bestRank) {
            best = hop;
            bestRank = rank;
        }
    }
    return best;
}

std::optional<PingScheduler::Choice> PingScheduler::choose() const {
    if (underWay() >= limits_.places) return std::nullopt;
    // The view with the fewest under way, then the one served longest ago, with a hop that may start.
    auto bestOf = [&](bool reserve) -> std::optional<Choice> {
        std::optional<Choice> best;
        std::pair<std::size_t, std::uint64_t> bestRank{};
        for (const auto& [key, view] : views_) {
            if (view.waiting == 0) continue;
            std::pair<std::size_t, std::uint64_t> rank{view.underWay, view.turn};
            if (best && !(rank < bestRank)) continue;
            if (auto hop = bestHopOf(view, reserve)) {
                best = Choice{*hop, reserve};
                bestRank = rank;
            }
        }
        return best;
    };
    if (ordinaryHeld_ < ordinaryPlaces()) {
        if (auto choice = bestOf(false)) return choice;
    }
    if (reserveHeld_ < limits_.reserve) return bestOf(true);
    return std::nullopt;
}

void PingScheduler::start(const Choice& choice, Nanos now) {
    Hop& hop = hops_.at(choice.hop);
    Ping& ping = pings_.at(hop.ping);
    unqueue(hop, choice.hop);
    hop.underWay = true;
    hop.reserve = choice.reserve;
    ++lanes_.at(hop.lane).underWay;
    View& view = views_.at(ping.owner.view);
    ++view.underWay;
    view.turn = ++turns_;
    ++view.hostsUnderWay[hop.lane.second];
    ++documentsUnderWay_[hop.lane.first];
    if (choice.reserve) {
        ++reserveHeld_;
        reserveHops_.insert(choice.hop);
        ++adReserve_[ping.owner.ad];
    } else {
        ++ordinaryHeld_;
    }
    if (!ping.placed) {
        ping.placed = true;
        // Saturated: a life past the clock's range never ends.
        ping.deadline = now > std::numeric_limits<Nanos>::max() - limits_.life ? std::numeric_limits<Nanos>::max()
                                                                               : now + limits_.life;
        deadlines_.emplace(ping.deadline, hop.ping);
    }
}

// Hops on reserve places move to ordinary ones that nothing waiting may take, so that the reserve is free
// for the next newcomer.
void PingScheduler::settle() {
    if (reserveHops_.empty() || ordinaryHeld_ >= ordinaryPlaces()) return;
    if (auto choice = choose(); choice && !choice->reserve) return;
    while (ordinaryHeld_ < ordinaryPlaces() && !reserveHops_.empty()) {
        const HopId id = *reserveHops_.begin();
        reserveHops_.erase(reserveHops_.begin());
        Hop& hop = hops_.at(id);
        hop.reserve = false;
        const std::uint64_t ad = pings_.at(hop.ping).owner.ad;
        if (--adReserve_.at(ad) == 0) adReserve_.erase(ad);
        --reserveHeld_;
        ++ordinaryHeld_;
    }
}

std::optional<PingScheduler::HopId> PingScheduler::next(std::size_t freePlaces, Nanos now) {
    if (freePlaces == 0) return std::nullopt;
    std::optional<Choice> choice = choose();
    if (choice) start(*choice, now);
    // What it started may have been the last hop that could take a free ordinary place.
    settle();
    if (!choice) return std::nullopt;
    return choice->hop;
}

bool PingScheduler::wantsPlace() const {
    std::optional<Choice> choice = choose();
    if (!choice) return false;
    if (choice->reserve) return true;
    const Hop& hop = hops_.at(choice->hop);
    return views_.at(pings_.at(hop.ping).owner.view).underWay < share();
}

std::vector<PingScheduler::HopId> PingScheduler::expired(Nanos now) {
    std::vector<HopId> out;
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        // Only pings with a hop here have a deadline listed.
        const PingId id = deadlines_.begin()->second;
        Ping& ping = pings_.at(id);
        out.push_back(ping.hop);
        forget(ping.hop);
        // Its owner still holds it (and its quota) until it hears the failure; a hop that comes meanwhile
        // is refused (want: LifePassed).
        if (ping.released) pings_.erase(id);
    }
    settle();
    return out;
}

PingScheduler::Nanos PingScheduler::nextDeadline() const {
    return deadlines_.empty() ? std::numeric_limits<Nanos>::max() : deadlines_.begin()->first;
}

std::size_t PingScheduler::admittedFor(std::uint64_t view) const {
    auto found = viewCounts_.find(view);
    return found == viewCounts_.end() ? 0 : found->second.pings;
}

std::size_t PingScheduler::refusals(Refusal refusal) const {
    auto found = refusals_.find(refusal);
    return found == refusals_.end() ? 0 : found->second;
}

std::size_t PingScheduler::share() const {
    const std::size_t views = std::max<std::size_t>(1, views_.size());
    return std::max<std::size_t>(1, (ordinaryPlaces() + views - 1) / views);
}

std::size_t PingScheduler::underWayFor(std::uint64_t view) const {
    auto found = views_.find(view);
    return found == views_.end() ? 0 : found->second.underWay;
}

} // namespace platform
