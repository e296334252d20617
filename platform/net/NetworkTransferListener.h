#pragma once
// What the network engine tells the owner of a transfer. Called on the network thread only, in order:
// at most one response head, then data, then exactly one completion (none after a cancel). After each
// burst of head and data calls the engine calls transferDidFlush, so owners may pass events on in batches.
#include <cstddef>
#include <optional>

#include "platform/base/Error.h"
#include "platform/net/HTTPHeaderFields.h"

namespace platform {

class NetworkTransferListener {
public:
    virtual ~NetworkTransferListener() = default;
    // The final (non-1xx) response head.
    virtual void transferDidReceiveResponse(int statusCode, HTTPHeaderFields headers) = 0;
    // Body bytes, already decoded from gzip or deflate.
    virtual void transferDidReceiveData(const char* data, std::size_t size) = 0;
    // nullopt: the body is complete. Nothing follows, not even a flush.
    virtual void transferDidComplete(std::optional<Error> error) = 0;
    virtual void transferDidFlush() {}
    // It has a place and goes out now (a transfer may wait for one first).
    virtual void transferDidStart() {}
    // Asked before each piece of body data: true holds the transfer (nothing more is read from the
    // socket, the piece comes again later) until NetworkEngine::resume(). A consumer slower than the
    // network so keeps the engine from piling up what it has not taken yet.
    virtual bool transferShouldPause() { return false; }
};

} // namespace platform
