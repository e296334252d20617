#include "ads/core/slot/GADSlot.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

#include "ads/core/net/GADTimerAdditions.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADCorrelator.h"
#include "ads/core/public/GADExtras.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADBannerAd.h"
#include "ads/core/slot/GADInterstitialAd.h"
#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "ads/core/slot/GADSlotAdKeyDelegate.h"
#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "ads/core/slot/GADSlotAdResponseDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "ads/core/telemetry/GADCSI.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADLogger.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/mediation/GADMAdManager.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADIntermission.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "ads/render/GADOpener.h"
#include "platform/base/URL.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Window.h"

namespace ruzave {
namespace {

std::mutex& fetcherFactoryMutex() {
    static std::mutex m;
    return m;
}

GADSlot::AdFetcherFactory& fetcherFactory() {
    static GADSlot::AdFetcherFactory f;
    return f;
}

std::shared_ptr<GADAdFetcher> makeFetcher() {
    GADSlot::AdFetcherFactory factory;
    {
        std::lock_guard lock(fetcherFactoryMutex());
        factory = fetcherFactory();
    }
    return factory ? factory() : GADAdFetcher::init();
}

GADSlot::AdURLBuilder& adURLBuilder() {
    static GADSlot::AdURLBuilder b;
    return b;
}

std::int32_t randomIdentifier() {
    std::random_device device;
    return static_cast<std::int32_t>(device());
}

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

double nowMilliseconds() {
    return static_cast<double>(GADAbsoluteTime::absoluteTimeInMilliseconds());
}

// The orientation mask of the "_orientation" shortcut.
std::uint32_t orientationMaskFromExtras(const platform::Value& extras) {
    auto it = extras.find("_orientation");
    if (it == extras.end() || !it->is_string()) return 0;
    const auto& text = it->get_ref<const std::string&>();
    if (text == "p") return 6;
    if (text == "l") return 24;
    return 0;
}

} // namespace

void GADSlot::setAdFetcherFactory(AdFetcherFactory factory) {
    std::lock_guard lock(fetcherFactoryMutex());
    fetcherFactory() = std::move(factory);
}

void GADSlot::setAdURLBuilder(AdURLBuilder builder) {
    std::lock_guard lock(fetcherFactoryMutex());
    adURLBuilder() = std::move(builder);
}

GADSlot::GADSlot(platform::Rect frame) {
    adView_ = GADAdView::initWithFrame(frame);
    CSIIdentifier_ = randomIdentifier();
    adResponseKey_ = "arf_ios" + std::to_string(CSIIdentifier_);
    netWorkLatencyKey_ = "nwl_ios" + std::to_string(CSIIdentifier_);
    adRenderingKey_ = "awr_ios" + std::to_string(CSIIdentifier_);
    totalTimeKey_ = "ttc_ios" + std::to_string(CSIIdentifier_);
    GADCSI::sharedInstance()->recordTimestampForLabel(GADCSI::kViewCreateLabel);
}

std::shared_ptr<GADSlot> GADSlot::initWithFrame(platform::Rect frame) {
    // The once-per-process start of the SDK, whichever of its triggers comes first.
    static std::once_flag earlyStart;
    std::call_once(earlyStart, [] {
        GADRunOnMainThread([] { GADApplication::sharedInstance()->runEarlyActivities(); });
    });

    std::shared_ptr<GADSlot> slot(new GADSlot(frame));
    slot->adViewDelegate_ = GADBannerAdViewDelegate::initWithSlot(slot);
    slot->adView_->setDelegate(slot->adViewDelegate_);
    slot->observeNotifications();
    slot->adType_ = GADAdType::interstitialAdType();
    slot->mediationManager_ = GADMAdManager::init();
    slot->mediationManager_->setSlot(slot);
    slot->activeViewMonitoredView_ = slot->adView_;
    return slot;
}

void GADSlot::observeNotifications() {
    auto center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<GADSlot> weak = weak_from_this();
    auto observe = [&](const char* name, void (GADSlot::*handler)()) {
        observers_.push_back(center->addObserver(
            name, nullptr, nullptr,
            [weak, handler](const platform::Notification&) {
                if (auto slot = weak.lock()) ((*slot).*handler)();
            },
            this));
    };
    observe(platform::kApplicationWillResignActive, &GADSlot::appWillBecomeInactive);
    observe(platform::kApplicationDidBecomeActive, &GADSlot::appDidBecomeActive);
    observe(kAdModalViewControllerWillPresentFullScreen, &GADSlot::adWillPresentFullScreen);
    observe(kAdModalViewControllerDidDismissFullScreen, &GADSlot::adDidRelinquishFullScreen);
}

GADSlot::~GADSlot() {
    abandonScreens();
    if (adFetcher_) adFetcher_->cancel();
    auto center = platform::NotificationCenter::defaultCenter();
    for (auto token : observers_)
        center->removeObserver(token);
    if (reloadTimer_) reloadTimer_->invalidate();
    if (renderTimer_) renderTimer_->invalidate();
    unscheduleSwipeToViewControllerChecker();
    disableSwipeToViewController();
    if (statusBarObserver_) center->removeObserver(*statusBarObserver_);
    if (creativeOrientationObserver_) center->removeObserver(*creativeOrientationObserver_);
    if (activeViewMonitor_) activeViewMonitor_->stopMonitoring();
    if (SDKCoreWebView_) SDKCoreWebView_->removeActiveViewObserverForActiveViewID(activeViewID_);
    // A slot that goes away mid-load gives its enable back.
    GADMRAIDInterceptor::disableCanInitWithRequest(this);
    if (adView_) {
        adView_->setDelegate(std::weak_ptr<GADAdViewDelegate>());
        adView_->removeFromSuperview();
    }
    if (adViewDelegate_) {
        if (auto opener = adViewDelegate_->opener()) opener->setSlot({});
    }
    if (mediationManager_) mediationManager_->setSlot({});
    if (auto pending = takePendingAdStatistics(); !pending.empty())
        GADApplication::sharedInstance()->didNotSendAdStatistics(pending);
}

// ---------------------------------------------------------------- requests

void GADSlot::loadRequest(const std::shared_ptr<GADRequest>& request) {
    nextRequest_ = request ? request->copy() : nullptr;
    loadNextRequestWithAutoRefresh(false);
}

void GADSlot::loadNextRequestWithAutoRefresh(bool autoRefresh) {
    // Keeps the slot alive through delegate calls that may drop the owner.
    auto self = shared_from_this();
    if (state_ != GADSlotStateInvalidated && isHeldByFullScreen()) {
        heldLoad_ = heldLoad_.value_or(true) && autoRefresh;
        return;
    }
    heldLoad_.reset();
    if (auto keyDelegate = adKeyDelegate()) keyDelegate->cacheViewHierarchyInformationForSlot(*this);
    GADDevice::sharedInstance()->updateDynamicParameters();
    // The load's timings start before the gate: a refused load leaves them started.
    CSIRequestWillStart();
    slotHasAttemptedAnAdRequestAtLeastOnce_ = true;

    if (!shouldMakeRequest(nextRequest_)) {
        // A refused reload is re-armed, or the banner would never ask again.
        if (autoRefresh && state_ != GADSlotStateInvalidated) scheduleAdReloadTimer();
        return;
    }

    if (isShowingFullScreen()) {
        // Screens the creative opened on its own leave as a new ad's would, and the load goes ahead.
        abandonScreens();
        if (state_ == GADSlotStateInvalidated) return;
    }
    cancelLoad();
    willRequestAdURL();
    if (!nextRequest_) nextRequest_ = GADRequest::request();
    request_ = nextRequest_->copy();
    if (auto delegate = slotDelegate()) delegate->slotWillLoadAdWithRequest(*this, request_);
    hasAutoRefreshed_ = autoRefresh;

    static std::once_flag testDeviceHint;
    std::call_once(testDeviceHint, [this] {
        auto device = GADDevice::sharedInstance();
        std::string identifier = device->isSimulator() ? kGADSimulatorID : device->deviceIdentifier();
        bool listed = false;
        if (const auto& devices = request_->testDevices(); devices && devices->is_array()) {
            for (const auto& entry : *devices) {
                if (entry.is_string() && entry.get_ref<const std::string&>() == identifier) listed = true;
            }
        }
        if (!listed) logRequestTestAdInstructions();
    });

    auto givenExtras = std::dynamic_pointer_cast<GADExtras>(request_->adNetworkExtrasFor(GADExtras::kClassName));
    if (auto extras = request_->networkExtrasAdditionalParameters(); extras && extras->is_object()) {
        // Use-once extras serve this load only: a later load of the same request must not find them.
        if (givenExtras && !request_->adNetworkExtrasFor(GADExtras::kClassName) && nextRequest_ &&
            nextRequest_->adNetworkExtrasFor(GADExtras::kClassName) == givenExtras)
            nextRequest_->removeAdNetworkExtrasFor(GADExtras::kClassName);
        std::shared_ptr<GADAd> ad = givenExtras ? givenExtras->ad() : nullptr;
        if (ad) {
            if (std::uint32_t orientations = orientationMaskFromExtras(*extras); orientations != 0)
                ad->setSupportedOrientations(orientations);
        } else {
            ad = adFromExtras(*extras);
        }
        if (ad) {
            std::optional<platform::Value> headers;
            if (auto it = extras->find("_adHeaders"); it != extras->end() && it->is_object()) headers = *it;
            loadAd(ad, headers);
            return;
        }
    }

    takeRequestSnapshot();
    AdURLBuilder builder;
    {
        std::lock_guard lock(fetcherFactoryMutex());
        builder = adURLBuilder();
    }
    if (builder) {
        builder(self);
    } else {
        GADSDKCoreController::sharedInstance()->buildAdURL(self);
    }
}

std::shared_ptr<GADAd> GADSlot::adFromExtras(const platform::Value& extras) {
    std::uint32_t orientations = orientationMaskFromExtras(extras);
    if (auto it = extras.find("_ad"); it != extras.end() && it->is_object()) {
        std::shared_ptr<GADAd> ad;
        if (adType_ && adType_->isInterstitial()) {
            ad = GADInterstitialAd::initWithDictionary(*it);
        } else {
            ad = GADBannerAd::initWithDictionary(*it);
        }
        if (ad && orientations != 0) ad->setSupportedOrientations(orientations);
        return ad;
    }
    if (auto it = extras.find("_requestUrl"); it != extras.end() && it->is_string()) {
        auto url = platform::URL::parse(it->get_ref<const std::string&>());
        if (!url) return nullptr;
        GADMRAIDInterceptor::allow();
        auto ad = GADAd::init();
        ad->setAdURL(*url);
        if (orientations != 0) ad->setSupportedOrientations(orientations);
        return ad;
    }
    return nullptr;
}

bool GADSlot::shouldMakeRequest(const std::shared_ptr<GADRequest>& request) {
    if (state_ == GADSlotStateInvalidated) return false;
    auto delegate = slotDelegate();
    if (isMakingRequest()) {
        bool preempt = delegate && delegate->slotShouldPreemptInProgressRequest(*this).value_or(false);
        if (!preempt) return false;
    }
    if (delegate && !delegate->slotShouldLoadRequest(*this, request).value_or(true)) {
        adFailedToReceiveContentWithError(
            GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, request));
        return false;
    }
    return GADApplication::sharedInstance()->isAppActive() && GADDevice::sharedInstance()->OSIsSupported();
}

