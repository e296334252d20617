#include "platform/web/SubresourceQueue.h"

#include <utility>

#include "platform/runloop/MainLoop.h"
#include "platform/web/WebPage.h"

namespace platform {

namespace {
// The entry, its map and list nodes and its host's record, with room to spare.
constexpr std::size_t kRecordBytes = 512;
// A load under way: its request (the page's referrer, at most MaximumReferrerLength, and the user agent),
// loader and connection records, and the network engine's transfer. The network library's connection
// (its buffers, and a secure one's state: about 80 KB) is not the page's: web content's connections are
// capped for all pages together (NetworkEngine), so their memory is bounded in the process whatever pages do.
constexpr std::size_t kLoadBytes = 8192 + WebPage::MaximumReferrerLength;
// The network library's copies of the URL while the load is under way: the text it is given, its parsed
// parts, the URL it rebuilds from them and the path it sends (measured: about five).
constexpr std::size_t kNetworkURLCopies = 5;
} // namespace

std::size_t SubresourceQueue::waitingBytes(const URL& url) {
    // Its URL's text is held once, shared by the request and the loads made from it.
    return kRecordBytes + url.absoluteString().size() + url.host().size();
}

std::size_t SubresourceQueue::runningBytes(const URL& url) {
    return kLoadBytes + kNetworkURLCopies * url.absoluteString().size();
}

SubresourceQueue::SubresourceQueue(Starter starter, ResourceLoader::Budget budget)
    : starter_(std::move(starter)), budget_(std::move(budget)) {}

SubresourceQueue::~SubresourceQueue() {
    cancelAll();
}

bool SubresourceQueue::charge(std::size_t bytes) {
    return !budget_.charge || budget_.charge(bytes);
}

void SubresourceQueue::discharge(std::size_t bytes) {
    if (bytes != 0 && budget_.discharge) budget_.discharge(bytes);
}

SubresourceQueue::Ticket SubresourceQueue::add(const URL& url, Completion completion, std::string* why) {
    auto refuse = [&](const char* reason) -> Ticket {
        if (why != nullptr) *why = reason;
        return 0;
    };
    std::string hostName = url.host();
    const bool full = entries_.size() >= MaximumPendingLoads;
    if (full && !mayDisplace(hostName)) return refuse("the page has too many loads pending");
    if (url.absoluteString().size() > MaximumURLLength) return refuse("its URL is too long");
    const std::size_t bytes = waitingBytes(url);
    if (!charge(bytes)) return refuse("it does not fit in the page's memory budget");
    // Another host's load gives way only for one that is queued.
    if (full) giveWay();
    const Ticket ticket = nextTicket_++;
    auto [hostIt, madeHost] = hosts_.try_emplace(std::move(hostName));
    Host& host = hostIt->second;
    Entry& entry = entries_[ticket];
    entry.url = url;
    entry.host = &hostIt->first;
    entry.completion = std::move(completion);
    entry.charged = bytes;
    entry.place = host.waiting.insert(host.waiting.end(), ticket);
    rankHost(host, entry.host);
    takeTurn(host, entry.host);
    pump();
    return ticket;
}

void SubresourceQueue::rankHost(Host& host, const std::string* name) {
    if (host.rankedAt == host.waiting.size()) return;
    if (host.rankedAt != 0) {
        auto bucket = byWaiting_.find(host.rankedAt);
        bucket->second.erase(host.rank);
        if (bucket->second.empty()) byWaiting_.erase(bucket);
    }
    host.rankedAt = host.waiting.size();
    if (host.rankedAt == 0) return;
    auto& bucket = byWaiting_[host.rankedAt];
    host.rank = bucket.insert(bucket.end(), name);
}

bool SubresourceQueue::mayDisplace(const std::string& name) const {
    if (byWaiting_.empty()) return false;
    auto host = hosts_.find(name);
    const std::size_t own = host == hosts_.end() ? 0 : host->second.waiting.size();
    return own < byWaiting_.rbegin()->first;
}

void SubresourceQueue::giveWay() {
    const std::string* name = byWaiting_.rbegin()->second.back();
    const Ticket ticket = hosts_.at(*name).waiting.back();
    auto node = entries_.extract(ticket);
    Entry& entry = node.mapped();
    // It keeps its charge until its end is told: what it holds meanwhile is the page's still.
    const std::size_t charged = std::exchange(entry.charged, 0);
    release(entry);
    givenWay_.emplace(ticket, GivenWay{std::move(entry.url), std::move(entry.completion), charged});
    std::weak_ptr<SubresourceQueue> weak = weak_from_this();
    MainLoop::main().post([weak, ticket] {
        if (auto queue = weak.lock()) queue->toldGivenWay(ticket);
    });
}

void SubresourceQueue::toldGivenWay(Ticket ticket) {
    auto it = givenWay_.find(ticket);
    if (it == givenWay_.end()) return;
    auto keep = shared_from_this();
    GivenWay given = std::move(it->second);
    givenWay_.erase(it);
    discharge(given.charged);
    ResourceLoader::Result result;
    result.error = Error("WebKitErrorDomain", 102, "the page had too many loads pending");
    if (given.completion) given.completion(given.url, result);
}

void SubresourceQueue::takeTurn(Host& host, const std::string* name) {
    if (host.turn || host.waiting.empty() || host.underWay >= MaximumLoadsPerHost) return;
    host.turn = turns_.insert(turns_.end(), name);
}

void SubresourceQueue::pump() {
    while (underWay_ < MaximumLoadsUnderWay && !turns_.empty()) {
        const std::string* name = turns_.front();
        turns_.pop_front();
        Host& host = hosts_.at(*name);
        host.turn.reset();
        if (host.waiting.empty() || host.underWay >= MaximumLoadsPerHost) continue;
        const Ticket ticket = host.waiting.front();
        host.waiting.pop_front();
        rankHost(host, name);
        Entry& entry = entries_.at(ticket);
        entry.place = {};
        ++host.underWay;
        ++underWay_;
        // The host takes its next turn after the others waiting.
        takeTurn(host, name);
        entry.running = true;
        ResourceLoader::Result refused;
        std::weak_ptr<SubresourceQueue> weak = weak_from_this();
        if (const std::size_t running = runningBytes(entry.url); charge(running)) {
            entry.charged += running;
            // The completion never runs inside the start.
            entry.loader = starter_(entry.url,
                                    [weak, ticket](const ResourceLoader::Result& result) {
                                        if (auto queue = weak.lock()) queue->ended(ticket, result);
                                    },
                                    budget_);
            if (entry.loader) continue;
            refused.error = Error("WebKitErrorDomain", 102, "the load could not be started");
        } else {
            refused.error = Error("WebKitErrorDomain", 102, "the load does not fit in the page's memory budget");
        }
        // Told as any load's end is, from a task of its own.
        MainLoop::main().post([weak, ticket, refused] {
            if (auto queue = weak.lock()) queue->ended(ticket, refused);
        });
    }
}

void SubresourceQueue::ended(Ticket ticket, const ResourceLoader::Result& result) {
    auto it = entries_.find(ticket);
    if (it == entries_.end()) return;
    auto keep = shared_from_this();
    Entry entry = std::move(it->second);
    entries_.erase(it);
    release(entry);
    pump();
    if (entry.completion) entry.completion(entry.url, result);
}

void SubresourceQueue::release(Entry& entry) {
    discharge(std::exchange(entry.charged, 0));
    auto hostIt = hosts_.find(*entry.host);
    if (hostIt == hosts_.end()) return;
    Host& host = hostIt->second;
    if (entry.running) {
        --host.underWay;
        --underWay_;
    } else {
        host.waiting.erase(entry.place);
        rankHost(host, &hostIt->first);
    }
    if (host.waiting.empty() && host.underWay == 0) {
        if (host.turn) turns_.erase(*host.turn);
        hosts_.erase(hostIt);
        return;
    }
    takeTurn(host, &hostIt->first);
}

void SubresourceQueue::cancel(Ticket ticket) {
    auto it = entries_.find(ticket);
    if (it == entries_.end()) {
        if (auto given = givenWay_.find(ticket); given != givenWay_.end()) {
            discharge(given->second.charged);
            givenWay_.erase(given);
        }
        return;
    }
    Entry entry = std::move(it->second);
    entries_.erase(it);
    if (entry.loader) entry.loader->cancel();
    release(entry);
    pump();
}

void SubresourceQueue::cancelAll() {
    for (auto& [ticket, entry] : entries_) {
        if (entry.loader) entry.loader->cancel();
        discharge(entry.charged);
    }
    for (auto& [ticket, given] : givenWay_)
        discharge(given.charged);
    entries_.clear();
    givenWay_.clear();
    hosts_.clear();
    turns_.clear();
    byWaiting_.clear();
    underWay_ = 0;
}

} // namespace platform
