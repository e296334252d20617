#include <doctest/doctest.h>

#include <string>

#include "../core/slot/SlotTestSupport.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/render/GADAdNetworkJavaScriptAdViewDelegate.h"
#include "ads/render/GADAdView.h"
#include "platform/testing/Harness.h"

using platform::WebViewNavigationType;
using platform::testing::Harness;
using ruzave::GADAdNetworkJavaScriptAdViewDelegate;
using ruzave::GADSlot;
using namespace slottest;

namespace {

platform::URLRequest request(const std::string& text) {
    return *platform::URLRequest::withURLString(text);
}

// A slot fetching a network script ad (state 4) whose ad view has the script delegate.
struct ScriptFixture : Harness {
    FakeNeighbours fakes;
    std::shared_ptr<FakeOwner> owner = std::make_shared<FakeOwner>();
    std::shared_ptr<GADSlot> slot = makeSlot(owner);
    std::shared_ptr<GADAdNetworkJavaScriptAdViewDelegate> delegate =
        GADAdNetworkJavaScriptAdViewDelegate::initWithSlot(slot, platform::URL::parse("https://net.example/pass/"));

    ScriptFixture() {
        startFetch(fakes, *slot);
        slot->adView()->setDelegate(delegate);
    }
    void load(const std::string& html) {
        slot->adView()->loadHTMLString(html, platform::URL::parse("https://net.example/ad/"));
        REQUIRE(runUntil([&] { return delegate->renderingCheckHasStarted() || delegate->wasPassbackReceived(); }));
    }
};

} // namespace

TEST_CASE("GADAdNetworkJavaScriptAdViewDelegate: what counts as a passback") {
    auto withURL = GADAdNetworkJavaScriptAdViewDelegate::initWithSlot({}, platform::URL::parse("https://Net.example/pass/"));
    CHECK(withURL->isPassbackRequest(request("PASSBACK://anything")));
    CHECK(withURL->isPassbackRequest(request("https://net.EXAMPLE/pass")));
    CHECK(withURL->isPassbackRequest(request("http://net.example/pass/?why=none")));
    CHECK_FALSE(withURL->isPassbackRequest(request("https://net.example/pass/more")));
    CHECK_FALSE(withURL->isPassbackRequest(request("https://other.example/pass/")));
    auto without = GADAdNetworkJavaScriptAdViewDelegate::initWithSlot({});
    CHECK(without->isPassbackRequest(request("passback:")));
    CHECK_FALSE(without->isPassbackRequest(request("https://net.example/pass/")));
}

TEST_CASE_FIXTURE(ScriptFixture, "GADAdNetworkJavaScriptAdViewDelegate: a drawing script ad becomes valid at the next check") {
    load("<div style='width:320px;height:50px;background:#00f'></div>");
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    CHECK(delegate->isRenderingTimerRunning());
    CHECK(owner->finished == 0);
    advance(0.2);
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    CHECK_FALSE(delegate->isRenderingTimerRunning());
    CHECK_FALSE(slot->adView()->isHidden());
    CHECK(owner->finished == 1);
    CHECK(delegate->checkRenderingCount() == 0);
}

TEST_CASE_FIXTURE(ScriptFixture, "GADAdNetworkJavaScriptAdViewDelegate: a blank script ad fails after 101 checks, not before") {
    load("<p></p>");
    for (int i = 0; i < 100; ++i) advance(0.2);
    runUntilIdle();
    CHECK(delegate->checkRenderingCount() == 100);
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    advance(0.2);
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateInvalidAd; }));
    CHECK_FALSE(delegate->isRenderingTimerRunning());
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorNetworkError);
    advance(5);
    CHECK(delegate->checkRenderingCount() == 101);
}

TEST_CASE_FIXTURE(ScriptFixture, "GADAdNetworkJavaScriptAdViewDelegate: a passback ends the load once as no fill and re-arms reloads") {
    load("<script>location.href = 'https://net.example/pass'; location.href = 'passback:again';</script><p></p>");
    runUntilIdle();
    CHECK(delegate->wasPassbackReceived());
    CHECK_FALSE(delegate->renderingCheckHasStarted());
    CHECK_FALSE(delegate->isRenderingTimerRunning());
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorNoFill);
    CHECK(owner->errors[0].description == "Passback URL received.");
    CHECK(slot->state() == ruzave::GADSlotStateInvalidAd);
    // The page never loads the passback URL.
    CHECK(slot->adView()->request().url().absoluteString() == "https://net.example/ad/");
}

TEST_CASE_FIXTURE(ScriptFixture, "GADAdNetworkJavaScriptAdViewDelegate: a passback during the render check stops it") {
    load("<p></p>");
    advance(0.2);
    CHECK(delegate->isRenderingTimerRunning());
    CHECK_FALSE(delegate->adView(slot->adView(), request("passback:"), WebViewNavigationType::Other).value_or(true));
    CHECK_FALSE(delegate->isRenderingTimerRunning());
    std::uint32_t count = delegate->checkRenderingCount();
    advance(2);
    CHECK(delegate->checkRenderingCount() == count);
    REQUIRE(owner->errors.size() == 1);
}

TEST_CASE_FIXTURE(ScriptFixture, "GADAdNetworkJavaScriptAdViewDelegate: the render check ends when the delegate goes") {
    load("<p></p>");
    slot->adView()->setDelegate(slot->adViewDelegate());
    delegate.reset();
    advance(1);
    runUntilIdle();
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(ScriptFixture, "GADAdNetworkJavaScriptAdViewDelegate: a delayed script ad that has drawn becomes valid at its stop") {
    load("<script>location.href = 'gmsg://h/delayPageLoaded?start=1';</script>"
         "<div style='width:320px;height:50px;background:#00f'></div>");
    advance(0.2);
    runUntilIdle();
    CHECK_FALSE(delegate->isRenderingTimerRunning());
    CHECK(delegate->isLoadDelayed());
    CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
    slot->adView()->evaluate("location.href = 'gmsg://h/delayPageLoaded?stop=1';");
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    CHECK(owner->finished == 1);
}
