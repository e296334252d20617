#include "ads/render/GADAdView.h"

#include <atomic>

#include "ads/core/public/GADRequest.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADAdViewTouchGestureRecognizer.h"
#include "ads/render/GADImpressionTicketGestureRecognizer.h"
#include "ads/render/GADTapWatchGestureRecognizer.h"
#include "ads/render/GADWebViewCacheSet.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Color.h"
#include "platform/ui/ScrollView.h"
#include "platform/web/WebPage.h"

namespace ruzave {
namespace {

std::atomic<bool>& userAgentCaptured() {
    static std::atomic<bool> captured{false};
    return captured;
}

// A single-quoted script string literal that no quote, backslash, line end or "</script>" can leave.
std::string scriptStringLiteral(const std::string& text) {
    std::string out = "'";
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '\'': out += "\\'"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '<': out += "\\x3c"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                       (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                        static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
                out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "'";
}

} // namespace

// ---------------------------------------------------------------- pool and commands

std::shared_ptr<GADWebViewCacheSet> GADAdView::webViewCache() {
    static std::shared_ptr<GADWebViewCacheSet> cache = [] {
        long long capacity = 0;
        auto defaults = platform::UserDefaults::standard();
        if (defaults->object("/ruzave/ads/web_view_cache_max_capacity")) {
            capacity = defaults->integer("/ruzave/ads/web_view_cache_max_capacity");
        }
        if (capacity < 0 || capacity > 9) capacity = 0;
        return GADWebViewCacheSet::initWithMaxCapacity(static_cast<std::size_t>(capacity));
    }();
    return cache;
}

std::shared_ptr<platform::WebView> GADAdView::cachedWebView() {
    return webViewCache()->anyObject();
}

void GADAdView::cacheWebView(const std::shared_ptr<platform::WebView>& webView) {
    webViewCache()->addObject(webView);
}

std::string GADAdView::JSCommandForNotificationName(const std::string& name,
                                                    const std::optional<platform::Value>& userInfo) {
    std::string command = "ZUDO_ReceiveMessage(" + scriptStringLiteral(name);
    if (userInfo && (userInfo->is_object() || userInfo->is_array())) {
        try {
            command += ", " + platform::toScriptJSON(*userInfo);
        } catch (const std::exception&) {
            // Not serialisable (say, text that is no UTF-8): the one-argument form.
        }
    }
    return command + ");";
}

void GADAdView::resetUserAgentCaptureForTesting() {
    userAgentCaptured() = false;
}

// ---------------------------------------------------------------- set-up

GADAdView::GADAdView(platform::Rect frame) : platform::View(frame) {}

std::shared_ptr<GADAdView> GADAdView::initWithFrame(platform::Rect frame) {
    std::shared_ptr<GADAdView> view(new GADAdView(frame));
    setUp(view);
    return view;
}

void GADAdView::setUp(const std::shared_ptr<GADAdView>& view) {
    const platform::Rect frame = view->frame();
    view->touchRecognizer_ = GADAdViewTouchGestureRecognizer::init();
    view->touchRecognizer_->setDelegate(std::weak_ptr<platform::GestureRecognizerDelegate>(view));
    view->impressionTicketRecognizer_ = GADImpressionTicketGestureRecognizer::init();
    view->impressionTicketRecognizer_->setDelegate(std::weak_ptr<platform::GestureRecognizerDelegate>(view));
    std::weak_ptr<GADAdView> weakView = view;
    view->impressionTicketRecognizer_->addTarget([weakView](platform::GestureRecognizer&) {
        if (auto self = weakView.lock()) self->handleGesture();
    });
    view->tapWatch_ = GADTapWatchGestureRecognizer::initWithHandler([weakView] {
        if (auto self = weakView.lock()) self->setTouched(true);
    });
    view->tapWatch_->setDelegate(std::weak_ptr<platform::GestureRecognizerDelegate>(view));
    platform::Rect inner(0, 0, frame.width(), frame.height());
    view->webView_ = cachedWebView();
    if (view->webView_) {
        view->webView_->setFrame(inner);
    } else {
        view->webView_ = platform::WebView::create(inner);
    }
    // Held weakly by the web view, so no cycle.
    view->webView_->setDelegate(std::weak_ptr<platform::WebViewDelegate>(view));
    view->scrollView()->setBounces(true);
    view->webView_->setAutoresizingMask(platform::AutoresizingFlexibleWidth | platform::AutoresizingFlexibleHeight);
    view->addSubview(view->webView_);
    view->reset();
    // Every later change of the page's content size reaches the delegate (a fluid ad grows with it).
    std::weak_ptr<GADAdView> weak = view;
    view->contentSizeObserver_ = view->scrollView()->addContentSizeObserver([weak](platform::ScrollView&) {
        auto self = weak.lock();
        // While a page loads its size is told at the end of the load, once the page is in place.
        if (self && !self->eventsSuspended_) self->reportContentSizeIfChanged();
    });
}

GADAdView::~GADAdView() {
    if (alertView_) alertView_->setDelegate({});
    if (URL_) GADAdURLStash::remove(*URL_, this);
    if (webView_) {
        // Nothing of this ad runs on in the pooled web view.
        closePage();
        // The web view may serve another ad view from the pool.
        if (auto scroll = webView_->scrollView()) scroll->removeContentSizeObserver(contentSizeObserver_);
        webView_->setDelegate({});
        webView_->removeFromSuperview();
        webView_->leaveAd();
        cacheWebView(webView_);
    }
}

void GADAdView::closePage() {
    if (!webView_) return;
    webView_->stopLoading();
    if (auto page = webView_->currentPage()) page->close();
}

void GADAdView::reset() {
    webView_->setClipsToBounds(true);
    webView_->setScalesPageToFit(true);
    setAutoresizingMask(platform::AutoresizingFlexibleWidth | platform::AutoresizingFlexibleHeight);
    setOpaque(false);
    setBackgroundColor(platform::Color::clear());
    webView_->setBackgroundColor(platform::Color::clear());
    webView_->setDataDetectorTypes(0);
    webView_->setAllowsInlineMediaPlayback(true);
    webView_->setMediaPlaybackRequiresUserAction(false);
    scrollView()->setScrollEnabled(true);
    // A tap on the status bar scrolls the app's own content, never the ad.
    scrollView()->setScrollsToTop(false);
    if (!gestureRecognizersAdded_) {
        gestureRecognizersAdded_ = true;
        addGestureRecognizer(touchRecognizer_);
        addGestureRecognizer(impressionTicketRecognizer_);
        addGestureRecognizer(tapWatch_);
    }
}

void GADAdView::setOpaque(bool opaque) {
    platform::View::setOpaque(opaque);
    if (webView_) webView_->setOpaque(opaque);
}

void GADAdView::configureAsBannerAdView() {
    scrollView()->setBounces(false);
    webView_->setScalesPageToFit(false);
    auto defaults = platform::UserDefaults::standard();
    bool prevent = defaults->object("/ruzave/ads/banner_prevent_autoplay").has_value() &&
                   defaults->boolean("/ruzave/ads/banner_prevent_autoplay");
    webView_->setMediaPlaybackRequiresUserAction(prevent);
    setHidden(true);
}

void GADAdView::configureAsInterstitialAdView() {
    scrollView()->setBounces(false);
    webView_->setScalesPageToFit(false);
}

void GADAdView::setDelegate(const std::weak_ptr<GADAdViewDelegate>& delegate) {
    adViewDelegate_ = delegate;
    recordURLInStash();
}

// ---------------------------------------------------------------- loading

void GADAdView::suspendEvents() {
    pendingEvents_.clear();
    eventsSuspended_ = true;
    // Each new page reports its size once loaded, even when it matches the last page's.
    reportedContentSize_.reset();
}

void GADAdView::loadHTMLString(const std::string& html, const std::optional<platform::URL>& baseURL) {
    suspendEvents();
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    setURL(baseURL, self);
    webView_->loadHTMLString(html, baseURL);
}

void GADAdView::loadRequest(const platform::URLRequest& request) {
    suspendEvents();
    webView_->loadRequest(request);
}

void GADAdView::setURL(const std::optional<platform::URL>& url, const std::shared_ptr<GADAdView>& view) {
    if (URL_) GADAdURLStash::remove(*URL_, this);
    URL_ = url;
    if (view.get() == this) {
        recordURLInStash();
    } else if (url && view) {
        GADAdURLStash::add(*url, view, view->delegate() ? view->delegate()->MRAIDScriptKind() : GADMRAIDScriptKind::ExpandedBanner);
    }
}

void GADAdView::recordURLInStash() {
    if (!URL_) return;
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    if (!self) return;
    auto delegate = adViewDelegate_.lock();
    // Decided here, on the main thread, so the loading threads never ask the view or its delegate.
    GADAdURLStash::add(*URL_, self, delegate ? delegate->MRAIDScriptKind() : GADMRAIDScriptKind::ExpandedBanner);
}

// ---------------------------------------------------------------- script

std::string GADAdView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    return webView_->evaluate(script);
}

void GADAdView::executeJavaScriptAsynchronouslyFromString(const std::string& script) {
    webView_->evaluate("setTimeout(function(){" + script + "}, 1);");
}

void GADAdView::postJSNotification(const std::string& name, const std::optional<platform::Value>& userInfo) {
    if (!receivesSDKEvents()) return;
    // A page without a receiver (a creative without the MRAID script) simply does not hear the event.
    std::string command =
        "if (typeof ZUDO_ReceiveMessage == 'function') " + JSCommandForNotificationName(name, userInfo);
    std::weak_ptr<GADAdView> weak = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    // MainLoop::post wakes the loop, so commands from other threads are not left waiting.
    platform::MainLoop::main().post([weak, command = std::move(command)] {
        if (auto self = weak.lock()) self->webView_->evaluate(command);
    });
}

void GADAdView::dispatchSDKEvent(const std::string& name, const std::optional<platform::Value>& parameters) {
    if (!receivesSDKEvents()) return;
    platform::Value info = platform::Value::object();
    info["version"] = GADRequest::sdkVersion();
    info["device"] = GADDevice::sharedInstance()->deviceSubmodel();
    if (parameters && parameters->is_object()) {
        for (auto it = parameters->begin(); it != parameters->end(); ++it) info[it.key()] = it.value();
    }
    if (!eventsSuspended_) {
        postJSNotification(name, info);
        return;
    }
    if (pendingEvents_.size() >= kMaximumPendingEvents) return;
    pendingEvents_.push_back({name, std::move(info)});
}

// ---------------------------------------------------------------- orientation

void GADAdView::setHTMLWindowOrientation(int orientation, bool shouldDispatchOrientationChangeEvent) {
    int angle = 0;
    switch (orientation) {
    case 1: angle = 0; break;
    case 2: angle = 180; break;
    case 3: angle = 90; break;
    case 4: angle = -90; break;
    default: return;
    }
    if (orientation == orientation_) return;
    orientation_ = orientation;
    std::string script = "window.__defineGetter__('orientation',function(){return " + std::to_string(angle) + ";});";
    if (shouldDispatchOrientationChangeEvent) {
        script += "(function(){var event = document.createEvent('Events');event.initEvent('orientationchange', "
                  "true, false);window.dispatchEvent(event);})();";
    }
    executeJavaScriptAsynchronouslyFromString(script);
}

// ---------------------------------------------------------------- state transfer

void GADAdView::saveState() {
    if (savedState_) return;
    savedState_ = GADAdViewState{frame(), superview(), adViewDelegate_, viewController_};
}

void GADAdView::restoreState() {
    if (!savedState_) return;
    GADAdViewState state = *savedState_;
    savedState_.reset();
    auto self = weak_from_this().lock();
    removeFromSuperview();
    setFrame(state.frame);
    if (auto superview = state.superview.lock(); superview && self)
        superview->addSubview(std::static_pointer_cast<platform::View>(self));
    setDelegate(state.delegate);
    viewController_ = state.viewController;
}

// ---------------------------------------------------------------- web view delegate

bool GADAdView::shouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                platform::WebViewNavigationType navigationType) {
    if (!userAgentCaptured()) {
        auto agent = request.allHTTPHeaderFields().value("User-Agent");
        if (agent && !agent->empty()) {
            GADDevice::sharedInstance()->setUserAgentString(*agent);
            userAgentCaptured() = true;
        }
    }
    auto delegate = adViewDelegate_.lock();
    if (!delegate) return true;
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    if (!self) return true;
    return delegate->adView(self, request, navigationType).value_or(true);
}

