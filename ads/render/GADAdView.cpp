#include "ads/render/GADAdView.h"

#include "ads/render/GADAdViewDelegate.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ScrollView.h"

namespace ruzave {

GADAdView::GADAdView(platform::Rect frame) : platform::View(frame) {}

std::shared_ptr<GADAdView> GADAdView::initWithFrame(platform::Rect frame) {
    std::shared_ptr<GADAdView> view(new GADAdView(frame));
    view->webView_ = platform::WebView::create(platform::Rect(0, 0, frame.width(), frame.height()));
    view->webView_->setAutoresizingMask(platform::AutoresizingFlexibleWidth |
                                        platform::AutoresizingFlexibleHeight);
    // The view hears its web view's load events and passes them on; held weakly, so no cycle.
    view->webView_->setDelegate(std::weak_ptr<platform::WebViewDelegate>(view));
    view->addSubview(view->webView_);
    return view;
}

void GADAdView::loadHTMLString(const std::string& html, const std::optional<platform::URL>& baseURL) {
    webView_->loadHTMLString(html, baseURL);
}

void GADAdView::loadRequest(const platform::URLRequest& request) {
    webView_->loadRequest(request);
}

void GADAdView::configureAsBannerAdView() {
    scrollView()->setBounces(false);
    webView_->setScalesPageToFit(false);
    if (platform::UserDefaults::standard()->boolean("/ruzave/ads/banner_prevent_autoplay")) {
        webView_->setMediaPlaybackRequiresUserAction(true);
    }
    setHidden(true);
}

void GADAdView::configureAsInterstitialAdView() {
    scrollView()->setBounces(false);
    webView_->setScalesPageToFit(false);
}

bool GADAdView::shouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                platform::WebViewNavigationType navigationType) {
    auto delegate = adViewDelegate_.lock();
    if (!delegate) return true;
    return delegate->adView(*this, request, navigationType).value_or(true);
}

void GADAdView::didStartLoad(platform::WebView&) {
    if (auto delegate = adViewDelegate_.lock()) delegate->adViewDidStartLoad(*this);
}

void GADAdView::didFinishLoad(platform::WebView&) {
    if (auto delegate = adViewDelegate_.lock()) delegate->adViewDidFinishLoad(*this);
}

void GADAdView::didFailLoad(platform::WebView&, const platform::Error& error) {
    if (auto delegate = adViewDelegate_.lock()) delegate->adView(*this, error);
}

} // namespace ruzave
