#include "platform/web/KeptPings.h"

#include <algorithm>
#include <functional>
#include <numeric>

#include "platform/base/Log.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/Timer.h"

namespace platform {

namespace {
// Every view's kept pings together (main thread only).
std::size_t keptInProcess = 0;
std::size_t keptBytesInProcess = 0;

// Every lane's entries, in the order they were kept.
KeptPings::Entries& everyEntryList() {
    static auto* entries = new KeptPings::Entries();
    return *entries;
}

Error keptPingError(const std::string& why) { return Error("WebKitErrorDomain", 102, why); }
} // namespace

// A ping made after its document closed holds only its entry in the quotas; it gives the entry back on
// the main thread (the load may end on another).
class KeptPings::AfterCloseTicket : public URLConnection::Ticket {
public:
    explicit AfterCloseTicket(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    ~AfterCloseTicket() override {
        if (!MainLoop::isMainThread()) MainLoop::main().post([entry = std::move(entry_)] {});
    }
    bool charge(std::size_t bytes) override { return MainLoop::isMainThread() && entry_->charge(bytes); }

private:
    std::shared_ptr<Entry> entry_;
};

std::shared_ptr<KeptPings> KeptPings::create(std::uint64_t lane) {
    return std::shared_ptr<KeptPings>(new KeptPings(lane));
}

KeptPings::~KeptPings() {
    if (deadline_) deadline_->invalidate();
}

std::size_t KeptPings::countInProcess() { return keptInProcess; }
std::size_t KeptPings::bytesInProcess() { return keptBytesInProcess; }

std::size_t KeptPings::underWayInProcess() {
    std::size_t underWay = 0;
    for (const Entry* entry : everyEntry()) {
        auto connection = entry->connection_.lock();
        if (connection && connection->isUnderWay()) ++underWay;
    }
    return underWay;
}

KeptPings::Entry::~Entry() {
    if (lane_) lane_->release(*this);
}

bool KeptPings::Entry::charge(std::size_t bytes) {
    if (released_ || !lane_) return false;
    if (bytes > MaximumBytesPerView - lane_->bytes_ || bytes > MaximumBytesInProcess - keptBytesInProcess)
        return false;
    bytes_ += bytes;
    lane_->bytes_ += bytes;
    keptBytesInProcess += bytes;
    return true;
}

KeptPings::Entries& KeptPings::everyEntry() { return everyEntryList(); }

void KeptPings::release(Entry& entry) {
    if (entry.released_) return;
    entry.released_ = true;
    entries_.erase(entry.at_);
    everyEntry().erase(entry.everyAt_);
    bytes_ -= entry.bytes_;
    keptBytesInProcess -= entry.bytes_;
    --keptInProcess;
}

std::shared_ptr<KeptPings::Entry> KeptPings::admit(const Candidate& candidate) {
    std::shared_ptr<Entry> entry(new Entry());
    entry->lane_ = shared_from_this();
    entry->connection_ = candidate.connection;
    entry->bytes_ = candidate.bytes;
    entry->madeAt_ = candidate.madeAt;
    entry->stalled_ = candidate.stalled;
    entry->deadline_ = Clock::now() + Deadline;
    entry->at_ = entries_.insert(entries_.end(), entry.get());
    entry->everyAt_ = everyEntry().insert(everyEntry().end(), entry.get());
    bytes_ += candidate.bytes;
    keptBytesInProcess += candidate.bytes;
    ++keptInProcess;
    // Out of its document's places, into this view's lane of kept pings.
    candidate.connection->setOrigin(candidate.connection->origin().kept());
    scheduleDeadline();
    return entry;
}

bool KeptPings::mayGiveWay(const Entry& entry, const URLConnection& connection, double now) {
    return !connection.hasBeenAnswered() && (entry.stalled_ || now - entry.madeAt_ >= StalledAfter);
}

std::vector<std::shared_ptr<KeptPings::Entry>> KeptPings::keep(const std::vector<Candidate>& candidates) {
    const double now = Clock::now();
    auto rank = [](const Candidate& c) { return c.hostAnswered ? 0 : c.stalled ? 2 : 1; };
    std::vector<std::size_t> order(candidates.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::make_pair(rank(candidates[a]), candidates[a].madeAt) <
               std::make_pair(rank(candidates[b]), candidates[b].madeAt);
    });
    // Kept pings' places on the network: those under way now (counted here, as the network may not have
    // taken the moves of a close in this same turn yet), and what this close adds.
    const std::size_t places = NetworkEngine::shared().limits().keptPingTransfers;
    std::size_t underWay = underWayInProcess();
    // Fails a kept ping that may give way, for `c`, in `among` (this lane's, or every lane's), while
    // `fits` says no. Those kept longest go first.
    auto pushOut = [&](const Candidate& c, const Entries& among, const std::function<bool()>& fits,
                       bool underWayOnly) {
        if (c.stalled) return;
        for (auto at = among.begin(); at != among.end() && !fits();) {
            Entry& old = **at++;
            auto connection = old.connection_.lock();
            if (connection && !mayGiveWay(old, *connection, now)) continue;
            const bool held = connection && connection->isUnderWay();
            if (underWayOnly && !held) continue;
            old.lane_->release(old);
            if (held) --underWay;
            if (connection) connection->abandon(keptPingError("the page's ping gave its place to a newer one"));
        }
    };
    std::vector<std::shared_ptr<Entry>> kept(candidates.size());
    for (std::size_t i : order) {
        const Candidate& c = candidates[i];
        auto fitsQuota = [&] {
            return entries_.size() < MaximumPerView && keptInProcess < MaximumInProcess &&
                   c.bytes <= MaximumBytesPerView - bytes_ && c.bytes <= MaximumBytesInProcess - keptBytesInProcess;
        };
        // One that may still be answered takes the place of one kept earlier that has stalled.
        pushOut(c, entries_, fitsQuota, false);
        // One already under way needs a kept ping's place on the network.
        const bool needsPlace = c.connection->isUnderWay();
        auto fitsPlace = [&] { return !needsPlace || underWay < places; };
        pushOut(c, everyEntry(), fitsPlace, true);
        if (!fitsQuota() || !fitsPlace()) {
            // A page can close without end (one that reloads itself): the log hears of the first pings
            // dropped, then of every doubling.
            ++dropped_;
            if ((dropped_ & (dropped_ - 1)) == 0)
                logWarning("web view: a ping ends with its page, past the kept pings' quota (" +
                           std::to_string(dropped_) + " so far)");
            continue;
        }
        if (needsPlace) ++underWay;
        kept[i] = admit(c);
    }
    return kept;
}

std::shared_ptr<URLConnection> KeptPings::connectionAfterClose(const URLRequest& request,
                                                               std::weak_ptr<URLConnectionDelegate> delegate,
                                                               const TransferOrigin& document, Error* error) {
    const std::size_t bytes = request.url().absoluteString().size() + request.httpBody().size();
    if (request.url().absoluteString().size() > TransferOrigin::MaximumURLLength) {
        setError(error, keptPingError("the page's ping is refused: its URL is too long"));
        return nullptr;
    }
    auto connection = URLConnection::create(request, std::move(delegate), document.kept(), false);
    std::vector<Candidate> one{{connection, bytes, Clock::now(), false, false}};
    std::shared_ptr<Entry> entry = keep(one).front();
    if (!entry) {
        setError(error, keptPingError("the page's ping is refused: its web view keeps as many as it may"));
        return nullptr;
    }
    connection->setTicket(std::make_shared<AfterCloseTicket>(std::move(entry)));
    return connection;
}

void KeptPings::scheduleDeadline() {
    if (entries_.empty()) {
        if (deadline_) deadline_->invalidate();
        deadline_.reset();
        return;
    }
    double soonest = (*std::min_element(entries_.begin(), entries_.end(), [](const Entry* a, const Entry* b) {
                         return a->deadline_ < b->deadline_;
                     }))->deadline_;
    if (deadline_) deadline_->invalidate();
    std::weak_ptr<KeptPings> weak = weak_from_this();
    deadline_ = Timer::scheduledTimer(std::max(0.0, soonest - Clock::now()), false, [weak](Timer&) {
        if (auto lane = weak.lock()) lane->deadlinePassed();
    });
}

void KeptPings::deadlinePassed() {
    const double now = Clock::now();
    std::vector<std::shared_ptr<URLConnection>> late;
    for (auto at = entries_.begin(); at != entries_.end();) {
        Entry& entry = **at++;
        if (entry.deadline_ > now) continue;
        if (auto connection = entry.connection_.lock()) late.push_back(std::move(connection));
        release(entry);
    }
    // Together: none that waits is started by a place another gives up as it fails.
    NetworkEngine::Batch batch;
    for (auto it = late.rbegin(); it != late.rend(); ++it)
        (*it)->abandon(keptPingError("the page's ping ran past its deadline"));
    scheduleDeadline();
}

} // namespace platform
