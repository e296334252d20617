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

void registerChaosCustomEvents() {
    // From a call rather than statics: the chaos pieces are a static library, whose unreferenced objects
    // the linker leaves out.
    static const platform::ClassRegistrar<ChaosSilentCustomEvent, ruzave::GADCustomEventBanner> silent(
        ChaosSilentCustomEvent::kClassName, {ruzave::GADCustomEventBanner::kProtocolName});
    static const platform::ClassRegistrar<ChaosChattyCustomEvent, ruzave::GADCustomEventBanner> chatty(
        ChaosChattyCustomEvent::kClassName, {ruzave::GADCustomEventBanner::kProtocolName});
    demo::DemoCustomEventBanner::registerClass();
}

} // namespace chaos
