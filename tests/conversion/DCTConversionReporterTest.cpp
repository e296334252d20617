#include <doctest/doctest.h>

#include "conversion/ACTConversionReporter.h"
#include "conversion/DCTConversionReporter.h"
#include "conversion/DCTConversionReporterPrivate.h"
#include "conversion/RuzaveConversionPing.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;

TEST_CASE_FIXTURE(Launch, "DCTConversionReporter: the second network's ping is joined by semicolons with no click data") {
    auto referrer = platform::URL::parse("app://x?referrer=" + platform::percentEncode("conv=1234567890&gclid=g&ai=a"));
    REQUIRE(ruzave::ACTConversionReporter::registerReferrer(*referrer));
    auto reporter = ruzave::DCTConversionReporterPrivate::initWithConversionID(kConversionID, std::string("3.50"), false);
    REQUIRE(reporter != nullptr);
    CHECK_FALSE(reporter->clickID().has_value());
    CHECK(reporter->deduplicationID() == "zedezerevar_conversion_ping:1234567890");
    CHECK_FALSE(reporter->automatedUsageConversionID().has_value());
    auto url = reporter->reportingURLWithQueryParameters(*reporter->commonQueryParameters());
    REQUIRE(url.has_value());
    const std::string text = url->absoluteString();
    const std::string prefix = "https://ad.zedezerevar.example/activity;";
    REQUIRE(text.rfind(prefix, 0) == 0);
    const std::string query = text.substr(prefix.size());
    CHECK(queryKeys(query, ";") == keys({"ait", "appversion", "bundleid", "lat", "muid", "osversion", "sdkversion",
                                         "timestamp", "value", "xsp"}));
    CHECK(rawValue(query, "xsp", ";") == kConversionID);
    CHECK(rawValue(query, "ait", ";") == "1");
    CHECK(rawValue(query, "value", ";") == "3.50");
    CHECK(ruzave::DCTConversionReporter::initWithConversionID("", std::nullopt, false) == nullptr);
}

TEST_CASE_FIXTURE(ServerLaunch, "DCTConversionReporter: the typed entry point sends type 1 here, type 0 as a conversion, and nothing else") {
    ruzave::RuzaveConversionPing::pingWithConversionId(kConversionID, 2, std::string("l"), std::string("1"), true);
    ruzave::RuzaveConversionPing::pingWithConversionId(kConversionID, -1, std::string("l"), std::string("1"), true);
    runUntilIdle();
    CHECK(storedPings().empty());

    ruzave::RuzaveConversionPing::pingWithConversionId(kConversionID, 1, std::string("label-unused"), std::string("1"), false);
    REQUIRE(waitForPings(1));
    auto activity = pings();
    REQUIRE(activity.size() == 1);
    CHECK(activity.front().host == "ad.zedezerevar.example");
    CHECK(activity.front().path.rfind("/activity;ait=1;", 0) == 0);
    CHECK(activity.front().path.find("label") == std::string::npos);
    CHECK(platform::UserDefaults::standard()->boolean("zedezerevar_conversion_ping:1234567890"));

    server->clearLog();
    ruzave::RuzaveConversionPing::pingWithConversionId(kConversionID, 0, std::string("l"), std::string("1"), true);
    // The conversion and, for this first conversion report, the launch's usage ping.
    REQUIRE(waitForPings(2));
    CHECK(pings().front().host == "www.ruzaveadservices.example");
}
