#pragma once
// One picture an MRAID ad asks to store: the user is asked first; on "Save" the image is downloaded
// (once, at most kMaximumBytes) and written to the photo album; the delegate hears the outcome.
// Main thread.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/ui/AlertView.h"
#include "platform/web/WebDocumentRef.h"

namespace platform {
class URLConnection;
class WebView;
}

namespace ruzave {

class GADMRAIDPicture;

class GADMRAIDPictureDelegate {
  public:
    virtual ~GADMRAIDPictureDelegate() = default;
    virtual void MRAIDPictureDidStorePictureWithURL(GADMRAIDPicture& picture, const platform::URL& url) = 0;
    virtual void MRAIDPictureFailedToStorePictureWithURL(GADMRAIDPicture& picture,
                                                         const std::optional<platform::URL>& url,
                                                         const std::string& message) = 0;
};

class GADMRAIDPicture : public std::enable_shared_from_this<GADMRAIDPicture>,
                        public platform::AlertViewDelegate,
                        public platform::URLConnectionDelegate {
  public:
    static constexpr const char* kAlertTitle = "Permission";
    static constexpr const char* kAlertMessage = "The ad is requesting to save an image in your photo album.";
    static constexpr double kTimeout = 60;
    // A picture larger than this is not a picture an ad should store.
    static constexpr std::size_t kMaximumBytes = 8 * 1024 * 1024;

    static std::shared_ptr<GADMRAIDPicture> initWithURL(const std::optional<platform::URL>& url);

    const std::optional<platform::URL>& pictureURL() const { return pictureURL_; }
    bool downloadStarted() const { return downloadStarted_; }
    void setDelegate(const std::weak_ptr<GADMRAIDPictureDelegate>& d) { delegate_ = d; }
    // The document that asked: the picture is its load (see platform::WebDocumentRef::connectionForPage),
    // and is not fetched once the document has closed.
    void setPage(platform::WebDocumentRef page) { page_ = std::move(page); }
    std::shared_ptr<platform::AlertView> alert() const { return alert_; }

    void storeInPhotoAlbum();
    void downloadImageWithURL(const std::optional<platform::URL>& url);
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) override;

    void didReceiveData(const std::shared_ptr<platform::URLConnection>& connection, const platform::Bytes& data) override;
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>& connection) override;
    void didFailWithError(const std::shared_ptr<platform::URLConnection>& connection, const platform::Error& error) override;

  private:
    GADMRAIDPicture() = default;
    void fail(const std::string& reason);

    std::optional<platform::URL> pictureURL_;
    bool downloadStarted_ = false;
    std::weak_ptr<GADMRAIDPictureDelegate> delegate_;
    std::shared_ptr<platform::AlertView> alert_;
    std::shared_ptr<platform::URLConnection> connection_;
    platform::WebDocumentRef page_;
    platform::Bytes data_;
};

} // namespace ruzave
