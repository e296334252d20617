#include "ads/core/util/GADRunOnMainThread.h"

#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {

void GADRunOnMainThread(std::function<void()> block) {
    if (!block) return;
    if (platform::MainLoop::isMainThread()) {
        block();
        return;
    }
    platform::mainQueue()->async(std::move(block));
}

} // namespace ruzave
