#pragma once
// The delegate of a slot's ad view (banners and interstitials): tells the slot when the ad has loaded
// (unless the creative delays it), failed or changed size, turns real taps that navigate into clicks
// opened outside the ad's own web view, and adds the handlers only slot-bound ads need. Holds the
// slot weakly. Main thread.
#include <memory>

#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADDelayLoadDelegate.h"

namespace ruzave {

class GADDelayPageLoadGMSGHandler;
class GADSlot;

class GADBannerAdViewDelegate : public GADAdViewDelegate, public GADDelayLoadDelegate {
  public:
    // A tap counts as a click only this long after the ad's HTML loaded.
    static constexpr double kMinimumClickDelayMilliseconds = 150;

    static std::shared_ptr<GADBannerAdViewDelegate> initWithSlot(const std::weak_ptr<GADSlot>& slot);
    static std::shared_ptr<GADBannerAdViewDelegate> init() { return initWithSlot({}); }

    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }
    bool isLoadDelayed() const { return loadDelayed_; }
    bool isLoadFinished() const { return loadFinished_; }

    // isClick: — a touched ad, not while rendering, not right after a load, not back/forward or reload.
    bool isClick(platform::WebViewNavigationType navigationType) const;

    std::optional<bool> adView(const std::shared_ptr<GADAdView>& adView, const platform::URLRequest& request,
                               platform::WebViewNavigationType navigationType) override;
    // A new page starts afresh: the delay flags, count and delegate link of the last ad are dropped.
    void adViewDidStartLoad(const std::shared_ptr<GADAdView>& adView) override;
    // While the slot renders: valid ad, HTML loaded, view shown, impression (banners), content done.
    void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) override;
    // Reported only while the slot fetches or renders (states 4 and 5): code 2.
    void adView(const std::shared_ptr<GADAdView>& adView, const platform::Error& error) override;
    void adView(const std::shared_ptr<GADAdView>& adView, platform::Size contentSize) override;
    GADMRAIDScriptKind MRAIDScriptKind() const override;

    // GADDelayLoadDelegate
    void loadHandlerDidCancel(GADDelayPageLoadGMSGHandler& handler) override;
    void loadHandlerDidChangeDelay(GADDelayPageLoadGMSGHandler& handler, int from, int to) override;

  protected:
    explicit GADBannerAdViewDelegate(const std::weak_ptr<GADSlot>& slot) : slot_(slot) {}
    // The opener's slot and the handlers of a slot-bound ad; factories call it once.
    void setUpForSlot();

  private:
    std::weak_ptr<GADDelayLoadDelegate> selfAsDelayDelegate();

    std::weak_ptr<GADSlot> slot_;
    std::shared_ptr<GADDelayPageLoadGMSGHandler> delayHandler_;
    bool loadDelayed_ = false;
    bool loadFinished_ = false;
};

} // namespace ruzave
