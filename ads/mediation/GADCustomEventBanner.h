#pragma once
// A publisher's banner ad source, registered by name with the protocol "GADCustomEventBanner" and the
// C++ base GADCustomEventBanner, and run by the custom event adapter. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADAdSize.h"
#include "ads/mediation/GADCustomEventBannerDelegate.h"

namespace ruzave {

class GADCustomEventRequest;

class GADCustomEventBanner {
  public:
    static constexpr const char* kProtocolName = "GADCustomEventBanner";
    virtual ~GADCustomEventBanner() = default;

    // requestBannerAd:parameter:label:request:
    virtual void requestBannerAd(const GADAdSize& adSize, const std::optional<std::string>& parameter,
                                 const std::optional<std::string>& label,
                                 const std::shared_ptr<GADCustomEventRequest>& request) = 0;
    std::shared_ptr<GADCustomEventBannerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADCustomEventBannerDelegate>& delegate) { delegate_ = delegate; }

  private:
    std::weak_ptr<GADCustomEventBannerDelegate> delegate_;
};

} // namespace ruzave
