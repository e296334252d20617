#pragma once
// What a URLConnection tells its delegate, on the connection's delivery thread (the main loop or its
// operation queue). Every method has a default body.
#include <memory>
#include <optional>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLRequest.h"

namespace platform {

class URLConnection;

class URLConnectionDelegate {
public:
    virtual ~URLConnectionDelegate() = default;

    // Asked for the initial request (no redirect response) and for every redirect hop. Return the
    // request to send (changed or not). nullopt on a redirect stops there: the redirect response becomes
    // the response; nullopt on the initial request fails the load as cancelled.
    virtual std::optional<URLRequest> willSendRequest(const std::shared_ptr<URLConnection>& connection,
                                                      const URLRequest& request,
                                                      const std::optional<HTTPURLResponse>& redirectResponse) {
        (void)connection;
        (void)redirectResponse;
        return request;
    }
    virtual void didReceiveResponse(const std::shared_ptr<URLConnection>& connection, const HTTPURLResponse& response) {
        (void)connection;
        (void)response;
    }
    // The body in chunks, as they arrive.
    virtual void didReceiveData(const std::shared_ptr<URLConnection>& connection, const Bytes& data) {
        (void)connection;
        (void)data;
    }
    // Before didFinishLoading, for a response that may be cached; the answer is whether to cache it.
    virtual bool willCacheResponse(const std::shared_ptr<URLConnection>& connection, const HTTPURLResponse& response) {
        (void)connection;
        (void)response;
        return true;
    }
    virtual void didFinishLoading(const std::shared_ptr<URLConnection>& connection) { (void)connection; }
    virtual void didFailWithError(const std::shared_ptr<URLConnection>& connection, const Error& error) {
        (void)connection;
        (void)error;
    }
};

} // namespace platform
