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
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/ui/Geometry.h"
#include "platform/web/DOMDocument.h"
#include "platform/web/ScriptBusyMeter.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/WebPageClient.h"

namespace platform {

class Bitmap;
class Color;
class ResourceLoader;
class Timer;

class WebPage : public std::enable_shared_from_this<WebPage> {
public:
    struct Options {
        double scriptTimeLimit = ScriptContext::DefaultTimeLimit;
        std::size_t scriptMemoryLimit = ScriptContext::DefaultMemoryLimit;
        Size viewport{320, 480};
        float devicePixelRatio = 2;
        bool runScripts = true;
        // Who the page's subresource loads are for (its web view); lets tests aim injected failures.
        const void* owner = nullptr;
    };
    enum class ReadyState { Loading, Interactive, Complete };

    // nullptr (and `error`) when the script heap cannot be made.
    static std::shared_ptr<WebPage> create(const std::string& html, URL url, std::weak_ptr<WebPageClient> client,
                                           Options options, Error* error = nullptr);
    ~WebPage();
    WebPage(const WebPage&) = delete;
    WebPage& operator=(const WebPage&) = delete;

    // The share of the main thread a page's own scripts (timers, events, its documents' scripts) may
    // take over any second, and the most timers it may have pending.
    static constexpr double MaximumScriptShare = 0.25;
    static constexpr std::size_t MaximumTimers = 1000;
    // Animation frames come at the display's rate (phones refresh at 60 Hz); at most this many
    // callbacks wait for the next one.
    static constexpr double FrameInterval = 1.0 / 60;
    static constexpr std::size_t MaximumFrameCallbacks = 1000;
    // The error code (in ScriptContext's domain) of a page stopped for taking too much of the thread.
    static constexpr int ScriptShareCode = 6;

    // Runs the document's scripts and fires its events; the client hears pageDidFinishLoad once done.
    void start();
    // Stops timers and loads and silences the client. Idempotent.
    void close();
    bool isClosed() const { return closed_; }
    // A page whose script ran past its time limit, or whose scripts took more than their share of the
    // main thread, is stopped: no timer, event, script or evaluate() runs in it again and it delivers
    // nothing more; the client hears pageScriptsStopped (the page still paints).
    bool scriptsStopped() const { return scriptsStopped_; }

    const URL& url() const { return url_; }
    ReadyState readyState() const { return readyState_; }
    DOMDocument& document() { return *document_; }
    // The page's heap, made now when it was not needed so far; nullptr when it cannot be made.
    ScriptContext* script() { return ensureScript() ? script_.get() : nullptr; }
    bool hasScriptHeap() const { return script_ != nullptr; }

    // evaluate() for the web view: the completion value printed, "" for undefined, null and errors.
    std::string evaluate(const std::string& source, Error* error = nullptr);

    // An iframe the client allowed: loads its document as a subresource (no script), then fires its load.
    void loadFrame(unsigned frameNode, const URLRequest& request);

    // Test hooks: a click on the first element matching `selector` (link clicks navigate), and the
    // submission of a form (its fields encoded into the action URL or body).
    bool click(const std::string& selector);
    bool submitForm(const std::string& selector);

    // A finger on the page, at `clientPoint` in the viewport (`scroll`: how far the page is scrolled):
    // touchstart, touchmove, touchend or touchcancel at the element under the finger where it went down.
    // False when script cancelled the event (a cancelled touchend means no click follows).
    enum class TouchKind { Start, Move, End, Cancel };
    bool touch(TouchKind kind, Point clientPoint, Point scroll = {0, 0});
    // The click a tap ends with, at the element under `clientPoint` (a link navigates as a user's click).
    bool clickAt(Point clientPoint, Point scroll = {0, 0});
    // The element whose box (or line of text) is topmost at `pagePoint` in the paint model; the body
    // when none is.
    std::shared_ptr<DOMNode> elementAt(Point pagePoint) const;

