#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"

namespace ruzave {

bool GADSlot::isMRAIDEnabled() const {
    auto ad = MRAIDAd_.lock();
    return ad && (ad == ad_ || ad == loadingAd_);
}

void GADSlot::MRAIDAdDidLoad() {
    if (auto ad = loadingAd_ ? loadingAd_ : ad_) MRAIDAd_ = ad;
}

void GADSlot::handleError(const std::string& message, const std::string& action) {
    if (!isMRAIDEnabled() || !adView_) return;
    platform::Value parameters = platform::Value::object();
    parameters["message"] = message;
    parameters["action"] = action;
    adView_->dispatchSDKEvent("onError", parameters);
}

} // namespace ruzave
