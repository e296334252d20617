#include "platform/web/WebPage.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <limits>
#include <cstring>
#include <list>
#include <mutex>
#include <unordered_set>
#include <unordered_map>
#include <utility>

#include "duk_exec_timeout.h"
#include "duktape.h"
#include "platform/base/Log.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/Timer.h"
#include "platform/web/ResourceLoader.h"
#include "platform/web/ScriptHeapReserve.h"
#include "platform/web/WebPageBindings.h"

namespace platform {

namespace {

// Pages load the same scripts again and again (the SDK's core page on each refresh, the same creative
// scripts in many ads): compiled programs are kept as bytecode keyed by their name and source, so a repeat
// skips the compiler. The bytecode is this process's own compiler output, never bytes from outside.
class ScriptBytecodeCache {
public:
    static constexpr std::size_t kMinSource = 1024;        // small scripts compile faster than a lookup pays
    static constexpr std::size_t kMaxBytes = 8u << 20;     // source and bytecode held, in all

    static ScriptBytecodeCache& shared() {
        static ScriptBytecodeCache* cache = new ScriptBytecodeCache();
        return *cache;
    }

    bool find(const std::string& key, std::vector<unsigned char>& out) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return false;
        entries_.splice(entries_.begin(), entries_, it->second);
        out = it->second->second;
        return true;
    }

    void put(const std::string& key, std::vector<unsigned char> bytecode) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (index_.count(key) != 0) return;
        std::size_t size = key.size() + bytecode.size();
        if (size > kMaxBytes / 4) return;
        entries_.emplace_front(key, std::move(bytecode));
        index_[key] = entries_.begin();
        bytes_ += size;
        while (bytes_ > kMaxBytes && !entries_.empty()) {
            auto& last = entries_.back();
            bytes_ -= last.first.size() + last.second.size();
            index_.erase(last.first);
            entries_.pop_back();
        }
    }

private:
    using Entry = std::pair<std::string, std::vector<unsigned char>>;
    std::mutex mutex_;
    std::list<Entry> entries_;
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
    std::size_t bytes_ = 0;
};

// Leaves the compiled program of `source` on the stack top, from the cache when it has it.
void pushCompiledProgram(duk_context* ctx, const std::string& source, const std::string& name) {
    const bool cacheable = source.size() >= ScriptBytecodeCache::kMinSource;
    std::string key;
    if (cacheable) {
        key.reserve(name.size() + 1 + source.size());
        key.append(name).push_back('\0');
        key.append(source);
        std::vector<unsigned char> bytecode;
        if (ScriptBytecodeCache::shared().find(key, bytecode)) {
            void* buf = duk_push_fixed_buffer(ctx, bytecode.size());
            std::memcpy(buf, bytecode.data(), bytecode.size());
            duk_load_function(ctx);
            return;
        }
    }
    duk_push_string(ctx, name.c_str());
    duk_compile_lstring_filename(ctx, DUK_COMPILE_EVAL, source.data(), source.size());
    if (cacheable) {
        duk_dup_top(ctx);
        duk_dump_function(ctx);
        duk_size_t size = 0;
        auto* data = static_cast<unsigned char*>(duk_get_buffer_data(ctx, -1, &size));
        ScriptBytecodeCache::shared().put(key, std::vector<unsigned char>(data, data + size));
        duk_pop(ctx);
    }
}

// An inline "on..." attribute: the prelude compiles it when its event fires.
bool hasEventHandlerAttribute(const DOMNode& node) {
    for (const auto& [name, value] : node.attributes()) {
        if (name.size() > 2 && name.compare(0, 2, "on") == 0) return true;
    }
    return false;
}

bool isScriptType(const std::string& type) {
    std::string t;
    for (char c : type) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t.empty() || t == "text/javascript" || t == "application/javascript" || t == "text/ecmascript" ||
           t == "application/x-javascript";
}

std::uint32_t be32(const std::string& b, std::size_t i) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(b[i])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[i + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[i + 2])) << 8) |
           static_cast<unsigned char>(b[i + 3]);
}

// Reads the pixel size from a PNG, GIF or JPEG header; nullopt when the bytes are no such image.
std::optional<Size> imageDimensions(const std::string& b) {
    auto u8 = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(b[i])); };
    if (b.size() >= 24 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 && b.compare(12, 4, "IHDR") == 0)
        return Size{static_cast<float>(be32(b, 16)), static_cast<float>(be32(b, 20))};
    if (b.size() >= 10 && (b.compare(0, 6, "GIF87a") == 0 || b.compare(0, 6, "GIF89a") == 0))
        return Size{static_cast<float>(u8(6) | (u8(7) << 8)), static_cast<float>(u8(8) | (u8(9) << 8))};
    if (b.size() >= 4 && u8(0) == 0xFF && u8(1) == 0xD8) {
        std::size_t i = 2;
        while (i + 9 < b.size()) {
            if (u8(i) != 0xFF) return std::nullopt;
            unsigned marker = u8(i + 1);
            std::size_t len = (u8(i + 2) << 8) | u8(i + 3);
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
                return Size{static_cast<float>((u8(i + 7) << 8) | u8(i + 8)),
                            static_cast<float>((u8(i + 5) << 8) | u8(i + 6))};
            if (len < 2) return std::nullopt;
            i += 2 + len;
        }
    }
    return std::nullopt;
}

// What a log line shows of a source or URL a page gave, which may be megabytes: its start, escaped.
std::string shownInLog(std::string_view text) {
    constexpr std::size_t kShown = 200;
    return text.size() > kShown ? escapeLogText(text.substr(0, kShown)) + "..." : escapeLogText(text);
}

std::string formEncode(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '*') out += static_cast<char>(c);
        else if (c == ' ') out += '+';
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

WebPage::WebPage(URL url, std::weak_ptr<WebPageClient> client, Options options)
    : url_(std::move(url)), client_(std::move(client)), options_(options), timeOrigin_(Clock::now()) {}

