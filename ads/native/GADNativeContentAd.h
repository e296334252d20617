#pragma once
// A content ad (ad-loader type "1"): headline, body, pictures, logo, call to action and advertiser, from
// a native response or from a mediated network's content ad. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/native/GADNativeStandardAd.h"

namespace ruzave {

class GADAdLoader;

class GADNativeContentAd : public GADNativeStandardAd {
  public:
    // Nil without a headline or a body.
    static std::shared_ptr<GADNativeContentAd> initWithDictionary(const platform::Value& dictionary,
                                                                  const Options& options);
    // Nil unless the wrapped ad is a content ad with a headline and a body.
    static std::shared_ptr<GADNativeContentAd>
    initWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper, const Options& options);

    static platform::Value requestParametersForAdLoader(const GADAdLoader&) { return {{"format", 1}}; }
    // Tells the loader's delegate, when it takes content ads.
    void adLoaderDidReceiveAd(GADAdLoader& loader);

    std::string className() const override { return "GADNativeContentAd"; }
    std::string clickActionTemplateID() const override { return "1"; }
    std::optional<std::set<std::string>> requiredAssets() const override {
        return requiredAssetsWith({"headline", "body"});
    }

    const std::optional<std::string>& headline() const { return headline_; }
    const std::optional<std::string>& body() const { return body_; }
    std::shared_ptr<GADNativeAdImage> logo() const { return logo_; }
    const std::optional<std::string>& callToAction() const { return callToAction_; }
    const std::optional<std::string>& advertiser() const { return advertiser_; }

  protected:
    std::shared_ptr<GADNativeAdImage> singleImage() const override { return logo_; }
    const char* singleImageAssetName() const override { return "logo"; }

  private:
    GADNativeContentAd() = default;
    std::optional<std::string> headline_;
    std::optional<std::string> body_;
    std::shared_ptr<GADNativeAdImage> logo_;
    std::optional<std::string> callToAction_;
    std::optional<std::string> advertiser_;
};

} // namespace ruzave
