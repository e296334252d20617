#pragma once
// A native ad of a mediated network. Adapters subclass it for the ads they deliver; the connector wraps
// what an adapter delivers in a GADMediatedNativeAd holding it (the protocol and the class of this name
// are one C++ class). Main thread.
#include <memory>

#include "ads/mediation/GADMediatedAd.h"
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
    // Assets beyond the standard ones; none by default.
    virtual platform::Value extraAssets() const { return platform::Value::object(); }

  protected:
    GADMediatedNativeAd() = default;

  private:
    std::shared_ptr<GADMediatedNativeAd> mediatedNativeAd_;
};

} // namespace ruzave
