#include "ads/mediation/GADMRewardBasedVideoAdNetworkConnector.h"

#include "ads/core/public/GADAdReward.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/GADRewardBasedVideoAd.h"
#include "ads/core/public/GADRewardBasedVideoAdDelegate.h"
#include "ads/core/signals/GADLocation.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/mediation/GADMRewardBasedVideoAdConnectorDelegate.h"
#include "ads/mediation/GADMRewardBasedVideoAdNetworkAdapter.h"
#include "ads/mediation/GADMUtilities.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {

std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> GADMRewardBasedVideoAdNetworkConnector::init() {
    return std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>(new GADMRewardBasedVideoAdNetworkConnector());
}

GADMRewardBasedVideoAdNetworkConnector::~GADMRewardBasedVideoAdNetworkConnector() {
    // An adapter may outlive us inside its network's SDK: it must not call back into freed memory.
    if (adapter_) adapter_->stopBeingDelegate();
}

void GADMRewardBasedVideoAdNetworkConnector::setAdNetworkConfig(const std::shared_ptr<GADMAdNetworkConfig>& network) {
    if (!network) return;
    if (adNetworkConfig_) {
        // One connector serves one adapter class for its whole life.
        if (adNetworkConfig_->adapterClass() != network->adapterClass()) return;
    }
    adNetworkConfig_ = network;
    networkData_ = network->strippedCredentials(&isLocationShared_);
}

void GADMRewardBasedVideoAdNetworkConnector::setRequest(const std::shared_ptr<GADRequest>& request) {
    request_ = request ? request->copy() : nullptr;
}

std::string GADMRewardBasedVideoAdNetworkConnector::adapterClassName() const {
    return adNetworkConfig_ ? adNetworkConfig_->adapterClass().value_or(std::string()) : std::string();
}

void GADMRewardBasedVideoAdNetworkConnector::failSetUp(long code, const std::string& message) {
    auto self = shared_from_this();
    if (auto d = delegate())
        d->connectorDidFailToSetUpRewardBasedVideoAdWithError(*this, GADRequestError::errorWithCode(code, message));
}

void GADMRewardBasedVideoAdNetworkConnector::setUpAdapterWithUserID(const std::optional<std::string>& userID) {
    if (!adNetworkConfig_) {
        failSetUp(GADRequestErrorInvalidMediationResponse, "No network config to initialize adapter.");
        return;
    }
    const std::string className = adapterClassName();
    if (className.empty()) {
        failSetUp(GADRequestErrorAdapterNotFound, "Adapter class is empty.");
        return;
    }
    if (!adapter_) {
        adapter_ = GADMRewardBasedVideoAdNetworkAdapter::createAdapter(className);
        if (!adapter_) {
            failSetUp(GADRequestErrorAdapterNotFound,
                      std::string("Adapter class doesn't conform to protocol ") +
                          GADMRewardBasedVideoAdNetworkAdapter::kProtocolName + ".");
            return;
        }
        adapter_->initWithGADMAdNetworkConnector(shared_from_this());
    }
    auto adapter = adapter_;
    adapter->setUpWithUserID(userID);
}

void GADMRewardBasedVideoAdNetworkConnector::requestRewardBasedVideoAd() {
    ++requestsMade_;
    if (auto adapter = adapter_) adapter->requestRewardBasedVideoAd();
}

void GADMRewardBasedVideoAdNetworkConnector::presentRewardBasedVideoAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& root) {
    auto self = shared_from_this();
    pingImpressionURLs();
    if (auto adapter = adapter_) adapter->presentRewardBasedVideoAdWithRootViewController(root);
}

void GADMRewardBasedVideoAdNetworkConnector::askAdapterToStopBeingDelegate() {
    if (auto adapter = adapter_) adapter->stopBeingDelegate();
}

// ---------------------------------------------------------------- pings

void GADMRewardBasedVideoAdNetworkConnector::pingURLs(const std::optional<platform::Value>& templates,
                                                      const std::optional<std::string>& defaultTemplate) {
    if (!mediationConfig_) return;
    GADMUtilities::trackMediationURLsFromTemplates(templates, defaultTemplate, std::nullopt, std::nullopt,
                                                   mediationConfig_->qdata(), mediationConfig_->appKey(), false,
                                                   std::nullopt, std::nullopt);
}

void GADMRewardBasedVideoAdNetworkConnector::pingClickURLs() {
    if (adNetworkConfig_) pingURLs(adNetworkConfig_->clickURLs(), GADMUtilities::defaultClickTemplate());
}

void GADMRewardBasedVideoAdNetworkConnector::pingImpressionURLs() {
    if (adNetworkConfig_) pingURLs(adNetworkConfig_->impressionURLs(), GADMUtilities::defaultImpressionTemplate());
}

void GADMRewardBasedVideoAdNetworkConnector::pingVideoStartPlayingURLs() {
    if (adNetworkConfig_) pingURLs(adNetworkConfig_->videoStartURLs(), std::nullopt);
}

void GADMRewardBasedVideoAdNetworkConnector::pingRewardedUserURLs() {
    if (adNetworkConfig_) pingURLs(adNetworkConfig_->rewardedUserURLs(), std::nullopt);
}

// ---------------------------------------------------------------- data for the adapter

std::optional<std::string> GADMRewardBasedVideoAdNetworkConnector::publisherId() const {
    return adNetworkConfig_ ? adNetworkConfig_->publisherID() : std::nullopt;
}

bool GADMRewardBasedVideoAdNetworkConnector::testMode() const {
    return request_ && request_->isATestDevice();
}

