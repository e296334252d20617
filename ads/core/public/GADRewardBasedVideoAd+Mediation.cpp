// The reward-based video ad's mediation: checks the response, keeps one connector per adapter class
// across loads, sets the adapters up ahead of their turn, tries the networks in order with a time limit
// each, presents the video of the network that filled and passes on its reward.
#include <algorithm>
#include <cctype>

#include "ads/core/public/GADAdReward.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/GADRewardBasedVideoAd.h"
#include "ads/core/public/GADRewardBasedVideoAdDelegate.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/mediation/GADMRewardBasedVideoAdNetworkConnector.h"
#include "ads/mediation/GADMUtilities.h"

namespace ruzave {
namespace {

platform::Error invalidResponse(long code) {
    return GADRequestError::errorWithCode(code, std::string("Invalid server response.")).error();
}

bool startsWithJSONType(const std::string& contentType) {
    static const std::string kJSON = "application/json";
    if (contentType.size() < kJSON.size()) return false;
    for (std::size_t i = 0; i < kJSON.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(contentType[i])) != kJSON[i]) return false;
    return true;
}

void trackAdTemplates(const std::shared_ptr<GADMConfig>& config, const std::optional<platform::Value>& templates,
                      const std::string& defaultTemplate) {
    if (!config) return;
    GADMUtilities::trackMediationURLsFromTemplates(templates, defaultTemplate, std::nullopt, std::nullopt,
                                                   config->qdata(), config->appKey(), false, std::nullopt,
                                                   std::nullopt);
}

} // namespace

// ---------------------------------------------------------------- the response

std::optional<platform::Value> GADRewardBasedVideoAd::parseJSONResponseFromAd(const std::shared_ptr<GADAd>& ad,
                                                                              platform::Error* error) {
    const std::optional<platform::Value> headers = ad ? ad->responseHeaders() : std::nullopt;
    bool mediation = false, json = false;
    if (headers && headers->is_object()) {
        const platform::Value* flag = platform::find(*headers, "x-zudo-mediation");
        mediation = flag && platform::boolValue(*flag);
        const std::string* type = platform::findString(*headers, "content-type");
        json = type && startsWithJSONType(*type);
    }
    if (!mediation || !json) {
        platform::setError(error, invalidResponse(GADRequestErrorInvalidResponse));
        return std::nullopt;
    }
    auto document = ad->adHTML() ? platform::parseJSON(*ad->adHTML()) : std::nullopt;
    if (!document) {
        platform::setError(error, invalidResponse(GADRequestErrorInvalidMediationResponse));
        return std::nullopt;
    }
    if (!document->is_object()) {
        platform::setError(error, invalidResponse(GADRequestErrorInvalidResponse));
        return std::nullopt;
    }
    return document;
}

void GADRewardBasedVideoAd::processMediationAd(const std::shared_ptr<GADAd>& ad) {
    auto self = shared_from_this();
    mediating_ = true;
    platform::Error error;
    auto document = parseJSONResponseFromAd(ad, &error);
    if (!document) {
        failedToLoadAdWithError(error);
        return;
    }
    platform::Error configError;
    mediationConfig_ = GADMConfig::initWithAppKey(std::nullopt, document, &configError);
    if (!mediationConfig_) {
        failedToLoadAdWithError(configError.empty()
                                    ? GADRequestError::errorWithCode(GADRequestErrorInvalidMediationResponse,
                                                                     std::string("Failed to parse mediation config."))
                                          .error()
                                    : platform::Error(configError));
        return;
    }
    auto adType = mediationConfig_->adType();
    if (!adType || !adType->isInterstitial()) {
        failedToLoadAdWithError(GADRequestError::errorWithCode(GADRequestErrorInvalidMediationResponse,
                                                               std::string("Invalid mediation adtype returned."))
                                    .error());
        return;
    }
    setUpAdapters();
    buildPendingAdRequestConnectorsList();
    makeNextAdRequest();
}

// ---------------------------------------------------------------- connectors

void GADRewardBasedVideoAd::setUpAdapters() {
    auto self = shared_from_this();
    removeStaleConnectors();
    auto config = mediationConfig_;
    if (!config) return;
    for (const auto& network : config->adNetworkConfigs()) {
        const auto& className = network->adapterClass();
        if (!className || className->empty() || connectors_.count(*className)) continue;
        auto connector = GADMRewardBasedVideoAdNetworkConnector::init();
        connector->setAdNetworkConfig(network);
        connector->setMediationConfig(config);
        connector->setDelegate(self);
        connectors_[*className] = connector;
        pendingSetUpConnectorsTimestamp_[*className] = GADAbsoluteTime::absoluteTimeInMilliseconds();
        connector->setRequest(request());
        // The adapter may answer inside this call, success or failure.
        connector->setUpAdapterWithUserID(userID());
    }
}