std::shared_ptr<WebPage> WebPage::create(const std::string& html, URL url, std::weak_ptr<WebPageClient> client,
                                         Options options, Error* error) {
    if (options.origin.isWebContent() && options.origin.document == 0)
        options.origin = TransferOrigin::webContent(TransferOrigin::newId(), options.origin.view);
    std::shared_ptr<WebPage> page(new WebPage(std::move(url), std::move(client), options));
    std::weak_ptr<WebPage> weak = page;
    // Gone with the page: its own teardown gives back whatever the loads still held.
    ResourceLoader::Budget loads{[weak](std::size_t bytes) {
                                      auto p = weak.lock();
                                      return p && p->charge(bytes);
                                  },
                                  [weak](std::size_t bytes) {
                                      if (auto p = weak.lock()) p->discharge(bytes);
                                  }};
    const void* owner = options.owner;
    const TransferOrigin origin = options.origin;
    page->subresources_ = std::make_shared<SubresourceQueue>(
        [weak, owner, origin](const URL& url, ResourceLoader::Completion done, ResourceLoader::Budget loadBudget) {
            auto p = weak.lock();
            if (!p) return std::shared_ptr<ResourceLoader>();
            return ResourceLoader::load(p->subresourceRequest(url), origin, std::move(done),
                                        ResourceLoader::DefaultMaxBytes, owner, std::move(loadBudget));
        },
        loads);
    // The ad's markup is parsed under the page's limits, as its scripts run under them: the parser's memory
    // and the nodes come from its budget, and the work from a script entry's time. Markup that would pass
    // them is not half-loaded (a creative missing its later scripts would count an impression it never
    // showed right): the page keeps an empty document and is stopped as a runaway script is, so its web
    // view fails the load and says why.
    page->document_ = DOMDocument::parse("");
    WebPage* raw = page.get();
    DOMWorkLimit limit = page->loadLimit();
    DOMParseBudget budget{[raw](std::size_t bytes) { return raw->charge(bytes); },
                          [raw](std::size_t bytes) { raw->discharge(bytes); }, [raw] { return raw->roomForDocuments(); },
                          &limit};
    if (auto parsed = DOMDocument::parse(html, &budget)) {
        page->document_ = std::move(parsed);
    } else {
        switch (budget.outcome) {
        case DOMParseBudget::Outcome::OutOfTime: page->stopForLoadTime("loading its markup"); break;
        case DOMParseBudget::Outcome::TooManyNodes:
            page->stopScripts(Error(ScriptContext::ErrorDomain, MarkupLimitCode,
                                    "its markup holds more than " + std::to_string(DOMDocument::MaximumNodes) + " nodes"));
            break;
        default:
            page->stopScripts(Error(ScriptContext::ErrorDomain, MarkupLimitCode,
                                    "its markup would pass its memory budget of " +
                                        std::to_string(options.scriptMemoryLimit) + " bytes"));
            break;
        }
        return page;
    }
    // A document with nothing to run (the blank page a pooled view is cleared to) gets its heap only
    // when something asks for script; the others get it now, so a heap that cannot be made fails the load.
    for (const auto& el : page->document_->elements()) {
        if (options.runScripts && (el->tagName() == "script" || hasEventHandlerAttribute(*el))) {
            page->needsScript_ = true;
            break;
        }
    }
    if (page->needsScript_ && !page->ensureScript(error)) return nullptr;
    return page;
}

bool WebPage::ensureScript(Error* error) {
    if (script_) return true;
    WebPage* raw = this;
    // A heap made ahead has its bindings; it only learns its page. Our own bindings run under the
    // engine's default limit: a page's tight limit is for its scripts, and must not fail the load of a
    // busy machine before any of them ran.
    std::unique_ptr<ScriptContext> script;
    if (options_.scriptMemoryLimit == ScriptContext::DefaultMemoryLimit) script = ScriptHeapReserve::shared().take();
    if (script) {
        if (!script->run([raw](duk_context* ctx) { WebPageBindings::attach(ctx, *raw); }, error)) return false;
    } else {
        script = ScriptContext::create(options_.scriptMemoryLimit, error);
        if (!script) return false;
        if (!script->run([raw](duk_context* ctx) { WebPageBindings::install(ctx, *raw); }, error)) return false;
    }
    script->setTimeLimit(options_.scriptTimeLimit);
    script_ = std::move(script);
    // What the documents and the page's other native work hold leaves the heap that much less of the budget.
    document_->mirrorBytesInto(&script_->budget().externalUsed);
    script_->budget().externalUsed += charged_;
    return true;
}

WebPage::~WebPage() {
    close();
    // The heap may go on another thread: it tells nothing more to this page, and counts nothing of its.
    if (script_) {
        script_->budget().setReleaseHook(nullptr, nullptr, 0);
        script_->budget().externalUsed -= std::min(charged_, script_->budget().externalUsed);
    }
    if (document_) document_->mirrorBytesInto(nullptr);
    // The heap's objects are freed on another thread; from now on it cannot reach this page.
    if (script_ && !script_->isRunning() && WebPageBindings::detach(script_->context()))
        ScriptHeapReserve::shared().retire(std::move(script_));
}

void WebPage::cancelPending() {
    // The network takes what follows as one: nothing freed here starts a load that is about to go.
    NetworkEngine::Batch batch;
    for (auto& [id, entry] : timers_) entry.timer->invalidate();
    timers_.clear();
    if (frameTimer_) frameTimer_->invalidate();
    frameTimer_.reset();
    frameCallbacks_.clear();
    if (layoutTimer_) layoutTimer_->invalidate();
    layoutTimer_.reset();
    if (subresources_) subresources_->cancelAll();
    pendingLoads_.clear();
    refused_.clear();
    refusalReasons_.clear();
    for (const auto& out : outgoing_) discharge(out.charged);
    outgoing_.clear();
    // Loads made for the page end with it (its pings go on); each gives back its charge as its end is told.
    std::vector<std::shared_ptr<URLConnection>> ending;
    for (auto it = loadsForPage_.rbegin(); it != loadsForPage_.rend(); ++it) {
        if (auto connection = it->second.connection.lock()) ending.push_back(std::move(connection));
    }
    loadsForPage_.clear();
    for (const auto& connection : ending)
        connection->abandon(Error("WebKitErrorDomain", 102, "the page that asked for the load has gone"));
}

// Held by a load made for the page while it loads; gives back its place and charge when it goes, on the
// main thread (the load may end on another), and a ping's admission (`ping`; a ping has no place among
// the page's loads, and is charged to the page only while the page lives).
class WebPage::LoadForPageTicket : public URLConnection::Ticket {
public:
    LoadForPageTicket(std::weak_ptr<WebPage> page, std::uint64_t serial, std::size_t charged,
                      PingScheduler::PingId ping = 0)
        : page_(std::move(page)), serial_(serial), charged_(charged), ping_(ping) {}
    ~LoadForPageTicket() override {
        NetworkEngine::shared().releasePing(ping_);
        auto end = [page = page_, serial = serial_, charged = charged_] {
            if (auto p = page.lock()) p->loadForPageEnded(serial, charged);
        };
        if (MainLoop::isMainThread()) {
            end();
        } else {
            MainLoop::main().post(std::move(end));
        }
    }
    bool charge(std::size_t bytes) override {
        if (!MainLoop::isMainThread()) return false;
        auto page = page_.lock();
        if (!page || !page->charge(bytes)) return false;
        charged_ += bytes;
        return true;
    }

private:
    std::weak_ptr<WebPage> page_;
    const std::uint64_t serial_;
    std::size_t charged_;  // main thread; read at the end, once nothing charges any more
    const PingScheduler::PingId ping_;
};

std::shared_ptr<URLConnection> WebPage::pingAfterClose(const URLRequest& request,
                                                       std::weak_ptr<URLConnectionDelegate> delegate,
                                                       const TransferOrigin& origin, Error* error) {
    if (request.url().absoluteString().size() > TransferOrigin::MaximumURLLength) {
        setError(error, Error("WebKitErrorDomain", 102, "the page's ping is refused: its URL is too long"));
        return nullptr;
    }
    if (!origin.isWebContent()) return URLConnection::create(request, std::move(delegate), origin, false);
    const std::size_t bytes = request.url().absoluteString().size() + request.httpBody().size();
    const PingScheduler::PingId ping = NetworkEngine::shared().admitPing(origin, bytes, error);
    if (ping == 0) return nullptr;
    auto connection = URLConnection::create(request, std::move(delegate), origin.ping(ping), false);
    connection->setTicket(std::make_shared<LoadForPageTicket>(std::weak_ptr<WebPage>(), 0, 0, ping));
    return connection;
}

