#pragma once
// The conversion endpoints as the local server plays them: conversion, remarketing and usage pings
// below "/pagead/conversion/" on the conversion host, and the second network's activity pings below
// "/activity;" on its host. Tests script the answer (status, body, a redirect loop, a delay) and read
// the pings from the server's log. Any thread.
#include <chrono>
#include <string>
#include <vector>

#include "tools/adserver/AdServer.h"

namespace adserver {

struct ConversionEndpoints {
    static constexpr const char* kConversionHost = "www.ruzaveadservices.example";
    static constexpr const char* kActivityHost = "ad.zedezerevar.example";
    static constexpr const char* kConversionPathPrefix = "/pagead/conversion/";
    static constexpr const char* kActivityPathPrefix = "/activity;";

    int status = 200;
    std::string body;
    // Every ping answers a redirect to itself (the client gives up after its hop limit).
    bool redirectLoop = false;
    // Real time before answering (a server that hangs).
    std::chrono::milliseconds delay{0};

    // The two hosts, for the server's certificate and the host map.
    static std::vector<std::string> hostNames();
    // Whether the request is a conversion or activity ping.
    static bool isConversionPing(const Request& request);
    // The conversion and activity pings in the server's log, in order.
    static std::vector<Request> pings(const AdServer& server);
};

// Routes both endpoints with `answer` (replacing earlier ones).
void installConversionEndpoints(AdServer& server, const ConversionEndpoints& answer = {});

} // namespace adserver
