#include "platform/services/PlatformAdNetwork.h"

#include "platform/runloop/MainLoop.h"
#include "platform/ui/Device.h"

namespace platform {

bool PlatformAdNetwork::isTablet() {
    auto device = Device::currentDevice();
    return device && device->userInterfaceIdiom() == UserInterfaceIdiom::Pad;
}

void PlatformAdNetwork::deliverLater(double delay, std::function<void()> task) {
    if (delay > 0)
        MainLoop::main().postAfter(delay, std::move(task));
    else
        MainLoop::main().post(std::move(task));
}

} // namespace platform
