#include "ads/mediation/GADMAdManager.h"

#include <utility>

#include "ads/core/net/GADTimerAdditions.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADSlotStatistics.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/mediation/GADAdMediationDelegate.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMAdNetworkConnectorNativeAd.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/mediation/GADMUtilities.h"
#include "ads/mediation/GADMediatedAd.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/Timer.h"

namespace ruzave {
namespace {

constexpr double kTimerTolerance = 0.01;

bool isConnectorClassName(const std::string& name) {
    return name == "GADMAdNetworkConnector" || name == GADMAdNetworkConnector::kBannerClassName ||
           name == GADMAdNetworkConnector::kInterstitialClassName ||
           name == GADMAdNetworkConnector::kNativeAdClassName;
}

} // namespace

GADMAdManager::~GADMAdManager() {
    if (adNetworkTimeoutTimer_) adNetworkTimeoutTimer_->invalidate();
    if (requestingConnector_) requestingConnector_->setAdManager({});
    if (receivedConnector_) receivedConnector_->setAdManager({});
}

// ---------------------------------------------------------------- the slot's side

void GADMAdManager::mediateForAdType(const std::shared_ptr<GADAdType>& adType,
                                     const std::shared_ptr<GADMConfig>& config) {
    if (!platform::MainLoop::isMainThread()) {
        std::weak_ptr<GADMAdManager> weak = weak_from_this();
        GADRunOnMainThread([weak, adType, config] {
            if (auto manager = weak.lock()) manager->mediateForAdType(adType, config);
        });
        return;
    }
    auto self = shared_from_this();
    adType_ = adType;
    config_ = config;
    // A running waterfall keeps its own configuration and queue until it ends.
    if (requestInProgress_) return;
    waterfallConfig_ = config;
    adNetworkConfigQueue_.clear();
    if (config) adNetworkConfigQueue_.assign(config->adNetworkConfigs().begin(), config->adNetworkConfigs().end());
    if (auto s = slot()) s->slotStats()->resetTimingAdapters();
    makeAdRequest();
}

bool GADMAdManager::changeAdTypeTo(const std::shared_ptr<GADAdType>& adType) {
    adType_ = adType;
    auto connector = receivedConnector_;
    auto adapter = connector ? connector->adapter() : nullptr;
    if (!adapter || !adapter->respondsToChangeAdSize()) return false;
    adapter->changeAdSizeTo(adType ? adType->adSize() : GADAdSize{{0, 0}, 0});
    return true;
}

void GADMAdManager::presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root) {
    auto connector = receivedConnector_;
    if (auto adapter = connector ? connector->adapter() : nullptr)
        adapter->presentInterstitialFromRootViewController(root);
}

// ---------------------------------------------------------------- the waterfall

void GADMAdManager::makeAdRequest() {
    if (platform::MainLoop::isMainThread()) {
        makeAdRequestOnMainThread();
        return;
    }
    std::weak_ptr<GADMAdManager> weak = weak_from_this();
    std::int32_t group = pendingActionGroup_;
    platform::DispatchQueue::main()->async([weak, group] {
        auto manager = weak.lock();
        if (manager && manager->pendingActionGroup_ == group) manager->makeAdRequestOnMainThread();
    });
}

void GADMAdManager::makeAdRequestOnMainThread() {
    if (makingAdRequest_) {
        // A network failed inside its request: the loop below asks the next one once that request has
        // returned, so a long list of failing networks does not pile up stack frames.
        anotherAdRequestWanted_ = true;
        wantedGroup_ = pendingActionGroup_;
        return;
    }
    auto self = shared_from_this();
    makingAdRequest_ = true;
    // A cancel after the next request was asked for stops the waterfall, as it stops a queued request.
    do {
        anotherAdRequestWanted_ = false;
        makeOneAdRequest();
    } while (anotherAdRequestWanted_ && wantedGroup_ == pendingActionGroup_);
    anotherAdRequestWanted_ = false;
    makingAdRequest_ = false;
}

