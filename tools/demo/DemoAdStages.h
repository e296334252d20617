#pragma once
// The stages after the banner road: the rendered banner (its page painted in the window), the
// impression (counted by the slot, then its ping at the server), one click (a tap on the banner that
// activates the creative's link: the app is left for the landing page and the click ping reaches the
// server), and one mediated banner through the demo's custom event (mediation response, custom event
// fill, adViewDidReceiveAd, the mediation impression ping). Puts each on the timeline and judges them.
// Main thread.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Color;
class WebView;
} // namespace platform

namespace demo {

class DemoBannerDelegate;
class DemoHostApp;
class DemoServer;
class DemoTimeline;

class DemoAdStages {
  public:
    enum class Stage : std::size_t {
        Rendered,
        Impression,
        ImpressionPing,
        Click,
        LeftApplication,
        ClickPing,
        MediationResponse,
        CustomEventFill,
        MediatedAd,
        MediationImpressionPing,
    };
    static constexpr std::size_t kStageCount = 10;

    struct Observations {
        std::array<std::optional<double>, kStageCount> at;
        std::vector<std::string> problems;  // what went wrong in a stage that was reached

        bool seen(Stage stage) const { return at[static_cast<std::size_t>(stage)].has_value(); }
        void see(Stage stage, double ms) {
            auto& slot = at[static_cast<std::size_t>(stage)];
            if (!slot) slot = ms;
        }
    };

    // A tap counts as a click only this long after the ad loaded (the banner delegate's own rule,
    // 150 ms, with room).
    static constexpr double kClickDelaySeconds = 0.2;
    // How long a ping may take to reach the local server.
    static constexpr double kPingWaitSeconds = 2.0;

    DemoAdStages(DemoTimeline& timeline, DemoServer& server) : timeline_(timeline), server_(server) {}

    // After the road's adViewDidReceiveAd: render check, impression and its ping, one click. Each wait
    // is bounded by `timeoutSeconds` of real time.
    void runBanner(DemoHostApp& app, DemoBannerDelegate& delegate, double timeoutSeconds);
    // One mediated banner under the first, through the demo's custom event.
    void runMediation(DemoHostApp& app, const std::string& adUnitID, double timeoutSeconds);
    const Observations& observations() const { return observations_; }

    static const char* stageName(Stage stage);
    // nullopt when every stage passed; otherwise the first that did not, and why.
    static std::optional<std::string> failureReason(const Observations& observations);
    // Pixels of the web view's painted page that have exactly `color` (premultiplied RGBA8).
    static std::size_t pixelsOfColor(const platform::WebView& webView, const platform::Color& color);

  private:
    void see(Stage stage, const std::string& text);
    void seeAt(Stage stage, double ms, const std::string& text);
    bool waitFor(const std::function<bool()>& condition, double timeoutSeconds);
    std::size_t pingCount(const std::string& path, const std::string& queryPart) const;

    DemoTimeline& timeline_;
    DemoServer& server_;
    Observations observations_;
};

} // namespace demo
