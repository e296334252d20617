#pragma once
// A test fixture (TEST_CASE_FIXTURE(platform::testing::Harness, ...)): a fresh sandbox home with
// RUZAVE_APP_HOME pointing at it, fresh user defaults and virtual time; on destruction it drains the main
// loop and removes the home. Main thread only.
#include <cstddef>
#include <functional>
#include <string>

namespace platform::testing {

struct Harness {
    Harness();
    ~Harness();
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    // Runs the main loop until `pred` holds or `realTimeoutSeconds` of real time pass; returns pred().
    bool runUntil(const std::function<bool()>& pred, double realTimeoutSeconds = 10.0);
    // Moves virtual time forward, firing what falls due.
    void advance(double seconds);
    // Runs the main loop's ready tasks until none is left; returns how many ran.
    std::size_t runUntilIdle();

    const std::string& home() const { return home_; }

  private:
    std::string home_;
};

} // namespace platform::testing
