#include <doctest/doctest.h>

#include "ads/core/telemetry/GADTimingManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTimingManager: saves on addition and reloads an ended timing with its duration") {
    {
        auto m = GADTimingManager::init();
        m->setIdentifier("unit-1");
        CHECK(m->userDefaultsKey() == "ruzave_timing_unit-1");
        auto t = m->addTimingWithCategory("adapter");
        t->start();
        advance(1);
        t->end();
        m->addTiming(t);
        m->applicationWillTerminate();
    }
    auto saved = platform::UserDefaults::standard()->dictionary("ruzave_timing_unit-1");
    REQUIRE(saved);
    const auto start = (*saved)["adapter"]["start"].get<std::uint64_t>();
    const auto end = (*saved)["adapter"]["end"].get<std::uint64_t>();
    CHECK(end - start >= 999); // one virtual second, give or take the rounding of the clock
    auto m = GADTimingManager::init();
    m->setIdentifier("unit-1");
    auto loaded = m->timingForCategory("adapter");
    REQUIRE(loaded);
    CHECK(loaded->startTimestamp() == start);
    CHECK(loaded->endTimestamp() == end);
    CHECK(loaded->elapsedMilliseconds() == end - start);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTimingManager: a saved running timing comes back idle and ended ones survive the next save") {
    platform::UserDefaults::standard()->set(
        "ruzave_timing_u", platform::Value{{"ended", {{"category", "ended"}, {"start", 100}, {"end", 350}}},
                                           {"running", {{"category", "running"}, {"start", 100}, {"end", 0}}}});
    auto m = GADTimingManager::init();
    m->setIdentifier("u");
    auto ended = m->timingForCategory("ended");
    auto running = m->timingForCategory("running");
    REQUIRE(ended);
    REQUIRE(running);
    CHECK(ended->elapsedMilliseconds() == 250);
    CHECK_FALSE(running->isActive());
    CHECK(running->startTimestamp() == 0);
    // The next addition writes the set back: the ended timing keeps its stamps.
    m->addTimingWithCategory("other");
    m->applicationWillTerminate();
    auto saved = platform::UserDefaults::standard()->dictionary("ruzave_timing_u");
    REQUIRE(saved);
    CHECK((*saved)["ended"]["start"] == 100);
    CHECK((*saved)["ended"]["end"] == 350);
    CHECK((*saved)["running"]["start"] == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTimingManager: the same identifier again keeps running timings") {
    auto m = GADTimingManager::init();
    m->setIdentifier("u");
    m->addTimingWithCategory("a");
    auto running = m->timingForCategory("a");
    running->start();
    m->setIdentifier("u");
    CHECK(m->timingForCategory("a") == running);
    CHECK(running->isActive());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTimingManager: removal reaches the defaults only with the next addition") {
    auto m = GADTimingManager::init();
    m->setIdentifier("u");
    m->addTimingWithCategory("a");
    m->addTimingWithCategory("b");
    m->removeTimingForCategory("a");
    m->applicationWillTerminate();
    CHECK(platform::UserDefaults::standard()->dictionary("ruzave_timing_u")->contains("a"));
    m->addTimingWithCategory("c");
    m->applicationWillTerminate();
    auto saved = platform::UserDefaults::standard()->dictionary("ruzave_timing_u");
    CHECK_FALSE(saved->contains("a"));
    CHECK(saved->contains("c"));
    CHECK(m->categories() == std::vector<std::string>{"b", "c"});
}
