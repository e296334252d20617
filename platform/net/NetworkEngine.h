#pragma once
// The process's one curl multi handle and the one network thread that drives it, started on first
// use. Every transfer is one HTTP exchange (redirects are not followed here). Any thread may start and
// cancel; listeners hear from the network thread.
// Transfers load in two pools, as on a phone: the app's own and web content (see TransferOrigin). Each
// has its own limit of MaximumTransfersPerHost under way per URL origin (scheme, host and port), its own
// queues and its own cap across hosts, so a page's load never waits in front of an app request or takes
// its place. Both caps sit below the process's descriptor limit (see Limits), so that whatever either
// side is asked, the process's own files still open. On the app's side transfers start in the order they
// came, as their origins have room.
// On web content's, a document's loads are grouped by the document (see TransferOrigin). Each document
// has its own MaximumTransfersPerHost places per origin, so one document's loads that hang or trickle on
// a host never hold another's there. A document has up to Limits::documentTransfers loads under way (its
// share: an eighth of the side's, at least MaximumTransfersPerHost) whenever places are free, and more
// only while half the side's places stay free, so that a document alone may have as many under way as
// its subresource queue lets it (128 of 256) while others keep room. The last Limits::newDocumentReserve
// places are only for documents with nothing under way: documents that already load start no more while
// that few are free. When a place frees, the document with the fewest under way gets it (ties go to the
// one served longest ago).
// Pings (admitPing) go first, never behind loads, within Limits::pingTransfers places (all the side's but
// the loads' reserve), placed by one policy (PingScheduler: view by view in turn; within a view redirects,
// then hosts that answer, then slow hosts; Limits::pingReserve of them kept for a hop to a host that
// answers, of an ad with no other such hop under way). A page's ping is done when its final head comes
// (its body is not read), and fails as timed out PingScheduler's life after it was admitted, waiting
// included, whatever its rate; a hop left less than a second of that life fails unsent.
// A transfer of web content (a load or a ping's hop) that has held its first place StuckConnectionSeconds
// without writing its request (its connection or handshake never came) hands the place straight to one
// that has never had a place and waits for it (a ping's hop first, else a load), and goes back to the
// front of its queue, keeping its deadline (a ping its life): it was never sent. That happens to a
// transfer once at most: the place it takes next, like the place handed to the newcomer, it keeps until
// its request is written, its timeout or its ping's life ends, or its owner cancels it. So a handshake
// slower than the mark completes by its second try, and no stream of newcomers keeps a transfer from ever
// connecting. Stuck transfers are looked at only when one that never had a place begins to wait, web
// content ends one, or another passes the mark, oldest first, until one whose place nothing takes. A
// document put back counts as just served, so the one it gave way to keeps its turn.
// When every place is taken and a document that has not had one yet waits with a load, or a ping that
// has never had a place is owed one (a reserve place, or its view holds fewer than its share), the written
// load that took its place longest ago (and MinimumHoldMilliseconds ago at least) fails as timed out, and
// its place goes to that newcomer and no other: one load for each. A load still connecting is left alone
// until it is stuck; on a place it keeps (its second, or one handed to it) it gives way too once it has
// held it DeadConnectionSeconds unwritten, failing unsent, so that dead handshakes cannot shut a new
// document out until their timeouts. A ping whose request is written never gives its place back, and no
// request the server may have read is sent again. So a document with nothing under way gets a place at
// once beside documents whose loads hang or trickle. Waiting costs no descriptor.
// A document's load whose answer's body has begun must bring MinimumWebContentBytesPerWindow in each
// WebContentRateWindowSeconds from the body's first byte (a held transfer's window starts again when it
// reads on), or it fails as timed out: a load that trickles a byte at a time, each byte restarting its
// inactivity timeout, gives its place back. An interim or early head starts no window. Every response's
// head is complete within the request's timeout from the request being written, or it fails as timed
// out, however its bytes trickle.
// A transfer's inactivity timeout runs from when it starts; a load that waits its whole timeout for a
// place fails as timed out without being sent.
// Sent at most once: a request with a body, and one whose method HTTP does not define as idempotent (POST
// and PATCH among them, with or without a body). It goes out on a new connection, where the network
// library never sends a request again, and the engine does not either: a server may act on each copy it
// reads, even one it drops unanswered. Every other request (GET, HEAD, OPTIONS, TRACE, and PUT or
// DELETE without a body, which repeated act as once) may go out on a kept-alive connection. When a
// connection it reused ends before a byte of answer, web content's request goes once more, on a new
// connection, and never a third time, as a browser's. On the app's side the network library itself tries
// again on other kept connections (up to five times); if it still fails with a send or receive error or
// an empty answer, before a byte of answer, and no new connection was made for it (every try was on
// connections kept from earlier transfers, which a server may close at any moment), the engine sends it
// once more on a new connection.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/base/Error.h"
#include "platform/net/NetworkTransferListener.h"
#include "platform/net/PingScheduler.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLRequest.h"

