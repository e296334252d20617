#pragma once
// The demo app's own banner custom event, found by the SDK's custom event adapter under the class
// name "DemoCustomEventBanner": it fills every request, on the next main-loop turn, with a plain
// coloured view of the asked size, as an app's in-house ad source would. Main thread.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/GADCustomEventBanner.h"
#include "platform/ui/Color.h"

namespace demo {

class DemoCustomEventBanner : public ruzave::GADCustomEventBanner,
                              public std::enable_shared_from_this<DemoCustomEventBanner> {
  public:
    static constexpr const char* kClassName = "DemoCustomEventBanner";

    // Registers the class with the platform's class registry (once; later calls do nothing).
    static void registerClass();
    // How many requests the class answered, and the last server parameter and label it was given.
    static int filledCount();
    static std::optional<std::string> lastParameter();
    static std::optional<std::string> lastLabel();
    // When it last filled.
    static std::chrono::steady_clock::time_point lastFillTime();
    // The colour of the views it fills with.
    static platform::Color adColor();

    void requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>& parameter,
                         const std::optional<std::string>& label,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>& request) override;
};

} // namespace demo
