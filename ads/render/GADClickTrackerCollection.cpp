#include "ads/render/GADClickTrackerCollection.h"

#include <atomic>

#include "ads/core/net/GADPinger.h"

namespace ruzave {
namespace {
std::atomic<std::size_t> tracked{0};
} // namespace

std::shared_ptr<GADClickTrackerCollection> GADClickTrackerCollection::sharedInstance() {
    static std::shared_ptr<GADClickTrackerCollection> instance(new GADClickTrackerCollection());
    return instance;
}

void GADClickTrackerCollection::trackURL(const platform::URL& url, bool) {
    // The pinger fetches afresh every time; there is no response cache to honour or skip here.
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) return;
    ++tracked;
    GADPinger::sharedInstance()->pingURLString(url.absoluteString(), [](bool) {});
}

void GADClickTrackerCollection::trackURLs(const std::vector<std::string>& urls, bool cacheEnabled) {
    for (const auto& text : urls) {
        if (auto url = platform::URL::parse(text)) trackURL(*url, cacheEnabled);
    }
}

std::size_t GADClickTrackerCollection::trackedCount() const {
    return tracked.load();
}

} // namespace ruzave