    // Paint model: body background, then every element box with a size and a background colour, an
    // image, or text, in document order.
    void render(Bitmap& bitmap) const;
    // The same model through any painter: `fill` receives each box in page coordinates; `area` is
    // what the body background covers.
    using Fill = std::function<void(const Rect&, const Color&)>;
    void paint(const Fill& fill, const Rect& area) const;
    Size contentSize() const;

    std::size_t pendingTimerCount() const { return timers_.size(); }
    std::size_t pendingFrameCallbackCount() const { return frameCallbacks_.size(); }

    // Whether anyone can see the page (its view is in a window and the app in the foreground). A page
    // nobody sees gets no animation frames: its callbacks wait for the first frame once it is seen
    // again. Timers run either way. Pages start seen.
    void setVisible(bool visible);
    bool isVisible() const { return visible_; }

    // --- For the script bindings (WebPageBindings), called from inside the engine.
    void queueNavigation(const std::string& urlText, WebViewNavigationType type, unsigned frameNode,
                         const std::string& method = "GET", const std::string& body = {});
    void nodeInserted(const std::shared_ptr<DOMNode>& node);
    // The document changed after its load in a way that may move its boxes: the client hears of it.
    void layoutChanged();
    void attributeChanged(const std::shared_ptr<DOMNode>& node, const std::string& name);
    int addTimer(double seconds, bool repeats);
    void clearTimer(int id);
    void fireTimer(int id);
    // requestAnimationFrame: 0 when refused (past the cap, or the page is closed or stopped).
    int requestFrame();
    void cancelFrame(int id);
    // performance.now(): milliseconds on the app's clock since the page was made.
    double timeSinceOrigin() const;
    std::optional<URL> resolve(const std::string& text) const;
    URLRequest subresourceRequest(const URL& url) const;
    void loadScript(unsigned node, bool blocking);
    void runInlineScript(const std::shared_ptr<DOMNode>& node);
    void loadImage(unsigned node, const std::string& src);
    void queueFormSubmission(const std::shared_ptr<DOMNode>& form);
    void write(const std::string& html);
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
    };
    struct ImageInfo {
        bool loaded = false;
        int width = 0;
        int height = 0;
        std::string source;
    };

    WebPage(URL url, std::weak_ptr<WebPageClient> client, Options options);

    // Script entry with the bookkeeping every entry needs (drain of queued work afterwards).
    bool enter(const std::function<void(duk_context*)>& body, Error* error = nullptr);
    // After an outermost entry: stops the page if it overran, or (for the page's own entries) if the
    // page's scripts have taken more than their share of the thread.
    void entryEnded(bool pagesOwn);
    void stopScripts(const Error& why);
    void track(std::shared_ptr<ResourceLoader> loader);
    bool refusesScript(Error* error) const;
    // Makes the heap and installs the bindings, once; false (and `error`) when the heap cannot be made.
    bool ensureScript(Error* error = nullptr);
    void installBindings();
    void runScriptText(const std::string& source, const std::string& name, unsigned scriptNode);
    void continueParsing();
    void contentLoaded();
    void maybeFireLoad();
    void fireEvent(unsigned node, const std::string& type, bool bubbles);  // node 0: window
    void fireDocumentEvent(const std::string& type);

    bool isConnected(const std::shared_ptr<DOMNode>& node) const;
    void postDrain();
    void drain();
    struct PaintState;
    void paintNode(const DOMNode& node, PaintState& state, float x, float width, float& cursorY, int depth) const;
    // Arms the timer of the next display refresh, when callbacks wait and the page is seen.
    void scheduleFrame();
    void runFrame();
    // Ends what would call back into the page: timers, animation frames, loads and outgoing messages.
    void cancelPending();

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
    // Script ran after the load: the client hears of a possible layout change with the next drain.
    bool layoutMayHaveChanged_ = false;

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
    double timeOrigin_;  // Clock::now() at the page's making: performance.now() counts from here
    // The touch sequence under way: the element it began on.
    unsigned touchTarget_ = 0;
    std::vector<std::shared_ptr<ResourceLoader>> loads_;
    std::map<unsigned, ImageInfo> images_;
};

} // namespace platform
