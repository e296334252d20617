#pragma once
// The host app's launch conversion: reported once per launch as an app's start-up does, and its ping
// seen by the local ad server's conversion endpoint. Main thread.
#include <optional>
#include <string>

namespace adserver {
class AdServer;
}

namespace demo {

class DemoTimeline;

class DemoConversion {
  public:
    static constexpr const char* kConversionID = "1234567890";
    static constexpr const char* kLabel = "ruzave-demo-launch";
    static constexpr const char* kValue = "0.48";

    // Reports the launch conversion and runs the main loop until the server has logged its ping;
    // marks both on the timeline. The reason when the ping did not arrive in `timeoutSeconds`.
    static std::optional<std::string> run(DemoTimeline& timeline, const adserver::AdServer& server, double timeoutSeconds);
};

} // namespace demo