std::shared_ptr<URLConnection> WebPage::connectionForPage(const URLRequest& request,
                                                          std::weak_ptr<URLConnectionDelegate> delegate, Error* error,
                                                          PageLoad kind) {
    auto refuse = [&](const std::string& why) -> std::shared_ptr<URLConnection> {
        // A page can ask without end: the log hears of the first refusals, then of every doubling.
        ++loadsForPageRefused_;
        if ((loadsForPageRefused_ & (loadsForPageRefused_ - 1)) == 0)
            logWarning("web page: a load it asked for is refused (" + std::to_string(loadsForPageRefused_) +
                       " so far): " + why);
        setError(error, Error("WebKitErrorDomain", 102, "the page's load is refused: " + why));
        return nullptr;
    };
    if (closed_) return refuse("the page is closed");
    if (scriptsStopped_) return refuse("the page's scripts are stopped");
    const URL& url = request.url();
    if (url.absoluteString().size() > TransferOrigin::MaximumURLLength) return refuse("its URL is too long");
    const bool ping = kind == PageLoad::Beacon && options_.origin.isWebContent();
    if (!ping && loadsForPage_.size() >= MaximumLoadsForPage) return refuse("the page has too many loads under way");
    // As a subresource load of the URL costs, waiting and then under way: it may start at any moment.
    const std::size_t bytes = SubresourceQueue::waitingBytes(url) + SubresourceQueue::runningBytes(url);
    if (!charge(bytes)) return refuse("it does not fit in the page's memory budget");
    if (ping) {
        const std::size_t quota = url.absoluteString().size() + request.httpBody().size();
        const PingScheduler::PingId id = NetworkEngine::shared().admitPing(options_.origin, quota, error);
        if (id == 0) {
            discharge(bytes);
            return nullptr;
        }
        auto connection = URLConnection::create(request, std::move(delegate), options_.origin.ping(id), false);
        connection->setTicket(std::make_shared<LoadForPageTicket>(weak_from_this(), 0, bytes, id));
        return connection;
    }
    auto connection = URLConnection::create(request, std::move(delegate), options_.origin, false);
    const std::uint64_t serial = nextLoadForPage_++;
    connection->setTicket(std::make_shared<LoadForPageTicket>(weak_from_this(), serial, bytes));
    loadsForPage_.emplace(serial, LoadForPage{connection});
    return connection;
}

void WebPage::loadForPageEnded(std::uint64_t serial, std::size_t charged) {
    loadsForPage_.erase(serial);
    discharge(charged);
}

void WebPage::close() {
    if (closed_) return;
    closed_ = true;
    cancelPending();
}

bool WebPage::refusesScript(Error* error) const {
    if (closed_) setError(error, Error(ScriptContext::ErrorDomain, 4, "the page is closed"));
    else if (scriptsStopped_) setError(error, Error(ScriptContext::ErrorDomain, 7, "the page's scripts are stopped"));
    return closed_ || scriptsStopped_;
}

bool WebPage::enter(const std::function<void(duk_context*)>& body, Error* error) {
    if (refusesScript(error) || !ensureScript(error)) return false;
    const bool outermost = !script_->isRunning();
    bool ok = script_->run(
        [&](duk_context* ctx) {
            // Between entries nothing is half built: a collection due (the heap refused room to the last
            // one, say) runs before the page's script asks for more.
            if (outermost) collectGarbage(ctx);
            body(ctx);
        },
        error);
    if (!script_->isRunning()) {
        entryEnded(true);
        if (!outgoing_.empty()) postDrain();
    }
    return ok;
}

void WebPage::entryEnded(bool pagesOwn) {
    const auto& entry = script_->lastEntry();
    if (entry.overran) {
        stopScripts(Error(ScriptContext::ErrorDomain, ScriptContext::TimeLimitCode,
                          "a script ran past its time limit of " +
                              std::to_string(static_cast<long long>(script_->timeLimit() * 1000)) + " ms"));
        return;
    }
    // What the host runs through evaluate() is the host's own time; it still may not overrun.
    if (pagesOwn) countThreadTime(entry.cpuSeconds);
}

void WebPage::countThreadTime(double cpuSeconds) {
    // Processor time: what the page did, not how long a busy machine made it take.
    double real = busyReal_.add(std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
                                cpuSeconds);
    // Virtual time in tests crowds a long stretch of timers into a moment of real time: the share
    // must be exceeded on the app's clock too (the same clock outside tests).
    double app = busyApp_.add(Clock::now(), cpuSeconds);
    const double most = options_.scriptShare * ScriptBusyMeter::Window;
    if (real > most && app > most)
        stopScripts(Error(ScriptContext::ErrorDomain, ScriptShareCode,
                          "its scripts and their layouts took more than a quarter of the main thread over a second"));
}

std::optional<Size> WebPage::contentSizeForClient() {
    if (closed_ || scriptsStopped_) return std::nullopt;
    DOMWorkLimit limit = loadLimit();
    const auto started = DukHeapBudget::threadProcessorTime();
    const bool made = layoutWithin(&limit) != nullptr;
    const auto took = DukHeapBudget::threadProcessorTime() - started;
    // Until the load is told finished the layout is the load's work, on the meter only (as the parse of
    // its markup is); after it, the work of the page's turns, which share the thread with everything else.
    if (loadTold_) countThreadTime(std::chrono::duration<double>(took).count());
    // Dropped whole: the client keeps the content size it had.
    if (!made) stopForLoadTime("laying out its document");
    if (closed_ || scriptsStopped_) return std::nullopt;
    return contentSize();
}

void WebPage::scheduleLayoutFrame() {
    if (layoutTimer_ || closed_ || scriptsStopped_ || client_.expired()) return;
    std::weak_ptr<WebPage> weak = weak_from_this();
    layoutTimer_ = Timer::scheduledTimer(untilNextFrame(), false, [weak](Timer&) {
        if (auto page = weak.lock()) page->runLayoutFrame();
    });
}

void WebPage::runLayoutFrame() {
    layoutTimer_.reset();
    if (closed_ || scriptsStopped_) return;
    auto self = shared_from_this();  // the client may drop the page
    if (auto client = client_.lock()) client->pageMayHaveChangedLayout(*this);
}

void WebPage::stopScripts(const Error& why) {
    if (scriptsStopped_ || closed_) return;
    scriptsStopped_ = true;
    logWarning("web page " + shownInLog(url_.absoluteString()) + " stopped: " + why.description);
    cancelPending();
    nextParserScript_ = parserScripts_.size();
    waitingForScript_ = false;
    // Told from a task of its own, like everything else the client hears.
    std::weak_ptr<WebPage> weak = weak_from_this();
    MainLoop::main().post([weak, why] {
        auto page = weak.lock();
        if (!page || page->closed_) return;
        if (auto client = page->client_.lock()) client->pageScriptsStopped(*page, why);
    });
}

std::string WebPage::evaluate(const std::string& source, Error* error) {
    std::string out;
    if (refusesScript(error)) return out;
    Error e;
    bool ok = ensureScript(&e) && script_->evaluate(source, "evaluate", &out, &e);
    if (script_ && !script_->isRunning()) {
        entryEnded(false);
        if (!outgoing_.empty()) postDrain();
    }
    if (!ok) {
        logWarning("evaluate failed: " + escapeLogText(e.description));
        setError(error, std::move(e));
        return {};
    }
    return out;
}

