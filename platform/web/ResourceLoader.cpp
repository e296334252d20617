#include "platform/web/ResourceLoader.h"

#include <optional>
#include <utility>
#include <vector>

#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/net/URLError.h"
#include "platform/runloop/MainLoop.h"

namespace platform {

namespace {
struct PendingFailure {
    Error error;
    const void* owner;
};

// Main thread only, like every load.
std::vector<PendingFailure>& pendingFailures() {
    static std::vector<PendingFailure> failures;
    return failures;
}

std::optional<Error> takeFailure(const void* owner) {
    auto& failures = pendingFailures();
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        if (it->owner != nullptr && it->owner != owner) continue;
        Error error = std::move(it->error);
        failures.erase(it);
        return error;
    }
    return std::nullopt;
}
} // namespace

class ResourceLoader::ConnectionDelegate : public URLConnectionDelegate {
public:
    explicit ConnectionDelegate(std::weak_ptr<ResourceLoader> owner) : owner_(std::move(owner)) {}

    void didReceiveResponse(const std::shared_ptr<URLConnection>&, const HTTPURLResponse& response) override {
        if (auto o = owner_.lock()) {
            o->partial_.status = response.statusCode();
            o->partial_.mimeType = response.MIMEType();
            o->partial_.body.clear();
            o->partial_.body.shrink_to_fit();
            o->releaseBudget();
        }
    }
    void didReceiveData(const std::shared_ptr<URLConnection>& connection, const Bytes& data) override {
        auto o = owner_.lock();
        if (!o || o->finished_) return;
        if (o->partial_.body.size() + data.size() > o->maxBytes_) {
            connection->cancel();
            Result r;
            r.status = o->partial_.status;
            r.error = Error("WebKitErrorDomain", 102, "the resource is larger than the web view accepts");
            o->finish(std::move(r));
            return;
        }
        if (o->budget_.charge && !o->budget_.charge(data.size())) {
            connection->cancel();
            Result r;
            r.status = o->partial_.status;
            r.error = Error("WebKitErrorDomain", 102, "the resource does not fit in the page's memory budget");
            o->finish(std::move(r));
            return;
        }
        o->charged_ += data.size();
        o->partial_.body.append(data.begin(), data.end());
    }
    void didFinishLoading(const std::shared_ptr<URLConnection>&) override {
        auto o = owner_.lock();
        if (!o || o->finished_) return;
        Result r = std::move(o->partial_);
        r.ok = r.status == 0 || (r.status >= 200 && r.status < 400);
        if (!r.ok) r.error = Error("WebKitErrorDomain", r.status, "status " + std::to_string(r.status));
        o->finish(std::move(r));
    }
    void didFailWithError(const std::shared_ptr<URLConnection>&, const Error& error) override {
        auto o = owner_.lock();
        if (!o || o->finished_) return;
        Result r;
        r.status = o->partial_.status;
        r.error = error;
        o->finish(std::move(r));
    }

private:
    std::weak_ptr<ResourceLoader> owner_;
};

ResourceLoader::ResourceLoader(URLRequest request, Completion completion, std::size_t maxBytes, const void* owner,
                               Budget budget, TransferOrigin origin)
    : request_(std::move(request)), completion_(std::move(completion)), maxBytes_(maxBytes), owner_(owner),
      budget_(std::move(budget)), origin_(origin) {}

ResourceLoader::~ResourceLoader() {
    if (connection_) connection_->cancel();
    releaseBudget();
}

std::shared_ptr<ResourceLoader> ResourceLoader::load(URLRequest request, TransferOrigin origin, Completion completion,
                                                     std::size_t maxBytes, const void* owner, Budget budget) {
    std::shared_ptr<ResourceLoader> loader(new ResourceLoader(std::move(request), std::move(completion), maxBytes,
                                                              owner, std::move(budget), origin));
    loader->start();
    return loader;
}

void ResourceLoader::failNextLoad(Error error, const void* owner) {
    pendingFailures().push_back(PendingFailure{std::move(error), owner});
}

void ResourceLoader::start() {
    if (auto failure = takeFailure(owner_)) {
        Result r;
        r.error = std::move(*failure);
        std::weak_ptr<ResourceLoader> weak = weak_from_this();
        MainLoop::main().post([weak, r] {
            if (auto self = weak.lock()) self->finish(r);
        });
        return;
    }
    delegate_ = std::make_shared<ConnectionDelegate>(weak_from_this());
    connection_ = URLConnection::create(request_, delegate_, origin_);
    if (!connection_) {
        Result r;
        r.error = URLError::make(URLError::BadURL, request_.url().absoluteString());
        std::weak_ptr<ResourceLoader> weak = weak_from_this();
        MainLoop::main().post([weak, r] {
            if (auto self = weak.lock()) self->finish(r);
        });
    }
}

void ResourceLoader::cancel() {
    finished_ = true;
    completion_ = nullptr;
    if (connection_) connection_->cancel();
    connection_.reset();
    partial_ = Result();
    releaseBudget();
}

void ResourceLoader::releaseBudget() {
    if (charged_ == 0) return;
    const std::size_t bytes = std::exchange(charged_, 0);
    if (budget_.discharge) budget_.discharge(bytes);
}

void ResourceLoader::finish(Result result) {
    if (finished_) return;
    finished_ = true;
    connection_.reset();
    partial_ = Result();  // a failed load's partial body goes now
    auto completion = std::move(completion_);
    completion_ = nullptr;
    auto keep = shared_from_this();
    if (completion) completion(result);
    // The body went with the completion's result.
    releaseBudget();
}

} // namespace platform
