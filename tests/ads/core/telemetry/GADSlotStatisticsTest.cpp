#include <doctest/doctest.h>

#include "ads/core/telemetry/GADSlotStatistics.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADSlotStatistics;

TEST_CASE_FIXTURE(Harness, "GADSlotStatistics: adapters ending with 3 and 0 after 5000 and 1234 ms give both parameters in step") {
    auto stats = GADSlotStatistics::init();
    stats->setIdentifier("unit-1");
    stats->startTimingAdapter();
    advance(5.0);
    stats->endTimingAdapterWithExitCode(3);
    stats->startTimingAdapter();
    advance(1.234);
    stats->endTimingAdapterWithExitCode(0);
    CHECK(stats->adapterDurationsParameter() == std::optional<std::string>("5000,1234"));
    CHECK(stats->adapterExitCodesParameter() == std::optional<std::string>("3,0"));

    // What was collected survives into the next slot of the same ad unit.
    stats->statistics()->applicationWillTerminate();
    auto next = GADSlotStatistics::init();
    next->setIdentifier("unit-1");
    CHECK(next->adapterExitCodesParameter() == std::optional<std::string>("3,0"));

    stats->resetTimingAdapters();
    CHECK_FALSE(stats->adapterDurationsParameter().has_value());
    CHECK_FALSE(stats->adapterExitCodesParameter().has_value());
}

TEST_CASE_FIXTURE(Harness, "GADSlotStatistics: ending an adapter that was never timed keeps durations and codes paired") {
    auto stats = GADSlotStatistics::init();
    stats->endTimingAdapterWithExitCode(4);
    CHECK(stats->adapterDurationsParameter() == std::optional<std::string>("0"));
    CHECK(stats->adapterExitCodesParameter() == std::optional<std::string>("4"));
    stats->startTimingAdapter();
    advance(0.25);
    stats->endTimingAdapterWithExitCode(1);
    CHECK(stats->adapterDurationsParameter() == std::optional<std::string>("0,250"));
    CHECK(stats->adapterExitCodesParameter() == std::optional<std::string>("4,1"));
}

TEST_CASE_FIXTURE(Harness, "GADSlotStatistics: an empty identifier keeps the adapter lists in memory only") {
    auto stats = GADSlotStatistics::init();
    stats->setIdentifier("unit-mem");
    stats->setIdentifier("");
    stats->startTimingAdapter();
    advance(0.1);
    stats->endTimingAdapterWithExitCode(0);
    CHECK(stats->adapterExitCodesParameter() == std::optional<std::string>("0"));
    stats->statistics()->applicationWillTerminate();
    stats->timingManager()->applicationWillTerminate();
    // Nothing is written under a key of its own nor under a bare prefix that unnamed slots would share.
    auto defaults = platform::UserDefaults::standard();
    CHECK_FALSE(defaults->object("ruzave_timing_").has_value());
    CHECK_FALSE(defaults->object("ruzave_stats_").has_value());
    auto next = GADSlotStatistics::init();
    next->setIdentifier("unit-mem");
    CHECK_FALSE(next->adapterExitCodesParameter().has_value());
    CHECK_FALSE(next->adapterDurationsParameter().has_value());
}
