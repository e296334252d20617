#pragma once
// The process's one curl multi handle and the one network thread that drives it, started on first
// use. Every transfer is one HTTP exchange (redirects are not followed here). Any thread may start and
// cancel; listeners hear from the network thread.
// At most MaximumTransfersPerHost transfers are under way per URL origin (scheme, host and port), as a
// phone's stack keeps a handful of connections per host; the others wait in that host's queue, in order,
// and never hold up another host's. A request's timeout runs from its start, waiting included. There is no limit across hosts: with one, hosts that never answer
// would fill it and starve the app's own requests. What many hosts add up to is bounded by the callers
// (a web page caps its own loads under way).
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

    static NetworkEngine& shared();

    // Queues the exchange for `origin`'s side; the listener is held until the transfer completes or is
    // cancelled.
    TransferId start(const URLRequest& request, std::shared_ptr<NetworkTransferListener> listener,
                     TransferOrigin origin = {});
    // Drops the transfer; its listener hears nothing more once the network thread takes the cancel
    // (a call already under way on that thread still finishes).
    void cancel(TransferId id);
    // Any thread. Reads on with a transfer its listener paused; nothing for one that is not paused.
    void resume(TransferId id);

    // Transfers started and not yet completed or cancelled, waiting ones included.
    std::size_t activeTransferCount() const;
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
