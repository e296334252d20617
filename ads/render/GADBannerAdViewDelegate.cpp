#include "ads/render/GADBannerAdViewDelegate.h"

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"

namespace ruzave {

std::shared_ptr<GADBannerAdViewDelegate>
GADBannerAdViewDelegate::initWithSlot(const std::weak_ptr<GADSlot>& slot) {
    std::shared_ptr<GADBannerAdViewDelegate> delegate(new GADBannerAdViewDelegate(slot));
    delegate->attachOpener();
    return delegate;
}

void GADBannerAdViewDelegate::adViewDidFinishLoad(GADAdView& adView) {
    auto slot = slot_.lock();
    if (!slot || slot->state() != GADSlotStateRenderingAd) return;
    slot->didReceiveValidAd();
    slot->didLoadAdHTMLInWebView();
    adView.setHidden(false);
    auto type = slot->adType();
    if (!type || !type->isInterstitial()) slot->didMakeAdImpression();
    slot->adFinishedLoadingContent();
}

void GADBannerAdViewDelegate::adView(GADAdView&, const platform::Error&) {
    auto slot = slot_.lock();
    if (!slot || slot->state() == GADSlotStateValidAd || slot->state() == GADSlotStateInvalidated) return;
    slot->didFailToReceiveAdWithError(GADRequestError::errorWithCode(GADRequestErrorNetworkError), false);
}

} // namespace ruzave
