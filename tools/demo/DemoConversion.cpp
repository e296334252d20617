#include "tools/demo/DemoConversion.h"

#include "conversion/ACTConversionReporter.h"
#include "platform/runloop/MainLoop.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/ConversionEndpoints.h"
#include "tools/demo/DemoTimeline.h"

namespace demo {

std::optional<std::string> DemoConversion::run(DemoTimeline& timeline, const adserver::AdServer& server,
                                               double timeoutSeconds) {
    const std::string path = std::string(adserver::ConversionEndpoints::kConversionPathPrefix) + kConversionID + "/";
    timeline.mark(std::string("host app: launch conversion reported for ") + kConversionID);
    ruzave::ACTConversionReporter::reportWithConversionID(kConversionID, std::string(kLabel), std::string(kValue), false);
    std::optional<adserver::Request> seen;
    platform::MainLoop::main().runUntil([&] {
        for (auto& request : adserver::ConversionEndpoints::pings(server)) {
            if (request.path == path && request.param("label") == kLabel) seen = request;
        }
        return seen.has_value();
    }, timeoutSeconds);
    if (!seen) return std::string("the launch conversion ping did not reach the ad server");
    timeline.mark("ad server: conversion ping " + seen->path + "?" + seen->query);
    return std::nullopt;
}

} // namespace demo
