#pragma once
// Hears the app events a publisher's creative sends: a name and an optional info text. Both methods
// are optional. Held weakly; called on the main thread.
#include <optional>
#include <string>

namespace ruzave {

class GADBannerView;
class GADInterstitial;

class GADAppEventDelegate {
  public:
    virtual ~GADAppEventDelegate() = default;
    // adView:didReceiveAppEvent:withInfo:
    virtual void adViewDidReceiveAppEvent(GADBannerView&, const std::string& /*name*/,
                                          const std::optional<std::string>& /*info*/) {}
    // interstitial:didReceiveAppEvent:withInfo:
    virtual void interstitialDidReceiveAppEvent(GADInterstitial&, const std::string& /*name*/,
                                                const std::optional<std::string>& /*info*/) {}
};

} // namespace ruzave