DOMWorkLimit WebPage::loadLimit() const {
    using std::chrono::nanoseconds;
    const auto limit = std::chrono::duration_cast<nanoseconds>(std::chrono::duration<double>(options_.scriptTimeLimit));
    const nanoseconds start = DukHeapBudget::threadProcessorTime();
    const auto backstop = DukHeapBudget::Clock::now() + limit * DukHeapBudget::kBackstopFactor;
    return DOMWorkLimit([limit, start, backstop] {
        return DukHeapBudget::threadProcessorTime() - start > limit || DukHeapBudget::Clock::now() > backstop;
    });
}

void WebPage::stopForLoadTime(const std::string& what) {
    stopScripts(Error(ScriptContext::ErrorDomain, ScriptContext::TimeLimitCode,
                      what + " took longer than the time limit of " +
                          std::to_string(static_cast<long long>(options_.scriptTimeLimit * 1000)) + " ms"));
}

void WebPage::start() {
    if (started_ || closed_) return;
    started_ = true;
    if (scriptsStopped_) return;  // its markup was refused
    auto self = shared_from_this();  // the client may drop us from a callback below
    // Each element may start a load: the meter is read every few dozen of them.
    DOMWorkLimit limit = loadLimit();
    for (const auto& el : document_->elements()) {
        if (!limit.step(DOMWorkLimit::CheckInterval / 64)) {
            stopForLoadTime("starting its elements");
            return;
        }
        const std::string& tag = el->tagName();
        if (tag == "script" && options_.runScripts) {
            parserScripts_.push_back(el->id());
            startedScripts_.insert(el->id());
        } else if (tag == "img" && el->hasAttribute("src")) {
            loadImage(el->id(), el->attribute("src"));
        } else if (tag == "iframe" && el->hasAttribute("src")) {
            queueNavigation(el->attribute("src"), WebViewNavigationType::Other, el->id());
        }
    }
    continueParsing();
}

void WebPage::continueParsing() {
    while (!closed_ && !waitingForScript_ && nextParserScript_ < parserScripts_.size()) {
        auto node = document_->nodeById(parserScripts_[nextParserScript_++]);
        if (!node || !isScriptType(node->attribute("type"))) continue;
        if (node->hasAttribute("src")) {
            loadScript(node->id(), true);
            if (waitingForScript_) return;
        } else {
            runInlineScript(node);
        }
    }
    if (!closed_ && !waitingForScript_ && readyState_ == ReadyState::Loading) contentLoaded();
}

void WebPage::runInlineScript(const std::shared_ptr<DOMNode>& node) {
    runScriptText(node->textContent(), url_.absoluteString(), node->id());
}

void WebPage::runScriptText(const std::string& source, const std::string& name, unsigned scriptNode) {
    unsigned previous = currentScript_;
    currentScript_ = scriptNode;
    Error error;
    if (!enter(
            [&](duk_context* ctx) {
                pushCompiledProgram(ctx, source, name);
                duk_call(ctx, 0);
            },
            &error))
        logWarning("script in " + shownInLog(url_.absoluteString()) + " failed: " + escapeLogText(error.description));
    currentScript_ = previous;
}

void WebPage::loadScript(unsigned nodeId, bool blocking) {
    auto node = document_->nodeById(nodeId);
    if (!node) return;
    const std::string& src = node->attribute("src");
    if (blocking) waitingForScript_ = true;
    queueLoad(nodeId, LoadKind::Script, blocking, resolve(src), src);
}

void WebPage::loadImage(unsigned nodeId, const std::string& src) {
    // A node already let go of has nothing to load and nobody to tell.
    if (closed_ || !document_->nodeById(nodeId)) return;
    images_[nodeId] = ImageInfo{};
    ++documentGeneration_;  // the picture it had no longer sizes it
    // A newer source replaces a load under way or waiting; the load event waits for the new one instead.
    const bool replacedBlocking = dropLoad(nodeId);
    const bool blocking = !loadFired_;
    if (blocking) ++loadBlockers_;
    if (replacedBlocking) --loadBlockers_;
    queueLoad(nodeId, LoadKind::Image, blocking, resolve(src), src);
}

void WebPage::queueLoad(unsigned node, LoadKind kind, bool blocking, const std::optional<URL>& url,
                        const std::string& src) {
    if (closed_) return;
    const std::uint64_t serial = nextLoadSerial_++;
    std::string why = "its source is no URL";
    SubresourceQueue::Ticket ticket = 0;
    if (url) {
        std::weak_ptr<WebPage> weak = weak_from_this();
        ticket = subresources_->add(
            *url,
            [weak, node, serial](const URL& loaded, const ResourceLoader::Result& result) {
                auto page = weak.lock();
                if (page && !page->closed_) page->loadEnded(node, serial, &loaded, result);
            },
            &why);
    }
    pendingLoads_[node] = PendingLoad{kind, serial, ticket, blocking};
    if (ticket == 0) refuseLoad(node, serial, why, src);
}

void WebPage::refuseLoad(unsigned node, std::uint64_t serial, const std::string& why, const std::string& src) {
    if (refused_.empty()) {
        std::weak_ptr<WebPage> weak = weak_from_this();
        MainLoop::main().post([weak] {
            if (auto page = weak.lock()) page->fireRefusals();
        });
    }
    refused_.emplace_back(node, serial);
    // One line per reason for each batch; the first source refused for it names the batch.
    if (refusalReasons_[why]++ == 0) {
        logWarning("web page " + shownInLog(url_.absoluteString()) + " refused the load of " + shownInLog(src) + ": " + why);
    }
}

void WebPage::fireRefusals() {
    auto refused = std::exchange(refused_, {});
    auto reasons = std::exchange(refusalReasons_, {});
    for (const auto& [why, count] : reasons)
        if (count > 1)
            logWarning("web page " + shownInLog(url_.absoluteString()) + " refused " + std::to_string(count) + " loads: " + why);
    auto self = shared_from_this();
    ResourceLoader::Result failed;
    failed.error = Error("WebKitErrorDomain", 102, "the load was refused");
    for (const auto& [node, serial] : refused) {
        if (closed_) return;
        loadEnded(node, serial, nullptr, failed);
    }
}

void WebPage::loadEnded(unsigned nodeId, std::uint64_t serial, const URL* url, const ResourceLoader::Result& r) {
    auto found = pendingLoads_.find(nodeId);
    if (found == pendingLoads_.end() || found->second.serial != serial) return;
    const PendingLoad load = found->second;
    // Let go of before its event (a listener may start a new load of the node; script holds the element
    // while its event is dispatched), but a script's only once it ran: collections may come meanwhile.
    if (load.kind != LoadKind::Script) pendingLoads_.erase(found);
    auto self = shared_from_this();  // listeners may drop the page
    switch (load.kind) {
    case LoadKind::Image:
        imageLoaded(nodeId, r);
        if (closed_) return;
        if (load.blocking) {
            --loadBlockers_;
            maybeFireLoad();
        }
        break;
    case LoadKind::Script:
        if (r.ok && url != nullptr) runScriptText(r.body, url->absoluteString(), nodeId);
        if (auto again = pendingLoads_.find(nodeId); again != pendingLoads_.end() && again->second.serial == serial)
            pendingLoads_.erase(again);
        if (closed_) return;
        if (r.ok && url != nullptr) {
            fireEvent(nodeId, "load", false);
        } else {
            if (url != nullptr)
                logWarning("script " + escapeLogText(url->absoluteString()) + " failed to load: " +
                           escapeLogText(r.error.description));
            fireEvent(nodeId, "error", false);
        }
        if (load.blocking && !closed_) {
            waitingForScript_ = false;
            continueParsing();
        }
        break;
    case LoadKind::Frame:
        fireEvent(nodeId, r.ok ? "load" : "error", false);
        break;
    }
}

