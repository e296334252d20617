#include "platform/net/NetworkEngine.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <list>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/base/Log.h"
#include "platform/net/HTTPResponseHeadParser.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/URLError.h"

namespace platform {

namespace {

using Steady = std::chrono::steady_clock;

struct Transfer {
    NetworkEngine::TransferId id = 0;
    void* owner = nullptr;  // the engine's Impl
    URLRequest request;
    TransferOrigin origin;
    std::string hostKey;  // what the per-host limit counts by
    std::shared_ptr<NetworkTransferListener> listener;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    curl_slist* connectTo = nullptr;
    std::string url;
    Steady::time_point lastActivity;  // from the start: time spent waiting for its host counts
    Steady::duration timeout{};
    curl_off_t lastUploaded = 0;
    // The response head being read; 1xx heads are skipped.
    HTTPResponseHeadParser head;
    bool headDelivered = false;
    bool touched = false;  // heard something since the last flush
    bool paused = false;   // held by its listener, waiting for resume()
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    ~Transfer() {
        if (easy != nullptr) curl_easy_cleanup(easy);
        curl_slist_free_all(headerList);
        curl_slist_free_all(connectTo);
    }
};

} // namespace

struct NetworkEngine::Impl {
    CURLM* multi = nullptr;
    CURLSH* cookieShare = nullptr;
    std::thread thread;
    std::thread::id threadId;

    std::mutex mutex;  // guards the command lists and `stopping`
    std::vector<std::unique_ptr<Transfer>> pendingStarts;
    std::vector<TransferId> pendingCancels;
    std::vector<TransferId> pendingResumes;
    bool stopping = false;
    std::atomic<TransferId> nextId{1};
    std::atomic<std::size_t> active{0};

    // Network thread only.
    // Transfers under way: each has its handle in the multi.
    std::unordered_map<TransferId, std::unique_ptr<Transfer>> transfers;
    // Per URL host, the transfers under way and those waiting for one of them to end, in order.
    struct Host {
        int running = 0;
        std::list<std::unique_ptr<Transfer>> waiting;
    };
    std::unordered_map<std::string, Host> hosts;
    // Where each waiting transfer sits, so that a cancel takes it out at once.
    std::unordered_map<TransferId, std::list<std::unique_ptr<Transfer>>::iterator> waitingById;
    // When each waiting transfer times out (nothing is heard while waiting, so that stays put), soonest first.
    std::set<std::pair<Steady::time_point, TransferId>> waitingDeadlines;
    std::vector<std::shared_ptr<NetworkTransferListener>> touched;
    std::uint64_t configGeneration = 0;
    std::string caFile;
    // The system CAs plus the configured ones, built once per configuration; null without extra CAs.
    X509_STORE* trustStore = nullptr;
    // Pooled connections were verified against the trust before the last change: none may be reused.
    // The pool is dropped as soon as no transfer is running; until then new transfers connect afresh.
    bool poolStale = false;

    static CURLM* makeMulti() {
        CURLM* m = curl_multi_init();
        // Keep connections to the hosts we talk to alive for reuse.
        curl_multi_setopt(m, CURLMOPT_MAXCONNECTS, 32L);
        // No per-host or total connection limit in curl: it groups by the address it connects to, so
        // hosts mapped to one address would share one limit, and its queue cannot be told apart by host.
        // The engine limits transfers per URL host itself (see MaximumTransfersPerHost).
        return m;
    }

    Impl() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        multi = makeMulti();
        cookieShare = curl_share_init();
        curl_share_setopt(cookieShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        // Everything below runs on one thread, so the share needs no lock callbacks.
        thread = std::thread([this] { run(); });
        threadId = thread.get_id();
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            curl_multi_wakeup(multi);
        }
        if (thread.joinable()) thread.join();
        for (auto& [id, t] : transfers) curl_multi_remove_handle(multi, t->easy);
        transfers.clear();
        waitingById.clear();
        waitingDeadlines.clear();
        hosts.clear();
        pendingStarts.clear();
        curl_multi_cleanup(multi);
        curl_share_cleanup(cookieShare);
        if (trustStore != nullptr) X509_STORE_free(trustStore);
    }

    void refreshConfiguration() {
        auto config = NetworkConfiguration::sharedInstance();
        std::uint64_t generation = config->generation();
        if (generation == configGeneration) return;
        // The first reading has no pool behind it yet.
        if (configGeneration != 0) poolStale = true;
        configGeneration = generation;
        // Read again even for the same path: the file may have been rewritten.
        std::string file = config->trustedCAFile();
        caFile = file;
        if (trustStore != nullptr) X509_STORE_free(trustStore);
        trustStore = nullptr;
        if (file.empty()) return;
        trustStore = buildTrustStore(file);
    }

