#pragma once
// One loaded document with its own script heap: parses the HTML, runs its scripts in order (src ones
// loaded as subresources), fires DOMContentLoaded and load, runs timers on the main loop, and queues
// what scripts ask for (navigations, the end of the load) to hand to its client after the script
// returns. Closing it (or dropping it) stops every timer and load; nothing calls back afterwards.
// Main thread only.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <set>
#include <unordered_map>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/net/TransferOrigin.h"
#include "platform/ui/Geometry.h"
#include "platform/web/DOMDocument.h"
#include "platform/web/DOMWrapperTable.h"
#include "platform/web/PageLoad.h"
#include "platform/web/ScriptBusyMeter.h"
#include "platform/web/ResourceLoader.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/SubresourceQueue.h"
#include "platform/web/WebPageClient.h"

namespace platform {

class Bitmap;
class Color;
class ResourceLoader;
class Timer;
class URLConnection;
class URLConnectionDelegate;

class WebPage : public std::enable_shared_from_this<WebPage> {
public:
    struct Options {
        double scriptTimeLimit = ScriptContext::DefaultTimeLimit;
        std::size_t scriptMemoryLimit = ScriptContext::DefaultMemoryLimit;
        // The share of the main thread the page's scripts may take over any second (see
        // MaximumScriptShare); tests of heavy pages in slow builds raise it.
        double scriptShare = 0.25;
        Size viewport{320, 480};
        float devicePixelRatio = 2;
        bool runScripts = true;
        // Who the page's subresource loads are for (its web view); lets tests aim injected failures.
        const void* owner = nullptr;
        // The side of the network its loads go on: web content (page 0: a page of its own, given an id
        // at creation), or the app's for a page the app itself runs.
        TransferOrigin origin = TransferOrigin::webContent(0);
    };
    enum class ReadyState { Loading, Interactive, Complete };

    // nullptr (and `error`) when the script heap cannot be made.
    static std::shared_ptr<WebPage> create(const std::string& html, URL url, std::weak_ptr<WebPageClient> client,
                                           Options options, Error* error = nullptr);
    ~WebPage();
    WebPage(const WebPage&) = delete;
    WebPage& operator=(const WebPage&) = delete;

    // The share of the main thread a page's own scripts (timers, events, its documents' scripts) and the
    // layouts its client reads after them may take over any second, and the most timers it may have pending.
    static constexpr double MaximumScriptShare = 0.25;
    static constexpr std::size_t MaximumTimers = 1000;
    // Animation frames come at the display's rate (phones refresh at 60 Hz); at most this many
    // callbacks wait for the next one.
    static constexpr double FrameInterval = 1.0 / 60;
    static constexpr std::size_t MaximumFrameCallbacks = 1000;
    // Navigations waiting for the client (each is delivered: pages send messages as navigations); past
    // this many, or past the page's budget, more are refused.
    static constexpr std::size_t MaximumQueuedNavigations = 1000;
    // A page's loads name it as their referrer up to this length, and by its origin past it, as browsers
    // do: a long document URL is not copied into every request it makes.
    static constexpr std::size_t MaximumReferrerLength = 4096;
    // The error code (in ScriptContext's domain) of a page stopped for taking too much of the thread.
    static constexpr int ScriptShareCode = 6;
    // The error code (in ScriptContext's domain) of a page stopped at load because its markup would pass
    // its memory budget or the node cap. Markup that takes longer than a script entry may is stopped as a
    // script at its time limit is (ScriptContext::TimeLimitCode).
    static constexpr int MarkupLimitCode = 8;

    // Runs the document's scripts and fires its events; the client hears pageDidFinishLoad once done.
    void start();
    // Stops timers and loads and silences the client. Idempotent.
    void close();
    bool isClosed() const { return closed_; }
    // A page whose script (or a layout its client reads) ran past its time limit, or whose scripts and
    // those layouts took more than their share of the main thread, is stopped: no timer, event, script
    // or evaluate() runs in it again and it delivers nothing more; the client hears pageScriptsStopped
    // (the page still paints).
    bool scriptsStopped() const { return scriptsStopped_; }

