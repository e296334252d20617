#include "ads/native/GADInAppPurchaseTransactionReporter.h"

#include <doctest/doctest.h>

#include "ads/core/public/GADMobileAds.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/native/GADInAppPurchaseProductCache.h"
#include "platform/base/Strings.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/services/Price.h"
#include "tests/ads/native/InAppPurchaseTestSupport.h"

using platform::PaymentQueue;
using platform::PaymentTransaction;
using Reporter = ruzave::GADInAppPurchaseTransactionReporter;

namespace {

void registerClass(const std::string& name) {
    platform::ClassRegistry::ClassInfo info;
    info.factory = [] { return std::shared_ptr<void>(); };
    platform::ClassRegistry::registerClass(name, std::move(info));
}

std::string price(const char* text) { return Reporter::formatPrice(*platform::Price::fromString(text)); }

struct Reporting : iaptest::Server {
    Reporting() {
        platform::Clock::setWallTime(1400000000.25);
        if (auto ids = platform::AdvertisingIdentifierManager::sharedManager())
            ids->setAdvertisingIdentifierForTesting("00000000-1111-2222-3333-444444444444");
        reporter->enableReporting();
    }
    // The store completes a payment of `sku` (scripted to `state`).
    void buy(const std::string& sku, long quantity = 1, PaymentTransaction::State state = PaymentTransaction::Purchased) {
        queue->scriptOutcome(sku, state, state == PaymentTransaction::Failed ? PaymentQueue::PaymentCancelled : 0);
        REQUIRE(queue->addPayment({sku, quantity}));
        queue->completePendingForTesting();
        drain();
    }
    // Gives the global queue time to build and send what it was handed.
    void drain() { iaptest::drain(*this); }
    std::shared_ptr<Reporter> reporter = Reporter::sharedInstance();
    std::shared_ptr<PaymentQueue> queue = PaymentQueue::defaultQueue();
};

} // namespace

TEST_CASE("GADInAppPurchaseTransactionReporter: prices keep at most six decimals rounded down") {
    CHECK(price("4.99") == "4.99");
    CHECK(price("1.0000009") == "1");
    CHECK(price("2.5") == "2.5");
    CHECK(price("2.50") == "2.5");
    CHECK(price("12") == "12");
    CHECK(price("0.0000001") == "0");
    CHECK(price("0.1234569") == "0.123456");
    CHECK(price("19.990000") == "19.99");
    CHECK(price("999999999999999") == "999999999999999");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADInAppPurchaseTransactionReporter: equivalent classes and the switch keep it off") {
    auto reporter = Reporter::sharedInstance();
    auto defaults = platform::UserDefaults::standard();
    CHECK(Reporter::equivalentClassNames() == std::vector<std::string>{"ZARAzodozozadu"});
    CHECK(reporter->shouldBeEnabled());

    // The server pushes the list as text: a JSON array, or names separated by commas.
    defaults->set(Reporter::kEquivalentClassesKey, "[\"Alpha\", \"Beta\"]");
    CHECK(Reporter::equivalentClassNames() == std::vector<std::string>{"Alpha", "Beta"});
    defaults->set(Reporter::kEquivalentClassesKey, " Gamma , ,Delta");
    CHECK(Reporter::equivalentClassNames() == std::vector<std::string>{"Gamma", "Delta"});
    defaults->set(Reporter::kEquivalentClassesKey, platform::Value::array({"Epsilon"}));
    CHECK(Reporter::equivalentClassNames() == std::vector<std::string>{"Epsilon"});
    defaults->set(Reporter::kEquivalentClassesKey, "Gamma,Delta");
    registerClass("ZARAzodozozadu"); // not named by the pushed list
    CHECK(reporter->shouldBeEnabled());
    registerClass("Delta");
    CHECK_FALSE(reporter->shouldBeEnabled());
    platform::ClassRegistry::unregisterClass("Delta");
    CHECK(reporter->shouldBeEnabled());

    reporter->enableReporting();
    CHECK(reporter->isReportingEnabled());
    ruzave::GADMobileAds::disableAutomatedInAppPurchaseReporting();
    ruzave::GADMobileAds::disableAutomatedInAppPurchaseReporting();
    CHECK(reporter->wasDisabled());
    CHECK_FALSE(reporter->isReportingEnabled());
    CHECK_FALSE(reporter->shouldBeEnabled());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADInAppPurchaseTransactionReporter: the start-up never enables it beside an equivalent library") {
    registerClass("ZARAzodozozadu");
    ruzave::GADApplication::sharedInstance()->runEarlyActivities();
    runUntilIdle();
    CHECK_FALSE(Reporter::sharedInstance()->isReportingEnabled());
}

