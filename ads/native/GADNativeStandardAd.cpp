#include "ads/native/GADNativeStandardAd.h"

#include <cstdio>

#include "ads/core/slot/GADSlot.h"
#include "ads/native/GADMediatedNativeAd.h"
#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "ads/render/GADOverlayView.h"

namespace ruzave {

std::optional<std::string> GADNativeStandardAd::stringAt(const platform::Value& dictionary, const char* key) {
    if (const std::string* s = platform::findString(dictionary, key)) return *s;
    return std::nullopt;
}

void GADNativeStandardAd::readImageOptions(const Options& options) {
    auto imageOptions = GADAdLoaderOptionOfType<GADNativeAdImageAdLoaderOptions>(options);
    disableImageLoading_ = imageOptions && imageOptions->disableImageLoading;
}

void GADNativeStandardAd::readImagesAndAttribution(const platform::Value& dictionary, const Options& options) {
    if (const platform::Value* images = platform::find(dictionary, "images"))
        if (auto list = GADNativeAdImage::nativeAdImagesFromImageConfigurationArray(*images, options))
            nativeAdImages_ = std::move(*list);
    const platform::Value* attribution = platform::find(dictionary, "attribution");
    // Always an attribution for an ad from a response, even without the key: it then has no icons.
    attribution_ = GADNativeAdAttribution::initWithDictionary(attribution ? *attribution : platform::Value::object());
    overlayView_ = GADOverlayView::initWithFrame(platform::Rect::zero());
    overlayView_->setHidden(true);
}

std::set<std::string> GADNativeStandardAd::requiredAssetsWith(std::initializer_list<const char*> names) const {
    std::set<std::string> required;
    if (auto base = GADNativeAd::requiredAssets()) required = *base;
    for (const char* name : names) required.insert(name);
    if (attribution_) required.insert("attribution");
    return required;
}

void GADNativeStandardAd::setSlot(const std::shared_ptr<GADSlot>& slot) {
    GADNativeAd::setSlot(slot);
    if (overlayView_ && slot) overlayView_->setAdView(slot->adView());
}

void GADNativeStandardAd::loadAssetsWithCompletionHandler(AssetLoadCompletionHandler handler) {
    GADNativeAd::loadAssetsWithCompletionHandler(std::move(handler));
    if (!shouldLoadAssets()) return;
    std::weak_ptr<GADNativeAd> weakSelf = weak_from_this();
    auto report = [weakSelf](std::string name) {
        return [weakSelf, name](const std::optional<platform::Error>& error) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (error)
                self->failedToLoadAssetWithName(name);
            else
                self->finishedLoadingAssetWithName(name);
        };
    };
    if (!disableImageLoading_) {
        if (auto single = singleImage()) {
            addAssetWithNameToRequestedAssets(singleImageAssetName());
            single->loadImageWithCompletionHandler(report(singleImageAssetName()));
        }
        for (const auto& image : nativeAdImages_) {
            // Keyed by the object as well as the URL: two pictures of one URL are two assets.
            char address[32];
            std::snprintf(address, sizeof address, "%p", static_cast<const void*>(image.get()));
            std::string name =
                std::string(address) + ":" + (image->imageURL() ? image->imageURL()->absoluteString() : "");
            addAssetWithNameToRequestedAssets(name);
            std::weak_ptr<GADNativeStandardAd> weakStandard =
                std::static_pointer_cast<GADNativeStandardAd>(shared_from_this());
            auto done = report(name);
            image->loadImageWithCompletionHandler(
                [weakStandard, image, done](const std::optional<platform::Error>& error) {
                    if (auto self = weakStandard.lock(); self && !error)
                        self->availableNativeAdImages_.push_back(image);
                    done(error);
                });
        }
    } else {
        availableNativeAdImages_.insert(availableNativeAdImages_.end(), nativeAdImages_.begin(), nativeAdImages_.end());
    }
    if (attribution_) {
        addAssetWithNameToRequestedAssets("attribution");
        attribution_->loadAssetsWithCompletionHandler(report("attribution"));
    }
}

void GADNativeStandardAd::performClickOnView(const std::shared_ptr<platform::View>& view,
                                             const std::optional<std::string>& assetName,
                                             const platform::Value& environment) {
    GADNativeAd::performClickOnView(view, assetName, environment);
    if (auto mediated = mediatedNativeAd())
        mediated->reportClickOnAssetWithWithName(assetName.value_or(""), view, rootViewController());
}

void GADNativeStandardAd::recordImpression() {
    // Only the first recorded impression reaches the other network.
    bool first = !hasRecordedImpression();
    GADNativeAd::recordImpression();
    if (!first) return;
    if (auto mediated = mediatedNativeAd()) mediated->reportImpressionToNetwork();
}

void GADNativeStandardAd::nativeAdViewPolicyDidStartTrackingView(const std::shared_ptr<platform::View>& view) {
    if (auto mediated = mediatedNativeAd()) mediated->reportMediatedAdRenderedInView(view);
}

} // namespace ruzave
