#include "ads/render/GADMRAIDPicture.h"

#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"
#include "platform/services/PhotoAlbum.h"
#include "platform/ui/Image.h"
#include "platform/web/WebView.h"

namespace ruzave {

std::shared_ptr<GADMRAIDPicture> GADMRAIDPicture::initWithURL(const std::optional<platform::URL>& url) {
    std::shared_ptr<GADMRAIDPicture> picture(new GADMRAIDPicture());
    picture->pictureURL_ = url;
    return picture;
}

void GADMRAIDPicture::storeInPhotoAlbum() {
    alert_ = platform::AlertView::create(kAlertTitle, kAlertMessage, weak_from_this(), "Cancel", {"Save"});
    alert_->show();
}

void GADMRAIDPicture::alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) {
    if (index == alert.cancelButtonIndex()) return;
    downloadImageWithURL(pictureURL_);
}

void GADMRAIDPicture::downloadImageWithURL(const std::optional<platform::URL>& url) {
    if (downloadStarted_) return;
    downloadStarted_ = true;
    auto delegate = delegate_.lock();
    if (!url) {
        if (delegate) delegate->MRAIDPictureFailedToStorePictureWithURL(*this, std::nullopt, "No image URL to store.");
        return;
    }
    platform::URLRequest request(*url, platform::URLRequest::CachePolicy::UseProtocolCachePolicy, kTimeout);
    platform::Error error(platform::WebView::ErrorDomain, 102, "the page that asked for the picture has gone");
    connection_ = page_.connectionForPage(request, weak_from_this(), &error);
    if (!connection_) {
        if (delegate)
            delegate->MRAIDPictureFailedToStorePictureWithURL(*this, url, "Couldn't create URL request for " +
                                                                              url->absoluteString() + ": " +
                                                                              error.description);
        return;
    }
    connection_->start();
}

void GADMRAIDPicture::fail(const std::string& reason) {
    connection_.reset();
    data_.clear();
    auto self = shared_from_this();
    if (auto delegate = delegate_.lock()) {
        std::string url = pictureURL_ ? pictureURL_->absoluteString() : "";
        delegate->MRAIDPictureFailedToStorePictureWithURL(*this, pictureURL_, "Failed to load " + url + ". Error: " + reason);
    }
}

void GADMRAIDPicture::didReceiveData(const std::shared_ptr<platform::URLConnection>& connection,
                                     const platform::Bytes& data) {
    if (data_.size() + data.size() > kMaximumBytes) {
        connection->cancel();
        fail("The image is too large.");
        return;
    }
    // Held within the page's memory until stored.
    if (!connection->charge(data.size())) {
        connection->cancel();
        fail("The image does not fit in the page's memory.");
        return;
    }
    data_.insert(data_.end(), data.begin(), data.end());
}

void GADMRAIDPicture::didFinishLoading(const std::shared_ptr<platform::URLConnection>&) {
    auto image = data_.empty() ? nullptr : platform::Image::imageWithData(data_);
    if (!image) {
        fail("The data is not an image.");
        return;
    }
    connection_.reset();
    data_.clear();
    platform::PhotoAlbum::saveImage(image);
    auto self = shared_from_this();
    if (auto delegate = delegate_.lock()) delegate->MRAIDPictureDidStorePictureWithURL(*this, *pictureURL_);
}

void GADMRAIDPicture::didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error& error) {
    fail(error.description);
}

} // namespace ruzave
