// What the slot tells its creative's page about its surroundings: the MRAID start-up handshake
// (screen, device features, readiness), orientation changes, position, visibility and errors.
#include "ads/core/public/GADRequest.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/util/GADRectConversions.h"
#include "ads/core/util/GADStringNumberAdditions.h"
#include "ads/render/GADAdView.h"
#include "platform/services/EventStore.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ruzave {
namespace {

constexpr const char* kCreativeOrientationChanged = "gad_slot_creative_orientation_changed";

bool sameRect(const platform::Rect& a, const platform::Rect& b) {
    return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
           a.size.height == b.size.height;
}

platform::Rect offsetRect(platform::Rect r, float dx, float dy) {
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

} // namespace

void GADSlot::MRAIDAdDidLoad() {
    auto self = shared_from_this();
    std::weak_ptr<GADMRAIDEventHandling> handler = std::static_pointer_cast<GADMRAIDEventHandling>(self);
    if (ad_) ad_->setMRAIDEventHandler(handler);
    if (loadingAd_) loadingAd_->setMRAIDEventHandler(handler);
    // One self-observation, however often the creative reports that it loaded.
    if (!creativeOrientationObserver_) {
        std::weak_ptr<GADSlot> weak = self;
        creativeOrientationObserver_ = addCreativeOrientationChangeObserver(
            [weak] {
                if (auto slot = weak.lock()) slot->notifyOrientationToMRAIDCreative();
            },
            this);
    }
    usableInterfaceFrame_ = creativeWebViewFrame_ = creativeAdFrame_ = platform::Rect::zero();
    startActiveViewReportingIfEnabled();
    notifyOrientationToMRAIDCreative();
    beginListeningToDeviceOrientationChangeEvent();
    notifyDeviceFeatures();
    SDKDidBecomeReady();
}

void GADSlot::MRAIDAdDidUnload() {
    endListeningToDeviceOrientationChangeEvent();
}

void GADSlot::notifyOrientationToMRAIDCreative() {
    if (!isMRAIDEnabled() || !adView_) return;
    auto device = GADDevice::sharedInstance();
    platform::Rect screen = device->standardizedOrientedScreenBounds();
    platform::Rect app = device->standardizedOrientedApplicationFrame();
    usableInterfaceFrame_ = app;
    adView_->postJSNotification("onScreenInfoChanged",
                                platform::Value{{"width", screen.size.width},
                                                {"height", screen.size.height},
                                                {"maxSizeWidth", app.size.width},
                                                {"maxSizeHeight", app.size.height},
                                                {"isOrientationLandscape", GADStringFromBool(device->orientationLandscape())}});
}

void GADSlot::notifyDeviceFeatures() {
    if (!adView_) return;
    auto device = GADDevice::sharedInstance();
    auto status = platform::EventStore::authorizationStatusForEntityType(platform::EventStore::Event);
    bool calendar = status == platform::EventStore::NotDetermined || status == platform::EventStore::Authorized;
    adView_->postJSNotification("onDeviceFeaturesReceived", platform::Value{{"sms", device->canText()},
                                                                            {"tel", device->canMakePhoneCalls()},
                                                                            {"calendar", calendar},
                                                                            {"storePicture", true},
                                                                            {"inlineVideo", true}});
}

void GADSlot::SDKDidBecomeReady() {
    if (adView_) adView_->postJSNotification("onReadyEventReceived", platform::Value{{"js", GADRequest::sdkVersion()}});
}

void GADSlot::updateVisibility(bool visible) {
    if (adView_) adView_->dispatchSDKEvent("onAdVisibilityChanged", platform::Value{{"visible", GADStringFromBool(visible)}});
}

platform::Value GADSlot::creativePositionDictionaryForActiveViewBounds(const platform::Rect& bounds) {
    platform::Rect r = bounds.isNull() || !bounds.isFinite() ? platform::Rect::zero() : bounds.standardized();
    return platform::Value{{"width", r.size.width}, {"height", r.size.height}, {"x", r.origin.x}, {"y", r.origin.y}};
}

void GADSlot::updatePositionFromView(const std::shared_ptr<platform::View>& view) {
    if (!adView_) return;
    auto self = shared_from_this();
    platform::Rect app = GADDevice::sharedInstance()->standardizedOrientedApplicationFrame();
    if (!sameRect(app, usableInterfaceFrame_)) notifyOrientationToMRAIDCreative();
    const float dx = -app.origin.x, dy = -app.origin.y;
    if (view) {
        auto window = view->window();
        if (window && window->screen()) {
            platform::Rect inWindow = view->convertRectToView(view->bounds(), nullptr);
            platform::Rect r = offsetRect(GADInterfaceRectFromScreenRect(inWindow), dx, dy);
            if (!sameRect(r, creativeWebViewFrame_)) {
                creativeWebViewFrame_ = r;
                adView_->dispatchSDKEvent("onSizeChanged", creativePositionDictionaryForActiveViewBounds(r));
            }
        }
    }
    auto delegate = slotDelegate();
    auto frame = delegate ? delegate->ownerFrameInInterface() : std::nullopt;
    if (frame && !sameRect(*frame, platform::Rect::zero())) {
        platform::Rect f = offsetRect(*frame, dx, dy);
        if (!sameRect(f, creativeAdFrame_)) {
            creativeAdFrame_ = f;
            adView_->dispatchSDKEvent("onDefaultPositionReceived", creativePositionDictionaryForActiveViewBounds(f));
        }
    }
}

void GADSlot::handleError(const std::string& message, const std::string& action) {
    if (adView_) adView_->dispatchSDKEvent("onError", platform::Value{{"message", message}, {"action", action}});
}

void GADSlot::beginListeningToDeviceOrientationChangeEvent() {
    if (isListeningToDeviceOrientationChangeEvent_) return;
    didChangeDeviceOrientation();
    isListeningToDeviceOrientationChangeEvent_ = true;
    std::weak_ptr<GADSlot> weak = weak_from_this();
    statusBarObserver_ = platform::NotificationCenter::defaultCenter()->addObserver(
        platform::kApplicationDidChangeStatusBarOrientation, nullptr, nullptr,
        [weak](const platform::Notification&) {
            if (auto slot = weak.lock()) slot->didChangeDeviceOrientation();
        },
        this);
}

void GADSlot::endListeningToDeviceOrientationChangeEvent() {
    if (!isListeningToDeviceOrientationChangeEvent_) return;
    isListeningToDeviceOrientationChangeEvent_ = false;
    auto center = platform::NotificationCenter::defaultCenter();
    if (statusBarObserver_) center->removeObserver(*statusBarObserver_);
    statusBarObserver_.reset();
    if (creativeOrientationObserver_) center->removeObserver(*creativeOrientationObserver_);
    creativeOrientationObserver_.reset();
}

void GADSlot::didChangeDeviceOrientation() {
    platform::NotificationCenter::defaultCenter()->post(kCreativeOrientationChanged, this);
}

platform::NotificationCenter::Token GADSlot::addCreativeOrientationChangeObserver(std::function<void()> block,
                                                                                 const void* owner) {
    return platform::NotificationCenter::defaultCenter()->addObserver(
        kCreativeOrientationChanged, this, nullptr,
        [block = std::move(block)](const platform::Notification&) {
            if (block) block();
        },
        owner);
}

} // namespace ruzave
