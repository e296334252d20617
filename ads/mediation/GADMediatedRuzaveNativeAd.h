#pragma once
// What the own-network adapter hands its connector for a native ad: a mediated native ad that carries
// a finished native ad of this SDK. The ad loader takes the carried ad as it is instead of building one
// from the network's assets. Main thread.
#include <memory>

#include "ads/native/GADMediatedNativeAd.h"

namespace ruzave {

class GADNativeAd;

class GADMediatedRuzaveNativeAd : public GADMediatedNativeAd {
  public:
    static std::shared_ptr<GADMediatedRuzaveNativeAd> initWithNativeAd(const std::shared_ptr<GADNativeAd>& ad) {
        if (!ad) return nullptr;
        std::shared_ptr<GADMediatedRuzaveNativeAd> m(new GADMediatedRuzaveNativeAd());
        m->nativeAd_ = ad;
        return m;
    }

    std::shared_ptr<GADNativeAd> nativeAd() const { return nativeAd_; }
    // The loader takes the ad over; the carrier keeps no second owner.
    std::shared_ptr<GADNativeAd> takeNativeAd() { return std::move(nativeAd_); }

  private:
    GADMediatedRuzaveNativeAd() = default;
    std::shared_ptr<GADNativeAd> nativeAd_;
};

} // namespace ruzave
