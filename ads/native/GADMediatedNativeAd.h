#pragma once
// A native ad of a mediated network. Adapters subclass it for the ads they deliver; the connector wraps
// what an adapter delivers in a GADMediatedNativeAd holding it (the protocol and the class of this name
// are one C++ class). Main thread.
#include <memory>
#include <string>

#include "ads/mediation/GADMediatedAd.h"
#include "ads/native/GADMediatedNativeAdDelegate.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADMediatedNativeAd : public GADMediatedAd {
  public:
    // The wrapper the connector hands to the mediation manager.
    static std::shared_ptr<GADMediatedNativeAd>
    initWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& mediatedNativeAd) {
        std::shared_ptr<GADMediatedNativeAd> ad(new GADMediatedNativeAd());
        ad->mediatedNativeAd_ = mediatedNativeAd;
        return ad;
    }

    // The adapter's own native ad (set on the wrapper only).
    std::shared_ptr<GADMediatedNativeAd> mediatedNativeAd() const { return mediatedNativeAd_; }
    void setMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& ad) { mediatedNativeAd_ = ad; }
    // Assets beyond the standard ones; none by default.
    virtual platform::Value extraAssets() const { return platform::Value::object(); }
    // The adapter's listener for rendering, impressions and clicks of its ad; none by default.
    virtual std::shared_ptr<GADMediatedNativeAdDelegate> mediatedNativeAdDelegate() const { return nullptr; }

    // On the wrapper: the impression handlers, then the network's delegate.
    void reportImpressionToNetwork() {
        reportImpression();
        if (auto ad = mediatedNativeAd_)
            if (auto d = ad->mediatedNativeAdDelegate()) d->mediatedNativeAdDidRecordImpression(*ad);
    }
    // reportClickOnAssetWithWithName:view:viewController:
    void reportClickOnAssetWithWithName(const std::string& assetName, const std::shared_ptr<platform::View>& view,
                                        const std::shared_ptr<platform::ViewController>& viewController) {
        reportClick();
        if (auto ad = mediatedNativeAd_)
            if (auto d = ad->mediatedNativeAdDelegate())
                d->mediatedNativeAdDidRecordClickOnAssetWithName(*ad, assetName, view, viewController);
    }
    void reportMediatedAdRenderedInView(const std::shared_ptr<platform::View>& view) {
        if (auto ad = mediatedNativeAd_)
            if (auto d = ad->mediatedNativeAdDelegate()) d->mediatedNativeAdDidRenderInView(*ad, view);
    }

  protected:
    GADMediatedNativeAd() = default;

  private:
    std::shared_ptr<GADMediatedNativeAd> mediatedNativeAd_;
};

} // namespace ruzave