bool WebPage::dropLoad(unsigned node) {
    auto it = pendingLoads_.find(node);
    if (it == pendingLoads_.end()) return false;
    const bool blocking = it->second.blocking && it->second.kind == LoadKind::Image;
    // A refused one's event, still to come, is skipped.
    if (it->second.ticket != 0) subresources_->cancel(it->second.ticket);
    pendingLoads_.erase(it);
    return blocking;
}

void WebPage::imageLoaded(unsigned nodeId, const ResourceLoader::Result& r) {
    // A load of the image's present source: a new source or the image's end drops the load under way.
    auto it = images_.find(nodeId);
    if (it == images_.end()) return;
    if (auto size = r.ok ? imageDimensions(r.body) : std::nullopt) {
        it->second = ImageInfo{true, static_cast<int>(size->width), static_cast<int>(size->height)};
        layoutChanged();
        fireEvent(nodeId, "load", false);
    } else {
        fireEvent(nodeId, "error", false);
    }
}

std::optional<Size> WebPage::imageSize(unsigned node) const {
    auto it = images_.find(node);
    if (it == images_.end() || !it->second.loaded) return std::nullopt;
    return Size{static_cast<float>(it->second.width), static_cast<float>(it->second.height)};
}

void WebPage::contentLoaded() {
    readyState_ = ReadyState::Interactive;
    fireDocumentEvent("DOMContentLoaded");
    maybeFireLoad();
}

void WebPage::maybeFireLoad() {
    if (closed_ || scriptsStopped_ || loadFired_ || readyState_ != ReadyState::Interactive || loadBlockers_ > 0) return;
    loadFired_ = true;
    readyState_ = ReadyState::Complete;
    fireDocumentEvent("readystatechange");
    fireEvent(0, "load", false);
    if (closed_) return;
    outgoing_.push_back(Outgoing{Outgoing::Kind::Finish, URLRequest(), WebViewNavigationType::Other, 0});
    postDrain();
}

void WebPage::fireEvent(unsigned node, const std::string& type, bool bubbles) {
    if (!options_.runScripts) return;
    // Without a heap nothing can listen: no script ran and no element carries a handler attribute.
    if (!script_ && !needsScript_) return;
    // Nothing fires at a node that is gone.
    if (node != 0 && !document_->nodeById(node)) return;
    // The target is held through the collection its entry may begin with: a load that just ended let go
    // of its element, whose event this is.
    const unsigned outer = firing_;
    firing_ = node;
    enter([&](duk_context* ctx) {
        firing_ = outer;
        WebPageBindings::pushHook(ctx, "fire");
        duk_push_uint(ctx, node);
        duk_push_string(ctx, type.c_str());
        duk_push_boolean(ctx, bubbles);
        duk_push_false(ctx);
        duk_call(ctx, 4);
    });
    firing_ = outer;
}

void WebPage::fireDocumentEvent(const std::string& type) {
    fireEvent(document_->root()->id(), type, true);
}

std::optional<URL> WebPage::resolve(const std::string& text) const {
    std::string t;
    // Browsers strip leading and trailing white space from URL attributes.
    std::size_t b = text.find_first_not_of(" \t\r\n\f");
    std::size_t e = text.find_last_not_of(" \t\r\n\f");
    if (b != std::string::npos) t = text.substr(b, e - b + 1);
    if (t.empty()) return std::nullopt;
    if (url_.isValid() && !url_.scheme().empty()) {
        auto r = URL::resolve(t, url_);
        if (r && r->isValid()) return r;
    }
    auto r = URL::parse(t);
    if (r && r->isValid() && !r->scheme().empty()) return r;
    return std::nullopt;
}

std::string WebPage::referrer() const {
    const std::string scheme = url_.scheme();
    if (scheme != "http" && scheme != "https") return {};
    const std::string& text = url_.absoluteString();
    if (text.size() <= MaximumReferrerLength) return text;
    // As browsers do, a longer referrer is cut to its origin (none when that is opaque).
    const std::string origin = url_.origin();
    return origin == "null" ? std::string() : origin + "/";
}

URLRequest WebPage::subresourceRequest(const URL& url) const {
    URLRequest request(url);
    request.setValue(NetworkConfiguration::sharedInstance()->userAgent(), "User-Agent");
    if (std::string referrer = this->referrer(); !referrer.empty()) request.setValue(referrer, "Referer");
    request.setMainDocumentURL(url_);
    return request;
}

bool WebPage::queueNavigation(const std::string& urlText, WebViewNavigationType type, unsigned frameNode,
                              const std::string& method, const std::string& body) {
    if (closed_ || scriptsStopped_) return true;
    auto refuse = [&](const std::string& why) {
        logWarning("web page " + shownInLog(url_.absoluteString()) + " refused a navigation: " + why);
        return false;
    };
    if (urlText.size() > SubresourceQueue::MaximumURLLength) return refuse("its URL is too long");
    auto url = resolve(urlText);
    if (!url) {
        logWarning("navigation to something that is no URL ignored: " + shownInLog(urlText));
        return true;
    }
    // Resolved against a long document URL, a short reference can pass the bound too.
    if (url->absoluteString().size() > SubresourceQueue::MaximumURLLength) return refuse("its URL is too long");
    if (outgoing_.size() >= MaximumQueuedNavigations) return refuse("too many navigations are waiting");
    // The request's URL (held once: the document's is the page's own or the same), its method and body,
    // and the record.
    const std::size_t bytes = sizeof(Outgoing) + 256 + url->absoluteString().size() + method.size() + body.size();
    if (!charge(bytes)) return refuse("it does not fit in the page's memory budget");
    URLRequest request(*url);
    request.setHTTPMethod(method);
    if (!body.empty()) {
        request.setHTTPBody(body);
        request.setValue("application/x-www-form-urlencoded", "Content-Type");
    }
    request.setMainDocumentURL(frameNode != 0 ? url_ : *url);
    outgoing_.push_back(Outgoing{Outgoing::Kind::Navigation, std::move(request), type, frameNode, bytes});
    if (!script_ || !script_->isRunning()) postDrain();
    return true;
}

