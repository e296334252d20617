#pragma once
// A URL load with a delegate: redirect hops, response, data in chunks, then exactly one of finish or
// failure, delivered in order on the main loop or on a chosen operation queue. A loading connection
// keeps itself alive until it ends or is cancelled; after cancel() no delegate call comes.
// Any thread may create, start and cancel.
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/base/Error.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLRequest.h"

namespace platform {

class OperationQueue;
class URLProtocol;

class URLConnection : public std::enable_shared_from_this<URLConnection> {
public:
    using Completion = std::function<void(std::optional<HTTPURLResponse> response, Bytes data,
                                          std::optional<Error> error)>;
    static constexpr int MaximumRedirects = 16;

    // What a load holds of whoever it is for while it loads (a place among a page's loads, room in that
    // page's memory): given up when the load ends, however it ends (its end delivered, cancelled,
    // abandoned, or the connection let go of), on whichever thread that happens.
    class Ticket {
    public:
        virtual ~Ticket() = default;
        // Memory the delegate keeps of the load (a body it gathers): false when there is no room for it.
        virtual bool charge(std::size_t bytes) = 0;
    };

    // `origin`: whose load it is (every hop goes on that side of the network engine; see TransferOrigin).
    static std::shared_ptr<URLConnection> create(const URLRequest& request,
                                                 std::weak_ptr<URLConnectionDelegate> delegate, TransferOrigin origin,
                                                 bool startImmediately = true);

    // Loads `request` for `origin` and calls `completion` once on `queue` (nullptr: the main loop): the
    // response and the whole body, or an error.
    static void sendAsynchronousRequest(const URLRequest& request, TransferOrigin origin,
                                        std::shared_ptr<OperationQueue> queue, Completion completion);
    // Loads `request` for `origin` while the calling thread waits. Never on the main thread (it logs and
    // fails). nullopt on failure, with `error` filled.
    static std::optional<Bytes> sendSynchronousRequest(const URLRequest& request, TransferOrigin origin,
                                                       HTTPURLResponse* response, Error* error);

    // Delivery on `queue` instead of the main loop; only before start().
    void setDelegateQueue(std::shared_ptr<OperationQueue> queue);
    // Before start(): what the load holds while it loads (see Ticket).
    void setTicket(std::shared_ptr<Ticket> ticket);
    void start();
    void cancel();
    // Ends the load as failed: the transfer stops now, and the delegate hears didFailWithError(error) on
    // its delivery thread, never inside this call, unless the load had already ended or been cancelled.
    // A connection not started yet fails as it starts. Any thread.
    void abandon(Error error);
    // Counts `bytes` the delegate keeps of this load against its ticket until the load ends: false when
    // they do not fit, and the delegate then ends the load. Always true without a ticket. Any thread; a
    // page's ticket admits from the main thread only.
    bool charge(std::size_t bytes);
    // Any thread. Whose load it is now.
    TransferOrigin origin() const;

    const URLRequest& originalRequest() const { return originalRequest_; }
    // The request of the current hop.
    URLRequest currentRequest() const;
    // Any thread. Body bytes come from the network that the delegate has not had yet.
    std::size_t undeliveredDataBytes() const { return undeliveredData_.load(); }
    // Any thread. The memory those bytes take (the room reserved for them): what holds the transfer.
    std::size_t heldDataBytes() const { return heldData_.load(); }

    ~URLConnection();
    URLConnection(const URLConnection&) = delete;
    URLConnection& operator=(const URLConnection&) = delete;

private:
    enum class Delivery { MainLoop, Queue, Direct };
    struct Event {
        enum class Kind { Begin, Response, Data, Redirect, Finish, Fail };
        Kind kind = Kind::Begin;
        std::optional<HTTPURLResponse> response;
        bool cacheAllowed = true;
        Bytes data;
        std::optional<URLRequest> request;  // where a redirect leads
        std::optional<Error> error;
    };
    class HopListener;
    class ProtocolClient;

    URLConnection(const URLRequest& request, std::weak_ptr<URLConnectionDelegate> delegate, TransferOrigin origin);

    void enqueue(Event event);
    // Several events under one lock and at most one hand-over to the delivery thread.
    void enqueue(std::vector<Event> events);
    // Hands the queue to the delivery thread (which drains it).
    void scheduleDrain();
    // Under the lock: a queued data chunk that will not be delivered no longer counts as held.
    void forgetData(const Bytes& chunk);
    void drain();
    void deliver(Event& event);
    void startHop(const URLRequest& request);
    void fail(Error error);
    void deliverTerminal(const std::shared_ptr<URLConnectionDelegate>& delegate, const std::optional<Error>& error);
    std::shared_ptr<URLConnectionDelegate> delegate() const;
    bool isCancelled() const { return cancelled_.load(); }
    // Memory taken by body data the network has handed on that the delegate has not had yet, past which
    // the transfer is held, and below which a held one reads on: what a slow consumer leaves in memory
    // stays near this, however the server cuts its body up.
    // Data is handed on in chunks of at most kDataChunk, each as soon as it is full.
    // The held transfer reads on as soon as one chunk has gone, so the consumer never runs dry while
    // the network wakes up again.
    static constexpr std::size_t kDataChunk = 128u << 10;
    static constexpr std::size_t kHeldDataHighWater = 1024u << 10;
    static constexpr std::size_t kHeldDataLowWater = kHeldDataHighWater - kDataChunk;
    // Pieces smaller than this join the data chunk waiting before them, rather than each taking an
    // event's room of its own.
    static constexpr std::size_t kJoinedPiece = 4u << 10;
    // Room in `chunk` for `needed` bytes: doubled as it fills, never past kDataChunk.
    static void makeRoom(Bytes& chunk, std::size_t needed);
    // Delivery thread, after a chunk of `bytes` that took `held` went to the delegate.
    void dataTaken(std::size_t bytes, std::size_t held);

    const URLRequest originalRequest_;
    TransferOrigin origin_;  // under the mutex
    std::weak_ptr<URLConnectionDelegate> delegate_;
    // For the one-shot loads, whose delegate nobody else holds.
    std::shared_ptr<URLConnectionDelegate> ownedDelegate_;
    std::shared_ptr<OperationQueue> queue_;
    Delivery delivery_ = Delivery::MainLoop;

    std::atomic<bool> cancelled_{false};
    std::atomic<std::size_t> undeliveredData_{0};
    std::atomic<std::size_t> heldData_{0};
    std::atomic<bool> transferHeld_{false};
    mutable std::mutex mutex_;
    bool started_ = false;
    bool abandoned_ = false;         // no further hop starts; its failure is queued (or waits for start)
    std::optional<Error> abandonedBeforeStart_;
    bool terminalQueued_ = false;    // a finish or failure is on its way: nothing after it
    bool ended_ = false;             // the finish or failure has been delivered
    bool drainScheduled_ = false;
    std::deque<Event> events_;
    URLRequest currentRequest_;
    std::uint64_t transferId_ = 0;   // the network transfer of the current hop, if any
    std::shared_ptr<URLProtocol> protocol_;
    bool registeredWhileLoading_ = false;  // held by the process-wide set of loading connections
    std::shared_ptr<Ticket> ticket_;       // until the load ends

    // Delivery thread only.
    int redirects_ = 0;
    std::optional<HTTPURLResponse> response_;
    bool cacheAllowed_ = true;
};

} // namespace platform
