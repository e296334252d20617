#pragma once
// The subresource loads of one page (images, scripts, frames) in one queue. At most MaximumLoadsPerHost
// run at once for one host, as a phone's web view opens a handful of connections per host, and at most
// MaximumLoadsUnderWay in all, so that what a page hands the network engine stays bounded whatever it
// asks (the engine keeps web content apart from the app's side, and starts a page's share of its loads
// while the rest wait there); the others wait their turn here, hosts taking turns. What waits or runs is
// bounded in number (MaximumPendingLoads, every host together) and counted against the page's budget while
// held: its record and URL, the copies a load under way makes of them, and its body as it arrives.
// A host that never answers holds its own loads only, however many hosts hang: when the page is full, the
// host with the longest waiting list gives way. A new load for that host (or one as long) is refused at
// once; a new load for another host takes the place of that host's newest waiting load, which never made
// its request and ends with an error (told from a task of its own, as every load's end; until then it
// keeps its charge). What does not fit the budget is refused at once.
// Each call is constant work per load it starts or ends (and logarithmic in the hosts waiting to rank them),
// whatever the number queued. Main thread only.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/base/URL.h"
#include "platform/web/ResourceLoader.h"

namespace platform {

class SubresourceQueue : public std::enable_shared_from_this<SubresourceQueue> {
public:
    using Ticket = std::uint64_t;
    // Runs once when the load ends, never inside add() or cancel(); not for a load cancelled.
    using Completion = std::function<void(const URL& url, const ResourceLoader::Result& result)>;
    // Starts the load of `url` whose turn came (the page makes its request); `done` and `budget` go to the loader.
    using Starter = std::function<std::shared_ptr<ResourceLoader>(const URL& url, ResourceLoader::Completion done,
                                                                  ResourceLoader::Budget budget)>;

    static constexpr int MaximumLoadsPerHost = 6;
    static constexpr std::size_t MaximumLoadsUnderWay = 128;
    static constexpr std::size_t MaximumPendingLoads = 1000;
    // As a phone's web view, no load of a longer URL: web content's one bound (TransferOrigin).
    static constexpr std::size_t MaximumURLLength = TransferOrigin::MaximumURLLength;

    // `budget` is the page's: the queue's records and the loads' bodies are charged to it.
    SubresourceQueue(Starter starter, ResourceLoader::Budget budget);
    ~SubresourceQueue();
    SubresourceQueue(const SubresourceQueue&) = delete;
    SubresourceQueue& operator=(const SubresourceQueue&) = delete;

    // Queues the load of `url` (started now if its host and the page have room), in place of another host's
    // newest waiting load when the page has too many pending (see above). 0 when refused, with the reason
    // in `why`: too many pending for its host, a URL too long, or no room left in the page's budget.
    Ticket add(const URL& url, Completion completion, std::string* why = nullptr);
    // Ends a load waiting or under way (or given way, its end still to be told); its completion never runs.
    void cancel(Ticket ticket);
    void cancelAll();

    // Loads waiting or under way (not those given way), and those under way.
    std::size_t pendingCount() const { return entries_.size(); }
    std::size_t underWayCount() const { return underWay_; }

    // What one load is charged while it waits, and more while it runs (the request, and the network
    // engine's copies of its URL): its body comes on top.
    static std::size_t waitingBytes(const URL& url);
    static std::size_t runningBytes(const URL& url);

private:
    struct Host {
        std::list<Ticket> waiting;
        int underWay = 0;
        // Its place in the turns of hosts with loads waiting and room to start one.
        std::optional<std::list<const std::string*>::iterator> turn;
        // Its place among the hosts with as many loads waiting (rankedAt), while it has any.
        std::size_t rankedAt = 0;
        std::list<const std::string*>::iterator rank;
    };
    struct Entry {
        URL url;
        const std::string* host = nullptr;  // the key of its host's record
        Completion completion;
        std::shared_ptr<ResourceLoader> loader;  // null while it waits
        bool running = false;
        std::list<Ticket>::iterator place;       // in its host's waiting list, while it waits
        std::size_t charged = 0;
    };

    // Puts the host among those with as many loads waiting as it has now, last.
    void rankHost(Host& host, const std::string* name);
    // Whether a load for `host` may have the place of another host's, when the page has too many pending.
    bool mayDisplace(const std::string& host) const;
    // Ends the newest waiting load of the host with the longest waiting list, to be told from a task.
    void giveWay();
    void toldGivenWay(Ticket ticket);
    void pump();
    void ended(Ticket ticket, const ResourceLoader::Result& result);
    // Takes the entry out of its host's accounting, and its host out of the queue once it has nothing.
    void release(Entry& entry);
    void takeTurn(Host& host, const std::string* name);
    bool charge(std::size_t bytes);
    void discharge(std::size_t bytes);

    Starter starter_;
    ResourceLoader::Budget budget_;
    std::unordered_map<Ticket, Entry> entries_;
    std::unordered_map<std::string, Host> hosts_;
    std::list<const std::string*> turns_;
    // Hosts with loads waiting, by how many; in each, those that came to that number last at the back.
    std::map<std::size_t, std::list<const std::string*>> byWaiting_;
    // Loads that gave way, their end to be told; each keeps its charge until then.
    struct GivenWay {
        URL url;
        Completion completion;
        std::size_t charged = 0;
    };
    std::unordered_map<Ticket, GivenWay> givenWay_;
    std::size_t underWay_ = 0;
    Ticket nextTicket_ = 1;
};

} // namespace platform
