#pragma once
// The demo's native ad: an ad loader asks for a content ad, which comes through the SDK-core page, the
// ad server's native answer and the native support page with its pictures and attribution badge; the
// demo then taps the headline and records the impression, and waits for the server to see both.
// Main thread.
#include <memory>
#include <optional>
#include <string>

namespace platform {
class ViewController;
}
namespace adserver {
class AdServer;
}

namespace demo {

class DemoTimeline;

class DemoNative {
  public:
    // Routes the native answer, the support page and the pictures; runs the road; nullopt when whole.
    static std::optional<std::string> run(DemoTimeline& timeline, adserver::AdServer& server,
                                          const std::string& adUnitID,
                                          const std::shared_ptr<platform::ViewController>& root,
                                          double timeoutSeconds);
};

} // namespace demo
