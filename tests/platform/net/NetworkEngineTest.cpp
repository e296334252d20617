#include "platform/net/NetworkEngine.h"

#include <doctest/doctest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/runloop/MainLoop.h"
#include "tests/platform/net/NetTestSupport.h"

using nettest::Recorder;
using nettest::ServerFixture;

// A driver of virtual time moves the clock far only when no transfer is left: by then the end of the
// last one must be waiting on the main loop, or the clock races past an answer that is on its way.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: when no transfer is left the end of the last one is already queued") {
    server->route("/page", adserver::Response::text("x"));
    auto& engine = platform::NetworkEngine::shared();
    for (int i = 0; i < 20; ++i) {
        auto recorder = std::make_shared<Recorder>();
        auto connection = platform::URLConnection::create(request("/page"), recorder);
        REQUIRE(runUntil([&] { return engine.activeTransferCount() > 0 || recorder->done(); }));
        // Without the main loop: only the network thread moves.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (engine.activeTransferCount() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        REQUIRE(engine.activeTransferCount() == 0);
        runUntilIdle();
        CHECK(recorder->finishes == 1);
    }
}
