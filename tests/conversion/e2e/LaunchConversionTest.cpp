// The launch conversion as an app makes it, against the local server: sent, retried, kept across a
// relaunch, and never counted twice.
#include <doctest/doctest.h>

#include "conversion/ACTConversionReporter.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;
using ruzave::ACTConversionReporter;

namespace {

void launchConversion(const std::string& conversionID = kConversionID, const std::string& label = "paid-edition") {
    ACTConversionReporter::reportWithConversionID(conversionID, label, std::string("0.48"), false);
}

std::vector<adserver::Request> conversionPings(const std::vector<adserver::Request>& pings) {
    std::vector<adserver::Request> out;
    for (const auto& p : pings) {
        if (p.query.find("auto=1") == std::string::npos) out.push_back(p);
    }
    return out;
}

} // namespace

TEST_CASE_FIXTURE(ServerLaunch, "ACTConversionReporter: the launch ping reaches the server once with its exact key order") {
    launchConversion();
    // The conversion ping and the launch's one usage ping.
    REQUIRE(waitForPings(2));
    auto conversions = conversionPings(pings());
    REQUIRE(conversions.size() == 1);
    const adserver::Request& ping = conversions.front();
    CHECK(ping.host == "www.ruzaveadservices.example");
    CHECK(ping.path == "/pagead/conversion/1234567890/");
    // The first attempt goes out without the retry marker.
    CHECK(queryKeys(ping.query) == keys({"appversion", "bundleid", "label", "lat", "muid", "osversion", "sdkversion",
                                         "timestamp", "usage_tracking_enabled", "value"}));
    CHECK(ping.param("muid") == "8tExHKXB7LIUwZom6d260A");
    CHECK(log.contains("<Ruzave> ACTConversionIDReporter: sending ping: https://www.ruzaveadservices.example/pagead/conversion/1234567890/?appversion=2.5&"));
    CHECK(log.contains("<Ruzave> ping successful."));
    CHECK(storedPings().empty());
    CHECK(platform::UserDefaults::standard()->boolean("ruzave_conversion_ping:paid-edition"));

    // Later launches: nothing is sent, the usage ping still is.
    relaunch();
    server->clearLog();
    log.clear();
    launchConversion();
    REQUIRE(waitForPings(1));
    CHECK(conversionPings(pings()).empty());
    CHECK(log.contains("<Ruzave> ACTConversionIDReporter: already sent successful ping."));
    // Another identifier with the same label shares the flag.
    launchConversion("555");
    runUntilIdle();
    CHECK(conversionPings(pings()).empty());
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTConversionReporter: a 500 is retried every 180 seconds and a relaunch resends it once") {
    adserver::ConversionEndpoints failing;
    failing.status = 500;
    failing.body = "try later";
    adserver::installConversionEndpoints(*server, failing);
    launchConversion();
    REQUIRE(waitForPings(2));
    auto first = conversionPings(pings());
    REQUIRE(first.size() == 1);
    const std::string key = "https://www.ruzaveadservices.example/pagead/conversion/1234567890/?" + first.front().query + "&retry=1";
    CHECK(storedPings().contains(key));
    auto queue = ruzave::ACTApplication::sharedApplication()->retryScheduler()->retryQueue();
    CHECK(queue->count() >= 1);

    // Each batch resends it with the marker, and each attempt stores its lower count.
    for (int round = 1; round <= 2; ++round) {
        server->clearLog();
        advance(179);
        runUntilIdle();
        CHECK(conversionPings(pings()).empty());
        advance(1);
        REQUIRE(waitForPings(2));
        auto again = conversionPings(pings());
        REQUIRE(again.size() == 1);
        CHECK(again.front().query == first.front().query + "&retry=1");
        CHECK(storedPings()[key]["ruzave_ping_rc"] == 200 - round);
    }

    // The app is killed and launched again: the stored ping is resent once, with one marker, and no
    // fresh ping joins it while it is pending.
    relaunch();
    server->clearLog();
    adserver::installConversionEndpoints(*server);
    launchConversion();
    CHECK(log.contains("<Ruzave> ACTConversionIDReporter: ping already pending."));
    REQUIRE(waitForPings(2));
    auto resent = conversionPings(pings());
    REQUIRE(resent.size() == 1);
    CHECK(resent.front().query == first.front().query + "&retry=1");
    CHECK(storedPings().empty());
    // The reloaded ping's success counts: the conversion is never sent again.
    CHECK(platform::UserDefaults::standard()->boolean("ruzave_conversion_ping:paid-edition"));
    relaunch();
    server->clearLog();
    launchConversion();
    runUntilIdle();
    CHECK(conversionPings(pings()).empty());
}
