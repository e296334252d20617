#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdNetworkJavaScriptAdViewDelegate.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADBannerAdViewDelegate.h"

namespace ruzave {

void GADSlot::loadAdNetworkJavaScriptRequest(const std::shared_ptr<GADAd>& ad) {
    if (!ad || state_ == GADSlotStateInvalidated || !adView_) return;
    const std::string html = ad->adHTML().value_or(std::string());
    if (html.empty()) {
        didFailToReceiveAdWithError(
            GADRequestError::errorWithCode(GADRequestErrorNetworkError, std::string("Empty ad HTML.")), true);
        scheduleAdReloadTimer();
        return;
    }
    // The script ad's own delegate takes over the ad view; from here it moves the slot through its states.
    auto delegate = GADAdNetworkJavaScriptAdViewDelegate::initWithSlot(weak_from_this(), ad->adNetworkPassbackURL());
    adViewDelegate_ = delegate;
    adView_->setDelegate(delegate);
    adView_->loadHTMLString(html, ad->adBaseURL());
}

void GADSlot::restoreBannerAdViewDelegate() {
    if (!adView_ || !std::dynamic_pointer_cast<GADAdNetworkJavaScriptAdViewDelegate>(adViewDelegate_)) return;
    adViewDelegate_ = GADBannerAdViewDelegate::initWithSlot(weak_from_this());
    adView_->setDelegate(adViewDelegate_);
}

} // namespace ruzave
