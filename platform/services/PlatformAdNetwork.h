#pragma once
// What the platform ad network's banner and interstitial share: the device class they serve and the
// delivery of scripted outcomes on the main loop. Main thread.
#include <functional>

namespace platform {

class PlatformAdNetwork {
public:
    // Whether the device is a tablet (the network sizes its ads by it).
    static bool isTablet();
    // Runs `task` on the main loop after `delay` virtual seconds (the next turn for 0 or less).
    static void deliverLater(double delay, std::function<void()> task);
};

} // namespace platform
