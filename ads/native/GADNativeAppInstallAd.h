#pragma once
// An app-install ad (ad-loader type "2"): headline, call to action, app icon, body, pictures, store,
// price and star rating, from a native response or from a mediated network's app-install ad. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/native/GADNativeStandardAd.h"

namespace ruzave {

class GADAdLoader;

class GADNativeAppInstallAd : public GADNativeStandardAd {
  public:
    // Nil without a headline, a call to action or an icon.
    static std::shared_ptr<GADNativeAppInstallAd> initWithDictionary(const platform::Value& dictionary,
                                                                     const Options& options);
    static std::shared_ptr<GADNativeAppInstallAd>
    initWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper, const Options& options);

    static platform::Value requestParametersForAdLoader(const GADAdLoader&) { return {{"format", 2}}; }
    void adLoaderDidReceiveAd(GADAdLoader& loader);

    std::string className() const override { return "GADNativeAppInstallAd"; }
    std::string clickActionTemplateID() const override { return "2"; }
    std::optional<std::set<std::string>> requiredAssets() const override {
        return requiredAssetsWith({"headline", "callToAction", "icon"});
    }

    const std::optional<std::string>& headline() const { return headline_; }
    const std::optional<std::string>& callToAction() const { return callToAction_; }
    std::shared_ptr<GADNativeAdImage> icon() const { return icon_; }
    const std::optional<std::string>& body() const { return body_; }
    const std::optional<std::string>& store() const { return store_; }
    const std::optional<std::string>& price() const { return price_; }
    double starRating() const { return starRating_; }

  protected:
    std::shared_ptr<GADNativeAdImage> singleImage() const override { return icon_; }
    const char* singleImageAssetName() const override { return "icon"; }

  private:
    GADNativeAppInstallAd() = default;
    std::optional<std::string> headline_;
    std::optional<std::string> callToAction_;
    std::shared_ptr<GADNativeAdImage> icon_;
    std::optional<std::string> body_;
    std::optional<std::string> store_;
    std::optional<std::string> price_;
    double starRating_ = 0;
};

} // namespace ruzave
