#include "ads/mediation/GADMAdNetworkConnector.h"

#include "ads/core/public/GADAdNetworkExtras.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/signals/GADLocation.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/telemetry/GADSlotStatistics.h"
#include "ads/core/util/GADLogger.h"
#include "ads/mediation/GADMAdManager.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMAdNetworkConnectorBanner.h"
#include "ads/mediation/GADMAdNetworkConnectorInterstitial.h"
#include "ads/mediation/GADMAdNetworkConnectorNativeAd.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/mediation/GADMUtilities.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"

namespace ruzave {
namespace {

// The configuration's templates followed by the network's; nullopt when there are none.
std::optional<platform::Value> joinedTemplates(const std::optional<platform::Value>& first,
                                               const std::optional<platform::Value>& second) {
    platform::Value all = platform::Value::array();
    for (const auto* list : {&first, &second}) {
        if (*list && (*list)->is_array())
            for (const auto& entry : **list)
                all.push_back(entry);
    }
    if (all.empty()) return std::nullopt;
    return all;
}

} // namespace

GADMAdNetworkConnector::GADMAdNetworkConnector(const std::shared_ptr<GADMConfig>& config,
                                               const std::shared_ptr<GADMAdNetworkConfig>& network)
    : mediationConfig_(config), networkConfig_(network) {
    strippedCredentials_ = network->strippedCredentials(&isLocationShared_);
}

std::shared_ptr<GADMAdNetworkConnector>
GADMAdNetworkConnector::initWithConfig(const std::shared_ptr<GADMConfig>& config,
                                       const std::shared_ptr<GADMAdNetworkConfig>& network) {
    if (!config || !network) return nullptr;
    return std::shared_ptr<GADMAdNetworkConnector>(new GADMAdNetworkConnector(config, network));
}

std::shared_ptr<GADMAdNetworkConnector>
GADMAdNetworkConnector::initWithClassName(const std::string& className, const std::shared_ptr<GADMConfig>& config,
                                          const std::shared_ptr<GADMAdNetworkConfig>& network) {
    if (className == "GADMAdNetworkConnector") return initWithConfig(config, network);
    if (className == kBannerClassName) return GADMAdNetworkConnectorBanner::initWithConfig(config, network);
    if (className == kInterstitialClassName)
        return GADMAdNetworkConnectorInterstitial::initWithConfig(config, network);
    if (className == kNativeAdClassName) return GADMAdNetworkConnectorNativeAd::initWithConfig(config, network);
    return nullptr;
}

GADMAdNetworkConnector::~GADMAdNetworkConnector() {
    if (adapter_) adapter_->stopBeingDelegate();
}

void GADMAdNetworkConnector::setUpAdapter() {
    const auto& name = networkConfig_->adapterClass();
    adapter_ = name ? GADMAdNetworkAdapter::createAdapter(*name) : nullptr;
    if (adapter_) adapter_->initWithGADMAdNetworkConnector(shared_from_this());
}

void GADMAdNetworkConnector::getAdFromAdapterWithType(const std::shared_ptr<GADAdType>&) {
    failRequest("Instantiated connector " + className() + " can't request an ad.");
}

void GADMAdNetworkConnector::failRequest(const std::string& message) {
    auto self = shared_from_this();
    auto adapter = adapter_;
    platform::Error error = GADRequestError::errorWithCode(GADRequestErrorInternalError, message);
    if (adapter) {
        adapterDidFailAd(*adapter, error);
    } else if (auto manager = adManager()) {
        // No adapter could be made: the attempt fails rather than waiting for its timer.
        manager->adRequestFailedFromConnectorWithError(self, error);
    }
}

void GADMAdNetworkConnector::askAdapterToStopBeingDelegate() {
    if (auto adapter = adapter_) adapter->stopBeingDelegate();
}

std::string GADMAdNetworkConnector::adapterClassName() const {
    return networkConfig_->adapterClass().value_or(std::string());
}

std::string GADMAdNetworkConnector::adapterVersion() const {
    std::string version = adapter_ ? adapter_->adapterVersion().value_or("unknown") : "unknown";
    return "adapter: " + adapterClassName() + ", version: " + version;
}

std::shared_ptr<GADSlot> GADMAdNetworkConnector::slot() const {
    auto manager = adManager();
    return manager ? manager->slot() : nullptr;
}

std::shared_ptr<GADRequest> GADMAdNetworkConnector::slotRequest() const {
    auto s = slot();
    return s ? s->request() : nullptr;
}

void GADMAdNetworkConnector::reportClick() {
    if (clicked_) return;
    clicked_ = true;
    pingMediationURLs(joinedTemplates(mediationConfig_->clickURLs(), networkConfig_->clickURLs()),
                      GADMUtilities::defaultClickTemplate(), std::nullopt, std::nullopt);
}

void GADMAdNetworkConnector::reportImpression() {
    std::optional<std::string> durations, exitCodes;
    if (auto s = slot()) {
        auto stats = s->slotStats();
        durations = stats->adapterDurationsParameter();
        exitCodes = stats->adapterExitCodesParameter();
        stats->resetTimingAdapters();
    }
    pingMediationURLs(joinedTemplates(mediationConfig_->impressionURLs(), networkConfig_->impressionURLs()),
                      GADMUtilities::defaultImpressionTemplate(), durations, exitCodes);
}

void GADMAdNetworkConnector::pingMediationURLs(const std::optional<platform::Value>& templates,
                                               const std::string& defaultURL,
                                               const std::optional<std::string>& durations,
                                               const std::optional<std::string>& exitCodes) {
    GADMUtilities::trackMediationURLsFromTemplates(templates, defaultURL, networkConfig_->networkID(),
                                                   networkConfig_->allocationID(), mediationConfig_->qdata(),
                                                   mediationConfig_->appKey(), didNetworkRefresh_, durations,
                                                   exitCodes);
}

bool GADMAdNetworkConnector::isAutoClickProtected() const {
    auto s = slot();
    auto delegate = s ? s->adViewDelegate() : nullptr;
    auto opener = delegate ? delegate->opener() : nullptr;
    return opener && opener->isAutoClickProtected();
}

std::optional<std::string> GADMAdNetworkConnector::requestAgent() const {
    auto request = slotRequest();
    return request ? request->requestAgent() : std::nullopt;
}

std::shared_ptr<GADAdNetworkExtras> GADMAdNetworkConnector::networkExtrasForClass(const std::string& name) const {
    auto request = slotRequest();
    return request ? request->adNetworkExtrasFor(name) : nullptr;
}

// ---------------------------------------------------------------- data for the adapter

std::optional<std::string> GADMAdNetworkConnector::publisherId() const {
    return networkConfig_->publisherID();
}

bool GADMAdNetworkConnector::testMode() const {
    auto request = slotRequest();
    return request && request->isATestDevice();
}

std::shared_ptr<GADAdNetworkExtras> GADMAdNetworkConnector::networkExtras() const {
    auto extrasClass = adapter_ ? adapter_->networkExtrasClass() : std::nullopt;
    if (!extrasClass) {
        logMissingNetworkExtrasClass(adapterClassName());
        return nullptr;
    }
    return networkExtrasForClass(*extrasClass);
}

void GADMAdNetworkConnector::logMissingNetworkExtrasClass(const std::string& adapterClassName) {
    GADLogger::sharedInstance()->logPublicMessage("Adapter class " + adapterClassName +
                                                  " does not respond to networkExtrasClass. Unable to "
                                                  "retrieve network extras.");
}

std::shared_ptr<platform::ViewController> GADMAdNetworkConnector::viewControllerForPresentingModalView() const {
    auto s = slot();
    return s ? s->viewControllerForPresentingModalView() : nullptr;
}

std::optional<bool> GADMAdNetworkConnector::childDirectedTreatment() const {
    auto request = slotRequest();
    return request ? request->childDirectedTreatment() : std::nullopt;
}

int GADMAdNetworkConnector::userGender() const {
    auto request = slotRequest();
    return request ? request->gender() : 0;
}

std::optional<double> GADMAdNetworkConnector::userBirthday() const {
    auto request = slotRequest();
    return request ? request->birthday() : std::nullopt;
}

std::optional<platform::Value> GADMAdNetworkConnector::userKeywords() const {
    auto request = slotRequest();
    return request ? request->keywords() : std::nullopt;
}

std::shared_ptr<GADLocation> GADMAdNetworkConnector::userLocation() const {
    auto request = slotRequest();
    return request ? request->location() : nullptr;
}

bool GADMAdNetworkConnector::userHasLocation() const {
    if (!isLocationShared_) return false;
    auto request = slotRequest();
    auto location = request ? request->location() : nullptr;
    return location && location->isPreciseLocation();
}

float GADMAdNetworkConnector::userLatitude() const {
    return userHasLocation() ? slotRequest()->location()->latitude() : 0.0f;
}

float GADMAdNetworkConnector::userLongitude() const {
    return userHasLocation() ? slotRequest()->location()->longitude() : 0.0f;
}

float GADMAdNetworkConnector::userLocationAccuracyInMeters() const {
    return userHasLocation() ? slotRequest()->location()->accuracy() : 0.0f;
}

std::optional<std::string> GADMAdNetworkConnector::userLocationDescription() const {
    if (!isLocationShared_) return std::nullopt;
    auto request = slotRequest();
    auto location = request ? request->location() : nullptr;
    if (!location) return std::nullopt;
    return location->locationDescription();
}

// ---------------------------------------------------------------- callbacks: the base answers nothing

void GADMAdNetworkConnector::adapterDidFailAd(GADMAdNetworkAdapter&, const platform::Error&) {}
void GADMAdNetworkConnector::adapterDidReceiveAdView(GADMAdNetworkAdapter&, const std::shared_ptr<platform::View>&) {}
void GADMAdNetworkConnector::adapterDidReceiveInterstitial(GADMAdNetworkAdapter&) {}
void GADMAdNetworkConnector::adapterDidReceiveMediatedNativeAd(GADMAdNetworkAdapter&,
                                                               const std::shared_ptr<GADMediatedNativeAd>&) {}
void GADMAdNetworkConnector::adapterWillLeaveApplication(GADMAdNetworkAdapter&) {}

void GADMAdNetworkConnector::relayWillLeaveApplication() {
    auto self = shared_from_this();
    if (auto s = slot()) {
        s->adWillLeaveApplication();
        if (auto ad = s->ad(); ad && ad->statistics())
            ad->statistics()->setObject(platform::Value(true), "pclb", true);
    }
    reportClick();
}
void GADMAdNetworkConnector::adapterWillPresentFullScreenModal(GADMAdNetworkAdapter&) {}
void GADMAdNetworkConnector::adapterWillDismissFullScreenModal(GADMAdNetworkAdapter&) {}
void GADMAdNetworkConnector::adapterDidDismissFullScreenModal(GADMAdNetworkAdapter&) {}
void GADMAdNetworkConnector::adapterWillPresentInterstitial(GADMAdNetworkAdapter&) {}
void GADMAdNetworkConnector::adapterWillDismissInterstitial(GADMAdNetworkAdapter&) {}
void GADMAdNetworkConnector::adapterDidDismissInterstitial(GADMAdNetworkAdapter&) {}
void GADMAdNetworkConnector::adapterDidFailInterstitial(GADMAdNetworkAdapter&, const platform::Error&) {}

void GADMAdNetworkConnector::adapterDidGetAdClick(GADMAdNetworkAdapter& adapter) {
    if (!isOwnAdapter(adapter)) return;
    auto self = shared_from_this();
    reportClick();
}

void GADMAdNetworkConnector::adapterDidReceiveInterstitial(GADMAdNetworkAdapter& adapter,
                                                           const std::shared_ptr<void>&) {
    adapterDidReceiveInterstitial(adapter);
}

void GADMAdNetworkConnector::adapterClickDidOccurInBanner(GADMAdNetworkAdapter& adapter,
                                                          const std::shared_ptr<platform::View>&) {
    adapterDidGetAdClick(adapter);
}

} // namespace ruzave