    const URL& url() const { return url_; }
    ReadyState readyState() const { return readyState_; }
    DOMDocument& document() { return *document_; }
    // The page's heap, made now when it was not needed so far; nullptr when it cannot be made.
    ScriptContext* script() { return ensureScript() ? script_.get() : nullptr; }
    bool hasScriptHeap() const { return script_ != nullptr; }

    // evaluate() for the web view: the completion value printed, "" for undefined, null and errors.
    std::string evaluate(const std::string& source, Error* error = nullptr);

    // An iframe the client allowed: loads its document as a subresource (no script), then fires its load
    // (a later one for the same frame replaces it).
    void loadFrame(unsigned frameNode, const URLRequest& request);

    // Test hooks: a click on the first element matching `selector` (link clicks navigate), and the
    // submission of a form (its fields encoded into the action URL or body).
    bool click(const std::string& selector);
    bool submitForm(const std::string& selector);

    // A finger on the page, at `clientPoint` in the viewport (`scroll`: how far the page is scrolled):
    // touchstart, touchmove, touchend or touchcancel at the element under the finger where it went down.
    // False when script cancelled the event (a cancelled touchstart or touchend means no click follows).
    enum class TouchKind { Start, Move, End, Cancel };
    bool touch(TouchKind kind, Point clientPoint, Point scroll = {0, 0});
    // The click a tap ends with, at the element under `clientPoint` (a link navigates as a user's click).
    bool clickAt(Point clientPoint, Point scroll = {0, 0});
    // The element whose box (or line of text) is topmost at `pagePoint` in the paint model; the body
    // when none is.
    std::shared_ptr<DOMNode> elementAt(Point pagePoint) const;

    // Paint model: body background, then every element box with a background colour, an image, or
    // text, in document order.
    void render(Bitmap& bitmap) const;
    // The same model through any painter: `fill` receives each box in page coordinates; `area` is
    // what the body background covers.
    using Fill = std::function<void(const Rect&, const Color&)>;
    void paint(const Fill& fill, const Rect& area) const;
    Size contentSize() const;
    // The content size as the client reads it after the page's load and turns (pageDidFinishLoad,
    // pageMayHaveChangedLayout): the layout behind it is the page's own work, on its time meter (one that
    // passes it stops the page as a runaway script is) and, once the load was told finished, counted in
    // its share of the main thread. nullopt when the page is stopped (by this or before).
    std::optional<Size> contentSizeForClient();
    // The box the paint model gives an element, in page coordinates; nullopt for one it does not draw
    // (out of the document, not displayed, or inside such an element). The layout behind it is made
    // once for each state of the document. A page's script asks with its entry's `limit`: a layout that
    // stops on it is dropped whole (nullopt, the limit stopped) and made again at the next ask.
    std::optional<Rect> boxOf(const DOMNode& element, DOMWorkLimit* limit = nullptr) const;

    std::size_t pendingTimerCount() const { return timers_.size(); }
    std::size_t pendingFrameCallbackCount() const { return frameCallbacks_.size(); }

    // Whether anyone can see the page (its view is in a window and the app in the foreground). A page
    // nobody sees gets no animation frames: its callbacks wait for the first frame once it is seen
    // again. Timers run either way. Pages start seen.
    void setVisible(bool visible);
    bool isVisible() const { return visible_; }
    // Whether the page's view can be seen at this moment, asked when a frame is due: a view (or one
    // holding it) hidden or made transparent tells nobody. While it answers no, no frame runs and it is
    // asked again every HiddenCheckInterval.
    void setSeenCheck(std::function<bool()> check) { seenCheck_ = std::move(check); }
    static constexpr double HiddenCheckInterval = 0.25;

