#include "ads/core/net/GADClickTracker.h"

#include "ads/core/public/GADInternalErrorAdditions.h"

namespace ruzave {

std::shared_ptr<GADClickTracker> GADClickTracker::init() {
    return std::shared_ptr<GADClickTracker>(new GADClickTracker());
}

GADClickTracker::~GADClickTracker() {
    releaseFile();
    endBackgroundTask();
}

void GADClickTracker::releaseFile() {
    if (!tracker_) return;
    tracker_->setDelegate({});
    tracker_->invalidate();
    tracker_.reset();
}

void GADClickTracker::endBackgroundTask() {
    if (backgroundTaskID_ == platform::kBackgroundTaskInvalid) return;
    platform::Application::sharedApplication()->endBackgroundTask(backgroundTaskID_);
    backgroundTaskID_ = platform::kBackgroundTaskInvalid;
}

void GADClickTracker::reset() {
    hasTracked_ = false;
    releaseFile();
    endBackgroundTask();
}

void GADClickTracker::trackURL(const std::optional<platform::URL>& url) {
    reset();
    if (!url) return;
    std::weak_ptr<GADClickTracker> weak = weak_from_this();
    backgroundTaskID_ = platform::Application::sharedApplication()->beginBackgroundTask([weak] {
        if (auto tracker = weak.lock()) tracker->reset();
    });
    tracker_ = GADCachedFile::initWithURL(*url);
    tracker_->setDelegate(weak_from_this());
    // A page's ping outlives its close, as a browser's beacon does.
    if (forPage_) tracker_->setPage(page_, platform::PageLoad::Beacon);
    if (!cacheEnabled_) tracker_->setCachePolicy(platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
    // Keep the file: validate() may report synchronously, and the delegate may drop us.
    auto file = tracker_;
    file->validate();
}

std::optional<platform::Error> GADClickTracker::cachedFileShouldRedirectToURL(GADCachedFile& file,
                                                                              const platform::URL& url) {
    std::string scheme = url.scheme();
    if (scheme == "http" || scheme == "https") return std::nullopt;
    // An app-store or other app link: where the click goes, not something to load here.
    cachedFileDownloadDidEnd(file);
    return platform::Error(kGADErrorDomain, 0);
}

void GADClickTracker::cachedFileDownloadDidEnd(GADCachedFile& file) {
    if (hasTracked_) return;
    auto self = shared_from_this();
    hasTracked_ = true;
    if (auto d = delegate()) d->trackerDidRedirect(*this, file.HTTPDestinationURL());
    endBackgroundTask();
}

void GADClickTracker::cachedFileDownloadDidFail(GADCachedFile&, const std::optional<platform::Error>& error) {
    if (hasTracked_) return;
    auto self = shared_from_this();
    hasTracked_ = true;
    if (auto d = delegate()) d->trackerDidFailWithError(*this, error);
    endBackgroundTask();
}

} // namespace ruzave
