#pragma once
// One run of the banner road: sends the request, drives the main loop (real time, bounded) while it
// watches each stage through public seams (the SDK's early start, the server's log, the core
// controller's page and constants, the slot's ad and state, the banner delegate), puts each stage on
// the timeline, and judges the run. Main thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"

namespace demo {

class DemoBannerDelegate;
class DemoHostApp;
class DemoServer;
class DemoTimeline;

class DemoRoad {
  public:
    // The stages of the road, in road order.
    enum class Stage : std::size_t {
        SDKStart,
        LoadRequest,
        CorePageRequested,
        CorePageLoaded,
        Constants,
        AdURL,
        Fetch,
        ReceivedAd,
    };
    static constexpr std::size_t kStageCount = 8;

    struct Observations {
        std::array<std::optional<double>, kStageCount> at;  // timeline milliseconds of each stage seen
        std::optional<platform::Error> failure;            // the delegate's error, when it failed
        bool timedOut = false;                             // no delegate call ended the load in time
        double timeoutSeconds = 0;
        std::size_t extraDelegateCalls = 0;                // load results beyond the first
        std::vector<std::string> problems;                 // stages that happened, but not as they should

        bool seen(Stage stage) const { return at[static_cast<std::size_t>(stage)].has_value(); }
        // The first time counts.
        void see(Stage stage, double ms) {
            auto& slot = at[static_cast<std::size_t>(stage)];
            if (!slot) slot = ms;
        }
        // The furthest stage reached, in road order; nullopt when none.
        std::optional<Stage> lastStage() const;
    };

    DemoRoad(DemoTimeline& timeline, DemoServer& server, DemoBannerDelegate& delegate)
        : timeline_(timeline), server_(server), delegate_(delegate) {}

    // Looks for the SDK's start; the host app calls it after each step of its launch, since the start
    // happens inside one of them.
    void probeStart();
    // Sends the app's request and runs until a delegate call ends the load or `timeoutSeconds` pass,
    // then for up to `settleSeconds` more while pings may still land.
    const Observations& run(DemoHostApp& app, double timeoutSeconds, double settleSeconds);
    const Observations& observations() const { return observations_; }

    // "server received (N requests):" and one line per request at the server's own time.
    std::string serverReport() const;

    static const char* stageName(Stage stage);
    static std::string responseTypeName(std::uint32_t responseType);
    // nullopt when the road is whole; otherwise why not, naming the stage where it stopped.
    static std::optional<std::string> failureReason(const Observations& observations);

  private:
    void probe(DemoHostApp& app);
    void see(Stage stage, const std::string& text);
    void seeAt(Stage stage, double ms, const std::string& text);
    double serverMs(double serverSeconds) const;

    DemoTimeline& timeline_;
    DemoServer& server_;
    DemoBannerDelegate& delegate_;
    Observations observations_;
    bool corePageFailureShown_ = false;
    bool fetchFailureShown_ = false;
};

} // namespace demo
