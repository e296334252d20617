#include "ads/native/GADNativeContentAd.h"

#include "ads/native/GADMediatedNativeContentAd.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADNativeAdImage.h"

namespace ruzave {

std::shared_ptr<GADNativeContentAd> GADNativeContentAd::initWithDictionary(const platform::Value& dictionary,
                                                                           const Options& options) {
    if (!dictionary.is_object()) return nullptr;
    std::shared_ptr<GADNativeContentAd> ad(new GADNativeContentAd());
    ad->setUpWithDictionary(dictionary);
    ad->readImageOptions(options);
    ad->headline_ = stringAt(dictionary, "headline");
    ad->body_ = stringAt(dictionary, "body");
    ad->callToAction_ = stringAt(dictionary, "call_to_action");
    ad->advertiser_ = stringAt(dictionary, "advertiser");
    if (const platform::Value* logo = platform::find(dictionary, "secondary_image"))
        ad->logo_ = GADNativeAdImage::initWithDictionary(*logo);
    ad->readImagesAndAttribution(dictionary, options);
    if (!ad->headline_ || !ad->body_) return nullptr;
    return ad;
}

std::shared_ptr<GADNativeContentAd>
GADNativeContentAd::initWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper,
                                             const Options& options) {
    auto content = std::dynamic_pointer_cast<GADMediatedNativeContentAd>(wrapper ? wrapper->mediatedNativeAd() : nullptr);
    if (!content) return nullptr;
    std::shared_ptr<GADNativeContentAd> ad(new GADNativeContentAd());
    ad->setUpWithMediatedNativeAd(wrapper);
    ad->readImageOptions(options);
    ad->headline_ = content->headline();
    ad->body_ = content->body();
    ad->callToAction_ = content->callToAction();
    ad->advertiser_ = content->advertiser();
    ad->setAvailableImages(content->images());
    ad->logo_ = content->logo();
    if (!ad->headline_ || !ad->body_) return nullptr;
    ad->observeNotificationsFromMediatedNativeAd();
    return ad;
}

void GADNativeContentAd::adLoaderDidReceiveAd(GADAdLoader& loader) {
    if (auto d = std::dynamic_pointer_cast<GADNativeContentAdLoaderDelegate>(loader.delegate()))
        d->adLoaderDidReceiveNativeContentAd(loader, std::static_pointer_cast<GADNativeContentAd>(shared_from_this()));
}

} // namespace ruzave
