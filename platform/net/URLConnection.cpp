#include "platform/net/URLConnection.h"

#include <algorithm>
#include <unordered_map>

#include <condition_variable>

#include "platform/base/Log.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/Reachability.h"
#include "platform/net/URLError.h"
#include "platform/net/URLProtocol.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/OperationQueue.h"

namespace platform {

namespace {
// A loading connection lives until it ends or is cancelled, even when nobody else holds it. The set that
// keeps it is process-wide (and never destroyed), so a load still running at exit is not a leak.
class LoadingConnections {
public:
    void add(std::shared_ptr<URLConnection> c) {
        std::lock_guard lock(mutex_);
        URLConnection* key = c.get();
        live_.emplace(key, std::move(c));
    }
    std::shared_ptr<URLConnection> take(URLConnection* c) {
        std::lock_guard lock(mutex_);
        auto it = live_.find(c);
        if (it == live_.end()) return nullptr;
        auto out = std::move(it->second);
        live_.erase(it);
        return out;
    }

private:
    std::mutex mutex_;
    std::unordered_map<URLConnection*, std::shared_ptr<URLConnection>> live_;
};

LoadingConnections& loadingConnections() {
    static auto* set = new LoadingConnections();
    return *set;
}
} // namespace

namespace {

// A redirect answer bigger than this is not kept whole; only a refused redirect ever shows it.
constexpr std::size_t MaximumRedirectBody = 1 << 20;

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

URLRequest redirectedRequest(const URLRequest& previous, URL target, int status) {
    URLRequest next = previous;
    next.setURL(std::move(target));
    const std::string& method = previous.httpMethod();
    // 303 always turns into a GET; 301 and 302 do for a POST, as browsers do; 307 and 308 keep all.
    bool toGet = status == 303 ? method != "GET" && method != "HEAD" : (status == 301 || status == 302) && method == "POST";
    if (toGet) {
        next.setHTTPMethod("GET");
        next.setHTTPBody(Bytes{});
        next.setValue("", "Content-Type");
        next.setValue("", "Content-Length");
    }
    return next;
}

bool isHTTPScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

} // namespace

// Hears one network exchange on the network thread and turns it into the connection's events.
class URLConnection::HopListener : public NetworkTransferListener {
public:
    HopListener(std::shared_ptr<URLConnection> connection, URLRequest request)
        : connection_(std::move(connection)), request_(std::move(request)) {}

    void transferDidReceiveResponse(int statusCode, HTTPHeaderFields headers) override {
        HTTPURLResponse response(request_.url(), statusCode, std::move(headers));
        if (isRedirectStatus(statusCode)) {
            auto location = response.allHeaderFields().value("Location");
            std::optional<URL> target = location ? URL::resolve(*location, request_.url()) : std::nullopt;
            if (target && target->isValid()) {
                redirectTo_ = redirectedRequest(request_, std::move(*target), statusCode);
                redirectResponse_ = std::move(response);
                return;
            }
        }
        long long announced = response.expectedContentLength();
        bodyBytesLeft_ = announced > 0 ? static_cast<std::size_t>(announced) : 0;
        Event e;
        e.kind = Event::Kind::Response;
        e.response = std::move(response);
        batch_.push_back(std::move(e));
    }

    void transferDidReceiveData(const char* data, std::size_t size) override {
        if (redirectTo_) {
            if (redirectBody_.size() + size <= MaximumRedirectBody) redirectBody_.insert(redirectBody_.end(), data, data + size);
            return;
        }
        // Pieces of one burst go on as one chunk of at most kDataChunk; a piece that would overflow the
        // chunk sends it on first, so a chunk never grows past the room reserved for it.
        bool fits = !batch_.empty() && batch_.back().kind == Event::Kind::Data &&
                    batch_.back().data.size() + size <= kDataChunk;
        if (!fits) {
            if (!batch_.empty() && batch_.back().kind == Event::Kind::Data) transferDidFlush();
            Event e;
            e.kind = Event::Kind::Data;
            // Room for as much as the last chunk held (no more than the server still announces), so that
            // a fast body's chunks never copy as they fill. Room is earned by bytes that came: a server
            // that announces much and sends little gets little.
            const std::size_t announced = bodyBytesLeft_ > 0 ? bodyBytesLeft_ : kDataChunk;
            e.data.reserve(std::max(size, std::min({lastChunkBytes_, announced, kDataChunk})));
            batch_.push_back(std::move(e));
        }
        Bytes& chunk = batch_.back().data;
        makeRoom(chunk, chunk.size() + size);
        chunk.insert(chunk.end(), data, data + size);
        bodyBytesLeft_ -= std::min(bodyBytesLeft_, size);
        // A full chunk goes on at once: the consumer writes it away while the network reads the next.
        if (chunk.size() >= kDataChunk) transferDidFlush();
    }