    // --- For the script bindings (WebPageBindings), called from inside the engine.
    // False when refused for the page's bounds (a URL too long, no room in its budget, too many waiting);
    // a text that is no URL is ignored with a warning.
    bool queueNavigation(const std::string& urlText, WebViewNavigationType type, unsigned frameNode,
                         const std::string& method = "GET", const std::string& body = {});
    // Siblings inserted together (or one node).
    void nodesInserted(const std::vector<std::shared_ptr<DOMNode>>& nodes);
    // The document changed in a way that may move its boxes: the layout is made again when next
    // needed, and after the load the client hears of it at the next frame. Every change to the document
    // goes through here or nodesInserted.
    void layoutChanged();
    void attributeChanged(const std::shared_ptr<DOMNode>& node, const std::string& name);
    // setTimeout/setInterval and requestAnimationFrame: 0 when refused (past the cap, or the page is
    // closed or stopped), which the bindings throw as the page's RangeError.
    int addTimer(double seconds, bool repeats);
    void clearTimer(int id);
    void fireTimer(int id);
    int requestFrame();
    void cancelFrame(int id);
    // performance.now(): milliseconds on the app's clock since the page was made.
    double timeSinceOrigin() const;
    std::optional<URL> resolve(const std::string& text) const;
    URLRequest subresourceRequest(const URL& url) const;
    // What its loads send as "Referer": "" for a document not from the web.
    std::string referrer() const;
    void loadScript(unsigned node, bool blocking);
    void runInlineScript(const std::shared_ptr<DOMNode>& node);
    // Subresource loads go through one queue (see SubresourceQueue). An element whose load is queued or
    // under way lives (its node and its wrapper) until the load has ended and its load or error event has
    // fired, whatever script let go of meanwhile; a load refused gets its error event (from a task of its
    // own, as every load's end) and a warning in the log.
    void loadImage(unsigned node, const std::string& src);
    // Loads waiting or under way, and refused ones whose error event is still to come.
    std::size_t pendingLoadCount() const { return pendingLoads_.size(); }
    std::size_t queuedNavigationCount() const { return outgoing_.size(); }

    // Loads the app makes because this page asked for them (a tracking ping, a precache, a picture to
    // store) are the document's web content: they go under its id, count among its at most
    // MaximumLoadsForPage such loads at once and against its budget (their URL and what loading it
    // copies, and what their owner keeps of them: URLConnection::charge), and are refused past either or
    // for a URL longer than web content loads. They end with the page: when it closes or stops, any still
    // loading fails (its delegate hears so from a later task). The connection comes back not started (its
    // owner may set a delegate queue, then starts it); nullptr, with the reason in `error`, when refused.
    // A ping the page sent (PageLoad::Beacon) is admitted once, here, by its ad's and the process's quotas
    // of pings (NetworkEngine::admitPing), not among the MaximumLoadsForPage; it goes beside the page's
    // loads, never behind them, ends at its final head, and outlives the close as a browser's keepalive
    // request does, holding the page's charge while the page lives.
    static constexpr std::size_t MaximumLoadsForPage = 64;
    std::shared_ptr<URLConnection> connectionForPage(const URLRequest& request,
                                                     std::weak_ptr<URLConnectionDelegate> delegate,
                                                     Error* error = nullptr, PageLoad kind = PageLoad::EndsWithPage);
    // A ping of a document that has closed (a purchase it offered, reported late): admitted as its pings
    // are, for `origin` (the document's), with nothing charged to the page. Not started; nullptr, with the
    // reason in `error`, when refused.
    static std::shared_ptr<URLConnection> pingAfterClose(const URLRequest& request,
                                                         std::weak_ptr<URLConnectionDelegate> delegate,
                                                         const TransferOrigin& origin, Error* error = nullptr);
    std::size_t loadsForPageCount() const { return loadsForPage_.size(); }
    // Image elements the page keeps a source and size for.
    std::size_t imageCount() const { return images_.size(); }

