#pragma once
// A publisher's native ad source: any class registered by name with the C++ base GADCustomEventNativeAd
// (no protocol name is needed). Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/mediation/GADCustomEventNativeAdDelegate.h"

namespace platform {
class ViewController;
}

namespace ruzave {

class GADAdLoaderOptions;
class GADCustomEventRequest;

class GADCustomEventNativeAd {
  public:
    virtual ~GADCustomEventNativeAd() = default;

    // requestNativeAdWithParameter:request:adTypes:options:rootViewController:
    virtual void requestNativeAdWithParameter(const std::optional<std::string>& parameter,
                                              const std::shared_ptr<GADCustomEventRequest>& request,
                                              const std::vector<std::string>& adTypes,
                                              const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options,
                                              const std::shared_ptr<platform::ViewController>& root) = 0;
    std::shared_ptr<GADCustomEventNativeAdDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADCustomEventNativeAdDelegate>& d) { delegate_ = d; }

  private:
    std::weak_ptr<GADCustomEventNativeAdDelegate> delegate_;
};

} // namespace ruzave
