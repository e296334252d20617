#include <doctest/doctest.h>

#include "CSITestSupport.h"
#include "ads/core/telemetry/GADCSIReporter.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "platform/testing/Harness.h"

using csitest::finished;
using platform::testing::Harness;
using ruzave::GADCSIReporter;

TEST_CASE_FIXTURE(Harness, "GADCSIReporter: the worked report carries the service, action, extras and whole milliseconds") {
    auto config = ruzave::GADCSIConfiguration::initWithServiceName("diri_sdk");
    auto reporter = GADCSIReporter::initWithConfiguration(config);
    auto recorder = ruzave::GADCSITimeRecorder::initWithAction("load_ad_ios");
    recorder->setCustomizedParameterValue(platform::Value("zudo-sdk-i-v7.5.2"), "sdkVersion");
    recorder->addExperimentID("zudo-sdk-i-v7.5.2");
    recorder->setCustomizedParameterValue(platform::Value("q 1&x"), "gqi");
    recorder->addCompletedVariable(finished("arf_ios", 0.8123), "arf_ios5");
    recorder->addCompletedVariable(finished("ttc_ios", 1.5), "ttc_ios5");
    auto url = reporter->URLForTimeRecorder(recorder);
    REQUIRE(url);
    CHECK(url->absoluteString().rfind("https://ping.ruzave.example/csi?s=diri_sdk&v=3&action=load_ad_ios&", 0) == 0);
    CHECK(ruzave::gad_parameterValueForKey(*url, "it") == std::optional<std::string>("arf_ios.812,ttc_ios.1500"));
    CHECK(ruzave::gad_parameterValueForKey(*url, "gqi") == std::optional<std::string>("q 1&x"));
    CHECK(ruzave::gad_parameterValueForKey(*url, "e") == std::optional<std::string>("zudo-sdk-i-v7.5.2"));
    CHECK_FALSE(ruzave::gad_parameterValueForKey(*url, "irt").has_value());
    // Reported variables leave the recorder; with nothing left there is nothing to send.
    CHECK(recorder->completedVariables().empty());
    CHECK_FALSE(reporter->URLForTimeRecorder(recorder).has_value());
}

TEST_CASE_FIXTURE(Harness, "GADCSIReporter: invalid, zero and absurd variables are dropped and never make an empty report") {
    auto reporter = GADCSIReporter::initWithConfiguration(ruzave::GADCSIConfiguration::initWithServiceName("s"));
    auto recorder = ruzave::GADCSITimeRecorder::initWithAction("make_wv");
    auto running = ruzave::GADCSIVariableTiming::initWithName("running", 1.0);
    recorder->addCompletedVariable(running);
    recorder->addCompletedVariable(finished("zero", 0.0));
    recorder->addCompletedVariable(finished("huge", 1e300));
    recorder->addCompletedVariable(finished("nan", NAN));
    auto spoilt = finished("spoilt", 2.0);
    spoilt->setStart(-1.0);
    recorder->addCompletedVariable(spoilt);
    CHECK_FALSE(reporter->URLForTimeRecorder(recorder).has_value());
    CHECK(recorder->completedVariables().empty());

    recorder->setReportIRT(true);
    recorder->addCompletedVariable(finished("ok", 0.25));
    auto url = reporter->URLForTimeRecorder(recorder);
    REQUIRE(url);
    CHECK(ruzave::gad_parameterValueForKey(*url, "it") == std::optional<std::string>("ok.250"));
    // The recorder never started, so the variable ends 1.25 s after its origin.
    CHECK(ruzave::gad_parameterValueForKey(*url, "irt") == std::optional<std::string>("ok.1250"));
}

TEST_CASE("GADCSIReporter: creative parameter names are limited to plain characters") {
    CHECK(GADCSIReporter::isAcceptableParameterName("ad_load.ms-1"));
    CHECK_FALSE(GADCSIReporter::isAcceptableParameterName(""));
    CHECK_FALSE(GADCSIReporter::isAcceptableParameterName("a&it=1"));
    CHECK_FALSE(GADCSIReporter::isAcceptableParameterName("\"quoted\""));
    CHECK_FALSE(GADCSIReporter::isAcceptableParameterName(std::string(65, 'a')));
}
