#include <doctest/doctest.h>

#include "ads/core/telemetry/GADCacheSet.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADCacheSet;

TEST_CASE_FIXTURE(Harness, "GADCacheSet: the pool keeps what fits, once each, and hands each out once") {
    auto pool = GADCacheSet::initWithMaxCapacity(2);
    auto a = std::make_shared<int>(1), b = std::make_shared<int>(2), c = std::make_shared<int>(3);
    pool->addObject(a);
    pool->addObject(a);
    pool->addObject(nullptr);
    pool->addObject(b);
    pool->addObject(c);
    CHECK(pool->count() == 2);
    auto first = pool->anyObjectAs<int>();
    auto second = pool->anyObjectAs<int>();
    REQUIRE(first);
    REQUIRE(second);
    CHECK(first != second);
    CHECK((first == a || first == b));
    CHECK((second == a || second == b));
    CHECK(pool->anyObject() == nullptr);

    auto none = GADCacheSet::initWithMaxCapacity(0);
    none->addObject(a);
    CHECK(none->anyObject() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "GADCacheSet: a memory warning empties the pool, which fills again afterwards") {
    auto pool = GADCacheSet::initWithMaxCapacity(3);
    pool->addObject(std::make_shared<int>(1));
    pool->addObject(std::make_shared<int>(2));
    platform::NotificationCenter::defaultCenter()->post(platform::kApplicationDidReceiveMemoryWarning);
    runUntilIdle();
    CHECK(pool->count() == 0);
    pool->addObject(std::make_shared<int>(3));
    CHECK(pool->count() == 1);
}
