// The slot's side of clicks and of the rendered page: what the opener and the ad-view delegate tell it.
#include "ads/core/signals/GADGestureModule.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADNotification.h"

namespace ruzave {

void GADSlot::adWasClicked() {
    GADApplication::sharedInstance()->incrementTotalAdClickCount();
    if (!ad_) return;
    auto statistics = ad_->statistics();
    statistics->setObject(platform::Value(static_cast<double>(GADAbsoluteTime::absoluteTimeInMilliseconds())),
                          "tclickcurr", true);
    statistics->incrementNumberForKey("pcc", true);
}

void GADSlot::pingClickURLs() {
    if (ad_) {
        std::vector<std::string> urls;
        for (const auto& url : ad_->clickURLs()) urls.push_back(url.absoluteString());
        GADClickTrackerCollection::sharedInstance()->trackURLs(urls, false);
    }
    if (auto delegate = slotDelegate()) delegate->slotDidReceiveAdClick(*this);
}

namespace {
void trackOnce(std::vector<platform::URL> urls) {
    std::vector<std::string> texts;
    for (const auto& url : urls) texts.push_back(url.absoluteString());
    if (!texts.empty()) GADClickTrackerCollection::sharedInstance()->trackURLs(texts, false);
}
} // namespace

void GADSlot::pingImpressionURLs() {
    if (!ad_) return;
    std::vector<platform::URL> urls = ad_->impressionURLs();
    ad_->removeAllImpressionURLs();
    trackOnce(std::move(urls));
}

void GADSlot::pingManualTrackingURLs() {
    if (!ad_) return;
    std::vector<platform::URL> urls = ad_->manualImpressionURLs();
    ad_->removeAllManualImpressionURLs();
    trackOnce(std::move(urls));
}

void GADSlot::willLeaveAppDueToClick() {
    if (ad_) ad_->statistics()->setObject(platform::Value(true), "pclb", true);
}

platform::URL GADSlot::gestureClickURLWithURL(const platform::URL& url) {
    if (GADNotification::isNotificationURL(url) || url.absoluteString() == "about:blank") return url;
    auto query = url.query();
    if (!query || query->empty()) return url;
    std::optional<std::string> ai;
    for (const auto& [key, value] : platform::parseQuery(*query)) {
        if (key == "ai") {
            ai = value;
            break;
        }
    }
    if (!ai || ai->empty()) return url;
    std::string signal;
    if (GADGestureModuleRequestParameter(signal) != 1 || signal.empty()) return url;
    // The signal goes in as one more query item, before the landing page part when there is one.
    std::string text = url.absoluteString();
    std::size_t adurl = text.find("&adurl=");
    if (adurl == std::string::npos) {
        std::size_t hash = text.find('#');
        std::size_t at = hash == std::string::npos ? text.size() : hash;
        text.insert(at, "&" + signal);
    } else {
        text.insert(adurl, "&" + signal);
    }
    auto signed_ = platform::URL::parse(text);
    return signed_ ? *signed_ : url;
}

void GADSlot::updateContentSize(platform::Size size) {
    const auto& ad = ad_ ? ad_ : loadingAd_;
    bool fluid = ad && ad->isFluid();
    platform::Size passed = size;
    if (!fluid) {
        passed = platform::Size{0, 0};
        if (ad_ && ad_->customAdSizeString()) passed = CGSizeFromGADSizeString(*ad_->customAdSizeString());
    }
    if (auto delegate = slotDelegate()) delegate->slotContentSizeDidChange(*this, passed);
}

} // namespace ruzave
