#pragma once
// What a URLProtocol tells the load it serves. Any thread; the load delivers to its delegate in order.
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/net/HTTPURLResponse.h"

namespace platform {

enum class URLCacheStoragePolicy { Allowed = 0, AllowedInMemoryOnly = 1, NotAllowed = 2 };

class URLProtocolClient {
public:
    virtual ~URLProtocolClient() = default;
    virtual void didReceiveResponse(const HTTPURLResponse& response, URLCacheStoragePolicy policy) = 0;
    virtual void didLoadData(const Bytes& data) = 0;
    virtual void didFinishLoading() = 0;
    virtual void didFailWithError(const Error& error) = 0;
};

} // namespace platform
