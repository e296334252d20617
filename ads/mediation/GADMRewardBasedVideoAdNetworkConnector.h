#pragma once
// Stands between the reward-based video ad and one reward video adapter: makes and sets up the
// adapter, hands it the network's credentials and the publisher's targeting, and turns its callbacks
// into load-time calls of the ad (its delegate) and into the publisher's messages while the ad it is
// linked to presents the video; sends the network's pings. Kept by the ad across loads, one per
// adapter class. Main thread; adapters may call back from any thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace platform {
class ViewController;
}

namespace ruzave {

class GADAdNetworkExtras;
class GADAdReward;
class GADMAdNetworkConfig;
class GADMConfig;
class GADMRewardBasedVideoAdConnectorDelegate;
class GADMRewardBasedVideoAdNetworkAdapter;
class GADRequest;
class GADRewardBasedVideoAd;

class GADMRewardBasedVideoAdNetworkConnector
    : public std::enable_shared_from_this<GADMRewardBasedVideoAdNetworkConnector> {
  public:
    static std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> init();
    ~GADMRewardBasedVideoAdNetworkConnector();
    GADMRewardBasedVideoAdNetworkConnector(const GADMRewardBasedVideoAdNetworkConnector&) = delete;
    GADMRewardBasedVideoAdNetworkConnector& operator=(const GADMRewardBasedVideoAdNetworkConnector&) = delete;

    // --- Set-up and requests.
    // The first network stays: a later one with another adapter class is ignored.
    void setAdNetworkConfig(const std::shared_ptr<GADMAdNetworkConfig>& network);
    // Failures go to the delegate's connectorDidFailToSetUpRewardBasedVideoAdWithError.
    void setUpAdapterWithUserID(const std::optional<std::string>& userID);
    void requestRewardBasedVideoAd();
    // The network-level impression pings, then the adapter presents.
    void presentRewardBasedVideoAdFromRootViewController(const std::shared_ptr<platform::ViewController>& root);
    void askAdapterToStopBeingDelegate();

    // --- Pings (no network or allocation identifier, never a refresh).
    void pingURLs(const std::optional<platform::Value>& templates, const std::optional<std::string>& defaultTemplate);
    void pingClickURLs();
    void pingImpressionURLs();
    void pingVideoStartPlayingURLs();
    void pingRewardedUserURLs();

    // --- Data for the adapter, read from this connector's request.
    std::optional<std::string> publisherId() const;
    platform::Value credentials() const { return networkData_; }
    bool testMode() const;
    std::shared_ptr<GADAdNetworkExtras> networkExtras() const;
    std::optional<bool> childDirectedTreatment() const;
    int userGender() const;
    std::optional<double> userBirthday() const;
    // The location is shared and the request has one, precise or not.
    bool userHasLocation() const;
    float userLatitude() const;
    float userLongitude() const;
    float userLocationAccuracyInMeters() const;
    std::optional<std::string> userLocationDescription() const;
    std::optional<platform::Value> userKeywords() const;

    // --- Callbacks from the adapter (no sender check).
    void adapterDidSetUpRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter& adapter);
    // adapter:didFailToSetUpRewardBasedVideoAdWithError:
    void adapterDidFailToSetUpRewardBasedVideoAdWithError(GADMRewardBasedVideoAdNetworkAdapter& adapter,
                                                          const platform::Error& error);
    void adapterDidGetAdClick(GADMRewardBasedVideoAdNetworkAdapter& adapter);
    void adapterDidReceiveRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter& adapter);
    void adapterDidOpenRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter& adapter);
    void adapterDidStartPlayingRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter& adapter);
    // Also unlinks the ad: the presentation is over.
    void adapterDidCloseRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter& adapter);
    // adapter:didRewardUserWithReward: — the reward may be none.
    void adapterDidRewardUserWithReward(GADMRewardBasedVideoAdNetworkAdapter& adapter,
                                        const std::shared_ptr<GADAdReward>& reward);
    void adapterWillLeaveApplication(GADMRewardBasedVideoAdNetworkAdapter& adapter);
    // adapter:didFailToLoadRewardBasedVideoAdwithError:
    void adapterDidFailToLoadRewardBasedVideoAdwithError(GADMRewardBasedVideoAdNetworkAdapter& adapter,
                                                         const platform::Error& error);

    // --- Properties.
    std::shared_ptr<GADMRewardBasedVideoAdNetworkAdapter> adapter() const { return adapter_; }
    bool isLocationShared() const { return isLocationShared_; }
    std::shared_ptr<GADMConfig> mediationConfig() const { return mediationConfig_; }
    void setMediationConfig(const std::shared_ptr<GADMConfig>& config) { mediationConfig_ = config; }
    std::shared_ptr<GADMAdNetworkConfig> adNetworkConfig() const { return adNetworkConfig_; }
    std::shared_ptr<GADRewardBasedVideoAd> rewardBasedVideoAd() const { return rewardBasedVideoAd_.lock(); }
    void setRewardBasedVideoAd(const std::weak_ptr<GADRewardBasedVideoAd>& ad) { rewardBasedVideoAd_ = ad; }
    std::shared_ptr<GADMRewardBasedVideoAdConnectorDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADMRewardBasedVideoAdConnectorDelegate>& d) { delegate_ = d; }
    std::shared_ptr<GADRequest> request() const { return request_; }
    // Copies the request.
    void setRequest(const std::shared_ptr<GADRequest>& request);
    std::string adapterClassName() const;

  private:
    GADMRewardBasedVideoAdNetworkConnector() = default;
    void failSetUp(long code, const std::string& message);
    // The linked ad's publisher delegate, with the ad it speaks for.
    template <class Send> void tellPublisher(Send send);
    // Runs an adapter callback on the main thread (at once when already there).
    template <class Work> void onMainThread(Work work);

    std::shared_ptr<GADMRewardBasedVideoAdNetworkAdapter> adapter_;
    platform::Value networkData_ = platform::Value::object();
    bool isLocationShared_ = false;
    std::shared_ptr<GADMConfig> mediationConfig_;
    std::shared_ptr<GADMAdNetworkConfig> adNetworkConfig_;
    std::weak_ptr<GADRewardBasedVideoAd> rewardBasedVideoAd_;
    std::weak_ptr<GADMRewardBasedVideoAdConnectorDelegate> delegate_;
    std::shared_ptr<GADRequest> request_;
    // Ad requests made of the adapter (main thread writes; its callbacks read on their own threads): a
    // fill or failure it spoke before the latest request answers an earlier one, even when its call
    // reaches the main thread later.
    std::atomic<std::uint64_t> requestsMade_{0};
};

} // namespace ruzave
