#include "ads/native/GADNativeAppInstallAd.h"

#include "ads/native/GADMediatedNativeAppInstallAd.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADNativeAdImage.h"

namespace ruzave {

std::shared_ptr<GADNativeAppInstallAd> GADNativeAppInstallAd::initWithDictionary(const platform::Value& dictionary,
                                                                                 const Options& options) {
    if (!dictionary.is_object()) return nullptr;
    std::shared_ptr<GADNativeAppInstallAd> ad(new GADNativeAppInstallAd());
    ad->setUpWithDictionary(dictionary);
    ad->readImageOptions(options);
    ad->headline_ = stringAt(dictionary, "headline");
    ad->callToAction_ = stringAt(dictionary, "call_to_action");
    ad->body_ = stringAt(dictionary, "body");
    ad->store_ = stringAt(dictionary, "store");
    ad->price_ = stringAt(dictionary, "price");
    if (const platform::Value* rating = platform::find(dictionary, "rating")) ad->starRating_ = platform::doubleValue(*rating);
    if (const platform::Value* icon = platform::find(dictionary, "app_icon"))
        ad->icon_ = GADNativeAdImage::initWithDictionary(*icon);
    ad->readImagesAndAttribution(dictionary, options);
    if (!ad->headline_ || !ad->callToAction_ || !ad->icon_) return nullptr;
    return ad;
}

std::shared_ptr<GADNativeAppInstallAd>
GADNativeAppInstallAd::initWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper,
                                                const Options& options) {
    auto appInstall =
        std::dynamic_pointer_cast<GADMediatedNativeAppInstallAd>(wrapper ? wrapper->mediatedNativeAd() : nullptr);
    if (!appInstall) return nullptr;
    std::shared_ptr<GADNativeAppInstallAd> ad(new GADNativeAppInstallAd());
    ad->setUpWithMediatedNativeAd(wrapper);
    ad->readImageOptions(options);
    ad->headline_ = appInstall->headline();
    ad->callToAction_ = appInstall->callToAction();
    ad->body_ = appInstall->body();
    ad->store_ = appInstall->store();
    ad->price_ = appInstall->price();
    ad->starRating_ = appInstall->starRating().value_or(0);
    ad->setAvailableImages(appInstall->images());
    ad->icon_ = appInstall->icon();
    if (!ad->headline_ || !ad->callToAction_ || !ad->icon_) return nullptr;
    ad->observeNotificationsFromMediatedNativeAd();
    return ad;
}

void GADNativeAppInstallAd::adLoaderDidReceiveAd(GADAdLoader& loader) {
    if (auto d = std::dynamic_pointer_cast<GADNativeAppInstallAdLoaderDelegate>(loader.delegate()))
        d->adLoaderDidReceiveNativeAppInstallAd(loader, std::static_pointer_cast<GADNativeAppInstallAd>(shared_from_this()));
}

} // namespace ruzave
