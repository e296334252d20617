#pragma once
// An ad response for a banner slot: adds the refresh rate of the dictionary form. Main thread.
#include <memory>

#include "ads/core/slot/GADAd.h"

namespace ruzave {

class GADBannerAd : public GADAd {
  public:
    static std::shared_ptr<GADBannerAd> init() { return std::shared_ptr<GADBannerAd>(new GADBannerAd()); }
    // The ad's dictionary form, then "refresh_rate" (a number only) as the reload interval.
    static std::shared_ptr<GADBannerAd> initWithDictionary(const platform::Value& dictionary);

  private:
    GADBannerAd() = default;
};

} // namespace ruzave
