#include <doctest/doctest.h>

#include "conversion/ACTClickURLReferrerAdditions.h"
#include "conversion/ACTConversionIDReporter.h"
#include "conversion/ACTConversionReporter.h"
#include "conversion/ACTIAPConversionReporter.h"
#include "conversion/ACTReporter.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;
using ruzave::ACTConversionIDReporter;
using ruzave::ACTConversionReporter;

namespace {

const std::string kPrefix = "https://www.ruzaveadservices.example/pagead/conversion/1234567890/?";

std::string urlOf(const std::shared_ptr<ruzave::ACTReporterPrivate>& reporter) {
    REQUIRE(reporter != nullptr);
    auto common = reporter->commonQueryParameters();
    REQUIRE(common.has_value());
    auto url = reporter->reportingURLWithQueryParameters(*common);
    REQUIRE(url.has_value());
    return url->absoluteString();
}

std::string queryOf(const std::string& url) {
    return url.substr(url.find('?') + 1);
}

platform::URL referrerURL(const std::string& conversionID, const std::string& clickID, const std::string& extra = "&ai=click-string") {
    auto url = platform::URL::parse("app://open?x=1&referrer=" +
                                    platform::percentEncode("conv=" + conversionID + "&gclid=" + clickID + extra));
    REQUIRE(url.has_value());
    return *url;
}

} // namespace

TEST_CASE_FIXTURE(Launch, "ACTConversionReporter: the launch ping carries its keys in order with the device token") {
    auto reporter = ACTConversionIDReporter::initWithConversionID(kConversionID, std::string("launch label+paid"), std::string("0.48"), false);
    const std::string url = urlOf(reporter);
    REQUIRE(url.rfind(kPrefix, 0) == 0);
    const std::string query = queryOf(url);
    CHECK(queryKeys(query) == keys({"appversion", "bundleid", "label", "lat", "muid", "osversion", "sdkversion",
                                    "timestamp", "usage_tracking_enabled", "value"}));
    CHECK(rawValue(query, "muid") == "8tExHKXB7LIUwZom6d260A");
    CHECK(rawValue(query, "value") == "0.48");
    CHECK(rawValue(query, "label") == "launch%20label%2Bpaid");
    CHECK(rawValue(query, "lat") == "0");
    CHECK(rawValue(query, "sdkversion") == "ct-sdk-i-v3.1.1");
    CHECK(rawValue(query, "appversion") == "2.5");
    CHECK(rawValue(query, "bundleid") == "com.example.app");
    CHECK(rawValue(query, "usage_tracking_enabled") == "1");
    CHECK(platform::doubleValue(rawValue(query, "timestamp")) == doctest::Approx(platform::Clock::wallTime()));

    // The token hashes the upper-cased identifier; "lat" follows the user's choice.
    auto ids = platform::AdvertisingIdentifierManager::sharedManager();
    ids->setAdvertisingIdentifierForTesting(platform::toLowerASCII(kAdvertisingID));
    ids->setAdvertisingTrackingEnabledForTesting(false);
    const std::string limited = queryOf(urlOf(reporter));
    CHECK(rawValue(limited, "muid") == "8tExHKXB7LIUwZom6d260A");
    CHECK(rawValue(limited, "lat") == "1");
}

TEST_CASE_FIXTURE(Launch, "ACTConversionReporter: a stored click referrer puts ai first and gclid after bundleid") {
    CHECK(ACTConversionReporter::registerReferrer(referrerURL(kConversionID, "click-1")));
    auto reporter = ACTConversionIDReporter::initWithConversionID(kConversionID, std::string("l"), std::string("1"), false);
    const std::string query = queryOf(urlOf(reporter));
    CHECK(queryKeys(query) == keys({"ai", "appversion", "bundleid", "gclid", "label", "lat", "muid", "osversion",
                                    "sdkversion", "timestamp", "usage_tracking_enabled", "value"}));
    CHECK(rawValue(query, "gclid") == "click-1");
    CHECK(rawValue(query, "ai") == "click-string");
    // Another identifier has no referrer.
    auto other = ACTConversionIDReporter::initWithConversionID("42", std::string("l"), std::string("1"), false);
    CHECK(rawValue(queryOf(urlOf(other)), "gclid") == "<none>");
}

TEST_CASE_FIXTURE(Launch, "ACTConversionReporter: hostile labels and values are escaped and a missing label is left out") {
    auto reporter = ACTConversionIDReporter::initWithConversionID(
        "12 34/\"&", std::string("a\"b&c=d\xC3\xA9\x01\n"), std::string("1;2?#%"), true);
    const std::string url = urlOf(reporter);
    CHECK(url.rfind("https://www.ruzaveadservices.example/pagead/conversion/12%2034%2F%22%26/?", 0) == 0);
    const std::string query = queryOf(url);
    CHECK(rawValue(query, "label") == "a%22b%26c%3Dd%C3%A9%01%0A");
    CHECK(rawValue(query, "value") == "1%3B2%3F%23%25");
    // Bytes that are no UTF-8 cannot be escaped as text: the pair stays, empty.
    auto broken = ACTConversionIDReporter::initWithConversionID(kConversionID, std::string("\xFF\xFE"), std::nullopt, true);
    const std::string brokenQuery = queryOf(urlOf(broken));
    CHECK(rawValue(brokenQuery, "label") == "");
    CHECK(rawValue(brokenQuery, "value") == "<none>");

    // No label: the once-only flag is the empty label's, and the URL has no "label".
    auto unlabelled = ACTConversionIDReporter::initWithConversionID(kConversionID, std::nullopt, std::string("1"), false);
    CHECK(unlabelled->deduplicationID() == "ruzave_conversion_ping:");
    CHECK(rawValue(queryOf(urlOf(unlabelled)), "label") == "<none>");
}

