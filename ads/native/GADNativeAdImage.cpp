#include "ads/native/GADNativeAdImage.h"

#include <cstdio>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Image.h"

namespace ruzave {

namespace {

// One download: gathers the body up to the cap, refuses other statuses than 2xx, and keeps itself
// alive until the connection ends.
class GADNativeAdImageDownload : public platform::URLConnectionDelegate,
                                 public std::enable_shared_from_this<GADNativeAdImageDownload> {
  public:
    using Done = std::function<void(std::optional<platform::Error>, platform::Bytes)>;
    explicit GADNativeAdImageDownload(Done done) : done_(std::move(done)) {}

    void start(const platform::URLRequest& request) {
        self_ = shared_from_this();
        connection_ = platform::URLConnection::create(request, weak_from_this(),
                                                      platform::TransferOrigin::app(), false);
        connection_->start();
    }
    void didReceiveResponse(const std::shared_ptr<platform::URLConnection>&,
                            const platform::HTTPURLResponse& response) override {
        int status = response.statusCode();
        if (status < 200 || status > 299)
            end(gad_errorWithCode(GADInternalErrorInternal, "Image request answered with status " +
                                                                std::to_string(status) + "."));
    }
    void didReceiveData(const std::shared_ptr<platform::URLConnection>&, const platform::Bytes& data) override {
        if (!done_) return;
        if (body_.size() + data.size() > GADNativeAdImage::kMaximumImageBytes) {
            end(gad_errorWithCode(GADInternalErrorInternal, "Image larger than " +
                                                                std::to_string(GADNativeAdImage::kMaximumImageBytes) +
                                                                " bytes."));
            return;
        }
        body_.insert(body_.end(), data.begin(), data.end());
    }
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>&) override { end(std::nullopt); }
    void didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error& error) override {
        end(error);
    }

  private:
    void end(std::optional<platform::Error> error) {
        if (!done_) return;
        Done done = std::move(done_);
        done_ = nullptr;
        if (error && connection_) connection_->cancel();
        connection_.reset();
        auto keep = std::move(self_);
        done(std::move(error), std::move(body_));
    }

    Done done_;
    platform::Bytes body_;
    std::shared_ptr<platform::URLConnection> connection_;
    std::shared_ptr<GADNativeAdImageDownload> self_;
};

} // namespace

std::optional<std::vector<std::shared_ptr<GADNativeAdImage>>>
GADNativeAdImage::nativeAdImagesFromImageConfigurationArray(
    const platform::Value& array, const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) {
    if (!array.is_array() || array.empty()) return std::nullopt;
    auto imageOptions = GADAdLoaderOptionOfType<GADNativeAdImageAdLoaderOptions>(options);
    bool multiple = imageOptions && imageOptions->shouldRequestMultipleImages;
    std::vector<std::shared_ptr<GADNativeAdImage>> images;
    for (const auto& object : array) {
        if (images.size() == kMaximumImageCount) break;
        if (auto image = initWithDictionary(object)) images.push_back(image);
        if (!multiple) break;
    }
    if (images.empty()) return std::nullopt;
    return images;
}

std::shared_ptr<GADNativeAdImage> GADNativeAdImage::initWithDictionary(const platform::Value& dictionary) {
    const std::string* text = platform::findString(dictionary, "url");
    if (!text) return nullptr;
    auto url = platform::URL::parse(*text);
    if (!url || url->absoluteString().empty()) return nullptr;
    std::shared_ptr<GADNativeAdImage> image(new GADNativeAdImage());
    image->imageURL_ = *url;
    const platform::Value* require = platform::find(dictionary, "require");
    image->required_ = require ? platform::boolValue(*require) : true;
    const platform::Value* scale = platform::find(dictionary, "scale");
    image->scale_ = scale && scale->is_number() ? static_cast<float>(scale->get<double>()) : 1.0f;
    return image;
}

std::shared_ptr<GADNativeAdImage>
GADNativeAdImage::initWithImage(const std::shared_ptr<const platform::Image>& loaded) {
    std::shared_ptr<GADNativeAdImage> image(new GADNativeAdImage());
    image->image_ = loaded;
    image->scale_ = loaded ? loaded->scale() : 1.0f;
    return image;
}

std::shared_ptr<GADNativeAdImage> GADNativeAdImage::initWithURL(const platform::URL& url, float scale) {
    std::shared_ptr<GADNativeAdImage> image(new GADNativeAdImage());
    image->imageURL_ = url;
    image->scale_ = scale;
    return image;
}

std::string GADNativeAdImage::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    char scale[48];
    std::snprintf(scale, sizeof scale, "%f", static_cast<double>(scale_));
    return std::string("<GADNativeAdImage: ") + address + " scale: " + scale +
           " URL: " + (imageURL_ ? imageURL_->absoluteString() : std::string("(null)")) + ">";
}

void GADNativeAdImage::loadImageWithCompletionHandler(CompletionHandler handler) {
    if (image_) {
        finishLoad(handler, std::nullopt, 0);
        return;
    }
    std::string scheme = imageURL_ ? imageURL_->scheme() : std::string();
    if (scheme != "http" && scheme != "https") {
        // Only web pictures: a creative may not point us at local files or other schemes.
        std::string where = imageURL_ ? imageURL_->absoluteString() : std::string("(null)");
        finishLoad(handler, gad_errorWithCode(GADInternalErrorInternal, "Couldn't create URL request for " + where + "."),
                   0);
        return;
    }
    platform::URLRequest request(*imageURL_, platform::URLRequest::CachePolicy::UseProtocolCachePolicy,
                                 kTimeoutSeconds);
    std::weak_ptr<GADNativeAdImage> weakSelf = weak_from_this();
    auto download = std::make_shared<GADNativeAdImageDownload>(
        [weakSelf, handler](std::optional<platform::Error> error, platform::Bytes body) {
            auto self = weakSelf.lock();
            if (!self) {
                if (handler) platform::mainQueue()->async([handler, error] { handler(error); });
                return;
            }
            if (error) {
                self->finishLoad(handler, std::move(error), body.size());
                return;
            }
            if (!body.empty()) {
                if (auto decoded = platform::Image::imageWithData(body, self->scale_)) self->image_ = decoded;
            }
            if (self->image_) {
                self->finishLoad(handler, std::nullopt, body.size());
                return;
            }
            self->finishLoad(handler,
                             gad_errorWithCode(GADInternalErrorInternal, "Failed to load " + self->description() +
                                                                             ". Received " +
                                                                             std::to_string(body.size()) + " bytes."),
                             body.size());
        });
    download->start(request);
}

void GADNativeAdImage::finishLoad(const CompletionHandler& handler, std::optional<platform::Error> error,
                                  std::size_t) {
    if (!handler) return;
    platform::mainQueue()->async([handler, error = std::move(error)] { handler(error); });
}

} // namespace ruzave
