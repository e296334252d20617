#pragma once
// Shared by the conversion tests: a fresh launch of the library against the local server's conversion
// endpoints, and readers for the pings it received. Main thread only.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "conversion/ACTApplication.h"
#include "conversion/ACTPingerStore.h"
#include "platform/base/Log.h"
#include "platform/base/Strings.h"
#include "platform/base/URL.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/runloop/Clock.h"
#include "platform/testing/Harness.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/ConversionEndpoints.h"

namespace conversiontest {

inline constexpr const char* kAdvertisingID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
inline constexpr const char* kConversionID = "1234567890";

// A launch of the library with no server: fresh defaults, virtual time, a known device.
struct Launch : platform::testing::Harness {
    platform::LogCapture log;

    Launch() {
        ruzave::ACTApplication::resetSharedForTesting();
        platform::AdvertisingIdentifierManager::registerClass();
        auto ids = platform::AdvertisingIdentifierManager::sharedManager();
        ids->setAdvertisingIdentifierForTesting(kAdvertisingID);
        ids->setAdvertisingTrackingEnabledForTesting(true);
        auto bundle = platform::Bundle::mainBundle();
        bundle->setValue("CFBundleIdentifier", "com.example.app");
        bundle->setValue("CFBundleVersion", "2.5");
    }
    ~Launch() {
        ruzave::ACTApplication::resetSharedForTesting();
        platform::AdvertisingIdentifierManager::registerClass();
    }

    // As if the process ended and started again: the library and the defaults are reread from disk.
    void relaunch() {
        ruzave::ACTApplication::resetSharedForTesting();
        runUntilIdle();
        platform::UserDefaults::resetStandardForTesting();
    }
    static platform::Value storedPings() { return ruzave::ACTPingerStore::persistedPingers(); }
};

// A launch with the local server playing the conversion endpoints.
struct ServerLaunch : Launch {
    std::unique_ptr<adserver::AdServer> server;

    explicit ServerLaunch(const adserver::ConversionEndpoints& answer = {}) {
        adserver::Options options;
        options.hostNames = adserver::ConversionEndpoints::hostNames();
        server = adserver::AdServer::start(options);
        REQUIRE(server != nullptr);
        auto config = platform::NetworkConfiguration::sharedInstance();
        config->reset();
        REQUIRE(config->setHostMappings(server->connectToSpec(443)));
        config->setTrustedCAFile(server->caFile());
        adserver::installConversionEndpoints(*server, answer);
    }
    ~ServerLaunch() { platform::NetworkConfiguration::sharedInstance()->reset(); }

    std::vector<adserver::Request> pings() const { return adserver::ConversionEndpoints::pings(*server); }
    // Runs the main loop until the server has seen `count` pings and every transfer has ended.
    bool waitForPings(std::size_t count, double realTimeoutSeconds = 30) {
        bool ok = runUntil([&] {
            return pings().size() >= count && platform::NetworkEngine::shared().activeTransferCount() == 0;
        }, realTimeoutSeconds);
        runUntilIdle();
        return ok;
    }
};

// The names of a query's pairs, in order.
inline std::vector<std::string> queryKeys(const std::string& query, const std::string& separator = "&") {
    std::vector<std::string> keys;
    for (const auto& pair : platform::split(query, separator)) keys.push_back(pair.substr(0, pair.find('=')));
    return keys;
}

// The raw (still escaped) value of `key` in a query, or "<none>".
inline std::string rawValue(const std::string& query, const std::string& key, const std::string& separator = "&") {
    for (const auto& pair : platform::split(query, separator)) {
        auto eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == key) return pair.substr(eq + 1);
    }
    return "<none>";
}

inline std::vector<std::string> keys(std::initializer_list<const char*> names) {
    return std::vector<std::string>(names.begin(), names.end());
}

} // namespace conversiontest
