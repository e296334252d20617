// The slot's side of clicks and of the rendered page: what the opener and the ad-view delegate tell it.
#include <cctype>

#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADGestureModule.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "ads/render/GADNotification.h"
#include "platform/foundation/UserDefaults.h"

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
    if (ad_) GADClickTrackerCollection::sharedInstance()->trackURLs(ad_->clickURLs(), false);
    if (auto delegate = slotDelegate()) delegate->slotDidReceiveAdClick(*this);
}

namespace {
void trackOnce(const std::vector<platform::URL>& urls) {
    GADClickTrackerCollection::sharedInstance()->trackURLs(urls, false);
}
} // namespace

void GADSlot::appRenderedAdWasClicked() {
    // Not ad_: once the next load's fetch has started it holds nothing, or the next ad.
    const auto& ad = shownAppRenderedAd_ ? shownAppRenderedAd_ : ad_;
    if (ad) trackOnce(ad->clickURLs());
    if (auto delegate = slotDelegate()) delegate->slotDidReceiveAdClick(*this);
}

void GADSlot::appRenderedAdMadeImpression() {
    if (!shownAppRenderedAd_ || shownAppRenderedAd_ == ad_) {
        didMakeAdImpression();
        return;
    }
    // Seen while the next load is under way: counted once with its own URLs, leaving that load's view
    // state alone.
    if (impressionCountedAd_.lock() == shownAppRenderedAd_) return;
    impressionCountedAd_ = shownAppRenderedAd_;
    GADApplication::sharedInstance()->statistics()->incrementNumberForKey("pimp", false);
    std::vector<platform::URL> urls = shownAppRenderedAd_->impressionURLs();
    shownAppRenderedAd_->removeAllImpressionURLs();
    trackOnce(std::move(urls));
}

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
    if (ad_) {
        if (auto ticket = gad_impressionTicket(url)) ad_->statistics()->setObject(platform::Value(*ticket), "pit", true);
    }
    auto query = url.query();
    if (!query || query->empty() || !isRuzaveAdURL(url)) return url;
    std::optional<std::string> ai = gad_parameterValueForKey(url, "ai");
    if (!ai || ai->empty()) return url;
    std::string signal;
    if (GADGestureModuleClickSignal(*ai, signal) != 1 || signal.empty()) return url;
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

bool GADSlot::isRuzaveAdURL(const platform::URL& url) {
    std::string list = platform::UserDefaults::standard()->string("/ruzave/ads/as_domains").value_or("");
    if (list.empty()) list = GADHosts::defaultAdServerDomains();
    std::string host = url.host();  // already lower-cased
    if (host.empty()) return false;
    // Whole labels only: "ruzave.example" matches "ads.ruzave.example", never "evilruzave.example".
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        std::string entry = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        start = comma == std::string::npos ? list.size() + 1 : comma + 1;
        for (auto& c : entry) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (entry.empty() || entry == ".") continue;
        if (host == entry || host == entry.substr(entry[0] == '.' ? 1 : 0)) return true;
        std::string suffix = entry[0] == '.' ? entry : "." + entry;
        if (host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    }
    return false;
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
