#pragma once
// Tells by pixels whether an ad view shows anything: the view is drawn at scale 1 and the share of
// pixels equal to its background colour decides (below 90%: rendered). Main thread.
#include <memory>
#include <optional>

#include "platform/ui/Bitmap.h"
#include "platform/ui/Color.h"

namespace ruzave {

class GADAdView;
class GADAdViewRenderedCheckerDelegate;

class GADAdViewRenderedChecker {
  public:
    static constexpr float kBackgroundShareLimit = 0.9f;

    static std::shared_ptr<GADAdViewRenderedChecker> initWithAdView(
        const std::weak_ptr<GADAdView>& adView, const std::weak_ptr<GADAdViewRenderedCheckerDelegate>& delegate);

    std::shared_ptr<GADAdView> adView() const { return adView_.lock(); }
    void setAdView(const std::weak_ptr<GADAdView>& adView) { adView_ = adView; }
    std::shared_ptr<GADAdViewRenderedCheckerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADAdViewRenderedCheckerDelegate>& delegate) { delegate_ = delegate; }

    // One check, told to the delegate; nothing once the view or the delegate is gone.
    void checkIsContentRenderedInAdView();
    // The share of pixels that are exactly `color` once it is made premultiplied 8-bit as the bitmap's
    // pixels are. 0 for a colour that is neither grey nor RGB (patterns); nullopt for an empty image.
    static std::optional<float> percentOfImage(const platform::Bitmap& image, const platform::Color& color);

  private:
    GADAdViewRenderedChecker() = default;
    std::weak_ptr<GADAdView> adView_;
    std::weak_ptr<GADAdViewRenderedCheckerDelegate> delegate_;
};

} // namespace ruzave