    bool transferShouldPause() override {
        if (redirectTo_) return false;
        std::size_t batched = 0;
        for (const auto& e : batch_) batched += e.data.capacity();
        if (connection_->heldData_.load() + batched < kHeldDataHighWater) return false;
        // Held from here; the delivery side reads on once it has taken enough. Should it have done so
        // between the check and the flag, this transfer would wait for nobody: look again.
        connection_->transferHeld_.store(true);
        if (connection_->heldData_.load() + batched < kHeldDataLowWater &&
            connection_->transferHeld_.exchange(false))
            return false;
        return true;
    }

    void transferDidFlush() override {
        if (batch_.empty()) return;
        if (batch_.back().kind == Event::Kind::Data) lastChunkBytes_ = batch_.back().data.size();
        std::vector<Event> batch;
        batch.swap(batch_);
        connection_->enqueue(std::move(batch));
    }

    void transferDidComplete(std::optional<Error> error) override {
        Event e;
        if (error) {
            e.kind = Event::Kind::Fail;
            e.error = std::move(error);
        } else if (redirectTo_) {
            e.kind = Event::Kind::Redirect;
            e.response = std::move(redirectResponse_);
            e.request = std::move(redirectTo_);
            e.data = std::move(redirectBody_);
        } else {
            e.kind = Event::Kind::Finish;
        }
        batch_.push_back(std::move(e));
        std::vector<Event> batch;
        batch.swap(batch_);
        auto connection = std::move(connection_);
        connection->enqueue(std::move(batch));
    }

private:
    std::shared_ptr<URLConnection> connection_;  // a loading connection lives while its exchange does
    URLRequest request_;
    std::optional<URLRequest> redirectTo_;
    std::optional<HTTPURLResponse> redirectResponse_;
    Bytes redirectBody_;
    std::vector<Event> batch_;  // events of the current burst, not yet handed on
    std::size_t bodyBytesLeft_ = 0; // what the response head announced, less what came
    std::size_t lastChunkBytes_ = 0; // the last data chunk handed on
};

// Turns a URLProtocol's reports, from any thread, into the connection's events.
class URLConnection::ProtocolClient : public URLProtocolClient {
public:
    explicit ProtocolClient(std::weak_ptr<URLConnection> connection) : connection_(std::move(connection)) {}

