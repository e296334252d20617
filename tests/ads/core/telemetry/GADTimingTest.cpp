#include <doctest/doctest.h>

#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADSlotStatistics.h"
#include "ads/core/telemetry/GADTiming.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTiming: the clock starts at 1 and follows virtual time") {
    CHECK(GADMonotonicMilliseconds() == 1);
    advance(0.25);
    CHECK(GADAbsoluteTime::absoluteTimeInMilliseconds() == 251);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTiming: idle, running, ended and restarted") {
    auto t = GADTiming::initWithCategory(std::string("load"));
    t->end();
    CHECK(t->elapsedMilliseconds() == 0);
    CHECK_FALSE(t->isActive());
    CHECK(t->endTimestamp() == 0);
    t->start();
    advance(0.5);
    CHECK(t->isActive());
    CHECK(t->elapsedMilliseconds() == 500);
    t->setExplicitEnd(true);
    CHECK(t->elapsedMilliseconds() == 0);
    advance(0.1);
    t->end();
    CHECK(t->elapsedMilliseconds() == 600);
    CHECK(t->elapsedMillisecondsString() == "600");
    t->start();
    CHECK(t->isActive());
    CHECK(t->endTimestamp() == 0);
    t->reset();
    CHECK(t->startTimestamp() == 0);
}

TEST_CASE("GADTiming: the representation round-trips without user data or explicit end") {
    auto t = GADTiming::initWithCategory(std::string("c"));
    t->setStartTimestamp(5);
    t->setEndTimestamp(9);
    t->setExplicitEnd(true);
    platform::Value rep = t->dictionaryRepresentation();
    CHECK_FALSE(rep.contains("userData"));
    auto copy = t->copy();
    CHECK(copy->category() == "c");
    CHECK(copy->elapsedMilliseconds() == 4);
    CHECK_FALSE(copy->explicitEnd());
    t->setValue("v", "k");
    CHECK(t->valueForKey("k") == platform::Value("v"));
    CHECK(t->dictionaryRepresentation()["userData"]["k"] == "v");
    t->removeValueForKey("k");
    CHECK_FALSE(t->valueForKey("k"));
    auto odd = GADTiming::initWithDictionaryRepresentation({{"start", "junk"}, {"end", -4}});
    CHECK(odd->startTimestamp() == 0);
    CHECK(odd->endTimestamp() == 0);
    CHECK(GADTiming::init()->category().rfind("GADTiming (", 0) == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTiming: intervals read whole milliseconds from the exact clock") {
    // Wherever an interval starts, 300 ms reads 300 (seconds in a double, scaled and truncated, read 299 at
    // some starts and 301 at others); so do the slot statistics' adapter durations built on it.
    auto t = GADTiming::initWithCategory(std::string("interval"));
    auto stats = GADSlotStatistics::init();
    std::string durations;
    for (int start = 0; start < 200; ++start) {
        advance(0.001 * 7);
        t->start();
        stats->startTimingAdapter();
        advance(0.3);
        t->end();
        stats->endTimingAdapterWithExitCode(0);
        REQUIRE(t->elapsedMilliseconds() == 300);
        durations += (durations.empty() ? "" : ",") + std::string("300");
    }
    CHECK(stats->adapterDurationsParameter() == std::optional<std::string>(durations));
    // The clock counts from the same exact reading: one millisecond is one.
    const auto before = GADMonotonicMilliseconds();
    advance(0.001);
    CHECK(GADMonotonicMilliseconds() - before == 1);
}