void GADMAdManager::makeOneAdRequest() {
    auto s = slot();
    if (!s) {
        resetRequestingState();
        return;
    }
    auto ad = s->ad();
    auto delegate = ad ? ad->mediationDelegate() : nullptr;
    std::string connectorClass = delegate ? delegate->connectorClassForAd(ad) : std::string();
    if (!isConnectorClassName(connectorClass) || !waterfallConfig_) {
        invalidateTimer();
        reportNoFill();
        notifyDelegateOfFailureToReceiveWithError(GADRequestError::errorWithCode(GADRequestErrorAdapterNotFound));
        return;
    }
    auto network = dequeueAdNetworkConfig();
    if (!network) {
        invalidateTimer();
        reportNoFill();
        notifyDelegateOfFailureToReceiveWithError(GADRequestError::errorWithCode(GADRequestErrorMediationNoFill));
        return;
    }
    requestInProgress_ = true;
    auto connector = GADMAdNetworkConnector::initWithClassName(connectorClass, waterfallConfig_, network);
    if (auto native = std::dynamic_pointer_cast<GADMAdNetworkConnectorNativeAd>(connector)) {
        if (auto configuration = delegate->adLoaderConfigurationForAd(ad)) native->setAdLoaderConfiguration(configuration);
    }
    connector->setUpAdapter();
    connector->setAdManager(weak_from_this());
    requestingConnector_ = connector;

    invalidateTimer();
    std::weak_ptr<GADMAdManager> weak = weak_from_this();
    std::weak_ptr<GADMAdNetworkConnector> weakConnector = connector;
    adNetworkTimeoutTimer_ = gad_scheduledTimerWithTimeInterval(
        waterfallConfig_->adNetworkTimeout(), false, kTimerTolerance, [weak, weakConnector](platform::Timer&) {
            auto manager = weak.lock();
            auto timedOut = weakConnector.lock();
            if (manager && timedOut && manager->requestingConnector_ == timedOut) manager->adNetworkTimeoutHandler();
        });
    // The adapter may answer before this returns; `connector` keeps it alive meanwhile.
    connector->getAdFromAdapterWithType(adType_);
}

std::shared_ptr<GADMAdNetworkConfig> GADMAdManager::dequeueAdNetworkConfig() {
    std::shared_ptr<GADMAdNetworkConfig> next;
    std::size_t withoutAdapter = 0;
    while (!next && !adNetworkConfigQueue_.empty()) {
        auto network = std::move(adNetworkConfigQueue_.front());
        adNetworkConfigQueue_.pop_front();
        if (network && network->adapterClass()) {
            next = std::move(network);
        } else {
            ++withoutAdapter;
        }
    }
    auto s = slot();
    if (auto stats = s ? s->slotStats() : nullptr) {
        // A network without an adapter ends as it starts: a run of them is recorded in one step rather
        // than timed one by one, which would make a long run of them hold up the main thread.
        if (withoutAdapter)
            stats->endAdaptersWithoutTimingWithExitCode(withoutAdapter, GADMAdapterExitCodeNoAdapter);
        if (next) stats->startTimingAdapter();
    }
    return next;
}

void GADMAdManager::adNetworkTimeoutHandler() {
    auto self = shared_from_this();
    endTiming(GADMAdapterExitCodeTimeout);
    resetRequestingState();
    auto connector = requestingConnector_;
    if (connector) {
        connector->askAdapterToStopBeingDelegate();
        if (connector != receivedConnector_) detach(connector);
    }
    requestingConnector_.reset();
    makeAdRequest();
}

bool GADMAdManager::shouldProcessResponseFromConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) {
    if (!connector) return false;
    // The answer to the request under way: once only, however often the network repeats it.
    if (connector == requestingConnector_ && requestInProgress_) {
        resetRequestingState();
        return true;
    }
    // The network on screen may refresh itself, but not in the middle of another network's attempt, nor
    // once the slot has moved on from its ad.
    return !requestInProgress_ && isShownConnector(connector);
}

