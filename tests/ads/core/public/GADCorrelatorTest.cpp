#include <doctest/doctest.h>

#include <cstdint>
#include <deque>
#include <thread>

#include "ads/core/public/GADCorrelator.h"
#include "platform/testing/Harness.h"

using ruzave::GADCorrelator;

namespace {

// Scripted draws, in order; the bound each draw was asked under is recorded.
struct ScriptedRandom {
    explicit ScriptedRandom(std::deque<std::uint32_t> draws) : draws_(std::move(draws)) {
        GADCorrelator::setRandomSource([this](std::uint32_t bound) {
            bounds.push_back(bound);
            std::uint32_t r = draws_.empty() ? 0 : draws_.front();
            if (!draws_.empty()) draws_.pop_front();
            return r;
        });
    }
    ~ScriptedRandom() { GADCorrelator::setRandomSource(nullptr); }
    std::deque<std::uint32_t> draws_;
    std::deque<std::uint32_t> bounds;
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "GADCorrelator: identifiers stay in range and a reset moves past the current one") {
    ScriptedRandom random({4294967292u, 0xFFFFFFFFu, 5, 6, 6, 0});
    CHECK(GADCorrelator::init()->correlationID() == 4294967294u);
    // A source that ignores the bound is folded back, never wrapping to 0 or 1.
    CHECK(GADCorrelator::init()->correlationID() >= 2);
    CHECK(random.bounds.back() == 4294967293u);
    auto correlator = GADCorrelator::init();
    REQUIRE(correlator->correlationID() == 7);
    correlator->reset(); // 6 + 1 is the current one: 8
    CHECK(correlator->correlationID() == 8);
    correlator->reset(); // 6 + 1 differs from 8
    CHECK(correlator->correlationID() == 7);
    correlator->reset(); // a draw of 0 gives 1, never 0
    CHECK(correlator->correlationID() == 1);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADCorrelator: successive resets always differ and are never 0") {
    auto c = GADCorrelator::init();
    std::uint32_t previous = c->correlationID();
    CHECK(previous != 0);
    for (int i = 0; i < 200; ++i) {
        c->reset();
        std::uint32_t next = c->correlationID();
        CHECK(next != 0);
        CHECK(next != previous);
        previous = next;
    }
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADCorrelator: resets from other threads are seen by the next read") {
    auto c = GADCorrelator::init();
    std::uint32_t before = c->correlationID();
    std::uint32_t seenThere = 0;
    std::thread other([&] {
        c->reset();
        seenThere = c->correlationID();
    });
    other.join();
    CHECK(seenThere != before);
    CHECK(c->correlationID() == seenThere);
    // A correlator dropped with a reset still queued leaves nothing dangling.
    auto dropped = GADCorrelator::init();
    for (int i = 0; i < 50; ++i) dropped->reset();
    dropped.reset();
}
