#include "ads/render/GADOpener.h"

#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/ui/Application.h"

namespace ruzave {

bool GADOpener::shouldPerformOpenAction() {
    if (!autoClickProtected_) return true;
    auto adView = adView_.lock();
    if (adView && adView->isTouched()) return true;
    platform::Value info = platform::Value::object();
    if (adView && adView->adDebugDialog()) info["debugDialog"] = *adView->adDebugDialog();
    if (navigationURL_) info["navigationURL"] = *navigationURL_;
    if (auto core = GADSDKCoreController::sharedInstance()->activeSDKCoreWebView()) {
        core->postJSNotification("navigationBlocked", &info);
    }
    return false;
}

void GADOpener::openApp(const std::optional<platform::URL>& url) {
    openAppReportingResult(url);
}

bool GADOpener::openAppReportingResult(const std::optional<platform::URL>& url) {
    if (!url || !url->isValid()) return false;
    if (!shouldPerformOpenAction()) return false;
    didOpenExternalApp();
    auto slot = slot_.lock();
    if (slot) slot->adWillLeaveApplication();
    didOpenAnotherApplication_ = true;
    if (slot) slot->willLeaveAppDueToClick();
    // The app is left on a later turn, once the slot has told its delegates.
    platform::OperationQueue::mainQueue()->addOperation(
        [target = *url] { platform::Application::sharedApplication()->openURL(target); });
    return true;
}

bool GADOpener::openBrowserToURL(const platform::URL&, unsigned) {
    return false;
}

bool GADOpener::openEmailComposer(const platform::URL&) {
    return false;
}

bool GADOpener::openSmsComposer(const platform::URL&) {
    return false;
}

void GADOpener::didOpen() {
    auto slot = slot_.lock();
    if (!slot) return;
    slot->adWasClicked();
    slot->pingClickURLs();
}

} // namespace ruzave
