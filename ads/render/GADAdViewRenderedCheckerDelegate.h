#pragma once
// Hears whether an ad view has drawn anything but its background. Held weakly. Main thread.
#include <memory>

namespace ruzave {

class GADAdView;

class GADAdViewRenderedCheckerDelegate {
  public:
    virtual ~GADAdViewRenderedCheckerDelegate() = default;
    virtual void adViewDidRenderContent(const std::shared_ptr<GADAdView>& adView) = 0;
    virtual void adViewDidFailToRenderContent(const std::shared_ptr<GADAdView>& adView) = 0;
};

} // namespace ruzave