void GADSlot::logRequestTestAdInstructions() {
    auto device = GADDevice::sharedInstance();
    auto logger = GADLogger::sharedInstance();
    if (device->isSimulator()) {
        logger->logPublicMessage(
            "To get test ads on this device, call: request.testDevices = @[ kGADSimulatorID ];");
        return;
    }
    std::string identifier = device->deviceIdentifier();
    if (!identifier.empty()) {
        logger->logPublicMessage("To get test ads on this device, call: request.testDevices = @[ @\"" +
                                 identifier + "\" ];");
    } else {
        logger->logPublicMessage("Advertising tracking may be disabled. To get test ads on this device, "
                                 "enable advertising tracking.");
    }
}

void GADSlot::takeRequestSnapshot() {
    RequestSnapshot snapshot;
    snapshot.request = request_ ? request_->copy() : nullptr;
    snapshot.adType = adType_;
    snapshot.adUnitID = adUnitID_;
    if (auto delegate = slotDelegate()) {
        snapshot.hasOwner = true;
        snapshot.ownerFrame = delegate->ownerFrame();
        snapshot.ownerBounds = delegate->ownerBounds();
        snapshot.validAdSizes = delegate->validAdSizes();
        snapshot.coordinatesOfContentInScreen =
            delegate->coordinatesOfContentInScreen(platform::Screen::mainScreen());
    }
    if (adView_) {
        snapshot.adViewFrame = adView_->frame();
        snapshot.adViewBounds = adView_->bounds();
    }
    if (auto keyDelegate = adKeyDelegate())
        snapshot.viewHierarchy = keyDelegate->viewHierarchyInformationForSlot(*this);
    snapshot.applicationStatistics = applicationStatistics_;
    snapshot.manualImpressionsEnabled = manualImpressionsEnabled_;
    snapshot.correlationID = correlator_ ? correlator_->correlationID() : 0;
    snapshot.inAppPurchaseDelegateSet = inAppPurchaseDelegate() != nullptr;
    snapshot.calledLoadAndDisplayRequest = calledLoadAndDisplayRequest_;
    // The flag lasts for one parameter build, and this snapshot is what that build reads.
    calledLoadAndDisplayRequest_ = false;
    snapshot.CSIIdentifier = CSIIdentifier_;
    std::lock_guard lock(snapshotMutex_);
    snapshot_ = std::move(snapshot);
    // A new request: answers to the one before must not be taken for it.
    requestID_.reset();
}