    static X509_STORE* buildTrustStore(const std::string& file) {
        BIO* bio = BIO_new_file(file.c_str(), "r");
        if (bio == nullptr) {
            logWarning("network: cannot read the trusted CA file " + file);
            return nullptr;
        }
        std::vector<X509*> extra;
        while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) extra.push_back(cert);
        BIO_free(bio);
        ERR_clear_error();
        if (extra.empty()) {
            logWarning("network: no certificate in the trusted CA file " + file);
            return nullptr;
        }
        X509_STORE* store = X509_STORE_new();
        // The system's hashed folder is read certificate by certificate as verification asks for them;
        // parsing the whole bundle up front would hold the first transfer up for tens of milliseconds.
        auto [systemFolder, systemBundle] = systemCAs();
        if (systemFolder.empty() || ::access(systemFolder.c_str(), R_OK | X_OK) != 0 ||
            X509_STORE_load_path(store, systemFolder.c_str()) != 1) {
            if (X509_STORE_load_file(store, systemBundle.c_str()) != 1) {
                logWarning("network: cannot load the system CAs from " + systemBundle);
            }
        }
        for (X509* cert : extra) {
            X509_STORE_add_cert(store, cert);  // a repeat is refused harmlessly
            X509_free(cert);
        }
        X509_STORE_set_flags(store, X509_V_FLAG_TRUSTED_FIRST);
        ERR_clear_error();
        return store;
    }

    // curl's own system CA folder (empty without one) and bundle.
    static std::pair<std::string, std::string> systemCAs() {
        std::string folder;
        std::string bundle = "/etc/ssl/certs/ca-certificates.crt";
        if (CURL* probe = curl_easy_init()) {
            char* builtIn = nullptr;
            if (curl_easy_getinfo(probe, CURLINFO_CAPATH, &builtIn) == CURLE_OK && builtIn != nullptr)
                folder = builtIn;
            builtIn = nullptr;
            if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &builtIn) == CURLE_OK && builtIn != nullptr)
                bundle = builtIn;
            curl_easy_cleanup(probe);
        }
        return {folder, bundle};
    }

    // Each new TLS context gets the whole trust store, built once per configuration.
    static CURLcode sslContext(CURL*, void* sslctx, void* userptr) {
        auto* self = static_cast<Impl*>(userptr);
        if (self->trustStore != nullptr) SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(sslctx), self->trustStore);
        return CURLE_OK;
    }

    static void markTouched(Transfer& t) {
        if (t.touched) return;
        t.touched = true;
        static_cast<Impl*>(t.owner)->touched.push_back(t.listener);
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* userptr) {
        auto* t = static_cast<Transfer*>(userptr);
        const size_t n = size * count;
        t->lastActivity = Steady::now();
        markTouched(*t);
        if (t->head.addLine(std::string_view(data, n)) && !t->headDelivered) {
            t->headDelivered = true;
            t->listener->transferDidReceiveResponse(t->head.status(), t->head.takeFields());
        }
        return n;
    }

    static size_t onData(char* data, size_t size, size_t count, void* userptr) {
        auto* t = static_cast<Transfer*>(userptr);
        const size_t n = size * count;
        t->lastActivity = Steady::now();
        markTouched(*t);
        if (!t->headDelivered) {
            // A body without a final head (an HTTP/0.9 answer): report what we know.
            t->headDelivered = true;
            int status = t->head.status() == 0 ? 200 : t->head.status();
            t->listener->transferDidReceiveResponse(status, t->head.takeFields());
        }
        if (n == 0) return n;
        if (t->listener->transferShouldPause()) {
            t->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        t->listener->transferDidReceiveData(data, n);
        return n;
    }

    static int onProgress(void* userptr, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
        auto* t = static_cast<Transfer*>(userptr);
        if (ulnow != t->lastUploaded) {
            t->lastUploaded = ulnow;
            t->lastActivity = Steady::now();
        }
        return 0;
    }

    // Network thread: turns the request into an easy handle in the multi. False: failed at once.
    bool setUp(Transfer& t, Error* error) {
        const URLRequest& r = t.request;
        t.owner = this;
        t.easy = curl_easy_init();
        if (t.easy == nullptr) {
            setError(error, URLError::make(URLError::Unknown, t.url, "curl_easy_init failed"));
            return false;
        }
        CURL* e = t.easy;
        // The fragment is ours, never the server's.
        t.url = r.url().absoluteString();
        if (auto hash = t.url.find('#'); hash != std::string::npos) t.url.resize(hash);
        curl_easy_setopt(e, CURLOPT_URL, t.url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::onData);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &Impl::sslContext);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, this);
        if (trustStore != nullptr) {
            // curl fills and caches the context's store after our callback has put ours in. Ours already
            // holds the system CAs, so curl is to load no file into it, and must not cache it either:
            // a cached store would outlive the configuration it was built from.
            curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
            curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
            curl_easy_setopt(e, CURLOPT_CA_CACHE_TIMEOUT, 0L);
        }

        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::ceil(std::min(r.timeoutInterval(), 1e6) * 1000.0)));

        const std::string& method = r.httpMethod();
        const Bytes& body = r.httpBody();
        if (method == "GET") {
            curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        } else if (method == "HEAD") {
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        } else {
            if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
            if (method == "POST" || !body.empty()) {
                curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
                // The request (and so the body) lives as long as the transfer.
                curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.empty() ? "" : reinterpret_cast<const char*>(body.data()));
            }
        }

        bool hasUserAgent = false;
        for (const auto& [name, value] : r.allHTTPHeaderFields().fields()) {
            if (HTTPHeaderFields::equalNames(name, "User-Agent")) hasUserAgent = true;
            // "Name;" is curl's way of sending a field with an empty value.
            std::string line = value.empty() ? name + ";" : name + ": " + value;
            t.headerList = curl_slist_append(t.headerList, line.c_str());
        }
        // No "Expect: 100-continue" round trip before a body.
        if (!r.allHTTPHeaderFields().contains("Expect")) t.headerList = curl_slist_append(t.headerList, "Expect:");
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headerList);

        auto config = NetworkConfiguration::sharedInstance();
        if (!hasUserAgent) {
            std::string agent = config->userAgent();
            curl_easy_setopt(e, CURLOPT_USERAGENT, agent.c_str());  // curl copies it
        }
        for (const auto& entry : config->connectToEntries()) t.connectTo = curl_slist_append(t.connectTo, entry.c_str());
        if (t.connectTo != nullptr) curl_easy_setopt(e, CURLOPT_CONNECT_TO, t.connectTo);

        if (r.httpShouldHandleCookies()) {
            curl_easy_setopt(e, CURLOPT_SHARE, cookieShare);
            curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
        }

        if (poolStale) curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);

        if (curl_multi_add_handle(multi, e) != CURLM_OK) {
            setError(error, URLError::make(URLError::Unknown, t.url, "curl_multi_add_handle failed"));
            return false;
        }
        return true;
    }

    // Scheme, host and port: a phone's stack keeps its connections, and so its limit, per origin.
    static std::string hostKeyOf(const URL& url) {
        auto port = url.effectivePort();
        return url.scheme() + "://" + url.host() + ":" + (port ? std::to_string(*port) : std::string());
    }

    // Starts the transfer now if its host has room, else queues it behind the host's others.
    void admit(std::unique_ptr<Transfer> t) {
        t->hostKey = hostKeyOf(t->request.url());
        // Bounded: a far deadline must not overflow the clock.
        t->timeout = std::chrono::duration_cast<Steady::duration>(
            std::chrono::duration<double>(std::min(t->request.timeoutInterval(), 1e6)));
        t->lastActivity = Steady::now();
        Host& host = hosts[t->hostKey];
        if (host.running < MaximumTransfersPerHost) {
            std::string key = t->hostKey;
            launch(std::move(t));
            startWaiting(key);  // only forgets the host, should the transfer have ended at once
            return;
        }
        TransferId id = t->id;
        waitingDeadlines.emplace(t->lastActivity + t->timeout, id);
        host.waiting.push_back(std::move(t));
        waitingById.emplace(id, std::prev(host.waiting.end()));
    }

    // Takes a waiting transfer out of its host's queue. Null when it is not waiting.
    std::unique_ptr<Transfer> takeWaiting(TransferId id) {
        auto waiting = waitingById.find(id);
        if (waiting == waitingById.end()) return nullptr;
        std::unique_ptr<Transfer> t = std::move(*waiting->second);
        hosts[t->hostKey].waiting.erase(waiting->second);
        waitingById.erase(waiting);
        waitingDeadlines.erase({t->lastActivity + t->timeout, id});
        return t;
    }

    // Fails the waiting transfers whose time is up; returns when the next one's is.
    Steady::time_point expireWaiting(Steady::time_point now) {
        while (!waitingDeadlines.empty() && waitingDeadlines.begin()->first <= now) {
            std::unique_ptr<Transfer> t = takeWaiting(waitingDeadlines.begin()->second);
            std::string key = t->hostKey;
            auto listener = std::move(t->listener);
            std::string url = t->request.url().absoluteString();
            if (auto hash = url.find('#'); hash != std::string::npos) url.resize(hash);
            t.reset();
            listener->transferDidComplete(URLError::make(URLError::TimedOut, url));
            active.fetch_sub(1);
            startWaiting(key);  // forgets the host if that was its last
        }
        return waitingDeadlines.empty() ? Steady::time_point::max() : waitingDeadlines.begin()->first;
    }

    // Puts the transfer under way; one that cannot be set up ends at once (without starting the next:
    // the caller's loop does).
    void launch(std::unique_ptr<Transfer> t) {
        refreshConfiguration();
        ++hosts[t->hostKey].running;
        Error error;
        TransferId id = t->id;
        bool ok = setUp(*t, &error);
        transfers.emplace(id, std::move(t));
        if (!ok) endRunning(id, error);
    }

    // Starts the host's waiting transfers while it has room; forgets a host with nothing left.
    void startWaiting(const std::string& key) {
        auto it = hosts.find(key);
        if (it == hosts.end()) return;
        Host& host = it->second;
        while (host.running < MaximumTransfersPerHost && !host.waiting.empty()) {
            launch(takeWaiting(host.waiting.front()->id));
        }
        if (host.running == 0 && host.waiting.empty()) hosts.erase(it);
    }

    // Takes a transfer under way out of the multi and gives its host's slot back. Null when unknown.
    std::unique_ptr<Transfer> takeRunning(TransferId id) {
        auto it = transfers.find(id);
        if (it == transfers.end()) return nullptr;
        std::unique_ptr<Transfer> t = std::move(it->second);
        transfers.erase(it);
        curl_multi_remove_handle(multi, t->easy);
        if (auto host = hosts.find(t->hostKey); host != hosts.end()) --host->second.running;
        return t;
    }

    void endRunning(TransferId id, std::optional<Error> error) {
        std::unique_ptr<Transfer> t = takeRunning(id);
        if (t == nullptr) return;
        auto listener = std::move(t->listener);
        t.reset();
        listener->transferDidComplete(std::move(error));
        // Counted until its end is handed on, so that a caller waiting for no transfers also finds the
        // delivery already queued.
        active.fetch_sub(1);
    }

    void finish(TransferId id, std::optional<Error> error) {
        auto it = transfers.find(id);
        if (it == transfers.end()) return;
        std::string key = it->second->hostKey;
        endRunning(id, std::move(error));
        startWaiting(key);
    }

    void cancelTransfer(TransferId id) {
        std::unique_ptr<Transfer> t = takeWaiting(id);
        if (t == nullptr) t = takeRunning(id);
        if (t == nullptr) return;
        std::string key = t->hostKey;
        t.reset();
        active.fetch_sub(1);
        startWaiting(key);
    }

    // Network thread, with no transfer in the multi: closes every pooled connection. Other threads only
    // wake the multi, and they do so under the mutex, so swapping it there is safe.
    void dropConnectionPool() {
        std::lock_guard lock(mutex);
        curl_multi_cleanup(multi);
        multi = makeMulti();
        poolStale = false;
    }

    void takeCommands(std::vector<std::unique_ptr<Transfer>>& starts, std::vector<TransferId>& cancels,
                      std::vector<TransferId>& resumes, bool& stop) {
        std::lock_guard lock(mutex);
        starts.swap(pendingStarts);
        cancels.swap(pendingCancels);
        resumes.swap(pendingResumes);
        stop = stopping;
    }

    void run() {
        std::vector<std::unique_ptr<Transfer>> starts;
        std::vector<TransferId> cancels;
        std::vector<TransferId> resumes;
        while (true) {
            bool stop = false;
            takeCommands(starts, cancels, resumes, stop);
            if (stop) return;
            if (!starts.empty()) refreshConfiguration();
            if (poolStale && transfers.empty()) dropConnectionPool();
            for (auto& t : starts) admit(std::move(t));
            starts.clear();
            for (TransferId id : cancels) cancelTransfer(id);
            cancels.clear();
            for (TransferId id : resumes) {
                auto it = transfers.find(id);
                if (it == transfers.end() || !it->second->paused) continue;
                Transfer& t = *it->second;
                t.paused = false;
                t.lastActivity = Steady::now();
                // The held piece may come again at once, from inside this call.
                curl_easy_pause(t.easy, CURLPAUSE_CONT);
            }
            resumes.clear();

            int running = 0;
            curl_multi_perform(multi, &running);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg != CURLMSG_DONE) continue;
                Transfer* t = nullptr;
                curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
                if (t == nullptr) continue;
                CURLcode code = msg->data.result;
                std::optional<Error> error;
                if (code != CURLE_OK) {
                    error = URLError::make(URLError::codeForCurl(code), t->url,
                                           t->errorBuffer[0] != '\0' ? t->errorBuffer : curl_easy_strerror(code));
                    error->userInfo["curlCode"] = static_cast<int>(code);
                } else if (!t->headDelivered) {
                    // A complete exchange always has a head; without one the answer was not HTTP.
                    error = URLError::make(URLError::BadServerResponse, t->url);
                }
                finish(t->id, std::move(error));
            }

            // Hand what arrived on in one go per transfer (completed ones have flushed already).
            for (auto& listener : touched) listener->transferDidFlush();
            touched.clear();
            for (auto& [id, t] : transfers) t->touched = false;

            // Inactivity timeouts, in real time.
            auto now = Steady::now();
            auto nextDeadline = now + std::chrono::seconds(1);
            std::vector<TransferId> expired;
            for (auto& [id, t] : transfers) {
                // A held transfer waits for its consumer, not for the server.
                if (t->paused) continue;
                auto deadline = t->lastActivity + t->timeout;
                if (deadline <= now) {
                    expired.push_back(id);
                } else {
                    nextDeadline = std::min(nextDeadline, deadline);
                }
            }
            for (TransferId id : expired) {
                std::string url = transfers[id]->url;
                finish(id, URLError::make(URLError::TimedOut, url));
            }
            if (!expired.empty()) continue;
            nextDeadline = std::min(nextDeadline, expireWaiting(now));

            long curlTimeout = -1;
            curl_multi_timeout(multi, &curlTimeout);
            auto untilDeadline = std::chrono::duration_cast<std::chrono::milliseconds>(nextDeadline - now).count() + 1;
            long wait = static_cast<long>(untilDeadline);
            if (curlTimeout >= 0) wait = std::min(wait, curlTimeout);
            if (wait > 0) curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait), nullptr);
        }
    }
};

