#include "tools/demo/DemoCustomEventBanner.h"

#include "platform/foundation/ClassRegistrar.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Color.h"
#include "platform/ui/View.h"

namespace demo {

namespace {

struct State {
    int filled = 0;
    std::optional<std::string> parameter;
    std::optional<std::string> label;
    std::chrono::steady_clock::time_point filledAt;
};

State& state() {
    static State s;
    return s;
}

} // namespace

void DemoCustomEventBanner::registerClass() {
    // Registered on first use rather than from a static in this file: the demo's pieces are a static
    // library, whose unreferenced objects the linker leaves out.
    static const platform::ClassRegistrar<DemoCustomEventBanner, ruzave::GADCustomEventBanner> registrar(
        kClassName, {ruzave::GADCustomEventBanner::kProtocolName});
}

int DemoCustomEventBanner::filledCount() {
    return state().filled;
}

std::optional<std::string> DemoCustomEventBanner::lastParameter() {
    return state().parameter;
}

std::chrono::steady_clock::time_point DemoCustomEventBanner::lastFillTime() {
    return state().filledAt;
}

std::optional<std::string> DemoCustomEventBanner::lastLabel() {
    return state().label;
}

platform::Color DemoCustomEventBanner::adColor() {
    return platform::Color::rgba(0.2f, 0.6f, 0.2f);
}

void DemoCustomEventBanner::requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>& parameter,
                                            const std::optional<std::string>& label,
                                            const std::shared_ptr<ruzave::GADCustomEventRequest>&) {
    state().parameter = parameter;
    state().label = label;
    std::weak_ptr<DemoCustomEventBanner> weak = weak_from_this();
    platform::Size size = adSize.size;
    // An ad source answers later, not from inside the request.
    platform::MainLoop::main().post([weak, size] {
        auto self = weak.lock();
        if (!self) return;
        auto delegate = self->delegate();
        if (!delegate) return;
        auto view = platform::View::create(platform::Rect{{0, 0}, size});
        view->setBackgroundColor(adColor());
        ++state().filled;
        state().filledAt = std::chrono::steady_clock::now();
        delegate->customEventBannerDidReceiveAd(*self, view);
    });
}

} // namespace demo
