#include "ads/core/public/GADInterstitial.h"

#include <exception>

#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADCSI.h"
#include "ads/core/util/GADLogger.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADInterstitialViewController.h"
#include "ads/render/GADMobileAdsAdditions.h"
#include "ads/render/GADViewUtilities.h"

namespace ruzave {

std::shared_ptr<GADInterstitial> GADInterstitial::initWithAdUnitID(const std::optional<std::string>& adUnitID) {
    std::shared_ptr<GADInterstitial> self(new GADInterstitial());
    self->commonInitWithAdUnitID(adUnitID);
    return self;
}

void GADInterstitial::commonInitWithAdUnitID(const std::optional<std::string>& adUnitID) {
    auto self = shared_from_this();
    auto device = GADDevice::sharedInstance();
    slot_ = GADSlot::initWithFrame(device ? device->standardizedPortraitScreenBounds() : platform::Rect::zero());
    auto& slot = slot_;
    slot->setInterstitial(self);
    slot->setSlotDelegate(self);
    slot->setAdEventDelegate(self);
    slot->setAdLoadDelegate(self);
    if (auto adView = slot->adView()) adView->configureAsInterstitialAdView();
    slot->setAdResponseDelegate(self);
    viewController_ = GADInterstitialViewController::initWithSlot(slot);
    if (adUnitID) slot->setAdUnitID(*adUnitID);
}

GADInterstitial::~GADInterstitial() {
    slot_->finishActiveViewReporting();
    if (auto adView = slot_->adView()) adView->setViewController({});
    slot_->setInterstitial({});
    slot_->cancelPendingAndFutureActions();
}

std::string GADInterstitial::adUnitID() const {
    return slot_->adUnitID();
}

void GADInterstitial::setAdUnitID(const std::string& adUnitID) {
    slot_->setAdUnitID(adUnitID);
}

void GADInterstitial::loadRequest(const std::shared_ptr<GADRequest>& request) {
    // A used object refuses once with code 6, before the slot could add a code-0 refusal of its own.
    // After the dismissal the invalidated slot drops the request silently.
    if (hasBeenUsed_ && slot_->state() != GADSlotStateInvalidated) {
        reportAlreadyUsed();
        return;
    }
    slot_->loadRequest(request);
}

bool GADInterstitial::isReady() const {
    return slot_->state() == GADSlotStateValidAd;
}

std::optional<std::string> GADInterstitial::adNetworkClassName() const {
    return slot_->adNetworkClassName();
}

void GADInterstitial::cancel() {
    slot_->cancelPendingAndFutureActions();
}

void GADInterstitial::sendInterstitialError(const std::optional<platform::Error>& error) {
    if (error) GADLogger::sharedInstance()->logPublicMessage(error->description);
    slot_->didFailToReceiveAdWithError(error, true);
}

void GADInterstitial::reportAlreadyUsed() {
    platform::Error error = alreadyUsedError_ ? *alreadyUsedError_
                                              : GADRequestError::errorWithCode(GADRequestErrorInternalError).error();
    GADLogger::sharedInstance()->logPublicMessage(error.description);
    auto self = shared_from_this();
    GADRunOnMainThread([self, error] {
        if (auto delegate = self->delegate_.lock()) delegate->interstitialDidFailToReceiveAdWithError(*self, error);
    });
}

bool GADInterstitial::adOrientationsSupported() const {
    auto ad = slot_->ad() ? slot_->ad() : slot_->loadingAd();
    auto adView = slot_->adView();
    if (!ad || !adView) return true;
    return gad_supportsOrientations(*adView, ad->supportedOrientations());
}

bool GADInterstitial::canPresentFullScreen() {
    if (hasBeenUsed_) {
        reportAlreadyUsed();
        return false;
    }
    if (!adOrientationsSupported()) {
        sendInterstitialError(GADRequestError::errorWithCode(GADRequestErrorInvalidResponse, slot_->request()).error());
        return false;
    }
    if (!isReady()) {
        GADLogger::sharedInstance()->logPublicMessage(kNotReadyMessage);
        return false;
    }
    return true;
}

void GADInterstitial::presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root) {
    if (!canPresentFullScreen()) return;
    auto self = shared_from_this(); // the delegate may drop the app's reference while we present
    // Shown, on either road: a creative's ticks may be timed from here.
    GADCSI::sharedInstance()->recordTimestampForLabel(GADCSI::kViewShowLabel);
    if (slot_->isMediating()) {
        slot_->presentMediatedInterstitialFromRootViewController(root);
    } else {
        try {
            if (auto adView = slot_->adView()) adView->setDelegate({});
            if (viewController_) {
                if (auto ad = slot_->ad()) viewController_->setSupportedInterfaceOrientations(ad->supportedOrientations());
                viewController_->setSlot(slot_);
            }
            slot_->didMakeAdImpression();
            if (viewController_) viewController_->presentFromViewController(root, nullptr);
        } catch (const std::exception& e) {
            sendInterstitialError(GADRequestError::errorWithCode(
                                      GADRequestErrorInternalError,
                                      std::string(kPresentationExceptionPrefix) + e.what() + " with trace: (none)")
                                      .error());
        } catch (...) {
            sendInterstitialError(GADRequestError::errorWithCode(
                                      GADRequestErrorInternalError,
                                      std::string(kPresentationExceptionPrefix) + "unknown with trace: (none)")
                                      .error());
        }
        viewController_.reset();
    }
    hasBeenUsed_ = true;
    alreadyUsedError_ = GADRequestError::errorWithCode(GADRequestErrorInterstitialAlreadyUsed, slot_->request()).error();
}

