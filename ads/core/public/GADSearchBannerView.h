#pragma once
// The banner shown for search ads: a banner view under its own class name, with nothing added. Main thread.
#include <memory>

#include "ads/core/public/GADBannerView.h"

namespace ruzave {

class GADSearchBannerView : public GADBannerView {
  public:
    // As GADBannerView's: an invalid size logs why and gives no view.
    static std::shared_ptr<GADSearchBannerView> initWithFrame(platform::Rect frame, const GADAdSize& adSize);
    static std::shared_ptr<GADSearchBannerView> initWithAdSize(const GADAdSize& adSize);
    static std::shared_ptr<GADSearchBannerView> initWithAdSize(const GADAdSize& adSize, platform::Point origin);
    static std::shared_ptr<GADSearchBannerView> initWithFrame(platform::Rect frame);
    static std::shared_ptr<GADSearchBannerView> init();

  protected:
    explicit GADSearchBannerView(platform::Rect frame) : GADBannerView(frame) {}
    std::string className() const override { return "GADSearchBannerView"; }
};

} // namespace ruzave
