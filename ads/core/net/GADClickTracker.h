#pragma once
// Follows one tracking URL through its redirects by downloading it into a cached file, holding a
// background task meanwhile, and reports once where it ended or that it failed. A redirect to a URL
// that is not http or https ends the tracking there, without loading it. Main thread.
#include <memory>
#include <optional>

#include "ads/core/net/GADCachedFile.h"
#include "ads/core/net/GADCachedFileDelegate.h"
#include "ads/core/net/GADClickTrackerDelegate.h"
#include "platform/ui/Application.h"

namespace ruzave {

class GADClickTracker : public GADCachedFileDelegate, public std::enable_shared_from_this<GADClickTracker> {
  public:
    static std::shared_ptr<GADClickTracker> init();
    // Lets go of the file (deleting what it stored) and of the background task.
    ~GADClickTracker() override;

    void trackURL(const std::optional<platform::URL>& url);
    // The page that named the URL (see GADCachedFile::setPage); before trackURL.
    void setPage(platform::WebDocumentRef page) {
        page_ = std::move(page);
        forPage_ = true;
    }
    void reset();

    bool hasTracked() const { return hasTracked_; }
    bool isCacheEnabled() const { return cacheEnabled_; }
    void setCacheEnabled(bool enabled) { cacheEnabled_ = enabled; }
    std::shared_ptr<GADCachedFile> tracker() const { return tracker_; }
    platform::BackgroundTaskIdentifier backgroundTaskID() const { return backgroundTaskID_; }
    std::shared_ptr<GADClickTrackerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADClickTrackerDelegate>& d) { delegate_ = d; }

    // GADCachedFileDelegate.
    std::optional<platform::Error> cachedFileShouldRedirectToURL(GADCachedFile& file, const platform::URL& url) override;
    void cachedFileDownloadDidEnd(GADCachedFile& file) override;
    void cachedFileDownloadDidFail(GADCachedFile& file, const std::optional<platform::Error>& error) override;

  private:
    GADClickTracker() = default;
    void endBackgroundTask();
    void releaseFile();

    platform::BackgroundTaskIdentifier backgroundTaskID_ = platform::kBackgroundTaskInvalid;
    std::shared_ptr<GADCachedFile> tracker_;
    bool hasTracked_ = false;
    bool cacheEnabled_ = true;
    std::weak_ptr<GADClickTrackerDelegate> delegate_;
    platform::WebDocumentRef page_;
    bool forPage_ = false;
};

} // namespace ruzave
