#pragma once
// Ad responses that go wrong on purpose: one route whose every answer is the fault named by the request's
// "slotname" (its last segment, "units/status-503" -> status 503), so a client picks a fault per request
// by the ad unit it asks for. Used by the chaos run and by tests of the SDK's handling of hostile
// servers and creatives. Any thread.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/adserver/AdServer.h"

namespace adserver {

struct FaultyAdOptions {
    // The host the route serves first (installFaultyAds sets it).
    std::string host;
    // A second host the route is also installed on, where cross-host redirects lead.
    std::string crossHost;
    // Custom event classes a mediation answer may name ("mediation-N" names the N-th, modulo the count).
    std::vector<std::string> customEventClasses;
};

// A fault name split from its number: "status-503" is {"status", 503}; "drop" is {"drop", 0}.
struct FaultName {
    std::string name;
    std::uint64_t number = 0;

    static FaultName parse(const std::string& slotname);
};

// The fault names the route knows. Each takes a number where it says so.
//   ok                 a plain banner
//   status-N           status N (100..599, else 500) with a small page
//   drop               the connection closes without an answer
//   truncate-N         a banner cut after N bytes (modulo its length) of its announced length
//   slow-N             a banner after N ms (at most 2000) of real time
//   redirect-loop      302 to the same URL, for ever
//   redirect-cross     302 to the same path on `crossHost`, which serves a plain banner
//   redirect-pingpong  302 back and forth between the two hosts
//   redirect-dead      302 to a loopback port where nothing listens
//   redirect-scheme    302 to a scheme that is not fetched
//   empty              200 with the banner's headers and no body
//   garbage-N          N (at most 64K) seeded random bytes as HTML
//   nested-N           N (at most 200K) nested elements
//   mediation-N        a mediation answer running customEventClasses[N]
//   mediation-garbage-N  a mediation answer of N random bytes
//   mediation-nested-N   a mediation answer of N nested JSON arrays
//   missing-adapter    a mediation answer naming an adapter class that does not exist
//   missing-custom-event  a mediation answer naming a custom event class that does not exist
//   creative-loop      a creative whose script never returns
//   creative-allocate  a creative that builds large strings and arrays
//   creative-flood     a creative that sends page messages from a timer (a bounded number)
// Anything else answers 400.
Response faultyAdResponse(const Request& request, const FaultyAdOptions& options);
const std::vector<std::string>& faultyAdNames();

// Routes `path` on `host` (and on options.crossHost) to faultyAdResponse.
void installFaultyAds(AdServer& server, const std::string& host, const std::string& path, FaultyAdOptions options);

// `count` bytes from a generator seeded with `seed`: the same bytes for the same seed.
std::string seededBytes(std::uint64_t seed, std::size_t count);

} // namespace adserver