    // Script's objects for the document's nodes (see DOMWrapperTable): a new wrapper, and the live one
    // of a node (pinned again), or null.
    void adoptWrapper(void* object, unsigned node);
    void* liveWrapper(unsigned node);
    // Lets go of the nodes nobody can reach any more, if enough were made since the last time (or now,
    // when `force`d): the wrappers of nodes out of the document stay only while script holds them (or a
    // wrapper of a node of their tree), and nodes out of the document stay only while one of their
    // tree's wrappers does. Inside an engine entry, between edits. Between collections every live
    // wrapper is pinned.
    void collectGarbage(duk_context* ctx, bool force = false);
    // Whether `count` more nodes may be made in the page's documents, after a collection if the cap is
    // reached (inside an engine entry, between edits).
    bool admitNodes(duk_context* ctx, std::size_t count);
    // The page's memory budget (Options::scriptMemoryLimit) is shared by its script heap, its documents
    // and every other native byte it causes; a page without a heap gives the others all of it.
    // Whether the page's documents may grow by `bytes` within it, after a collection if need be.
    bool admitBytes(duk_context* ctx, std::size_t bytes);
    // A forced collection of the documents and of the heap.
    void makeRoom(duk_context* ctx);
    // What the documents (or anything else the page causes) may still take of the budget.
    std::size_t roomForDocuments() const;
    // Native bytes the page holds besides its heap and documents (parse trees, serializations, pending
    // loads and navigations), counted against the budget while held. charge() admits first: false, and
    // nothing charged, when `bytes` would not fit (after a forced collection when `ctx`, an entry of the
    // page's heap, is given). discharge() gives back what a charge took, once what it counted is freed.
    bool charge(std::size_t bytes, duk_context* ctx = nullptr);
    void discharge(std::size_t bytes);
    std::size_t chargedBytes() const { return charged_; }
    // A charge held for one scope (a serialization being built, a parse under way); ok() says whether it
    // was admitted. The page must outlive it.
    class ScopedCharge {
    public:
        ScopedCharge(WebPage& page, std::size_t bytes, duk_context* ctx = nullptr)
            : page_(page), bytes_(page.charge(bytes, ctx) ? bytes : 0), ok_(bytes_ == bytes || bytes == 0) {}
        ~ScopedCharge() { page_.discharge(bytes_); }
        ScopedCharge(const ScopedCharge&) = delete;
        ScopedCharge& operator=(const ScopedCharge&) = delete;
        bool ok() const { return ok_; }

    private:
        WebPage& page_;
        std::size_t bytes_;
        bool ok_;
    };
    std::size_t liveWrapperCount() const { return wrappers_.size(); }
    // Objects of the bindings' script that live as long as the heap (held from its stash, so their heap
    // pointers stay good): the pin table, the document object and the wrappers' prototypes. Read once,
    // when the heap learns its page.
    struct ScriptObjects {
        void* pins = nullptr;
        void* document = nullptr;
        void* elementPrototype = nullptr;
        void* textPrototype = nullptr;
        void* fragmentPrototype = nullptr;
        void* documentPrototype = nullptr;
    };
    const ScriptObjects& scriptObjects() const { return scriptObjects_; }
    void setScriptObjects(const ScriptObjects& objects) { scriptObjects_ = objects; }
    void queueFormSubmission(const std::shared_ptr<DOMNode>& form);
    // document.write of markup parsed into the document: the nodes go after the running script.
    // False when they cannot go there (no place to write to, or one too deep to take children).
    bool write(const std::vector<std::shared_ptr<DOMNode>>& nodes);
    const Options& options() const { return options_; }
    // Natural size of a loaded image element; nullopt while it is not loaded.
    std::optional<Size> imageSize(unsigned node) const;
    void markScriptStarted(unsigned node) { startedScripts_.insert(node); }
    bool hasScriptStarted(unsigned node) const { return startedScripts_.contains(node); }

private:
    struct Outgoing {
        enum class Kind { Navigation, Finish } kind;
        URLRequest request;
        WebViewNavigationType type = WebViewNavigationType::Other;
        unsigned frameNode = 0;
        std::size_t charged = 0;  // what it holds of the page's budget
    };
    struct ImageInfo {
        bool loaded = false;
        int width = 0;
        int height = 0;
    };
    enum class LoadKind { Image, Script, Frame };
    struct PendingLoad {
        LoadKind kind = LoadKind::Image;
        std::uint64_t serial = 0;         // this load of the node, among those it had
        SubresourceQueue::Ticket ticket = 0;  // 0: refused, its error event to come
        bool blocking = false;  // an image's: holds the page's load event; a script's: holds the parser
    };

