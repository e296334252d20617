#include "ads/core/public/VODCustomRenderedAd.h"

#include "ads/core/public/VODCustomRenderedAdDelegate.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"

namespace ruzave {

std::shared_ptr<VODCustomRenderedAd> VODCustomRenderedAd::initWithAdHTML(const std::string& adHTML,
                                                                         const std::optional<platform::URL>& adBaseURL) {
    std::shared_ptr<VODCustomRenderedAd> ad(new VODCustomRenderedAd());
    ad->adHTML_ = adHTML;
    ad->adBaseURL_ = adBaseURL;
    return ad;
}

std::shared_ptr<VODCustomRenderedAd> VODCustomRenderedAd::initWithAd(const std::shared_ptr<GADAd>& ad) {
    std::optional<platform::URL> base;
    if (ad && ad->adBaseURL() && ad->adBaseURL()->isValid() && !ad->adBaseURL()->scheme().empty())
        base = platform::URL::resolve("/", *ad->adBaseURL());
    if (!base) base = platform::URL::parse("/");
    return initWithAdHTML(ad ? ad->adHTML().value_or(std::string()) : std::string(), base);
}

std::shared_ptr<VODCustomRenderedAdDelegate> VODCustomRenderedAd::delegateForLiveLoad() const {
    if (load_ != 0) {
        // Late words for a load that has ended would land on whatever the slot does now.
        auto slot = slot_.lock();
        if (!slot || !slot->isAppRenderedLoadLive(load_)) return nullptr;
    }
    return delegate();
}

void VODCustomRenderedAd::recordClick() {
    if (auto d = delegateForLiveLoad()) d->recordClick();
}

void VODCustomRenderedAd::recordImpression() {
    if (auto d = delegateForLiveLoad()) d->recordCustomAdImpression();
}

void VODCustomRenderedAd::finishedRenderingAdView(const std::shared_ptr<platform::View>& view) {
    if (auto d = delegateForLiveLoad()) d->finishedRenderingAdView(view);
}

} // namespace ruzave
