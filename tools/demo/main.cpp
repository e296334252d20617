// ruzave-demo: a headless host app that loads one 320x50 banner through the whole SDK against the
// local ad server started in this process, checks its rendering, impression and one click, then loads
// a mediated banner through the demo's custom event, shows an interstitial (load, present, click,
// close), then reports the launch conversion; prints the timeline and what the server received,
// and ends with "demo: ok" (exit 0) or "demo: failed: <why>" (exit 1).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/sdkcore/GADHosts.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "tools/demo/DemoAdStages.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoConversion.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoNative.h"
#include "tools/demo/DemoInterstitial.h"
#include "tools/demo/DemoRoad.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"

namespace {

constexpr double kSettleSeconds = 0.3;

void usage() {
    std::fprintf(stderr, "usage: ruzave-demo [--timeout SECONDS]\n");
}

// A fresh app home for this run, so that no earlier run's settings or stored pings change the road.
std::string makeHome() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string((tmp != nullptr && *tmp != '\0') ? tmp : "/tmp") + "/ruzave-demo-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) return {};
    return buffer.data();
}

const char* levelName(platform::LogLevel level) {
    switch (level) {
    case platform::LogLevel::Debug: return "debug";
    case platform::LogLevel::Info: return "info";
    case platform::LogLevel::Warning: return "warning";
    case platform::LogLevel::Error: return "error";
    }
    return "log";
}

int finish(const demo::DemoTimeline& timeline, const std::string& serverReport, const std::optional<std::string>& failure) {
    std::fputs("timeline (ms since start):\n", stdout);
    std::fputs(timeline.render().c_str(), stdout);
    std::fputs(serverReport.c_str(), stdout);
    if (failure) {
        std::printf("demo: failed: %s\n", failure->c_str());
        std::fflush(stdout);
        return 1;
    }
    std::puts("demo: ok");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    double timeoutSeconds = 10.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            char* end = nullptr;
            timeoutSeconds = std::strtod(argv[++i], &end);
            if (end == nullptr || *end != '\0' || !(timeoutSeconds > 0) || timeoutSeconds > 600) {
                usage();
                return 2;
            }
        } else {
            usage();
            return 2;
        }
    }

    demo::DemoTimeline timeline;
    const std::string home = makeHome();
    if (home.empty()) return finish(timeline, "", std::string("no temporary folder for the app home"));
    ::setenv("RUZAVE_APP_HOME", home.c_str(), 1);

    // The SDK's and the platform's log lines join the timeline where they happen.
    // Debug lines only when asked for, as on stderr.
    const char* logSetting = std::getenv("RUZAVE_LOG");
    const bool debugLines = logSetting != nullptr && std::strcmp(logSetting, "debug") == 0;
    platform::setLogSink([&timeline, debugLines](platform::LogLevel level, const std::string& line) {
        if (level == platform::LogLevel::Debug && !debugLines) return;
        timeline.mark(std::string("log (") + levelName(level) + "): " + line);
    });

    int status = 0;
    {
        demo::DemoServer::Options options;
        std::string why;
        auto server = demo::DemoServer::start(options, &why);
        if (!server) {
            status = finish(timeline, "", why);
        } else {
            timeline.mark("ad server: listening on " + server->server().baseURL() + " for " +
                          ruzave::GADHosts::kSDKCoreHost + ", " + ruzave::GADHosts::kAdServerHost + ", " +
                          ruzave::GADHosts::kReportHost + " and " + ruzave::GADHosts::kPingHost);
            auto delegate = std::make_shared<demo::DemoBannerDelegate>(timeline);
            demo::DemoRoad road(timeline, *server, *delegate);
            auto app = demo::DemoHostApp::launch(options.adUnitID, delegate, &why, [&](const std::string& step) {
                timeline.mark("host app: " + step);
                road.probeStart();
            });
            if (!app) {
                status = finish(timeline, "", why);
            } else {
                road.run(*app, timeoutSeconds, kSettleSeconds);
                auto failure = demo::DemoRoad::failureReason(road.observations());
                // The later stages build on the rendered banner: run them only on a whole road.
                if (!failure) {
                    demo::DemoAdStages stages(timeline, *server);
                    stages.runBanner(*app, *delegate, timeoutSeconds);
                    stages.runMediation(*app, options.mediatedAdUnitID, timeoutSeconds);
                    failure = demo::DemoAdStages::failureReason(stages.observations());
                }
                if (!failure)
                    failure = demo::DemoNative::run(timeline, server->server(), options.nativeAdUnitID,
                                                    app->rootViewController(), timeoutSeconds);
                if (!failure)
                    failure = demo::DemoInterstitial::run(timeline, app->rootViewController(),
                                                          demo::DemoServer::kLandingURL, timeoutSeconds);
                if (!failure) failure = demo::DemoConversion::run(timeline, server->server(), timeoutSeconds);
                status = finish(timeline, road.serverReport(), failure);
                app.reset();
            }
            platform::MainLoop::main().runUntilIdle();
        }
    }
    platform::setLogSink({});
    platform::UserDefaults::standard()->synchronize();
    platform::Sandbox::removeItem(home);
    return status;
}
