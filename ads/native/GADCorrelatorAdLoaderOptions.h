#pragma once
// The ad loader option that puts a loader's requests into a page view: the loader's slot takes its
// correlator. A copy shares the same correlator. Main thread.
#include <memory>

#include "ads/core/public/GADCorrelator.h"
#include "ads/native/GADAdLoaderOptions.h"

namespace ruzave {

class GADCorrelatorAdLoaderOptions : public GADAdLoaderOptions {
  public:
    std::shared_ptr<GADCorrelator> correlator;

    std::shared_ptr<GADAdLoaderOptions> copyOptions() const override {
        return std::make_shared<GADCorrelatorAdLoaderOptions>(*this);
    }
};

} // namespace ruzave
