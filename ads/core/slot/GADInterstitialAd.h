#pragma once
// An ad response for an interstitial slot; nothing of its own. Main thread.
#include <memory>

#include "ads/core/slot/GADAd.h"

namespace ruzave {

class GADInterstitialAd : public GADAd {
  public:
    static std::shared_ptr<GADInterstitialAd> init() {
        return std::shared_ptr<GADInterstitialAd>(new GADInterstitialAd());
    }
    static std::shared_ptr<GADInterstitialAd> initWithDictionary(const platform::Value& dictionary) {
        auto ad = init();
        ad->applyDictionary(dictionary);
        return ad;
    }

  private:
    GADInterstitialAd() = default;
};

} // namespace ruzave