    void didReceiveResponse(const HTTPURLResponse& response, URLCacheStoragePolicy policy) override {
        Event e;
        e.kind = Event::Kind::Response;
        e.response = response;
        e.cacheAllowed = policy != URLCacheStoragePolicy::NotAllowed;
        send(std::move(e));
    }
    void didLoadData(const Bytes& data) override {
        Event e;
        e.kind = Event::Kind::Data;
        e.data = data;
        send(std::move(e));
    }
    void didFinishLoading() override {
        Event e;
        e.kind = Event::Kind::Finish;
        send(std::move(e));
    }
    void didFailWithError(const Error& error) override {
        Event e;
        e.kind = Event::Kind::Fail;
        e.error = error;
        send(std::move(e));
    }

private:
    void send(Event e) {
        if (auto c = connection_.lock()) c->enqueue(std::move(e));
    }
    std::weak_ptr<URLConnection> connection_;
};

URLConnection::URLConnection(const URLRequest& request, std::weak_ptr<URLConnectionDelegate> delegate,
                             TransferOrigin origin)
    : originalRequest_(request), origin_(origin), delegate_(std::move(delegate)), currentRequest_(request) {}

URLConnection::~URLConnection() = default;

std::shared_ptr<URLConnection> URLConnection::create(const URLRequest& request,
                                                     std::weak_ptr<URLConnectionDelegate> delegate,
                                                     TransferOrigin origin, bool startImmediately) {
    std::shared_ptr<URLConnection> connection(new URLConnection(request, std::move(delegate), origin));
    if (startImmediately) connection->start();
    return connection;
}

void URLConnection::setDelegateQueue(std::shared_ptr<OperationQueue> queue) {
    std::lock_guard lock(mutex_);
    if (started_) {
        logWarning("URLConnection: the delegate queue is set before start");
        return;
    }
    queue_ = std::move(queue);
    delivery_ = queue_ ? Delivery::Queue : Delivery::MainLoop;
}

void URLConnection::setTicket(std::shared_ptr<Ticket> ticket) {
    std::shared_ptr<Ticket> replaced;
    std::lock_guard lock(mutex_);
    if (started_ || cancelled_) {
        logWarning("URLConnection: the ticket is set before start");
        return;
    }
    replaced = std::exchange(ticket_, std::move(ticket));
}

void URLConnection::start() {
    Event first;
    {
        std::lock_guard lock(mutex_);
        if (started_ || cancelled_) return;
        started_ = true;
        registeredWhileLoading_ = true;
        loadingConnections().add(shared_from_this());  // lock order: ours, then the set's
        if (abandonedBeforeStart_) {
            first.kind = Event::Kind::Fail;
            first.error = std::move(abandonedBeforeStart_);
            abandonedBeforeStart_.reset();
        }
    }
    // Even the first question to the delegate comes on its own thread, never inside start().
    enqueue(std::move(first));
}

void URLConnection::cancel() {
    std::uint64_t transfer = 0;
    std::shared_ptr<URLProtocol> protocol;
    std::shared_ptr<URLConnection> keep;
    std::shared_ptr<Ticket> ticket;
    std::deque<Event> dropped;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || ended_) return;
        cancelled_ = true;
        transfer = std::exchange(transferId_, 0);
        protocol = std::move(protocol_);
        ticket = std::move(ticket_);
        if (std::exchange(registeredWhileLoading_, false)) keep = loadingConnections().take(this);
        dropped.swap(events_);
    }
    if (transfer != 0) NetworkEngine::shared().cancel(transfer);
    if (protocol) protocol->stopLoading();
}

void URLConnection::abandon(Error error) {
    std::uint64_t transfer = 0;
    std::shared_ptr<URLProtocol> protocol;
    std::deque<Event> dropped;  // freed outside the lock
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || ended_ || terminalQueued_ || abandoned_) return;
        abandoned_ = true;
        if (!started_) {
            abandonedBeforeStart_ = std::move(error);
            return;
        }
        // The failure takes the end's place under the same lock that found none queued: an end the network
        // or a protocol reports from here on (a protocol may as it is stopped) comes after it and is dropped.
        dropped.swap(events_);
        for (const Event& e : dropped) {
            if (e.kind == Event::Kind::Data) forgetData(e.data);
        }
        Event failure;
        failure.kind = Event::Kind::Fail;
        failure.error = std::move(error);
        events_.push_back(std::move(failure));
        terminalQueued_ = true;
        schedule = !std::exchange(drainScheduled_, true);
        transfer = std::exchange(transferId_, 0);
        protocol = std::move(protocol_);
    }
    if (transfer != 0) NetworkEngine::shared().cancel(transfer);
    if (protocol) protocol->stopLoading();
    if (schedule) scheduleDrain();
}

bool URLConnection::charge(std::size_t bytes) {
    std::shared_ptr<Ticket> ticket;
    {
        std::lock_guard lock(mutex_);
        if (ended_ || cancelled_) return bytes == 0;
        ticket = ticket_;
    }
    return !ticket || ticket->charge(bytes);
}

TransferOrigin URLConnection::origin() const {
    std::lock_guard lock(mutex_);
    return origin_;
}

