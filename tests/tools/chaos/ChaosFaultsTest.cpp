#include "tools/chaos/ChaosFaults.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "tools/adserver/FaultyAds.h"

using chaos::FaultKind;
using chaos::FaultPlan;

TEST_CASE("FaultPlan: the same seed gives the same plan, with a fixed small number of runaway loads") {
    std::mt19937_64 a(99), b(99);
    auto first = FaultPlan::make(1200, a);
    auto second = FaultPlan::make(1200, b);
    CHECK(first == second);
    std::map<std::string, std::size_t> counts;
    for (const FaultKind* kind : first) ++counts[kind->name];
    // 1200 loads: two of each runaway kind, however the draw went.
    CHECK(counts["core-run-forever"] == 2);
    CHECK(counts["creative-loop"] == 2);
    // Every drawn kind shows up in a plan this long.
    for (const auto& kind : chaos::faultKinds()) CHECK_MESSAGE(counts[kind.name] > 0, kind.name);
}

TEST_CASE("FaultPlan: small plans") {
    std::mt19937_64 random(1);
    CHECK(FaultPlan::make(0, random).empty());
    auto one = FaultPlan::make(1, random);
    REQUIRE(one.size() == 1);
    CHECK_FALSE(one[0]->runaway);
    // Two loads hold one of each runaway kind.
    auto two = FaultPlan::make(2, random);
    CHECK(std::all_of(two.begin(), two.end(), [](const FaultKind* k) { return k->runaway; }));
    CHECK(two[0] != two[1]);
}

TEST_CASE("FaultPlan: every kind's ad unit is a fault the server or the core page knows") {
    auto scenario = chaos::corePageScenario("core.example", "/core.html", "https://ads.example");
    const auto& names = adserver::faultyAdNames();
    std::mt19937_64 random(5);
    for (const auto& kind : chaos::faultKinds()) {
        for (int i = 0; i < 20; ++i) {
            std::string unit = chaos::adUnitFor(kind, random);
            REQUIRE(unit.rfind("chaos/", 0) == 0);
            if (kind.name.rfind("core-", 0) == 0) {
                CHECK_MESSAGE(scenario.slots.count(unit) == 1, unit);
            } else {
                std::string fault = adserver::FaultName::parse(unit).name;
                CHECK_MESSAGE(std::find(names.begin(), names.end(), fault) != names.end(), unit);
            }
        }
    }
    // Everything else gets an ad URL on the ad base, where the faulty route answers.
    CHECK(scenario.fallback.answer == adserver::CorePageScenario::Answer::AdURL);
    CHECK(scenario.adBase == "https://ads.example");
    CHECK(chaos::findFaultKind("drop") != nullptr);
    CHECK(chaos::findFaultKind("nope") == nullptr);
}

TEST_CASE("FaultPlan: a plan of chosen kinds draws only those, runaway ones included when named") {
    std::mt19937_64 random(8);
    auto plan = FaultPlan::make(200, random, {"drop", "creative-loop", "no-such-kind"});
    std::map<std::string, std::size_t> counts;
    for (const FaultKind* kind : plan) ++counts[kind->name];
    CHECK(counts.size() == 2);
    CHECK(counts["drop"] > 50);
    CHECK(counts["creative-loop"] > 50);
    CHECK(FaultPlan::make(10, random, {"no-such-kind"}).empty());
}
