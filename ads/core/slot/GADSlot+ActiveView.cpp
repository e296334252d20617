// The slot's active-view reporting: after an impression (or an MRAID creative's start) it samples the
// visible part of its ad and sends each sample as a unit to a core web view lent for the purpose, whose
// page answers with visibility verdicts.
#include <atomic>
#include <cmath>

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADActiveViewGMSGHandler.h"
#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADStringNumberAdditions.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "ads/core/signals/GADApplication.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ruzave {
bool GADSlot::isMRAIDEnabled() const {
    return ad_ && ad_->MRAIDEventHandler() != nullptr;
}

bool GADSlot::canEnableActiveViewMonitoring() const {
    if (isMediating() || !viewHasMadeImpression_) return false;
    if (ad_ && ad_->activeViewConfigurations()) return true;
    return isMRAIDEnabled();
}

bool GADSlot::monitoredViewIsSubviewOfDeviceScreen() const {
    return activeViewMonitoredView_ && activeViewMonitoredView_->window() != nullptr;
}

void GADSlot::startActiveViewReportingIfEnabled() {
    if (!canEnableActiveViewMonitoring()) return;
    if (!activeViewMonitor_) createActiveViewMonitor();
    if (!activeViewMonitor_) return;
    activeViewMonitor_->sample();
    if (monitoredViewIsSubviewOfDeviceScreen()) activeViewMonitor_->startMonitoring();
}

void GADSlot::createActiveViewMonitor() {
    auto monitor = GADActiveViewMonitor::initWithView(activeViewMonitoredView_);
    if (!monitor) return;
    activeViewMonitor_ = monitor;
    activeViewID_ = GADApplication::sharedInstance()->nextActiveViewID();
    SDKCoreWebView_ = GADSDKCoreController::sharedInstance()->SDKCoreWebViewForActiveViewProcessing();
    if (SDKCoreWebView_) {
        GADActiveViewGMSGHandler::attachToSDKCoreWebView(SDKCoreWebView_);
        SDKCoreWebView_->setActiveViewObserver(std::static_pointer_cast<GADAdViewActiveViewMonitoring>(shared_from_this()),
                                               activeViewID_);
    }
    monitor->setDelegate(std::static_pointer_cast<GADActiveViewMonitorDelegate>(shared_from_this()));
}

void GADSlot::activeViewMonitorDidRefresh(GADActiveViewMonitor& monitor) {
    auto self = shared_from_this();
    auto command = activeViewJSCommandWithParams(activeViewParameters(monitor.shared_from_this(), false));
    if (command && SDKCoreWebView_) SDKCoreWebView_->enqueueJavaScriptCommand(*command);
    if (ad_) {
        if (auto handler = ad_->MRAIDEventHandler()) handler->updatePositionFromView(monitor.monitoredView());
    }
}

void GADSlot::activeViewMonitorWillUnload() {
    auto command = activeViewJSCommandWithParams(activeViewParameters(activeViewMonitor_, true));
    if (command && SDKCoreWebView_) SDKCoreWebView_->enqueueJavaScriptCommand(*command);
}

void GADSlot::finishActiveViewReporting() {
    if (activeViewMonitor_) {
        activeViewMonitor_->stopMonitoring();
        activeViewMonitor_->setDelegate({});
        activeViewMonitorWillUnload();
        activeViewMonitor_.reset();
    }
    if (SDKCoreWebView_) {
        auto webView = std::move(SDKCoreWebView_);
        webView->removeActiveViewObserverForActiveViewID(activeViewID_);
        GADSDKCoreController::sharedInstance()->finishedUsingSDKCoreWebViewForActiveViewProcessing(webView);
    }
}

platform::Value GADSlot::dictionaryForBounds(const platform::Rect& bounds) {
    platform::Rect r = bounds;
    // Nothing that is not a real rectangle reaches the page as infinities.
    if (r.isNull() || !r.isFinite()) r = platform::Rect::zero();
    r = r.standardized();
    return platform::Value{{"top", r.origin.y},
                           {"bottom", r.origin.y + r.size.height},
                           {"left", r.origin.x},
                           {"right", r.origin.x + r.size.width}};
}

std::string GADSlot::adFormat() const {
    return adType_ && adType_->isInterstitial() ? "interstitial_mb" : "banner_mb";
}

platform::Value GADSlot::activeViewParameters(const std::shared_ptr<GADActiveViewMonitor>& monitor, bool unloaded) const {
    auto view = monitor ? monitor->monitoredView() : nullptr;
    auto window = view ? view->window() : nullptr;
    auto application = platform::Application::sharedApplication();
    platform::Rect adBox = view ? view->convertRectToView(view->bounds(), nullptr) : platform::Rect::zero();
    bool inVisibleWindow = window && !window->isHidden() && window->screen() &&
                           application->applicationState() == platform::ApplicationState::Active;

    platform::Value unit = platform::Value::object();
    unit["adBox"] = dictionaryForBounds(adBox);
    unit["globalVisibleBox"] = dictionaryForBounds(monitor ? monitor->monitoredViewVisibleBounds() : platform::Rect::zero());
    unit["viewBox"] = dictionaryForBounds(window ? window->bounds() : platform::Rect::zero());
    unit["screenDimension"] = dictionaryForBounds(platform::Screen::mainScreen()->applicationFrame());
    unit["screenOrientation"] = static_cast<int>(application->statusBarOrientation());
    unit["isSubViewOfVisibleWindow"] = GADStringFromBool(inVisibleWindow);
    unit["isVisible"] = GADStringFromBool(monitor && monitor->monitoredViewVisible());
    unit["ad_type_mraid"] = GADStringFromBool(isMRAIDEnabled());
    unit["zudoVersion"] = GADRequest::sdkVersion();
    unit["adFormat"] = adFormat();
    if (ad_ && ad_->activeViewConfigurations()) unit["activeViewJSON"] = *ad_->activeViewConfigurations();
    unit["timestamp"] = GADAbsoluteTime::absoluteTimeInMilliseconds();
    unit["hashCode"] = activeViewID_;
    if (unloaded) unit["doneReasonCode"] = "u";
    platform::Value units = platform::Value::array();
    units.push_back(std::move(unit));
    return platform::Value{{"units", std::move(units)}};
}

std::optional<std::string> GADSlot::activeViewJSCommandWithParams(const std::optional<platform::Value>& params) {
    if (!params || !params->is_object()) return std::nullopt;
    auto json = gad_JSONStringPretty(*params, false);
    if (!json) return std::nullopt;
    return "ZUDO_updateActiveView(" + *json + ")";
}

void GADSlot::adViewDidChangeActiveViewVisibility(bool visible) {
    if (!isMRAIDEnabled()) return;
    if (auto handler = ad_->MRAIDEventHandler()) handler->updateVisibility(visible);
}

void GADSlot::adViewDidStopActiveViewMonitoring() {
    finishActiveViewReporting();
}

void GADSlot::activeViewAppStateDidChange() {
    if (activeViewMonitor_) activeViewMonitor_->sample();
}

void GADSlot::activeViewWindowDidChange(bool inWindow) {
    if (!activeViewMonitor_) return;
    if (inWindow) {
        activeViewMonitor_->startMonitoring();
    } else {
        activeViewMonitor_->sample();
        activeViewMonitor_->stopMonitoring();
    }
}

} // namespace ruzave
