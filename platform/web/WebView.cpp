#include "platform/web/WebView.h"

#include <cmath>

#include "platform/base/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/RenderContext.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebPageClient.h"

namespace platform {

namespace {
bool isHTTP(const URL& url) {
    std::string s = url.scheme();
    return s == "http" || s == "https";
}
} // namespace

class WebView::PageClient : public WebPageClient {
public:
    explicit PageClient(WebView* view) : view_(view) {}
    void pageRequestsNavigation(WebPage& page, const URLRequest& request, WebViewNavigationType type,
                                unsigned frameNode) override {
        if (view_ != nullptr) view_->pageNavigation(page, request, type, frameNode);
    }
    void pageDidFinishLoad(WebPage& page) override {
        if (view_ != nullptr) view_->pageFinished(page);
    }
    void pageScriptsStopped(WebPage& page, const Error& error) override {
        if (view_ != nullptr) view_->pageStopped(page, error);
    }
    void pageMayHaveChangedLayout(WebPage& page) override {
        if (view_ != nullptr) view_->pageLayoutChanged(page);
    }
    WebView* view_;  // cleared by the view's destructor; pages hold this client weakly
};

// The main document's network load: collects the body up to the size cap, then commits or fails.
class WebView::MainLoad : public URLConnectionDelegate {
public:
    MainLoad(WebView* view, Entry entry, HistoryMove move, int historyIndex, TransferOrigin document)
        : view_(view), entry_(std::move(entry)), move_(move), historyIndex_(historyIndex), document_(document) {}

    // The load is the document's that it will make.
    void start(const URLRequest& request) { connection_ = URLConnection::create(request, weakSelf_, document_); }
    void cancel() {
        view_ = nullptr;
        if (connection_) connection_->cancel();
        connection_.reset();
    }

    // Each redirect hop of the main document is a navigation of its own: the delegate decides it (the
    // target may be an app link or a message URL that must not load). A refused hop ends the load.
    std::optional<URLRequest> willSendRequest(const std::shared_ptr<URLConnection>& connection,
                                              const URLRequest& request,
                                              const std::optional<HTTPURLResponse>& redirectResponse) override {
        if (!redirectResponse || view_ == nullptr) return request;
        if (!view_->loadsForApp() && request.url().absoluteString().size() > TransferOrigin::MaximumURLLength) {
            connection->cancel();
            end(Error(ErrorDomain, 102, "the document redirects to a URL longer than the web view loads"));
            return std::nullopt;
        }
        URLRequest next = request;
        if (next.valueForHTTPHeaderField("User-Agent").value_or("").empty())
            next.setValue(NetworkConfiguration::sharedInstance()->userAgent(), "User-Agent");
        auto keep = view_->shared_from_this();
        bool allowed = view_->ask(next, WebViewNavigationType::Other);
        if (view_ == nullptr) return std::nullopt;  // stopped or replaced from inside the delegate
        if (!allowed) {
            connection->cancel();
            end(Error(ErrorDomain, 102, "Frame load interrupted"));
            return std::nullopt;
        }
        view_->request_ = next;  // the load under way is now this request's
        return next;
    }
    void didReceiveResponse(const std::shared_ptr<URLConnection>&, const HTTPURLResponse& response) override {
        response_ = response;
        body_.clear();
    }
    void didReceiveData(const std::shared_ptr<URLConnection>& connection, const Bytes& data) override {
        if (view_ == nullptr) return;
        if (body_.size() + data.size() > MaximumDocumentSize) {
            connection->cancel();
            end(Error(ErrorDomain, 102, "the document is larger than the web view accepts"));
            return;
        }
        body_.append(data.begin(), data.end());
    }
    void didFinishLoading(const std::shared_ptr<URLConnection>&) override {
        if (view_ == nullptr) return;
        int status = response_ ? response_->statusCode() : 0;
        if (status >= 400) {
            end(Error(ErrorDomain, status, "the main document answered " + std::to_string(status) + " " +
                                               HTTPURLResponse::localizedStringForStatusCode(status)));
            return;
        }
        WebView* view = view_;
        view_ = nullptr;
        URL url = response_ && response_->url().isValid() ? response_->url() : entry_.request.url();
        view->mainLoad_.reset();  // may drop this object: keep what is needed on the stack
        view->commit(body_, url, entry_, move_, historyIndex_, document_);
    }
    void didFailWithError(const std::shared_ptr<URLConnection>&, const Error& error) override { end(error); }

