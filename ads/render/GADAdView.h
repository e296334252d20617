#pragma once
// The view that shows one ad (and the SDK-core page): it wraps a platform web view filling it, passes
// the web view's load events to a GADAdViewDelegate, and keeps the banner and interstitial set-ups and
// the creative's debug text and touch record. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/web/WebView.h"
#include "platform/web/WebViewDelegate.h"

namespace platform {
class ScrollView;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAdViewDelegate;

class GADAdView : public platform::View, public platform::WebViewDelegate {
  public:
    static std::shared_ptr<GADAdView> initWithFrame(platform::Rect frame);
    static std::shared_ptr<GADAdView> init() { return initWithFrame(platform::Rect::zero()); }

    std::shared_ptr<GADAdViewDelegate> delegate() const { return adViewDelegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADAdViewDelegate>& delegate) { adViewDelegate_ = delegate; }

    void loadHTMLString(const std::string& html, const std::optional<platform::URL>& baseURL);
    void loadRequest(const platform::URLRequest& request);
    void stopLoading() { webView_->stopLoading(); }
    bool isLoading() const { return webView_->isLoading(); }
    std::string evaluate(const std::string& script) { return webView_->evaluate(script); }
    std::shared_ptr<platform::ScrollView> scrollView() const { return webView_->scrollView(); }
    std::shared_ptr<platform::WebView> webView() const { return webView_; }

    // No bouncing, no scaling to fit, autoplay per the "/ruzave/ads/banner_prevent_autoplay" setting,
    // hidden until an ad has loaded.
    void configureAsBannerAdView();
    // No bouncing, no scaling to fit.
    void configureAsInterstitialAdView();

    const std::optional<std::string>& adDebugDialog() const { return adDebugDialog_; }
    void setAdDebugDialog(const std::optional<std::string>& text) { adDebugDialog_ = text; }
    bool isTouched() const { return touched_; }
    void setTouched(bool touched) { touched_ = touched; }
    // Presents full-screen content after clicks (not the controller whose view this is).
    std::shared_ptr<platform::ViewController> viewController() const { return viewController_.lock(); }
    void setViewController(const std::weak_ptr<platform::ViewController>& controller) {
        viewController_ = controller;
    }

    // The web view's load events, passed on to the ad-view delegate.
    bool shouldStartLoad(platform::WebView& webView, const platform::URLRequest& request,
                         platform::WebViewNavigationType navigationType) override;
    void didStartLoad(platform::WebView& webView) override;
    void didFinishLoad(platform::WebView& webView) override;
    void didFailLoad(platform::WebView& webView, const platform::Error& error) override;

  protected:
    explicit GADAdView(platform::Rect frame);

  private:
    std::shared_ptr<platform::WebView> webView_;
    std::weak_ptr<GADAdViewDelegate> adViewDelegate_;
    std::weak_ptr<platform::ViewController> viewController_;
    std::optional<std::string> adDebugDialog_;
    bool touched_ = false;
};

} // namespace ruzave
