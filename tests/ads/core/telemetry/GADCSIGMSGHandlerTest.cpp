#include <doctest/doctest.h>

#include "CSITestSupport.h"
#include "ads/core/telemetry/GADCSIGMSGHandler.h"
#include "ads/core/telemetry/GADCSIReporter.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "ads/render/GADNotification.h"
#include "platform/testing/Harness.h"

using csitest::reportingCSI;
using platform::testing::Harness;

namespace {

struct InstrumentFixture : Harness {
    std::shared_ptr<ruzave::GADCSI> csi = reportingCSI("1");
    std::shared_ptr<ruzave::GADCSIGMSGHandler> handler = ruzave::GADCSIGMSGHandler::init();

    bool instrument(platform::Value parameters) {
        return handler->handleNotification(ruzave::GADNotification::initWithName("instrument", parameters), nullptr);
    }
    bool tick(const std::string& label, const std::string& timestamp) {
        return instrument({{"action", "tick"}, {"label", label}, {"timestamp", timestamp}});
    }
    std::shared_ptr<ruzave::GADCSITimeRecorder> recorder() {
        return csi->timeRecorderForAction(std::string(ruzave::GADCSI::kMakeWebViewAction));
    }
    std::optional<std::string> reported(const char* key) {
        auto reporter = ruzave::GADCSIReporter::initWithConfiguration(csi->configuration());
        auto url = reporter->URLForTimeRecorder(recorder());
        if (!url) return std::nullopt;
        return ruzave::gad_parameterValueForKey(*url, key);
    }
};

} // namespace

TEST_CASE_FIXTURE(InstrumentFixture, "GADCSIGMSGHandler: a tick 250 ms after its start label is reported as 250") {
    csi->setTimestamp(1700000000000, "native:view_load");
    CHECK(tick("first_paint", "1700000000250"));
    CHECK(csi->timestampForLabel("first_paint") == 1700000000250);
    CHECK(reported("it") == std::optional<std::string>("first_paint.250"));

    // From another start label, and one at the same instant (length 0, never reported).
    CHECK(instrument({{"action", "tick"}, {"label", "b"}, {"start_label", "first_paint"}, {"timestamp", "1700000001250"}}));
    CHECK(tick("same", "1700000000000"));
    CHECK(reported("it") == std::optional<std::string>("b.1000"));
}

TEST_CASE_FIXTURE(InstrumentFixture, "GADCSIGMSGHandler: ticks without a start, or with negative, garbled or huge times add nothing reportable") {
    CHECK(tick("no_start", "1700000000250"));
    CHECK(recorder()->completedVariables().empty());

    csi->setTimestamp(1000, "native:view_load");
    CHECK(tick("before_start", "999"));
    CHECK(tick("negative", "-5"));
    CHECK(tick("garbled", "NaN"));
    CHECK(tick("", "2000"));
    CHECK(recorder()->completedVariables().empty());
    CHECK(tick("huge", "9223372036854775807"));
    CHECK(recorder()->completedVariables().size() == 1);
    CHECK_FALSE(reported("it").has_value());
    // Unknown and missing actions are still handled messages.
    CHECK(instrument({{"action", "bogus"}}));
    CHECK(instrument(platform::Value::object()));
}

TEST_CASE_FIXTURE(InstrumentFixture, "GADCSIGMSGHandler: experiments and plain extras join the report, odd names do not") {
    csi->setTimestamp(1000, "native:view_load");
    tick("t", "1100");
    CHECK(instrument({{"action", "experiment"}, {"value", "exp-9"}}));
    CHECK(instrument({{"action", "extra"}, {"name", "creative_id"}, {"value", "a&b=\"c\""}}));
    CHECK(instrument({{"action", "extra"}, {"name", "x&it=1"}, {"value", "v"}}));
    CHECK(instrument({{"action", "extra"}, {"name", "\"q\""}, {"value", "v"}}));
    CHECK(reported("creative_id") == std::optional<std::string>("a&b=\"c\""));
    auto reporter = ruzave::GADCSIReporter::initWithConfiguration(csi->configuration());
    recorder()->addCompletedVariable(csitest::finished("t", 0.1));
    auto url = reporter->URLForTimeRecorder(recorder());
    REQUIRE(url);
    CHECK(ruzave::gad_parameterValuesForKey(*url, "it")->size() == 1);
    CHECK(ruzave::gad_parameterValueForKey(*url, "e") ==
          std::optional<std::string>(ruzave::GADRequest::sdkVersion() + ",exp-9"));
    CHECK(url->absoluteString().find("%22q%22") == std::string::npos);
}
