#include "platform/net/NetworkEngine.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/base/Log.h"
#include "platform/net/HTTPResponseHeadParser.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/PingScheduler.h"
#include "platform/net/SystemCertificates.h"
#include "platform/net/URLError.h"
#include "platform/runloop/Clock.h"

namespace platform {

namespace {

using Steady = std::chrono::steady_clock;

struct Transfer {
    NetworkEngine::TransferId id = 0;
    void* owner = nullptr;  // the engine's Impl
    URLRequest request;
    TransferOrigin origin = TransferOrigin::app();  // set by start()
    std::string hostKey;  // what the per-host limit counts by
    std::shared_ptr<NetworkTransferListener> listener;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    curl_slist* connectTo = nullptr;
    Steady::time_point lastActivity;  // set when it starts: waiting for a place does not count
    Steady::time_point startedAt;     // when it last got its place: the longest held gives way first
    // Has had a place (it was put back since): it never makes another give way (see startWaiting).
    bool heldPlace = false;
    int putBacks = 0;
    // Took its place from a stuck transfer (see handOff): it keeps it, as one put back keeps its next.
    bool handedPlace = false;
    bool causedGiveWay = false;  // a load gave its place for it
    Steady::duration timeout{};
    Steady::time_point waitDeadline;  // when it stops waiting for a place and fails
    // When it was queued, and whether a place was due to it at once (see NetworkEngine::Observations).
    Steady::time_point queuedAt;
    bool newDocument = false;
    curl_off_t lastUploaded = 0;
    // The response head being read; 1xx heads are skipped.
    HTTPResponseHeadParser head;
    bool headDelivered = false;
    bool touched = false;  // heard something since the last flush
    bool answered = false;  // a byte of answer has come
    // The request has begun to be written (the connection and its handshake are done): from here the
    // server may have read it, and it is never put back to go out again. Its head must be complete within
    // its timeout from then.
    bool requestWritten = false;
    Steady::time_point writtenAt;
    int sends = 0;  // times the request was written in this try
    bool resendFresh = false;  // web content: a reused connection ended before a byte of answer
    // A page's ping: done once its final head has come (its body is not read).
    bool ping = false;
    bool headEnded = false;
    // Web content's minimum rate: body bytes since the window began (at the first byte of the final
    // answer's body, or a resume); an interim or early head does not start it.
    bool bodyBegun = false;
    Steady::time_point rateWindowStart;
    std::size_t rateWindowBytes = 0;
    bool paused = false;   // held by its listener, waiting for resume()
    // Sent once more, on a new connection, after kept-alive ones failed it.
    bool sentAfresh = false;
    // Goes out on a new connection and is never sent again (see NetworkEngine.h).
    bool sendOnce = false;
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    // The URL as sent, without the fragment (ours, never the server's). Made when needed, as for an error:
    // the request's URL is the one copy a transfer holds, besides the network library's.
    std::string url() const {
        const std::string& text = request.url().absoluteString();
        return text.substr(0, text.find('#'));
    }

    ~Transfer() {
        if (easy != nullptr) curl_easy_cleanup(easy);
        curl_slist_free_all(headerList);
        curl_slist_free_all(connectTo);
    }
};

// One side's loads waiting for and holding places (network thread only), in groups: on web content a
// document's loads (see TransferOrigin); the app's side is one group. Each group has its own
// MaximumTransfersPerHost places per origin (a lane), so one group's loads that hang or trickle on a
// host never hold another's there; the side has `limit` places in all, of which web content's pings hold
// some (setHeldElsewhere), and take them first.
// - A document with something under way starts another only while more than `reserve` places are free,
//   and past `share` only while half the places stay free: the reserve is for documents with nothing
//   under way.
// A free place goes to the group with the fewest under way among those with a transfer that may start
// (one never served first, then the one served longest ago), and there to its oldest such transfer. The
// app's side is one group with no reserve, so its order is plain FIFO among origins with room. Each call
// takes log time in what waits.
class TransferPool {
public:
    using TransferId = NetworkEngine::TransferId;

    TransferPool(std::size_t limit, std::size_t share, std::size_t reserve)
        : limit_(limit), share_(share), reserve_(reserve) {}

    // Places of the side held outside this pool (web content's pings).
    void setHeldElsewhere(std::size_t held) { heldElsewhere_ = held; }

    // Behind its group's others for its origin; `first`: in front of them (a place it gave back).
    void enqueue(std::unique_ptr<Transfer> t, bool first = false) {
        Lane& lane = laneFor(*t);
        Group& group = *lane.group;
        TransferId id = t->id;
        // Due a place at once (see NetworkEngine::Observations): the first load of a document that has had
        // none.
        t->newDocument = !first && group.running == 0 && group.waiting == 0 && !group.served && reserve_ > 0;
        t->queuedAt = Steady::now();
        withdraw(lane);
        // A load put back has had its place: its document is no newcomer, even when it had no other, and
        // counts as just served, so that the document it gave way to keeps its turn.
        if (first) rekey(group, 0, true);
        auto at = first ? lane.queue.insert(lane.queue.begin(), std::move(t))
                        : lane.queue.insert(lane.queue.end(), std::move(t));
        waiting_.emplace(id, Waiting{&lane, at});
        ++group.waiting;
        offer(lane);
    }

    // Out of its queue. Null when it is not waiting here.
    std::unique_ptr<Transfer> takeWaiting(TransferId id) {
        auto found = waiting_.find(id);
        if (found == waiting_.end()) return nullptr;
        auto [lane, at] = found->second;
        waiting_.erase(found);
        Group& group = *lane->group;
        withdraw(*lane);
        std::unique_ptr<Transfer> t = std::move(*at);
        lane->queue.erase(at);
        --group.waiting;
        offer(*lane);
        forgetIfIdle(*lane);
        forgetIfIdle(group);
        return t;
    }

    // The transfer to start next, out of its queue and counted as under way. Null when none may start.
    std::unique_ptr<Transfer> next() {
        // The first group has the fewest under way: when it may not start, none may.
        if (ready_.empty() || !mayStart(groups_.at(std::get<3>(*ready_.begin())), held())) return nullptr;
        return start(groups_.at(std::get<3>(*ready_.begin())).ready.begin()->second->queue.front()->id);
    }

    // The transfer waiting first in its lane that has never had a place, and whose document might start
    // one if `freed` more places were free: it waits for a place, and takes one a stuck transfer gives.
    // Null when none.
    const Transfer* freshReady(std::size_t freed) const {
        const std::size_t held = this->held() - std::min(freed, this->held());
        for (const Rank& rank : ready_) {
            const Group& group = groups_.at(std::get<3>(rank));
            if (!mayStart(group, held)) continue;
            for (const auto& [first, lane] : group.ready) {
                if (!lane->queue.front()->heldPlace) return lane->queue.front().get();
            }
        }
        return nullptr;
    }