    WebPage(URL url, std::weak_ptr<WebPageClient> client, Options options);

    // Script entry with the bookkeeping every entry needs (drain of queued work afterwards).
    bool enter(const std::function<void(duk_context*)>& body, Error* error = nullptr);
    // After an outermost entry: stops the page if it overran, or (for the page's own entries) if the
    // page's scripts have taken more than their share of the thread.
    void entryEnded(bool pagesOwn);
    // Counts `cpuSeconds` of the page's work on the main thread in its share, and stops it past that.
    void countThreadTime(double cpuSeconds);
    // Arms the timer that tells the client of changes to the document at the next frame (at most once a
    // frame, however often it changes), and its work.
    void scheduleLayoutFrame();
    void runLayoutFrame();
    void stopScripts(const Error& why);
    bool refusesScript(Error* error) const;
    // Makes the heap and installs the bindings, once; false (and `error`) when the heap cannot be made.
    bool ensureScript(Error* error = nullptr);
    void installBindings();
    void runScriptText(const std::string& source, const std::string& name, unsigned scriptNode);
    // The meter of the page's own load work (its markup parsed, its elements started): a script entry's
    // time limit, in the thread's processor time, with the entry's wall-clock backstop.
    DOMWorkLimit loadLimit() const;
    // Stops the page whose load (`what` it was doing) passed its time meter, as a runaway script is stopped.
    void stopForLoadTime(const std::string& what);
    void continueParsing();
    void contentLoaded();
    void maybeFireLoad();
    void fireEvent(unsigned node, const std::string& type, bool bubbles);  // node 0: window
    void fireDocumentEvent(const std::string& type);

    bool isConnected(const std::shared_ptr<DOMNode>& node) const;
    // What a node joining the document brings (scripts, frames, images); whether a script ran.
    bool insertedIntoDocument(const std::shared_ptr<DOMNode>& node);
    void postDrain();
    void drain();
    struct Layout;
    struct LayoutState;
    const Layout& layout() const;
    // The layout, made within `limit` when it is not kept already; null when the limit stopped it.
    const Layout* layoutWithin(DOMWorkLimit* limit) const;
    void layoutNode(const DOMNode& node, LayoutState& state, float x, float width, float& cursorY, int depth) const;
    // Seconds from now to the next display refresh.
    static double untilNextFrame();
    // Arms the timer of the next display refresh, when callbacks wait and the page is seen.
    void scheduleFrame();
    void runFrame();
    // Queues the load of `url` for `node` (nullopt: no URL, refused); the node is held until it ends.
    void queueLoad(unsigned node, LoadKind kind, bool blocking, const std::optional<URL>& url, const std::string& src);
    void refuseLoad(unsigned node, std::uint64_t serial, const std::string& why, const std::string& src);
    void fireRefusals();
    // A load ended (or was refused): its node is let go of, then hears its event.
    void loadEnded(unsigned node, std::uint64_t serial, const URL* url, const ResourceLoader::Result& result);
    void imageLoaded(unsigned node, const ResourceLoader::Result& result);
    // Ends the load of `node` under way or waiting; whether it was an image's holding the page's load event.
    bool dropLoad(unsigned node);
    // What the page itself holds through a collection, whatever script holds: the element a finger is on
    // (until the touch ends), the target of an event about to fire (until its entry began), and an element
    // whose load is pending or whose refusal is still to be told (until its event has fired).
    bool pageHolds(std::uint32_t node) const {
        return node == touchTarget_ || node == firing_ || pendingLoads_.contains(node);
    }
    // Whether a collection is due: enough was made since the last, the heap was refused room since, or
    // the budget runs short while the documents grew.
    bool wantsCollection() const;
    // What the page kept about nodes that are gone.
    void forgetNodes(const std::vector<std::uint32_t>& nodes);
    // The wrappers' part of a collection: pins of wrappers out of the document go for one full collection
    // of the heap.
    void releaseWrappers(duk_context* ctx);
    // Ends what would call back into the page: timers, animation frames, loads and outgoing messages.
    void cancelPending();
    class LoadForPageTicket;
    // A load made for the page has ended: its place and what it was charged come back.
    void loadForPageEnded(std::uint64_t serial, std::size_t charged);

