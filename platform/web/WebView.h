#pragma once
// A headless web view: loads HTML (a string with a base URL, or a request over the network), runs
// its scripts in a real engine, keeps a history, answers evaluate(), asks its delegate before every
// navigation (and every redirect hop of the main document), and paints a simple deterministic model of
// the page. Main thread only.
//
// Navigations that a script raises are handed to the delegate on the next main-loop turn after the
// script returns (never from inside the engine), in the order the script raised them; evaluate()
// returns first.
//
// A document whose script runs past the time limit, or whose scripts and the layouts they cause take
// more than a quarter of the main thread over a second, is stopped (see WebPage::scriptsStopped) and the delegate hears
// didFailLoad once: the failure of its load when it was still loading, and otherwise the news that the
// document no longer works (its owner may reload it). Loads begun by loadHTMLString/loadRequest/reload/goBack/goForward likewise start on
// the next main-loop turn.
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Error.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"
#include "platform/web/PageLoad.h"
#include "platform/web/WebDocumentRef.h"
#include "platform/web/WebViewDelegate.h"
#include "platform/web/WebViewNavigationType.h"

namespace platform {

class Bitmap;
class URLConnection;
class URLConnectionDelegate;
class WebPage;

class WebView : public View {
public:
    static constexpr std::size_t MaximumDocumentSize = 4u << 20;
    // Back-forward history keeps the latest this many documents.
    static constexpr std::size_t MaximumHistoryEntries = 50;
    static constexpr const char* ErrorDomain = "WebKitErrorDomain";

    static std::shared_ptr<WebView> create(Rect frame = Rect::zero());
    ~WebView() override;

    std::shared_ptr<WebViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { delegate_ = std::move(delegate); }

    void loadHTMLString(const std::string& html, const std::optional<URL>& baseURL);
    void loadRequest(const URLRequest& request);
    // Ends the load under way and drops those scheduled and not yet started (by the calls above, reload
    // and the history moves): after it, nothing asked for before it loads.
    void stopLoading();
    void reload();
    void goBack();
    void goForward();
    bool canGoBack() const;
    bool canGoForward() const;
    bool isLoading() const { return loading_; }
    // The request of the current document (or of the load under way).
    const URLRequest& request() const { return request_; }

    // Runs `script` in the current document: strings come back as they are, numbers and booleans
    // printed, undefined, null and errors as "" (errors are logged).
    std::string evaluate(const std::string& script);

    std::shared_ptr<ScrollView> scrollView() const { return scrollView_; }
    bool scalesPageToFit() const { return scalesPageToFit_; }
    void setScalesPageToFit(bool v) { scalesPageToFit_ = v; }
    bool allowsInlineMediaPlayback() const { return allowsInlineMediaPlayback_; }
    void setAllowsInlineMediaPlayback(bool v) { allowsInlineMediaPlayback_ = v; }
    bool mediaPlaybackRequiresUserAction() const { return mediaPlaybackRequiresUserAction_; }
    void setMediaPlaybackRequiresUserAction(bool v) { mediaPlaybackRequiresUserAction_ = v; }
    unsigned dataDetectorTypes() const { return dataDetectorTypes_; }
    void setDataDetectorTypes(unsigned v) { dataDetectorTypes_ = v; }

    // Whose loads the view's documents make: web content (the default, each document a group of its own
    // for the network's fair shares), or the app's, for a page the app itself runs (its own requests are
    // never held up by web content). Set before the first load.
    bool loadsForApp() const { return loadsForApp_; }
    void setLoadsForApp(bool app);
    // Whose pings the view's documents send (see PingScheduler): by default each document the app loads
    // here starts an ad of its own and takes turns as this view, and the documents its pages navigate to
    // stay in both. A page the app opens to show another view's creative (an overlay, an expanded page)
    // belongs to that creative: joinAdOf(creative) before its first load, and its pings count in the
    // creative's ad and take the creative's view's turn (the one it joined, if it is such a page itself),
    // so that a creative's screens are one view however many it opens. Its documents stay its own (their
    // loads' places, their bound per host). Both reset by leaveAd, on a view the app reuses.
    void joinAdOf(const WebView& creative) {
        adAccount_ = creative.currentAdAccount();
        joinedView_ = creative.currentPingView();
    }
    void leaveAd() {
        adAccount_ = 0;
        joinedView_ = 0;
    }
    // The ad the current document counts in; 0 when the view holds none (or loads for the app).
    std::uint64_t currentAdAccount() const;
    // The view the current document's pings take turns as: this one, or the creative's it joined.
    std::uint64_t currentPingView() const;
    // The document the view holds now (null when none), as loads made for it hold it: a ping it asked for
    // goes out even once the view has loaded another (see WebDocumentRef).
    WebDocumentRef currentDocument() const;

    // A load the app makes because this view's page asked for it (a tracking ping, a precache, a picture
    // to store): web content of the current document, bounded and charged as WebPage::connectionForPage
    // says, and ended with it, but for a ping (a beacon), which goes on.
    // Not started; nullptr, with the reason in `error`, when refused or when the view holds no document.
    std::shared_ptr<URLConnection> connectionForPage(const URLRequest& request,
                                                     std::weak_ptr<URLConnectionDelegate> delegate,
                                                     Error* error = nullptr, PageLoad kind = PageLoad::EndsWithPage);

