#include "ads/native/GADNativeCustomTemplateAd.h"

#include <algorithm>
#include <cstdio>

#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLogger.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "ads/render/GADAdView.h"
#include "platform/base/Strings.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

bool isIntegerText(const std::string& id) {
    std::size_t start = !id.empty() && id[0] == '-' ? 1 : 0;
    return start < id.size() && id.size() - start < 19 &&
           std::all_of(id.begin() + static_cast<long>(start), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Template ids compare as the decimal text of integers when they are integers, else as they stand.
std::string canonicalTemplateID(const std::string& id) {
    return isIntegerText(id) ? std::to_string(platform::integerValue(id)) : id;
}

std::string lowered(const std::string& s) {
    std::string out = s;
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

} // namespace

std::shared_ptr<GADNativeCustomTemplateAd> GADNativeCustomTemplateAd::initWithDictionary(const platform::Value& dictionary,
                                                                                         const Options& options) {
    if (!dictionary.is_object()) return nullptr;
    const platform::Value* id = platform::find(dictionary, "custom_template_id");
    if (!id || !(id->is_string() || id->is_number())) return nullptr;
    std::shared_ptr<GADNativeCustomTemplateAd> ad(new GADNativeCustomTemplateAd());
    ad->setUpWithDictionary(dictionary);
    auto imageOptions = GADAdLoaderOptionOfType<GADNativeAdImageAdLoaderOptions>(options);
    ad->disableImageLoading_ = imageOptions && imageOptions->disableImageLoading;
    ad->templateID_ = id->is_string() ? id->get<std::string>() : platform::stringValue(*id);
    const platform::Value* assets = platform::find(dictionary, "custom_assets");
    if (assets && assets->is_array()) {
        for (const auto& asset : *assets) {
            if (!asset.is_object()) continue;
            const std::string* name = platform::findString(asset, "name");
            const std::string* type = platform::findString(asset, "type");
            if (!name || name->empty() || !type || type->empty()) continue;
            if (*type == "string") {
                if (const std::string* text = platform::findString(asset, "string_value")) ad->stringAssets_[*name] = *text;
                ad->availableAssetKeys_.insert(*name);
            } else if (*type == "image") {
                const platform::Value* value = platform::find(asset, "image_value");
                auto image = value ? GADNativeAdImage::initWithDictionary(*value) : nullptr;
                if (!image) continue;
                (image->required() ? ad->requiredImages_ : ad->optionalImages_)[*name] = image;
            }
        }
    }
    return ad;
}

GADNativeCustomTemplateAd::~GADNativeCustomTemplateAd() { removeCustomClickObserver(); }

platform::Value GADNativeCustomTemplateAd::requestParametersForAdLoader(GADAdLoader& loader) {
    platform::Value ids = platform::Value::array();
    auto delegate = std::dynamic_pointer_cast<GADNativeCustomTemplateAdLoaderDelegate>(loader.delegate());
    platform::Value given = delegate ? delegate->nativeCustomTemplateIDsForAdLoader(loader) : platform::Value::array();
    auto logger = GADLogger::sharedInstance();
    if (given.is_array()) {
        for (const auto& id : given) {
            if (id.is_string()) {
                const std::string& text = id.get_ref<const std::string&>();
                if (!isIntegerText(text))
                    logger->logPublicMessage("Received non-numeric custom template ID. The template ID may be invalid: " + text);
                ids.push_back(text);
            } else if (id.is_number()) {
                ids.push_back(platform::stringValue(id));
            } else {
                logger->logPublicMessage("Received non-string custom template ID: " + platform::toJSON(id));
            }
        }
    }
    return {{"format", 3}, {"custom_template_ids", ids}};
}

void GADNativeCustomTemplateAd::adLoaderDidReceiveAd(GADAdLoader& loader) {
    if (auto d = std::dynamic_pointer_cast<GADNativeCustomTemplateAdLoaderDelegate>(loader.delegate()))
        d->adLoaderDidReceiveNativeCustomTemplateAd(loader, std::static_pointer_cast<GADNativeCustomTemplateAd>(shared_from_this()));
}

bool GADNativeCustomTemplateAd::hasValidConfigurationForRequestParameters(const platform::Value& parameters) const {
    if (!GADNativeAd::hasValidConfigurationForRequestParameters(parameters)) return false;
    const platform::Value* ids = platform::find(parameters, "custom_template_ids");
    if (!ids || !ids->is_array()) return false;
    std::string mine = canonicalTemplateID(templateID_);
    return std::any_of(ids->begin(), ids->end(), [&](const platform::Value& id) {
        return id.is_string() && canonicalTemplateID(id.get<std::string>()) == mine;
    });
}

std::optional<std::set<std::string>> GADNativeCustomTemplateAd::requiredAssets() const {
    std::set<std::string> required;
    if (auto base = GADNativeAd::requiredAssets()) required = *base;
    for (const auto& [name, image] : requiredImages_) required.insert(name);
    return required;
}

void GADNativeCustomTemplateAd::setImage(const std::shared_ptr<GADNativeAdImage>& image, const std::string& key) {
    imageAssets_[key] = image;
    availableAssetKeys_.insert(key);
}

void GADNativeCustomTemplateAd::loadAssetsWithCompletionHandler(AssetLoadCompletionHandler handler) {
    GADNativeAd::loadAssetsWithCompletionHandler(std::move(handler));
    if (!shouldLoadAssets()) return;
    if (disableImageLoading_) {
        for (const auto& [name, image] : optionalImages_) setImage(image, name);
        for (const auto& [name, image] : requiredImages_) setImage(image, name);
        return;
    }
    loadImageAssetsWithImageDictionary(optionalImages_);
    loadImageAssetsWithImageDictionary(requiredImages_);
}

void GADNativeCustomTemplateAd::loadImageAssetsWithImageDictionary(
    const std::map<std::string, std::shared_ptr<GADNativeAdImage>>& images) {
    std::weak_ptr<GADNativeCustomTemplateAd> weakSelf = std::static_pointer_cast<GADNativeCustomTemplateAd>(shared_from_this());
    for (const auto& entry : images) {
        const std::string name = entry.first;
        const std::shared_ptr<GADNativeAdImage> image = entry.second;
        addAssetWithNameToRequestedAssets(name);
        image->loadImageWithCompletionHandler([weakSelf, name, image](const std::optional<platform::Error>& error) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (error) {
                self->failedToLoadAssetWithName(name);
                return;
            }
            self->setImage(image, name);
            self->finishedLoadingAssetWithName(name);
        });
    }
}

void GADNativeCustomTemplateAd::removeCustomClickObserver() {
    if (clickObserver_) platform::NotificationCenter::defaultCenter()->removeObserver(*clickObserver_);
    clickObserver_.reset();
}

void GADNativeCustomTemplateAd::setSlot(const std::shared_ptr<GADSlot>& newSlot) {
    if (newSlot == slot()) return;
    removeCustomClickObserver();
    GADNativeAd::setSlot(newSlot);
    auto adView = newSlot ? newSlot->adView() : nullptr;
    if (!adView) return;
    std::weak_ptr<GADNativeCustomTemplateAd> weakSelf = std::static_pointer_cast<GADNativeCustomTemplateAd>(shared_from_this());
    clickObserver_ = platform::NotificationCenter::defaultCenter()->addObserver(
        kCustomClickMessage, adView.get(), nullptr, [weakSelf](const platform::Notification&) {
            if (auto self = weakSelf.lock()) self->handleNativeAdCustomClick();
        });
}

std::vector<std::string> GADNativeCustomTemplateAd::availableAssetKeys() const {
    std::vector<std::string> keys(availableAssetKeys_.begin(), availableAssetKeys_.end());
    std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) { return lowered(a) < lowered(b); });
    return keys;
}