    URL url_;
    std::weak_ptr<WebPageClient> client_;
    Options options_;
    std::shared_ptr<DOMDocument> document_;
    std::unique_ptr<ScriptContext> script_;  // made on first need (see create)
    bool needsScript_ = false;
    ReadyState readyState_ = ReadyState::Loading;
    bool closed_ = false;
    bool scriptsStopped_ = false;
    ScriptBusyMeter busyReal_;  // on the steady clock
    ScriptBusyMeter busyApp_;   // on the app's clock (virtual in tests)
    bool started_ = false;
    bool loadFired_ = false;
    bool drainPosted_ = false;
    // The document changed after the load: the client hears of it at the next frame.
    std::shared_ptr<Timer> layoutTimer_;
    // pageDidFinishLoad was told: layouts the client reads are the page's turns' work from now on.
    bool loadTold_ = false;

    std::vector<unsigned> parserScripts_;
    std::size_t nextParserScript_ = 0;
    bool waitingForScript_ = false;
    unsigned currentScript_ = 0;
    std::set<unsigned> startedScripts_;
    int loadBlockers_ = 0;

    std::deque<Outgoing> outgoing_;
    struct TimerEntry {
        std::shared_ptr<Timer> timer;
        bool repeats = false;
    };
    std::map<int, TimerEntry> timers_;
    int nextTimerId_ = 1;
    bool timerCapLogged_ = false;
    // Animation frame callbacks waiting for the next frame, in request order, and its timer.
    std::vector<int> frameCallbacks_;
    int nextFrameId_ = 1;
    std::shared_ptr<Timer> frameTimer_;
    bool frameCapLogged_ = false;
    bool visible_ = true;
    std::function<bool()> seenCheck_;
    double timeOrigin_;  // Clock::now() at the page's making: performance.now() counts from here
    // The touch sequence under way: the element it began on.
    unsigned touchTarget_ = 0;
    // The node an event is about to be fired at, until its entry has begun.
    unsigned firing_ = 0;
    std::map<unsigned, ImageInfo> images_;
    // Subresource loads by node (one per node: a new one replaces the last), and their queue.
    std::unordered_map<unsigned, PendingLoad> pendingLoads_;
    std::shared_ptr<SubresourceQueue> subresources_;
    // Loads the app makes for the page, by serial, while they load; and refusals of them, for the log.
    struct LoadForPage {
        std::weak_ptr<URLConnection> connection;
    };
    std::map<std::uint64_t, LoadForPage> loadsForPage_;
    std::uint64_t nextLoadForPage_ = 1;
    std::size_t loadsForPageRefused_ = 0;
    std::uint64_t nextLoadSerial_ = 1;
    // Loads refused since the last task that told them (node, serial), and why, by reason.
    std::vector<std::pair<unsigned, std::uint64_t>> refused_;
    std::map<std::string, std::size_t> refusalReasons_;
    DOMWrapperTable wrappers_;
    // The heap's refusals for room, and the documents' bytes, at the last collection.
    std::size_t refusalsSeen_ = 0;
    std::size_t bytesAfterCollection_ = 0;
    ScriptObjects scriptObjects_;
    // What charge() holds (mirrored into the heap's budget while there is one).
    std::size_t charged_ = 0;
    // The paint model's layout, kept while the document stays as it was when it was made.
    std::uint64_t documentGeneration_ = 0;
    mutable std::shared_ptr<const Layout> layout_;
    mutable std::uint64_t layoutGeneration_ = 0;
};

} // namespace platform
