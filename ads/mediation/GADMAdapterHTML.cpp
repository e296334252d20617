#include "ads/mediation/GADMAdapterHTML.h"

#include <array>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/Timer.h"
#include "platform/web/WebView.h"

namespace ruzave {
namespace {

const platform::ClassRegistrar<GADMAdapterHTML, GADMAdNetworkAdapter>
    registrar(GADMAdapterHTML::kClassName, {GADMAdNetworkAdapter::kProtocolName});

// The base URL, kept out of the binary's plain strings: each byte XOR kScrambleKey, done at compile
// time. On the SDK's own ad host, so that relative references of the HTML stay with it.
constexpr unsigned char kScrambleKey = 0x5A;
template <std::size_t N> constexpr std::array<unsigned char, N - 1> scramble(const char (&text)[N]) {
    std::array<unsigned char, N - 1> out{};
    for (std::size_t i = 0; i + 1 < N; ++i) out[i] = static_cast<unsigned char>(text[i]) ^ kScrambleKey;
    return out;
}
constexpr auto kScrambledBaseURL = scramble("https://ads.ruzave.example/mads/tym/");

} // namespace

GADMAdapterHTML::~GADMAdapterHTML() {
    connector_.reset();
    clearWebView();
}

platform::URL GADMAdapterHTML::baseURL() {
    std::string text;
    for (unsigned char c : kScrambledBaseURL) text.push_back(char(c ^ kScrambleKey));
    static const platform::URL url = *platform::URL::parse(text);
    return url;
}

void GADMAdapterHTML::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& c) {
    connector_ = c;
}

platform::Error GADMAdapterHTML::errorWithCode(long code, const std::string& text) {
    platform::Value info = platform::Value::object();
    info[kGADLocalizedDescriptionKey] = text;
    return platform::Error(kGADErrorDomain, code, text, std::move(info));
}

void GADMAdapterHTML::failInterstitialRequest() {
    auto self = shared_from_this();
    if (auto c = connector_.lock()) c->adapterDidFailInterstitial(*this, errorWithCode(0, "Interstitials not supported."));
}

void GADMAdapterHTML::failAd(long code, const std::string& text) {
    auto self = shared_from_this();
    reported_ = true;
    if (auto c = connector_.lock()) c->adapterDidFailAd(*this, errorWithCode(code, text));
}

void GADMAdapterHTML::getBannerWithSize(const GADAdSize& adSize) {
    auto self = shared_from_this();
    clearWebView();
    reported_ = false;
    auto c = connector_.lock();
    if (!c) return;
    platform::Value credentials = c->credentials();
    const std::string* html = credentials.is_object() ? platform::findString(credentials, kHTMLKey) : nullptr;
    const std::string* passback =
        credentials.is_object() ? platform::findString(credentials, kPassbackURLKey) : nullptr;
    if (passback) {
        if (passback->empty()) return failAd(2, "Empty passback URL in TYM response.");
        passbackUrl_ = platform::URL::parse(*passback);
        if (!passbackUrl_) return failAd(2, "Invalid passback URL in TYM response.");
    }
    if (!html || html->empty()) return failAd(2, "Missing HTML in TYM response.");
    createWebViewWithSize(CGSizeFromGADAdSize(adSize));
    webView_->loadHTMLString(*html, baseURL());
    startRenderingTimer();
}

void GADMAdapterHTML::createWebViewWithSize(const platform::Size& size) {
    webView_ = platform::WebView::create(platform::Rect{{0, 0}, size});
    webView_->setScalesPageToFit(false);
    webView_->setClipsToBounds(true);
    webView_->setAutoresizingMask(platform::AutoresizingFlexibleWidth | platform::AutoresizingFlexibleHeight);
    webView_->setOpaque(false);
    webView_->setBackgroundColor(platform::Color::clear());
    webView_->setAllowsInlineMediaPlayback(true);
    webView_->setMediaPlaybackRequiresUserAction(true);
    webView_->setDataDetectorTypes(0);
    webView_->setDelegate(std::weak_ptr<platform::WebViewDelegate>(shared_from_this()));
}

template <typename F> void GADMAdapterHTML::onMainThread(F&& f) {
    if (platform::MainLoop::isMainThread()) {
        f();
    } else {
        platform::DispatchQueue::main()->sync([&] { f(); });
    }
}

void GADMAdapterHTML::startRenderingTimer() {
    onMainThread([this] {
        auto checker = std::make_shared<GADMWebViewRenderedChecker>(
            webView_, std::weak_ptr<GADMWebViewRenderedCheckerDelegate>(shared_from_this()));
        webViewRenderedChecker_ = checker;
        // The timer owns the checker; the run loop owns the timer until it is invalidated.
        checkRenderingTimer_ = platform::Timer::scheduledTimer(
            kCheckInterval, true, [checker](platform::Timer&) { checker->checkIsContentRenderedInWebView(); });
    });
}

void GADMAdapterHTML::stopRenderingTimer() {
    onMainThread([this] {
        if (auto checker = webViewRenderedChecker_.lock()) {
            checker->setWebView({});
            checker->setDelegate({});
        }
        webViewRenderedChecker_.reset();
        if (auto timer = checkRenderingTimer_.lock()) timer->invalidate();
        checkRenderingTimer_.reset();
    });
}

bool GADMAdapterHTML::isRenderingTimerRunning() const {
    auto timer = checkRenderingTimer_.lock();
    return timer && timer->isValid();
}

void GADMAdapterHTML::stopBeingDelegate() {
    if (webView_) webView_->setDelegate({});
    stopRenderingTimer();
}

void GADMAdapterHTML::clearWebView() {
    stopBeingDelegate();
    webView_.reset();
    passbackUrl_.reset();
}

void GADMAdapterHTML::webViewIsRendered(platform::WebView& webView, bool rendered) {
    if (!webView_ || webView_.get() != &webView) return;
    auto self = shared_from_this();
    ++checkRenderingCount_;
    if (rendered) {
        stopRenderingTimer();
        reported_ = true;
        if (auto c = connector_.lock()) c->adapterDidReceiveAdView(*this, webView_);
    } else if (checkRenderingCount_ >= kMaxChecks) {
        stopRenderingTimer();
    }
}

bool GADMAdapterHTML::shouldStartLoad(platform::WebView& webView, const platform::URLRequest& request,
                                      platform::WebViewNavigationType) {
    if (!webView_ || webView_.get() != &webView || request.url().absoluteString().empty()) return false;
    if (!isPassbackRequest(request)) return true;
    stopRenderingTimer();
    if (!reported_) failAd(1, "Ad network returned no ad.");
    return false;
}

std::string GADMAdapterHTML::stripTrailingSlashFromPath(const std::string& path) {
    if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
    return path;
}

bool GADMAdapterHTML::isPathEquivalentToPath(const std::string& a, const std::string& b) {
    return stripTrailingSlashFromPath(a) == stripTrailingSlashFromPath(b);
}

bool GADMAdapterHTML::isPassbackRequest(const platform::URLRequest& request) const {
    const platform::URL& url = request.url();
    if (url.scheme() == kPassbackScheme) return true;
    if (!passbackUrl_) return false;
    // The document's own base URL is never a passback, and a host-less URL matches no host.
    if (url.absoluteString() == baseURL().absoluteString()) return false;
    const std::string host = url.host();
    if (host.empty() || passbackUrl_->host().empty() || host != passbackUrl_->host()) return false;
    return isPathEquivalentToPath(url.path(), passbackUrl_->path());
}

} // namespace ruzave