    // The waiting transfer `id`, out of its queue and counted as under way, whatever its turn. Null when it
    // is not waiting here or its lane has no room.
    std::unique_ptr<Transfer> start(TransferId id) {
        auto found = waiting_.find(id);
        if (found == waiting_.end() || !hasRoom(*found->second.lane)) return nullptr;
        auto [lanePointer, at] = found->second;
        Lane& lane = *lanePointer;
        Group& group = *lane.group;
        waiting_.erase(found);
        withdraw(lane);
        std::unique_ptr<Transfer> t = std::move(*at);
        lane.queue.erase(at);
        --group.waiting;
        offer(lane);
        adopt(*t, lane);
        return t;
    }

    // The first transfer of the group first in turn, if that group has never had a place and every place
    // is taken: a load is then to give its place back (see NetworkEngine::Impl::startWaiting).
    Transfer* newcomerWaiting() {
        if (held() < limit_ || ready_.empty()) return nullptr;
        const Group& first = groups_.at(std::get<3>(*ready_.begin()));
        if (first.running != 0 || first.served) return nullptr;
        return first.ready.begin()->second->queue.front().get();
    }

    // The waiting transfer `id`; null when it is not waiting here.
    Transfer* waiting(TransferId id) {
        auto found = waiting_.find(id);
        return found == waiting_.end() ? nullptr : found->second.at->get();
    }

    // A transfer next() handed out has ended (or given its place back): its places free.
    void ended(const Transfer& t) {
        Lane& lane = lanes_.at(laneKeyOf(t.origin, t.hostKey));
        Group& group = *lane.group;
        withdraw(lane);
        --running_;
        --lane.running;
        rekey(group, -1, false);
        offer(lane);
        forgetIfIdle(lane);
        forgetIfIdle(group);
    }

    std::size_t running() const { return running_; }

    void clear() {
        ready_.clear();
        waiting_.clear();
        lanes_.clear();
        groups_.clear();
        running_ = 0;
    }

private:
    using Queue = std::list<std::unique_ptr<Transfer>>;
    using GroupKey = std::uint64_t;  // the document (0: the app's side)
    struct Lane;
    struct Group {
        GroupKey key = 0;
        int running = 0;
        std::size_t waiting = 0;
        std::uint64_t turn = 0;  // when it last got a place, or came
        bool served = false;     // has had a place since it came
        // Its lanes with room and transfers waiting, by the id of the first one waiting there.
        std::set<std::pair<TransferId, Lane*>> ready;
    };
    // One group's transfers for one origin.
    struct Lane {
        std::string key;
        Group* group = nullptr;
        int running = 0;
        Queue queue;
    };
    struct Waiting {
        Lane* lane;
        Queue::iterator at;
    };
    // Under way, then whether it was served (one that never was goes first), turn, key.
    using Rank = std::tuple<int, bool, std::uint64_t, GroupKey>;

    static std::string laneKeyOf(const TransferOrigin& origin, const std::string& hostKey) {
        return std::to_string(origin.document) + ' ' + hostKey;
    }
    static Rank rankOf(const Group& group) { return {group.running, group.served, group.turn, group.key}; }
    static bool hasRoom(const Lane& lane) { return lane.running < NetworkEngine::MaximumTransfersPerHost; }
    std::size_t held() const { return running_ + heldElsewhere_; }

    Lane& laneFor(const Transfer& t) {
        std::string key = laneKeyOf(t.origin, t.hostKey);
        auto [laneAt, newLane] = lanes_.try_emplace(key);
        Lane& lane = laneAt->second;
        if (newLane) {
            auto [groupAt, newGroup] = groups_.try_emplace(t.origin.document);
            Group& group = groupAt->second;
            if (newGroup) {
                group.key = t.origin.document;
                group.turn = ++turns_;
            }
            lane.key = std::move(key);
            lane.group = &group;
        }
        return lane;
    }
    // Counts `t` as under way in `lane`.
    void adopt(Transfer&, Lane& lane) {
        withdraw(lane);
        ++running_;
        ++lane.running;
        rekey(*lane.group, +1, true);
        offer(lane);
    }

    // Whether `group` may start a transfer while `held` places are taken: one with something under way
    // leaves the reserve, and past its share half the places.
    bool mayStart(const Group& group, std::size_t held) const {
        if (held >= limit_) return false;
        const auto running = static_cast<std::size_t>(group.running);
        if (running > 0 && held + reserve_ >= limit_) return false;
        return running < share_ || (held + 1) * 2 <= limit_;
    }

    // A lane is in its group's ready set while it has room and a transfer waiting; the group is in ready_
    // while its set is not empty. A change to a lane goes between withdraw() and offer().
    void withdraw(Lane& lane) {
        if (lane.queue.empty()) return;
        Group& group = *lane.group;
        if (group.ready.erase({lane.queue.front()->id, &lane}) != 0 && group.ready.empty()) ready_.erase(rankOf(group));
    }
    void offer(Lane& lane) {
        if (lane.queue.empty() || !hasRoom(lane)) return;
        Group& group = *lane.group;
        if (group.ready.empty()) ready_.insert(rankOf(group));
        group.ready.emplace(lane.queue.front()->id, &lane);
    }
    void rekey(Group& group, int runningChange, bool served) {
        bool listed = !group.ready.empty();
        if (listed) ready_.erase(rankOf(group));
        group.running += runningChange;
        if (served) {
            group.turn = ++turns_;
            group.served = true;
        }
        if (listed) ready_.insert(rankOf(group));
    }
    // By a copy of the key: the one in the entry goes with it.
    void forgetIfIdle(Lane& lane) {
        if (lane.running == 0 && lane.queue.empty()) lanes_.erase(std::string(lane.key));
    }
    void forgetIfIdle(Group& group) {
        if (group.running == 0 && group.waiting == 0) groups_.erase(GroupKey(group.key));
    }

    const std::size_t limit_;
    const std::size_t share_;
    const std::size_t reserve_;
    std::size_t heldElsewhere_ = 0;
    std::size_t running_ = 0;
    std::uint64_t turns_ = 0;
    // Node-based: the pointers and iterators held into them stay valid.
    std::unordered_map<std::string, Lane> lanes_;
    std::map<GroupKey, Group> groups_;
    std::set<Rank> ready_;  // the groups with a transfer that may start
    std::unordered_map<TransferId, Waiting> waiting_;
};

// The soft descriptor limit; a huge or unlimited one reads as a big round figure.
std::size_t softDescriptorLimit() {
    constexpr std::size_t Plenty = 1 << 20;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return Plenty;
    return std::min<std::size_t>(limit.rlim_cur, Plenty);
}

} // namespace

struct NetworkEngine::Impl {
    CURLM* multi = nullptr;
    CURLSH* cookieShare = nullptr;
    std::thread thread;
    std::thread::id threadId;

    const Limits limits = limitsFor(softDescriptorLimit());

