#include <doctest/doctest.h>

#include "SlotTestSupport.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADSlot;

namespace {

bool adURL(const std::string& text) {
    return GADSlot::isRuzaveAdURL(*platform::URL::parse(text));
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSlot: ad-server hosts match whole labels of the listed suffixes") {
    // The built-in list.
    CHECK(adURL("https://ads.ruzave.example/aclk?ai=1"));
    CHECK(adURL("https://ruzave.example/"));
    CHECK_FALSE(adURL("https://evilruzave.example/"));
    CHECK_FALSE(adURL("https://ruzave.example.evil/"));

    platform::UserDefaults::standard()->set("/ruzave/ads/as_domains", platform::Value(",Clicks.Example,,.ads.test, "));
    CHECK(adURL("https://CLICKS.example/x"));
    CHECK(adURL("https://a.b.clicks.example/x"));
    CHECK_FALSE(adURL("https://xclicks.example/x"));
    CHECK(adURL("https://ads.test/x"));
    CHECK(adURL("https://w.ads.test/x"));
    CHECK_FALSE(adURL("https://ads.ruzave.example/"));
    CHECK_FALSE(adURL("about:blank"));
    CHECK_FALSE(adURL("https://notads.test/"));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a click records its impression ticket but gmsg and about:blank are left alone") {
    slottest::FakeNeighbours fakes;
    auto owner = std::make_shared<slottest::FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    auto stats = slot->ad()->statistics();

    auto blank = *platform::URL::parse("about:blank");
    CHECK(slot->gestureClickURLWithURL(blank).absoluteString() == "about:blank");
    auto gmsg = *platform::URL::parse("gmsg://mobileads.ruzave.example/click/t1/t2?ai=x");
    CHECK(slot->gestureClickURLWithURL(gmsg).absoluteString() == gmsg.absoluteString());
    CHECK_FALSE(stats->objectForKey("pit").has_value());

    // An empty "ai" leaves the URL as it is, with its ticket recorded.
    auto click = *platform::URL::parse("https://ads.ruzave.example/aclk/T1/T2?ai=&adurl=https://shop.example/");
    CHECK(slot->gestureClickURLWithURL(click).absoluteString() == click.absoluteString());
    CHECK(stats->objectForKey("pit") == std::optional<platform::Value>(platform::Value("T1/T2")));

    // Another host gets no signal either.
    platform::UserDefaults::standard()->set("/ruzave/ads/as_domains", platform::Value("clicks.example"));
    auto other = *platform::URL::parse("https://ads.ruzave.example/aclk/A/B?ai=abc");
    CHECK(slot->gestureClickURLWithURL(other).absoluteString() == other.absoluteString());
    CHECK(stats->objectForKey("pit") == std::optional<platform::Value>(platform::Value("A/B")));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a click on the ad server gets the gesture signal in front of its landing page") {
    slottest::FakeNeighbours fakes;
    auto owner = std::make_shared<slottest::FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto fetcher = slottest::startFetch(fakes, *slot);
    fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    auto click = *platform::URL::parse("https://ads.ruzave.example/aclk/T1/T2?ai=abc&adurl=https://shop.example/");
    const std::string signed_ = slot->gestureClickURLWithURL(click).absoluteString();
    const auto ms = signed_.find("&ms=");
    REQUIRE(ms != std::string::npos);
    CHECK(signed_.find("&adurl=https://shop.example/") > ms);
    CHECK(signed_.rfind("https://ads.ruzave.example/aclk/T1/T2?ai=abc&ms=", 0) == 0);
}