bool GADMAdManager::isShownConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) const {
    if (!connector || connector != receivedConnector_) return false;
    auto s = slot();
    return s && s->isMediating() && s->state() == GADSlotStateValidAd;
}

// ---------------------------------------------------------------- answers of the connectors

bool GADMAdManager::adRequestReturnsFromConnectorWithView(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                          const std::shared_ptr<platform::View>& view) {
    auto self = shared_from_this();
    if (!shouldProcessResponseFromConnector(connector)) return false;
    endTiming(GADMAdapterExitCodeAdReceived);
    if (connector != receivedConnector_) {
        auto old = receivedConnector_;
        receivedConnector_ = connector;
        detach(old);
    }
    // It has answered: from now on its fills and failures are its shown ad's refreshes, heard only while
    // that ad is the slot's latest load, and never the answer to a later request.
    requestingConnector_.reset();
    if (auto s = slot()) {
        s->setViewForAdUsingView(view);
        s->didReceiveValidAd();
        s->adFinishedLoadingContent();
    }
    return true;
}

bool GADMAdManager::adRequestReturnsFromConnectorWithInterstitial(
    const std::shared_ptr<GADMAdNetworkConnector>& connector, const std::shared_ptr<void>& interstitial) {
    auto self = shared_from_this();
    if (!shouldProcessResponseFromConnector(connector)) return false;
    bool first = connector != receivedConnector_;
    if (first) {
        endTiming(GADMAdapterExitCodeAdReceived);
        auto old = receivedConnector_;
        receivedConnector_ = connector;
        detach(old);
    }
    lastMediatedInterstitial_ = interstitial;
    // Before the app hears of it, which may load again from inside the call.
    requestingConnector_.reset();
    // A second arrival through the same connector does not end the waterfall again.
    if (first) {
        if (auto s = slot()) {
            s->didReceiveValidAd();
            s->adFinishedLoadingContent();
        }
    }
    return true;
}

bool GADMAdManager::adRequestReturnsFromConnectorWithMediatedAd(
    const std::shared_ptr<GADMAdNetworkConnector>& connector, const std::shared_ptr<GADMediatedAd>& mediatedAd) {
    auto self = shared_from_this();
    const bool answering = connector && connector == requestingConnector_ && requestInProgress_;
    if (!shouldProcessResponseFromConnector(connector)) return false;
    // A native ad answers its own request only (it has no refresh), whatever a network kept from an earlier
    // load of the slot. The connector stays the requesting one until the app has processed the ad, but its
    // request is answered: a second fill or a failure meanwhile answers nothing.
    if (!answering) return false;
    if (!mediatedAd) {
        requestingConnector_.reset();
        if (connector != receivedConnector_) detach(connector);
        updateAdapterTimingsForError(GADRequestError::errorWithCode(GADRequestErrorInternalError));
        makeAdRequest();
        return true;
    }
    auto s = slot();
    auto ad = s ? s->ad() : nullptr;
    auto delegate = ad ? ad->mediationDelegate() : nullptr;
    if (!delegate || !delegate->respondsToProcessMediatedAd()) {
        makeAdRequest();
        return true;
    }
    std::weak_ptr<GADMAdNetworkConnector> weakConnector = connector;
    mediatedAd->addClickHandler([weakConnector] {
        if (auto c = weakConnector.lock()) c->reportClick();
    });
    mediatedAd->addImpressionHandler([weakConnector] {
        if (auto c = weakConnector.lock()) c->reportImpression();
    });
    std::weak_ptr<GADMAdManager> weak = weak_from_this();
    std::int32_t group = pendingActionGroup_;
    auto done = std::make_shared<bool>(false);
    delegate->adProcessMediatedAdWithCompletionHandler(
        ad, mediatedAd, [weak, group, connector, done](const std::optional<platform::Error>& error) {
            // Once only, and only for the waterfall that asked.
            if (*done) return;
            *done = true;
            auto manager = weak.lock();
            if (!manager || manager->pendingActionGroup_ != group) return;
            if (error) {
                manager->makeAdRequest();
                return;
            }
            if (manager->receivedConnector_ != connector) {
                auto old = std::exchange(manager->receivedConnector_, connector);
                manager->detach(old);
            }
            manager->requestingConnector_.reset();
            if (auto slot = manager->slot()) {
                slot->didReceiveValidAd();
                slot->adFinishedLoadingContent();
            }
        });
    return true;
}

