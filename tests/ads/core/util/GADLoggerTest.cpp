#include <doctest/doctest.h>

#include <atomic>

#include "ads/core/util/GADLog.h"
#include "ads/core/util/GADLogger.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADLogger: public messages carry the bracketed prefix") {
    platform::LogCapture capture;
    GADLogger::sharedInstance()->logPublicMessage("abc");
    GADLoggingQueue()->sync([] {});
    CHECK(capture.contains("<Ruzave> abc"));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADLogger: main-thread work runs inline there and is queued elsewhere") {
    bool ran = false;
    GADRunOnMainThread([&] { ran = true; });
    CHECK(ran);
    // Shared with the worker: atomics, and the worker's block has finished before anything is checked
    // or the test returns (it writes to this frame).
    std::atomic<bool> ranLater{false};
    std::atomic<bool> ranBeforeReturn{true};
    auto queue = platform::DispatchQueue::createSerial("test.background");
    queue->async([&] {
        GADRunOnMainThread([&] { ranLater = true; });
        ranBeforeReturn = ranLater.load();
    });
    queue->sync([] {});  // the main loop does not turn meanwhile, so the queued work cannot have run
    CHECK_FALSE(ranBeforeReturn);
    CHECK_FALSE(ranLater);
    CHECK(runUntil([&] { return ranLater.load(); }));
}