// ---------------------------------------------------------------- slot delegate

std::optional<bool> GADInterstitial::slotShouldLoadRequest(GADSlot&, const std::shared_ptr<GADRequest>&) {
    if (!hasBeenUsed_) return true;
    reportAlreadyUsed();
    return false;
}

std::optional<platform::Value>
GADInterstitial::coordinatesOfContentInScreen(const std::shared_ptr<platform::Screen>& screen) {
    auto adView = slot_->adView();
    if (!adView) return std::nullopt;
    return GADViewUtilities::positionOfView(adView, screen);
}

void GADInterstitial::slotDidReceiveAdClick(GADSlot&) {
    if (auto delegate = delegate_.lock()) delegate->interstitialDidReceiveAdClick(*this);
}

void GADInterstitial::notifyDelegate(void (GADInterstitialDelegate::*message)(GADInterstitial&)) {
    auto self = shared_from_this();
    GADRunOnMainThread([self, message] {
        if (auto delegate = self->delegate_.lock()) ((*delegate).*message)(*self);
    });
}

void GADInterstitial::slotFinishedLoadingAdContent(GADSlot&) {
    notifyDelegate(&GADInterstitialDelegate::interstitialDidReceiveAd);
}

void GADInterstitial::slotDidFailToLoadAdContentWithError(GADSlot&, const platform::Error& error) {
    auto self = shared_from_this();
    GADRunOnMainThread([self, error] {
        if (auto delegate = self->delegate_.lock()) delegate->interstitialDidFailToReceiveAdWithError(*self, error);
    });
}

void GADInterstitial::slotWillPresentScreen(GADSlot&) {
    notifyDelegate(&GADInterstitialDelegate::interstitialWillPresentScreen);
}
void GADInterstitial::slotWillDismissScreen(GADSlot&) {
    notifyDelegate(&GADInterstitialDelegate::interstitialWillDismissScreen);
}
void GADInterstitial::slotWillLeaveApplication(GADSlot&) {
    notifyDelegate(&GADInterstitialDelegate::interstitialWillLeaveApplication);
}

void GADInterstitial::slotDidDismissScreen(GADSlot&) {
    auto self = shared_from_this();
    GADRunOnMainThread([self] {
        self->slot_->finishActiveViewReporting();
        self->slot_->invalidate();
        self->viewController_.reset();
        if (auto delegate = self->delegate_.lock()) delegate->interstitialDidDismissScreen(*self);
    });
}

bool GADInterstitial::slotShouldProcessAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                                  platform::Error* error) {
    auto adView = slot.adView();
    if (!ad || !adView || gad_supportsOrientations(*adView, ad->supportedOrientations())) return true;
    if (error) *error = GADRequestError::errorWithCode(GADRequestErrorInvalidResponse, slot.request()).error();
    return false;
}

bool GADInterstitial::slotShouldProcessMediatedAdResponse(GADSlot&, const std::shared_ptr<GADAd>& ad,
                                                          platform::Error*) {
    if (ad) ad->setMediationDelegate(shared_from_this());
    return true;
}

std::string GADInterstitial::connectorClassForAd(const std::shared_ptr<GADAd>&) {
    return GADMAdNetworkConnector::kInterstitialClassName;
}

} // namespace ruzave