NetworkEngine& NetworkEngine::shared() {
    // Made after what it uses, so that it is stopped before they go at exit.
    NetworkConfiguration::sharedInstance();
    static NetworkEngine engine;
    return engine;
}

NetworkEngine::NetworkEngine() : impl_(std::make_unique<Impl>()) {}

NetworkEngine::~NetworkEngine() = default;

NetworkEngine::TransferId NetworkEngine::start(const URLRequest& request,
                                               std::shared_ptr<NetworkTransferListener> listener, TransferOrigin origin) {
    auto t = std::make_unique<Transfer>();
    TransferId id = impl_->nextId.fetch_add(1);
    t->id = id;
    t->request = request;
    t->origin = origin;
    t->listener = std::move(listener);
    impl_->active.fetch_add(1);
    {
        std::lock_guard lock(impl_->mutex);
        impl_->pendingStarts.push_back(std::move(t));
        curl_multi_wakeup(impl_->multi);
    }
    return id;
}

void NetworkEngine::resume(TransferId id) {
    std::lock_guard lock(impl_->mutex);
    impl_->pendingResumes.push_back(id);
    curl_multi_wakeup(impl_->multi);
}

void NetworkEngine::cancel(TransferId id) {
    std::unique_ptr<Transfer> dropped;
    {
        std::lock_guard lock(impl_->mutex);
        // Not yet begun: drop it here, no handle was made.
        auto& starts = impl_->pendingStarts;
        auto it = std::find_if(starts.begin(), starts.end(), [&](const auto& t) { return t->id == id; });
        if (it != starts.end()) {
            dropped = std::move(*it);
            starts.erase(it);
            impl_->active.fetch_sub(1);
        } else {
            impl_->pendingCancels.push_back(id);
            curl_multi_wakeup(impl_->multi);
        }
    }
    // The listener goes outside the lock: its owner may be going with it.
}

std::size_t NetworkEngine::activeTransferCount() const { return impl_->active.load(); }

bool NetworkEngine::isNetworkThread() const { return std::this_thread::get_id() == impl_->threadId; }

} // namespace platform