void WebPage::queueFormSubmission(const std::shared_ptr<DOMNode>& form) {
    std::string fields;
    for (const auto& el : document_->elements(form)) {
        const std::string& tag = el->tagName();
        if (tag != "input" && tag != "textarea" && tag != "select") continue;
        std::string name = el->attribute("name");
        std::string type = el->attribute("type");
        if (name.empty() || type == "submit" || type == "button" || type == "image" || type == "reset") continue;
        if ((type == "checkbox" || type == "radio") && !el->hasAttribute("checked")) continue;
        std::string value = tag == "textarea" ? el->textContent() : el->attribute("value");
        if (!fields.empty()) fields += '&';
        fields += formEncode(name) + "=" + formEncode(value);
    }
    std::string action = form->hasAttribute("action") ? form->attribute("action") : url_.absoluteString();
    std::string method = form->attribute("method");
    for (auto& c : method) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (method == "POST") {
        queueNavigation(action, WebViewNavigationType::FormSubmitted, 0, "POST", fields);
    } else {
        auto hash = action.find('#');
        if (hash != std::string::npos) action.resize(hash);
        auto q = action.find('?');
        if (q != std::string::npos) action.resize(q);
        queueNavigation(action + "?" + fields, WebViewNavigationType::FormSubmitted, 0);
    }
}

void WebPage::postDrain() {
    if (drainPosted_ || closed_) return;
    drainPosted_ = true;
    std::weak_ptr<WebPage> weak = weak_from_this();
    MainLoop::main().post([weak] {
        if (auto page = weak.lock()) page->drain();
    });
}

void WebPage::drain() {
    drainPosted_ = false;
    auto self = shared_from_this();
    // One at a time: the client may close this page (a new document) from any of these calls.
    while (!closed_ && !outgoing_.empty()) {
        Outgoing next = std::move(outgoing_.front());
        outgoing_.pop_front();
        auto client = client_.lock();
        if (!client) {
            discharge(next.charged);
            for (const auto& out : outgoing_) discharge(out.charged);
            outgoing_.clear();
            return;
        }
        if (next.kind == Outgoing::Kind::Finish) {
            client->pageDidFinishLoad(*this);
            loadTold_ = true;
        } else {
            client->pageRequestsNavigation(*this, next.request, next.type, next.frameNode);
        }
        discharge(next.charged);
    }
}

bool WebPage::isConnected(const std::shared_ptr<DOMNode>& node) const {
    return document_->root()->contains(node.get());
}

void WebPage::layoutChanged() {
    ++documentGeneration_;
    // Before the load ends the client reads the size once, at the end. After it, changes wait for the
    // next frame together, as a browser lays out once a frame, however often script changes the document.
    if (closed_ || !loadFired_) return;
    scheduleLayoutFrame();
}

void WebPage::nodesInserted(const std::vector<std::shared_ptr<DOMNode>>& nodes) {
    ++documentGeneration_;
    // Siblings share the walk up to the document, until a script runs (and may move anything).
    std::shared_ptr<DOMNode> knownConnected;
    for (const auto& n : nodes) {
        if (closed_) return;
        auto p = n->parent();
        if (!p || (p != knownConnected && !isConnected(p))) continue;
        knownConnected = p;
        if (insertedIntoDocument(n)) knownConnected.reset();
    }
}

bool WebPage::insertedIntoDocument(const std::shared_ptr<DOMNode>& node) {
    layoutChanged();
    bool ranScript = false;
    std::vector<std::shared_ptr<DOMNode>> all;
    if (node->isElement()) all.push_back(node);
    auto below = document_->elements(node);
    all.insert(all.end(), below.begin(), below.end());
    for (const auto& el : all) {
        // A script that ran may have let go of what came after it in the same markup.
        if (ranScript && document_->nodeById(el->id()) != el) continue;
        if (el->tagName() == "script" && options_.runScripts && !startedScripts_.contains(el->id())) {
            startedScripts_.insert(el->id());
            if (!isScriptType(el->attribute("type"))) continue;
            if (el->hasAttribute("src")) {
                loadScript(el->id(), false);
            } else {
                runInlineScript(el);
                ranScript = true;
            }
        } else if (el->tagName() == "iframe" && el->hasAttribute("src")) {
            queueNavigation(el->attribute("src"), WebViewNavigationType::Other, el->id());
        } else if (el->tagName() == "img" && el->hasAttribute("src") && !images_.contains(el->id())) {
            // Markup inserted by script (innerHTML, document.write) brings its images as parsing does.
            loadImage(el->id(), el->attribute("src"));
        }
    }
    return ranScript;
}

void WebPage::attributeChanged(const std::shared_ptr<DOMNode>& node, const std::string& name) {
    if (closed_) return;
    layoutChanged();
    if (name != "src") return;
    if (node->tagName() == "img") loadImage(node->id(), node->attribute("src"));
    else if (node->tagName() == "iframe" && isConnected(node))
        queueNavigation(node->attribute("src"), WebViewNavigationType::Other, node->id());
}

bool WebPage::write(const std::vector<std::shared_ptr<DOMNode>>& nodes) {
    auto script = currentScript_ != 0 ? document_->nodeById(currentScript_) : nullptr;
    auto parent = script ? script->parent() : nullptr;
    std::shared_ptr<DOMNode> before;
    if (parent) {
        const auto& kids = parent->children();
        auto it = std::find(kids.begin(), kids.end(), script);
        if (it != kids.end() && ++it != kids.end()) before = *it;
    } else {
        parent = document_->body();
    }
    if (nodes.empty()) return true;
    if (!parent || !parent->insertChildrenBefore(nodes, before)) return false;
    nodesInserted(nodes);
    return true;
}

int WebPage::addTimer(double seconds, bool repeats) {
    if (closed_ || scriptsStopped_) return 0;
    if (timers_.size() >= MaximumTimers) {
        if (!timerCapLogged_) logWarning("web page " + shownInLog(url_.absoluteString()) + " has too many timers; new ones are refused");
        timerCapLogged_ = true;
        return 0;
    }
    int id = nextTimerId_++;
    std::weak_ptr<WebPage> weak = weak_from_this();
    // Repeating timers are clamped so a zero interval cannot starve the main loop.
    double interval = repeats ? std::max(seconds, 0.004) : seconds;
    timers_[id] = TimerEntry{Timer::scheduledTimer(interval, repeats, [weak, id](Timer&) {
                                 if (auto page = weak.lock()) page->fireTimer(id);
                             }),
                             repeats};
    return id;
}

void WebPage::clearTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.timer->invalidate();
    timers_.erase(it);
}

void WebPage::fireTimer(int id) {
    auto it = timers_.find(id);
    if (closed_ || scriptsStopped_ || it == timers_.end()) return;
    bool oneShot = !it->second.repeats;
    if (oneShot) timers_.erase(it);
    auto self = shared_from_this();
    enter([&](duk_context* ctx) {
        WebPageBindings::pushHook(ctx, "timer");
        duk_push_int(ctx, id);
        duk_push_boolean(ctx, !oneShot);
        duk_call(ctx, 2);
    });
}

int WebPage::requestFrame() {
    if (closed_ || scriptsStopped_) return 0;
    if (frameCallbacks_.size() >= MaximumFrameCallbacks) {
        if (!frameCapLogged_)
            logWarning("web page " + shownInLog(url_.absoluteString()) + " has too many animation frame callbacks; new ones are refused");
        frameCapLogged_ = true;
        return 0;
    }
    if (nextFrameId_ == std::numeric_limits<int>::max()) nextFrameId_ = 1;
    int id = nextFrameId_++;
    frameCallbacks_.push_back(id);
    scheduleFrame();
    return id;
}

void WebPage::setVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    if (visible) {
        scheduleFrame();
    } else if (frameTimer_) {
        // A phone stops the display link of a page nobody sees: nothing wakes the thread for it.
        frameTimer_->invalidate();
        frameTimer_.reset();
    }
}

