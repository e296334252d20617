#pragma once
// A publisher's interstitial ad source, registered by name with the protocol
// "GADCustomEventInterstitial" and the C++ base GADCustomEventInterstitial. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/GADCustomEventInterstitialDelegate.h"

namespace platform {
class ViewController;
}

namespace ruzave {

class GADCustomEventRequest;

class GADCustomEventInterstitial {
  public:
    static constexpr const char* kProtocolName = "GADCustomEventInterstitial";
    virtual ~GADCustomEventInterstitial() = default;

    // requestInterstitialAdWithParameter:label:request:
    virtual void requestInterstitialAdWithParameter(const std::optional<std::string>& parameter,
                                                    const std::optional<std::string>& label,
                                                    const std::shared_ptr<GADCustomEventRequest>& request) = 0;
    virtual void presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root) = 0;
    std::shared_ptr<GADCustomEventInterstitialDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADCustomEventInterstitialDelegate>& d) { delegate_ = d; }

  private:
    std::weak_ptr<GADCustomEventInterstitialDelegate> delegate_;
};

} // namespace ruzave
