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