    std::weak_ptr<MainLoad> weakSelf_;

private:
    void end(const Error& error) {
        WebView* view = view_;
        view_ = nullptr;
        if (view == nullptr) return;
        view->mainLoad_.reset();
        view->fail(error);
    }

    WebView* view_;
    Entry entry_;
    HistoryMove move_;
    int historyIndex_;
    TransferOrigin document_;
    std::shared_ptr<URLConnection> connection_;
    std::optional<HTTPURLResponse> response_;
    std::string body_;
};

WebView::WebView(Rect frame) : View(frame) {
    pageClient_ = std::make_shared<PageClient>(this);
}

TransferOrigin WebView::newDocument(bool byPage) const {
    if (loadsForApp_) return TransferOrigin::app();
    const std::uint64_t document = TransferOrigin::newId();
    // A creative that navigates (or reloads itself) stays one ad, with one account of pings and one turn
    // among views; so does a page shown for it in another view.
    std::uint64_t ad = adAccount_ != 0 ? adAccount_ : document;
    std::uint64_t view = joinedView_ != 0 ? joinedView_ : viewId_;
    if (byPage && page_) {
        ad = page_->options().origin.adKey();
        view = page_->options().origin.viewKey();
    }
    return TransferOrigin::webContent(document, view, ad);
}

std::uint64_t WebView::currentAdAccount() const {
    if (loadsForApp_ || !page_) return adAccount_;
    return page_->options().origin.adKey();
}

std::uint64_t WebView::currentPingView() const {
    if (loadsForApp_ || !page_) return joinedView_ != 0 ? joinedView_ : viewId_;
    return page_->options().origin.viewKey();
}

WebDocumentRef WebView::currentDocument() const { return WebDocumentRef(page_); }

std::shared_ptr<WebView> WebView::create(Rect frame) {
    std::shared_ptr<WebView> view(new WebView(frame));
    view->scrollView_ = ScrollView::create(Rect(0, 0, frame.width(), frame.height()));
    view->scrollView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    view->addSubview(view->scrollView_);
    view->appInBackground_ = Application::sharedApplication()->applicationState() == ApplicationState::Background;
    std::weak_ptr<View> weak = view;
    auto follow = [weak](bool background) {
        return [weak, background](const Notification&) {
            if (auto self = std::static_pointer_cast<WebView>(weak.lock())) {
                self->appInBackground_ = background;
                self->updatePageVisibility();
            }
        };
    };
    auto center = NotificationCenter::defaultCenter();
    center->addObserver(kApplicationDidEnterBackground, nullptr, nullptr, follow(true), view.get());
    center->addObserver(kApplicationWillEnterForeground, nullptr, nullptr, follow(false), view.get());
    return view;
}

WebView::~WebView() {
    NotificationCenter::defaultCenter()->removeObserver(static_cast<const void*>(this));
    pageClient_->view_ = nullptr;
    if (mainLoad_) mainLoad_->cancel();
    if (page_) page_->close();
}

std::shared_ptr<URLConnection> WebView::connectionForPage(const URLRequest& request,
                                                          std::weak_ptr<URLConnectionDelegate> delegate, Error* error,
                                                          PageLoad kind) {
    if (!page_) {
        setError(error, Error(ErrorDomain, 102, "the web view holds no page to load for"));
        return nullptr;
    }
    return page_->connectionForPage(request, std::move(delegate), error, kind);
}

void WebView::setLoadsForApp(bool app) { loadsForApp_ = app; }

void WebView::setFrame(Rect frame) {
    View::setFrame(frame);
}

void WebView::didMoveToWindow() {
    View::didMoveToWindow();
    updatePageVisibility();
}

bool WebView::isSeen() const {
    return window() != nullptr && !appInBackground_;
}

bool WebView::isShown() const {
    if (!isSeen()) return false;
    // Hidden or transparent (as hit testing counts it), itself or through a view holding it below the
    // window. The window's own state is left out, as before: windows start hidden and apps that never
    // show theirs still run their pages.
    const auto window = this->window();
    for (std::shared_ptr<const View> v = shared_from_this(); v && v != window; v = v->superview())
        if (v->isHidden() || v->alpha() < MinimumVisibleAlpha) return false;
    return true;
}

void WebView::updatePageVisibility() {
    if (page_) page_->setVisible(isSeen());
}

void WebView::watchVisibility(WebPage& page) {
    page.setVisible(isSeen());
    // Hiding a view or one above it tells nobody: the page asks when a frame is due.
    std::weak_ptr<View> weak = weak_from_this();
    page.setSeenCheck([weak] {
        auto view = std::static_pointer_cast<WebView>(weak.lock());
        return view && view->isShown();
    });
}

void WebView::loadHTMLString(const std::string& html, const std::optional<URL>& baseURL) {
    URL url = baseURL && baseURL->isValid() ? *baseURL : URL::parse("about:blank").value_or(URL());
    scheduleNavigation(Entry{URLRequest(url), html}, WebViewNavigationType::Other, HistoryMove::Push, -1);
}

void WebView::loadRequest(const URLRequest& request) {
    scheduleNavigation(Entry{request, std::nullopt}, WebViewNavigationType::Other, HistoryMove::Push, -1);
}

void WebView::reload() {
    if (historyIndex_ < 0) return;
    scheduleNavigation(history_[historyIndex_], WebViewNavigationType::Reload, HistoryMove::Keep, historyIndex_);
}

bool WebView::canGoBack() const {
    return historyIndex_ > 0;
}

bool WebView::canGoForward() const {
    return historyIndex_ >= 0 && historyIndex_ + 1 < static_cast<int>(history_.size());
}

void WebView::goBack() {
    if (!canGoBack()) return;
    scheduleNavigation(history_[historyIndex_ - 1], WebViewNavigationType::BackForward, HistoryMove::Keep,
                       historyIndex_ - 1);
}

void WebView::goForward() {
    if (!canGoForward()) return;
    scheduleNavigation(history_[historyIndex_ + 1], WebViewNavigationType::BackForward, HistoryMove::Keep,
                       historyIndex_ + 1);
}

void WebView::stopLoading() {
    ++stopGeneration_;
    if (mainLoad_) {
        mainLoad_->cancel();
        mainLoad_.reset();
    }
    loading_ = false;
}

void WebView::scheduleNavigation(Entry entry, WebViewNavigationType type, HistoryMove move, int historyIndex) {
    std::weak_ptr<View> weak = weak_from_this();
    MainLoop::main().post([weak, generation = stopGeneration_, entry = std::move(entry), type, move,
                           historyIndex]() mutable {
        auto self = std::static_pointer_cast<WebView>(weak.lock());
        if (self && self->stopGeneration_ == generation) self->navigate(std::move(entry), type, move, historyIndex);
    });
}

namespace {
std::size_t logSize(const URLRequest& request) {
    return request.url().absoluteString().size() + request.httpBody().size();
}
} // namespace

void WebView::logNavigation(const URLRequest& request, WebViewNavigationType type) {
    navigationLog_.emplace_back(request, type);
    navigationLogBytes_ += logSize(request);
    while (navigationLog_.size() > 1 &&
           (navigationLog_.size() > NavigationLogEntries || navigationLogBytes_ > NavigationLogBytes)) {
        navigationLogBytes_ -= logSize(navigationLog_.front().first);
        navigationLog_.pop_front();
    }
}

bool WebView::ask(const URLRequest& request, WebViewNavigationType type) {
    logNavigation(request, type);
    auto d = delegate();
    return !d || d->shouldStartLoad(*this, request, type);
}

void WebView::navigate(Entry entry, WebViewNavigationType type, HistoryMove move, int historyIndex, bool byPage) {
    auto keep = shared_from_this();
    if (!loadsForApp() && entry.request.url().absoluteString().size() > TransferOrigin::MaximumURLLength) {
        // Refused before the delegate is asked: nothing reads or copies a URL the web view will not load.
        fail(Error(ErrorDomain, 102,
                   "the web view loads no URL longer than " + std::to_string(TransferOrigin::MaximumURLLength >> 20) +
                       " MB"));
        return;
    }
    URLRequest request = entry.request;
    if (request.valueForHTTPHeaderField("User-Agent").value_or("").empty())
        request.setValue(NetworkConfiguration::sharedInstance()->userAgent(), "User-Agent");
    entry.request = request;
    if (!ask(request, type)) return;
    if (!entry.html && !isHTTP(request.url())) {
        // Nothing to load (the app's own schemes, about:...): the delegate has seen it.
        return;
    }
    if (mainLoad_) {
        mainLoad_->cancel();
        mainLoad_.reset();
    }
    request_ = request;
    loading_ = true;
    if (auto d = delegate()) d->didStartLoad(*this);
    if (!loading_ || request_ != request) return;  // the delegate stopped or replaced the load
    if (entry.html) {
        if (entry.html->size() > MaximumDocumentSize) {
            fail(Error(ErrorDomain, 102, "the document is larger than the web view accepts"));
            return;
        }
        std::string html = *entry.html;
        commit(html, request.url(), entry, move, historyIndex, newDocument(byPage));
        return;
    }
    auto load = std::make_shared<MainLoad>(this, entry, move, historyIndex, newDocument(byPage));
    load->weakSelf_ = load;
    mainLoad_ = load;
    load->start(request);
}

void WebView::commit(const std::string& html, const URL& url, const Entry& entry, HistoryMove move, int historyIndex,
                     TransferOrigin document) {
    if (page_) page_->close();
    page_.reset();
    WebPage::Options options;
    options.scriptTimeLimit = scriptTimeLimit_;
    options.owner = this;
    options.origin = document;
    Size size = bounds().size;
    if (size.width > 0 && size.height > 0) options.viewport = size;
    Error error;
    auto page = WebPage::create(html, url, pageClient_, options, &error);
    if (!page) {
        fail(error);
        return;
    }
    switch (move) {
    case HistoryMove::Push:
        if (historyIndex_ + 1 < static_cast<int>(history_.size())) history_.resize(historyIndex_ + 1);
        history_.push_back(entry);
        // The oldest go first, as a browser's session history keeps a bounded number.
        if (history_.size() > MaximumHistoryEntries)
            history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(history_.size() - MaximumHistoryEntries));
        historyIndex_ = static_cast<int>(history_.size()) - 1;
        break;
    case HistoryMove::Replace:
        if (historyIndex_ >= 0) history_[historyIndex_] = entry;
        break;
    case HistoryMove::Keep:
        if (historyIndex >= 0 && historyIndex < static_cast<int>(history_.size())) historyIndex_ = historyIndex;
        break;
    }
    page_ = page;
    watchVisibility(*page);
    page->start();
}