GADSlot::RequestSnapshot GADSlot::requestSnapshot() const {
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

void GADSlot::setRequestID(const std::string& requestID) {
    std::lock_guard lock(snapshotMutex_);
    requestID_ = requestID;
}

std::optional<std::string> GADSlot::requestID() const {
    std::lock_guard lock(snapshotMutex_);
    return requestID_;
}

// ---------------------------------------------------------------- fetching

void GADSlot::loadAd(const std::shared_ptr<GADAd>& ad, const std::optional<platform::Value>& headers) {
    // A late answer after the slot was invalidated starts nothing.
    if (state_ == GADSlotStateInvalidated) return;
    auto self = shared_from_this();
    if (!ad) {
        // Nothing to fetch: the load ends here rather than waiting for an answer that cannot come.
        didFailToReceiveAdWithError(std::nullopt, false);
        return;
    }
    mediationManager_->cancel();
    if (adFetcher_) adFetcher_->cancel();
    resetRequestState();
    appRendersResponse_ = false;
    loadingAd_ = ad;
    willFetchAdContent();
    if (ad->hasAdNetworkJavaScript()) {
        loadAdNetworkJavaScriptRequest(ad);
        return;
    }
    if (adType_ && !adType_->isInterstitial()) {
        if (std::dynamic_pointer_cast<GADBannerAd>(ad)) {
            newAdSize_ = ad->size().size;
            setReloadInterval(ad->reloadInterval());
        }
    }
    auto fetcher = makeFetcher();
    adFetcher_ = fetcher;
    platform::Error error;
    if (!fetcher || !fetcher->fetchRemainingContentForAd(ad, headers, self, request_, &error)) {
        // A fetcher that could not start and has not told us so must not leave the slot in state 4.
        if (adFetcher_ == fetcher && state_ == GADSlotStateFetchingAdContent && loadingAd_ == ad) {
            adFetcher_.reset();
            if (!fetcher) error = GADRequestError::errorWithCode(GADRequestErrorInternalError, request_);
            didFailToReceiveAdWithError(error, false);
        }
    }
}

void GADSlot::adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad) {
    if (state_ == GADSlotStateInvalidated || adFetcher_.get() != &fetcher) return;
    auto self = shared_from_this();
    didFetchAdContent();
    processAdResponse(ad);
}

void GADSlot::adFetcher(GADAdFetcher& fetcher, const std::shared_ptr<GADAd>& ad, const platform::Error& error,
                        long) {
    if (state_ == GADSlotStateInvalidated || adFetcher_.get() != &fetcher) return;
    auto self = shared_from_this();
    // Code 13 keeps the interval; any other failure takes the ad's, with the same floor as the setter.
    if (error.code != GADRequestErrorInvalidResponse && ad) setReloadInterval(ad->reloadInterval());
    didFailToReceiveAdWithError(error, false);
}

