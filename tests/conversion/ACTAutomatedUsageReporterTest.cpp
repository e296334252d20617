#include <doctest/doctest.h>

#include "conversion/ACTAutomatedUsageReporter.h"
#include "conversion/ACTAutomatedUsageReporterPrivate.h"
#include "conversion/ACTAutomatedUsageTracker.h"
#include "conversion/ACTConversionReporter.h"
#include "platform/runloop/DispatchQueue.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;
using ruzave::ACTAutomatedUsageTracker;

namespace {

std::vector<adserver::Request> usagePings(const std::vector<adserver::Request>& pings) {
    std::vector<adserver::Request> out;
    for (const auto& p : pings) {
        if (p.param("auto") == "1") out.push_back(p);
    }
    return out;
}

void launchConversion() {
    ruzave::ACTConversionReporter::reportWithConversionID(kConversionID, std::string("paid"), std::string("1"), true);
}

} // namespace

TEST_CASE_FIXTURE(Launch, "ACTAutomatedUsageReporter: the usage ping's keys and its interval timestamp") {
    auto reporter = ruzave::ACTAutomatedUsageReporterPrivate::initWithConversionID(kConversionID);
    REQUIRE(reporter != nullptr);
    reporter->setTimestamp(1700003600.25);
    auto url = reporter->reportingURLWithQueryParameters(*reporter->commonQueryParameters());
    REQUIRE(url.has_value());
    const std::string query = *url->query();
    CHECK(queryKeys(query) == keys({"appversion", "auto", "bundleid", "lat", "muid", "osversion", "sdkversion",
                                    "timestamp", "usage_tracking_enabled"}));
    CHECK(rawValue(query, "timestamp") == "1700003600.25");
    CHECK(rawValue(query, "auto") == "1");
    CHECK(ruzave::ACTAutomatedUsageReporter::initWithConversionID("") == nullptr);
    auto wrapped = ruzave::ACTAutomatedUsageReporter::initWithConversionID(kConversionID);
    wrapped->setTimestamp(5);
    CHECK(wrapped->timestamp() == 5);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTAutomatedUsageReporter: one usage ping per launch, stamped with the first launch's boundary") {
    platform::Clock::setWallTime(1700000000);
    launchConversion();
    launchConversion();
    REQUIRE(waitForPings(3));
    runUntilIdle();
    auto usage = usagePings(pings());
    REQUIRE(usage.size() == 1);
    CHECK(platform::UserDefaults::standard()->doubleValue("ruzave_act_aur_uit") == 1700003600);
    CHECK(usage.front().param("timestamp") == "1700003600");
    CHECK(usage.front().path == "/pagead/conversion/1234567890/");
    CHECK(usage.front().param("usage_tracking_enabled") == "1");

    // A day later, the next launch: the same boundary.
    relaunch();
    server->clearLog();
    platform::Clock::setWallTime(1700086400);
    launchConversion();
    REQUIRE(waitForPings(2));
    usage = usagePings(pings());
    REQUIRE(usage.size() == 1);
    CHECK(usage.front().param("timestamp") == "1700003600");
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTAutomatedUsageReporter: switched off, a report says so and sends no usage ping until switched on") {
    ACTAutomatedUsageTracker::disableAutomatedUsageReportingWithConversionID(kConversionID);
    CHECK(ACTAutomatedUsageTracker::automatedUsageReportingIsDisabledForConversionID(kConversionID));
    launchConversion();
    REQUIRE(waitForPings(1));
    runUntilIdle();
    REQUIRE(pings().size() == 1);
    CHECK(pings().front().param("usage_tracking_enabled") == "0");

    server->clearLog();
    ACTAutomatedUsageTracker::enableAutomatedUsageReportingWithConversionID(kConversionID);
    CHECK_FALSE(ACTAutomatedUsageTracker::automatedUsageReportingIsDisabledForConversionID(kConversionID));
    // Switching on sends the usage ping at once.
    REQUIRE(waitForPings(1));
    CHECK(usagePings(pings()).size() == 1);
    launchConversion();
    REQUIRE(waitForPings(2));
    runUntilIdle();
    CHECK(usagePings(pings()).size() == 1);
    for (const auto& p : pings()) CHECK(p.param("usage_tracking_enabled") == "1");
}

TEST_CASE_FIXTURE(Launch, "ACTAutomatedUsageReporter: nothing without the advertising identifier service or an identifier") {
    auto tracker = ruzave::ACTApplication::sharedApplication()->automatedUsageTracker();
    CHECK(tracker->reporterWithConversionID("") == nullptr);
    platform::ClassRegistry::unregisterClass(platform::AdvertisingIdentifierManager::className);
    CHECK(tracker->reporterWithConversionID(kConversionID) == nullptr);
    tracker->attemptToEnableAutomatedUsageReportingWithConversionID(kConversionID);
    runUntilIdle();
    CHECK(storedPings().empty());
    // The tracker's state is only touched on its own queue, whichever thread asks.
    CHECK(platform::hasSuffix(tracker->lockQueue()->label(), "automated-usage-lock"));
}