std::optional<std::string> GADNativeCustomTemplateAd::stringForKey(const std::string& key) const {
    auto it = stringAssets_.find(key);
    if (it == stringAssets_.end()) return std::nullopt;
    return it->second;
}

std::shared_ptr<GADNativeAdImage> GADNativeCustomTemplateAd::imageForKey(const std::string& key) const {
    auto it = imageAssets_.find(key);
    return it == imageAssets_.end() ? nullptr : it->second;
}

void GADNativeCustomTemplateAd::performClickOnAssetWithKey(const std::string& key, std::function<void()> customClickHandler) {
    auto logger = GADLogger::sharedInstance();
    if (!availableAssetKeys_.count(key)) {
        logger->logPublicMessage("Asset is unavailable. Cannot perform click on \"" + key + "\".");
        return;
    }
    if (!customClickHandler) {
        performClickOnView(nullptr, key, platform::Value::object());
        return;
    }
    std::uint64_t click = 0;
    {
        std::lock_guard<std::mutex> guard(clickLock_);
        if (customClickHandler_) {
            logger->logPublicMessage("Still processing prior click event. This click event will be ignored.");
            return;
        }
        customClickHandler_ = std::move(customClickHandler);
        click = ++customClicks_;
    }
    performClickOnView(nullptr, key, {{"has_custom_click_handler", true}});
    std::weak_ptr<GADNativeCustomTemplateAd> weakSelf =
        std::static_pointer_cast<GADNativeCustomTemplateAd>(shared_from_this());
    platform::mainQueue()->asyncAfter(kCustomClickTimeout, [weakSelf, click] {
        if (auto self = weakSelf.lock()) self->expireCustomClick(click);
    });
}

void GADNativeCustomTemplateAd::expireCustomClick(std::uint64_t click) {
    std::function<void()> expired;
    {
        std::lock_guard<std::mutex> guard(clickLock_);
        if (click != customClicks_ || !customClickHandler_) return;
        expired.swap(customClickHandler_);
    }
    GADLogger::sharedInstance()->logPublicMessage("The prior click event got no answer. It was dropped.");
}

void GADNativeCustomTemplateAd::handleNativeAdCustomClick() {
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(clickLock_);
        handler.swap(customClickHandler_);
    }
    if (handler) platform::mainQueue()->async(std::move(handler));
}

std::string GADNativeCustomTemplateAd::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string keys;
    for (const auto& key : availableAssetKeys()) keys += (keys.empty() ? "" : ", ") + key;
    return std::string("<GADNativeCustomTemplateAd: ") + address + ", availableAssetKeys:[" + keys + "]>";
}

} // namespace ruzave
