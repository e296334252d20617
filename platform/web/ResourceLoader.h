#pragma once
// Loads one subresource of a page (script, image, frame) through a URLConnection, which asks the URL
// protocol registry first and then goes to the network. The completion runs once, on the main loop, never inside load() itself;
// cancel() drops it. Main thread only.
#include <functional>
#include <memory>
#include <string>

#include "platform/base/Error.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLRequest.h"

namespace platform {

class URLConnection;

class ResourceLoader : public std::enable_shared_from_this<ResourceLoader> {
public:
    struct Result {
        bool ok = false;  // a body arrived with a status below 400
        int status = 0;
        std::string mimeType;
        std::string body;
        Error error;
    };
    using Completion = std::function<void(const Result&)>;
    // What the body received so far counts against (its page's budget): charge() admits each piece before
    // it is kept (false fails the load), discharge() gives it all back once the body is freed, after the
    // completion ran or when the load is cancelled. Either may be empty.
    struct Budget {
        std::function<bool(std::size_t)> charge;
        std::function<void(std::size_t)> discharge;
    };

    static constexpr std::size_t DefaultMaxBytes = 4u << 20;

    // `origin` is whose load it is (the page whose web content it is); `owner` tags the load for
    // failNextLoad (the web view it is for; nullptr: none).
    static std::shared_ptr<ResourceLoader> load(URLRequest request, TransferOrigin origin, Completion completion,
                                                std::size_t maxBytes = DefaultMaxBytes, const void* owner = nullptr,
                                                Budget budget = {});
    void cancel();
    bool isFinished() const { return finished_; }

    // Test hook: the next load for `owner` (nullptr: of any page) fails with `error` instead of loading.
    // Several may wait; each is used once, the oldest matching first.
    static void failNextLoad(Error error, const void* owner = nullptr);

    ~ResourceLoader();

private:
    class ConnectionDelegate;

    ResourceLoader(URLRequest request, Completion completion, std::size_t maxBytes, const void* owner, Budget budget,
                   TransferOrigin origin);
    void start();
    void finish(Result result);
    // Gives back what the body was charged, once.
    void releaseBudget();

    URLRequest request_;
    Completion completion_;
    std::size_t maxBytes_;
    const void* owner_;
    Budget budget_;
    TransferOrigin origin_;
    std::size_t charged_ = 0;
    bool finished_ = false;
    Result partial_;
    std::shared_ptr<URLConnection> connection_;
    std::shared_ptr<ConnectionDelegate> delegate_;
};

} // namespace platform