    std::mutex mutex;  // guards the command lists and `stopping`
    std::list<std::unique_ptr<Transfer>> pendingStarts;
    // So that a cancel finds its start at once, however many wait.
    std::unordered_map<TransferId, std::list<std::unique_ptr<Transfer>>::iterator> pendingStartsById;
    std::vector<TransferId> pendingCancels;
    std::vector<TransferId> pendingResumes;
    bool stopping = false;
    int batches = 0;  // Batch objects alive: commands wait until none is
    std::atomic<TransferId> nextId{1};
    std::atomic<std::size_t> active{0};
    std::mutex observationsMutex;
    NetworkEngine::Observations observed;

    // Network thread only.
    // Transfers under way: each has its handle in the multi.
    std::unordered_map<TransferId, std::unique_ptr<Transfer>> transfers;
    // Those waiting for a place, per side.
    // The app's side is all one page (page 0): only its total counts there.
    TransferPool appPool{limits.appTransfers, limits.appTransfers, 0};
    TransferPool webPool{limits.webContentTransfers, limits.documentTransfers, limits.newDocumentReserve};
    // Web content's pings: admitted on any thread, placed on the network thread (see PingScheduler).
    mutable std::mutex pingMutex;
    PingScheduler pings{pingLimits(limits)};
    // Ping hops waiting for a place (network thread only), and those whose final head came this turn.
    std::unordered_map<TransferId, std::unique_ptr<Transfer>> pingWaiting;
    std::vector<TransferId> endedAtHead;
    // When a load still too new to give its place back may (network thread only).
    Steady::time_point giveWayAt = Steady::time_point::max();
    // Web content on its first place, neither put back nor handed it, whose request is not written yet,
    // by when each took its place: the only ones that may hand their place on. Those that took theirs up
    // to `stuckSeen` have been looked at stuck; when the next of them is; and whether, since the last look,
    // a transfer that never had a place began to wait or web content ended one (its document or host may
    // now start one that waits) (network thread only).
    std::set<std::pair<Steady::time_point, TransferId>> unwritten;
    Steady::time_point stuckSeen;
    Steady::time_point handOffAt = Steady::time_point::max();
    bool lookForStuck = false;
    // When each waiting transfer gives up waiting, soonest first.
    std::set<std::pair<Steady::time_point, TransferId>> waitingDeadlines;
    std::vector<std::shared_ptr<NetworkTransferListener>> touched;
    std::uint64_t configGeneration = 0;
    std::string caFile;
    // The system CAs plus the configured ones, built once per configuration; null without extra CAs.
    X509_STORE* trustStore = nullptr;
    // Pooled connections were verified against the trust before the last change: none may be reused.
    // The pool is dropped as soon as no transfer is running; until then new transfers connect afresh.
    bool poolStale = false;

    CURLM* makeMulti() const {
        CURLM* m = curl_multi_init();
        // Keep connections to the hosts we talk to alive for reuse, as many as the descriptor arithmetic
        // counted. curl counts those in use too: past this many, each transfer that ends closes the
        // oldest idle one, so idle connections never pile up beside a full pool.
        curl_multi_setopt(m, CURLMOPT_MAXCONNECTS, static_cast<long>(limits.idleConnections));
        // No per-host or total connection limit in curl: it groups by the address it connects to, so
        // hosts mapped to one address would share one limit, and its queue cannot be told apart by side
        // or host. The engine's pools limit transfers themselves.
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
        waitingDeadlines.clear();
        appPool.clear();
        webPool.clear();
        pendingStartsById.clear();
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
        trustStore = buildTrustStore(file);
    }

    // One store for every connection, the system's CAs and the file's (`file` empty: none). Left to
    // itself, the network library would read the whole system bundle into each new secure connection,
    // most of a megabyte apiece. Null when no store can be made: the library's defaults then apply.
    static X509_STORE* buildTrustStore(const std::string& file) {
        std::vector<X509*> extra;
        if (!file.empty()) {
            if (BIO* bio = BIO_new_file(file.c_str(), "r")) {
                while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) extra.push_back(cert);
                BIO_free(bio);
                if (extra.empty()) logWarning("network: no certificate in the trusted CA file " + file);
            } else {
                logWarning("network: cannot read the trusted CA file " + file);
            }
            ERR_clear_error();
        }
        X509_STORE* store = X509_STORE_new();
        if (store == nullptr) {
            for (X509* cert : extra) X509_free(cert);
            return nullptr;
        }
        // Not the whole bundle up front where the hashed folder serves: parsing it would hold the first
        // transfer up for tens of milliseconds.
        SystemCertificates::Locations system = SystemCertificates::ofNetworkLibrary();
        if (!SystemCertificates::loadInto(store, system)) {
            logWarning("network: cannot load the system CAs from " + system.bundle);
        }
        for (X509* cert : extra) {
            X509_STORE_add_cert(store, cert);  // a repeat is refused harmlessly
            X509_free(cert);
        }
        X509_STORE_set_flags(store, X509_V_FLAG_TRUSTED_FIRST);
        ERR_clear_error();
        return store;
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

    // Bytes of answer came (`body`: of its body).
    static void heard(Transfer& t, std::size_t bytes, bool body) {
        t.lastActivity = Steady::now();
        t.answered = true;
        if (body && bytes > 0) {
            if (!t.bodyBegun) {
                t.bodyBegun = true;
                t.rateWindowStart = t.lastActivity;
            }
            t.rateWindowBytes += bytes;
        }
        markTouched(t);
    }

    // The connection (and its handshake) is ready and the request is about to be written.
    // Web content's request goes out at most twice, as a browser's: the network library would send it
    // again on another kept connection when a reused one ended before a byte of answer; instead it goes
    // once more on a connection of its own (resendFresh), where the library never tries again.
    static int onRequestWrite(void* userptr, char*, char*, int, int) {
        auto* t = static_cast<Transfer*>(userptr);
        if (t->origin.isWebContent() && t->sends > 0) {
            if (!t->sentAfresh) t->resendFresh = true;
            return CURL_PREREQFUNC_ABORT;
        }
        ++t->sends;
        if (!t->requestWritten) {
            t->writtenAt = Steady::now();
            static_cast<Impl*>(t->owner)->unwritten.erase({t->startedAt, t->id});
        }
        t->requestWritten = true;
        return CURL_PREREQFUNC_OK;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* userptr) {
        auto* t = static_cast<Transfer*>(userptr);
        const size_t n = size * count;
        heard(*t, n, false);
        if (t->head.addLine(std::string_view(data, n)) && !t->headDelivered) deliverHead(*t, t->head.status());
        return n;
    }

    // The final head has come; a ping is done with it.
    static void deliverHead(Transfer& t, int status) {
        t.headDelivered = true;
        static_cast<Impl*>(t.owner)->noteAnswer(t);
        t.listener->transferDidReceiveResponse(status, t.head.takeFields());
        if (t.ping && !t.headEnded) {
            t.headEnded = true;
            static_cast<Impl*>(t.owner)->endedAtHead.push_back(t.id);
        }
    }

