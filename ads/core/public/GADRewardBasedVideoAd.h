#pragma once
// The process-wide reward-based video ad: asks the SDK core for the ad URL itself, fetches the response
// (always a mediation response) with its own fetcher, then mediates it across reward video networks,
// one connector kept per adapter class across loads, and presents the video of the network that
// filled. Main thread; the SDK core controller reads the request parameters and sets the request
// identifier from its own queue.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/net/GADAdFetcher.h"
#include "ads/core/sdkcore/GADSDKCoreControllerDelegate.h"
#include "ads/mediation/GADMRewardBasedVideoAdConnectorDelegate.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/runloop/MainLoop.h"

namespace platform {
class ViewController;
}

namespace ruzave {

class GADAd;
class GADMConfig;
class GADMRewardBasedVideoAdNetworkConnector;
class GADRequest;
class GADRewardBasedVideoAdDelegate;

class GADRewardBasedVideoAd : public std::enable_shared_from_this<GADRewardBasedVideoAd>,
                              public GADSDKCoreControllerDelegate,
                              public GADAdFetcherDelegate,
                              public GADMRewardBasedVideoAdConnectorDelegate {
  public:
    static constexpr const char* kRequestInProgressMessage = "Ignoring request. Another request is already in progress.";
    static constexpr const char* kLoadAdNotSupportedMessage = "Error loading ad. Check with RuzaveDoRurAdSDK support team.";
    static constexpr const char* kInvalidRequestMessage = "Request object configured wrong.";
    static constexpr const char* kNoNetworkMessage = "No network connection.";
    static constexpr const char* kNoAdMessage = "No ad returned from any ad server.";
    static constexpr const char* kAdRequestTimeoutMessage = "Ad request timeout.";
    // How long the SDK-core request and the response fetch may take together (the core controller
    // gives up on the page after 30 s, a fetch after 60 s); mediation has its own per-network limits.
    static constexpr double kLoadTimeoutSeconds = 90.0;

    static std::shared_ptr<GADRewardBasedVideoAd> sharedInstance();
    ~GADRewardBasedVideoAd() override;
    GADRewardBasedVideoAd(const GADRewardBasedVideoAd&) = delete;
    GADRewardBasedVideoAd& operator=(const GADRewardBasedVideoAd&) = delete;

    // --- Public API.
    std::shared_ptr<GADRewardBasedVideoAdDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADRewardBasedVideoAdDelegate>& delegate) { delegate_ = delegate; }
    // loadRequest:withAdUnitID:userID:
    void loadRequest(const std::shared_ptr<GADRequest>& request, const std::optional<std::string>& adUnitID,
                     const std::optional<std::string>& userID);
    void presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root);
    bool isReady() const { return ready_; }
    bool requestInProgress() const { return requestInProgress_; }
    std::shared_ptr<GADRequest> request() const;
    std::optional<std::string> adUnitID() const;
    std::optional<std::string> userID() const;
    std::optional<std::string> requestID() const;
    std::shared_ptr<GADAdFetcher> adFetcher() const { return adFetcher_; }

    // --- Outcomes (also called by the mediation half).
    void adLoadedSuccessfully();
    void failedToLoadAdWithError(const platform::Error& error);

    // --- GADSDKCoreControllerDelegate.
    std::optional<platform::Value> requestParameters() override;
    std::int32_t requestedAdType() override { return 2; }
    std::int32_t CSIIdentifier() override { return -1; }
    void setRequestID(const std::string& requestID) override;
    void loadAdURLWithParameters(const platform::Value& parameters) override;
    void loadAd(const std::shared_ptr<GADAd>& ad, const std::optional<platform::Value>& headers) override;
    void invalidJavaScriptRequest() override;
    void failedJavaScriptFile() override;
    bool isWaitingForRequestID(const std::string& requestID) override;

    // --- GADAdFetcherDelegate.
    void adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad) override;
    void adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad, const platform::Error& error,
                   long responseCode) override;
    // -loadAd: — hands the fetched response to mediation.
    void loadAd(const std::shared_ptr<GADAd>& ad);

    // --- Mediation (GADRewardBasedVideoAd+Mediation.cpp).
    void processMediationAd(const std::shared_ptr<GADAd>& ad);
    void presentMediatedRewardBasedVideoAdFromViewController(const std::shared_ptr<platform::ViewController>& root);
    // The response as a JSON dictionary, or nullopt with the error.
    std::optional<platform::Value> parseJSONResponseFromAd(const std::shared_ptr<GADAd>& ad, platform::Error* error);
    void setUpAdapters();
    void removeStaleConnectors();
    void buildPendingAdRequestConnectorsList();
    void makeNextAdRequest();
    void requestAdFromConnector(const std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>& connector);
    void pingNoFillURLs();
    void pingClickURLs();
    void pingImpressionURLs();

    // --- GADMRewardBasedVideoAdConnectorDelegate.
    void connectorDidSetUpRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector& connector) override;
    void connectorDidFailToSetUpRewardBasedVideoAdWithError(GADMRewardBasedVideoAdNetworkConnector& connector,
                                                            const platform::Error& error) override;
    void connectorDidReceiveRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector& connector) override;
    void connectorDidFailToReceiveRewardBasedVideoAdWithError(GADMRewardBasedVideoAdNetworkConnector& connector,
                                                              const platform::Error& error) override;
    void connectorDidReceiveClick(GADMRewardBasedVideoAdNetworkConnector& connector) override;
    void connectorDidRewardUserWithReward(GADMRewardBasedVideoAdNetworkConnector& connector,
                                          const std::shared_ptr<GADAdReward>& reward) override;

    // --- Mediation state.
    std::shared_ptr<GADMConfig> mediationConfig() const { return mediationConfig_; }
    const std::vector<std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>>& pendingAdRequestConnectors() const {
        return pendingAdRequestConnectors_;
    }
    std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> requestingConnector() const { return requestingConnector_; }
    std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> receivedConnector() const { return receivedConnector_; }
    // The connector whose video is on screen (until it closes).
    std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> presentingConnector() const;
    const std::map<std::string, std::uint64_t>& pendingSetUpConnectorsTimestamp() const {
        return pendingSetUpConnectorsTimestamp_;
    }
    const std::map<std::string, std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>>& connectors() const {
        return connectors_;
    }

  private:
    GADRewardBasedVideoAd() = default;
    // fetchAdForRequest:withAdUnitID:userID:
    void fetchAdForRequest(const std::shared_ptr<GADRequest>& request, const std::optional<std::string>& adUnitID,
                           const std::optional<std::string>& userID);
    // Stops the request-and-fetch steps of the current load: its timer, its fetch, and any answer the
    // core page may still send for it.
    void endRequestSteps();
    void loadTimedOut(std::uint64_t generation);
    bool isConnector(const std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>& held,
                     const GADMRewardBasedVideoAdNetworkConnector& connector) const {
        return held && held.get() == &connector;
    }
    bool isPresenting(const GADMRewardBasedVideoAdNetworkConnector& connector) const;
    // One step of the waterfall; makeNextAdRequest runs these in a loop so that adapters failing at
    // once do not nest calls for each network.
    void makeOneAdRequest();
    void dropPendingSetUp(const std::string& className);
    // Clears the requesting connector and retires its time limit.
    void endAttempt();

    std::weak_ptr<GADRewardBasedVideoAdDelegate> delegate_;
    bool ready_ = false;
    bool requestInProgress_ = false;

    // Read by the core controller's queue.
    mutable std::mutex mutex_;
    std::shared_ptr<GADRequest> request_;
    std::optional<std::string> adUnitID_, userID_, requestID_;
    std::shared_ptr<GADRequest> parametersRequest_;

    std::shared_ptr<GADAdFetcher> adFetcher_;
    std::uint64_t loadGeneration_ = 0;
    // The response has been handed to mediation: the core page and the fetch are done with.
    bool mediating_ = false;
    platform::MainLoop::TaskId loadTimer_ = 0;

    std::shared_ptr<GADMConfig> mediationConfig_;
    std::vector<std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>> pendingAdRequestConnectors_;
    std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> requestingConnector_;
    std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> receivedConnector_;
    std::map<std::string, std::uint64_t> pendingSetUpConnectorsTimestamp_;
    std::map<std::string, std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>> connectors_;
    // Each network attempt's token: a time limit acts only on the attempt it was set for.
    std::uint64_t attemptToken_ = 0;
    platform::MainLoop::TaskId attemptTimer_ = 0;
    bool makingAdRequest_ = false;
    bool anotherAdRequestWanted_ = false;
    // The video on screen outlives a new load until it closes, and so does the configuration it was
    // loaded with (for its reward and clicks).
    std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> presentingConnector_;
    std::shared_ptr<GADMConfig> presentingConfig_;
};

} // namespace ruzave