void GADSlot::processAdResponse(const std::shared_ptr<GADAd>& ad) {
    if (state_ == GADSlotStateInvalidated || !ad) return;
    if (isShowingFullScreen()) {
        auto self = shared_from_this();
        // The shown ad opened a screen while this one was fetched. The user took part in it: the load
        // is put back until the period ends. Otherwise the screen leaves before the new ad takes the ad
        // view it borrowed.
        if (isHeldByFullScreen()) {
            putBackLoad();
            return;
        }
        abandonScreens();
        if (state_ == GADSlotStateInvalidated) return;
    }
    // A response replaces the ad the app shows: what it says of that ad no longer counts.
    forgetShownAppRenderedAd();
    willProcessAd();
    // Only a page in the slot's own ad view can open a screen of its own accord; the app renders the rest.
    appRendersResponse_ =
        ad->responseType() != GADResponseTypeStandard && ad->responseType() != GADResponseTypeNone;
    switch (ad->responseType()) {
    case GADResponseTypeStandard:
        CSIResponseWillRender();
        processStandardAdResponse(ad);
        break;
    case GADResponseTypeNative:
        // Native responses are not rendered here: no rendering stage.
        processStandardAdResponse(ad);
        break;
    case GADResponseTypeMediation:
        processMediationAdResponse(ad);
        break;
    case GADResponseTypeCustomRendering:
        CSIResponseWillRender();
        processCustomRenderingAdResponse(ad);
        break;
    default:
        // An unusable kind: the load ends as an internal error instead of sitting in state 4.
        didFailToReceiveAdWithError(GADRequestError::errorWithCode(GADRequestErrorInternalError, request_),
                                    false);
        break;
    }
}

void GADSlot::processStandardAdResponse(const std::shared_ptr<GADAd>& ad) {
    // An invalidated slot has no ad view left to render into.
    if (state_ == GADSlotStateInvalidated || !adView_ || !ad) return;
    if (auto responseDelegate = adResponseDelegate()) {
        platform::Error error;
        bool process = responseDelegate->slotShouldProcessAdResponse(*this, ad, &error);
        if (!error.empty()) {
            didFailToReceiveAdWithError(error, false);
            return;
        }
        if (!process) {
            didReceiveValidAd();
            return;
        }
    }
    loadingAd_ = ad;
    setReloadInterval(ad->reloadInterval());
    scheduleAdReloadTimer();
    if (const auto& custom = ad->customAdSizeString()) {
        newAdSize_ =
            (adType_ && adType_->isInterstitial()) ? platform::Size{0, 0} : CGSizeFromGADSizeString(*custom);
    }
    adView_->scrollView()->setScrollEnabled(ad->isScrollEnabled());
    std::string html = trimmed(ad->adHTML().value_or(std::string()));
    if (html.empty()) {
        didFailToReceiveAdWithError(GADRequestError::errorWithCode(GADRequestErrorNoFill, request_), false);
        return;
    }
    adView_->setAdDebugDialog(ad->debugDialog());
    restoreBannerAdViewDelegate();
    willLoadAdHTMLInWebView();
    adView_->loadHTMLString(html, ad->adBaseURL());
    setViewForAdUsingView(adView_);
}

void GADSlot::processCustomRenderingAdResponse(const std::shared_ptr<GADAd>& ad) {
    reloadable_ = false;
    deactivateReloadTimer();
    auto previous = ad_;
    finishedLoadingAdResponse(ad);
    // The number the owner stamps on what it hands to the app; a refusal below ends it again. Shown from
    // now on: the app may report a click or an impression while it is told of the ad.
    appRenderedLoad_ = ++appRenderedLoadsHanded_;
    shownAppRenderedLoad_ = appRenderedLoad_;
    shownAppRenderedAd_ = ad;
    platform::Error error;
    std::optional<bool> rendered;
    if (auto delegate = slotDelegate())
        rendered = delegate->slotNotifyPublisherToRenderCustomRenderingAd(*this, ad, &error);
    if (rendered.value_or(false)) return;
    forgetShownAppRenderedAd();
    ad_ = previous;
    if (error.empty()) {
        error = GADRequestError::errorWithCode(
            GADRequestErrorInvalidArgument,
            std::string("Custom rendered ad could not be rendered by delegate."));
    }
    // A refused custom ad ends the load as an invalid ad, so the slot is at rest again.
    didReceiveInvalidAd();
    adFailedToReceiveContentWithError(error);
}

void GADSlot::setViewForAdUsingView(const std::shared_ptr<platform::View>& view) {
    auto delegate = slotDelegate();
    if (delegate) delegate->slotDidReceiveAdView(*this, view);
    if (newAdSize_.width == 0 && newAdSize_.height == 0) return;
    GADAdSize size = GADAdSizeFromCGSize(newAdSize_);
    std::optional<platform::Value> valid = delegate ? delegate->validAdSizes() : std::nullopt;
    if (delegate && valid && validateAdResponseWithAdSize(size, *valid)) {
        platform::Size current = adType_ ? CGSizeFromGADAdSize(adType_->adSize()) : platform::Size{0, 0};
        if (current.width != newAdSize_.width || current.height != newAdSize_.height) {
            delegate->slotWillResizeToAdSize(*this, size);
        }
        delegate->setAdSize(size, false);
        if (view && view == adView_) {
            if (auto bounds = delegate->ownerBounds()) adView_->setFrame(*bounds);
        }
    }
    newAdSize_ = {0, 0};
}

