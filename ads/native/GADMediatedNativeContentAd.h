#pragma once
// A mediated network's content ad: what the SDK copies into its own content ad. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/native/GADMediatedNativeAd.h"

namespace ruzave {

class GADNativeAdImage;

class GADMediatedNativeContentAd : public GADMediatedNativeAd {
  public:
    virtual std::optional<std::string> headline() const = 0;
    virtual std::optional<std::string> body() const = 0;
    virtual std::vector<std::shared_ptr<GADNativeAdImage>> images() const { return {}; }
    virtual std::shared_ptr<GADNativeAdImage> logo() const { return nullptr; }
    virtual std::optional<std::string> callToAction() const { return std::nullopt; }
    virtual std::optional<std::string> advertiser() const { return std::nullopt; }
};

} // namespace ruzave
