#include "ads/render/GADBannerAdViewDelegate.h"

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADCSI.h"
#include "ads/render/GADAdAppGMSGHandler.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAppEventGMSGHandler.h"
#include "ads/render/GADDelayPageLoadGMSGHandler.h"
#include "ads/render/GADOpener.h"
#include "ads/render/GADSwipeToViewControllerGMSGHandler.h"
#include "platform/net/URLError.h"

namespace ruzave {
namespace {

// A creative that failed in its web view keeps the code apps know, and says why: a page stopped at its
// own limits (node cap, time, memory) is no network fault, and the app's log should show which it was.
platform::Error creativeLoadError(const platform::Error& cause, const std::shared_ptr<GADRequest>& request) {
    std::string description = GADRequestError::defaultDescription(GADRequestErrorNetworkError);
    if (!cause.description.empty()) description += " The creative failed to load: " + cause.description + ".";
    return GADRequestError::errorWithCode(GADRequestErrorNetworkError, request, 0, description, cause)
        .error();
}

} // namespace

std::shared_ptr<GADBannerAdViewDelegate> GADBannerAdViewDelegate::initWithSlot(const std::weak_ptr<GADSlot>& slot) {
    std::shared_ptr<GADBannerAdViewDelegate> delegate(new GADBannerAdViewDelegate(slot));
    delegate->setUpForSlot();
    return delegate;
}

void GADBannerAdViewDelegate::setUpForSlot() {
    opener()->setSlot(slot_);
    addDefaultHandlers();
    addGMSGHandler(GADAppEventGMSGHandler::initWithSlot(slot_.lock()));
    addGMSGHandler(GADAdAppGMSGHandler::init());
    addGMSGHandler(GADSwipeToViewControllerGMSGHandler::initWithSlot(slot_.lock()));
    delayHandler_ = GADDelayPageLoadGMSGHandler::initWithDelegate(selfAsDelayDelegate());
    addGMSGHandler(delayHandler_);
}

std::weak_ptr<GADDelayLoadDelegate> GADBannerAdViewDelegate::selfAsDelayDelegate() {
    auto self = std::static_pointer_cast<GADBannerAdViewDelegate>(weak_from_this().lock());
    return std::weak_ptr<GADDelayLoadDelegate>(std::static_pointer_cast<GADDelayLoadDelegate>(self));
}

GADMRAIDScriptKind GADBannerAdViewDelegate::MRAIDScriptKind() const {
    auto slot = slot_.lock();
    auto type = slot ? slot->adType() : nullptr;
    return type && type->isInterstitial() ? GADMRAIDScriptKind::Interstitial : GADMRAIDScriptKind::Banner;
}

bool GADBannerAdViewDelegate::isClick(platform::WebViewNavigationType navigationType) const {
    auto slot = slot_.lock();
    if (!slot) return false;
    switch (slot->state()) {
    case GADSlotStateReset:
    case GADSlotStateRequestingAdURL:
    case GADSlotStateReceivedAdURL:
    case GADSlotStateFetchingAdContent:
    case GADSlotStateValidAd:
    case GADSlotStateInvalidAd:
        break;
    default:
        return false;
    }
    if (auto loaded = slot->timeLastLoaded()) {
        double now = static_cast<double>(GADAbsoluteTime::absoluteTimeInMilliseconds());
        if (now - *loaded < kMinimumClickDelayMilliseconds) return false;
    }
    if (navigationType == platform::WebViewNavigationType::BackForward ||
        navigationType == platform::WebViewNavigationType::Reload)
        return false;
    auto adView = slot->adView();
    return adView && adView->isTouched();
}

std::optional<bool> GADBannerAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView,
                                                    const platform::URLRequest& request,
                                                    platform::WebViewNavigationType navigationType) {
    auto slot = slot_.lock();
    if (slot && adView) {
        auto type = slot->adType();
        if (!type || !type->isInterstitial()) opener()->setViewController(adView->viewController());
    }
    if (!isClick(navigationType)) return GADAdViewDelegate::adView(adView, request, navigationType);

    std::optional<platform::URL> pageURL = adView ? adView->URL() : std::nullopt;
    auto answer = GADAdViewDelegate::adView(adView, request, navigationType);
    if (!answer.value_or(true)) return false;
    // A click never loads in the ad's own page, so the page keeps its place in the stash.
    if (adView && pageURL && (!adView->URL() || adView->URL()->absoluteString() != pageURL->absoluteString())) {
        adView->setURL(pageURL, adView);
    }
    if (adView) opener()->setReferringURL(adView->request().url());
    platform::URL target = slot ? slot->gestureClickURLWithURL(request.url()) : request.url();
    // The click is booked by the opener, once, when the open is really performed.
    if (request.url().scheme().rfind("http", 0) == 0) opener()->openApp(target);
    return false;
}

void GADBannerAdViewDelegate::adViewDidStartLoad(const std::shared_ptr<GADAdView>& adView) {
    loadDelayed_ = false;
    loadFinished_ = false;
    if (delayHandler_) delayHandler_->resetWithDelegate(selfAsDelayDelegate());
    GADAdViewDelegate::adViewDidStartLoad(adView);
}

void GADBannerAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) {
    loadFinished_ = true;
    if (loadDelayed_) return;
    GADAdViewDelegate::adViewDidFinishLoad(adView);
    auto slot = slot_.lock();
    // Once per ad: a page that opened a screen while rendering was finished then.
    if (slot) slot->finishRenderingAd();
    // A creative's script ticks are timed from here unless they name another start. Stamped after the
    // valid ad's load report, which clears the stamps, so the page's ticks still find it.
    GADCSI::sharedInstance()->recordTimestampForLabel(GADCSI::kViewLoadLabel);
}

void GADBannerAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView, const platform::Error& error) {
    GADAdViewDelegate::adView(adView, error);
    auto slot = slot_.lock();
    if (!slot) return;
    if (slot->state() != GADSlotStateFetchingAdContent && slot->state() != GADSlotStateRenderingAd) return;
    slot->didFailToReceiveAdWithError(creativeLoadError(error, slot->request()), false);
}

void GADBannerAdViewDelegate::adView(const std::shared_ptr<GADAdView>&, platform::Size contentSize) {
    if (auto slot = slot_.lock()) slot->updateContentSize(contentSize);
}

void GADBannerAdViewDelegate::loadHandlerDidCancel(GADDelayPageLoadGMSGHandler&) {
    auto slot = slot_.lock();
    adView(slot ? slot->adView() : nullptr,
           platform::Error(platform::URLError::Domain, platform::URLError::Cancelled, "The load was cancelled."));
}

void GADBannerAdViewDelegate::loadHandlerDidChangeDelay(GADDelayPageLoadGMSGHandler&, int from, int to) {
    if (from == 0 && to >= 1) {
        loadDelayed_ = true;
    } else if (from >= 1 && to == 0) {
        loadDelayed_ = false;
        if (loadFinished_) {
            auto slot = slot_.lock();
            // The banner's own steps: a script ad's delegate has passed its render check by now.
            GADBannerAdViewDelegate::adViewDidFinishLoad(slot ? slot->adView() : nullptr);
        }
    }
}

} // namespace ruzave
