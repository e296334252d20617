#include "ads/native/GADNativeAdAttribution.h"

#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

constexpr double kMinimumDuration = 0.05;

double durationFromMilliseconds(const platform::Value& dictionary, const char* key, double fallback) {
    const platform::Value* v = platform::find(dictionary, key);
    double seconds = v && v->is_number() ? v->get<double>() / 1000.0 : 0.0;
    // NaN compares false, so it falls back too.
    return seconds >= kMinimumDuration ? seconds : fallback;
}

} // namespace

std::optional<platform::Color> GADColorFromRGBADictionary(const platform::Value& dictionary) {
    const platform::Value* r = platform::find(dictionary, "r");
    const platform::Value* g = platform::find(dictionary, "g");
    const platform::Value* b = platform::find(dictionary, "b");
    if (!r || !g || !b) return std::nullopt;
    const platform::Value* a = platform::find(dictionary, "a");
    float alpha = a ? static_cast<float>(platform::doubleValue(*a)) : 1.0f;
    return platform::Color::rgba(static_cast<float>(platform::doubleValue(*r) / 255.0),
                                 static_cast<float>(platform::doubleValue(*g) / 255.0),
                                 static_cast<float>(platform::doubleValue(*b) / 255.0), alpha);
}

std::shared_ptr<GADNativeAdAttribution> GADNativeAdAttribution::initWithDictionary(const platform::Value& dictionary) {
    std::shared_ptr<GADNativeAdAttribution> a(new GADNativeAdAttribution());
    if (const std::string* text = platform::findString(dictionary, "text")) a->text_ = *text;
    a->iconAnimationDuration_ = durationFromMilliseconds(dictionary, "animation_ms", 1.0);
    a->iconPresentationDuration_ = durationFromMilliseconds(dictionary, "presentation_ms", 4.0);

    platform::Value iconList;
    if (const platform::Value* images = platform::find(dictionary, "images")) {
        iconList = *images;
    } else if (const platform::Value* image = platform::find(dictionary, "image")) {
        iconList = platform::Value::array({*image});
    }
    // Every icon stays, whatever the loader's own image options say.
    auto everyIcon = std::make_shared<GADNativeAdImageAdLoaderOptions>();
    everyIcon->shouldRequestMultipleImages = true;
    if (auto icons = GADNativeAdImage::nativeAdImagesFromImageConfigurationArray(iconList, {everyIcon}))
        a->loadingImages_ = std::move(*icons);

    const platform::Value* textSize = platform::find(dictionary, "text_size");
    a->font_ = platform::Font::systemFontOfSize(
        textSize && textSize->is_number() ? static_cast<float>(textSize->get<double>()) : 12.0f);
    const platform::Value* textColor = platform::find(dictionary, "text_color");
    auto parsedText = textColor ? GADColorFromRGBADictionary(*textColor) : std::nullopt;
    a->textColor_ = parsedText ? *parsedText : platform::Color::rgba(12 / 255.0f, 174 / 255.0f, 206 / 255.0f, 1);
    const platform::Value* bgColor = platform::find(dictionary, "bg_color");
    auto parsedBackground = bgColor ? GADColorFromRGBADictionary(*bgColor) : std::nullopt;
    a->backgroundColor_ = parsedBackground ? *parsedBackground : platform::Color::rgba(0.8f, 0.8f, 0.8f, 1);
    return a;
}

void GADNativeAdAttribution::loadAssetsWithCompletionHandler(CompletionHandler handler) {
    if (loadingImages_.empty()) {
        if (handler) platform::mainQueue()->async([handler] { handler(std::nullopt); });
        return;
    }
    if (loading_) {
        // The running load answers this caller too; one that already failed answers at once.
        if (!handler) return;
        if (loadError_)
            platform::mainQueue()->async([handler, error = *loadError_] { handler(error); });
        else
            assetCompletionHandlers_.push_back(std::move(handler));
        return;
    }
    loading_ = true;
    answeredIcons_ = 0;
    loadError_.reset();
    availableImages_.clear();
    assetCompletionHandlers_.clear();
    if (handler) assetCompletionHandlers_.push_back(std::move(handler));
    std::weak_ptr<GADNativeAdAttribution> weakSelf = weak_from_this();
    auto icons = loadingImages_;
    for (const auto& icon : icons) {
        icon->loadImageWithCompletionHandler([weakSelf, icon](const std::optional<platform::Error>& error) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (error)
                self->failedLoadingNativeAdImageWithError(*error);
            else
                self->finishedLoadingNativeAdImage(icon);
        });
    }
}

void GADNativeAdAttribution::iconAnswered() {
    // Once every icon has answered the load is over, and a later load may start afresh.
    if (++answeredIcons_ >= loadingImages_.size()) loading_ = false;
}

void GADNativeAdAttribution::callCompletionHandlers(const std::optional<platform::Error>& error) {
    auto handlers = std::move(assetCompletionHandlers_);
    assetCompletionHandlers_.clear();
    for (auto& handler : handlers)
        platform::mainQueue()->async([handler = std::move(handler), error] { handler(error); });
}

void GADNativeAdAttribution::finishedLoadingNativeAdImage(const std::shared_ptr<GADNativeAdImage>& image) {
    availableImages_.push_back(image);
    iconAnswered();
    if (availableImages_.size() != loadingImages_.size() || loadError_)
        return; // after a failure icons stay unset
    icons_ = availableImages_;
    callCompletionHandlers(std::nullopt);
}

void GADNativeAdAttribution::failedLoadingNativeAdImageWithError(const platform::Error& error) {
    iconAnswered();
    if (loadError_) return;
    loadError_ = error;
    callCompletionHandlers(error);
}

} // namespace ruzave
