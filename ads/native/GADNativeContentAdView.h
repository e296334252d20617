#pragma once
// A content ad in a view of the app's making: the app places its own asset views inside, registers them
// as the headline, body, picture and so on, and hands the ad over; taps and the impression are then the
// SDK's (GADNativeAdViewPolicy). Asset views stay the app's: they are held weakly. Main thread.
#include <memory>

#include "platform/ui/View.h"

namespace ruzave {

class GADNativeContentAd;
class GADNativeAdViewPolicy;

class GADNativeContentAdView : public platform::View {
  public:
    static constexpr const char* kAttributionIconAssetName = "1007";
    static constexpr const char* kAttributionTextAssetName = "1008";
    static std::shared_ptr<GADNativeContentAdView> initWithFrame(platform::Rect frame);

    // Asset "1001".
    std::shared_ptr<platform::View> headlineView() const { return headlineView_.lock(); }
    void setHeadlineView(const std::shared_ptr<platform::View>& view);
    // Asset "1002".
    std::shared_ptr<platform::View> bodyView() const { return bodyView_.lock(); }
    void setBodyView(const std::shared_ptr<platform::View>& view);
    // Asset "1003".
    std::shared_ptr<platform::View> callToActionView() const { return callToActionView_.lock(); }
    void setCallToActionView(const std::shared_ptr<platform::View>& view);
    // Asset "1004".
    std::shared_ptr<platform::View> advertiserView() const { return advertiserView_.lock(); }
    void setAdvertiserView(const std::shared_ptr<platform::View>& view);
    // Asset "1005".
    std::shared_ptr<platform::View> imageView() const { return imageView_.lock(); }
    void setImageView(const std::shared_ptr<platform::View>& view);
    // Asset "1006".
    std::shared_ptr<platform::View> logoView() const { return logoView_.lock(); }
    void setLogoView(const std::shared_ptr<platform::View>& view);

    std::shared_ptr<GADNativeContentAd> nativeContentAd() const;
    void setNativeContentAd(const std::shared_ptr<GADNativeContentAd>& ad);
    std::shared_ptr<GADNativeAdViewPolicy> nativeAdViewPolicy() const { return nativeAdViewPolicy_; }
    void layoutSubviews() override;
    void didMoveToSuperview() override;

  private:
    explicit GADNativeContentAdView(platform::Rect frame) : platform::View(frame) {}
    std::shared_ptr<GADNativeAdViewPolicy> nativeAdViewPolicy_;
    std::weak_ptr<platform::View> headlineView_;
    std::weak_ptr<platform::View> bodyView_;
    std::weak_ptr<platform::View> callToActionView_;
    std::weak_ptr<platform::View> advertiserView_;
    std::weak_ptr<platform::View> imageView_;
    std::weak_ptr<platform::View> logoView_;
};

} // namespace ruzave
