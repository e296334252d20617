#pragma once
// The delegate of an ad network's script ad: the network's script may pass back (load its passback
// URL, or any "passback:" URL) to say it has no ad, and the load counts as finished only once the
// view is seen by pixels to draw something (checked every 0.2 s, given up after 101 failed checks).
// Otherwise a banner delegate. Main thread.
#include <cstdint>
#include <memory>
#include <optional>

#include "ads/render/GADAdViewRenderedCheckerDelegate.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "platform/base/URL.h"

namespace platform {
class Timer;
} // namespace platform

namespace ruzave {

class GADAdViewRenderedChecker;

class GADAdNetworkJavaScriptAdViewDelegate : public GADBannerAdViewDelegate,
                                             public GADAdViewRenderedCheckerDelegate {
  public:
    static constexpr double kRenderCheckInterval = 0.2;
    static constexpr std::uint32_t kMaximumFailedRenderChecks = 101;

    static std::shared_ptr<GADAdNetworkJavaScriptAdViewDelegate> initWithSlot(
        const std::weak_ptr<GADSlot>& slot, const std::optional<platform::URL>& passbackURL);
    static std::shared_ptr<GADAdNetworkJavaScriptAdViewDelegate> initWithSlot(const std::weak_ptr<GADSlot>& slot) {
        return initWithSlot(slot, std::nullopt);
    }
    ~GADAdNetworkJavaScriptAdViewDelegate() override;

    const std::optional<platform::URL>& passbackURL() const { return passbackURL_; }
    bool wasPassbackReceived() const { return wasPassbackReceived_; }
    bool renderingCheckHasStarted() const { return renderingCheckHasStarted_; }
    std::uint32_t checkRenderingCount() const { return checkRenderingCount_; }
    bool isRenderingTimerRunning() const { return checkRenderingTimer_ != nullptr; }

    // Any "passback:" URL, or one on the passback URL's host (any case) whose path equals its path
    // once one trailing "/" is dropped from each.
    bool isPassbackRequest(const platform::URLRequest& request) const;
    void startRenderingTimerForAdView(const std::shared_ptr<GADAdView>& adView);
    void stopRenderingTimer();

    std::optional<bool> adView(const std::shared_ptr<GADAdView>& adView, const platform::URLRequest& request,
                               platform::WebViewNavigationType navigationType) override;
    // The first finished load (without a passback) starts rendering and the render check; the banner's
    // own load-finished steps wait for the check.
    void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) override;
    using GADBannerAdViewDelegate::adView;

    // GADAdViewRenderedCheckerDelegate
    void adViewDidRenderContent(const std::shared_ptr<GADAdView>& adView) override;
    void adViewDidFailToRenderContent(const std::shared_ptr<GADAdView>& adView) override;

  private:
    GADAdNetworkJavaScriptAdViewDelegate(const std::weak_ptr<GADSlot>& slot,
                                         const std::optional<platform::URL>& passbackURL)
        : GADBannerAdViewDelegate(slot), passbackURL_(passbackURL) {}

    std::optional<platform::URL> passbackURL_;
    bool wasPassbackReceived_ = false;
    bool renderingCheckHasStarted_ = false;
    std::uint32_t checkRenderingCount_ = 0;
    std::shared_ptr<platform::Timer> checkRenderingTimer_;
    std::shared_ptr<GADAdViewRenderedChecker> adViewRenderedChecker_;
};

} // namespace ruzave
