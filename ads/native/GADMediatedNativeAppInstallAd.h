#pragma once
// A mediated network's app-install ad: what the SDK copies into its own app-install ad. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/native/GADMediatedNativeAd.h"

namespace ruzave {

class GADNativeAdImage;

class GADMediatedNativeAppInstallAd : public GADMediatedNativeAd {
  public:
    virtual std::optional<std::string> headline() const = 0;
    virtual std::optional<std::string> callToAction() const = 0;
    virtual std::shared_ptr<GADNativeAdImage> icon() const = 0;
    virtual std::vector<std::shared_ptr<GADNativeAdImage>> images() const { return {}; }
    virtual std::optional<std::string> body() const { return std::nullopt; }
    virtual std::optional<double> starRating() const { return std::nullopt; }
    virtual std::optional<std::string> store() const { return std::nullopt; }
    virtual std::optional<std::string> price() const { return std::nullopt; }
};

} // namespace ruzave
