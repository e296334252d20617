#pragma once
// The built-in adapter for a network step whose ad is a finished HTML document in the mediation answer
// ("adxtym_html", with an optional "adxtym_passback_url"): renders it in a web view of its own, reports
// the banner once a snapshot shows something, and reports a no-fill when the HTML navigates to its
// passback. Banners only. Registered as "GADMAdapterHTML". Main thread (the rendering timer is started
// and stopped there, whoever asks).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMWebViewRenderedChecker.h"
#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/web/WebViewDelegate.h"

namespace platform {
class Timer;
class WebView;
} // namespace platform

namespace ruzave {

class GADMAdapterHTML : public GADMAdNetworkAdapter,
                        public GADMWebViewRenderedCheckerDelegate,
                        public platform::WebViewDelegate,
                        public std::enable_shared_from_this<GADMAdapterHTML> {
  public:
    static constexpr const char* kClassName = "GADMAdapterHTML";
    static constexpr const char* kHTMLKey = "adxtym_html";
    static constexpr const char* kPassbackURLKey = "adxtym_passback_url";
    static constexpr const char* kPassbackScheme = "passback";
    static constexpr double kCheckInterval = 0.2;
    // Checks after which a web view that still shows nothing is given up (the network's time limit ends it).
    static constexpr std::uint32_t kMaxChecks = 101;

    GADMAdapterHTML() = default;
    ~GADMAdapterHTML() override;

    // --- GADMAdNetworkAdapter.
    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) override;
    void getBannerWithSize(const GADAdSize& adSize) override;
    void getInterstitial() override { failInterstitialRequest(); }
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>&) override {
        failInterstitialRequest();
    }
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int32_t) override { return true; }
    std::optional<std::string> adapterVersion() const override { return std::string("1.1"); }
    std::optional<std::string> networkExtrasClass() const override { return std::nullopt; }

    // Stops being delegate, then drops the web view and the passback URL.
    void clearWebView();
    void startRenderingTimer();
    void stopRenderingTimer();
    static platform::Error errorWithCode(long code, const std::string& text);

    // --- GADMWebViewRenderedCheckerDelegate.
    void webViewIsRendered(platform::WebView& webView, bool rendered) override;

    // --- platform::WebViewDelegate.
    bool shouldStartLoad(platform::WebView& webView, const platform::URLRequest& request,
                         platform::WebViewNavigationType navigationType) override;

    // --- The passback test.
    bool isPassbackRequest(const platform::URLRequest& request) const;
    static bool isPathEquivalentToPath(const std::string& a, const std::string& b);
    static std::string stripTrailingSlashFromPath(const std::string& path);
    // The base URL the HTML is loaded with.
    static platform::URL baseURL();

    std::shared_ptr<GADMAdNetworkConnector> connector() const { return connector_.lock(); }
    std::shared_ptr<platform::WebView> webView() const { return webView_; }
    const std::optional<platform::URL>& passbackUrl() const { return passbackUrl_; }
    std::uint32_t checkRenderingCount() const { return checkRenderingCount_; }
    bool isRenderingTimerRunning() const;

  private:
    void failInterstitialRequest();
    void failAd(long code, const std::string& text);
    void createWebViewWithSize(const platform::Size& size);
    template <typename F> void onMainThread(F&& f);

    std::uint32_t checkRenderingCount_ = 0;
    std::weak_ptr<platform::Timer> checkRenderingTimer_;
    std::weak_ptr<GADMWebViewRenderedChecker> webViewRenderedChecker_;
    std::shared_ptr<platform::WebView> webView_;
    std::optional<platform::URL> passbackUrl_;
    std::weak_ptr<GADMAdNetworkConnector> connector_;
    // Set once the connector heard this load's outcome: a later passback does not answer again.
    bool reported_ = false;
};

} // namespace ruzave
