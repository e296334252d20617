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

std::shared_ptr<VODCustomRenderedAdDelegate>
VODCustomRenderedAd::delegateIf(bool (GADSlot::*counts)(std::uint64_t) const) const {
    if (load_ != 0) {
        // Late words for an ad the slot has moved on from would land on whatever it does now.
        auto slot = slot_.lock();
        if (!slot || !((*slot).*counts)(load_)) return nullptr;
    }
    return delegate();
}

void VODCustomRenderedAd::recordClick() {
    if (auto d = delegateIf(&GADSlot::isAppRenderedAdShown)) d->recordClick();
}

void VODCustomRenderedAd::recordImpression() {
    if (auto d = delegateIf(&GADSlot::isAppRenderedAdShown)) d->recordCustomAdImpression();
}

void VODCustomRenderedAd::finishedRenderingAdView(const std::shared_ptr<platform::View>& view) {
    if (auto d = delegateIf(&GADSlot::isAppRenderedLoadLive)) d->finishedRenderingAdView(view);
}

} // namespace ruzave