double WebPage::untilNextFrame() {
    // Frames fall on the display's refreshes: the next multiple of the interval (a reading a rounding
    // error short of one is that one, whose frame has run).
    double now = Clock::now();
    double next = (std::floor(now / FrameInterval + 1e-6) + 1) * FrameInterval;
    return std::max(next - now, 0.0);
}

void WebPage::scheduleFrame() {
    if (frameTimer_ || !visible_ || frameCallbacks_.empty() || closed_ || scriptsStopped_) return;
    std::weak_ptr<WebPage> weak = weak_from_this();
    frameTimer_ = Timer::scheduledTimer(untilNextFrame(), false, [weak](Timer&) {
        if (auto page = weak.lock()) page->runFrame();
    });
}

void WebPage::cancelFrame(int id) {
    std::erase(frameCallbacks_, id);
}

void WebPage::runFrame() {
    frameTimer_.reset();
    if (closed_ || scriptsStopped_ || !visible_ || frameCallbacks_.empty()) return;
    if (seenCheck_ && !seenCheck_()) {
        // Nobody sees it: the callbacks wait, and the thread is woken only to ask again.
        std::weak_ptr<WebPage> weak = weak_from_this();
        frameTimer_ = Timer::scheduledTimer(HiddenCheckInterval, false, [weak](Timer&) {
            if (auto page = weak.lock()) page->runFrame();
        });
        return;
    }
    // Callbacks asked for from inside this frame wait for the next one.
    std::vector<int> due = std::move(frameCallbacks_);
    frameCallbacks_.clear();
    double timestamp = timeSinceOrigin();
    auto self = shared_from_this();
    enter([&](duk_context* ctx) {
        WebPageBindings::pushHook(ctx, "frame");
        duk_push_array(ctx);
        for (std::size_t i = 0; i < due.size(); ++i) {
            duk_push_int(ctx, due[i]);
            duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
        }
        duk_push_number(ctx, timestamp);
        duk_call(ctx, 2);
    });
}

void WebPage::adoptWrapper(void* object, unsigned node) {
    if (object == nullptr || node == 0 || !script_) return;
    if (wrappers_.objectSize() == 0) {
        // Every wrapper is a plain object, of one block size: the heap reports the release of those.
        wrappers_.setObjectSize(DukHeapBudget::sizeOf(object));
        script_->budget().setReleaseHook(&DOMWrapperTable::released, &wrappers_, wrappers_.objectSize());
    }
    // A wrapper of another size would never be reported gone, and the table would hand it out freed.
    assert(DukHeapBudget::sizeOf(object) == wrappers_.objectSize());
    wrappers_.adopt(node, object);
}

void* WebPage::liveWrapper(unsigned node) {
    void* object = wrappers_.find(node);
    if (object != nullptr) wrappers_.setPinned(node, true);
    return object;
}

bool WebPage::wantsCollection() const {
    if (document_->isCrowded()) return true;
    if (!script_) return false;
    const auto& budget = script_->budget();
    if (budget.roomRefusals != refusalsSeen_) return true;
    return roomForDocuments() < budget.memoryLimit / 4 &&
           document_->bytes() >= bytesAfterCollection_ + budget.memoryLimit / 64;
}

void WebPage::collectGarbage(duk_context* ctx, bool force) {
    if (!force && !wantsCollection()) return;
    if (script_) refusalsSeen_ = script_->budget().roomRefusals;
    if (script_ && wrappers_.size() > 0) releaseWrappers(ctx);
    // The element a finger went down on hears the touch's end even if script took it out meanwhile.
    forgetNodes(document_->collect(
        [this](std::uint32_t id) { return wrappers_.holds(id) || pageHolds(id); }));
    bytesAfterCollection_ = document_->bytes();
}

bool WebPage::admitNodes(duk_context* ctx, std::size_t count) {
    if (count <= document_->roomForNodes()) return true;
    collectGarbage(ctx, true);
    return count <= document_->roomForNodes();
}

namespace {
// Sets (or, with `holder` 0, removes) the link of the wrapper on the stack's top to its tree's holder,
// and pops the wrapper. A wrapper script made non-extensible (frozen, sealed) is left as it is: it takes
// no link (and loses nothing it had), and keeps one it has, which only keeps more alive.
void linkWrapper(duk_context* ctx, duk_idx_t holder) {
    if (!ruzave_duk_is_extensible(duk_get_heapptr(ctx, -1))) {
        // as it is
    } else if (holder == 0) {
        duk_del_prop_string(ctx, -1, DUK_HIDDEN_SYMBOL("tree"));
    } else {
        duk_dup(ctx, holder);
        duk_put_prop_string(ctx, -2, DUK_HIDDEN_SYMBOL("tree"));
    }
    duk_pop(ctx);
}
} // namespace

void WebPage::releaseWrappers(duk_context* ctx) {
    // The top of each node's tree, found once per node (a walk up stops at a node already placed).
    std::unordered_map<std::uint32_t, std::uint32_t> topOf;
    auto top = [&](const std::shared_ptr<DOMNode>& start) {
        std::vector<std::uint32_t> path;
        std::shared_ptr<DOMNode> n = start;
        std::uint32_t found = 0;
        for (;;) {
            if (auto it = topOf.find(n->id()); it != topOf.end()) {
                found = it->second;
                break;
            }
            path.push_back(n->id());
            auto p = n->parent();
            if (!p) {
                found = n->id();
                break;
            }
            n = std::move(p);
        }
        for (auto id : path) topOf[id] = found;
        return found;
    };
    // The table forgets a wrapper as its block goes (DOMWrapperTable::released): one it lists is live, a
    // plain object of the watched size, and pushing it is safe.
    auto objectOf = [&](std::uint32_t id) {
        void* object = wrappers_.find(id);
        assert(object != nullptr && DukHeapBudget::sizeOf(object) == wrappers_.objectSize());
        return object;
    };
    auto pushObject = [&](std::uint32_t id) {
        duk_push_heapptr(ctx, objectOf(id));
        assert(duk_is_object(ctx, -1));
    };
    auto unlink = [&](std::uint32_t id) {
        if (!wrappers_.isLinked(id)) return;
        pushObject(id);
        linkWrapper(ctx, 0);
        wrappers_.setLinked(id, false);
    };
    const std::uint32_t rootId = document_->root()->id();
    std::vector<std::uint32_t> outside;
    // Wrappers out of the document by tree, and the trees where script stored something on one of them
    // (more than its id and link: listeners, fields).
    std::map<std::uint32_t, std::vector<std::uint32_t>> trees;
    std::unordered_set<std::uint32_t> holding;
    for (std::uint32_t id : wrappers_.nodes()) {
        auto node = document_->nodeById(id);
        if (!node) continue;
        const bool linked = wrappers_.isLinked(id);
        // The element a finger is on keeps its wrapper (and listeners) until the touch ends, and one whose
        // load is pending until its event has fired.
        if (top(node) == rootId || pageHolds(id)) {
            // A wrapper of the document keeps no holder of a tree it was in once.
            unlink(id);
            continue;
        }
        outside.push_back(id);
        trees[topOf[id]].push_back(id);
        if (ruzave_duk_own_slots(objectOf(id)) > (linked ? 2u : 1u)) holding.insert(topOf[id]);
    }
    // The wrappers of a tree where something was stored hold each other (through a list they share), so
    // that script holding any of them keeps them all, with what it stored on each, as it keeps the nodes.
    // In a tree where nothing was stored no wrapper needs keeping: one made anew when script meets its
    // node again is the same to script.
    for (const auto& [treeTop, ids] : trees) {
        if (ids.size() < 2 || !holding.contains(treeTop)) {
            for (std::uint32_t id : ids) unlink(id);
            continue;
        }
        duk_push_array(ctx);
        const duk_idx_t holder = duk_get_top_index(ctx);
        duk_uarridx_t k = 0;
        for (std::uint32_t id : ids) {
            pushObject(id);
            duk_dup_top(ctx);
            duk_put_prop_index(ctx, holder, k++);
            linkWrapper(ctx, holder);
            wrappers_.setLinked(id, true);
        }
        duk_pop(ctx);
    }
    // Their pins go for one full collection: those nobody holds go with it, the others are pinned again
    // until the next one (so that a wrapper never lives on its tree's holder alone between collections,
    // when its node may have moved to another tree).
    assert(scriptObjects_.pins != nullptr);
    duk_push_heapptr(ctx, scriptObjects_.pins);
    for (std::uint32_t id : outside) {
        if (!wrappers_.isPinned(id)) continue;
        wrappers_.setPinned(id, false);
        duk_del_prop_index(ctx, -1, id);  // the wrapper may go right here, if this was its last holder
    }
    if (wrappers_.unpinnedCount() > 0) {
        // Wrappers that hold each other only (a tree's, or a listener's closure over its element) go at a
        // full collection; the others went as their pins did.
        duk_gc(ctx, 0);
        for (std::uint32_t id : wrappers_.nodes()) {
            if (wrappers_.isPinned(id)) continue;
            pushObject(id);
            duk_put_prop_index(ctx, -2, id);
            wrappers_.setPinned(id, true);
        }
    }
    assert(wrappers_.unpinnedCount() == 0);
    duk_pop(ctx);
}