TEST_CASE_FIXTURE(Launch, "ACTConversionReporter: initialisers refuse empty identifiers and the base class") {
    CHECK(ACTConversionReporter::initWithConversionID("", std::string("l"), std::string("1"), false) == nullptr);
    CHECK(ACTConversionReporter::initWithProductID("", std::string("1"), false) == nullptr);
    CHECK(ruzave::ACTConversionReporterPrivate::initWithValue(std::string("1"), "", true) == nullptr);
    CHECK(ruzave::ACTReporter::init() == nullptr);
    CHECK(log.contains("<Ruzave> Instantiate ACTReporter subclasses only."));
    // A reporting class method with an empty identifier does nothing and logs nothing.
    log.clear();
    ACTConversionReporter::reportWithConversionID("", std::string("l"), std::string("1"), false);
    runUntilIdle();
    CHECK(log.lines().empty());

    auto iap = ruzave::ACTIAPConversionReporter::initWithProductID("com.example.gold", std::string("0.99"), false);
    REQUIRE(iap != nullptr);
    CHECK(iap->deduplicationID() == "ruzave_iap_ping:com.example.gold");
    const std::string url = urlOf(iap);
    CHECK(url.rfind("https://www.ruzaveadservices.example/pagead/conversion/?", 0) == 0);
    CHECK(rawValue(queryOf(url), "sku") == "com.example.gold");
}

TEST_CASE_FIXTURE(Launch, "ACTConversionReporter: without the advertising identifier service nothing is sent") {
    platform::ClassRegistry::unregisterClass(platform::AdvertisingIdentifierManager::className);
    auto reporter = ACTConversionReporter::initWithConversionID(kConversionID, std::string("l"), std::string("1"), false);
    REQUIRE(reporter != nullptr);
    CHECK_FALSE(reporter->report());
    CHECK(log.contains("<Ruzave> not sending ping. The advertising identifier is not available for this device."));
    CHECK_FALSE(log.contains("sending ping: "));
    runUntilIdle();
    CHECK(storedPings().empty());
}

TEST_CASE_FIXTURE(Launch, "ACTConversionReporter: click referrers are stored for at most 100 identifiers") {
    CHECK(ACTConversionReporter::registerReferrer(referrerURL("7", "first")));
    CHECK(log.contains("Registering click referrer for converison ID \"7\" with click ID \"first\" and click string \"click-string\"."));
    auto defaults = platform::UserDefaults::standard();
    CHECK(defaults->integer("ruzave_conversion_click_referrer_count") == 1);
    // Again for the same identifier: replaced, not counted.
    CHECK(ACTConversionReporter::registerReferrer(referrerURL("7", "second")));
    CHECK(defaults->integer("ruzave_conversion_click_referrer_count") == 1);
    CHECK(defaults->object("ruzave_conversion_click_referrer:7") == platform::Value{{"gclid", "second"}, {"ai", "click-string"}});

    CHECK_FALSE(ACTConversionReporter::registerReferrer(referrerURL("8", "x", "")));  // no "ai"
    CHECK_FALSE(ACTConversionReporter::registerReferrer(referrerURL("8", "x", "&ai=")));
    CHECK_FALSE(ACTConversionReporter::registerReferrer(*platform::URL::parse("app://open?referrer=")));
    CHECK_FALSE(ACTConversionReporter::registerReferrer(*platform::URL::parse("app://open?referrer=%FF%FE")));
    CHECK_FALSE(ACTConversionReporter::registerReferrer(*platform::URL::parse("app://open")));
    // A click identifier with a line break is stored as given, but logged on one line.
    log.clear();
    CHECK(ACTConversionReporter::registerReferrer(referrerURL("7", "a\n<Ruzave> ping successful.")));
    CHECK(defaults->object("ruzave_conversion_click_referrer:7") ==
          platform::Value{{"gclid", "a\n<Ruzave> ping successful."}, {"ai", "click-string"}});
    REQUIRE(log.lines().size() == 1);
    CHECK(log.lines()[0].find('\n') == std::string::npos);
    CHECK(log.contains("click ID \"a\\n<Ruzave> ping successful.\""));

    for (int i = 100; i < 199; ++i) CHECK(ACTConversionReporter::registerReferrer(referrerURL(std::to_string(i), "c")));
    CHECK(defaults->integer("ruzave_conversion_click_referrer_count") == 100);
    CHECK_FALSE(ACTConversionReporter::registerReferrer(referrerURL("500", "c")));
    CHECK(ACTConversionReporter::registerReferrer(referrerURL("7", "third")));
    // A count past the limit (an older build, a hand edit) keeps the store closed.
    defaults->set("ruzave_conversion_click_referrer_count", 150);
    CHECK_FALSE(ACTConversionReporter::registerReferrer(referrerURL("501", "c")));
}

TEST_CASE("ACTConversionReporter: the referrer pairs are split but not unescaped twice") {
    auto components = ruzave::ACTConversionReporterPrivate::referrerComponentsForReferrerKeyWithSuffix("");
    CHECK_FALSE(components.has_value());
    // "%2526" is "%26" once unescaped: it stays so inside the pair.
    auto url = platform::URL::parse("app://x?referrer=conv%3D9%26gclid%3Da%2526b%26ai%3Dc%26ai%3Dd%26bad%26k%3Dv%3Dw&referrer=conv%3D1");
    REQUIRE(url.has_value());
    auto pairs = ruzave::act_clickURLReferrerComponents(*url);
    REQUIRE(pairs.has_value());
    CHECK(*pairs == platform::Value{{"conv", "9"}, {"gclid", "a%26b"}, {"ai", "d"}});
}
