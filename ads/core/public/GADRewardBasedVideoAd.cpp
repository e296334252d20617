#include "ads/core/public/GADRewardBasedVideoAd.h"

#include "ads/core/net/GADURLRequestAdditions.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/GADRewardBasedVideoAdDelegate.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/util/GADLogger.h"
#include "ads/mediation/GADMRewardBasedVideoAdNetworkConnector.h"

namespace ruzave {

std::shared_ptr<GADRewardBasedVideoAd> GADRewardBasedVideoAd::sharedInstance() {
    // Lives until the process ends: adapters and their networks may call it during exit.
    static const auto* instance = new std::shared_ptr<GADRewardBasedVideoAd>(new GADRewardBasedVideoAd());
    return *instance;
}

GADRewardBasedVideoAd::~GADRewardBasedVideoAd() {
    if (loadTimer_) platform::MainLoop::main().cancel(loadTimer_);
    if (adFetcher_) adFetcher_->cancel();
}

std::shared_ptr<GADRequest> GADRewardBasedVideoAd::request() const {
    std::lock_guard lock(mutex_);
    return request_;
}

std::optional<std::string> GADRewardBasedVideoAd::adUnitID() const {
    std::lock_guard lock(mutex_);
    return adUnitID_;
}

std::optional<std::string> GADRewardBasedVideoAd::userID() const {
    std::lock_guard lock(mutex_);
    return userID_;
}

std::optional<std::string> GADRewardBasedVideoAd::requestID() const {
    std::lock_guard lock(mutex_);
    return requestID_;
}

// ---------------------------------------------------------------- loading

void GADRewardBasedVideoAd::loadRequest(const std::shared_ptr<GADRequest>& request,
                                        const std::optional<std::string>& adUnitID,
                                        const std::optional<std::string>& userID) {
    if (requestInProgress_) {
        GADLogger::sharedInstance()->logPublicMessage(kRequestInProgressMessage);
        return;
    }
    auto self = shared_from_this();
    requestInProgress_ = true;
    ready_ = false;
    const std::uint64_t generation = ++loadGeneration_;
    std::weak_ptr<GADRewardBasedVideoAd> weak = self;
    loadTimer_ = platform::MainLoop::main().postAfter(kLoadTimeoutSeconds, [weak, generation] {
        if (auto ad = weak.lock()) ad->loadTimedOut(generation);
    });
    fetchAdForRequest(request, adUnitID, userID);
}

void GADRewardBasedVideoAd::fetchAdForRequest(const std::shared_ptr<GADRequest>& request,
                                              const std::optional<std::string>& adUnitID,
                                              const std::optional<std::string>& userID) {
    auto self = shared_from_this();
    // Read before storing: "_useOnce" extras leave the request here.
    std::optional<platform::Value> extras = request ? request->networkExtrasAdditionalParameters() : std::nullopt;
    {
        std::lock_guard lock(mutex_);
        request_ = request;
        userID_ = userID;
        adUnitID_ = adUnitID;
        requestID_.reset();
        // The core controller reads the parameters on its own queue: it gets a copy the app cannot change.
        parametersRequest_ = request ? request->copy() : nullptr;
    }
    if (extras && extras->is_object()) {
        const platform::Value* adDictionary = platform::find(*extras, "_ad");
        if (adDictionary && adDictionary->is_object()) {
            auto ad = GADAd::initWithDictionary(*adDictionary);
            if (ad && ad->adURL()) {
                platform::Value parameters = platform::Value::object();
                parameters["url"] = ad->adURL()->absoluteString();
                loadAdURLWithParameters(parameters);
                return;
            }
        }
    }
    GADSDKCoreController::sharedInstance()->buildAdURL(self);
}

void GADRewardBasedVideoAd::endRequestSteps() {
    if (loadTimer_) platform::MainLoop::main().cancel(loadTimer_);
    loadTimer_ = 0;
    if (adFetcher_) adFetcher_->cancel();
    adFetcher_.reset();
    std::lock_guard lock(mutex_);
    requestID_.reset();
}

void GADRewardBasedVideoAd::loadTimedOut(std::uint64_t generation) {
    loadTimer_ = 0;
    // Only the request-and-fetch steps of this very load are timed; mediation times its own networks.
    if (generation != loadGeneration_ || !requestInProgress_ || mediating_) return;
    failedToLoadAdWithError(GADRequestError::errorWithCode(GADRequestErrorTimeout, kAdRequestTimeoutMessage).error());
}

void GADRewardBasedVideoAd::adLoadedSuccessfully() {
    auto self = shared_from_this();
    requestInProgress_ = false;
    mediating_ = false;
    ready_ = true;
    if (auto d = delegate()) d->rewardBasedVideoAdDidReceiveAd(*this);
}

void GADRewardBasedVideoAd::failedToLoadAdWithError(const platform::Error& error) {
    auto self = shared_from_this();
    endRequestSteps();
    endAttempt();
    pendingAdRequestConnectors_.clear();
    requestInProgress_ = false;
    mediating_ = false;
    ready_ = false;
    if (auto d = delegate()) d->rewardBasedVideoAdDidFailToLoadwithError(*this, error);
}

void GADRewardBasedVideoAd::presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root) {
    if (requestInProgress_ || !ready_) return;
    auto self = shared_from_this();
    presentMediatedRewardBasedVideoAdFromViewController(root);
    ready_ = false;
}

