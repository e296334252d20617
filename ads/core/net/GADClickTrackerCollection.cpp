#include "ads/core/net/GADClickTrackerCollection.h"

#include <atomic>

#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {
namespace {
std::atomic<std::size_t> started{0};
} // namespace

std::shared_ptr<GADClickTrackerCollection> GADClickTrackerCollection::sharedInstance() {
    // Lives for the process: trackers still running at exit are not torn down after the network is.
    static auto* instance = new std::shared_ptr<GADClickTrackerCollection>(new GADClickTrackerCollection());
    return *instance;
}

GADClickTrackerCollection::~GADClickTrackerCollection() {
    for (const auto& tracker : trackers_) {
        tracker->setDelegate({});
        tracker->reset();
    }
}

void GADClickTrackerCollection::start(const platform::URL& url, bool cacheEnabled,
                                      const platform::WebDocumentRef* page) {
    // An empty string parses as an empty reference, which is nothing to load.
    if (!url.isValid() || url.absoluteString().empty()) return;
    // A creative's URL with no page to load it for is nobody's to send.
    if (page != nullptr && page->isNull()) {
        platform::logWarning("click trackers: a creative's URL named with no document is not sent");
        return;
    }
    auto tracker = GADClickTracker::init();
    tracker->setDelegate(weak_from_this());
    tracker->setCacheEnabled(cacheEnabled);
    if (page != nullptr) tracker->setPage(*page);
    ++started;
    trackers_.insert(tracker);
    tracker->trackURL(url);
}

void GADClickTrackerCollection::trackURLForPage(const GADPageURL& url, bool cacheEnabled) {
    start(url.url(), cacheEnabled, &url.page());
}

void GADClickTrackerCollection::trackURLsForPage(const std::vector<GADPageURL>& urls, bool cacheEnabled) {
    for (const auto& url : urls) start(url.url(), cacheEnabled, &url.page());
}

void GADClickTrackerCollection::trackURLs(const platform::Value& urls, bool cacheEnabled) {
    if (!urls.is_array()) return;
    for (const auto& entry : urls) {
        if (!entry.is_string()) continue;
        if (auto url = platform::URL::parse(entry.get_ref<const std::string&>())) trackURL(*url, cacheEnabled);
    }
}

void GADClickTrackerCollection::trackURLs(const std::vector<std::string>& urls, bool cacheEnabled) {
    for (const auto& text : urls) {
        if (auto url = platform::URL::parse(text)) trackURL(*url, cacheEnabled);
    }
}

void GADClickTrackerCollection::trackURLs(const std::vector<platform::URL>& urls, bool cacheEnabled) {
    for (const auto& url : urls) trackURL(url, cacheEnabled);
}

std::size_t GADClickTrackerCollection::trackedCount() const {
    return started.load();
}

void GADClickTrackerCollection::trackerDidRedirect(GADClickTracker&, const platform::URL&) {
    scheduleCleanup();
}

void GADClickTrackerCollection::trackerDidFailWithError(GADClickTracker&, const std::optional<platform::Error>&) {
    scheduleCleanup();
}

void GADClickTrackerCollection::scheduleCleanup() {
    if (cleanupScheduled_) return;
    cleanupScheduled_ = true;
    std::weak_ptr<GADClickTrackerCollection> weak = weak_from_this();
    platform::DispatchQueue::main()->async([weak] {
        if (auto collection = weak.lock()) collection->cleanupTrackers();
    });
}

void GADClickTrackerCollection::cleanupTrackers() {
    cleanupScheduled_ = false;
    for (auto it = trackers_.begin(); it != trackers_.end();) {
        if ((*it)->hasTracked()) {
            (*it)->setDelegate({});
            it = trackers_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace ruzave
