#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ads/render/GADDelayLoadDelegate.h"
#include "ads/render/GADDelayPageLoadGMSGHandler.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADDelayPageLoadGMSGHandler;

namespace {

struct DelayRecorder : ruzave::GADDelayLoadDelegate {
    std::vector<std::string> calls;
    void loadHandlerDidCancel(GADDelayPageLoadGMSGHandler&) override { calls.push_back("cancel"); }
    void loadHandlerDidChangeDelay(GADDelayPageLoadGMSGHandler&, int from, int to) override {
        calls.push_back(std::to_string(from) + ">" + std::to_string(to));
    }
};

bool send(GADDelayPageLoadGMSGHandler& handler, const std::string& query) {
    return handler.handleRequest(*platform::URLRequest::withURLString("gmsg://h/delayPageLoaded?" + query), nullptr);
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADDelayPageLoadGMSGHandler: counts starts and stops one turn later and never below 0") {
    auto recorder = std::make_shared<DelayRecorder>();
    auto handler = GADDelayPageLoadGMSGHandler::initWithDelegate(recorder);
    // A stop at 0 says nothing.
    CHECK(send(*handler, "stop=1"));
    runUntilIdle();
    CHECK(handler->delayCount() == 0);
    CHECK(recorder->calls.empty());
    CHECK(send(*handler, "start=1"));
    CHECK(send(*handler, "start=0"));
    // The change waits for the next turn of the main queue.
    CHECK(handler->delayCount() == 0);
    runUntilIdle();
    CHECK(send(*handler, "stop="));
    runUntilIdle();
    CHECK(handler->delayCount() == 1);
    CHECK(recorder->calls == std::vector<std::string>{"0>1", "1>2", "2>1"});
    // The first key present in the order start, stop, cancel decides; none of them does nothing.
    CHECK(send(*handler, "cancel=1&stop=1"));
    CHECK(send(*handler, "stop=1"));
    CHECK(send(*handler, "other=1"));
    runUntilIdle();
    CHECK(handler->delayCount() == 0);
    CHECK(recorder->calls.back() == "1>0");
}

TEST_CASE_FIXTURE(Harness, "GADDelayPageLoadGMSGHandler: after a cancel the count still moves but nobody hears it") {
    auto recorder = std::make_shared<DelayRecorder>();
    auto handler = GADDelayPageLoadGMSGHandler::initWithDelegate(recorder);
    send(*handler, "start=1");
    send(*handler, "cancel=1");
    runUntilIdle();
    CHECK(handler->delayCount() == 0);
    CHECK(recorder->calls == std::vector<std::string>{"0>1", "cancel"});
    CHECK_FALSE(handler->delegate());
    send(*handler, "start=1");
    send(*handler, "start=1");
    send(*handler, "stop=1");
    send(*handler, "cancel=1");
    send(*handler, "start=1");
    runUntilIdle();
    CHECK(handler->delayCount() == 1);
    CHECK(recorder->calls.size() == 2);
}
