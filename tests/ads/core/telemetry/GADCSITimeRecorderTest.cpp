#include <doctest/doctest.h>

#include "CSITestSupport.h"
#include "ads/core/telemetry/GADCSITimeRecorder.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADCSITimeRecorder;

TEST_CASE_FIXTURE(Harness, "GADCSITimeRecorder: ends find only running variables and a key that finishes twice keeps both") {
    auto recorder = GADCSITimeRecorder::initWithAction("load_ad_ios");
    recorder->endTimingVariableWithName("never", "never1");
    CHECK(recorder->completedVariables().empty());

    recorder->startTimingVariableWithName("arf_ios", "arf_ios7");
    advance(0.5);
    recorder->endTimingVariableWithName("arf_ios", "arf_ios7");
    recorder->endTimingVariableWithName("arf_ios", "arf_ios7");
    CHECK(recorder->completedVariables().size() == 1);
    CHECK(recorder->ongoingVariables().empty());

    recorder->startTimingVariableWithName("arf_ios", "arf_ios7");
    advance(0.25);
    recorder->endTimingVariableWithName("other", "arf_ios7");
    auto completed = recorder->completedVariables();
    REQUIRE(completed.size() == 2);
    for (const auto& [key, variable] : completed) {
        CHECK(key.rfind("arf_ios7", 0) == 0);
        CHECK(variable->name() == "arf_ios");
    }
    CHECK(completed.at("arf_ios7")->length() == doctest::Approx(0.5));

    // Cancelling drops only the running one.
    recorder->startTimingVariableWithName("ttc_ios", "ttc");
    recorder->cancelTimingVariableWithName("ttc_ios", "ttc");
    CHECK(recorder->ongoingVariables().empty());
    CHECK(recorder->completedVariables().size() == 2);
}

TEST_CASE_FIXTURE(Harness, "GADCSITimeRecorder: a variable running when the app resigns active never becomes valid") {
    auto recorder = GADCSITimeRecorder::initWithAction("load_ad_ios");
    recorder->startTimingVariableWithName("done", "done");
    advance(0.1);
    recorder->endTimingVariableWithName("done", "done");
    recorder->startTimingVariableWithName("spoilt", "spoilt");
    advance(0.1);
    platform::NotificationCenter::defaultCenter()->post(platform::kApplicationWillResignActive);
    recorder->endTimingVariableWithName("spoilt", "spoilt");
    auto completed = recorder->completedVariables();
    REQUIRE(completed.size() == 2);
    CHECK(completed.at("done")->isValid());
    CHECK(completed.at("spoilt")->start() == -1.0);
    CHECK_FALSE(completed.at("spoilt")->isValid());
}

TEST_CASE_FIXTURE(Harness, "GADCSITimeRecorder: experiments keep duplicates and parameters need a name and a value") {
    auto recorder = GADCSITimeRecorder::initWithAction("make_wv");
    recorder->addExperimentID("e1");
    recorder->addExperimentID("e2");
    recorder->addExperimentID("e1");
    CHECK(recorder->experimentIDs() == std::vector<std::string>{"e1", "e2", "e1"});
    recorder->removeExperimentID("e1");
    CHECK(recorder->experimentIDs() == std::vector<std::string>{"e2"});
    recorder->setCustomizedParameterValue(platform::Value("v"), "");
    recorder->setCustomizedParameterValue(platform::Value(), "k");
    recorder->setCustomizedParameterValue(platform::Value("v"), "k");
    CHECK(recorder->customizedParameters() == platform::Value::parse(R"({"k":"v"})"));
}
