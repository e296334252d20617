#pragma once
// Image options of an ad loader: whether native ads download their pictures, whether they keep every
// picture of a list, and the preferred orientation (kept, never sent). Main thread.
#include <cstdint>
#include <memory>

#include "ads/native/GADAdLoaderOptions.h"

namespace ruzave {

class GADNativeAdImageAdLoaderOptions : public GADAdLoaderOptions {
  public:
    bool disableImageLoading = false;
    bool shouldRequestMultipleImages = false;
    // 0 any, 1 portrait, 2 landscape.
    std::int32_t preferredImageOrientation = 0;

    std::shared_ptr<GADAdLoaderOptions> copyOptions() const override {
        return std::make_shared<GADNativeAdImageAdLoaderOptions>(*this);
    }
};

} // namespace ruzave