bool GADSlot::validateAdResponseWithAdSize(const GADAdSize& size, const platform::Value& validAdSizes) const {
    if (!validAdSizes.is_array()) return false;
    for (const auto& boxed : validAdSizes) {
        GADAdSize candidate = GADAdSizeFromNSValue(boxed);
        if (GADAdSizeEqualToSize(candidate, kGADAdSizeInvalid)) continue;
        if (GADAdSizeEqualToSize(candidate, size)) return true;
    }
    return false;
}

void GADSlot::setAdType(const std::shared_ptr<GADAdType>& adType, bool reloadRequest) {
    if (adType_ == adType || (adType_ && adType && adType_->isEqual(adType.get()))) return;
    adType_ = adType;
    // An ad view out on the slot's screen stays as it is shown there.
    if (newAdSize_.width == 0 && newAdSize_.height == 0 && reloadRequest && adView_ && !isShowingFullScreen())
        adView_->setHidden(true);
    if (isMediating()) {
        if (mediationManager_->changeAdTypeTo(adType)) return;
        if (auto delegate = slotDelegate()) delegate->slotDidReceiveAdView(*this, nullptr);
    }
    if (reloadRequest) {
        if (isMakingRequest()) cancelPendingActions();
        if (slotHasAttemptedAnAdRequestAtLeastOnce_) loadNextRequestWithAutoRefresh(false);
    }
}

bool GADSlot::isMediating() const {
    return ad_ && ad_->responseType() == GADResponseTypeMediation;
}

bool GADSlot::changeAdTypeTo(const std::shared_ptr<GADAdType>& adType) {
    if (!adType || adType->isInterstitial() || !adType_ || adType_->isInterstitial()) return false;
    return mediationManager_->changeAdTypeTo(adType);
}

std::string GADSlot::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<GADSlot: " + std::string(address) + ">\nad unit ID:" + adUnitID_;
}

// ---------------------------------------------------------------- states

void GADSlot::setState(GADSlotState state) {
    if (state == state_ || state_ == GADSlotStateInvalidated) return;
    if (state_ == GADSlotStateReset && state == GADSlotStateRequestingAdURL) {
        GADMRAIDInterceptor::enableCanInitWithRequest(this);
    } else if (state == GADSlotStateSDKCoreFailed || state == GADSlotStateValidAd ||
               state == GADSlotStateInvalidAd || state == GADSlotStateInvalidated) {
        GADMRAIDInterceptor::disableCanInitWithRequest(this);
    }
    state_ = state;
    // Any other state ends the load the app renders: failed, cancelled, or a new load under way.
    if (state_ != GADSlotStateRenderingAd && state_ != GADSlotStateValidAd) appRenderedLoad_ = 0;
    if (state_ == GADSlotStateInvalidated) forgetShownAppRenderedAd();
    if (renderTimer_) {
        renderTimer_->invalidate();
        renderTimer_.reset();
    }
    if (state_ != GADSlotStateRenderingAd) return;
    // A page that never fires its load event (hanging loads it keeps adding, a delay it never lifts)
    // would keep the slot rendering, and every later load refused, for good.
    double now = platform::Clock::now();
    double left = std::max(0.0, renderDeadline_.value_or(now + kAdRequestTimeoutSeconds) - now);
    std::weak_ptr<GADSlot> weak = weak_from_this();
    renderTimer_ = platform::Timer::scheduledTimer(left, false, [weak](platform::Timer&) {
        if (auto slot = weak.lock()) slot->renderingTimedOut();
    });
}

void GADSlot::renderingTimedOut() {
    if (state_ != GADSlotStateRenderingAd) return;
    auto self = shared_from_this();
    auto error = GADRequestError::errorWithCode(GADRequestErrorTimeout, request_);
    const bool renderingPage = !appRendersResponse_;
    didReceiveInvalidAd();
    // The page can no longer become the ad: it stops with its loads and scripts, before the app hears of
    // it and perhaps loads the next one into the same view. While the app renders its ad, the ad view
    // still shows the ad before it, which stays as it is.
    if (renderingPage && adView_) adView_->closePage();
    adFailedToReceiveContentWithError(error);
}

bool GADSlot::isMakingRequest() const {
    switch (state_) {
    case GADSlotStateRequestingAdURL:
    case GADSlotStateReceivedAdURL:
    case GADSlotStateFetchingAdContent:
    case GADSlotStateRenderingAd:
    case GADSlotStateInvalidated:
        return true;
    default:
        return false;
    }
}

void GADSlot::resetState() {
    setState(GADSlotStateReset);
}
void GADSlot::invalidateState() {
    setState(GADSlotStateInvalidated);
}

void GADSlot::willRequestAdURL() {
    setState(GADSlotStateRequestingAdURL);
    applicationStatistics_ = GADApplication::sharedInstance()->nextRequestStatisticsDictionaryForSlot(*this);
}

void GADSlot::didReceiveAdURL() {
    setState(GADSlotStateReceivedAdURL);
}

void GADSlot::didFailToRetrieveSDKCoreWithError(const platform::Error& error) {
    // Only the SDK core reports this; after invalidation its late answer is dropped.
    if (state_ == GADSlotStateInvalidated) return;
    setState(GADSlotStateSDKCoreFailed);
    adFailedToReceiveContentWithError(error);
}

