#include "ads/core/slot/GADAd.h"

#include <algorithm>

#include "ads/core/signals/GADApplication.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADObjectValidation.h"
#include "ads/render/GADInterfaceOrientationMask.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"

namespace ruzave {
namespace {

// A string entry, or nullopt for a missing entry or one of another kind.
std::optional<std::string> stringEntry(const platform::Value& dictionary, const char* key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::vector<platform::URL> urlsEntry(const platform::Value& dictionary, const char* key) {
    std::vector<platform::URL> urls;
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->is_array()) return urls;
    for (const auto& entry : *it) {
        if (!entry.is_string()) continue;
        if (auto url = platform::URL::parse(entry.get_ref<const std::string&>())) urls.push_back(*url);
    }
    return urls;
}

} // namespace

GADAd::GADAd() : statistics_(GADStatisticDictionary::initWithDelegate(GADApplication::sharedInstance())) {}

std::shared_ptr<GADAd> GADAd::init() {
    return std::shared_ptr<GADAd>(new GADAd());
}

std::shared_ptr<GADAd> GADAd::initWithDictionary(const platform::Value& dictionary) {
    auto ad = init();
    ad->applyDictionary(dictionary);
    return ad;
}

void GADAd::addURLs(std::vector<platform::URL>& set, const std::vector<platform::URL>& urls) {
    for (const auto& url : urls) {
        if (std::find(set.begin(), set.end(), url) == set.end()) set.push_back(url);
    }
}

void GADAd::applyDictionary(const platform::Value& d) {
    if (!d.is_object()) return;
    auto html = stringEntry(d, "ad_html");
    auto base = stringEntry(d, "ad_base_url");
    std::optional<platform::URL> baseURL = base ? platform::URL::parse(*base) : std::nullopt;
    if (html && !html->empty() && baseURL) {
        adHTML_ = html;
        adBaseURL_ = baseURL;
    } else if (auto url = stringEntry(d, "ad_url")) {
        adURL_ = platform::URL::parse(*url);
    }
    if (auto it = d.find("ad_json"); it != d.end() && it->is_object() && !adHTML_) {
        adHTML_ = gad_JSONStringPretty(*it, false);
    }
    size_ = GADAdSizeFromCGSize(CGSizeFromGADSizeString(stringEntry(d, "ad_size").value_or(std::string())));
    if (auto mask = GADInterfaceOrientationMaskFromString(stringEntry(d, "orientation")); mask != 0) {
        supportedOrientations_ = mask;
    }
    // A JSON true or false reads as 1 or 0, as the platform reads numbers.
    if (const platform::Value* flag = gad_objectForKey(d, "ad_is_javascript", GADValueClass::Number)) {
        hasAdNetworkJavaScript_ = platform::doubleValue(*flag) != 0;
        if (hasAdNetworkJavaScript_) {
            if (auto passback = stringEntry(d, "ad_passback_url"))
                adNetworkPassbackURL_ = platform::URL::parse(*passback);
        }
    }
    if (auto dialog = stringEntry(d, "debug_dialog")) debugDialog_ = dialog;
    if (auto it = d.find("active_view"); it != d.end() && it->is_object()) activeViewConfigurations_ = *it;
    if (auto it = d.find("swipe_to_viewcontroller"); it != d.end() && it->is_object() && !it->empty()) {
        swipeSettings_ = GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(*it);
    }
    addURLs(clickURLs_, urlsEntry(d, "click_urls"));
    addURLs(impressionURLs_, urlsEntry(d, "impression_urls"));
    addURLs(manualImpressionURLs_, urlsEntry(d, "manual_impression_urls"));
}

} // namespace ruzave
