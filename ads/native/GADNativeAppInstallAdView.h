#pragma once
// An app-install ad in a view of the app's making: the app registers its own asset views (headline,
// call to action, icon, ...) and hands the ad over; taps and the impression are then the SDK's
// (GADNativeAdViewPolicy). Asset views stay the app's: they are held weakly. Main thread.
#include <memory>

#include "platform/ui/View.h"

namespace ruzave {

class GADNativeAppInstallAd;
class GADNativeAdViewPolicy;

class GADNativeAppInstallAdView : public platform::View {
  public:
    static constexpr const char* kAttributionIconAssetName = "2009";
    static constexpr const char* kAttributionTextAssetName = "2010";
    static std::shared_ptr<GADNativeAppInstallAdView> initWithFrame(platform::Rect frame);

    // Asset "2001".
    std::shared_ptr<platform::View> headlineView() const { return headlineView_.lock(); }
    void setHeadlineView(const std::shared_ptr<platform::View>& view);
    // Asset "2002".
    std::shared_ptr<platform::View> callToActionView() const { return callToActionView_.lock(); }
    void setCallToActionView(const std::shared_ptr<platform::View>& view);
    // Asset "2003".
    std::shared_ptr<platform::View> iconView() const { return iconView_.lock(); }
    void setIconView(const std::shared_ptr<platform::View>& view);
    // Asset "2004".
    std::shared_ptr<platform::View> bodyView() const { return bodyView_.lock(); }
    void setBodyView(const std::shared_ptr<platform::View>& view);
    // Asset "2005".
    std::shared_ptr<platform::View> storeView() const { return storeView_.lock(); }
    void setStoreView(const std::shared_ptr<platform::View>& view);
    // Asset "2006".
    std::shared_ptr<platform::View> priceView() const { return priceView_.lock(); }
    void setPriceView(const std::shared_ptr<platform::View>& view);
    // Asset "2007".
    std::shared_ptr<platform::View> imageView() const { return imageView_.lock(); }
    void setImageView(const std::shared_ptr<platform::View>& view);
    // Asset "2008".
    std::shared_ptr<platform::View> starRatingView() const { return starRatingView_.lock(); }
    void setStarRatingView(const std::shared_ptr<platform::View>& view);

    std::shared_ptr<GADNativeAppInstallAd> nativeAppInstallAd() const;
    void setNativeAppInstallAd(const std::shared_ptr<GADNativeAppInstallAd>& ad);
    std::shared_ptr<GADNativeAdViewPolicy> nativeAdViewPolicy() const { return nativeAdViewPolicy_; }
    void layoutSubviews() override;
    void didMoveToSuperview() override;

  private:
    explicit GADNativeAppInstallAdView(platform::Rect frame) : platform::View(frame) {}
    std::shared_ptr<GADNativeAdViewPolicy> nativeAdViewPolicy_;
    std::weak_ptr<platform::View> headlineView_;
    std::weak_ptr<platform::View> callToActionView_;
    std::weak_ptr<platform::View> iconView_;
    std::weak_ptr<platform::View> bodyView_;
    std::weak_ptr<platform::View> storeView_;
    std::weak_ptr<platform::View> priceView_;
    std::weak_ptr<platform::View> imageView_;
    std::weak_ptr<platform::View> starRatingView_;
};

} // namespace ruzave
