#pragma once
// What a GADURLConnection tells the one object it loads for. Every method is required. Called on the
// main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/net/HTTPURLResponse.h"

namespace ruzave {

class GADURLConnection;
class GADCachedURLResponse;

class GADURLConnectionDelegate {
public:
    virtual ~GADURLConnectionDelegate() = default;

    // nullopt lets the redirect through; an error refuses it (the load then fails with that error).
    virtual std::optional<platform::Error> connectionShouldRedirectToURL(GADURLConnection& connection,
                                                                         const platform::URL& url) = 0;
    virtual void connectionLoadDidReceiveRedirectResponse(GADURLConnection& connection,
                                                          const platform::HTTPURLResponse& response) = 0;
    // true switches the memory cache on for this load.
    virtual bool connectionLoadShouldUseCachedResponse(GADURLConnection& connection,
                                                       const platform::HTTPURLResponse& response) = 0;
    // Always followed by connectionLoadDidFinish.
    virtual void connectionLoadDidReceiveCachedResponse(GADURLConnection& connection,
                                                        const std::shared_ptr<GADCachedURLResponse>& response) = 0;
    // The body as text, nullopt when it is not valid UTF-8; the URL after the redirects.
    virtual void connectionLoadDidFinish(GADURLConnection& connection, const std::optional<std::string>& body,
                                         const std::optional<platform::URL>& baseURL) = 0;
    // Transport failures only; `httpStatusCode` is that of the response received so far, or -1.
    virtual void connectionLoadDidFail(GADURLConnection& connection, const std::optional<platform::Error>& error,
                                       long httpStatusCode) = 0;
};

} // namespace ruzave
