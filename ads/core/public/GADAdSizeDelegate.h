#pragma once
// Hears that a publisher banner is about to take another of its valid sizes. Optional. Held weakly;
// called on the main thread.
#include "ads/core/public/GADAdSize.h"

namespace ruzave {

class GADBannerView;

class GADAdSizeDelegate {
  public:
    virtual ~GADAdSizeDelegate() = default;
    // adView:willChangeAdSizeTo:
    virtual void adViewWillChangeAdSizeTo(GADBannerView&, const GADAdSize&) {}
};

} // namespace ruzave