// ---------------------------------------------------------------- GADSDKCoreControllerDelegate

std::optional<platform::Value> GADRewardBasedVideoAd::requestParameters() {
    std::shared_ptr<GADRequest> request;
    std::optional<std::string> userID, adUnitID, requestID;
    {
        std::lock_guard lock(mutex_);
        request = parametersRequest_;
        userID = userID_;
        adUnitID = adUnitID_;
        requestID = requestID_;
    }
    platform::Value p = request ? request->parameters() : platform::Value::object();
    if (!p.is_object()) p = platform::Value::object();
    if (userID) p["rbv_user_id"] = *userID;
    if (adUnitID) p["slotname"] = *adUnitID;
    p["rbv"] = "1";
    if (requestID) p["request_id"] = *requestID;
    p["format"] = "reward_mb";
    return p;
}

void GADRewardBasedVideoAd::setRequestID(const std::string& requestID) {
    std::lock_guard lock(mutex_);
    requestID_ = requestID;
}

bool GADRewardBasedVideoAd::isWaitingForRequestID(const std::string& requestID) {
    // An answer for a load that has ended (timed out, or failed another way) must not end the next one.
    if (!requestInProgress_ || adFetcher_ || mediating_) return false;
    std::lock_guard lock(mutex_);
    return requestID_ && *requestID_ == requestID;
}

void GADRewardBasedVideoAd::loadAdURLWithParameters(const platform::Value& parameters) {
    auto self = shared_from_this();
    if (!requestInProgress_) return;
    if (parameters.is_object() && parameters.contains("errors")) {
        failedToLoadAdWithError(GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, request()));
        return;
    }
    std::optional<platform::URL> url;
    if (const auto* text = parameters.is_object() ? platform::findString(parameters, "url") : nullptr)
        url = platform::URL::parse(*text);
    auto urlRequest = gad_requestForURL(url, std::nullopt, std::nullopt, std::nullopt);
    adFetcher_ = GADAdFetcher::init();
    adFetcher_->setIsAdRequest(true);
    platform::Error error;
    auto fetcher = adFetcher_;
    if (!fetcher->fetchRequestURL(urlRequest, self, &error)) {
        // A fetch that cannot start reports here, once, and never through the delegate.
        adFetcher_.reset();
        failedToLoadAdWithError(error);
    }
}

void GADRewardBasedVideoAd::loadAd(const std::shared_ptr<GADAd>&, const std::optional<platform::Value>&) {
    if (!requestInProgress_) return;
    failedToLoadAdWithError(
        GADRequestError::errorWithCode(GADRequestErrorInternalError, kLoadAdNotSupportedMessage).error());
}

void GADRewardBasedVideoAd::invalidJavaScriptRequest() {
    if (!requestInProgress_) return;
    failedToLoadAdWithError(GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, kInvalidRequestMessage).error());
}

void GADRewardBasedVideoAd::failedJavaScriptFile() {
    if (!requestInProgress_) return;
    failedToLoadAdWithError(GADRequestError::errorWithCode(GADRequestErrorNetworkError, kNoNetworkMessage).error());
}

// ---------------------------------------------------------------- GADAdFetcherDelegate

void GADRewardBasedVideoAd::adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad) {
    if (adFetcher_.get() != &fetcher) return;
    auto self = shared_from_this();
    adFetcher_.reset();
    loadAd(ad);
}

void GADRewardBasedVideoAd::adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>&,
                                      const platform::Error& error, long) {
    if (adFetcher_.get() != &fetcher) return;
    auto self = shared_from_this();
    adFetcher_.reset();
    failedToLoadAdWithError(error);
}

void GADRewardBasedVideoAd::loadAd(const std::shared_ptr<GADAd>& ad) {
    // The response is in: from here on the networks' own time limits govern the load.
    if (loadTimer_) platform::MainLoop::main().cancel(loadTimer_);
    loadTimer_ = 0;
    processMediationAd(ad);
}

} // namespace ruzave
