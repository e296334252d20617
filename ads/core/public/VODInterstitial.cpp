#include "ads/core/public/VODInterstitial.h"

#include <cstdio>

#include "ads/core/public/GADAppEventDelegate.h"
#include "ads/core/public/GADCorrelator.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/VODCustomRenderedAd.h"
#include "ads/core/public/VODCustomRenderedInterstitialDelegate.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLogger.h"

namespace ruzave {

std::shared_ptr<VODInterstitial> VODInterstitial::initWithAdUnitID(const std::optional<std::string>& adUnitID) {
    std::shared_ptr<VODInterstitial> self(new VODInterstitial());
    self->commonInitWithAdUnitID(adUnitID);
    return self;
}

std::string VODInterstitial::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<VODInterstitial: %p>", static_cast<const void*>(this));
    return text;
}

std::shared_ptr<GADCorrelator> VODInterstitial::correlator() const {
    return slot()->correlator();
}

void VODInterstitial::setCorrelator(const std::shared_ptr<GADCorrelator>& correlator) {
    slot()->setCorrelator(correlator);
}

void VODInterstitial::presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root) {
    if (customAdRenderingEnabled_) {
        GADLogger::sharedInstance()->logPublicMessage(kCustomRenderingPresentMessage);
        return;
    }
    GADInterstitial::presentFromRootViewController(root);
}

// ---------------------------------------------------------------- reports of a custom-rendered ad

void VODInterstitial::recordClick() {
    slot()->appRenderedAdWasClicked();
}

void VODInterstitial::recordCustomAdImpression() {
    slot()->appRenderedAdMadeImpression();
}

void VODInterstitial::finishedRenderingAdView(const std::shared_ptr<platform::View>&) {
    // Said of the ad the app renders: nothing once its load has ended (the app heard so), nor while the
    // slot renders a page of its own.
    slot()->appDidFinishRenderingAd();
}

// ---------------------------------------------------------------- slot questions

void VODInterstitial::slotWillLoadAdWithRequest(GADSlot& slot, const std::shared_ptr<GADRequest>&) {
    auto correlator = slot.correlator();
    previousCorrelationID_ = correlator ? correlator->correlationID() : 0;
}

std::optional<bool> VODInterstitial::slotShouldPreemptInProgressRequest(GADSlot& slot) {
    auto correlator = slot.correlator();
    return previousCorrelationID_ != 0 && correlator && correlator->correlationID() != previousCorrelationID_;
}

void VODInterstitial::slotDidReceiveAppEventWithInfo(GADSlot&, const std::string& name,
                                                     const std::optional<std::string>& info) {
    if (auto delegate = appEventDelegate()) delegate->interstitialDidReceiveAppEvent(*this, name, info);
}

std::optional<bool> VODInterstitial::slotNotifyPublisherToRenderCustomRenderingAd(GADSlot& slot,
                                                                                  const std::shared_ptr<GADAd>& ad,
                                                                                  platform::Error* error) {
    auto delegate = customRenderedInterstitialDelegate();
    if (delegate) {
        // Only an ad actually handed over makes the app the one to present it.
        customAdRenderingEnabled_ = true;
        auto custom = VODCustomRenderedAd::initWithAd(ad);
        custom->setDelegate(std::static_pointer_cast<VODInterstitial>(shared_from_this()));
        custom->setLoad(slot.weak_from_this(), slot.appRenderedLoad());
        slot.willStartAdRendering();
        delegate->interstitialDidReceiveCustomRenderedAd(*this, custom);
        return true;
    }
    if (error) {
        *error = GADRequestError::errorWithCode(
            GADRequestErrorInvalidArgument,
            "Ignoring delegate callback. Delegate does not conform to VODCustomRenderedInterstitialDelegate.\n"
            "Interstitial: " + description() + "\nDelegate: (null)");
    }
    return false;
}

} // namespace ruzave
