#include <doctest/doctest.h>

#include "conversion/ACTRemarketingReporter.h"
#include "conversion/ACTRemarketingReporterPrivate.h"
#include "conversion/RuzaveConversionPing.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;
using ruzave::ACTRemarketingReporterPrivate;

namespace {

std::string queryOf(const std::shared_ptr<ruzave::ACTReporterPrivate>& reporter) {
    REQUIRE(reporter != nullptr);
    auto url = reporter->reportingURLWithQueryParameters(*reporter->commonQueryParameters());
    REQUIRE(url.has_value());
    CHECK(url->absoluteString().rfind("https://www.ruzaveadservices.example/pagead/conversion/1234567890/?", 0) == 0);
    return *url->query();
}

} // namespace

TEST_CASE_FIXTURE(Launch, "ACTRemarketingReporter: custom parameters become data pairs, arrays one pair per element") {
    platform::Value custom = {
        {"items", platform::Value::array({"shoe", "red hat"})},
        {"Price", 12.5},
        {"count", 3},
        {"flag", true},
        {"nested", {{"a", 1}}},
        {"nothing", nullptr},
        {"bytes", platform::Value::binary({1, 2})},
        {"mixed", platform::Value::array({"a&b", platform::Value::object(), 7})},
        {"q\"uote", "x=y"},
    };
    const std::string query = queryOf(ACTRemarketingReporterPrivate::initWithConversionID(kConversionID, custom));
    CHECK(queryKeys(query) == keys({"appversion", "bundleid", "data.count", "data.flag", "data.items", "data.items",
                                    "data.mixed", "data.mixed", "data.Price", "data.q%22uote", "lat", "muid", "osversion",
                                    "remarketing_only", "sdkversion", "timestamp", "usage_tracking_enabled"}));
    CHECK(query.find("data.items=shoe&data.items=red%20hat") != std::string::npos);
    CHECK(query.find("data.mixed=a%26b&data.mixed=7") != std::string::npos);
    CHECK(rawValue(query, "data.Price") == "12.5");
    CHECK(rawValue(query, "data.flag") == "1");
    CHECK(rawValue(query, "data.q%22uote") == "x%3Dy");
    CHECK(rawValue(query, "remarketing_only") == "1");
    CHECK(rawValue(query, "usage_tracking_enabled") == "1");
    // Values that have no text form are left out.
    CHECK(rawValue(query, "data.nested") == "<none>");
    CHECK(rawValue(query, "data.nothing") == "<none>");
    CHECK(rawValue(query, "data.bytes") == "<none>");
}

TEST_CASE_FIXTURE(Launch, "ACTRemarketingReporter: refuses an empty identifier and takes junk parameters as none") {
    CHECK(ruzave::ACTRemarketingReporter::initWithConversionID("", platform::Value::object()) == nullptr);
    const std::string query = queryOf(ACTRemarketingReporterPrivate::initWithConversionID(kConversionID, "not a dictionary"));
    CHECK(query.find("data.") == std::string::npos);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTRemarketingReporter: remarketing pings are never de-duplicated") {
    ruzave::ACTRemarketingReporter::reportWithConversionID(kConversionID, platform::Value{{"k", "v"}});
    ruzave::ACTRemarketingReporter::reportWithConversionID(kConversionID, platform::Value{{"k", "v"}});
    // Two remarketing pings and the launch's one usage ping.
    REQUIRE(waitForPings(3));
    runUntilIdle();
    int remarketing = 0;
    for (const auto& p : pings()) remarketing += p.param("remarketing_only") == "1";
    CHECK(remarketing == 2);
    CHECK(pings().size() == 3);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTRemarketingReporter: the simple entry points forward, with the screen name and without the label") {
    ruzave::RuzaveConversionPing::pingRemarketingWithConversionId(kConversionID, std::string("unused"), std::string("Home"),
                                                                  platform::Value{{"k", "v"}});
    REQUIRE(waitForPings(2));
    bool seen = false;
    for (const auto& p : pings()) {
        if (p.param("remarketing_only") != "1") continue;
        seen = true;
        CHECK(p.param("data.screen_name") == "Home");
        CHECK(p.param("data.k") == "v");
        CHECK(p.query.find("unused") == std::string::npos);
    }
    CHECK(seen);
    CHECK(ruzave::RuzaveConversionPing::sdkVersion() == "ct-sdk-i-v3.1.1");
}