void GADAdView::didStartLoad(platform::WebView&) {
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    auto delegate = adViewDelegate_.lock();
    if (!delegate || !self) return;
    // What the last page said is handled before the delegate starts over for the new one.
    delegate->deliverPendingMessages();
    delegate->adViewDidStartLoad(self);
}

void GADAdView::didFinishLoad(platform::WebView&) {
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    if (!self) return;
    // The page's messages sent while it loaded (such as a delayed load) come before its end.
    if (auto delegate = adViewDelegate_.lock()) delegate->deliverPendingMessages();
    eventsSuspended_ = false;
    std::deque<PendingEvent> events;
    events.swap(pendingEvents_);
    for (auto& event : events) postJSNotification(event.name, event.parameters);
    if (auto delegate = adViewDelegate_.lock()) delegate->adViewDidFinishLoad(self);
    // A one-point-high frame and back makes the page work out its content size again.
    platform::Rect b = bounds();
    webView_->setFrame(platform::Rect(0, 0, b.width(), 1));
    webView_->setFrame(b);
    reportContentSizeIfChanged();
}

void GADAdView::didFailLoad(platform::WebView&, const platform::Error& error) {
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    auto delegate = adViewDelegate_.lock();
    if (!delegate || !self) return;
    delegate->deliverPendingMessages();
    delegate->adView(self, error);
}