void GADSlot::willFetchAdContent() {
    setState(GADSlotStateFetchingAdContent);
    renderDeadline_ = platform::Clock::now() + kAdRequestTimeoutSeconds;
    if (!loadingAd_) return;
    auto stats = loadingAd_->statistics();
    double now = nowMilliseconds();
    std::optional<platform::Value> treq;
    std::optional<platform::Value> seq;
    if (applicationStatistics_ && applicationStatistics_->is_object()) {
        if (auto it = applicationStatistics_->find("currts"); it != applicationStatistics_->end()) treq = *it;
        if (auto it = applicationStatistics_->find("seq_num"); it != applicationStatistics_->end()) seq = *it;
    }
    stats->setObject(treq.value_or(platform::Value(now)), "treq", false);
    stats->setObject(platform::Value(now), "tfetch", false);
    if (!adUnitID_.empty()) stats->setObject(platform::Value(adUnitID_), "slotid", false);
    if (seq) stats->setObject(*seq, "seq_num", false);
}

void GADSlot::didFetchAdContent() {
    if (loadingAd_)
        loadingAd_->statistics()->setObject(platform::Value(nowMilliseconds()), "tresponse", false);
    // An answer has come: the offline and buffered-request counters start again from zero. They stay
    // counters (a plain stored 0 would no longer count), so an absent one is made as a counter of 0.
    auto statistics = GADApplication::sharedInstance()->statistics();
    static constexpr const char* kCounters[] = {"oar", "bas_on", "bas_off"};
    statistics->dispatchAsyncShouldNotifyDelegate(false, [](platform::Value& stats) {
        for (const char* key : kCounters) {
            if (auto it = stats.find(key); it != stats.end() && it->is_number()) *it = 0;
        }
    });
    for (const char* key : kCounters) statistics->addDecimalNumber(0, key, false);
}

void GADSlot::willProcessMediationResponse() {
    if (loadingAd_) loadingAd_->statistics()->setObject(platform::Value(true), "ismediation", true);
    setState(GADSlotStateFetchingAdContent);
}

void GADSlot::willStartAdRendering() {
    setState(GADSlotStateRenderingAd);
}
void GADSlot::willLoadAdHTMLInWebView() {
    willStartAdRendering();
    // The page takes the ad view, and the ad shown before it is gone.
    appRendersResponse_ = false;
    screenOwner_ = ScreenOwner::Page;
    // A touch on the page before is not a touch on this one.
    if (adView_) adView_->setTouched(false);
    screenTouchTime_.reset();
}

void GADSlot::finishRenderingAd(bool tellLater) {
    if (state_ != GADSlotStateRenderingAd) return;
    auto self = shared_from_this();
    didReceiveValidAd();
    didLoadAdHTMLInWebView();
    if (adView_) adView_->setHidden(false);
    if (!adType_ || !adType_->isInterstitial()) didMakeAdImpression();
    tellApp(&GADSlot::adFinishedLoadingContent, tellLater);
}

void GADSlot::didLoadAdHTMLInWebView() {
    if (loadingAd_) finishedLoadingAdResponse(loadingAd_);
    if (adView_) adView_->setTouched(false);
    double now = nowMilliseconds();
    if (ad_) ad_->statistics()->setObject(platform::Value(now), "tload", true);
    timeLastLoaded_ = now;
}

void GADSlot::finishedLoadingAdResponse(const std::shared_ptr<GADAd>& ad) {
    ad_ = ad;
    loadingAd_.reset();
    viewHasMadeImpression_ = false;
    finishActiveViewReporting();
}

void GADSlot::didReceiveValidAd() {
    if (appRendersResponse_) screenOwner_ = ScreenOwner::App;
    setState(GADSlotStateValidAd);
    // The ad statistics went out with this request.
    takePendingAdStatistics();
    CSILoadDidEnd(true);
}

void GADSlot::forgetShownAppRenderedAd() {
    shownAppRenderedLoad_ = 0;
    shownAppRenderedAd_.reset();
}

void GADSlot::appDidFinishRenderingAd() {
    if (state_ != GADSlotStateRenderingAd || appRenderedLoad_ == 0) return;
    didReceiveValidAd();
}

void GADSlot::didReceiveInvalidAd() {
    // A page that failed to load is no ad: what it opens holds nothing. An ad the app failed to render
    // leaves the ad shown before it, and its owner; the app heard that this one failed, so its clicks and
    // impressions no longer count.
    if (state_ == GADSlotStateRenderingAd && !appRendersResponse_) screenOwner_ = ScreenOwner::None;
    if (state_ == GADSlotStateRenderingAd && appRenderedLoad_ != 0) forgetShownAppRenderedAd();
    setState(GADSlotStateInvalidAd);
    loadingAd_.reset();
    CSILoadDidEnd(false);
    // They did not: the next request takes them along.
    GADApplication::sharedInstance()->didNotSendAdStatistics(takePendingAdStatistics());
}

GADStatisticDictionarySet GADSlot::takePendingAdStatistics() {
    std::lock_guard lock(snapshotMutex_);
    GADStatisticDictionarySet taken;
    taken.swap(pendingAdStatistics_);
    return taken;
}

void GADSlot::setPendingAdStatistics(GADStatisticDictionarySet statistics) {
    std::lock_guard lock(snapshotMutex_);
    pendingAdStatistics_ = std::move(statistics);
}

void GADSlot::didFailToReceiveAdWithError(const std::optional<platform::Error>& error,
                                          bool shouldCancelPendingActions) {
    auto self = shared_from_this();
    if (shouldCancelPendingActions) cancelPendingActions();
    didReceiveInvalidAd();
    adFailedToReceiveContentWithError(
        error ? *error : platform::Error(GADRequestError::errorWithCode(GADRequestErrorInternalError)));
}

// ---------------------------------------------------------------- cancellation

void GADSlot::cancelLoad() {
    if (adFetcher_) {
        adFetcher_->cancel();
        adFetcher_.reset();
    }
    loadingAd_.reset();
    resetState();
}