void GADRewardBasedVideoAd::removeStaleConnectors() {
    const double limit = (mediationConfig_ ? mediationConfig_->adNetworkTimeout() : GADMConfig::kDefaultAdNetworkTimeout) *
                         1000.0;
    const std::uint64_t now = GADAbsoluteTime::absoluteTimeInMilliseconds();
    std::vector<std::string> stale;
    for (const auto& [name, start] : pendingSetUpConnectorsTimestamp_)
        if (now >= start && static_cast<double>(now - start) > limit) stale.push_back(name);
    for (const auto& name : stale) {
        if (auto it = connectors_.find(name); it != connectors_.end()) {
            auto connector = it->second;
            connector->askAdapterToStopBeingDelegate();
            connector->setDelegate({});
            connectors_.erase(it);
        }
        pendingSetUpConnectorsTimestamp_.erase(name);
    }
}

void GADRewardBasedVideoAd::buildPendingAdRequestConnectorsList() {
    pendingAdRequestConnectors_.clear();
    if (!mediationConfig_) return;
    for (const auto& network : mediationConfig_->adNetworkConfigs()) {
        const auto& className = network->adapterClass();
        if (!className) continue;
        if (auto it = connectors_.find(*className); it != connectors_.end())
            pendingAdRequestConnectors_.push_back(it->second);
    }
}

void GADRewardBasedVideoAd::dropPendingSetUp(const std::string& className) {
    pendingSetUpConnectorsTimestamp_.erase(className);
}

bool GADRewardBasedVideoAd::isPresenting(const GADMRewardBasedVideoAdNetworkConnector& connector) const {
    if (presentingConnector_.get() != &connector) return false;
    auto linked = connector.rewardBasedVideoAd();
    return linked && linked.get() == this;
}

std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> GADRewardBasedVideoAd::presentingConnector() const {
    return presentingConnector_ && isPresenting(*presentingConnector_) ? presentingConnector_ : nullptr;
}

// ---------------------------------------------------------------- the waterfall

void GADRewardBasedVideoAd::makeNextAdRequest() {
    if (makingAdRequest_) {
        // An adapter failed inside its request: the loop below moves on once that call returns.
        anotherAdRequestWanted_ = true;
        return;
    }
    auto self = shared_from_this();
    makingAdRequest_ = true;
    do {
        anotherAdRequestWanted_ = false;
        makeOneAdRequest();
    } while (anotherAdRequestWanted_);
    makingAdRequest_ = false;
}

void GADRewardBasedVideoAd::makeOneAdRequest() {
    if (receivedConnector_) {
        // A video still on screen keeps its link until it closes, so that its reward is not lost.
        if (!isPresenting(*receivedConnector_)) receivedConnector_->setRewardBasedVideoAd({});
        receivedConnector_.reset();
    }
    if (attemptTimer_) platform::MainLoop::main().cancel(attemptTimer_);
    attemptTimer_ = 0;
    if (pendingAdRequestConnectors_.empty()) {
        requestingConnector_.reset();
        pingNoFillURLs();
        failedToLoadAdWithError(
            GADRequestError::errorWithCode(GADRequestErrorMediationNoFill, std::string(kNoAdMessage)).error());
        return;
    }
    auto connector = pendingAdRequestConnectors_.front();
    pendingAdRequestConnectors_.erase(pendingAdRequestConnectors_.begin());
    requestingConnector_ = connector;
    const std::uint64_t token = ++attemptToken_;
    std::weak_ptr<GADRewardBasedVideoAd> weak = shared_from_this();
    const double timeout = mediationConfig_ ? mediationConfig_->adNetworkTimeout() : GADMConfig::kDefaultAdNetworkTimeout;
    attemptTimer_ = platform::MainLoop::main().postAfter(timeout, [weak, token] {
        auto ad = weak.lock();
        if (!ad || token != ad->attemptToken_) return;
        ad->attemptTimer_ = 0;
        auto requesting = ad->requestingConnector_;
        if (!requesting) return;
        ad->connectorDidFailToReceiveRewardBasedVideoAdWithError(
            *requesting,
            GADRequestError::errorWithCode(GADRequestErrorTimeout, std::string(kAdRequestTimeoutMessage)).error());
    });
    if (!pendingSetUpConnectorsTimestamp_.count(connector->adapterClassName())) requestAdFromConnector(connector);
}

void GADRewardBasedVideoAd::requestAdFromConnector(
    const std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>& connector) {
    if (!connector) return;
    auto self = shared_from_this();
    connector->setRequest(request());
    connector->requestRewardBasedVideoAd();
}

void GADRewardBasedVideoAd::endAttempt() {
    requestingConnector_.reset();
    // The attempt's time limit must not outlive it.
    ++attemptToken_;
    if (attemptTimer_) platform::MainLoop::main().cancel(attemptTimer_);
    attemptTimer_ = 0;
}