void WebView::fail(const Error& error) {
    loading_ = false;
    auto keep = shared_from_this();
    if (auto d = delegate()) d->didFailLoad(*this, error);
}

void WebView::pageFinished(WebPage& page) {
    if (&page != page_.get()) return;
    // A page its layout stopped does not finish: the view hears why next.
    auto size = page.contentSizeForClient();
    if (!size) return;
    scrollView_->setContentSize(*size);
    loading_ = false;
    auto keep = shared_from_this();
    if (auto d = delegate()) d->didFinishLoad(*this);
}

void WebView::pageStopped(WebPage& page, const Error& error) {
    // A newer load under way reports for itself.
    if (&page != page_.get() || mainLoad_) return;
    fail(error);
}

void WebView::pageLayoutChanged(WebPage& page) {
    // Only the current, loaded document sizes the content; a load under way sets it when it ends.
    if (&page != page_.get() || loading_) return;
    if (auto size = page.contentSizeForClient()) scrollView_->setContentSize(*size);
}

void WebView::pageNavigation(WebPage& page, const URLRequest& request, WebViewNavigationType type, unsigned frameNode) {
    if (&page != page_.get()) return;
    auto keep = shared_from_this();
    if (frameNode != 0) {
        URLRequest r = request;
        r.setValue(NetworkConfiguration::sharedInstance()->userAgent(), "User-Agent");
        if (!ask(r, type)) return;
        // The page may have been replaced from inside the delegate.
        if (page_.get() == &page && isHTTP(r.url())) page_->loadFrame(frameNode, r);
        return;
    }
    navigate(Entry{request, std::nullopt}, type,
             type == WebViewNavigationType::Reload ? HistoryMove::Keep : HistoryMove::Push, historyIndex_, true);
}

