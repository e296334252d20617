#pragma once
// A custom template ad (ad-loader type "3"): a template id and named text and image assets that the app
// renders itself. A click goes to the support page's script, or to the app's own click handler once the
// page asks for it with the script message "nativeAdCustomClick" (a click unanswered for a while is
// dropped). Main thread.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ads/native/GADNativeAd.h"

namespace ruzave {

class GADAdLoader;
class GADNativeAdImage;

class GADNativeCustomTemplateAd : public GADNativeAd {
  public:
    static constexpr const char* kCustomClickMessage = "nativeAdCustomClick";
    // How long a click with the app's handler waits for the page's answer: a page that never answers
    // must not block every later click.
    static constexpr double kCustomClickTimeout = 5;

    // Nil unless "custom_template_id" is a string or a number.
    static std::shared_ptr<GADNativeCustomTemplateAd> initWithDictionary(const platform::Value& dictionary,
                                                                         const Options& options);
    // Custom template ads never come from a mediated network.
    static std::shared_ptr<GADNativeCustomTemplateAd> initWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>&,
                                                                               const Options&) {
        return nullptr;
    }
    ~GADNativeCustomTemplateAd() override;

    // {"format": 3, "custom_template_ids": [...]} from the loader's delegate.
    static platform::Value requestParametersForAdLoader(GADAdLoader& loader);
    void adLoaderDidReceiveAd(GADAdLoader& loader);

    std::string className() const override { return "GADNativeCustomTemplateAd"; }
    std::string clickActionTemplateID() const override { return "3"; }
    bool hasValidConfigurationForRequestParameters(const platform::Value& parameters) const override;
    std::optional<std::set<std::string>> requiredAssets() const override;
    void loadAssetsWithCompletionHandler(AssetLoadCompletionHandler handler) override;
    void setSlot(const std::shared_ptr<GADSlot>& slot) override;

    const std::string& templateID() const { return templateID_; }
    // Sorted case-insensitively.
    std::vector<std::string> availableAssetKeys() const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::shared_ptr<GADNativeAdImage> imageForKey(const std::string& key) const;
    // performClickOnAssetWithKey:customClickHandler:
    void performClickOnAssetWithKey(const std::string& key, std::function<void()> customClickHandler);
    void handleNativeAdCustomClick();
    std::string description() const;

  private:
    GADNativeCustomTemplateAd() = default;
    void setImage(const std::shared_ptr<GADNativeAdImage>& image, const std::string& key);
    void loadImageAssetsWithImageDictionary(const std::map<std::string, std::shared_ptr<GADNativeAdImage>>& images);
    void removeCustomClickObserver();
    // Drops the pending handler of click `click` if the page has not answered it.
    void expireCustomClick(std::uint64_t click);

    bool disableImageLoading_ = false;
    std::map<std::string, std::shared_ptr<GADNativeAdImage>> optionalImages_;
    std::map<std::string, std::shared_ptr<GADNativeAdImage>> requiredImages_;
    std::map<std::string, std::shared_ptr<GADNativeAdImage>> imageAssets_;
    std::map<std::string, std::string> stringAssets_;
    std::set<std::string> availableAssetKeys_;
    std::mutex clickLock_;
    std::function<void()> customClickHandler_;
    std::uint64_t customClicks_ = 0; // guarded by clickLock_
    std::string templateID_;
    std::optional<platform::NotificationCenter::Token> clickObserver_;
};

} // namespace ruzave
