// Times the conversion library's ping store and retry pass: 10,000 pings stored (each durable before
// it is sent; the store keeps 500) and reloaded as a relaunch does, then their retry pass against the
// local server answering 500, reporting the longest single main-thread task.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "conversion/ACTApplication.h"
#include "conversion/ACTPinger.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "conversion/ACTPingerStore.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/ConversionEndpoints.h"

namespace {

constexpr int kPings = 10000;

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::shared_ptr<ruzave::ACTPinger> newPing(int i) {
    auto request = platform::URLRequest::withURLString(std::string("https://") +
                                                       adserver::ConversionEndpoints::kConversionHost +
                                                       "/pagead/conversion/" + std::to_string(i) +
                                                       "/?label=bench&value=1&timestamp=1700000000.5");
    return ruzave::ACTPinger::initWithRequest(*request);
}

} // namespace

int main() {
    char pattern[] = "/tmp/ruzave-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string home = pattern;
    ::setenv("RUZAVE_APP_HOME", home.c_str(), 1);
    platform::Sandbox::resetForTesting(home);
    platform::UserDefaults::resetStandardForTesting();

    // Stored and reloaded.
    auto start = std::chrono::steady_clock::now();
    {
        auto store = ruzave::ACTPingerStore::initFromStorage();
        for (int i = 0; i < kPings; ++i) store->addPinger(newPing(i));
    }
    platform::UserDefaults::resetStandardForTesting();
    const std::size_t reloaded = ruzave::ACTPingerStore::initFromStorage()->allPingers().size();
    const double storeMs = msSince(start);

    // Their retry pass: every batch of the reloaded queue, each answered 500.
    adserver::Options options;
    options.hostNames = adserver::ConversionEndpoints::hostNames();
    auto server = adserver::AdServer::start(options);
    if (!server) {
        std::fprintf(stderr, "the local server did not start\n");
        return 1;
    }
    adserver::ConversionEndpoints failing;
    failing.status = 500;
    adserver::installConversionEndpoints(*server, failing);
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());

    platform::Clock::useVirtualTime();
    auto& loop = platform::MainLoop::main();
    loop.resetTaskStats();
    auto application = ruzave::ACTApplication::sharedApplication();
    auto queue = application->retryScheduler()->retryQueue();
    const std::size_t queued = queue->count();
    const std::size_t batches = (queued + ruzave::ACTPingRetryQueue::kMaxPingsPerBatch - 1) /
                                ruzave::ACTPingRetryQueue::kMaxPingsPerBatch;
    loop.runUntilIdle();  // the first batch, queued as the library starts
    for (std::size_t batch = 0; batch < batches; ++batch) {
        if (batch > 0) platform::Clock::advance(ruzave::ACTPingRetryScheduler::kTimeBetweenBatches);
        // Every attempt fails (a 500, or now and then a broken kept-alive connection) and goes back to the
        // end of the queue: the batch is over when the queue is whole again.
        loop.runUntil([&] {
            return queue->count() == queued && platform::NetworkEngine::shared().activeTransferCount() == 0;
        }, 60);
        loop.runUntilIdle();
    }
    const double maxTaskMs = loop.maxTaskSeconds() * 1000.0;
    const std::size_t sent = adserver::ConversionEndpoints::pings(*server).size();

    ruzave::ACTApplication::resetSharedForTesting();
    loop.runUntilIdle();
    config->reset();
    server.reset();
    platform::UserDefaults::resetStandardForTesting();
    platform::Sandbox::removeItem(home);

    std::fprintf(stderr, "stored and reloaded %zu of %d, queued %zu, sent %zu in %zu batches\n", reloaded, kPings, queued,
                 sent, batches);
    std::printf("conversion_store_10000_ms: %.1f ms\n", storeMs);
    std::printf("conversion_retry_10000_max_main_task_ms: %.2f ms\n", maxTaskMs);
    return 0;
}
