#pragma once
// The attribution badge of a native ad: a text, icons cycled with a push animation, the timing of the
// cycle, a font and two colours, read from the ad's JSON. Its icons load with the ad's other assets; the
// first failing icon fails the load. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"

namespace ruzave {

class GADNativeAdImage;

// GADColorFromRGBADictionary: "r", "g", "b" of 0...255 and "a" of 0...1 (default 1); nullopt when any of
// "r", "g" or "b" is missing.
std::optional<platform::Color> GADColorFromRGBADictionary(const platform::Value& dictionary);

class GADNativeAdAttribution : public std::enable_shared_from_this<GADNativeAdAttribution> {
  public:
    using CompletionHandler = std::function<void(const std::optional<platform::Error>&)>;

    static std::shared_ptr<GADNativeAdAttribution> initWithDictionary(const platform::Value& dictionary);

    const std::optional<std::string>& text() const { return text_; }
    // The loaded icons, in the order their downloads finished; nullopt until every icon has loaded.
    const std::optional<std::vector<std::shared_ptr<GADNativeAdImage>>>& icons() const { return icons_; }
    double iconAnimationDuration() const { return iconAnimationDuration_; }
    double iconPresentationDuration() const { return iconPresentationDuration_; }
    const platform::Font& font() const { return font_; }
    const platform::Color& textColor() const { return textColor_; }
    const platform::Color& backgroundColor() const { return backgroundColor_; }
    // The configured icons.
    const std::vector<std::shared_ptr<GADNativeAdImage>>& loadingImages() const { return loadingImages_; }

    // A call while a load runs waits for that load: every waiting handler hears its outcome. Once every
    // icon has answered, a new call loads again.
    void loadAssetsWithCompletionHandler(CompletionHandler handler);

  private:
    GADNativeAdAttribution() = default;
    void finishedLoadingNativeAdImage(const std::shared_ptr<GADNativeAdImage>& image);
    void failedLoadingNativeAdImageWithError(const platform::Error& error);
    void iconAnswered();
    void callCompletionHandlers(const std::optional<platform::Error>& error);

    std::optional<std::string> text_;
    std::optional<std::vector<std::shared_ptr<GADNativeAdImage>>> icons_;
    double iconAnimationDuration_ = 1.0;
    double iconPresentationDuration_ = 4.0;
    platform::Font font_ = platform::Font::systemFontOfSize(12);
    platform::Color textColor_;
    platform::Color backgroundColor_;
    std::vector<std::shared_ptr<GADNativeAdImage>> loadingImages_;
    std::vector<std::shared_ptr<GADNativeAdImage>> availableImages_;
    // The handlers waiting for the running load's outcome.
    std::vector<CompletionHandler> assetCompletionHandlers_;
    // The running load's first icon error: it decides the outcome for every caller.
    std::optional<platform::Error> loadError_;
    bool loading_ = false;
    // Icons of the running load that have answered, with success or failure.
    std::size_t answeredIcons_ = 0;
};

} // namespace ruzave
