#pragma once
// The app's listener of the reward-based video ad. Every message is optional. All arrive on the main
// thread. Held weakly.
#include <memory>

#include "platform/base/Error.h"

namespace ruzave {

class GADAdReward;
class GADRewardBasedVideoAd;

class GADRewardBasedVideoAdDelegate {
  public:
    virtual ~GADRewardBasedVideoAdDelegate() = default;
    virtual void rewardBasedVideoAdDidReceiveAd(GADRewardBasedVideoAd&) {}
    // rewardBasedVideoAd:didFailToLoadwithError:
    virtual void rewardBasedVideoAdDidFailToLoadwithError(GADRewardBasedVideoAd&, const platform::Error&) {}
    virtual void rewardBasedVideoAdDidOpen(GADRewardBasedVideoAd&) {}
    virtual void rewardBasedVideoAdDidStartPlaying(GADRewardBasedVideoAd&) {}
    virtual void rewardBasedVideoAdDidClose(GADRewardBasedVideoAd&) {}
    virtual void rewardBasedVideoAdWillLeaveApplication(GADRewardBasedVideoAd&) {}
    // rewardBasedVideoAd:didRewardUserWithReward:
    virtual void rewardBasedVideoAdDidRewardUserWithReward(GADRewardBasedVideoAd&,
                                                           const std::shared_ptr<GADAdReward>&) {}
};

} // namespace ruzave