void GADAdView::reportContentSizeIfChanged() {
    auto scroll = scrollView();
    platform::Size size = scroll ? scroll->contentSize() : platform::Size{0, 0};
    if (reportedContentSize_ && reportedContentSize_->width == size.width &&
        reportedContentSize_->height == size.height)
        return;
    reportedContentSize_ = size;
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    if (auto delegate = adViewDelegate_.lock(); delegate && self) delegate->adView(self, size);
}

// ---------------------------------------------------------------- gestures

bool GADAdView::gestureRecognizerShouldReceiveTouch(platform::GestureRecognizer& recognizer, const platform::Touch&) {
    // Any touch passes the auto-click gate; only a tap, at its end, counts as the user's activation.
    if (&recognizer == touchRecognizer_.get()) touched_ = true;
    return true;
}

void GADAdView::setTouched(bool touched) {
    touched_ = touched;
    if (touched)
        tapTime_ = platform::Clock::now();
    else
        tapTime_.reset();
}

bool GADAdView::gestureRecognizerShouldRecognizeSimultaneously(platform::GestureRecognizer& recognizer,
                                                               platform::GestureRecognizer& other) {
    // Two zig-zag recognisers (an ad view inside another) would both open a dialog for one gesture.
    return !(dynamic_cast<GADImpressionTicketGestureRecognizer*>(&recognizer) &&
             dynamic_cast<GADImpressionTicketGestureRecognizer*>(&other));
}

} // namespace ruzave
