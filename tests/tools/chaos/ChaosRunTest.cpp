#include "tools/chaos/ChaosRun.h"

#include <doctest/doctest.h>

#include <string>

#include "tools/chaos/ChaosFaults.h"

TEST_CASE("ChaosRun: a short run answers every load once, groups some, and measures the process") {
    chaos::ChaosOptions options;
    options.loads = 24;
    options.seed = 4;
    options.groupShare = 0.5;
    options.keptBanners = 8;
    chaos::ChaosReport report = chaos::ChaosRun::run(options);
    REQUIRE(report.failure.empty());
    CHECK(report.loads == 24);
    CHECK(report.tally.total().loads == 24);
    CHECK(report.groups > 0);
    CHECK(report.groupedLoads == report.tally.total().grouped);
    CHECK(report.tally.wedged() == 0);
    CHECK(report.tally.doubled() == 0);
    CHECK(report.clean());
    // Every load came to an outcome.
    auto total = report.tally.total();
    std::size_t failed = 0;
    for (const auto& [code, count] : total.failedByCode) failed += count;
    CHECK(total.received + failed == 24);
    CHECK(report.heapBefore > 0);
    CHECK(report.descriptorsBefore > 0);
    CHECK(report.render().find("wedged: 0  doubled: 0") != std::string::npos);
}

TEST_CASE("ChaosRun: faults land as their kind says") {
    // Sixty loads draw most kinds; check the ones whose outcome is fixed.
    chaos::ChaosOptions options;
    options.loads = 60;
    options.seed = 21;
    chaos::ChaosReport report = chaos::ChaosRun::run(options);
    REQUIRE(report.failure.empty());
    const auto& tally = report.tally;
    auto onlyFailed = [&](const char* kind, long code) {
        auto row = tally.row(kind);
        CHECK_MESSAGE(row.received == 0, kind);
        CHECK_MESSAGE((row.loads == 0 || row.failedByCode[code] == row.loads), kind);
    };
    CHECK(tally.row("ok").received == tally.row("ok").loads);
    CHECK(tally.row("redirect-cross").received == tally.row("redirect-cross").loads);
    onlyFailed("http-5xx", 3);
    onlyFailed("core-none", 2);
    onlyFailed("core-error", 0);
    onlyFailed("redirect-loop", 13);
    CHECK(report.clean());
}

TEST_CASE("ChaosRun: custom events that answer late, twice or after failing give one answer per load") {
    chaos::ChaosOptions options;
    options.loads = 12;
    options.seed = 2;
    options.kinds = {"mediation-late", "mediation-fail-then-fill", "mediation-chatty", "mediation-silent"};
    chaos::ChaosReport report = chaos::ChaosRun::run(options);
    REQUIRE(report.failure.empty());
    CHECK(report.clean());
    const auto& tally = report.tally;
    // The adapter's timeout ends the late one's load; its ad then comes to nothing.
    for (const char* kind : {"mediation-late", "mediation-silent", "mediation-fail-then-fill"}) {
        auto row = tally.row(kind);
        CHECK_MESSAGE(row.received == 0, kind);
        CHECK_MESSAGE(row.failedByCode[9] == row.loads, kind);
        CHECK_MESSAGE(row.doubled == 0, kind);
    }
    // The chatty one's first ad is the load's; what it says after that is the network refreshing.
    auto chatty = tally.row("mediation-chatty");
    CHECK(chatty.received == chatty.loads);
    CHECK(chatty.doubled == 0);
    CHECK(tally.total().loads == 12);
}

TEST_CASE("ChaosRun: no kind to draw from is a failure to run, not a clean run") {
    chaos::ChaosOptions options;
    options.loads = 5;
    options.kinds = {"no-such-kind"};
    chaos::ChaosReport report = chaos::ChaosRun::run(options);
    CHECK_FALSE(report.failure.empty());
    CHECK_FALSE(report.clean());
}

TEST_CASE("ChaosRun: a core page that answers twice, late or never gives each load one answer") {
    chaos::ChaosOptions options;
    options.loads = 16;
    options.seed = 6;
    options.kinds = {"core-twice", "core-late", "core-none", "core-garbage"};
    chaos::ChaosReport report = chaos::ChaosRun::run(options);
    REQUIRE(report.failure.empty());
    CHECK(report.clean());
    const auto& tally = report.tally;
    // The second answer of a request is dropped: one ad, no second one.
    CHECK(tally.row("core-twice").received == tally.row("core-twice").loads);
    // Within the 30-second wait an answer shows its ad; after it the load has failed with code 2.
    auto late = tally.row("core-late");
    CHECK(late.received + late.failedByCode[2] == late.loads);
    CHECK(tally.row("core-none").failedByCode[2] == tally.row("core-none").loads);
    CHECK(tally.total().doubled == 0);
}