namespace platform {

class NetworkEngine {
    struct Impl;

public:
    using TransferId = std::uint64_t;
    static constexpr int MaximumTransfersPerHost = 6;
    // The network library builds no request head (request line and header fields) larger than this: a
    // request that would need more fails as it starts, before the library copies its URL.
    static constexpr std::size_t MaximumRequestHeadBytes = 1u << 20;

    // Descriptor arithmetic, from the soft RLIMIT_NOFILE (L) read when the engine starts:
    //   reserved         = min(ReservedDescriptors, L / 2), less at the tiniest limits (below)
    //   idle connections = min(MaximumIdleConnections, L / 8)
    //   web content      = (L - reserved - idle) / 3, within [MaximumTransfersPerHost,
    //                      MaximumWebContentTransfers]
    //   app descriptors  = L - reserved - idle - web content * DescriptorsPerTransferAtWorst
    //   app transfers    = app descriptors / DescriptorsPerTransferAtWorst
    //   a document's share = web content / 8, within [MaximumTransfersPerHost, web content]
    //   new document reserve = web content / 4, within [1, MaximumTransfersPerHost] (none when web content is 1)
    //   a document alone = web content / 2, or its share when more, and never into the reserve
    //   pings            = web content - new document reserve (at least 1), of which an eighth (at least
    //                      2, fewer below 3) for a hop to a host that answers (see PingScheduler::limitsFor)
    // A transfer holds one socket, two for a moment at worst (a name lookup's wake-up pair, a second
    // address family tried), so web content holds at most two thirds of what the reserve and curl's idle
    // cache leave, and the app's side the last third. The app keeps MaximumTransfersPerHost transfers at
    // least: below 64 descriptors web content gives up what that takes, down to one transfer, and below
    // 35 the reserve gives up what is still missing (nothing fits under 15).
    //   L      reserved idle web content doc's share reserve doc alone pings (reserve) app transfers (descr.)
    //   64     32       8    6           6           1       5         5 (2)           6 (12)
    //   128    64       16   16          6           4       8         12 (2)          8 (16)
    //   256    64       32   53          6           6       26        47 (5)          27 (54)   common on phones
    //   1,024  64       32   256         32          6       128       250 (31)        208 (416)
    static constexpr std::size_t MaximumWebContentTransfers = 256;  // a desktop browser's figure
    static constexpr std::size_t MaximumIdleConnections = 32;
    // The process's own files: standard streams, logs, stored data, the engine's wake-up pair.
    static constexpr std::size_t ReservedDescriptors = 64;
    static constexpr std::size_t DescriptorsPerTransferAtWorst = 2;
    // Web content's least rate once an answer has begun (see above): far below a slow phone network's.
    static constexpr std::size_t MinimumWebContentBytesPerWindow = 1024;
    static constexpr int WebContentRateWindowSeconds = 15;
    // A load gives its place back only once it has held it this long (see above).
    static constexpr int MinimumHoldMilliseconds = 500;
    // Web content that has held its first place this long without writing its request hands it on once
    // (see above): longer than a slow phone network's handshake.
    static constexpr int StuckConnectionSeconds = 5;
    // A load on a place it keeps (see above) that has held it this long unwritten gives way to a newcomer:
    // past the slowest handshakes phone networks take (7 s), and soon enough that a new document's first
    // image still has its place within 10 s.
    static constexpr int DeadConnectionSeconds = 8;

