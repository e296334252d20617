// The launch conversion as an app makes it, against the local server: sent, retried, kept across a
// relaunch, and never counted twice.
#include <doctest/doctest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "conversion/ACTConversionReporter.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "tests/conversion/ChildProcessSupport.h"
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

constexpr const char* kKilledAppCase = "ACTConversionReporter: the app of the kill test reports and is killed at once";
constexpr const char* kKilledAppEnv = "RUZAVE_TEST_KILLED_APP";

} // namespace

// Run only as the child of the kill test below, with the thread to report on in its environment.
TEST_CASE(kKilledAppCase * doctest::skip()) {
    const char* thread = std::getenv(kKilledAppEnv);
    if (thread == nullptr) return;
    platform::AdvertisingIdentifierManager::registerClass();
    auto ids = platform::AdvertisingIdentifierManager::sharedManager();
    ids->setAdvertisingIdentifierForTesting(kAdvertisingID);
    ids->setAdvertisingTrackingEnabledForTesting(true);
    platform::Bundle::mainBundle()->setValue("CFBundleIdentifier", "com.example.app");
    if (std::string(thread) == "main") {
        launchConversion();
    } else {
        std::thread([] { launchConversion(); }).join();
    }
    (void)!::write(1, "reported\n", 9);
    // Killed as soon as the report returns: nothing queued for later runs.
    ::_exit(0);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTConversionReporter: a conversion reported just before the app is killed is sent at the next launch") {
    std::string thread;
    SUBCASE("reported on the main thread") { thread = "main"; }
    SUBCASE("reported on another thread") { thread = "other"; }
    CAPTURE(thread);
    relaunch();  // nothing of this process's is left to be written over the child's file
    Child child = spawnChild(home(), {std::string(kKilledAppEnv) + "=" + thread},
                             {"--no-skip", std::string("-tc=") + kKilledAppCase});
    REQUIRE(child.pid > 0);
    std::string pending;
    std::vector<std::string> lines;
    readLines(child.out, pending, lines, -1);
    ::close(child.out);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    REQUIRE(std::count(lines.begin(), lines.end(), "reported") == 1);
    CHECK(WIFEXITED(status));

    // The next launch finds the ping stored and sends it, marked as a retry; its success ends it.
    relaunch();
    REQUIRE(storedPings().size() == 1);
    ruzave::ACTApplication::sharedApplication();
    REQUIRE(waitForPings(1));
    auto sent = conversionPings(pings());
    REQUIRE(sent.size() == 1);
    CHECK(sent.front().path == "/pagead/conversion/1234567890/");
    CHECK(sent.front().param("retry") == "1");
    CHECK(storedPings().empty());
    CHECK(platform::UserDefaults::standard()->boolean("ruzave_conversion_ping:paid-edition"));
}

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
