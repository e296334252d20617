#include <doctest/doctest.h>

#include "../net/FetchTestSupport.h"
#include "CSITestSupport.h"
#include "ads/core/public/GADRequest.h"
#include "platform/runloop/Clock.h"
#include "tools/adserver/AdResponses.h"

using csitest::finished;
using csitest::reportingCSI;
using fetchtest::ServerFixture;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADCSI: with the setting 0 no recorder is handed out") {
    auto csi = reportingCSI("0");
    CHECK_FALSE(csi->configuration()->reportingEnabled());
    CHECK(csi->timeRecorderForAction(std::string("load_ad_ios")) == nullptr);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADCSI: a garbled probability setting falls back to sampling") {
    // "nan" reads as 0 (no digits), so reporting is off; never a crash or a draw above 1000.
    auto csi = reportingCSI("NaN");
    CHECK_FALSE(csi->configuration()->reportingEnabled());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADCSI: a recorder per action carries the SDK version and later the query id") {
    auto csi = reportingCSI("1");
    CHECK(csi->timeRecorderForAction(std::nullopt) == nullptr);
    csi->setGWSQueryID(std::string("gq-1"));
    auto recorder = csi->timeRecorderForAction(std::string("load_ad_ios"));
    REQUIRE(recorder);
    const std::string version = ruzave::GADRequest::sdkVersion();
    CHECK(recorder->experimentIDs() == std::vector<std::string>{version});
    CHECK(recorder->customizedParameters() == platform::Value({{"sdkVersion", version}}));
    // Asked again: the same recorder, now with "gqi".
    auto again = csi->timeRecorderForAction(std::string("load_ad_ios"));
    CHECK(again == recorder);
    CHECK(recorder->customizedParameters()["gqi"] == "gq-1");
    CHECK(csi->timeRecorderForAction(std::string("make_wv")) != recorder);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADCSI: time stamps are kept by label until the next report") {
    auto csi = reportingCSI("0");
    platform::Clock::setWallTime(1500000000.25);
    csi->recordTimestampForLabel("native:view_load");
    csi->setTimestamp(-5, "neg");
    CHECK(csi->timestampForLabel("native:view_load") == 1500000000250);
    CHECK(csi->timestampForLabel("neg") == -5);
    CHECK(csi->timestampForLabel("none") == 0);
    csi->sendReport();
    CHECK(csi->timestampForLabel("native:view_load") == 0);
}

TEST_CASE_FIXTURE(ServerFixture, "GADCSI: the worked load report reaches the report server") {
    adserver::installPingEndpoints(*server);
    auto csi = reportingCSI("1");
    csi->setGWSQueryID(std::string("gq-7"));
    auto recorder = csi->timeRecorderForAction(std::string("load_ad_ios"));
    REQUIRE(recorder);
    recorder = csi->timeRecorderForAction(std::string("load_ad_ios"));
    recorder->startTimingVariableWithName("arf_ios", "arf_ios9");
    recorder->startTimingVariableWithName("ttc_ios", "ttc_ios9");
    advance(0.8123);
    recorder->endTimingVariableWithName("arf_ios", "arf_ios9");
    advance(1.5 - 0.8123);
    recorder->endTimingVariableWithName("ttc_ios", "ttc_ios9");
    // A recorder with nothing finished sends nothing.
    REQUIRE(csi->timeRecorderForAction(std::string("make_wv")));
    csi->sendReport();
    REQUIRE(settle([&] { return server->requestCount("/csi") == 1; }));
    auto request = server->requests("/csi").at(0);
    CHECK(request.host == "ping.ruzave.example");
    CHECK(request.param("s") == "diri_sdk");
    CHECK(request.param("v") == "3");
    CHECK(request.param("action") == "load_ad_ios");
    CHECK(request.param("it") == "arf_ios.812,ttc_ios.1500");
    CHECK(request.param("gqi") == "gq-7");
    CHECK(request.param("sdkVersion") == ruzave::GADRequest::sdkVersion());
    CHECK(request.param("e") == ruzave::GADRequest::sdkVersion());
    CHECK(request.header("user-agent").rfind("RuzaveCsi/1.0 (", 0) == 0);
    // The report took the variables with it.
    csi->sendReport();
    settle([] { return true; });
    CHECK(server->requestCount("/csi") == 1);
}