TEST_CASE_FIXTURE(Reporting, "GADInAppPurchaseTransactionReporter: a known product is reported at once with its price") {
    iaptest::stock("gem", "4.99", "EUR");
    bool cached = false;
    ruzave::GADInAppPurchaseProductCache::sharedInstance()->requestProductsWithProductIdentifiers(
        {"gem"}, platform::DispatchQueue::main(), [&](const auto&, const auto&, const auto&) { cached = true; });
    REQUIRE(runUntil([&] { return cached; }));
    platform::ProductsRequest::scriptFailure(platform::Error("StoreDomain", 1, "not asked again"));

    buy("gem", 2);
    REQUIRE(waitForConversionPings(1));
    auto ping = conversionPings()[0];
    CHECK(ping.host == ruzave::GADHosts::kConversionHost);
    CHECK(ping.path == "/pagead/conversion/");
    CHECK(ping.param("price") == "4.99");
    CHECK(ping.param("currency_code") == "EUR");
    CHECK(ping.param("sku") == "gem");
    CHECK(ping.param("quantity") == "2");
    CHECK(ping.param("iap_source") == "auto");
    CHECK(ping.param("timestamp") == "1400000000.250000");
    CHECK(ping.param("sdkversion") == "zudo-sdk-i-v7.5.2");
    CHECK(ping.param("rdid") == "00000000-1111-2222-3333-444444444444");
    CHECK((ping.param("lat") == "0" || ping.param("lat") == "1"));
    CHECK_FALSE(ping.param("transaction_id").empty());
    // Thirteen keys in their order.
    std::vector<std::string> keys;
    for (const auto& part : platform::split(ping.query, "&")) keys.push_back(part.substr(0, part.find('=')));
    CHECK(keys == std::vector<std::string>{"appversion", "bundleid", "currency_code", "iap_source", "lat", "osversion", "price",
                                           "quantity", "rdid", "sdkversion", "sku", "timestamp", "transaction_id"});
}

TEST_CASE_FIXTURE(Reporting, "GADInAppPurchaseTransactionReporter: unknown products are looked up first and reported either way") {
    iaptest::stock("gem", "0.99");
    buy("gem");
    buy("ghost");
    REQUIRE(waitForConversionPings(2));
    drain();
    auto pings = conversionPings();
    REQUIRE(pings.size() == 2);
    std::map<std::string, adserver::Request> bySku;
    for (const auto& p : pings) bySku.emplace(p.param("sku"), p);
    CHECK(bySku.at("gem").param("price") == "0.99");
    CHECK(bySku.at("gem").param("currency_code") == "USD");
    CHECK(bySku.at("ghost").query.find("&price=&") != std::string::npos);
    CHECK(bySku.at("ghost").query.find("currency_code=&") != std::string::npos);
}

TEST_CASE_FIXTURE(Reporting, "GADInAppPurchaseTransactionReporter: a failing store still leads to the report") {
    platform::ProductsRequest::scriptFailure(platform::Error("StoreDomain", 2, "offline"));
    buy("gem");
    REQUIRE(waitForConversionPings(1));
    CHECK(conversionPings()[0].param("sku") == "gem");
    CHECK(conversionPings()[0].param("price").empty());
}

