#include "ads/render/GADSupplementalAdAppViewController.h"

#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"

namespace ruzave {
namespace {

platform::Value stateParameters(const char* state) {
    platform::Value p = platform::Value::object();
    p["state"] = state;
    return p;
}

platform::Value visibleParameters(const char* visible) {
    platform::Value p = platform::Value::object();
    p["visible"] = visible;
    return p;
}

} // namespace

std::shared_ptr<GADSupplementalAdAppViewController> GADSupplementalAdAppViewController::init() {
    std::shared_ptr<GADSupplementalAdAppViewController> controller(new GADSupplementalAdAppViewController());
    controller->setUp(nullptr);
    return controller;
}

void GADSupplementalAdAppViewController::finishAppearing() {
    GADAdAppViewController::finishAppearing();
    auto own = adView();
    if (!own) return;
    platform::Value ready = platform::Value::object();
    ready["js"] = GADRequest::sdkVersion();
    own->dispatchSDKEvent("onReadyEventReceived", ready);
    own->dispatchSDKEvent("onStateChanged", stateParameters("expanded"));
    if (auto s = slot(); s && s->adView()) s->adView()->dispatchSDKEvent("onStateChanged", stateParameters("expanded"));
}

void GADSupplementalAdAppViewController::didFinishDismissal() {
    if (auto s = slot(); s && s->adView()) s->adView()->dispatchSDKEvent("onStateChanged", stateParameters("default"));
}

void GADSupplementalAdAppViewController::viewDidAppear(bool animated) {
    GADAdAppViewController::viewDidAppear(animated);
    if (auto own = adView()) own->dispatchSDKEvent("onAdVisibilityChanged", visibleParameters("1"));
}

void GADSupplementalAdAppViewController::viewDidDisappear(bool animated) {
    GADAdAppViewController::viewDidDisappear(animated);
    if (auto own = adView()) own->dispatchSDKEvent("onAdVisibilityChanged", visibleParameters("0"));
}

} // namespace ruzave
