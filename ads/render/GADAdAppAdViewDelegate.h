#pragma once
// The delegate of the web view of an expanded or full-screen ad: a link that the page follows itself
// pings the slot's click URLs (unless switched off; a link the opener takes is its click, a link the
// page drops is none), the landing page's load start and end are stamped into the ad's statistics, and
// the MRAID interceptor is enabled while the page loads (one enable, given back at the load's end,
// failure, or when the delegate goes).
// Main thread.
#include <memory>

#include "ads/render/GADAdViewDelegate.h"

namespace ruzave {

class GADSlot;

class GADAdAppAdViewDelegate : public GADAdViewDelegate {
  public:
    static constexpr const char* kDisableClickPingKey = "/ruzave/ads/disable_interstitial_click_ping_on_click_navigation";

    // The full-screen controller makes it with its slot; an interstitial slot's page also gets app events.
    static std::shared_ptr<GADAdAppAdViewDelegate> initWithSlot(const std::weak_ptr<GADSlot>& slot);
    ~GADAdAppAdViewDelegate() override;

    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }
    bool holdsInterceptorEnable() const { return holdsEnable_; }

    std::optional<bool> adView(const std::shared_ptr<GADAdView>& adView, const platform::URLRequest& request,
                               platform::WebViewNavigationType navigationType) override;
    void adViewDidStartLoad(const std::shared_ptr<GADAdView>& adView) override;
    void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) override;
    void adView(const std::shared_ptr<GADAdView>& adView, const platform::Error& error) override;
    using GADAdViewDelegate::adView;

  private:
    explicit GADAdAppAdViewDelegate(const std::weak_ptr<GADSlot>& slot) : slot_(slot) {}
    void giveBackEnable();

    std::weak_ptr<GADSlot> slot_;
    bool holdsEnable_ = false;
};

} // namespace ruzave