TEST_CASE_FIXTURE(Reporting, "GADInAppPurchaseTransactionReporter: only purchases are reported and each transaction once") {
    iaptest::stock("gem", "0.99");
    iaptest::stock("old", "0.99");
    iaptest::stock("no", "0.99");
    buy("old", 1, PaymentTransaction::Restored);
    buy("no", 1, PaymentTransaction::Failed);
    buy("gem");
    REQUIRE(waitForConversionPings(1));
    // The store delivers the unfinished transactions again, as at a later launch.
    CHECK(queue->redeliverUnfinishedForTesting() >= 2);
    runUntilIdle();
    drain();
    auto pings = conversionPings();
    REQUIRE(pings.size() == 1);
    CHECK(pings[0].param("sku") == "gem");
    // The reported identifiers outlive the process.
    auto stored = platform::UserDefaults::standard()->array(Reporter::kReportedTransactionsKey);
    REQUIRE(stored);
    CHECK(stored->size() == 1);
    CHECK((*stored)[0] == pings[0].param("transaction_id"));
}

TEST_CASE_FIXTURE(Reporting, "GADInAppPurchaseTransactionReporter: values are escaped so none forms a parameter or keyword") {
    buy("a&b=@sku@ c");
    REQUIRE(waitForConversionPings(1));
    auto ping = conversionPings()[0];
    CHECK(ping.param("sku") == "a&b=@sku@ c");
    CHECK(ping.query.find("sku=a%26b%3D%40sku%40%20c&") != std::string::npos);
}

TEST_CASE_FIXTURE(Reporting, "GADInAppPurchaseTransactionReporter: a failed ping keeps its retry URL with the suffix") {
    adserver::ConversionEndpoints failing;
    failing.status = 500;
    adserver::installConversionEndpoints(*server, failing);
    auto defaults = platform::UserDefaults::standard();
    const std::string format = std::string("https://") + ruzave::GADHosts::kConversionHost +
                               "/pagead/conversion/custom?s=@sku@&q=@quantity@&x=@nope@&at=@@";
    defaults->set(Reporter::kReportFormatKey, format);
    buy("gem", 3);
    REQUIRE(waitFor("/pagead/conversion/custom"));
    drain();
    CHECK(server->requests("/pagead/conversion/custom")[0].query == "s=gem&q=3&x=&at=@");
    auto group = defaults->dictionary(Reporter::kRetryGroupKey);
    REQUIRE(group);
    CHECK(group->contains(std::string("https://") + ruzave::GADHosts::kConversionHost +
                          "/pagead/conversion/custom?s=gem&q=3&x=&at=@&retry=1"));

    defaults->set(Reporter::kRetrySuffixKey, "&again=yes");
    buy("coin");
    REQUIRE(waitFor("/pagead/conversion/custom", 2));
    drain();
    group = defaults->dictionary(Reporter::kRetryGroupKey);
    REQUIRE(group);
    CHECK(group->contains(std::string("https://") + ruzave::GADHosts::kConversionHost +
                          "/pagead/conversion/custom?s=coin&q=1&x=&at=@&again=yes"));
}

TEST_CASE_FIXTURE(Reporting, "GADInAppPurchaseTransactionReporter: a process killed during the product "
                             "lookup reports at the next launch") {
    iaptest::stock("gem", "0.99");
    // The store takes its time answering; the process dies before it does.
    platform::ProductsRequest::setResponseDelayForTesting(30);
    buy("gem");
    CHECK(conversionPings().empty());
    queue->removeTransactionObserver(reporter);

    // The next launch: a new reporter over the same user defaults; the store hands the purchase back.
    platform::ProductsRequest::setResponseDelayForTesting(0);
    auto relaunched = Reporter::init();
    relaunched->enableReporting();
    CHECK(queue->redeliverUnfinishedForTesting() == 1);
    REQUIRE(waitForConversionPings(1));
    drain();
    auto ping = conversionPings()[0];
    CHECK(ping.param("sku") == "gem");
    CHECK(ping.param("price") == "0.99");
    auto stored = platform::UserDefaults::standard()->array(Reporter::kReportedTransactionsKey);
    REQUIRE(stored);
    CHECK(*stored == platform::Value::array({ping.param("transaction_id")}));

    // Reported now: a further hand-back sends nothing.
    CHECK(queue->redeliverUnfinishedForTesting() == 1);
    runUntilIdle();
    drain();
    CHECK(conversionPings().size() == 1);
}
