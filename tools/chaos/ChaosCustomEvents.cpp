#include "tools/chaos/ChaosCustomEvents.h"

#include "ads/core/public/GADRequestError.h"
#include "ads/mediation/GADCustomEventBannerDelegate.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/View.h"
#include "tools/demo/DemoCustomEventBanner.h"

namespace chaos {

void ChaosChattyCustomEvent::requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>&,
                                             const std::optional<std::string>&,
                                             const std::shared_ptr<ruzave::GADCustomEventRequest>&) {
    std::weak_ptr<ChaosChattyCustomEvent> weak = weak_from_this();
    platform::Size size = adSize.size;
    // At once from inside the request, and again later.
    auto answer = [weak, size] {
        auto self = weak.lock();
        if (!self) return;
        auto delegate = self->delegate();
        if (!delegate) return;
        delegate->customEventBannerDidReceiveAd(*self, platform::View::create(platform::Rect{{0, 0}, size}));
        delegate->customEventBannerDidFailAd(*self, platform::Error("chaos", 1, "and now it failed"));
    };
    answer();
    platform::MainLoop::main().post(answer);
    platform::MainLoop::main().postAfter(1.0, answer);
}

namespace {

// Tells the custom event's delegate, if both are still there, that `size` was filled (or failed).
template <class Event>
void tell(const std::weak_ptr<Event>& weak, platform::Size size, bool fill) {
    auto self = weak.lock();
    if (!self) return;
    auto delegate = self->delegate();
    if (!delegate) return;
    if (fill) delegate->customEventBannerDidReceiveAd(*self, platform::View::create(platform::Rect{{0, 0}, size}));
    else delegate->customEventBannerDidFailAd(*self, platform::Error("chaos", 2, "no fill"));
}

} // namespace

void ChaosLateCustomEvent::requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>&,
                                           const std::optional<std::string>&,
                                           const std::shared_ptr<ruzave::GADCustomEventRequest>&) {
    std::weak_ptr<ChaosLateCustomEvent> weak = weak_from_this();
    platform::Size size = adSize.size;
    platform::MainLoop::main().postAfter(kDelaySeconds, [weak, size] { tell(weak, size, true); });
}

void ChaosFailThenFillCustomEvent::requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>&,
                                                   const std::optional<std::string>&,
                                                   const std::shared_ptr<ruzave::GADCustomEventRequest>&) {
    std::weak_ptr<ChaosFailThenFillCustomEvent> weak = weak_from_this();
    platform::Size size = adSize.size;
    tell(weak, size, false);
    platform::MainLoop::main().post([weak, size] { tell(weak, size, true); });
}

void registerChaosCustomEvents() {
    // From a call rather than statics: the chaos pieces are a static library, whose unreferenced objects
    // the linker leaves out.
    static const platform::ClassRegistrar<ChaosSilentCustomEvent, ruzave::GADCustomEventBanner> silent(
        ChaosSilentCustomEvent::kClassName, {ruzave::GADCustomEventBanner::kProtocolName});
    static const platform::ClassRegistrar<ChaosChattyCustomEvent, ruzave::GADCustomEventBanner> chatty(
        ChaosChattyCustomEvent::kClassName, {ruzave::GADCustomEventBanner::kProtocolName});
    static const platform::ClassRegistrar<ChaosLateCustomEvent, ruzave::GADCustomEventBanner> late(
        ChaosLateCustomEvent::kClassName, {ruzave::GADCustomEventBanner::kProtocolName});
    static const platform::ClassRegistrar<ChaosFailThenFillCustomEvent, ruzave::GADCustomEventBanner> failThenFill(
        ChaosFailThenFillCustomEvent::kClassName, {ruzave::GADCustomEventBanner::kProtocolName});
    demo::DemoCustomEventBanner::registerClass();
}

} // namespace chaos
