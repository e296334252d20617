#pragma once
// The class side of a URLProtocol: which requests it answers, and the making of a loader for one.
// Registered with URLProtocol::registerClass; asked from any thread, so it keeps no unguarded state.
#include <memory>

#include "platform/net/URLRequest.h"

namespace platform {

class URLProtocol;
class URLProtocolClient;

class URLProtocolClass {
public:
    virtual ~URLProtocolClass() = default;
    virtual bool canInitWithRequest(const URLRequest& request) const = 0;
    // The request as this protocol sees it; by default unchanged.
    virtual URLRequest canonicalRequest(const URLRequest& request) const { return request; }
    // A loader for one request (already canonical), speaking to `client`.
    virtual std::shared_ptr<URLProtocol> create(const URLRequest& request,
                                                std::shared_ptr<URLProtocolClient> client) const = 0;
};

} // namespace platform
