#include "ads/render/GADBrowserAdViewDelegate.h"

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADBrowserAdView.h"
#include "ads/render/GADBrowserViewController.h"
#include "ads/render/GADNotification.h"
#include "platform/base/Strings.h"

namespace ruzave {
namespace {

bool isUserNavigation(platform::WebViewNavigationType type) {
    return type == platform::WebViewNavigationType::LinkClicked ||
           type == platform::WebViewNavigationType::FormSubmitted;
}

double nowInMilliseconds() {
    return static_cast<double>(GADAbsoluteTime::absoluteTimeInMilliseconds());
}

} // namespace

std::shared_ptr<GADBrowserAdViewDelegate> GADBrowserAdViewDelegate::init() {
    // No handlers: landing pages are not ads and get none of the ad bridge's actions.
    return std::shared_ptr<GADBrowserAdViewDelegate>(new GADBrowserAdViewDelegate());
}

std::shared_ptr<GADBrowserViewController>
GADBrowserAdViewDelegate::browserControllerForAdView(const std::shared_ptr<GADAdView>& adView) {
    auto browserView = std::dynamic_pointer_cast<GADBrowserAdView>(adView);
    return browserView ? browserView->browserViewController() : nullptr;
}

std::shared_ptr<GADStatisticDictionary>
GADBrowserAdViewDelegate::statisticsFor(const std::shared_ptr<GADBrowserViewController>& browser) {
    auto slot = browser ? browser->slot() : nullptr;
    auto ad = slot ? slot->ad() : nullptr;
    return ad ? ad->statistics() : nullptr;
}

std::optional<bool> GADBrowserAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView,
                                                     const platform::URLRequest& request,
                                                     platform::WebViewNavigationType navigationType) {
    const platform::URL& url = request.url();
    const std::string scheme = platform::toLowerASCII(url.scheme());
    if (isUserNavigation(navigationType)) {
        if (auto browser = browserControllerForAdView(adView)) {
            if (auto stats = statisticsFor(browser)) {
                if (scheme == "http") stats->incrementNumberForKey("plpnc", true);
                if (scheme == "https") stats->incrementNumberForKey("plpsnc", true);
            }
        }
        userActivated_ = true;
    }
    // Script messages from a landing page go nowhere: not to handlers, not out as notifications.
    if (GADNotification::isNotificationURL(url)) return false;
    const bool loadsInPlace = scheme == "http" || scheme == "https" || scheme == "about";
    if (!loadsInPlace && !userActivated_) return false;
    return GADAdViewDelegate::adView(adView, request, navigationType);
}

void GADBrowserAdViewDelegate::adViewDidStartLoad(const std::shared_ptr<GADAdView>& adView) {
    auto browser = browserControllerForAdView(adView);
    if (auto stats = statisticsFor(browser)) {
        // The first start stands: redirects and reloads do not move it.
        if (!stats->objectForKey("tlanding_page_load_start"))
            stats->setObject(platform::Value(nowInMilliseconds()), "tlanding_page_load_start", true);
    }
    GADAdViewDelegate::adViewDidStartLoad(adView);
    if (browser) browser->refreshToolbar();
}

void GADBrowserAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) {
    auto browser = browserControllerForAdView(adView);
    if (auto stats = statisticsFor(browser))
        stats->setObject(platform::Value(nowInMilliseconds()), "tlanding_page_load_end", true);
    userActivated_ = false;
    GADAdViewDelegate::adViewDidFinishLoad(adView);
    if (browser) browser->refreshToolbar();
}

void GADBrowserAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView,
                                      const platform::Error& error) {
    userActivated_ = false;
    GADAdViewDelegate::adView(adView, error);
    if (auto browser = browserControllerForAdView(adView)) browser->refreshToolbar();
}

} // namespace ruzave