void GADSlot::cancelPendingActions() {
    deactivateReloadTimer();
    cancelLoad();
    mediationManager_->cancel();
}

void GADSlot::abandonScreens() {
    if (auto period = intermission_.lock()) period->abandonAllParticipants();
}

bool GADSlot::isShowingFullScreen() const {
    auto period = intermission_.lock();
    return period && period->isUnderWay();
}

bool GADSlot::isHeldByFullScreen() const {
    return fullScreenHeld_ && isShowingFullScreen();
}

void GADSlot::recordUserTouch() {
    screenTouchTime_ = platform::Clock::now();
}

std::optional<double> GADSlot::latestUserTouch() const {
    std::optional<double> touch = screenTouchTime_;
    if (auto onAd = adView_ ? adView_->tapTime() : std::nullopt; onAd && (!touch || *onAd > *touch))
        touch = onAd;
    return touch;
}

void GADSlot::useUpUserActivation() {
    if (auto touch = latestUserTouch(); touch && (!takenTouchTime_ || *touch > *takenTouchTime_))
        takenTouchTime_ = touch;
}

bool GADSlot::takeUserActivation() {
    std::optional<double> touch = latestUserTouch();
    if (!touch || (takenTouchTime_ && *touch <= *takenTouchTime_)) return false;
    // As a browser's transient activation: a touch opens one screen, and only for a while.
    if (platform::Clock::now() - *touch > kUserActivationSeconds) return false;
    takenTouchTime_ = touch;
    return true;
}

bool GADSlot::screenOpenedByUserOrApp() {
    // The app presents the screens of an interstitial, and a swipe to the store is the user's gesture.
    if (!adType_ || adType_->isInterstitial() || adType_->isRewardBasedVideoAd() || !adView_ ||
        strongSlotForSwipeToViewController_)
        return true;
    switch (screenOwner_) {
    case ScreenOwner::App:
        return true;
    case ScreenOwner::Page:
        return takeUserActivation();
    case ScreenOwner::None:
        break;
    }
    // No page in the ad view (none came yet, or its load failed): nobody the period could be kept for.
    return false;
}

bool GADSlot::fullScreenPeriodWillBegin() {
    // Taken before the page's load below ends, which forgets the touches.
    fullScreenHeld_ = screenOpenedByUserOrApp();
    if (state_ == GADSlotStateInvalidated) return fullScreenHeld_;
    if (state_ == GADSlotStateRenderingAd && loadingAd_) {
        // The page still rendering opened the screen, which shows it: its load ends here, received and
        // counted, and the app hears so ahead of the screen (on a later turn, as the period is only
        // beginning). Its load event later finds nothing left to do.
        finishRenderingAd(true);
    }
    // The SDK used to stop every slot's reload while any full-screen screen was up. We deliberately
    // depart from that for a screen the creative opened on its own (a resize to its own frame at once,
    // say), which would stop the slot for good: such a period holds nothing here and pauses no other
    // slot either, until a screen the user opens joins it.
    if (fullScreenHeld_) holdForFullScreen();
    return fullScreenHeld_;
}

bool GADSlot::screenWillJoinFullScreenPeriod() {
    // Every screen takes the touch that opened it, whether or not the period needs it.
    bool byUserOrApp = screenOpenedByUserOrApp();
    if (fullScreenHeld_ || !byUserOrApp || state_ == GADSlotStateInvalidated) return fullScreenHeld_;
    fullScreenHeld_ = true;
    holdForFullScreen();
    return true;
}

void GADSlot::holdForFullScreen() {
    deactivateReloadTimer();
    if (isMakingRequest()) putBackLoad();
}

void GADSlot::putBackLoad() {
    // Its answer would land in the ad view the screen has taken, with the screen's delegate attached,
    // and never be heard: it is made again once the screen is gone.
    bool autoRefresh = hasAutoRefreshed_;
    cancelPendingActions();
    heldLoad_ = heldLoad_.value_or(true) && autoRefresh;
}

void GADSlot::fullScreenPeriodDidEnd() {
    // On a later turn: the period may end inside a teardown, and the app hears of the load.
    std::weak_ptr<GADSlot> weak = weak_from_this();
    platform::mainQueue()->async([weak] {
        auto slot = weak.lock();
        // A held period begun again meanwhile ends with its own turn; one the creative opened is taken
        // down by the load.
        if (!slot || slot->state_ == GADSlotStateInvalidated || slot->isHeldByFullScreen()) return;
        if (auto held = std::exchange(slot->heldLoad_, std::nullopt)) {
            slot->deactivateReloadTimer();
            slot->loadNextRequestWithAutoRefresh(*held);
        } else if (!slot->isReloadTimerArmed()) {
            // A period that held nothing left the reload running: it keeps its interval.
            slot->scheduleAdReloadTimer();
        }
    });
}

void GADSlot::tellApp(void (GADSlot::*message)(), bool later) {
    if (!later && toldLater_.empty()) {
        (this->*message)();
        return;
    }
    toldLater_.push_back(message);
    if (tellingLaterScheduled_) return;
    tellingLaterScheduled_ = true;
    std::weak_ptr<GADSlot> weak = weak_from_this();
    platform::mainQueue()->async([weak] {
        if (auto slot = weak.lock()) slot->tellWaitingMessages();
    });
}

void GADSlot::tellWaitingMessages() {
    auto self = shared_from_this();
    tellingLaterScheduled_ = false;
    // One at a time: what the app does on hearing one may queue more, behind the rest.
    while (!toldLater_.empty()) {
        auto message = toldLater_.front();
        toldLater_.pop_front();
        (this->*message)();
    }
}

