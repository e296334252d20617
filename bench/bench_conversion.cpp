// Times the conversion library's ping store and retry pass: 10,000 pings stored (each durable before
// it is sent; the store keeps 500) and reloaded as a relaunch does, then their retry pass against the
// local server answering 500, reporting the longest single main-thread task. Then the report call an
// app makes at launch, on the main thread, which returns only once its ping is on disk.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "conversion/ACTApplication.h"
#include "conversion/ACTConversionReporter.h"
#include "conversion/ACTPinger.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "conversion/ACTPingerStore.h"
#include "platform/base/Log.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/ConversionEndpoints.h"
#include "bench/BenchQuick.h"

namespace {

const int kPings = bench::quickOr(10000, 200);
const int kReports = bench::quickOr(200, 10);

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string makeHome() {
    char pattern[] = "/tmp/ruzave-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return {};
    const std::string home = pattern;
    ::setenv("RUZAVE_APP_HOME", home.c_str(), 1);
    platform::Sandbox::resetForTesting(home);
    platform::UserDefaults::resetStandardForTesting();
    return home;
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
    const std::string home = makeHome();
    if (home.empty()) {
        std::perror("mkdtemp");
        return 1;
    }

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

    // Launch reports, each of its own label and each a fresh launch's first, on a new installation.
    adserver::installConversionEndpoints(*server);
    const std::string reportHome = makeHome();
    auto ids = platform::AdvertisingIdentifierManager::sharedManager();
    ids->setAdvertisingIdentifierForTesting("6D92078A-8246-4BA4-AE5B-76104861E7DC");
    ids->setAdvertisingTrackingEnabledForTesting(true);
    platform::Bundle::mainBundle()->setValue("CFBundleIdentifier", "com.example.bench");
    std::vector<double> reportMs;
    // Each report logs its ping: not the figure's business.
    platform::setLogSink([](platform::LogLevel, const std::string&) {});
    for (int i = 0; i < kReports; ++i) {
        const auto reportStart = std::chrono::steady_clock::now();
        ruzave::ACTConversionReporter::reportWithConversionID("1234567890", "bench-" + std::to_string(i),
                                                              std::string("1"), false);
        reportMs.push_back(msSince(reportStart));
        // The next launch: its pings answered and gone, as on a device that is online.
        auto store = ruzave::ACTApplication::sharedApplication()->pingerStore();
        loop.runUntil([&] { return store->count() == 0; }, 10);
        loop.runUntilIdle();
        ruzave::ACTApplication::resetSharedForTesting();
    }
    platform::setLogSink({});
    std::sort(reportMs.begin(), reportMs.end());
    std::size_t reported = 0;
    for (const auto& ping : adserver::ConversionEndpoints::pings(*server)) {
        if (ping.param("label").rfind("bench-", 0) == 0) ++reported;
    }

    loop.runUntilIdle();
    config->reset();
    server.reset();
    platform::UserDefaults::resetStandardForTesting();
    platform::Sandbox::removeItem(home);
    if (!reportHome.empty()) platform::Sandbox::removeItem(reportHome);

    std::fprintf(stderr, "stored and reloaded %zu of %d, queued %zu, sent %zu in %zu batches\n", reloaded, kPings, queued,
                 sent, batches);
    std::printf("conversion_store_10000_ms: %.1f ms\n", storeMs);
    std::printf("conversion_retry_10000_max_main_task_ms: %.2f ms\n", maxTaskMs);
    std::fprintf(stderr, "%zu of %d launch reports reached the server\n", reported, kReports);
    // The report call on the main thread, its ping written to disk (temporary file, flush, rename).
    std::printf("conversion_report_stored_median_ms: %.2f ms\n", reportMs[reportMs.size() / 2]);
    std::printf("conversion_report_stored_max_ms: %.2f ms\n", reportMs.back());
    return 0;
}
