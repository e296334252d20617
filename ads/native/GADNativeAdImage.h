#pragma once
// One picture of a native ad: where it comes from, its scale, whether the ad needs it and, once loaded,
// the decoded image. Downloads take http and https only, a 2xx status and a body under a size cap.
// Completion handlers run on the main queue, never inside the call that started the load. Main thread.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace platform {
class Image;
}

namespace ruzave {

class GADAdLoaderOptions;

class GADNativeAdImage : public std::enable_shared_from_this<GADNativeAdImage> {
  public:
    using CompletionHandler = std::function<void(const std::optional<platform::Error>&)>;
    // Bodies larger than this are not decoded: a hostile server cannot make us hold more.
    static constexpr std::size_t kMaximumImageBytes = 8u * 1024u * 1024u;
    static constexpr double kTimeoutSeconds = 60.0;
    // A list keeps at most this many pictures: a response cannot make us start thousands of downloads.
    static constexpr std::size_t kMaximumImageCount = 100;

    // nativeAdImagesFromImageConfigurationArray:options: — never empty (nullopt instead), at most
    // kMaximumImageCount long.
    static std::optional<std::vector<std::shared_ptr<GADNativeAdImage>>>
    nativeAdImagesFromImageConfigurationArray(const platform::Value& array,
                                              const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options);
    // Nil without a "url" string that parses.
    static std::shared_ptr<GADNativeAdImage> initWithDictionary(const platform::Value& dictionary);
    static std::shared_ptr<GADNativeAdImage> initWithImage(const std::shared_ptr<const platform::Image>& image);
    static std::shared_ptr<GADNativeAdImage> initWithURL(const platform::URL& url, float scale);

    std::shared_ptr<const platform::Image> image() const { return image_; }
    void setImage(const std::shared_ptr<const platform::Image>& image) { image_ = image; }
    const std::optional<platform::URL>& imageURL() const { return imageURL_; }
    void setImageURL(const std::optional<platform::URL>& url) { imageURL_ = url; }
    float scale() const { return scale_; }
    void setScale(float scale) { scale_ = scale; }
    bool required() const { return required_; }
    void setRequired(bool required) { required_ = required; }

    void loadImageWithCompletionHandler(CompletionHandler handler);
    std::string description() const;

  private:
    GADNativeAdImage() = default;
    void finishLoad(const CompletionHandler& handler, std::optional<platform::Error> error, std::size_t received);

    std::shared_ptr<const platform::Image> image_;
    std::optional<platform::URL> imageURL_;
    float scale_ = 1.0f;
    bool required_ = false;
};

// The first option of type T among `options`, or nullptr.
template <typename T>
std::shared_ptr<T> GADAdLoaderOptionOfType(const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) {
    for (const auto& option : options)
        if (auto typed = std::dynamic_pointer_cast<T>(option)) return typed;
    return nullptr;
}

} // namespace ruzave
