#include <doctest/doctest.h>

#include "conversion/DCTActivityReporter.h"
#include "conversion/DCTActivityReporterPrivate.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;

TEST_CASE_FIXTURE(Launch, "DCTActivityReporter: the activity query holds the custom parameters and the dc facts only") {
    platform::Value custom = {{"u1", "a b"}, {"dc_lat", "spoofed"}, {"ord", 5}};
    auto reporter = ruzave::DCTActivityReporterPrivate::initWithRequest(
        ruzave::DCTActivityRequest::requestWithAdUnitID(std::string("/123/unit"), std::string("ppid"), custom));
    REQUIRE(reporter != nullptr);
    auto url = reporter->reportingURLWithQueryParameters(*reporter->commonQueryParameters());
    REQUIRE(url.has_value());
    const std::string prefix = "https://ad.zedezerevar.example/activity;";
    const std::string text = url->absoluteString();
    REQUIRE(text.rfind(prefix, 0) == 0);
    const std::string query = text.substr(prefix.size());
    CHECK(queryKeys(query, ";") == keys({"dc_iu", "dc_lat", "dc_ppid", "dc_rdid", "ord", "u1"}));
    CHECK(rawValue(query, "dc_iu", ";") == "%2F123%2Funit");
    CHECK(rawValue(query, "dc_rdid", ";") == kAdvertisingID);
    CHECK(rawValue(query, "dc_lat", ";") == "0");
    CHECK(rawValue(query, "u1", ";") == "a%20b");
}

TEST_CASE_FIXTURE(ServerLaunch, "DCTActivityReporter: sends with the device token check and refuses a request without an ad unit") {
    CHECK(ruzave::DCTActivityReporter::initWithAdUnitID(std::nullopt, std::nullopt, platform::Value::object()) == nullptr);
    CHECK(ruzave::DCTActivityReporter::initWithAdUnitID(std::string(""), std::nullopt, platform::Value::object()) == nullptr);
    auto reporter = ruzave::DCTActivityReporter::initWithAdUnitID(std::string("unit"), std::nullopt, platform::Value::object());
    REQUIRE(reporter != nullptr);
    CHECK(reporter->report());
    REQUIRE(waitForPings(1));
    CHECK(pings().front().path.find("dc_ppid") == std::string::npos);
    // No identifier to hash: nothing is sent, and the reason is logged.
    platform::AdvertisingIdentifierManager::sharedManager()->setAdvertisingIdentifierForTesting("");
    CHECK_FALSE(reporter->report());
    CHECK(log.contains("<Ruzave> not sending ping. Unexpected error getting the advertisingIdentifier."));
}
