#include <doctest/doctest.h>

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADBannerAd.h"
#include "ads/core/slot/GADInterstitialAd.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "platform/testing/Harness.h"

using namespace ruzave;
using platform::testing::Harness;

TEST_CASE_FIXTURE(Harness, "GADAd: a new record scrolls, allows every orientation and has statistics") {
    auto ad = GADAd::init();
    CHECK(ad->isScrollEnabled());
    CHECK(ad->supportedOrientations() == 30);
    CHECK(ad->reloadInterval() == 0);
    CHECK(ad->responseType() == 0);
    CHECK(ad->statistics());
    CHECK(ad->clickURLs().empty());
}

TEST_CASE_FIXTURE(Harness, "GADAd: HTML needs a valid base URL, else the ad URL is used") {
    auto both = GADAd::initWithDictionary({{"ad_html", "<p>x</p>"},
                                           {"ad_base_url", "https://a.example.com/"},
                                           {"ad_url", "https://b.example.com/"}});
    CHECK(both->adHTML() == std::optional<std::string>("<p>x</p>"));
    CHECK_FALSE(both->adURL());

    auto noBase =
        GADAd::initWithDictionary({{"ad_html", "<p>x</p>"}, {"ad_url", "https://b.example.com/ad"}});
    CHECK_FALSE(noBase->adHTML());
    REQUIRE(noBase->adURL());
    CHECK(noBase->adURL()->absoluteString() == "https://b.example.com/ad");

    auto json = GADAd::initWithDictionary({{"ad_json", {{"k", 1}}}});
    CHECK(json->adHTML() == std::optional<std::string>("{\"k\":1}"));

    // Values of the wrong kind are ignored.
    auto wrong =
        GADAd::initWithDictionary({{"ad_html", 5}, {"ad_url", 7}, {"ad_json", "text"}, {"orientation", 3}});
    CHECK_FALSE(wrong->adHTML());
    CHECK_FALSE(wrong->adURL());
    CHECK(wrong->supportedOrientations() == 30);
    CHECK(GADAd::initWithDictionary(platform::Value::array())->supportedOrientations() == 30);
}

TEST_CASE_FIXTURE(Harness, "GADAd: sizes, orientations, script flags and URL lists from the dictionary") {
    auto ad =
        GADAd::initWithDictionary({{"ad_size", "300x250"},
                                   {"orientation", "landscape"},
                                   {"ad_is_javascript", 1},
                                   {"ad_passback_url", "https://p.example.com/"},
                                   {"click_urls", {"https://c.example.com/1", "https://c.example.com/1", 4}},
                                   {"impression_urls", "not a list"}});
    // A standard size reads as its constant.
    CHECK(GADAdSizeEqualToSize(ad->size(), kGADAdSizeMediumRectangle));
    CHECK(ad->supportedOrientations() == 24);
    CHECK(ad->hasAdNetworkJavaScript());
    REQUIRE(ad->adNetworkPassbackURL());
    CHECK(ad->clickURLs().size() == 1);
    CHECK(ad->impressionURLs().empty());

    CHECK(GADAd::initWithDictionary({{"ad_size", "310x70"}})->size().flags == kGADAdSizeFlagCustom);
    auto other = GADAd::initWithDictionary({{"orientation", "Portrait"}});
    CHECK(other->supportedOrientations() == 30);
    CHECK(other->size().size == platform::Size{0, 0});
    CHECK(other->size().flags == kGADAdSizeFlagCustom);
}

TEST_CASE_FIXTURE(Harness, "GADAd: a banner ad reads a numeric refresh rate only") {
    CHECK(GADBannerAd::initWithDictionary({{"refresh_rate", 45}})->reloadInterval() == doctest::Approx(45));
    CHECK(GADBannerAd::initWithDictionary({{"refresh_rate", "45"}})->reloadInterval() == 0);
    CHECK(GADInterstitialAd::initWithDictionary({{"refresh_rate", 45}})->reloadInterval() == 0);
}

TEST_CASE_FIXTURE(Harness, "GADAd: a JSON true or false marks network script as 1 or 0 would") {
    auto yes = GADAd::initWithDictionary(
        {{"ad_url", "https://net.example/ad"}, {"ad_is_javascript", true}, {"ad_passback_url", "https://p.example/"}});
    CHECK(yes->hasAdNetworkJavaScript());
    REQUIRE(yes->adNetworkPassbackURL());
    CHECK(yes->adNetworkPassbackURL()->absoluteString() == "https://p.example/");
    auto no = GADAd::initWithDictionary(
        {{"ad_url", "https://net.example/ad"}, {"ad_is_javascript", false}, {"ad_passback_url", "https://p.example/"}});
    CHECK_FALSE(no->hasAdNetworkJavaScript());
    CHECK_FALSE(no->adNetworkPassbackURL());
    // A string is no number here.
    CHECK_FALSE(GADAd::initWithDictionary({{"ad_is_javascript", "1"}})->hasAdNetworkJavaScript());
}