    // An answer's head that came promptly tells the pings' policy its host answers (whoever asked).
    void noteAnswer(const Transfer& t) {
        if (!t.requestWritten) return;
        std::lock_guard lock(pingMutex);
        const auto took = std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now() - t.writtenAt).count();
        if (took <= pings.limits().slowAfter) pings.answered(t.hostKey, pingClock());
    }

    static size_t onData(char* data, size_t size, size_t count, void* userptr) {
        auto* t = static_cast<Transfer*>(userptr);
        const size_t n = size * count;
        heard(*t, n, true);
        // A body without a final head (an HTTP/0.9 answer): report what we know.
        if (!t->headDelivered) deliverHead(*t, t->head.status() == 0 ? 200 : t->head.status());
        // A ping's body is not read: what came with its head is dropped.
        if (n == 0 || t->ping) return n;
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
        std::size_t head = r.httpMethod().size() + r.url().absoluteString().size() + 256;
        for (const auto& [name, value] : r.allHTTPHeaderFields().fields()) head += name.size() + value.size() + 4;
        if (head > NetworkEngine::MaximumRequestHeadBytes) {
            // Named by its start: a URL too long to send is not copied whole into its error.
            setError(error, URLError::make(URLError::BadURL, r.url().absoluteString().substr(0, 256),
                                           "the request is larger than the network library sends"));
            return false;
        }
        t.easy = curl_easy_init();
        if (t.easy == nullptr) {
            setError(error, URLError::make(URLError::Unknown, t.url(), "curl_easy_init failed"));
            return false;
        }
        CURL* e = t.easy;
        // The fragment is ours, never the server's. curl copies the text.
        const std::string& urlText = r.url().absoluteString();
        if (urlText.find('#') == std::string::npos)
            curl_easy_setopt(e, CURLOPT_URL, urlText.c_str());
        else
            curl_easy_setopt(e, CURLOPT_URL, t.url().c_str());
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
        curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Impl::onRequestWrite);
        curl_easy_setopt(e, CURLOPT_PREREQDATA, &t);
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