bool GADMAdManager::adRequestFailedFromConnectorWithError(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                          const platform::Error& error) {
    auto self = shared_from_this();
    if (!shouldProcessResponseFromConnector(connector)) return false;
    bool refresh = connector->didNetworkRefresh();
    bool banner = adType_ && !adType_->isInterstitial();
    auto reportRefreshFailure = [&] {
        if (auto s = slot()) {
            s->mediatedAdNetworkAutoRefreshed();
            s->adFailedToReceiveContentWithError(
                GADRequestError::errorWithCode(GADRequestErrorServerError, error.description));
        }
    };
    if (connector != requestingConnector_) {
        // The network on screen failed on its own: a refresh failure for a banner, else nothing to do.
        if (banner && refresh) reportRefreshFailure();
        return true;
    }
    if (requestingConnector_ != receivedConnector_) detach(requestingConnector_);
    requestingConnector_.reset();
    if (banner && refresh) {
        reportRefreshFailure();
        return true;
    }
    updateAdapterTimingsForError(error);
    makeAdRequest();
    return true;
}

// ---------------------------------------------------------------- endings

void GADMAdManager::reportNoFill() {
    auto s = slot();
    std::optional<std::string> durations, exitCodes;
    if (s) {
        auto stats = s->slotStats();
        durations = stats->adapterDurationsParameter();
        exitCodes = stats->adapterExitCodesParameter();
        stats->resetTimingAdapters();
    }
    auto config = waterfallConfig_ ? waterfallConfig_ : config_;
    GADMUtilities::trackMediationURLsFromTemplates(
        config ? config->noFillURLs() : std::nullopt, GADMUtilities::defaultNoFillTemplate(), std::nullopt,
        std::nullopt, config ? config->qdata() : std::nullopt, config ? config->appKey() : std::nullopt, false,
        durations, exitCodes);
}

void GADMAdManager::notifyDelegateOfFailureToReceiveWithError(const platform::Error& error) {
    if (auto s = slot()) s->didFailToReceiveAdWithError(error, false);
}

void GADMAdManager::resetRequestingState() {
    invalidateTimer();
    requestInProgress_ = false;
}

void GADMAdManager::cancel() {
    std::weak_ptr<GADMAdManager> weak = weak_from_this();
    GADRunOnMainThread([weak] {
        auto manager = weak.lock();
        if (!manager) return;
        manager->cancelPendingActions();
        auto requesting = std::move(manager->requestingConnector_);
        manager->requestingConnector_.reset();
        if (requesting && requesting != manager->receivedConnector_) {
            requesting->askAdapterToStopBeingDelegate();
            requesting->setAdManager({});
        }
        manager->adNetworkConfigQueue_.clear();
        manager->resetRequestingState();
    });
}

void GADMAdManager::cancelPendingActions() {
    ++pendingActionGroup_;
    invalidateTimer();
}

void GADMAdManager::updateAdapterTimingsForError(const platform::Error& error) {
    bool noFill = error.domain == kGADErrorDomain && error.code == GADRequestErrorNoFill;
    endTiming(noFill ? GADMAdapterExitCodeNoFill : GADMAdapterExitCodeError);
}

void GADMAdManager::detach(const std::shared_ptr<GADMAdNetworkConnector>& connector) {
    if (!connector) return;
    cancelPendingActions();
    connector->setAdManager({});
}

void GADMAdManager::endTiming(long exitCode) {
    if (auto s = slot()) s->slotStats()->endTimingAdapterWithExitCode(exitCode);
}

void GADMAdManager::invalidateTimer() {
    if (adNetworkTimeoutTimer_) {
        adNetworkTimeoutTimer_->invalidate();
        adNetworkTimeoutTimer_.reset();
    }
}

} // namespace ruzave