void GADSlot::cancelPendingAndFutureActions() {
    heldLoad_.reset();
    cancelPendingActions();
    slotDelegate_.reset();
    reloadable_ = false;
    deactivateReloadTimer();
    invalidateState();
}

void GADSlot::resetRequestState() {
    if (ad_) {
        if (auto handler = ad_->MRAIDEventHandler()) handler->MRAIDAdDidUnload();
    }
    ad_.reset();
    resetState();
}

void GADSlot::invalidate() {
    if (adViewDelegate_) {
        if (auto opener = adViewDelegate_->opener()) opener->setSlot({});
        adViewDelegate_.reset();
    }
    if (adView_) {
        adView_->setDelegate(std::weak_ptr<GADAdViewDelegate>());
        adView_->removeFromSuperview();
        adView_.reset();
    }
    activeViewMonitoredView_.reset();
    heldLoad_.reset();
    // Late answers of the fetch under way must find nothing to do.
    if (adFetcher_) {
        adFetcher_->cancel();
        adFetcher_.reset();
    }
    deactivateReloadTimer();
    invalidateState();
}

// ---------------------------------------------------------------- reload

void GADSlot::setReloadInterval(double seconds) {
    reloadInterval_ = (std::isfinite(seconds) && seconds >= 1.0) ? seconds : 0.0;
}

void GADSlot::scheduleAdReloadTimer() {
    deactivateReloadTimer();
    if (!reloadable_ || !slotHasAttemptedAnAdRequestAtLeastOnce_ || !(reloadInterval_ > 0)) return;
    // Whoever asks (another ad's screen leaving, the app coming back), a held period's end arms it.
    if (isHeldByFullScreen()) return;
    std::weak_ptr<GADSlot> weak = weak_from_this();
    reloadTimer_ = gad_scheduledTimerWithTimeInterval(reloadInterval_, false, 0, [weak](platform::Timer&) {
        if (auto slot = weak.lock()) slot->reloadCurrentRequest();
    });
}

void GADSlot::deactivateReloadTimer() {
    if (reloadTimer_) {
        reloadTimer_->invalidate();
        reloadTimer_.reset();
    }
}

bool GADSlot::isReloadTimerArmed() const {
    return reloadTimer_ && reloadTimer_->isValid();
}

std::optional<double> GADSlot::reloadTimerFireDate() const {
    if (!isReloadTimerArmed()) return std::nullopt;
    return reloadTimer_->fireDate();
}

void GADSlot::reloadCurrentRequest() {
    if (!reloadable_) return;
    auto self = shared_from_this();
    auto delegate = slotDelegate();
    if (delegate && delegate->slotShouldReloadCurrentRequest(*this).value_or(false)) {
        loadNextRequestWithAutoRefresh(true);
        return;
    }
    scheduleAdReloadTimer();
}

// ---------------------------------------------------------------- notifications and view events

void GADSlot::appWillBecomeInactive() {
    deactivateReloadTimer();
    activeViewAppStateDidChange();
}
void GADSlot::appDidBecomeActive() {
    scheduleAdReloadTimer();
    activeViewAppStateDidChange();
}
void GADSlot::adWillPresentFullScreen() {
    deactivateReloadTimer();
}
void GADSlot::adDidRelinquishFullScreen() {
    scheduleAdReloadTimer();
}

void GADSlot::bannerDidMoveToWindow(const std::shared_ptr<platform::Window>& window) {
    activeViewWindowDidChange(window != nullptr);
    if (!window) platform::NotificationCenter::defaultCenter()->post(kSlotDidLeaveWindowNotification, this);
}

void GADSlot::interstitialViewWillAppear() {
    activeViewWindowDidChange(true);
}
void GADSlot::interstitialViewWillDisappear() {
    activeViewWindowDidChange(false);
}

// ---------------------------------------------------------------- ad events

void GADSlot::willProcessAd() {
    finishActiveViewReporting();
    unscheduleSwipeToViewControllerChecker();
    disableSwipeToViewController();
    swipeableStoreProductViewController_.reset();
}

void GADSlot::adFailedToReceiveContentWithError(const platform::Error& error) {
    if (auto delegate = adLoadDelegate()) delegate->slotDidFailToLoadAdContentWithError(*this, error);
}

void GADSlot::adFinishedLoadingContent() {
    if (ad_ && ad_->swipeToViewControllerConfigurations()) scheduleSwipeToViewControllerChecker();
    if (auto delegate = adLoadDelegate()) delegate->slotFinishedLoadingAdContent(*this);
}

void GADSlot::adWillPresentScreen() {
    if (auto delegate = adEventDelegate()) delegate->slotWillPresentScreen(*this);
}

void GADSlot::adWillDismissScreen() {
    if (auto delegate = adEventDelegate()) delegate->slotWillDismissScreen(*this);
}

void GADSlot::adDidDismissScreen() {
    if (auto delegate = adEventDelegate()) delegate->slotDidDismissScreen(*this);
}

void GADSlot::adWillLeaveApplication() {
    GADApplication::sharedInstance()->willLeaveApplicationDueToClickOnAd(ad_);
    if (auto delegate = adEventDelegate()) delegate->slotWillLeaveApplication(*this);
}

void GADSlot::didMakeAdImpression() {
    // An ad counts once, with its one ping, however often its impression is reported.
    if (ad_ && impressionCountedAd_.lock() != ad_) {
        impressionCountedAd_ = ad_;
        GADApplication::sharedInstance()->statistics()->incrementNumberForKey("pimp", false);
        pingImpressionURLs();
    }
    viewHasMadeImpression_ = true;
    startActiveViewReportingIfEnabled();
}

} // namespace ruzave
