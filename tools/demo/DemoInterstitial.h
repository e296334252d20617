#pragma once
// The demo's interstitial: loaded through the core page and the ad server, presented from the host
// app's root controller, clicked (the ad leaves for its landing page), closed with its close button,
// and refused once used. Main thread.
#include <memory>
#include <optional>
#include <string>

namespace platform {
class ViewController;
}

namespace demo {

class DemoTimeline;

class DemoInterstitial {
  public:
    static constexpr const char* kAdUnitID = "ruzave-demo/interstitial";
    // The reason when a step did not happen within `timeoutSeconds`.
    static std::optional<std::string> run(DemoTimeline& timeline, const std::shared_ptr<platform::ViewController>& root,
                                          const std::string& landingURL, double timeoutSeconds);
};

} // namespace demo