void WebView::ensurePage() {
    if (page_) return;
    WebPage::Options options;
    options.scriptTimeLimit = scriptTimeLimit_;
    options.owner = this;
    options.origin = newDocument();
    Size size = bounds().size;
    if (size.width > 0 && size.height > 0) options.viewport = size;
    // A blank document for evaluate() before any load; it has no client, so it tells the delegate nothing.
    page_ = WebPage::create("", URL::parse("about:blank").value_or(URL()), std::weak_ptr<WebPageClient>(), options);
    if (!page_) return;
    watchVisibility(*page_);
    page_->start();
}

std::string WebView::evaluate(const std::string& script) {
    ensurePage();
    if (!page_) return {};
    auto page = page_;  // the script may not replace it, but keep it alive for the call
    return page->evaluate(script);
}

std::shared_ptr<View> WebView::hitTest(Point point, const Event* event) {
    auto hit = View::hitTest(point, event);
    // The scroll view is the page's frame, not a target of its own: touches on it are the page's.
    return hit == scrollView_ ? shared_from_this() : hit;
}

bool WebView::forwardTouch(const std::vector<std::shared_ptr<Touch>>& touches, int kind, Point* where) {
    std::shared_ptr<Touch> finger;
    for (const auto& t : touches) {
        if (kind == 0 ? finger_.expired() : t == finger_.lock()) {
            finger = t;
            break;
        }
    }
    if (!finger) return false;
    Point p = finger->locationInView(this);
    Rect b = bounds();
    Point client{p.x - b.origin.x, p.y - b.origin.y};
    if (kind == 0) {
        finger_ = finger;
        fingerPage_ = page_;
        fingerStart_ = client;
        fingerMoved_ = false;
        fingerStartCancelled_ = false;
    } else if (std::abs(client.x - fingerStart_.x) > TapSlop || std::abs(client.y - fingerStart_.y) > TapSlop) {
        fingerMoved_ = true;
    }
    if (kind >= 2) finger_.reset();
    if (where != nullptr) *where = client;
    auto page = fingerPage_.lock();  // a handler may replace the document
    if (!page || page != page_) return false;
    Point scroll = scrollView_ ? scrollView_->contentOffset() : Point{0, 0};
    bool proceed = page->touch(static_cast<WebPage::TouchKind>(kind), client, scroll);
    if (kind == 0 && !proceed) fingerStartCancelled_ = true;
    return proceed;
}

