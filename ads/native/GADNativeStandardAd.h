#pragma once
// What the content ad and the app-install ad share: their pictures, the one single image asset (logo or
// icon), the attribution badge, the overlay view, and how their assets load. Clicks and impressions go
// through the base class and, for a mediated ad, to the other network as well. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/native/GADNativeAd.h"

namespace ruzave {

class GADNativeAdAttribution;
class GADNativeAdImage;
class GADOverlayView;

class GADNativeStandardAd : public GADNativeAd {
  public:
    // The pictures that can be shown: grows while they arrive, complete once loading has ended.
    const std::vector<std::shared_ptr<GADNativeAdImage>>& images() const { return availableNativeAdImages_; }
    // The pictures as configured by the response.
    const std::vector<std::shared_ptr<GADNativeAdImage>>& nativeAdImages() const { return nativeAdImages_; }
    std::shared_ptr<GADNativeAdAttribution> attribution() const { return attribution_; }
    void setAttribution(const std::shared_ptr<GADNativeAdAttribution>& a) { attribution_ = a; }
    std::shared_ptr<GADOverlayView> overlayView() const { return overlayView_; }
    bool disableImageLoading() const { return disableImageLoading_; }

    void setSlot(const std::shared_ptr<GADSlot>& slot) override;
    void loadAssetsWithCompletionHandler(AssetLoadCompletionHandler handler) override;
    void performClickOnView(const std::shared_ptr<platform::View>& view, const std::optional<std::string>& assetName,
                            const platform::Value& environment) override;
    void recordImpression() override;
    // nativeAdViewPolicy:didStartedTrackingView: — the mediated network hears where its ad is shown.
    void nativeAdViewPolicyDidStartTrackingView(const std::shared_ptr<platform::View>& view);

  protected:
    GADNativeStandardAd() = default;
    // The single image asset and its asset name ("logo" or "icon").
    virtual std::shared_ptr<GADNativeAdImage> singleImage() const = 0;
    virtual const char* singleImageAssetName() const = 0;
    // Reads "images" and "attribution", makes the hidden overlay view.
    void readImagesAndAttribution(const platform::Value& dictionary, const Options& options);
    void readImageOptions(const Options& options);
    void setAvailableImages(std::vector<std::shared_ptr<GADNativeAdImage>> images) {
        availableNativeAdImages_ = std::move(images);
    }
    // The string at `key` of `dictionary`, when it is one.
    static std::optional<std::string> stringAt(const platform::Value& dictionary, const char* key);
    // The base set plus `names`, plus "attribution" when there is one.
    std::set<std::string> requiredAssetsWith(std::initializer_list<const char*> names) const;

  private:
    bool disableImageLoading_ = false;
    std::vector<std::shared_ptr<GADNativeAdImage>> nativeAdImages_;
    std::vector<std::shared_ptr<GADNativeAdImage>> availableNativeAdImages_;
    std::shared_ptr<GADNativeAdAttribution> attribution_;
    std::shared_ptr<GADOverlayView> overlayView_;
};

} // namespace ruzave
