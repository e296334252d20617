#include "ads/render/GADInterstitialViewController.h"

#include "ads/core/public/GADInterstitial.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"

namespace ruzave {

std::shared_ptr<GADInterstitialViewController>
GADInterstitialViewController::initWithSlot(const std::shared_ptr<GADSlot>& slot) {
    if (!slot) return nullptr;
    std::shared_ptr<GADInterstitialViewController> controller(new GADInterstitialViewController());
    controller->setUp(slot->adView());
    controller->setSlot(slot);
    if (auto adView = controller->adView())
        adView->setViewController(std::static_pointer_cast<platform::ViewController>(controller));
    return controller;
}

void GADInterstitialViewController::presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                                              Completion completion) {
    if (auto s = slot()) interstitial_ = s->interstitial();
    GADAdAppViewController::presentFromViewController(presenting, std::move(completion));
}

bool GADInterstitialViewController::isLoaded() const {
    auto s = slot();
    return s && s->state() == GADSlotStateValidAd;
}

void GADInterstitialViewController::finishAppearing() {
    GADAdAppViewController::finishAppearing();
    if (auto adView = this->adView()) adView->dispatchSDKEvent("onshow", std::nullopt);
}

void GADInterstitialViewController::willBeginDismissal() {
    if (auto adView = this->adView()) adView->dispatchSDKEvent("onhide", std::nullopt);
}

void GADInterstitialViewController::didFinishDismissal() {
    dropAdView();
}

} // namespace ruzave
