#include "ads/core/public/VODBannerView.h"

#include <cstdio>

#include "ads/core/public/GADAdSizeDelegate.h"
#include "ads/core/public/GADAppEventDelegate.h"
#include "ads/core/public/GADCorrelator.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/VODCustomRenderedAd.h"
#include "ads/core/public/VODCustomRenderedBannerViewDelegate.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLogger.h"

namespace ruzave {

std::shared_ptr<VODBannerView> VODBannerView::initWithFrame(platform::Rect frame, const GADAdSize& adSize) {
    platform::Error error;
    if (!GADAdSizeIsValid(adSize, &error)) {
        GADLogger::sharedInstance()->logPublicMessage("Unable to set adSize property. " + error.description);
        return nullptr;
    }
    std::shared_ptr<VODBannerView> view(new VODBannerView(frame));
    view->commonInitWithAdSize(adSize);
    return view;
}

std::shared_ptr<VODBannerView> VODBannerView::initWithAdSize(const GADAdSize& adSize) {
    return initWithFrame(platform::Rect::zero(), adSize);
}

std::shared_ptr<VODBannerView> VODBannerView::initWithAdSize(const GADAdSize& adSize, platform::Point origin) {
    auto view = initWithAdSize(adSize);
    if (view) view->setFrame(platform::Rect(origin, view->frame().size));
    return view;
}

std::shared_ptr<VODBannerView> VODBannerView::initWithFrame(platform::Rect frame) {
    return initWithFrame(frame, GADAdSizeFromCGSize(frame.size));
}

std::shared_ptr<VODBannerView> VODBannerView::init() {
    return initWithFrame(platform::Rect::zero());
}

std::string VODBannerView::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<VODBannerView: %p>", static_cast<const void*>(this));
    return text;
}

// ---------------------------------------------------------------- properties kept by the slot

std::shared_ptr<GADCorrelator> VODBannerView::correlator() const {
    return slot()->correlator();
}

void VODBannerView::setCorrelator(const std::shared_ptr<GADCorrelator>& correlator) {
    slot()->setCorrelator(correlator);
}

bool VODBannerView::enableManualImpressions() const {
    return slot()->manualImpressionsEnabled();
}

void VODBannerView::setEnableManualImpressions(bool enable) {
    slot()->setManualImpressionsEnabled(enable);
}

// ---------------------------------------------------------------- sizes and impressions

void VODBannerView::setValidAdSizesWithSizes(std::initializer_list<const GADAdSize*> sizes) {
    platform::Value boxed = platform::Value::array();
    for (const GADAdSize* size : sizes) {
        if (!size) break;
        boxed.push_back(NSValueFromGADAdSize(*size));
    }
    validAdSizes_ = std::move(boxed);
}

void VODBannerView::resize(const GADAdSize& size) {
    setAdSize(size, false);
}

void VODBannerView::recordImpression() {
    slot()->pingManualTrackingURLs();
}

// ---------------------------------------------------------------- reports of a custom-rendered ad

void VODBannerView::recordClick() {
    slot()->appRenderedAdWasClicked();
}

void VODBannerView::recordCustomAdImpression() {
    slot()->appRenderedAdMadeImpression();
}

void VODBannerView::finishedRenderingAdView(const std::shared_ptr<platform::View>&) {
    // Said of the ad the app renders: nothing once its load has ended (the app heard so), nor while the
    // slot renders a page of its own.
    slot()->appDidFinishRenderingAd();
}

// ---------------------------------------------------------------- slot questions

void VODBannerView::slotWillLoadAdWithRequest(GADSlot& slot, const std::shared_ptr<GADRequest>&) {
    auto correlator = slot.correlator();
    previousCorrelationID_ = correlator ? correlator->correlationID() : 0;
}

std::optional<bool> VODBannerView::slotShouldPreemptInProgressRequest(GADSlot& slot) {
    // Only a reset correlator makes a new page view whose request replaces the running one.
    auto correlator = slot.correlator();
    return previousCorrelationID_ != 0 && correlator && correlator->correlationID() != previousCorrelationID_;
}

void VODBannerView::slotDidReceiveAppEventWithInfo(GADSlot&, const std::string& name,
                                                   const std::optional<std::string>& info) {
    if (auto delegate = appEventDelegate()) delegate->adViewDidReceiveAppEvent(*this, name, info);
}

void VODBannerView::slotWillResizeToAdSize(GADSlot&, const GADAdSize& size) {
    if (auto delegate = adSizeDelegate()) delegate->adViewWillChangeAdSizeTo(*this, size);
}

std::optional<bool> VODBannerView::slotNotifyPublisherToRenderCustomRenderingAd(GADSlot& slot,
                                                                                const std::shared_ptr<GADAd>& ad,
                                                                                platform::Error* error) {
    auto delegate = customRenderedBannerViewDelegate();
    if (delegate) {
        auto custom = VODCustomRenderedAd::initWithAd(ad);
        custom->setDelegate(std::dynamic_pointer_cast<VODBannerView>(shared_from_this()));
        custom->setLoad(slot.weak_from_this(), slot.appRenderedLoad());
        slot.willStartAdRendering();
        delegate->bannerViewDidReceiveCustomRenderedAd(*this, custom);
        return true;
    }
    if (error) {
        *error = GADRequestError::errorWithCode(
            GADRequestErrorInvalidArgument,
            "Ignoring delegate callback. Delegate does not conform to VODCustomRenderedBannerViewDelegate.\n"
            "Banner view: " + description() + "\nDelegate: (null)");
    }
    return false;
}

} // namespace ruzave