void WebPage::forgetNodes(const std::vector<std::uint32_t>& nodes) {
    bool blockersChanged = false;
    for (std::uint32_t id : nodes) {
        images_.erase(id);
        if (dropLoad(id)) {
            --loadBlockers_;
            blockersChanged = true;
        }
        startedScripts_.erase(id);
    }
    if (!blockersChanged) return;
    // Not from inside the engine: the load event is a task of its own.
    std::weak_ptr<WebPage> weak = weak_from_this();
    MainLoop::main().post([weak] {
        if (auto page = weak.lock()) page->maybeFireLoad();
    });
}

std::size_t WebPage::roomForDocuments() const {
    if (!script_) {
        const std::size_t used = document_->bytes() + charged_;
        return used >= options_.scriptMemoryLimit ? 0 : options_.scriptMemoryLimit - used;
    }
    const auto& b = script_->budget();
    const std::size_t used = b.memoryUsed + b.externalUsed;
    return used >= b.memoryLimit ? 0 : b.memoryLimit - used;
}

bool WebPage::charge(std::size_t bytes, duk_context* ctx) {
    if (bytes == 0) return true;
    if (bytes > roomForDocuments()) {
        if (ctx == nullptr || !script_) return false;
        makeRoom(ctx);
        if (bytes > roomForDocuments()) return false;
    }
    charged_ += bytes;
    if (script_) script_->budget().externalUsed += bytes;
    return true;
}

void WebPage::discharge(std::size_t bytes) {
    bytes = std::min(bytes, charged_);
    charged_ -= bytes;
    if (script_) script_->budget().externalUsed -= bytes;
}

void WebPage::makeRoom(duk_context* ctx) {
    collectGarbage(ctx, true);
    duk_gc(ctx, 0);
}

bool WebPage::admitBytes(duk_context* ctx, std::size_t bytes) {
    if (!script_ || script_->budget().hasRoomFor(bytes)) return true;
    // What nobody holds any more may make the room.
    makeRoom(ctx);
    return script_->budget().hasRoomFor(bytes);
}

double WebPage::timeSinceOrigin() const {
    return (Clock::now() - timeOrigin_) * 1000;
}

bool WebPage::touch(TouchKind kind, Point clientPoint, Point scroll) {
    if (closed_ || scriptsStopped_) return true;
    if (kind == TouchKind::Start) {
        auto el = elementAt(Point{clientPoint.x + scroll.x, clientPoint.y + scroll.y});
        touchTarget_ = el ? el->id() : 0;
    }
    unsigned target = touchTarget_;
    if (kind == TouchKind::End || kind == TouchKind::Cancel) touchTarget_ = 0;
    auto node = target != 0 ? document_->nodeById(target) : nullptr;
    // Without a heap nothing can listen (as for fireEvent).
    if (!node || !options_.runScripts || (!script_ && !needsScript_)) return true;
    static const char* const names[] = {"touchstart", "touchmove", "touchend", "touchcancel"};
    bool proceed = true;
    auto self = shared_from_this();
    enter([&](duk_context* ctx) {
        WebPageBindings::pushHook(ctx, "touch");
        duk_push_string(ctx, names[static_cast<int>(kind)]);
        duk_push_uint(ctx, target);
        duk_push_number(ctx, clientPoint.x);
        duk_push_number(ctx, clientPoint.y);
        duk_push_number(ctx, clientPoint.x + scroll.x);
        duk_push_number(ctx, clientPoint.y + scroll.y);
        duk_call(ctx, 6);
        proceed = duk_to_boolean(ctx, -1);
        duk_pop(ctx);
    });
    return proceed;
}

bool WebPage::clickAt(Point clientPoint, Point scroll) {
    if (closed_) return false;
    auto el = elementAt(Point{clientPoint.x + scroll.x, clientPoint.y + scroll.y});
    if (!el) return false;
    auto self = shared_from_this();
    return enter([&](duk_context* ctx) {
        WebPageBindings::pushHook(ctx, "clickAt");
        duk_push_uint(ctx, el->id());
        duk_push_number(ctx, clientPoint.x);
        duk_push_number(ctx, clientPoint.y);
        duk_push_number(ctx, clientPoint.x + scroll.x);
        duk_push_number(ctx, clientPoint.y + scroll.y);
        duk_call(ctx, 5);
    });
}

void WebPage::loadFrame(unsigned frameNode, const URLRequest& request) {
    if (closed_ || !document_->nodeById(frameNode)) return;
    dropLoad(frameNode);
    queueLoad(frameNode, LoadKind::Frame, false, request.url(), request.url().absoluteString());
}

bool WebPage::click(const std::string& selector) {
    auto el = document_->querySelector(selector);
    if (!el || closed_) return false;
    return enter([&](duk_context* ctx) {
        WebPageBindings::pushHook(ctx, "click");
        duk_push_uint(ctx, el->id());
        duk_call(ctx, 1);
    });
}

bool WebPage::submitForm(const std::string& selector) {
    auto el = document_->querySelector(selector);
    if (!el || el->tagName() != "form" || closed_) return false;
    return enter([&](duk_context* ctx) {
        WebPageBindings::pushHook(ctx, "submit");
        duk_push_uint(ctx, el->id());
        duk_call(ctx, 1);
    });
}

} // namespace platform
