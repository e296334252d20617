#include "ads/mediation/GADMConfig.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/util/GADLogger.h"
#include "ads/mediation/GADMAdNetworkConfig.h"

namespace ruzave {
namespace {

bool answersNumber(const platform::Value& v) {
    return v.is_number() || v.is_string() || v.is_boolean();
}

std::optional<platform::Value> arrayAt(const platform::Value& dictionary, const char* key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->is_array()) return std::nullopt;
    return *it;
}

} // namespace

std::shared_ptr<GADMConfig> GADMConfig::initWithAppKey(const std::optional<std::string>& appKey,
                                                       const std::optional<platform::Value>& configDict,
                                                       platform::Error* error) {
    std::shared_ptr<GADMConfig> config(new GADMConfig());
    config->appKey_ = appKey;
    if (!config->parseConfig(configDict, error)) return nullptr;
    return config;
}

std::shared_ptr<GADAdType> GADMConfig::adTypeFromString(const std::optional<std::string>& text) {
    static const std::map<std::string, GADAdSize> sizes = {
        {"banner", kGADAdSizeBanner},         {"largebanner", kGADAdSizeLargeBanner},
        {"mrec", kGADAdSizeMediumRectangle},  {"fullbanner", kGADAdSizeFullBanner},
        {"leaderboard", kGADAdSizeLeaderboard}, {"skyscraper", kGADAdSizeSkyscraper},
    };
    if (text && *text == "interstitial") return GADAdType::interstitialAdType();
    if (text) {
        if (auto it = sizes.find(*text); it != sizes.end()) return GADAdType::bannerAdTypeForSize(it->second);
    }
    return GADAdType::bannerAdTypeForSize(kGADAdSizeInvalid);
}

std::shared_ptr<GADAdType> GADMConfig::peekAdTypeFromConfig(const platform::Value& configDict) {
    const std::string* type = configDict.is_object() ? platform::findString(configDict, "ad_type") : nullptr;
    return adTypeFromString(type ? std::optional<std::string>(*type) : std::nullopt);
}

void GADMConfig::setRefreshInterval(double seconds) {
    refreshInterval_ = (std::isfinite(seconds) && seconds < 30000.0) ? seconds : 0.0;
}

bool GADMConfig::parseConfig(const std::optional<platform::Value>& configDict, platform::Error* error) {
    adNetworkConfigs_.clear();
    bannerAnimationType_ = kDefaultBannerAnimationType;
    adNetworkTimeout_ = kDefaultAdNetworkTimeout;
    const platform::Value empty = platform::Value::object();
    const platform::Value& document = (configDict && configDict->is_object()) ? *configDict : empty;

    adType_ = peekAdTypeFromConfig(document);
    if (auto settings = document.find("settings"); settings != document.end() && settings->is_object())
        parseSettingsConfig(*settings, error);
    if (const auto* qdata = platform::findString(document, "qdata")) qdata_ = *qdata;

    auto networks = document.find("ad_networks");
    if (networks == document.end() || !networks->is_array()) {
        platform::setError(error, GADRequestError::errorWithCode(GADRequestErrorInvalidMediationResponse));
        return false;
    }
    std::vector<std::shared_ptr<GADMAdNetworkConfig>> configs;
    for (const auto& element : *networks) {
        if (!element.is_object()) continue;
        platform::Error networkError;
        auto network = GADMAdNetworkConfig::initWithDictionary(element, &networkError);
        if (network) configs.push_back(network);
        if (networkError.empty()) continue;
        if (networkError.code == GADRequestErrorAdapterNotFound) {
            GADLogger::sharedInstance()->logPublicMessage(networkError.description);
            continue;
        }
        platform::setError(error, networkError);
        return false;
    }
    adNetworkConfigs_ = std::move(configs);
    return true;
}

bool GADMConfig::parseSettingsConfig(const platform::Value& settings, platform::Error*) {
    if (auto it = settings.find("refresh"); it != settings.end() && answersNumber(*it))
        setRefreshInterval(platform::doubleValue(*it));
    if (auto it = settings.find("ad_network_timeout_millis"); it != settings.end() && answersNumber(*it)) {
        // A time limit that is not a positive finite number would end every attempt at once or never.
        double seconds = platform::doubleValue(*it) / 1000.0;
        if (std::isfinite(seconds) && seconds > 0) adNetworkTimeout_ = seconds;
    }
    if (auto it = settings.find("ad_transition_anim"); it != settings.end() && answersNumber(*it)) {
        long long animation = platform::integerValue(*it);
        if (animation >= 0 && animation <= 8) bannerAnimationType_ = static_cast<std::int32_t>(animation);
    }
    if (auto v = arrayAt(settings, "imp_urls")) impressionURLs_ = v;
    if (auto v = arrayAt(settings, "click_urls")) clickURLs_ = v;
    if (auto v = arrayAt(settings, "nofill_urls")) noFillURLs_ = v;
    if (auto v = arrayAt(settings, "rewards")) rewards_ = v;
    return true;
}

std::string GADMConfig::description() const {
    char line[256];
    std::snprintf(line, sizeof line, "refresh:%f transition:%ld", refreshInterval_,
                  static_cast<long>(bannerAnimationType_));
    std::string networks;
    for (const auto& network : adNetworkConfigs_)
        networks += "\n" + network->description();
    char address[48];
    std::snprintf(address, sizeof address, "<GADMConfig: %p>", static_cast<const void*>(this));
    return std::string(address) + ":\nqdata:" + qdata_.value_or("(null)") +
           " adTypeString:" + (adType_ ? adType_->description() : std::string("(null)")) + " " + line +
           " ad_networks:" + networks;
}

} // namespace ruzave
