#pragma once
// Free-form parameters that an app passes to the ad server with a request. Main thread.
#include <memory>

#include "ads/core/public/GADAdNetworkExtras.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADAd;

class GADExtras : public GADAdNetworkExtras {
public:
    static constexpr const char* kClassName = "GADExtras";

    static std::shared_ptr<GADExtras> init() { return std::shared_ptr<GADExtras>(new GADExtras()); }
    std::string extrasClassName() const override { return kClassName; }

    const platform::Value& additionalParameters() const { return additionalParameters_; }
    void setAdditionalParameters(const platform::Value& parameters) { additionalParameters_ = parameters; }
    // The "_ad" shortcut when it is a fetched ad object rather than an ad dictionary.
    std::shared_ptr<GADAd> ad() const { return ad_; }
    void setAd(const std::shared_ptr<GADAd>& ad) { ad_ = ad; }
    std::shared_ptr<GADExtras> copy() const {
        auto c = init();
        c->setAdditionalParameters(additionalParameters_);
        c->setAd(ad_);
        return c;
    }

private:
    GADExtras() = default;
    platform::Value additionalParameters_;
    std::shared_ptr<GADAd> ad_;
};

} // namespace ruzave
