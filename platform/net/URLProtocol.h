#pragma once
// Loads that are answered locally instead of by the network. Registered classes are asked about
// every request of every URLConnection (the web view asks for its subresources too), the most
// recently registered first. startLoading and stopLoading are called on the thread that delivers the
// connection's events; the registry may be used from any thread.
#include <memory>
#include <vector>

#include "platform/net/URLProtocolClass.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLProtocolClient.h"
#include "platform/net/URLRequest.h"

namespace platform {

class URLProtocol : public std::enable_shared_from_this<URLProtocol> {
public:
    // Returns false when the class is already registered.
    static bool registerClass(std::shared_ptr<URLProtocolClass> protocolClass);
    static void unregisterClass(const std::shared_ptr<URLProtocolClass>& protocolClass);
    static void unregisterAllClasses();
    // The class that answers `request`, or nullptr.
    static std::shared_ptr<URLProtocolClass> classForRequest(const URLRequest& request);

    virtual ~URLProtocol() = default;
    // Begins the load; the protocol then tells client() what happens, from any thread.
    virtual void startLoading() = 0;
    // The load was cancelled: stop and tell the client nothing more.
    virtual void stopLoading() = 0;

    const URLRequest& request() const { return request_; }
    const std::shared_ptr<URLProtocolClient>& client() const { return client_; }
    // Whose load this is, told by its connection before startLoading: what the protocol itself loads to
    // answer it goes on the same side.
    const TransferOrigin& transferOrigin() const { return origin_; }
    void setTransferOrigin(TransferOrigin origin) { origin_ = origin; }

protected:
    URLProtocol(URLRequest request, std::shared_ptr<URLProtocolClient> client)
        : request_(std::move(request)), client_(std::move(client)) {}

private:
    URLRequest request_;
    std::shared_ptr<URLProtocolClient> client_;
    TransferOrigin origin_ = TransferOrigin::app();
};

} // namespace platform