        // On a connection it opens itself, curl never sends a request again.
        if (poolStale || t.sendOnce) curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);

        if (curl_multi_add_handle(multi, e) != CURLM_OK) {
            setError(error, URLError::make(URLError::Unknown, t.url(), "curl_multi_add_handle failed"));
            return false;
        }
        return true;
    }

    // Scheme, host and port: a phone's stack keeps its connections, and so its limit, per origin.
    static std::string hostKeyOf(const URL& url) {
        auto port = url.effectivePort();
        return url.scheme() + "://" + url.host() + ":" + (port ? std::to_string(*port) : std::string());
    }

    // A server may act on each copy of such a request it reads; the others act as once, however often.
    static bool sentAtMostOnce(const URLRequest& r) {
        static constexpr std::string_view Repeatable[] = {"GET", "HEAD", "OPTIONS", "TRACE", "PUT", "DELETE"};
        const std::string& method = r.httpMethod();
        return !r.httpBody().empty() ||
               std::find(std::begin(Repeatable), std::end(Repeatable), method) == std::end(Repeatable);
    }

    TransferPool& poolOf(const Transfer& t) { return t.origin.isWebContent() ? webPool : appPool; }

    // The scheduler's places, as limitsFor worked them out; its quotas and lives are its own.
    static PingScheduler::Limits pingLimits(const Limits& limits) {
        PingScheduler::Limits pings;
        pings.places = limits.pingTransfers;
        pings.reserve = limits.pingReserve;
        return pings;
    }
    // Pings' lives run on the platform's clock (which tests advance), in its whole nanoseconds.
    static PingScheduler::Nanos pingClock() { return Clock::nanoseconds(); }
    // When, in real time, the network thread next looks at the pings' lives (at least once a second, so
    // that a virtual clock moved meanwhile is seen).
    static Steady::time_point wakeFor(PingScheduler::Nanos deadline) {
        const PingScheduler::Nanos left = deadline - std::min(deadline, pingClock());
        return Steady::now() + std::chrono::nanoseconds(std::min<PingScheduler::Nanos>(left, PingScheduler::NanosPerSecond));
    }

    // Ends a transfer that never got a place; the caller starts what its end lets start.
    void endUnsent(std::unique_ptr<Transfer> t, Error error) {
        observeWait(*t);
        auto listener = std::move(t->listener);
        t.reset();
        listener->transferDidComplete(std::move(error));
        active.fetch_sub(1);
    }

    // Queues the transfer on its side; startWaiting() puts it under way when it has a place.
    void admit(std::unique_ptr<Transfer> t) {
        t->hostKey = hostKeyOf(t->request.url());
        t->sendOnce = sentAtMostOnce(t->request);
        t->ping = t->origin.isPing();
        if (t->ping) {
            // A ping waits its turn within its life, which runs from its admission (see PingScheduler).
            PingScheduler::Wanted wanted;
            {
                std::lock_guard lock(pingMutex);
                wanted = pings.want(t->origin.pingId, t->id, t->hostKey, pingClock());
            }
            if (wanted == PingScheduler::Wanted::Queued) {
                t->queuedAt = Steady::now();
                TransferId id = t->id;
                pingWaiting.emplace(id, std::move(t));
                lookForStuck = true;
            } else {
                std::string url = t->url();
                endUnsent(std::move(t), wanted == PingScheduler::Wanted::LifePassed
                                            ? URLError::make(URLError::TimedOut, url, "the ping ran past its life")
                                            : URLError::make(URLError::Cancelled, url, "the ping was let go"));
            }
            return;
        }
        // Bounded: a far deadline must not overflow the clock.
        t->timeout = std::chrono::duration_cast<Steady::duration>(
            std::chrono::duration<double>(std::min(t->request.timeoutInterval(), 1e6)));
        t->waitDeadline = Steady::now() + t->timeout;
        waitingDeadlines.emplace(t->waitDeadline, t->id);
        if (t->origin.isWebContent()) lookForStuck = true;
        poolOf(*t).enqueue(std::move(t));
    }

    // Takes a waiting transfer out of its queue. Null when it is not waiting.
    std::unique_ptr<Transfer> takeWaiting(TransferId id) {
        if (auto ping = pingWaiting.find(id); ping != pingWaiting.end()) {
            std::unique_ptr<Transfer> t = std::move(ping->second);
            pingWaiting.erase(ping);
            std::lock_guard lock(pingMutex);
            pings.hopEnded(id, pingClock());
            return t;
        }
        std::unique_ptr<Transfer> t = appPool.takeWaiting(id);
        if (t == nullptr) t = webPool.takeWaiting(id);
        if (t != nullptr) waitingDeadlines.erase({t->waitDeadline, id});
        return t;
    }

    // A transfer that was to have a place at once leaves its queue (started or given up): how long it waited.
    void observeWait(const Transfer& t) {
        if (!t.newDocument) return;
        const double waited = std::chrono::duration<double>(Steady::now() - t.queuedAt).count();
        std::lock_guard lock(observationsMutex);
        observed.longestNewDocumentWait = std::max(observed.longestNewDocumentWait, waited);
    }

    // Fails the waiting transfers whose time is up, unsent; returns when the next one's is. A waiting
    // transfer holds no place, so none frees.
    Steady::time_point expireWaiting(Steady::time_point now) {
        while (!waitingDeadlines.empty() && waitingDeadlines.begin()->first <= now) {
            std::unique_ptr<Transfer> t = takeWaiting(waitingDeadlines.begin()->second);
            std::string url = t->url();
            endUnsent(std::move(t), URLError::make(URLError::TimedOut, url));
        }
        return waitingDeadlines.empty() ? Steady::time_point::max() : waitingDeadlines.begin()->first;
    }

    // Fails the pings whose life has ended, waiting or under way, and waiting hops left too little of it;
    // true when it ended any. `wake`: when the next is due. The deadline is compared in the scheduler's
    // whole nanoseconds, so one that is due is always released.
    bool expirePings(Steady::time_point& wake) {
        std::vector<TransferId> late;
        PingScheduler::Nanos next = 0;
        {
            std::lock_guard lock(pingMutex);
            late = pings.expired(pingClock());
            next = pings.nextDeadline();
        }
        for (TransferId id : late) {
            if (auto waiting = pingWaiting.find(id); waiting != pingWaiting.end()) {
                std::unique_ptr<Transfer> t = std::move(waiting->second);
                pingWaiting.erase(waiting);
                std::string url = t->url();
                endUnsent(std::move(t), URLError::make(URLError::TimedOut, url, "the ping ran past its life"));
            } else if (auto running = transfers.find(id); running != transfers.end()) {
                std::string url = running->second->url();
                endRunning(id, URLError::make(URLError::TimedOut, url, "the ping ran past its life"));
            }
        }
        wake = wakeFor(next);
        return !late.empty();
    }

    // Puts the transfer under way, its timeout running from now; one that cannot be set up ends at once.
    void launch(std::unique_ptr<Transfer> t) {
        refreshConfiguration();
        Error error;
        TransferId id = t->id;
        t->lastActivity = Steady::now();
        t->startedAt = t->lastActivity;
        t->heldPlace = true;
        // Its second place, or one handed to it, it keeps until its request is written or it ends.
        if (t->origin.isWebContent() && t->putBacks == 0 && !t->handedPlace) unwritten.emplace(t->startedAt, id);
        t->listener->transferDidStart();
        bool ok = setUp(*t, &error);
        transfers.emplace(id, std::move(t));
        if (!ok) endRunning(id, error);
    }

    // How many it started.
    std::size_t launchNext(TransferPool& pool) {
        std::size_t started = 0;
        while (std::unique_ptr<Transfer> t = pool.next()) {
            observeWait(*t);
            waitingDeadlines.erase({t->waitDeadline, t->id});
            launch(std::move(t));
            ++started;
        }
        return started;
    }

    // Web content's places: pings first, never behind loads, then loads in what is left.
    std::size_t launchWebContent() {
        std::size_t started = 0;
        while (launchPing(PingScheduler::Only::Any)) ++started;
        return started + launchNext(webPool);
    }

    // Starts the ping hop (among `only`) the scheduler gives a free place of web content. False when none.
    // `now`: the scheduler's time, when the caller has read it already.
    bool launchPing(PingScheduler::Only only, std::optional<PingScheduler::Nanos> now = std::nullopt) {
        std::optional<TransferId> hop;
        {
            std::lock_guard lock(pingMutex);
            const std::size_t held = webPool.running() + pings.underWay();
            const std::size_t free = held < limits.webContentTransfers ? limits.webContentTransfers - held : 0;
            hop = pings.next(free, now.value_or(pingClock()), only);
            webPool.setHeldElsewhere(pings.underWay());
        }
        if (!hop) return false;
        launchPingHop(*hop);
        return true;
    }

    // Puts the ping hop the scheduler has just counted as under way under way.
    void launchPingHop(TransferId hop) {
        auto waiting = pingWaiting.find(hop);
        std::unique_ptr<Transfer> t = std::move(waiting->second);
        pingWaiting.erase(waiting);
        launch(std::move(t));
    }

    // Puts the waiting load `id` under way in the place just freed for it.
    void launchLoad(TransferId id) {
        std::unique_ptr<Transfer> t = webPool.start(id);
        if (t == nullptr) return;
        observeWait(*t);
        waitingDeadlines.erase({t->waitDeadline, t->id});
        launch(std::move(t));
    }

    struct Newcomer {
        TransferId id = 0;
        bool ping = false;
        PingScheduler::Nanos now = 0;  // a ping's: when the scheduler found it owed a place
    };
    // What waits, never having had a place, while web content is full and no load has given way for it
    // yet: the first load of a document that has had none, or a ping hop owed a place.
    std::optional<Newcomer> newcomerWaiting() {
        std::lock_guard lock(pingMutex);
        webPool.setHeldElsewhere(pings.underWay());
        if (Transfer* t = webPool.newcomerWaiting(); t != nullptr && !t->causedGiveWay) return Newcomer{t->id, false};
        if (webPool.running() + pings.underWay() < limits.webContentTransfers) return std::nullopt;
        const PingScheduler::Nanos now = pingClock();
        if (std::optional<TransferId> hop = pings.owed(now); hop && !pingWaiting.at(*hop)->causedGiveWay)
            return Newcomer{*hop, true, now};
        return std::nullopt;
    }

    // Starts what has a place, after failing what waited too long, so that nothing starts doomed. Then
    // web content stuck without its connection hands its place on (handOffStuck), and while web content is
    // full and a newcomer waits, a written load gives its place to that newcomer, one load for each: the
    // place goes to the newcomer that asked, never to another.
    void startWaiting() {
        const Steady::time_point now = Steady::now();
        giveWayAt = Steady::time_point::max();
        expireWaiting(now);
        Steady::time_point pingsDue;
        expirePings(pingsDue);
        launchNext(appPool);
        launchWebContent();
        handOffStuck(now);
        for (std::size_t given = 0; given < limits.webContentTransfers; ++given) {
            std::optional<Newcomer> newcomer = newcomerWaiting();
            if (!newcomer || !giveWay(now)) break;
            if (newcomer->ping) {
                pingWaiting.at(newcomer->id)->causedGiveWay = true;
                // At the same reading of the clock, the same hop is owed the place.
                if (!launchPing(PingScheduler::Only::Owed, newcomer->now)) break;
            } else {
                webPool.waiting(newcomer->id)->causedGiveWay = true;
                launchLoad(newcomer->id);
            }
        }
    }

    // Web content that has held its first place NetworkEngine::StuckConnectionSeconds without writing its
    // request (its connection or handshake never came) hands the place straight to a transfer that has
    // never had one and waits for it: a fresh ping hop first, else a load. It goes back to the front of its
    // queue, keeping its deadline (a ping hop its ping's life): it was never sent. Once at most: the place
    // it takes next, like one handed to a newcomer, is kept until the request is written or the transfer
    // ends, so a handshake slower than the mark still completes by its second try, and no stream of
    // newcomers keeps a transfer from ever connecting.
    // Looked at only when a transfer that never had a place began to wait, one of web content ended, or
    // another passed the mark; the oldest stuck go first, and the look stops at the first whose place
    // nothing takes, so that its cost does not grow with the stuck transfers.
    void handOffStuck(Steady::time_point now) {
        const auto stuckAfter = std::chrono::seconds(NetworkEngine::StuckConnectionSeconds);
        const bool asked = std::exchange(lookForStuck, false);
        handOffAt = Steady::time_point::max();
        if (unwritten.empty()) return;
        const Steady::time_point stuckSince = now - stuckAfter;
        auto unseen = [this] { return unwritten.upper_bound({stuckSeen, std::numeric_limits<TransferId>::max()}); };
        if (unwritten.begin()->first <= stuckSince &&
            (asked || (unseen() != unwritten.end() && unseen()->first <= stuckSince))) {
            stuckSeen = std::max(stuckSeen, stuckSince);
            // Each hand-off takes the oldest out of the index (it is put back).
            while (!unwritten.empty() && unwritten.begin()->first <= stuckSince) {
                if (!handOff(unwritten.begin()->second)) break;
            }
        }
        if (auto next = unseen(); next != unwritten.end()) handOffAt = next->first + stuckAfter;
    }

    // Hands the place of `id`, stuck, to what never had one, if anything would take it. False when nothing
    // does (or `id` is not under way).
    bool handOff(TransferId id) {
        auto running = transfers.find(id);
        if (running == transfers.end()) return false;
        const bool ping = running->second->ping;
        std::optional<TransferId> hop;
        {
            std::lock_guard lock(pingMutex);
            hop = ping ? pings.handOff(id, pingClock()) : pings.next(1, pingClock(), PingScheduler::Only::Fresh);
        }
        if (hop) {
            putBack(id);
            pingWaiting.at(*hop)->handedPlace = true;
            launchPingHop(*hop);
            return true;
        }
        const Transfer* ready = webPool.freshReady(1);
        if (ready == nullptr) return false;
        const TransferId loadId = ready->id;
        if (ping) {
            std::lock_guard lock(pingMutex);
            pings.putBack(id, pingClock());
        }
        putBack(id);
        {
            std::lock_guard lock(pingMutex);
            webPool.setHeldElsewhere(pings.underWay());
        }
        webPool.waiting(loadId)->handedPlace = true;
        launchLoad(loadId);
        return true;
    }

    // The written load that took its place longest ago (and MinimumHoldMilliseconds ago at least) fails,
    // so that a newcomer takes its place: never a newer one, never a ping, never one still connecting on its
    // first place (that one hands its place on once stuck; see handOffStuck). The server may have read it,
    // so it is never sent again. A load still connecting on a place it keeps (its second, or one handed to
    // it) DeadConnectionSeconds after it took it is no slow handshake but a dead one: it gives way
    // too, failing unsent, so that such loads cannot shut a new document out until their timeouts. False
    // when there is none.
    bool giveWay(Steady::time_point now) {
        Transfer* longest = nullptr;
        // A load that has just got its place keeps it a moment: newcomers arriving faster than an answer
        // would otherwise take one place from each other for ever.
        const auto hold = std::chrono::milliseconds(NetworkEngine::MinimumHoldMilliseconds);
        const auto dead = std::chrono::seconds(NetworkEngine::DeadConnectionSeconds);
        for (auto& [id, t] : transfers) {
            if (!t->origin.isWebContent() || t->ping) continue;
            if (!t->requestWritten && t->putBacks == 0 && !t->handedPlace) continue;
            const Steady::time_point from = t->startedAt + (t->requestWritten ? Steady::duration(hold) : Steady::duration(dead));
            if (now < from) {
                giveWayAt = std::min(giveWayAt, from);
                continue;
            }
            if (longest == nullptr || std::tie(t->startedAt, t->id) < std::tie(longest->startedAt, longest->id))
                longest = t.get();
        }
        if (longest == nullptr) return false;
        {
            std::lock_guard lock(observationsMutex);
            ++observed.loadsGivenWay;
        }
        endRunning(longest->id, URLError::make(URLError::TimedOut, longest->url(),
                                               longest->requestWritten
                                                   ? "the load gave its place to another document's"
                                                   : "the load gave its place to another document's, its connection never came"));
        return true;
    }

    // Out of the multi and back to wait, first in its queue, as if never started (its request was never
    // written): a load waits until its first deadline at most, a ping hop within its ping's life (the
    // scheduler has been told already).
    void putBack(TransferId id) {
        auto running = transfers.find(id);
        std::unique_ptr<Transfer> t = std::move(running->second);
        transfers.erase(running);
        curl_multi_remove_handle(multi, t->easy);
        unwritten.erase({t->startedAt, id});
        if (!t->ping) webPool.ended(*t);
        curl_easy_cleanup(std::exchange(t->easy, nullptr));
        curl_slist_free_all(std::exchange(t->headerList, nullptr));
        curl_slist_free_all(std::exchange(t->connectTo, nullptr));
        t->head = HTTPResponseHeadParser();
        t->errorBuffer[0] = '\0';
        t->lastUploaded = 0;
        t->requestWritten = false;
        t->sends = 0;
        ++t->putBacks;
        {
            std::lock_guard lock(observationsMutex);
            ++(t->ping ? observed.pingHopsPutBack : observed.loadsPutBack);
            observed.mostPutBacksOfOne = std::max<std::size_t>(observed.mostPutBacksOfOne, t->putBacks);
        }
        if (t->ping) {
            pingWaiting.emplace(id, std::move(t));
            return;
        }
        waitingDeadlines.emplace(t->waitDeadline, id);
        webPool.enqueue(std::move(t), true);
    }

    // Takes a transfer under way out of the multi and gives its places back. Null when unknown.
    std::unique_ptr<Transfer> takeRunning(TransferId id) {
        auto it = transfers.find(id);
        if (it == transfers.end()) return nullptr;
        std::unique_ptr<Transfer> t = std::move(it->second);
        transfers.erase(it);
        curl_multi_remove_handle(multi, t->easy);
        if (t->origin.isWebContent()) {
            unwritten.erase({t->startedAt, id});
            lookForStuck = true;
        }
        if (t->ping) {
            std::lock_guard lock(pingMutex);
            pings.hopEnded(id, pingClock());
        } else {
            poolOf(*t).ended(*t);
        }
        return t;
    }

    // A server may close an idle kept-alive connection at any moment, and over TLS curl takes one it
    // has closed for alive (its close alert is data waiting to be read). curl sends such a request
    // again on another pooled connection, and gives up after a few: when that many pooled connections
    // to the host were closed together, it fails a request the server never saw. True when that is what
    // ended `t`: it failed sending or before a byte of answer, on reused connections only.
    // Web content never: its one resend is on a connection of its own (resendFresh), as a browser's.
    static bool diedOnKeptAliveConnections(Transfer& t, CURLcode code) {
        if (t.origin.isWebContent() || t.sendOnce || t.sentAfresh || t.headDelivered) return false;
        if (code != CURLE_SEND_ERROR && code != CURLE_RECV_ERROR && code != CURLE_GOT_NOTHING) return false;
        long newConnections = -1;
        long headBytes = -1;
        curl_off_t bodyBytes = -1;
        curl_easy_getinfo(t.easy, CURLINFO_NUM_CONNECTS, &newConnections);
        curl_easy_getinfo(t.easy, CURLINFO_HEADER_SIZE, &headBytes);
        curl_easy_getinfo(t.easy, CURLINFO_SIZE_DOWNLOAD_T, &bodyBytes);
        return newConnections == 0 && headBytes == 0 && bodyBytes == 0;
    }

    // Sends `t` again, once, on a connection of its own; it keeps its place. Ends it when curl refuses.
    void sendAfresh(Transfer& t) {
        t.sentAfresh = true;
        t.sends = 0;
        t.head = HTTPResponseHeadParser();
        t.errorBuffer[0] = '\0';
        t.lastActivity = Steady::now();
        curl_multi_remove_handle(multi, t.easy);
        curl_easy_setopt(t.easy, CURLOPT_FRESH_CONNECT, 1L);
        if (curl_multi_add_handle(multi, t.easy) != CURLM_OK)
            endRunning(t.id, URLError::make(URLError::NetworkConnectionLost, t.url()));
    }

    // Ends a transfer under way; the caller starts what its place lets start.
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

    void cancelTransfer(TransferId id) {
        std::unique_ptr<Transfer> t = takeWaiting(id);
        if (t == nullptr) t = takeRunning(id);
        if (t == nullptr) return;
        t.reset();
        active.fetch_sub(1);
    }

    // Network thread, with no transfer in the multi: closes every pooled connection. Other threads only
    // wake the multi, and they do so under the mutex, so swapping it there is safe.
    void dropConnectionPool() {
        std::lock_guard lock(mutex);
        curl_multi_cleanup(multi);
        multi = makeMulti();
        poolStale = false;
    }

    struct Commands {
        std::list<std::unique_ptr<Transfer>> starts;
        std::vector<TransferId> cancels;
        std::vector<TransferId> resumes;
        bool stop = false;
    };
    void takeCommands(Commands& commands) {
        std::lock_guard lock(mutex);
        commands.stop = stopping;
        if (batches > 0) return;
        commands.starts.swap(pendingStarts);
        pendingStartsById.clear();
        commands.cancels.swap(pendingCancels);
        commands.resumes.swap(pendingResumes);
    }

    void run() {
        Commands commands;
        auto& [starts, cancels, resumes, stop] = commands;
        while (true) {
            takeCommands(commands);
            if (stop) return;
            if (!starts.empty()) refreshConfiguration();
            if (poolStale && transfers.empty()) dropConnectionPool();
            for (auto& t : starts) admit(std::move(t));
            starts.clear();
            // Before anything starts, so that a place freed here never goes to one cancelled next.
            for (TransferId id : cancels) cancelTransfer(id);
            cancels.clear();
            startWaiting();
            for (TransferId id : resumes) {
                auto it = transfers.find(id);
                if (it == transfers.end() || !it->second->paused) continue;
                Transfer& t = *it->second;
                t.paused = false;
                t.lastActivity = Steady::now();
                t.rateWindowStart = t.lastActivity;
                t.rateWindowBytes = 0;
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
                // A ping is done at its final head, whatever became of the body after it.
                if (t->ping && t->headEnded) code = CURLE_OK;
                if (code != CURLE_OK && (diedOnKeptAliveConnections(*t, code) ||
                                         (code == CURLE_ABORTED_BY_CALLBACK && t->resendFresh && !t->sentAfresh))) {
                    sendAfresh(*t);
                    continue;
                }
                std::optional<Error> error;
                if (code != CURLE_OK) {
                    error = URLError::make(URLError::codeForCurl(code), t->url(),
                                           t->errorBuffer[0] != '\0' ? t->errorBuffer : curl_easy_strerror(code));
                    error->userInfo["curlCode"] = static_cast<int>(code);
                } else if (!t->headDelivered) {
                    // A complete exchange always has a head; without one the answer was not HTTP.
                    error = URLError::make(URLError::BadServerResponse, t->url());
                }
                endRunning(t->id, std::move(error));
            }
            // A ping whose final head came is done: its body is not read.
            for (TransferId id : std::exchange(endedAtHead, {})) {
                if (transfers.contains(id)) endRunning(id, std::nullopt);
            }
            startWaiting();

            // Hand what arrived on in one go per transfer (completed ones have flushed already).
            for (auto& listener : touched) listener->transferDidFlush();
            touched.clear();
            for (auto& [id, t] : transfers) t->touched = false;

            // Inactivity timeouts, in real time.
            auto now = Steady::now();
            auto nextDeadline = now + std::chrono::seconds(1);
            std::vector<TransferId> expired;
            std::vector<TransferId> tooSlow;
            // A ping's hop that passes the pings' slow mark changes what may start (its host turns slow):
            // look again just after, not at the next second.
            const auto slowAfter = std::chrono::nanoseconds(pings.limits().slowAfter) + std::chrono::milliseconds(1);
            for (auto& [id, t] : transfers) {
                if (t->ping && now < t->startedAt + slowAfter) nextDeadline = std::min(nextDeadline, t->startedAt + slowAfter);
                // A held transfer waits for its consumer, not for the server; a ping lives its life.
                if (t->paused || t->ping) continue;
                auto deadline = t->lastActivity + t->timeout;
                // Its head is complete within its timeout from its request being written, whatever trickles.
                if (t->requestWritten && !t->headDelivered) deadline = std::min(deadline, t->writtenAt + t->timeout);
                // One put back keeps its first deadline until its request is written.
                if (t->putBacks > 0 && !t->requestWritten) deadline = std::min(deadline, t->waitDeadline);
                if (deadline <= now) {
                    expired.push_back(id);
                    continue;
                }
                nextDeadline = std::min(nextDeadline, deadline);
                // A page's load that trickles gives its place back: each window from its first byte brings
                // the minimum, or it fails.
                if (!t->origin.isWebContent() || !t->bodyBegun) continue;
                auto windowEnd = t->rateWindowStart + std::chrono::seconds(NetworkEngine::WebContentRateWindowSeconds);
                if (windowEnd <= now) {
                    if (t->rateWindowBytes < NetworkEngine::MinimumWebContentBytesPerWindow) {
                        tooSlow.push_back(id);
                        continue;
                    }
                    t->rateWindowStart = now;
                    t->rateWindowBytes = 0;
                    windowEnd = now + std::chrono::seconds(NetworkEngine::WebContentRateWindowSeconds);
                }
                nextDeadline = std::min(nextDeadline, windowEnd);
            }
            for (TransferId id : expired) {
                std::string url = transfers[id]->url();
                endRunning(id, URLError::make(URLError::TimedOut, url));
            }
            for (TransferId id : tooSlow) {
                std::string url = transfers[id]->url();
                endRunning(id, URLError::make(URLError::TimedOut, url, "the answer came slower than web content's least rate"));
            }
            expired.insert(expired.end(), tooSlow.begin(), tooSlow.end());
            if (!expired.empty()) {
                startWaiting();
                continue;
            }
            // A ping's end at its life frees a place: what waits starts at once.
            Steady::time_point pingsDue;
            if (expirePings(pingsDue)) {
                startWaiting();
                continue;
            }
            nextDeadline = std::min({nextDeadline, expireWaiting(now), pingsDue, giveWayAt, handOffAt});

            long curlTimeout = -1;
            curl_multi_timeout(multi, &curlTimeout);
            auto untilDeadline = std::chrono::duration_cast<std::chrono::milliseconds>(nextDeadline - now).count() + 1;
            long wait = static_cast<long>(untilDeadline);
            if (curlTimeout >= 0) wait = std::min(wait, curlTimeout);
            if (wait > 0) curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait), nullptr);
        }
    }
};

