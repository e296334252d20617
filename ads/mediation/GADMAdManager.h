#pragma once
// A slot's mediation waterfall: tries the configured ad networks one after another, each through a new
// connector with its own time limit, until one delivers an ad or the list runs out; records each
// network's exit code and duration, pings the no-fill report, and hands the delivered ad to the slot.
// Main thread (mediateForAdType and cancel may be called from any thread; they move to the main one).
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "platform/base/Error.h"

namespace platform {
class Timer;
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAdType;
class GADMAdNetworkConfig;
class GADMAdNetworkConnector;
class GADMConfig;
class GADMediatedAd;
class GADSlot;

// The per-network outcome recorded in the slot statistics.
enum GADMAdapterExitCode : long {
    GADMAdapterExitCodeAdReceived = 0,
    GADMAdapterExitCodeNoFill = 1,
    GADMAdapterExitCodeError = 2,
    GADMAdapterExitCodeTimeout = 3,
    GADMAdapterExitCodeNoAdapter = 4,
};

class GADMAdManager : public std::enable_shared_from_this<GADMAdManager> {
  public:
    static std::shared_ptr<GADMAdManager> init() { return std::shared_ptr<GADMAdManager>(new GADMAdManager()); }
    ~GADMAdManager();
    GADMAdManager(const GADMAdManager&) = delete;
    GADMAdManager& operator=(const GADMAdManager&) = delete;

    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::weak_ptr<GADSlot>& slot) { slot_ = slot; }

    // --- GADMSlotDelegate.
    // Starts a waterfall; while one runs, only the stored type and configuration change.
    void mediateForAdType(const std::shared_ptr<GADAdType>& adType, const std::shared_ptr<GADMConfig>& config);
    // True when the shown network's adapter took the new size.
    bool changeAdTypeTo(const std::shared_ptr<GADAdType>& adType);
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root);

    // --- GADMConnectorDelegate. Each answers whether the manager accepted the answer.
    bool adRequestReturnsFromConnectorWithView(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                               const std::shared_ptr<platform::View>& view);
    bool adRequestReturnsFromConnectorWithInterstitial(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                       const std::shared_ptr<void>& interstitial);
    bool adRequestReturnsFromConnectorWithMediatedAd(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                     const std::shared_ptr<GADMediatedAd>& mediatedAd);
    bool adRequestFailedFromConnectorWithError(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                               const platform::Error& error);

    // Stops the waterfall under way. The received connector stays, so the ad on screen keeps its pings.
    void cancel();
    void cancelPendingActions();
    void makeAdRequest();
    std::shared_ptr<GADMAdNetworkConfig> dequeueAdNetworkConfig();
    void reportNoFill();
    void notifyDelegateOfFailureToReceiveWithError(const platform::Error& error);
    void resetRequestingState();
    void adNetworkTimeoutHandler();
    bool shouldProcessResponseFromConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector);
    // Whether the connector is the received one and its ad is still the slot's latest load: the slot
    // shows the mediated ad it received. Once another load has begun, or the slot's load was cancelled or
    // failed, what that network says of its ad (a refresh, a failure, taking its interstitial back)
    // changes nothing. A network that has answered is no longer the requesting one, so this is the only
    // way its later fills and failures are heard. Clicks and the screens its ad opens are not asked about
    // here: the ad stays on screen while the next load is requested, and they still count.
    bool isShownConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) const;
    void updateAdapterTimingsForError(const platform::Error& error);

    bool requestInProgress() const { return requestInProgress_; }
    std::shared_ptr<GADMConfig> config() const { return config_; }
    std::shared_ptr<GADAdType> adType() const { return adType_; }
    std::shared_ptr<GADMAdNetworkConnector> requestingConnector() const { return requestingConnector_; }
    std::shared_ptr<GADMAdNetworkConnector> receivedConnector() const { return receivedConnector_; }
    std::shared_ptr<platform::Timer> adNetworkTimeoutTimer() const { return adNetworkTimeoutTimer_; }
    std::shared_ptr<void> lastMediatedInterstitial() const { return lastMediatedInterstitial_; }
    std::int32_t pendingActionGroup() const { return pendingActionGroup_; }

  private:
    GADMAdManager() = default;
    void makeAdRequestOnMainThread();
    void makeOneAdRequest();
    void detach(const std::shared_ptr<GADMAdNetworkConnector>& connector);
    void endTiming(long exitCode);
    void invalidateTimer();

    std::deque<std::shared_ptr<GADMAdNetworkConfig>> adNetworkConfigQueue_;
    std::shared_ptr<void> lastMediatedInterstitial_;
    std::int32_t pendingActionGroup_ = 0;
    bool requestInProgress_ = false;
    std::shared_ptr<GADMConfig> config_;
    // The configuration of the running waterfall (a second mediateForAdType only replaces config_).
    std::shared_ptr<GADMConfig> waterfallConfig_;
    // The waterfall's loop is running; a request asked for meanwhile is made by the loop, in the
    // pending-action group it was asked in.
    bool makingAdRequest_ = false;
    bool anotherAdRequestWanted_ = false;
    std::int32_t wantedGroup_ = 0;
    std::shared_ptr<GADAdType> adType_;
    std::shared_ptr<GADMAdNetworkConnector> requestingConnector_;
    std::shared_ptr<GADMAdNetworkConnector> receivedConnector_;
    std::weak_ptr<GADSlot> slot_;
    std::shared_ptr<platform::Timer> adNetworkTimeoutTimer_;
};

} // namespace ruzave
