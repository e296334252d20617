#include "platform/services/PlatformAdInterstitial.h"

#include <deque>

#include "platform/base/Log.h"
#include "platform/services/PlatformAdNetwork.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace platform {
namespace {

std::deque<PlatformAdOutcome>& outcomes() {
    static std::deque<PlatformAdOutcome> q;
    return q;
}

} // namespace

std::shared_ptr<PlatformAdInterstitial> PlatformAdInterstitial::create() {
    std::shared_ptr<PlatformAdInterstitial> ad(new PlatformAdInterstitial());
    ad->startLoad();
    return ad;
}

void PlatformAdInterstitial::script(const PlatformAdOutcome& outcome) { outcomes().push_back(outcome); }
void PlatformAdInterstitial::clearScriptForTesting() { outcomes().clear(); }

void PlatformAdInterstitial::startLoad() {
    PlatformAdOutcome outcome = PlatformAdOutcome::failed(PlatformAdOutcome::InventoryUnavailable);
    if (!outcomes().empty()) {
        outcome = outcomes().front();
        outcomes().pop_front();
    }
    std::weak_ptr<PlatformAdInterstitial> weak = weak_from_this();
    PlatformAdNetwork::deliverLater(outcome.delay, [weak, outcome] {
        if (auto self = weak.lock()) self->deliver(outcome);
    });
}

void PlatformAdInterstitial::deliver(const PlatformAdOutcome& outcome) {
    if (outcome.loads) {
        if (auto d = delegate_.lock()) d->interstitialAdWillLoad(*this);
        loaded_ = true;
        if (auto d = delegate_.lock()) d->interstitialAdDidLoad(*this);
    } else if (auto d = delegate_.lock()) {
        d->interstitialAdDidFailWithError(*this, outcome.error);
    }
}

bool PlatformAdInterstitial::canPresent(bool hasTarget) const {
    if (!hasTarget || !loaded_ || presented_) {
        logWarning("PlatformAdInterstitial: cannot present an ad that is not loaded or already shown");
        return false;
    }
    return true;
}

bool PlatformAdInterstitial::presentInView(const std::shared_ptr<View>& container) {
    if (!canPresent(container != nullptr)) return false;
    adView_ = View::create(container->bounds());
    adView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    container->addSubview(adView_);
    presented_ = true;
    return true;
}

bool PlatformAdInterstitial::presentFromViewController(const std::shared_ptr<ViewController>& controller) {
    if (!PlatformAdNetwork::isTablet()) {
        logWarning("PlatformAdInterstitial: presenting from a view controller is only available on tablets");
        return false;
    }
    if (!canPresent(controller != nullptr)) return false;
    auto shown = ViewController::create();
    adView_ = shown->view();
    if (!controller->presentViewController(shown, true)) {
        adView_.reset();
        return false;
    }
    controller_ = shown;
    presented_ = true;
    return true;
}

void PlatformAdInterstitial::cancelAction() {
    if (!actionInProgress_) return;
    actionInProgress_ = false;
    if (auto d = delegate_.lock()) d->interstitialAdActionDidFinish(*this);
}

bool PlatformAdInterstitial::tapForTesting(bool willLeaveApplication) {
    if (!loaded_ || actionInProgress_) return false;
    auto d = delegate_.lock();
    if (d && !d->interstitialAdActionShouldBegin(*this, willLeaveApplication)) return false;
    actionInProgress_ = true;
    return true;
}

void PlatformAdInterstitial::unloadForTesting() {
    if (!loaded_) return;
    auto self = shared_from_this(); // the delegate may drop its reference
    loaded_ = false;
    actionInProgress_ = false;
    if (controller_) {
        if (controller_->presentingViewController()) controller_->dismissViewController(true);
        controller_.reset();
    } else if (adView_) {
        adView_->removeFromSuperview();
    }
    adView_.reset();
    if (auto d = delegate_.lock()) d->interstitialAdDidUnload(*this);
}

} // namespace platform