// ---------------------------------------------------------------- connector callbacks

void GADRewardBasedVideoAd::connectorDidSetUpRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector& connector) {
    auto self = shared_from_this();
    auto held = connector.shared_from_this();
    dropPendingSetUp(connector.adapterClassName());
    if (isConnector(requestingConnector_, connector)) requestAdFromConnector(held);
}

void GADRewardBasedVideoAd::connectorDidFailToSetUpRewardBasedVideoAdWithError(
    GADMRewardBasedVideoAdNetworkConnector& connector, const platform::Error&) {
    auto self = shared_from_this();
    auto held = connector.shared_from_this();
    const std::string className = connector.adapterClassName();
    dropPendingSetUp(className);
    if (auto it = connectors_.find(className); it != connectors_.end() && it->second == held) connectors_.erase(it);
    // It will not be asked for an ad in this load either.
    pendingAdRequestConnectors_.erase(
        std::remove(pendingAdRequestConnectors_.begin(), pendingAdRequestConnectors_.end(), held),
        pendingAdRequestConnectors_.end());
    if (isConnector(requestingConnector_, connector)) {
        endAttempt();
        makeNextAdRequest();
    }
}

void GADRewardBasedVideoAd::connectorDidReceiveRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector& connector) {
    if (receivedConnector_ || !isConnector(requestingConnector_, connector)) return;
    auto self = shared_from_this();
    receivedConnector_ = connector.shared_from_this();
    endAttempt();
    pendingAdRequestConnectors_.clear();
    adLoadedSuccessfully();
}

void GADRewardBasedVideoAd::connectorDidFailToReceiveRewardBasedVideoAdWithError(
    GADMRewardBasedVideoAdNetworkConnector& connector, const platform::Error&) {
    if (!isConnector(requestingConnector_, connector)) return;
    auto self = shared_from_this();
    auto held = connector.shared_from_this();
    endAttempt();
    makeNextAdRequest();
}

void GADRewardBasedVideoAd::connectorDidReceiveClick(GADMRewardBasedVideoAdNetworkConnector& connector) {
    // A click on a video still on screen after a new load counts for the load it came from.
    if (isPresenting(connector) && presentingConfig_ != mediationConfig_) {
        trackAdTemplates(presentingConfig_, presentingConfig_->clickURLs(), GADMUtilities::defaultClickTemplate());
        return;
    }
    pingClickURLs();
}

void GADRewardBasedVideoAd::connectorDidRewardUserWithReward(GADMRewardBasedVideoAdNetworkConnector& connector,
                                                             const std::shared_ptr<GADAdReward>& reward) {
    const bool presenting = isPresenting(connector);
    if (!presenting && !isConnector(receivedConnector_, connector)) return;
    auto self = shared_from_this();
    auto publisher = delegate();
    if (!publisher) return;
    // The reward of the load whose video this is.
    auto config = presenting ? presentingConfig_ : mediationConfig_;
    std::shared_ptr<GADAdReward> given;
    if (config && config->rewards() && config->rewards()->is_array() && !config->rewards()->empty())
        given = GADAdReward::initWithRewardDictionary(config->rewards()->front());
    // An entry that makes no reward does not cost the user the adapter's.
    if (!given) given = reward;
    if (given) publisher->rewardBasedVideoAdDidRewardUserWithReward(*this, given);
}

// ---------------------------------------------------------------- presentation and pings

void GADRewardBasedVideoAd::presentMediatedRewardBasedVideoAdFromViewController(
    const std::shared_ptr<platform::ViewController>& root) {
    if (!receivedConnector_) return;
    auto self = shared_from_this();
    auto connector = receivedConnector_;
    pingImpressionURLs();
    if (presentingConnector_ && presentingConnector_ != connector && isPresenting(*presentingConnector_))
        presentingConnector_->setRewardBasedVideoAd({});
    connector->setRewardBasedVideoAd(self);
    presentingConnector_ = connector;
    presentingConfig_ = mediationConfig_;
    connector->presentRewardBasedVideoAdFromRootViewController(root);
}

void GADRewardBasedVideoAd::pingNoFillURLs() {
    if (mediationConfig_)
        trackAdTemplates(mediationConfig_, mediationConfig_->noFillURLs(), GADMUtilities::defaultNoFillTemplate());
}

void GADRewardBasedVideoAd::pingClickURLs() {
    if (mediationConfig_)
        trackAdTemplates(mediationConfig_, mediationConfig_->clickURLs(), GADMUtilities::defaultClickTemplate());
}

void GADRewardBasedVideoAd::pingImpressionURLs() {
    if (mediationConfig_)
        trackAdTemplates(mediationConfig_, mediationConfig_->impressionURLs(),
                         GADMUtilities::defaultImpressionTemplate());
}

} // namespace ruzave
