#include "ads/mediation/GADMAdapterIAdUtilities.h"

#include <array>
#include <tuple>

#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

namespace ruzave {

void GADIAdMacros::runSynchronouslyOnMainThreadWithBlock(const std::function<void()>& block) {
    if (platform::MainLoop::isMainThread()) {
        block();
    } else {
        platform::DispatchQueue::main()->sync(block);
    }
}

GADMAdapterIAdUtilities& GADMAdapterIAdUtilities::sharedInstance() {
    static GADMAdapterIAdUtilities instance;
    return instance;
}

void GADMAdapterIAdUtilities::getOSMajor(int* major, int* minor, int* bugFix) {
    const std::array<int, 3> v = platform::Device::parseVersion(platform::Device::currentDevice()->systemVersion());
    if (major) *major = v[0];
    if (minor) *minor = v[1];
    if (bugFix) *bugFix = v[2];
}

bool GADMAdapterIAdUtilities::isOSAtLeast(int major, int minor, int bug) {
    int a = 0, b = 0, c = 0;
    getOSMajor(&a, &b, &c);
    return std::tie(a, b, c) >= std::tie(major, minor, bug);
}

float GADMAdapterIAdUtilities::screenScale() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (scale_) return *scale_;
    }
    // Read without the lock: the main thread may be asking at the same time.
    float scale = 1.0f;
    GADIAdMacros::runSynchronouslyOnMainThreadWithBlock([&] {
        auto screen = platform::Screen::mainScreen();
        if (screen && screen->scale() > 0) scale = screen->scale();
    });
    std::lock_guard<std::mutex> lock(mutex_);
    if (!scale_) scale_ = scale;
    return *scale_;
}

void GADMAdapterIAdUtilities::resetForTesting() {
    std::lock_guard<std::mutex> lock(mutex_);
    scale_.reset();
}

} // namespace ruzave
