#include "tools/demo/DemoTimeline.h"

#include <doctest/doctest.h>

#include <thread>
#include <vector>

using demo::DemoTimeline;

TEST_CASE("DemoTimeline: lines come out in time order and equal stamps keep their order") {
    DemoTimeline timeline;
    timeline.markAt(20, "late");
    timeline.markAt(5, "first at five");
    timeline.markAt(5, "second at five");
    timeline.markAt(-1, "server, before the anchor");
    auto lines = timeline.lines();
    REQUIRE(lines.size() == 4);
    CHECK(lines[0].text == "server, before the anchor");
    CHECK(lines[1].text == "first at five");
    CHECK(lines[2].text == "second at five");
    CHECK(lines[3].text == "late");
}

TEST_CASE("DemoTimeline: a line shows its milliseconds to a tenth, right-aligned") {
    CHECK(DemoTimeline::formatLine({12.34, "core page loaded"}) == "[    12.3 ms] core page loaded\n");
    CHECK(DemoTimeline::formatLine({12345.0, "x"}) == "[ 12345.0 ms] x\n");
    DemoTimeline timeline;
    timeline.markAt(1, "a");
    timeline.markAt(2, "b");
    CHECK(timeline.render() == "[     1.0 ms] a\n[     2.0 ms] b\n");
}

TEST_CASE("DemoTimeline: marks from several threads are all kept") {
    DemoTimeline timeline;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&timeline] {
            for (int i = 0; i < 100; ++i) timeline.mark("line");
        });
    }
    for (auto& thread : threads) thread.join();
    auto lines = timeline.lines();
    CHECK(lines.size() == 400);
    for (std::size_t i = 1; i < lines.size(); ++i) CHECK(lines[i - 1].ms <= lines[i].ms);
}
