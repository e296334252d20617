#pragma once
// A parsed mediation response: the ad networks to try in order, the ping templates, the refresh and
// per-network time limits, and the ad type the response is for. Built whole or not at all. Main
// thread (a value holder once built).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADAdType;
class GADMAdNetworkConfig;

class GADMConfig {
  public:
    static constexpr double kDefaultAdNetworkTimeout = 10.0;
    static constexpr std::int32_t kDefaultBannerAnimationType = 8;

    // initWithAppKey:configDict:error: — nullptr with a code 7 error (or the error of a network) when
    // the document cannot be used. A missing document fails as a missing "ad_networks".
    static std::shared_ptr<GADMConfig> initWithAppKey(const std::optional<std::string>& appKey,
                                                      const std::optional<platform::Value>& configDict,
                                                      platform::Error* error = nullptr);
    static std::shared_ptr<GADAdType> peekAdTypeFromConfig(const platform::Value& configDict);
    // The ad type table; anything not listed (or missing) is the banner of kGADAdSizeInvalid.
    static std::shared_ptr<GADAdType> adTypeFromString(const std::optional<std::string>& text);

    const std::vector<std::shared_ptr<GADMAdNetworkConfig>>& adNetworkConfigs() const {
        return adNetworkConfigs_;
    }
    double refreshInterval() const { return refreshInterval_; }
    // 30000 s and more, or no number, mean no refresh from the configuration (0).
    void setRefreshInterval(double seconds);
    std::int32_t bannerAnimationType() const { return bannerAnimationType_; }
    double adNetworkTimeout() const { return adNetworkTimeout_; }
    const std::optional<platform::Value>& impressionURLs() const { return impressionURLs_; }
    const std::optional<platform::Value>& clickURLs() const { return clickURLs_; }
    const std::optional<platform::Value>& noFillURLs() const { return noFillURLs_; }
    const std::optional<std::string>& qdata() const { return qdata_; }
    std::shared_ptr<GADAdType> adType() const { return adType_; }
    void setAdType(const std::shared_ptr<GADAdType>& adType) { adType_ = adType; }
    const std::optional<std::string>& appKey() const { return appKey_; }
    const std::optional<platform::Value>& rewards() const { return rewards_; }

    bool parseConfig(const std::optional<platform::Value>& configDict, platform::Error* error);
    bool parseSettingsConfig(const platform::Value& settings, platform::Error* error);
    std::string description() const;

  private:
    GADMConfig() = default;

    std::vector<std::shared_ptr<GADMAdNetworkConfig>> adNetworkConfigs_;
    double refreshInterval_ = 0;
    std::int32_t bannerAnimationType_ = kDefaultBannerAnimationType;
    double adNetworkTimeout_ = kDefaultAdNetworkTimeout;
    std::optional<platform::Value> impressionURLs_, clickURLs_, noFillURLs_;
    std::optional<std::string> qdata_;
    std::shared_ptr<GADAdType> adType_;
    std::optional<std::string> appKey_;
    std::optional<platform::Value> rewards_;
};

} // namespace ruzave