namespace {
// The engine while it runs: a batch begun before it starts, or after it stops, has nothing to hold.
std::atomic<void*> runningEngine{nullptr};
} // namespace

NetworkEngine& NetworkEngine::shared() {
    // Made after what it uses, so that it is stopped before they go at exit.
    NetworkConfiguration::sharedInstance();
    static NetworkEngine engine;
    return engine;
}

NetworkEngine::NetworkEngine() : impl_(std::make_unique<Impl>()) { runningEngine.store(impl_.get()); }

NetworkEngine::~NetworkEngine() { runningEngine.store(nullptr); }

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
        impl_->pendingStartsById.emplace(id, std::prev(impl_->pendingStarts.end()));
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
        auto pending = impl_->pendingStartsById.find(id);
        if (pending != impl_->pendingStartsById.end()) {
            dropped = std::move(*pending->second);
            impl_->pendingStarts.erase(pending->second);
            impl_->pendingStartsById.erase(pending);
            impl_->active.fetch_sub(1);
        } else {
            impl_->pendingCancels.push_back(id);
            curl_multi_wakeup(impl_->multi);
        }
    }
    // The listener goes outside the lock: its owner may be going with it.
}

std::size_t NetworkEngine::activeTransferCount() const { return impl_->active.load(); }

PingScheduler::PingId NetworkEngine::admitPing(const TransferOrigin& origin, std::size_t bytes, Error* error) {
    PingScheduler::Admission admission;
    std::size_t refused = 0;
    {
        std::lock_guard lock(impl_->pingMutex);
        admission = impl_->pings.admit({origin.adKey(), origin.viewKey(), origin.document}, bytes, Impl::pingClock());
        if (admission.id == 0) refused = impl_->pings.refusals(admission.refusal);
    }
    if (admission.id != 0) return admission.id;
    const std::string why = PingScheduler::describe(admission.refusal);
    // A page can ask without end: the log hears of the first refusals of each quota, then of every doubling.
    if ((refused & (refused - 1)) == 0)
        logWarning("network: a page's ping is refused, " + why + " (" + std::to_string(refused) + " so far)");
    setError(error, Error("WebKitErrorDomain", 102, "the page's ping is refused: " + why));
    return 0;
}

