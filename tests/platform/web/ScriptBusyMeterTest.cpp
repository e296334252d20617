#include <doctest/doctest.h>

#include "platform/web/ScriptBusyMeter.h"

using platform::ScriptBusyMeter;

TEST_CASE("ScriptBusyMeter: sums the last second and forgets what is older") {
    ScriptBusyMeter m;
    CHECK(m.add(100.00, 0.1) == doctest::Approx(0.1));
    CHECK(m.add(100.50, 0.1) == doctest::Approx(0.2));
    CHECK(m.add(100.99, 0.1) == doctest::Approx(0.3));
    // A second later the first entry has left the window, the others not yet.
    CHECK(m.add(101.06, 0.0) == doctest::Approx(0.2));
    CHECK(m.add(101.60, 0.0) == doctest::Approx(0.1));
    // Long idle: buckets reused by later times start empty.
    CHECK(m.add(250.00, 0.05) == doctest::Approx(0.05));
    CHECK(m.add(250.02, 0.05) == doctest::Approx(0.1));
    // Negative time is ignored rather than subtracted.
    CHECK(m.add(250.03, -1.0) == doctest::Approx(0.1));
}

TEST_CASE("ScriptBusyMeter: many small entries in one second add up however they fall") {
    ScriptBusyMeter m;
    double total = 0;
    for (int i = 0; i < 1000; ++i) total = m.add(7.0 + i * 0.001, 0.0003);
    CHECK(total == doctest::Approx(0.3));
    // Spread over ten seconds the same work is a tenth as dense.
    ScriptBusyMeter spread;
    for (int i = 0; i < 1000; ++i) total = spread.add(7.0 + i * 0.01, 0.0003);
    CHECK(total < 0.035);
    CHECK(total > 0.025);
}
