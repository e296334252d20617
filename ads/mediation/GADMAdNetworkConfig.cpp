#include "ads/mediation/GADMAdNetworkConfig.h"

#include <cmath>
#include <vector>

#include "ads/core/public/GADRequestError.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "platform/foundation/ClassRegistry.h"

namespace ruzave {
namespace {

std::optional<platform::Value> valueOfKind(const platform::Value& dictionary, const char* key, bool wantObject) {
    auto it = dictionary.find(key);
    if (it == dictionary.end()) return std::nullopt;
    if (wantObject ? !it->is_object() : !it->is_array()) return std::nullopt;
    return *it;
}

// An integral number prints without a fraction; others as the platform prints numbers.
std::string numberText(const platform::Value& number) {
    if (number.is_number_float()) {
        double d = number.get<double>();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
            return std::to_string(static_cast<long long>(d));
    }
    return platform::stringValue(number);
}

std::string joinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

} // namespace

std::shared_ptr<GADMAdNetworkConfig> GADMAdNetworkConfig::initWithDictionary(const platform::Value& dictionary,
                                                                             platform::Error* error) {
    if (!dictionary.is_object()) {
        platform::setError(error, GADRequestError::errorWithCode(GADRequestErrorInvalidMediationResponse));
        return nullptr;
    }
    std::shared_ptr<GADMAdNetworkConfig> config(new GADMAdNetworkConfig());
    auto id = dictionary.find("id");
    if (id == dictionary.end()) {
        platform::setError(error, GADRequestError::errorWithCode(
                                      GADRequestErrorInvalidMediationResponse,
                                      std::string("The DoRur Mediation response was invalid: An ad network "
                                                  "config has no network ID.")));
        return nullptr;
    }
    if (id->is_string()) {
        config->networkID_ = id->get<std::string>();
    } else if (id->is_number() || id->is_boolean()) {
        // A JSON true or false is the number 1 or 0, as the platform reads it.
        config->networkID_ = numberText(*id);
    } else {
        platform::setError(error, GADRequestError::errorWithCode(
                                      GADRequestErrorInvalidMediationResponse,
                                      std::string("The DoRur Mediation response was invalid: An ad network "
                                                  "config has an invalid network ID.")));
        return nullptr;
    }
    config->credentials_ = valueOfKind(dictionary, "data", true);
    config->extras_ = valueOfKind(dictionary, "extras", true);
    config->ad_ = valueOfKind(dictionary, "ad", true);
    if (const auto* allocation = platform::findString(dictionary, "allocation_id"))
        config->allocationID_ = *allocation;
    config->impressionURLs_ = valueOfKind(dictionary, "imp_urls", false);
    config->clickURLs_ = valueOfKind(dictionary, "clickurl", false);
    config->videoStartURLs_ = valueOfKind(dictionary, "video_start_urls", false);
    config->rewardedUserURLs_ = valueOfKind(dictionary, "video_complete_urls", false);
    config->adapterList_ = valueOfKind(dictionary, "adapters", false);
    config->chooseAdapter(error);
    return config;
}

platform::Value GADMAdNetworkConfig::strippedCredentials(bool* locationShared) const {
    platform::Value stripped = platform::Value::object();
    bool shared = false;
    if (credentials_ && credentials_->is_object()) {
        stripped = *credentials_;
        if (const auto* share = platform::findString(*credentials_, "gwhirl_share_location")) shared = *share == "1";
        stripped.erase("gwhirl_share_location");
    }
    if (locationShared) *locationShared = shared;
    return stripped;
}

void GADMAdNetworkConfig::chooseAdapter(platform::Error* error) {
    std::vector<std::string> oldAdapters;
    if (adapterList_) {
        for (const auto& entry : *adapterList_) {
            if (!entry.is_string()) continue;
            const auto& name = entry.get_ref<const std::string&>();
            if (!platform::ClassRegistry::hasClass(name)) continue;
            if (GADMAdNetworkAdapter::classImplementsCurrentAdapterAPI(name)) {
                if (GADMAdNetworkAdapter::classIsAdapterClass(name)) {
                    adapterClass_ = name;
                    break;
                }
                continue;
            }
            oldAdapters.push_back(name);
        }
    }
    if (!oldAdapters.empty()) {
        std::string suffix = adapterClass_ ? "" : " No valid adapters found for this ad network.";
        std::string message =
            oldAdapters.size() == 1
                ? "Ad network adapter " + oldAdapters.front() + " implements an old API. Please update the adapter." +
                      suffix
                : "Ad network adapters (" + joinNames(oldAdapters) +
                      ") implement an old API. Please update the adapters." + suffix;
        platform::setError(error, GADRequestError::errorWithCode(GADRequestErrorAdapterNotFound, message));
    } else if (!adapterClass_) {
        std::string listed = adapterList_ ? platform::toJSON(*adapterList_) : "(null)";
        platform::setError(error,
                           GADRequestError::errorWithCode(
                               GADRequestErrorAdapterNotFound,
                               "Cannot find an ad network adapter with the name(s): " + listed +
                                   ". Remember to link all required ad network adapters and SDKs, and set -ObjC "
                                   "in the 'Other Linker Flags' setting of your build target."));
    }
}

std::optional<std::string> GADMAdNetworkConfig::publisherID() const {
    if (!credentials_) return std::nullopt;
    auto it = credentials_->find("pubid");
    if (it == credentials_->end()) return std::nullopt;
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number()) return numberText(*it);
    return std::nullopt;
}

std::string GADMAdNetworkConfig::description() const {
    auto publisher = publisherID();
    std::string data = publisher ? *publisher : (credentials_ ? platform::toJSON(*credentials_) : "(null)");
    return "networkID:" + networkID_ + " adapter:" + adapterClass_.value_or("(null)") + " data:" + data;
}

} // namespace ruzave
