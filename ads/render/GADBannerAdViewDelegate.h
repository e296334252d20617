#pragma once
// The delegate of a slot's ad view: turns the page's load events into the slot's state steps. Holds
// the slot weakly. Main thread.
#include <memory>

#include "ads/render/GADAdViewDelegate.h"

namespace ruzave {

class GADSlot;

class GADBannerAdViewDelegate : public GADAdViewDelegate {
  public:
    static std::shared_ptr<GADBannerAdViewDelegate> initWithSlot(const std::weak_ptr<GADSlot>& slot);

    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }

    // Once the page has loaded while the slot renders: valid ad, HTML loaded, view shown, impression
    // (banners only), content finished.
    void adViewDidFinishLoad(GADAdView& adView) override;
    // A page that fails before the slot holds a valid ad fails the load with code 2.
    void adView(GADAdView& adView, const platform::Error& error) override;
    using GADAdViewDelegate::adView;

  private:
    explicit GADBannerAdViewDelegate(const std::weak_ptr<GADSlot>& slot) : slot_(slot) {}
    std::weak_ptr<GADSlot> slot_;
};

} // namespace ruzave
