#pragma once
// Shared by the in-app purchase tests: the local server for report and conversion pings, a store
// catalog, purchase recorders and a full-screen controller that notes when it is asked to close.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/sdkcore/GADHosts.h"
#include "ads/native/GADDefaultInAppPurchase.h"
#include "ads/native/GADDefaultInAppPurchaseDelegate.h"
#include "ads/native/GADInAppPurchase.h"
#include "ads/native/GADInAppPurchaseDelegate.h"
#include "ads/render/GADViewController.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/PaymentQueue.h"
#include "platform/services/Product.h"
#include "platform/services/ProductsRequest.h"
#include "platform/testing/Harness.h"
#include "tests/ads/native/NativeTestSupport.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/ConversionEndpoints.h"

namespace iaptest {

inline platform::Product product(const std::string& id, const char* price, const char* currency = "USD") {
    auto p = platform::Price::fromString(price);
    REQUIRE(p.has_value());
    return platform::Product(id, *p, platform::Locale("en_US", currency), "title", "description");
}

inline void stock(const std::string& id, const char* price, const char* currency = "USD") {
    platform::ProductsRequest::addProductForTesting(product(id, price, currency));
}

// Hears the purchases a slot hands on.
struct PurchaseRecorder : ruzave::GADInAppPurchaseDelegate {
    void didReceiveInAppPurchase(const std::shared_ptr<ruzave::GADInAppPurchase>& purchase) override {
        purchases.push_back(purchase);
    }
    std::vector<std::shared_ptr<ruzave::GADInAppPurchase>> purchases;
};

// The publisher's side of the default flow: records paid purchases, may veto and may be asked.
struct Publisher : ruzave::GADDefaultInAppPurchaseDelegate {
    void userDidPayForPurchase(const std::shared_ptr<ruzave::GADDefaultInAppPurchase>& purchase) override {
        paid.push_back(purchase);
    }
    bool supportsUserDidPayForPurchase() const override { return takesPayments; }
    std::optional<bool> shouldStartPurchaseForProductID(const std::string& id, long quantity) override {
        if (!answer) return std::nullopt;
        asked.push_back(id + " x" + std::to_string(quantity));
        return answer;
    }
    std::vector<std::shared_ptr<ruzave::GADDefaultInAppPurchase>> paid;
    std::vector<std::string> asked;
    std::optional<bool> answer;
    bool takesPayments = true;
};

// A full-screen ad controller that only notes the requests to close.
struct ClosingController : ruzave::GADViewController {
    void relinquishScreenWithCompletion(Completion) override { ++closeRequests; }
    int closeRequests = 0;
};

// Runs the main loop and waits for the background queues until both are quiet: store answers travel
// from the main loop to the product cache's queue and back.
inline void drain(platform::testing::Harness& h) {
    for (int i = 0; i < 6; ++i) {
        h.runUntil([] { return platform::DispatchQueue::backgroundBlockCount() == 0; }, 5);
        h.runUntilIdle();
    }
}

// The native tests' local server (every SDK host mapped to it; pings below "/pagead/" answer 204) with
// the conversion endpoints.
struct Server : nativetest::Server {
    Server() { adserver::installConversionEndpoints(*server); }
    static std::string reportURL(const std::string& pathAndQuery) {
        return std::string("https://") + ruzave::GADHosts::kReportHost + pathAndQuery;
    }
    // Runs the main loop until `count` requests for `path` have arrived.
    bool waitFor(const std::string& path, std::size_t count = 1) {
        return runUntil([&] { return server->requestCount(path) >= count; }, 20);
    }
    std::vector<adserver::Request> conversionPings() { return adserver::ConversionEndpoints::pings(*server); }
    bool waitForConversionPings(std::size_t count) {
        return runUntil([&] { return conversionPings().size() >= count; }, 20);
    }
};

} // namespace iaptest
