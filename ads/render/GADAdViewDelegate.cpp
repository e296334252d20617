#include "ads/render/GADAdViewDelegate.h"

#include "ads/render/GADOpener.h"

namespace ruzave {

GADAdViewDelegate::GADAdViewDelegate() : opener_(GADOpener::init()) {}

std::shared_ptr<GADAdViewDelegate> GADAdViewDelegate::init() {
    std::shared_ptr<GADAdViewDelegate> delegate(new GADAdViewDelegate());
    delegate->attachOpener();
    return delegate;
}

void GADAdViewDelegate::attachOpener() {
    opener_->setDelegate(weak_from_this());
}

std::optional<bool> GADAdViewDelegate::adView(GADAdView&, const platform::URLRequest&,
                                              platform::WebViewNavigationType) {
    return std::nullopt;
}

void GADAdViewDelegate::adViewDidStartLoad(GADAdView&) {}
void GADAdViewDelegate::adViewDidFinishLoad(GADAdView&) {}
void GADAdViewDelegate::adView(GADAdView&, const platform::Error&) {}
void GADAdViewDelegate::adView(GADAdView&, platform::Size) {}

} // namespace ruzave
