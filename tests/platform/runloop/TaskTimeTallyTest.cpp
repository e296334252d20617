#include <doctest/doctest.h>

#include <cmath>

#include "platform/runloop/TaskTimeTally.h"

using platform::TaskTimeTally;

TEST_CASE("TaskTimeTally: one long task shows in the tail only") {
    TaskTimeTally tally;
    CHECK(tally.percentile(0.99) == 0);
    for (int i = 0; i < 199; ++i) tally.record(0.000004);
    tally.record(0.003);
    CHECK(tally.count() == 200);
    CHECK(tally.percentile(0.5) == doctest::Approx(0.00001));
    CHECK(tally.percentile(0.99) == doctest::Approx(0.00001));
    CHECK(tally.percentile(1.0) == doctest::Approx(0.003));
    CHECK(tally.maxSeconds() == doctest::Approx(0.003));
    // Out-of-range fractions read as the nearest end, NaN as the top.
    CHECK(tally.percentile(7.0) == tally.percentile(1.0));
    CHECK(tally.percentile(-1.0) == tally.percentile(0.5));
    CHECK(tally.percentile(std::nan("")) == tally.percentile(1.0));
}

TEST_CASE("TaskTimeTally: tasks past the tally count as the longest one, and a reset forgets all") {
    TaskTimeTally tally;
    tally.record(0.012);
    tally.record(2.5);
    tally.record(1e300);
    CHECK(tally.percentile(0.3) == tally.maxSeconds());
    CHECK(tally.maxSeconds() == 1e300);
    tally.reset();
    CHECK(tally.count() == 0);
    CHECK(tally.maxSeconds() == 0);
    CHECK(tally.percentile(1.0) == 0);
    // A clock that did not move, or went wrong, counts as an instant task.
    tally.record(-1);
    tally.record(std::nan(""));
    CHECK(tally.count() == 2);
    CHECK(tally.percentile(1.0) == 0);
}