void WebView::touchesBegan(const std::vector<std::shared_ptr<Touch>>& touches, const Event&) {
    auto keep = shared_from_this();
    forwardTouch(touches, 0);
}

void WebView::touchesMoved(const std::vector<std::shared_ptr<Touch>>& touches, const Event&) {
    auto keep = shared_from_this();
    forwardTouch(touches, 1);
}

void WebView::touchesEnded(const std::vector<std::shared_ptr<Touch>>& touches, const Event&) {
    auto keep = shared_from_this();
    Point where;
    bool moved = fingerMoved_;
    // As on phones, a cancelled touchstart or touchend (or a finger that moved away: a scroll) means no
    // click: a page that acts on the touch itself cancels it so that the tap does not act twice.
    if (!forwardTouch(touches, 2, &where) || moved || fingerMoved_ || fingerStartCancelled_) return;
    auto page = page_;
    Point scroll = scrollView_ ? scrollView_->contentOffset() : Point{0, 0};
    if (page && page == fingerPage_.lock()) page->clickAt(where, scroll);
}

void WebView::touchesCancelled(const std::vector<std::shared_ptr<Touch>>& touches, const Event&) {
    auto keep = shared_from_this();
    forwardTouch(touches, 3);
}

void WebView::render(Bitmap& bitmap) const {
    if (isOpaque()) {
        Color bg = backgroundColor().value_or(Color::whiteColor());
        bitmap.fillRect(Rect(0, 0, static_cast<float>(bitmap.width()), static_cast<float>(bitmap.height())), bg);
    }
    if (page_) page_->render(bitmap);
}

void WebView::draw(Bitmap& bitmap, const RenderContext& context) const {
    Rect b = bounds();
    RenderContext clip = context.clipped(b);
    // The layer has painted a set background colour already; an opaque view without one is white.
    if (isOpaque() && !backgroundColor()) clip.fillRect(bitmap, b, Color::whiteColor());
    if (!page_) return;
    Point offset = scrollView_ ? scrollView_->contentOffset() : Point{0, 0};
    RenderContext pageContext = clip.concat(AffineTransform::translation(b.origin.x - offset.x, b.origin.y - offset.y));
    Size viewport = b.size;
    page_->paint([&](const Rect& rect, const Color& color) { pageContext.fillRect(bitmap, rect, color); },
                 Rect(offset.x, offset.y, viewport.width, viewport.height));
}

} // namespace platform
