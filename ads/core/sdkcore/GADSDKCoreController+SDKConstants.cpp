// The SDK constants the page pushes: most are stored in the user defaults under "/ruzave/ads/<name>",
// a few are applied at once. An answer never removes a setting, and a value of the wrong kind is skipped.
#include "ads/core/sdkcore/GADSDKConstantsReceiver.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADTokenDispenser.h"
#include "ads/core/telemetry/GADCharacterSets.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {

namespace {

const char* const kPlainConstants[] = {
    "bad_ad_report_path", "as_domains", "iap_equivalent_classes", "iap_report_format", "iap_retry_suffix",
    "native_ad_support_url", "banner_prevent_autoplay", "web_view_cache_max_capacity", "ad_key_parent_view_count",
    "enable_signed_in_ads", "minimum_signed_in_ads_token_lifespan", "content_age_weight", "content_length_weight",
    "space_delimited_unicode_range", "minimum_paragraph_length", "maximum_shingle_count",
    "content_queue_maximum_capacity", "shingle_length", "traversal_interval", "character_delimited_unicode_range",
    "csi_request_batch_size", "csi_reporting_probability", "csi_reporting_interval",
    "disable_interstitial_click_ping_on_click_navigation", "url_time_to_live", "maximum_retry_url_count",
    "ping_interval", "prefetch_experiment_id", "prefetch_enabled", "deeplinkplus_enabled",
};

// gmsg parameters are strings; anything else is treated as absent.
std::optional<std::string> stringConstant(const platform::Value& parameters, const char* key) {
    const std::string* s = platform::findString(parameters, key);
    if (s == nullptr) return std::nullopt;
    return *s;
}

std::optional<platform::Value> decodedConstant(const platform::Value& parameters, const char* key) {
    auto text = stringConstant(parameters, key);
    if (!text) return std::nullopt;
    return gad_decodedJSONObjectError(*text);
}

std::string settingKey(const char* name) {
    return std::string(GADSDKCoreController::kSettingsPrefix) + name;
}

} // namespace

std::vector<std::string> GADSDKCoreController::stringListFromSetting(const std::string& text) {
    std::vector<std::string> out;
    if (auto decoded = gad_decodedJSONObjectError(text); decoded && decoded->is_array()) {
        for (const auto& v : *decoded)
            if (v.is_string() && !v.get<std::string>().empty()) out.push_back(v.get<std::string>());
        return out;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        std::size_t a = item.find_first_not_of(" \t");
        std::size_t b = item.find_last_not_of(" \t");
        if (a != std::string::npos) out.push_back(item.substr(a, b - a + 1));
        start = end + 1;
    }
    return out;
}

void GADSDKCoreController::applySDKConstants(const platform::Value& parameters) {
    std::shared_ptr<GADSDKConstantsReceiver> receiver;
    {
        std::lock_guard lock(mutex_);
        receiver = constantsReceiver_;
    }
    if (!parameters.is_object()) return;
    auto defaults = platform::UserDefaults::standard();

    // 1. MRAID script paths (an answer that omits them keeps the ones in place).
    auto banner = stringConstant(parameters, "mraid_banner_path");
    auto interstitial = stringConstant(parameters, "mraid_interstitial_path");
    auto expanded = stringConstant(parameters, "mraid_expanded_banner_path");
    if (banner) GADMRAIDInterceptor::setBannerImplementationPath(*banner);
    if (interstitial) GADMRAIDInterceptor::setInterstitialImplementationPath(*interstitial);
    if (expanded) GADMRAIDInterceptor::setExpandedBannerImplementationPath(*expanded);
    if (receiver && (banner || interstitial || expanded)) receiver->setMRAIDImplementationPaths(banner, interstitial, expanded);

    // 2, 3. The unload cache and the web-view policy of active-view reporting.
    if (auto size = stringConstant(parameters, "active_view_unload_cache_size")) {
        long long n = platform::integerValue(*size);
        if (n > 0 && n <= 1000) {
            std::lock_guard lock(mutex_);
            activeViewUnloadCacheMaxSize_ = static_cast<std::uint32_t>(n);
        }
    }
    {
        auto flag = stringConstant(parameters, "use_new_web_views_for_active_view");
        std::lock_guard lock(mutex_);
        useNewWebViewsForActiveViewProcessing_ = flag && platform::boolValue(*flag);
    }

    // 4. Only "1" disallows redirects.
    if (stringConstant(parameters, "mraid_disable_redirect").value_or("") == "1") GADMRAIDInterceptor::disallow();
    else GADMRAIDInterceptor::allow();

    // 5. Sampling intervals: strings or numbers, finite and not negative.
    if (auto intervals = decodedConstant(parameters, "refresh_intervals"); intervals && intervals->is_object()) {
        auto read = [&](const char* key) -> std::optional<double> {
            const platform::Value* v = platform::find(*intervals, key);
            if (v == nullptr || !(v->is_string() || v->is_number())) return std::nullopt;
            double d = platform::doubleValue(*v);
            if (!(d >= 0) || d > 86400) return std::nullopt;
            return d;
        };
        auto active = read("active_view_sampling_interval");
        auto swipe = read("swipe_to_view_sampling_interval");
        std::lock_guard lock(mutex_);
        if (active) activeViewSamplingInterval_ = *active;
        if (swipe) swipeToViewSamplingInterval_ = *swipe;
    }

    // 6. The whitelist: string elements in order, also when none is left.
    if (auto domains = decodedConstant(parameters, "whitelisted_ad_request_domains"); domains && domains->is_array()) {
        platform::Value hosts = platform::Value::array();
        for (const auto& v : *domains)
            if (v.is_string()) hosts.push_back(v);
        defaults->set(settingKey("whitelisted_ad_request_domains"), std::move(hosts));
    }

    // 7. Click-through confirmations: stored whole when one entry maps a string to a string.
    if (auto schemes = decodedConstant(parameters, "clickthrough_confirm_schemes"); schemes && schemes->is_object()) {
        bool usable = false;
        for (const auto& [k, v] : schemes->items()) {
            (void)k;
            if (v.is_string()) usable = true;
        }
        if (usable) defaults->set(settingKey("clickthrough_confirm_schemes"), *schemes);
    }

    // 8. Plain constants, stored as received when not empty.
    for (const char* name : kPlainConstants) {
        auto value = stringConstant(parameters, name);
        if (value && !value->empty()) defaults->set(settingKey(name), *value);
    }

    // 9 to 11. The parts that read their constants now: character sets, adapter names, signed-in user.
    std::optional<std::vector<std::string>> adapters;
    if (auto names = stringConstant(parameters, "adapter_class_names")) adapters = stringListFromSetting(*names);
    GADCharacterSets::sharedInstance()->updateCharacterSets();
    GADApplication::sharedInstance()->updateAvailableAdapterNamesWithPotentialAdapterNames(adapters);
    GADTokenDispenser::sharedInstance()->refreshSignedInUser();
    if (receiver) {
        receiver->updateCharacterSets();
        receiver->updateAvailableAdapterNamesWithPotentialAdapterNames(adapters);
        receiver->refreshSignedInUser();
    }
}

} // namespace ruzave
