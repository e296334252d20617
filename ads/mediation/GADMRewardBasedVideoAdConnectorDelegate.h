#pragma once
// What the reward-based video ad hears from its network connectors while it loads: set-up, arrival or
// failure of an ad, clicks and rewards. Main thread.
#include <memory>

#include "platform/base/Error.h"

namespace ruzave {

class GADAdReward;
class GADMRewardBasedVideoAdNetworkConnector;

class GADMRewardBasedVideoAdConnectorDelegate {
  public:
    virtual ~GADMRewardBasedVideoAdConnectorDelegate() = default;
    virtual void connectorDidSetUpRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector& connector) = 0;
    // connector:didFailToSetUpRewardBasedVideoAdWithError:
    virtual void connectorDidFailToSetUpRewardBasedVideoAdWithError(GADMRewardBasedVideoAdNetworkConnector& connector,
                                                                    const platform::Error& error) = 0;
    virtual void connectorDidReceiveRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector& connector) = 0;
    // connector:didFailToReceiveRewardBasedVideoAdWithError:
    virtual void connectorDidFailToReceiveRewardBasedVideoAdWithError(
        GADMRewardBasedVideoAdNetworkConnector& connector, const platform::Error& error) = 0;
    virtual void connectorDidReceiveClick(GADMRewardBasedVideoAdNetworkConnector& connector) = 0;
    // connector:didRewardUserWithReward: — the adapter's reward, which may be none.
    virtual void connectorDidRewardUserWithReward(GADMRewardBasedVideoAdNetworkConnector& connector,
                                                  const std::shared_ptr<GADAdReward>& reward) = 0;
};

} // namespace ruzave