URLRequest URLConnection::currentRequest() const {
    std::lock_guard lock(mutex_);
    return currentRequest_;
}

std::shared_ptr<URLConnectionDelegate> URLConnection::delegate() const {
    if (ownedDelegate_) return ownedDelegate_;
    return delegate_.lock();
}

void URLConnection::enqueue(Event event) {
    std::vector<Event> one;
    one.push_back(std::move(event));
    enqueue(std::move(one));
}

void URLConnection::enqueue(std::vector<Event> events) {
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;
        for (auto& event : events) {
            if (terminalQueued_) break;  // nothing after the end
            if (event.kind == Event::Kind::Finish || event.kind == Event::Kind::Fail) terminalQueued_ = true;
            if (event.kind == Event::Kind::Data) {
                const Bytes& piece = event.data;
                undeliveredData_.fetch_add(piece.size());
                // A server dribbling its body to a consumer that is behind leaves one chunk, not an event
                // per piece.
                if (piece.size() < kJoinedPiece && !events_.empty() && events_.back().kind == Event::Kind::Data &&
                    events_.back().data.size() + piece.size() <= kDataChunk) {
                    Bytes& chunk = events_.back().data;
                    const std::size_t room = chunk.capacity();
                    makeRoom(chunk, chunk.size() + piece.size());
                    chunk.insert(chunk.end(), piece.begin(), piece.end());
                    heldData_.fetch_add(chunk.capacity() - room);
                    continue;
                }
                heldData_.fetch_add(piece.capacity());
            }
            events_.push_back(std::move(event));
        }
        if (events_.empty()) return;
        schedule = !std::exchange(drainScheduled_, true);
    }
    if (schedule) scheduleDrain();
}

void URLConnection::forgetData(const Bytes& chunk) {
    undeliveredData_.fetch_sub(chunk.size());
    heldData_.fetch_sub(chunk.capacity());
}

void URLConnection::scheduleDrain() {
    auto self = shared_from_this();
    switch (delivery_) {
    case Delivery::MainLoop: MainLoop::main().post([self] { self->drain(); }); break;
    case Delivery::Queue: queue_->addOperation([self] { self->drain(); }); break;
    case Delivery::Direct: drain(); break;
    }
}

// One drain at a time per connection, so events reach the delegate in order even on a concurrent queue.
void URLConnection::drain() {
    auto self = shared_from_this();  // the delegate may let go of us inside a call
    while (true) {
        Event event;
        {
            std::lock_guard lock(mutex_);
            if (events_.empty() || cancelled_) {
                events_.clear();
                drainScheduled_ = false;
                return;
            }
            event = std::move(events_.front());
            events_.pop_front();
        }
        const bool data = event.kind == Event::Kind::Data;
        const std::size_t bytes = event.data.size();
        const std::size_t held = event.data.capacity();
        deliver(event);
        if (data) dataTaken(bytes, held);
    }
}

void URLConnection::makeRoom(Bytes& chunk, std::size_t needed) {
    if (needed > chunk.capacity()) chunk.reserve(std::max(needed, std::min(kDataChunk, 2 * chunk.capacity())));
}

void URLConnection::dataTaken(std::size_t bytes, std::size_t held) {
    undeliveredData_.fetch_sub(bytes);
    const std::size_t left = heldData_.fetch_sub(held) - held;
    if (left >= kHeldDataLowWater || !transferHeld_.exchange(false)) return;
    std::uint64_t transfer = 0;
    {
        std::lock_guard lock(mutex_);
        transfer = transferId_;
    }
    if (transfer != 0) NetworkEngine::shared().resume(transfer);
}

