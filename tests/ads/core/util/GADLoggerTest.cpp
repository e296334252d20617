#include <doctest/doctest.h>

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
    bool ranLater = false;
    bool ranBeforeReturn = true;
    auto queue = platform::DispatchQueue::createSerial("test.background");
    queue->sync([&] {});
    queue->async([&] {
        GADRunOnMainThread([&] { ranLater = true; });
        ranBeforeReturn = ranLater;
    });
    CHECK(runUntil([&] { return ranLater; }));
    CHECK_FALSE(ranBeforeReturn);
}