    // Per entry into the script engine (a runaway script is stopped after this long).
    double scriptTimeLimit() const { return scriptTimeLimit_; }
    void setScriptTimeLimit(double seconds) { scriptTimeLimit_ = seconds; }

    // The paint model: background colour (when opaque), then the page.
    void render(Bitmap& bitmap) const;
    // Rendering the view tree paints the page too: in the bounds, scrolled by the scroll view's offset.
    void draw(Bitmap& bitmap, const RenderContext& context) const override;
    void setFrame(Rect frame) override;
    // A page nobody can see (the view in no window, hidden or transparent, itself or through a view
    // holding it, or the app in the background) gets no animation frames until it is seen again; see
    // WebPage::setVisible.
    void didMoveToWindow() override;

    // A finger on the view reaches the page as a phone's web view gives it: touchstart, touchmove and
    // touchend at the element under it, and, for a tap whose touchstart and touchend were not cancelled,
    // a click there.
    std::shared_ptr<View> hitTest(Point point, const Event* event = nullptr) override;
    void touchesBegan(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;
    void touchesMoved(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;
    void touchesEnded(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;
    void touchesCancelled(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;
    // How far a finger may move and still tap.
    static constexpr float TapSlop = 10;

    // For the test hooks: the current document, and the navigations the delegate was asked about, the
    // latest last. Only the latest are kept (a page can raise messages for as long as it lives): at
    // most NavigationLogEntries, and of those only as many as fit in NavigationLogBytes of URLs and
    // bodies (the latest is always kept).
    static constexpr std::size_t NavigationLogEntries = 256;
    static constexpr std::size_t NavigationLogBytes = 256u << 10;
    using NavigationLog = std::deque<std::pair<URLRequest, WebViewNavigationType>>;
    std::shared_ptr<WebPage> currentPage() const { return page_; }
    const NavigationLog& navigationLog() const { return navigationLog_; }

protected:
    explicit WebView(Rect frame);

private:
    class PageClient;
    class MainLoad;
    struct Entry {
        URLRequest request;
        std::optional<std::string> html;
    };
    enum class HistoryMove { Push, Replace, Keep };

    void scheduleNavigation(Entry entry, WebViewNavigationType type, HistoryMove move, int historyIndex);
    // `byPage`: the document's own navigation, whose next document stays in the same ad and view.
    void navigate(Entry entry, WebViewNavigationType type, HistoryMove move, int historyIndex, bool byPage = false);
    void commit(const std::string& html, const URL& url, const Entry& entry, HistoryMove move, int historyIndex,
                TransferOrigin document);
    // The origin of a new document's loads: an ad of its own (or the joined one) when the app loads it,
    // the current document's ad and view when a page navigates.
    TransferOrigin newDocument(bool byPage = false) const;
    void fail(const Error& error);
    void pageFinished(WebPage& page);
    void pageStopped(WebPage& page, const Error& error);
    void logNavigation(const URLRequest& request, WebViewNavigationType type);
    void pageLayoutChanged(WebPage& page);
    void pageNavigation(WebPage& page, const URLRequest& request, WebViewNavigationType type, unsigned frameNode);
    bool ask(const URLRequest& request, WebViewNavigationType type);
    void ensurePage();
    // In a window with the app in the foreground (what the view hears of), and besides not hidden or
    // transparent, itself or through a view holding it (what it does not).
    bool isSeen() const;
    bool isShown() const;
    void updatePageVisibility();
    // Tells `page` whether it is seen now, and lets it ask when a frame is due.
    void watchVisibility(WebPage& page);
    // The page's touch of `kind` for the finger this view follows, if `touches` holds it.
    bool forwardTouch(const std::vector<std::shared_ptr<Touch>>& touches, int kind, Point* where = nullptr);

    std::weak_ptr<WebViewDelegate> delegate_;
    std::shared_ptr<PageClient> pageClient_;
    std::shared_ptr<WebPage> page_;
    std::shared_ptr<MainLoad> mainLoad_;
    // Bumped by stopLoading: a scheduled navigation of an earlier stop's time does not start.
    std::uint64_t stopGeneration_ = 0;
    std::shared_ptr<ScrollView> scrollView_;
    URLRequest request_;
    bool loading_ = false;
    std::vector<Entry> history_;
    int historyIndex_ = -1;
    NavigationLog navigationLog_;
    std::size_t navigationLogBytes_ = 0;

    bool scalesPageToFit_ = false;
    bool allowsInlineMediaPlayback_ = false;
    bool mediaPlaybackRequiresUserAction_ = true;
    unsigned dataDetectorTypes_ = 0;
    double scriptTimeLimit_ = 1.0;
    bool loadsForApp_ = false;
    std::uint64_t adAccount_ = 0;  // joinAdOf; 0: its own
    std::uint64_t joinedView_ = 0;  // joinAdOf; 0: viewId_
    const std::uint64_t viewId_ = TransferOrigin::newId();
    // Between the app's did-enter-background and will-enter-foreground.
    bool appInBackground_ = false;
    // The one finger the page follows (phones' pages see more; ads need one), where it went down,
    // whether it has moved too far to tap, and whether the page cancelled its touchstart.
    std::weak_ptr<Touch> finger_;
    std::weak_ptr<WebPage> fingerPage_;  // the document it went down on: a newer one hears none of it
    Point fingerStart_;
    bool fingerMoved_ = false;
    bool fingerStartCancelled_ = false;
};

} // namespace platform
