#include <doctest/doctest.h>

#include "ads/core/telemetry/GADTimingManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADTimingManager: saves on addition and reloads saved timings idle") {
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
    CHECK((*saved)["adapter"]["end"].get<std::uint64_t>() > 0);
    auto m = GADTimingManager::init();
    m->setIdentifier("unit-1");
    auto loaded = m->timingForCategory("adapter");
    REQUIRE(loaded);
    CHECK(loaded->startTimestamp() == 0);
    CHECK(loaded->endTimestamp() == 0);
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