void URLConnection::deliver(Event& event) {
    auto self = shared_from_this();
    auto d = delegate();
    switch (event.kind) {
    case Event::Kind::Begin: {
        std::optional<URLRequest> request = originalRequest_;
        if (d) request = d->willSendRequest(self, originalRequest_, std::nullopt);
        if (isCancelled()) return;
        if (!request) {
            fail(URLError::make(URLError::Cancelled, originalRequest_.url().absoluteString()));
            return;
        }
        startHop(*request);
        return;
    }
    case Event::Kind::Response:
        response_ = event.response;
        cacheAllowed_ = event.cacheAllowed;
        if (d) d->didReceiveResponse(self, *event.response);
        return;
    case Event::Kind::Data:
        if (d) d->didReceiveData(self, event.data);
        return;
    case Event::Kind::Redirect: {
        if (++redirects_ > MaximumRedirects) {
            fail(URLError::make(URLError::HTTPTooManyRedirects, event.request->url().absoluteString()));
            return;
        }
        std::optional<URLRequest> next = event.request;
        if (d) next = d->willSendRequest(self, *event.request, event.response);
        if (isCancelled()) return;
        if (next) {
            startHop(*next);
            return;
        }
        // Refused: the redirect answer is the answer.
        Event response;
        response.kind = Event::Kind::Response;
        response.response = std::move(event.response);
        enqueue(std::move(response));
        if (!event.data.empty()) {
            Event data;
            data.kind = Event::Kind::Data;
            data.data = std::move(event.data);
            enqueue(std::move(data));
        }
        Event finish;
        finish.kind = Event::Kind::Finish;
        enqueue(std::move(finish));
        return;
    }
    case Event::Kind::Finish: deliverTerminal(d, std::nullopt); return;
    case Event::Kind::Fail: deliverTerminal(d, event.error); return;
    }
}

void URLConnection::deliverTerminal(const std::shared_ptr<URLConnectionDelegate>& d, const std::optional<Error>& error) {
    auto self = shared_from_this();
    // Given up once the delegate has heard the end (and let go of what it charged to it).
    std::shared_ptr<Ticket> ticket;
    std::shared_ptr<URLConnection> keep;
    std::shared_ptr<URLProtocol> protocol;
    URLRequest request;
    {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        ended_ = true;
        transferId_ = 0;
        ticket = std::move(ticket_);
        protocol = std::move(protocol_);
        if (std::exchange(registeredWhileLoading_, false)) keep = loadingConnections().take(this);
        request = currentRequest_;
    }
    if (!d) return;
    if (error) {
        d->didFailWithError(self, *error);
        return;
    }
    bool cacheable = response_ && cacheAllowed_ && response_->statusCode() == 200 && request.httpMethod() == "GET" &&
                     request.cachePolicy() == URLRequest::CachePolicy::UseProtocolCachePolicy;
    if (cacheable) {
        d->willCacheResponse(self, *response_);
        if (isCancelled()) return;
    }
    d->didFinishLoading(self);
}

void URLConnection::fail(Error error) {
    Event e;
    e.kind = Event::Kind::Fail;
    e.error = std::move(error);
    enqueue(std::move(e));
}

void URLConnection::startHop(const URLRequest& request) {
    TransferOrigin origin = TransferOrigin::app();
    {
        std::lock_guard lock(mutex_);
        if (abandoned_) return;  // its failure is on its way
        currentRequest_ = request;
        origin = origin_;
    }
    const std::string& urlText = request.url().absoluteString();
    if (!request.url().isValid()) {
        fail(URLError::make(URLError::BadURL, urlText));
        return;
    }
    if (origin.isWebContent() && urlText.size() > TransferOrigin::MaximumURLLength) {
        // The error names the URL by its start: it is not copied whole again to say it is too long.
        fail(URLError::make(URLError::BadURL, urlText.substr(0, 256),
                            "web content loads no URL longer than " +
                                std::to_string(TransferOrigin::MaximumURLLength >> 20) + " MB"));
        return;
    }
    if (auto protocolClass = URLProtocol::classForRequest(request)) {
        URLRequest canonical = protocolClass->canonicalRequest(request);
        auto protocol = protocolClass->create(canonical, std::make_shared<ProtocolClient>(weak_from_this()));
        if (!protocol) {
            fail(URLError::make(URLError::Unknown, urlText, "the URL protocol made no loader"));
            return;
        }
        protocol->setTransferOrigin(origin);
        {
            std::lock_guard lock(mutex_);
            if (cancelled_ || abandoned_) return;
            protocol_ = protocol;
        }
        protocol->startLoading();
        return;
    }
    if (!isHTTPScheme(request.url().scheme())) {
        fail(URLError::make(URLError::UnsupportedURL, urlText));
        return;
    }
    if (request.url().host().empty()) {
        fail(URLError::make(URLError::BadURL, urlText));
        return;
    }
    if (!Reachability::isReachable(Reachability::globalFlags())) {
        fail(URLError::make(URLError::NotConnectedToInternet, urlText));
        return;
    }
    auto& engine = NetworkEngine::shared();
    auto id = engine.start(request, std::make_shared<HopListener>(shared_from_this(), request), origin);
    bool cancelNow = false;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || abandoned_) cancelNow = true;
        else transferId_ = id;
    }
    if (cancelNow) engine.cancel(id);
}