void NetworkEngine::releasePing(PingScheduler::PingId ping) {
    if (ping == 0) return;
    std::lock_guard lock(impl_->pingMutex);
    impl_->pings.release(ping, Impl::pingClock());
}

NetworkEngine::PingCounts NetworkEngine::pingCounts() const {
    std::lock_guard lock(impl_->pingMutex);
    return {impl_->pings.admitted(), impl_->pings.admittedBytes(), impl_->pings.underWay(), impl_->pings.waiting()};
}

NetworkEngine::Batch::Batch() : engine_(static_cast<Impl*>(runningEngine.load())) {
    if (engine_ == nullptr) return;
    std::lock_guard lock(engine_->mutex);
    ++engine_->batches;
}

NetworkEngine::Batch::~Batch() {
    if (engine_ == nullptr) return;
    std::lock_guard lock(engine_->mutex);
    if (--engine_->batches == 0) curl_multi_wakeup(engine_->multi);
}

NetworkEngine::Observations NetworkEngine::observations() const {
    std::lock_guard lock(impl_->observationsMutex);
    return impl_->observed;
}

const NetworkEngine::Limits& NetworkEngine::limits() const { return impl_->limits; }

NetworkEngine::Limits NetworkEngine::limitsFor(std::size_t descriptorLimit) {
    const std::size_t L = descriptorLimit;
    constexpr std::size_t PerHost = MaximumTransfersPerHost;
    constexpr std::size_t AtWorst = DescriptorsPerTransferAtWorst;
    // The app's working minimum, and web content's smallest share besides.
    constexpr std::size_t AppLeast = PerHost * AtWorst;
    Limits limits;
    limits.descriptorLimit = L;
    limits.idleConnections = std::min(MaximumIdleConnections, L / 8);
    limits.reservedDescriptors = std::min(ReservedDescriptors, L / 2);
    auto left = [&] {
        std::size_t setAside = limits.reservedDescriptors + limits.idleConnections;
        return L > setAside ? L - setAside : 0;
    };
    // One host's worth at least, so that pages load at all, unless the app's minimum needs it.
    std::size_t web = std::clamp(left() / 3, PerHost, MaximumWebContentTransfers);
    if (left() < web * AtWorst + AppLeast)
        web = std::max<std::size_t>(1, left() > AppLeast ? (left() - AppLeast) / AtWorst : 0);
    // At the tiniest limits the reserve gives way to the minimums.
    std::size_t needed = web * AtWorst + AppLeast;
    if (left() < needed) {
        limits.reservedDescriptors =
            L > limits.idleConnections + needed ? L - limits.idleConnections - needed : 0;
    }
    limits.webContentTransfers = web;
    limits.documentTransfers = std::clamp(web / 8, std::min(PerHost, web), web);
    limits.newDocumentReserve = web > 1 ? std::clamp<std::size_t>(web / 4, 1, PerHost) : 0;
    const PingScheduler::Limits pings = PingScheduler::limitsFor(web, limits.newDocumentReserve);
    limits.pingTransfers = pings.places;
    limits.pingReserve = pings.reserve;
    limits.appDescriptors = left() > web * AtWorst ? left() - web * AtWorst : 0;
    limits.appTransfers = std::max(PerHost, limits.appDescriptors / AtWorst);
    return limits;
}

bool NetworkEngine::isNetworkThread() const { return std::this_thread::get_id() == impl_->threadId; }

} // namespace platform
