#include <doctest/doctest.h>

#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADAd.h"
#include "ads/render/GADAdNetworkJavaScriptAdViewDelegate.h"
#include "ads/render/GADAdView.h"
#include "platform/testing/Harness.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using namespace ruzave;
using platform::testing::Harness;
using slottest::FakeNeighbours;
using slottest::FakeOwner;

namespace {

std::shared_ptr<GADAd> scriptAd(const std::string& html) {
    return GADAd::initWithDictionary({{"ad_html", html},
                                      {"ad_base_url", "https://net.example/"},
                                      {"ad_is_javascript", 1},
                                      {"ad_passback_url", "https://net.example/pass/"}});
}

void startLoad(GADSlot& slot, const std::shared_ptr<GADAd>& ad) {
    slot.loadRequest(GADRequest::request());
    slot.didReceiveAdURL();
    slot.loadAd(ad, std::nullopt);
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSlot: an ad network's script ad is rendered by its own delegate, without a fetch") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    startLoad(*slot, scriptAd("<html><body><script>var shown = 1;</script></body></html>"));

    CHECK(fakes.fetchers.empty());
    auto delegate = std::dynamic_pointer_cast<GADAdNetworkJavaScriptAdViewDelegate>(slot->adViewDelegate());
    REQUIRE(delegate);
    REQUIRE(delegate->passbackURL());
    CHECK(delegate->passbackURL()->absoluteString() == "https://net.example/pass/");
    CHECK(slot->adView()->delegate() == delegate);
    CHECK(runUntil([&] { return !slot->adView()->isLoading(); }));
    CHECK(owner->errors.empty());

    // The next ordinary ad is no script ad: it gets a plain banner delegate again.
    auto fetcher = slottest::startFetch(fakes, *slot);
    REQUIRE(fetcher);
    fetcher->succeed(GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
    CHECK_FALSE(std::dynamic_pointer_cast<GADAdNetworkJavaScriptAdViewDelegate>(slot->adViewDelegate()));
    CHECK(slot->adView()->delegate() == slot->adViewDelegate());
    CHECK(runUntil([&] { return slot->state() == GADSlotStateValidAd; }));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a script ad without HTML fails with code 2 and re-arms the reload timer") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->setReloadInterval(30);
    auto ad = GADAd::initWithDictionary({{"ad_url", "https://net.example/ad"}, {"ad_is_javascript", 1}});
    REQUIRE(ad->hasAdNetworkJavaScript());
    startLoad(*slot, ad);

    CHECK(fakes.fetchers.empty());
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == GADRequestErrorNetworkError);
    CHECK(owner->errors[0].description.find("Empty ad HTML.") != std::string::npos);
    CHECK(slot->isReloadTimerArmed());
}