namespace {

// Gathers a one-shot load for its completion.
class OneShotDelegate : public URLConnectionDelegate {
public:
    explicit OneShotDelegate(URLConnection::Completion completion) : completion_(std::move(completion)) {}

    void didReceiveResponse(const std::shared_ptr<URLConnection>&, const HTTPURLResponse& response) override {
        response_ = response;
        data_.clear();
    }
    void didReceiveData(const std::shared_ptr<URLConnection>&, const Bytes& data) override {
        data_.insert(data_.end(), data.begin(), data.end());
    }
    void didFinishLoading(const std::shared_ptr<URLConnection>&) override {
        complete(std::move(response_), std::move(data_), std::nullopt);
    }
    void didFailWithError(const std::shared_ptr<URLConnection>&, const Error& error) override {
        complete(std::nullopt, Bytes{}, error);
    }

private:
    void complete(std::optional<HTTPURLResponse> response, Bytes data, std::optional<Error> error) {
        auto completion = std::move(completion_);
        completion_ = nullptr;
        if (completion) completion(std::move(response), std::move(data), std::move(error));
    }

    URLConnection::Completion completion_;
    std::optional<HTTPURLResponse> response_;
    Bytes data_;
};

} // namespace

void URLConnection::sendAsynchronousRequest(const URLRequest& request, TransferOrigin origin,
                                            std::shared_ptr<OperationQueue> queue, Completion completion) {
    std::shared_ptr<URLConnection> connection(new URLConnection(request, {}, origin));
    connection->ownedDelegate_ = std::make_shared<OneShotDelegate>(std::move(completion));
    if (queue) connection->setDelegateQueue(std::move(queue));
    connection->start();
}

std::optional<Bytes> URLConnection::sendSynchronousRequest(const URLRequest& request, TransferOrigin origin,
                                                           HTTPURLResponse* response, Error* error) {
    if (MainLoop::isMainThread()) {
        logError("URLConnection: a synchronous load on the main thread is refused");
        setError(error, URLError::make(URLError::Unknown, request.url().absoluteString(),
                                       "synchronous load on the main thread"));
        return std::nullopt;
    }
    struct Outcome {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::optional<HTTPURLResponse> response;
        Bytes data;
        std::optional<Error> error;
    };
    auto outcome = std::make_shared<Outcome>();
    std::shared_ptr<URLConnection> connection(new URLConnection(request, {}, origin));
    connection->ownedDelegate_ =
        std::make_shared<OneShotDelegate>([outcome](std::optional<HTTPURLResponse> r, Bytes d, std::optional<Error> e) {
            std::lock_guard lock(outcome->mutex);
            outcome->response = std::move(r);
            outcome->data = std::move(d);
            outcome->error = std::move(e);
            outcome->done = true;
            outcome->cv.notify_all();
        });
    // Events are handled where they arise (the network thread): this thread only waits. The engine's
    // inactivity timeout bounds the wait.
    connection->delivery_ = Delivery::Direct;
    connection->start();
    std::unique_lock lock(outcome->mutex);
    outcome->cv.wait(lock, [&] { return outcome->done; });
    if (outcome->error) {
        setError(error, *outcome->error);
        return std::nullopt;
    }
    if (response != nullptr && outcome->response) *response = *outcome->response;
    return std::move(outcome->data);
}

} // namespace platform
