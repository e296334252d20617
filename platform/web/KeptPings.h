#pragma once
// The pings a web view's documents sent (tracking and click requests, purchase reports) that go on after
// their document closes, as a browser's beacons: one lane per web view, for all its documents together,
// bounded per view (MaximumPerView pings, MaximumBytesPerView of URL and body, and what their owners keep
// of them afterwards) and per process (MaximumInProcess, MaximumBytesInProcess), each for Deadline
// seconds, after which one still loading fails. On the network they are the view's kept pings
// (TransferOrigin::kept), apart from every document's places, and hold at most the engine's
// Limits::keptPingTransfers places: kept ones that wait start only within them, and a closing
// document's ping already under way is kept only where one is left (or a stalled kept ping gives its
// own). Main thread only.
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "platform/base/Error.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLRequest.h"

namespace platform {

class Timer;
class URLConnection;
class URLConnectionDelegate;

class KeptPings : public std::enable_shared_from_this<KeptPings> {
public:
    static constexpr std::size_t MaximumPerView = 16;
    static constexpr std::size_t MaximumBytesPerView = 64u << 10;  // a browser's keep-alive quota
    static constexpr std::size_t MaximumInProcess = 256;
    static constexpr std::size_t MaximumBytesInProcess = 1u << 20;
    static constexpr double Deadline = 30;
    // A host that has left a document's ping unanswered this long may never answer: at the document's
    // close its pings rank after those that may still be answered, and give way to them.
    static constexpr double StalledAfter = 5;

    // `lane`: the web view's id (TransferOrigin::keptLane).
    static std::shared_ptr<KeptPings> create(std::uint64_t lane);
    ~KeptPings();
    KeptPings(const KeptPings&) = delete;
    KeptPings& operator=(const KeptPings&) = delete;

    // One kept ping's hold on the quotas: given back when it goes (its load has ended), or when a ping
    // more likely to be answered takes its place.
    class Entry {
    public:
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        // Bytes its owner keeps of it: false when the view's or the process's quota has no room left.
        bool charge(std::size_t bytes);

    private:
        friend class KeptPings;
        Entry() = default;
        std::shared_ptr<KeptPings> lane_;  // the lane lives while a ping holds its quota
        std::weak_ptr<URLConnection> connection_;
        std::list<Entry*>::iterator at_;        // its place in the lane's entries, while not released
        std::list<Entry*>::iterator everyAt_;   // and among every lane's
        std::size_t bytes_ = 0;
        double madeAt_ = 0;
        double deadline_ = 0;
        bool stalled_ = false;
        bool released_ = false;
    };

    // A document's ping at its close: its connection, what it holds (its URL and body), when it was made,
    // and what the document saw of its host: one that answered a ping of the document, or one that has
    // left one unanswered for StalledAfter (stalled).
    struct Candidate {
        std::shared_ptr<URLConnection> connection;
        std::size_t bytes = 0;
        double madeAt = 0;
        bool hostAnswered = false;
        bool stalled = false;
    };
    // A kept ping that may give its quota or its place to a candidate that is not stalled: unanswered,
    // and stalled when kept or made StalledAfter ago.
    static bool mayGiveWay(const Entry& entry, const URLConnection& connection, double now);
    // Which of a closing document's pings go on: within the quotas, those to hosts that answered first,
    // then those that may still be answered, then stalled ones, each oldest first; a stalled ping kept
    // earlier in this view gives way to one that is not (it fails now). Returns one entry per candidate,
    // null for those that end with the document. The kept ones move to this lane on the network.
    std::vector<std::shared_ptr<Entry>> keep(const std::vector<Candidate>& candidates);

    // A ping of `document` made after the document has closed (a purchase reported late): kept as its
    // pings are, within the quotas, from now to its deadline. Not started; nullptr, with the reason in
    // `error`, when refused.
    std::shared_ptr<URLConnection> connectionAfterClose(const URLRequest& request,
                                                        std::weak_ptr<URLConnectionDelegate> delegate,
                                                        const TransferOrigin& document, Error* error = nullptr);

    std::uint64_t lane() const { return lane_; }
    std::size_t count() const { return entries_.size(); }
    std::size_t bytes() const { return bytes_; }
    static std::size_t countInProcess();
    static std::size_t bytesInProcess();
    // Those of them under way now, each holding a place on the network.
    static std::size_t underWayInProcess();

    using Entries = std::list<Entry*>;

private:
    explicit KeptPings(std::uint64_t lane) : lane_(lane) {}
    class AfterCloseTicket;
    static Entries& everyEntry();

    // Takes `entry` out of the quotas (it has ended or given way).
    void release(Entry& entry);
    std::shared_ptr<Entry> admit(const Candidate& candidate);
    void scheduleDeadline();
    void deadlinePassed();

    const std::uint64_t lane_;
    Entries entries_;  // those holding the quotas, in the order they were kept
    std::size_t bytes_ = 0;
    std::size_t dropped_ = 0;  // pings that ended with their page for want of room, for the log
    std::shared_ptr<Timer> deadline_;
};

} // namespace platform