std::shared_ptr<GADAdNetworkExtras> GADMRewardBasedVideoAdNetworkConnector::networkExtras() const {
    auto extrasClass = adapter_ ? adapter_->networkExtrasClass() : std::nullopt;
    if (!extrasClass) {
        GADMAdNetworkConnector::logMissingNetworkExtrasClass(adapterClassName());
        return nullptr;
    }
    return request_ ? request_->adNetworkExtrasFor(*extrasClass) : nullptr;
}

std::optional<bool> GADMRewardBasedVideoAdNetworkConnector::childDirectedTreatment() const {
    return request_ ? request_->childDirectedTreatment() : std::nullopt;
}

int GADMRewardBasedVideoAdNetworkConnector::userGender() const {
    return request_ ? request_->gender() : 0;
}

std::optional<double> GADMRewardBasedVideoAdNetworkConnector::userBirthday() const {
    return request_ ? request_->birthday() : std::nullopt;
}

std::optional<platform::Value> GADMRewardBasedVideoAdNetworkConnector::userKeywords() const {
    return request_ ? request_->keywords() : std::nullopt;
}

bool GADMRewardBasedVideoAdNetworkConnector::userHasLocation() const {
    return isLocationShared_ && request_ && request_->location();
}

float GADMRewardBasedVideoAdNetworkConnector::userLatitude() const {
    return userHasLocation() ? request_->location()->latitude() : 0.0f;
}

float GADMRewardBasedVideoAdNetworkConnector::userLongitude() const {
    return userHasLocation() ? request_->location()->longitude() : 0.0f;
}

float GADMRewardBasedVideoAdNetworkConnector::userLocationAccuracyInMeters() const {
    return userHasLocation() ? request_->location()->accuracy() : 0.0f;
}

std::optional<std::string> GADMRewardBasedVideoAdNetworkConnector::userLocationDescription() const {
    if (!userHasLocation()) return std::nullopt;
    return request_->location()->locationDescription();
}

// ---------------------------------------------------------------- callbacks from the adapter

template <class Send> void GADMRewardBasedVideoAdNetworkConnector::tellPublisher(Send send) {
    auto self = shared_from_this();
    auto ad = rewardBasedVideoAd();
    auto publisher = ad ? ad->delegate() : nullptr;
    if (publisher) send(*publisher, *ad);
}

template <class Work> void GADMRewardBasedVideoAdNetworkConnector::onMainThread(Work work) {
    // Networks' SDKs may answer on their own threads; the ad and the publisher hear everything on the
    // main thread, in the order the adapter spoke.
    if (platform::MainLoop::isMainThread()) {
        auto self = shared_from_this();
        work();
        return;
    }
    std::weak_ptr<GADMRewardBasedVideoAdNetworkConnector> weak = weak_from_this();
    platform::MainLoop::main().post([weak, work] {
        if (auto self = weak.lock()) work();
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidSetUpRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter&) {
    onMainThread([this] {
        if (auto d = delegate()) d->connectorDidSetUpRewardBasedVideoAd(*this);
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidFailToSetUpRewardBasedVideoAdWithError(
    GADMRewardBasedVideoAdNetworkAdapter&, const platform::Error& error) {
    onMainThread([this, error] {
        if (auto d = delegate()) d->connectorDidFailToSetUpRewardBasedVideoAdWithError(*this, error);
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidGetAdClick(GADMRewardBasedVideoAdNetworkAdapter&) {
    onMainThread([this] {
        pingClickURLs();
        if (auto d = delegate()) d->connectorDidReceiveClick(*this);
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidReceiveRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter&) {
    const std::uint64_t asked = requestsMade_;
    onMainThread([this, asked] {
        if (asked != requestsMade_) return;
        if (auto d = delegate()) d->connectorDidReceiveRewardBasedVideoAd(*this);
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidOpenRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter&) {
    onMainThread([this] {
        tellPublisher([](GADRewardBasedVideoAdDelegate& p, GADRewardBasedVideoAd& ad) { p.rewardBasedVideoAdDidOpen(ad); });
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidStartPlayingRewardBasedVideoAd(
    GADMRewardBasedVideoAdNetworkAdapter&) {
    onMainThread([this] {
        pingVideoStartPlayingURLs();
        tellPublisher([](GADRewardBasedVideoAdDelegate& p, GADRewardBasedVideoAd& ad) {
            p.rewardBasedVideoAdDidStartPlaying(ad);
        });
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidCloseRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkAdapter&) {
    onMainThread([this] {
        tellPublisher(
            [](GADRewardBasedVideoAdDelegate& p, GADRewardBasedVideoAd& ad) { p.rewardBasedVideoAdDidClose(ad); });
        // The video is gone: later screen events of this adapter speak for no presentation.
        rewardBasedVideoAd_.reset();
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidRewardUserWithReward(GADMRewardBasedVideoAdNetworkAdapter&,
                                                                            const std::shared_ptr<GADAdReward>& reward) {
    onMainThread([this, reward] {
        pingRewardedUserURLs();
        if (auto d = delegate()) d->connectorDidRewardUserWithReward(*this, reward);
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterWillLeaveApplication(GADMRewardBasedVideoAdNetworkAdapter&) {
    onMainThread([this] {
        tellPublisher([](GADRewardBasedVideoAdDelegate& p, GADRewardBasedVideoAd& ad) {
            p.rewardBasedVideoAdWillLeaveApplication(ad);
        });
    });
}

void GADMRewardBasedVideoAdNetworkConnector::adapterDidFailToLoadRewardBasedVideoAdwithError(
    GADMRewardBasedVideoAdNetworkAdapter&, const platform::Error& error) {
    const std::uint64_t asked = requestsMade_;
    onMainThread([this, error, asked] {
        if (asked != requestsMade_) return;
        if (auto d = delegate()) d->connectorDidFailToReceiveRewardBasedVideoAdWithError(*this, error);
    });
}

} // namespace ruzave
