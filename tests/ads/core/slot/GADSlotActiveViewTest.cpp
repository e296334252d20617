#include <doctest/doctest.h>

#include "SlotTestSupport.h"
#include "ads/core/slot/GADMRAIDEventHandling.h"
#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "ads/render/GADAdView.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "platform/net/NetworkEngine.h"
#include "platform/testing/Harness.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

using platform::testing::Harness;
using slottest::FakeNeighbours;
using slottest::FakeOwner;

namespace {

struct RecordingHandler : ruzave::GADMRAIDEventHandling {
    std::vector<std::string> calls;
    void MRAIDAdDidLoad() override { calls.push_back("load"); }
    void MRAIDAdDidUnload() override { calls.push_back("unload"); }
    void updateVisibility(bool visible) override { calls.push_back(visible ? "visible" : "hidden"); }
    void updatePositionFromView(const std::shared_ptr<platform::View>&) override { calls.push_back("position"); }
    void handleError(const std::string&, const std::string&) override { calls.push_back("error"); }
};

const platform::Value& unitOf(const platform::Value& params) {
    return params.at("units").at(0);
}

// A slot showing an ad (state 6) that has not yet counted its impression; the core page it borrows for
// active view is served locally.
struct Showing : Harness {
    std::unique_ptr<adserver::AdServer> server = sdkcoretest::startCoreServer();
    FakeNeighbours fakes;
    std::shared_ptr<FakeOwner> owner = std::make_shared<FakeOwner>();
    std::shared_ptr<ruzave::GADSlot> slot = slottest::makeSlot(owner);
    Showing() {
        auto fetcher = slottest::startFetch(fakes, *slot);
        REQUIRE(fetcher);
        fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
        REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
        slot->finishActiveViewReporting();
        slot->setViewHasMadeImpression(false);
    }
    // The borrowed core page finishes loading before the test's server goes.
    ~Showing() {
        if (!borrowed) return;
        sdkcoretest::pump(*this, [&] {
            return borrowed->state() == ruzave::GADSDKCoreWebViewStateLoaded &&
                   platform::NetworkEngine::shared().activeTransferCount() == 0;
        });
    }
    std::shared_ptr<ruzave::GADSDKCoreWebView> borrowed;
};

} // namespace

TEST_CASE("GADSlot: a box is standardised and nothing unreal reaches the page") {
    auto box = ruzave::GADSlot::dictionaryForBounds(platform::Rect(100, 10, -50, 20));
    CHECK(box["left"] == 50.0);
    CHECK(box["right"] == 100.0);
    CHECK(box["top"] == 10.0);
    CHECK(box["bottom"] == 30.0);
    auto null = ruzave::GADSlot::dictionaryForBounds(platform::Rect::null());
    CHECK(null == ruzave::GADSlot::dictionaryForBounds(platform::Rect::zero()));
    CHECK(platform::toJSON(null).find("inf") == std::string::npos);
    CHECK_FALSE(ruzave::GADSlot::activeViewJSCommandWithParams(std::nullopt).has_value());
    auto command = ruzave::GADSlot::activeViewJSCommandWithParams(platform::Value{{"units", platform::Value::array()}});
    CHECK(command == std::optional<std::string>("ZUDO_updateActiveView({\"units\":[]})"));
}

TEST_CASE_FIXTURE(Showing, "GADSlot: no monitor before the impression, or for an ad without active view or MRAID") {
    slot->startActiveViewReportingIfEnabled();
    CHECK_FALSE(slot->activeViewMonitor());
    slot->setViewHasMadeImpression(true);
    slot->startActiveViewReportingIfEnabled();
    CHECK_FALSE(slot->canEnableActiveViewMonitoring());
    CHECK_FALSE(slot->activeViewMonitor());
}

TEST_CASE_FIXTURE(Showing, "GADSlot: an unloading sample of a view without a window") {
    slot->ad()->setActiveViewConfigurations(platform::Value{{"cfg", 1}});
    auto holder = platform::View::create(platform::Rect(5, 7, 400, 100));
    holder->addSubview(slot->adView());
    slot->adView()->setFrame(platform::Rect(10, 20, 320, 50));
    slot->didMakeAdImpression();
    auto monitor = slot->activeViewMonitor();
    REQUIRE(monitor);
    borrowed = slot->SDKCoreWebView();
    const std::uint32_t id = slot->activeViewID();
    CHECK(id >= 1);
    CHECK_FALSE(monitor->isMonitoring());
    auto unit = unitOf(slot->activeViewParameters(monitor, true));
    CHECK(unit["doneReasonCode"] == "u");
    CHECK(unit["isSubViewOfVisibleWindow"] == "0");
    CHECK(unit["isVisible"] == "0");
    CHECK(unit["viewBox"] == ruzave::GADSlot::dictionaryForBounds(platform::Rect::zero()));
    // The view's bounds in its topmost ancestor's coordinates.
    CHECK(unit["adBox"] == ruzave::GADSlot::dictionaryForBounds(platform::Rect(10, 20, 320, 50)));
    CHECK(unit["hashCode"] == id);
    CHECK(unit["adFormat"] == "banner_mb");
    CHECK(unit["ad_type_mraid"] == "0");
    CHECK(unit["activeViewJSON"] == platform::Value{{"cfg", 1}});
    CHECK(unit["screenDimension"].contains("top"));
    CHECK_FALSE(slot->activeViewParameters(monitor, false).at("units").at(0).contains("doneReasonCode"));

    // A new ad ends the reporting; a later impression makes a new unit.
    slot->finishActiveViewReporting();
    CHECK_FALSE(slot->activeViewMonitor());
    CHECK_FALSE(slot->SDKCoreWebView());
    slot->startActiveViewReportingIfEnabled();
    REQUIRE(slot->activeViewMonitor());
    CHECK(slot->activeViewID() > id);
}

TEST_CASE_FIXTURE(Showing, "GADSlot: verdicts reach the MRAID handler only for MRAID ads and an untrack ends reporting") {
    auto handler = std::make_shared<RecordingHandler>();
    auto window = platform::Window::create();
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    window->makeKeyAndVisible();
    window->addSubview(slot->adView());
    slot->adViewDidChangeActiveViewVisibility(true);
    CHECK(handler->calls.empty());
    slot->ad()->setMRAIDEventHandler(handler);
    CHECK(slot->isMRAIDEnabled());
    slot->setViewHasMadeImpression(true);
    slot->startActiveViewReportingIfEnabled();
    REQUIRE(slot->activeViewMonitor());
    borrowed = slot->SDKCoreWebView();
    CHECK(slot->activeViewMonitor()->isMonitoring());
    CHECK(handler->calls == std::vector<std::string>{"position"});
    CHECK(unitOf(slot->activeViewParameters(slot->activeViewMonitor(), false))["isVisible"] == "1");
    slot->adViewDidChangeActiveViewVisibility(true);
    slot->adViewDidChangeActiveViewVisibility(false);
    CHECK(handler->calls == std::vector<std::string>{"position", "visible", "hidden"});
    slot->adViewDidStopActiveViewMonitoring();
    CHECK_FALSE(slot->activeViewMonitor());
}
