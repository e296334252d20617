#pragma once
// The process's one curl multi handle and the one network thread that drives it, started on first
// use. Every transfer is one HTTP exchange (redirects are not followed here). Any thread may start and
// cancel; listeners hear from the network thread.
// Transfers load in two pools, as on a phone: the app's own and web content (see TransferOrigin). Each
// has its own limit of MaximumTransfersPerHost under way per URL origin (scheme, host and port) and its
// own queues, so a page's load never waits in front of an app request or takes its place. Web content
// is also capped across all pages, below the process's descriptor limit (see Limits); when a place
// frees, the page with the fewest loads under way gets it (ties go to the one served longest ago), so a
// page with many hanging loads cannot shut the others out. Nothing under way is preempted, and waiting
// costs no descriptor. The app's side has no cap across hosts: hosts that never answer hold only their
// own places.
// A transfer's inactivity timeout runs from when it starts; one that waits its whole timeout for a place
// fails as timed out without being sent. One that dies on kept-alive connections the server had closed,
// before a byte of answer, is sent once more on a new connection.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/net/NetworkTransferListener.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLRequest.h"

namespace platform {

class NetworkEngine {
public:
    using TransferId = std::uint64_t;
    static constexpr int MaximumTransfersPerHost = 6;
    // The network library builds no request head (request line and header fields) larger than this: a
    // request that would need more fails as it starts, before the library copies its URL.
    static constexpr std::size_t MaximumRequestHeadBytes = 1u << 20;

    // Descriptor arithmetic, from the soft RLIMIT_NOFILE (L) read when the engine starts:
    //   idle connections = min(MaximumIdleConnections, L / 8)
    //   web content      = (L - ReservedDescriptors - idle) / 3,
    //                      within [MaximumTransfersPerHost, MaximumWebContentTransfers]
    // A transfer holds one socket, two for a moment at worst (a name lookup's wake-up pair, a second
    // address family tried), so web content holds at most two thirds of what the reserve and curl's idle
    // cache leave, and the app's side keeps the last third besides the reserve. 1,024 descriptors give
    // web content 256 and the app 416; 256 (common on phones) give web content 53 and the app 54.
    static constexpr std::size_t MaximumWebContentTransfers = 256;  // a desktop browser's figure
    static constexpr std::size_t MaximumIdleConnections = 32;
    // The process's own files: standard streams, logs, stored data, the engine's wake-up pair.
    static constexpr std::size_t ReservedDescriptors = 64;
    static constexpr std::size_t DescriptorsPerTransferAtWorst = 2;

    struct Limits {
        std::size_t descriptorLimit = 0;      // what the figures are derived from
        std::size_t idleConnections = 0;      // connections curl keeps for reuse, at most
        std::size_t webContentTransfers = 0;  // web content under way at once, all pages together
        std::size_t appDescriptors = 0;       // left to the app's side when web content holds its most
    };
    static Limits limitsFor(std::size_t descriptorLimit);

    static NetworkEngine& shared();

    // Queues the exchange for `origin`'s side; the listener is held until the transfer completes or is
    // cancelled.
    TransferId start(const URLRequest& request, std::shared_ptr<NetworkTransferListener> listener,
                     TransferOrigin origin);
    // Drops the transfer; its listener hears nothing more once the network thread takes the cancel
    // (a call already under way on that thread still finishes).
    void cancel(TransferId id);
    // Any thread. Reads on with a transfer its listener paused; nothing for one that is not paused.
    void resume(TransferId id);

    // Transfers started and not yet completed or cancelled, waiting ones included.
    std::size_t activeTransferCount() const;
    // The figures this engine runs by. Any thread.
    const Limits& limits() const;
    // True on the network thread.
    bool isNetworkThread() const;

    NetworkEngine(const NetworkEngine&) = delete;
    NetworkEngine& operator=(const NetworkEngine&) = delete;
    ~NetworkEngine();

private:
    NetworkEngine();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