    struct Limits {
        std::size_t descriptorLimit = 0;      // what the figures are derived from
        std::size_t reservedDescriptors = 0;  // left to the process's own files
        std::size_t idleConnections = 0;      // connections curl keeps for reuse, at most
        std::size_t webContentTransfers = 0;  // web content under way at once, all documents together
        std::size_t documentTransfers = 0;    // one document's share of web content (see above)
        std::size_t newDocumentReserve = 0;   // web content's places only a document with none under way takes
        std::size_t pingTransfers = 0;        // web content's places pings may hold together
        std::size_t pingReserve = 0;          // of those, kept for a hop to a host that answers
        std::size_t appDescriptors = 0;       // what the app's side may hold at worst
        std::size_t appTransfers = 0;         // the app's side under way at once
    };
    static Limits limitsFor(std::size_t descriptorLimit);

    static NetworkEngine& shared();

    // Queues the exchange for `origin`'s side; the listener is held until the transfer completes or is
    // cancelled.
    TransferId start(const URLRequest& request, std::shared_ptr<NetworkTransferListener> listener,
                     TransferOrigin origin);
    // Any thread. Admits a page's ping of `bytes` (its URL and body) for `origin` (a document's, web
    // content) once, as it is made: its hops then start with origin.ping(id). 0, with the reason in
    // `error` (and the log, at each doubling of a quota's refusals), past its ad's or the process's quota
    // of pings (see PingScheduler). Counted until releasePing.
    PingScheduler::PingId admitPing(const TransferOrigin& origin, std::size_t bytes, Error* error = nullptr);
    // Any thread. The ping's owner lets it go (its end delivered, or cancelled): its quota comes back.
    void releasePing(PingScheduler::PingId ping);
    // Pings admitted and not let go, their bytes, and of them those under way and waiting for a place.
    struct PingCounts {
        std::size_t admitted = 0;
        std::size_t bytes = 0;
        std::size_t underWay = 0;
        std::size_t waiting = 0;
    };
    PingCounts pingCounts() const;
    // Drops the transfer; its listener hears nothing more once the network thread takes the cancel
    // (a call already under way on that thread still finishes).
    void cancel(TransferId id);
    // Any thread. Reads on with a transfer its listener paused; nothing for one that is not paused.
    void resume(TransferId id);

    // While one lives, the network thread takes none of the commands given meanwhile (starts, cancels,
    // resumes): it takes them together once the last goes, so that a page's close (its loads cancelled)
    // leaves no moment in which a place one of them frees starts another that is about to go. Any thread;
    // keep it short.
    class Batch {
    public:
        Batch();
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        Impl* engine_;  // the engine that was running when it began, if any
    };

    // Transfers started and not yet completed or cancelled, waiting ones included.
    std::size_t activeTransferCount() const;
    // What the engine saw of web content's promises since it started, for tests and benchmarks. Any thread.
    struct Observations {
        // The longest a document with nothing under way (that had not had a place yet) waited for its
        // first place, which it gets at once.
        double longestNewDocumentWait = 0;
        std::size_t loadsPutBack = 0;     // loads whose request was not written, put back to wait again
        std::size_t pingHopsPutBack = 0;  // the same of pings' hops
        std::size_t mostPutBacksOfOne = 0;  // the most times one transfer was put back: 1 at most
        std::size_t loadsGivenWay = 0;    // loads failed to give their place to another's
    };
    Observations observations() const;
    // The figures this engine runs by. Any thread.
    const Limits& limits() const;
    // True on the network thread.
    bool isNetworkThread() const;

    NetworkEngine(const NetworkEngine&) = delete;
    NetworkEngine& operator=(const NetworkEngine&) = delete;
    ~NetworkEngine();

private:
    NetworkEngine();
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
