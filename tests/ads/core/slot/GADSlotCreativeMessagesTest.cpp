#include <doctest/doctest.h>

#include "SlotTestSupport.h"
#include "ads/render/GADAdView.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Window.h"

using platform::testing::Harness;
using slottest::FakeNeighbours;
using slottest::FakeOwner;

namespace {

struct PositionedOwner : FakeOwner {
    std::optional<platform::Rect> frame;
    std::optional<platform::Rect> ownerFrameInInterface() const override { return frame; }
};

// A slot showing a page that records what reaches ZUDO_ReceiveMessage.
struct Creative : Harness {
    FakeNeighbours fakes;
    std::shared_ptr<PositionedOwner> owner = std::make_shared<PositionedOwner>();
    std::shared_ptr<ruzave::GADSlot> slot = slottest::makeSlot(owner);
    Creative() {
        auto fetcher = slottest::startFetch(fakes, *slot);
        REQUIRE(fetcher);
        fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<html><body>ad</body></html>"));
        REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
        // Active view stays out of these cases: it would send positions of its own.
        slot->finishActiveViewReporting();
        slot->setViewHasMadeImpression(false);
        slot->adView()->evaluate("var got = []; var at = []; window.ZUDO_ReceiveMessage = function (n, d) {"
                                 " got.push(n); if (d && d.x !== undefined) at.push(d.x + ',' + d.y); };");
    }
    std::vector<std::string> messages() {
        runUntilIdle();
        std::string text = slot->adView()->evaluate("got.join('|')");
        slot->adView()->evaluate("got = [];");
        std::vector<std::string> out;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t bar = text.find('|', start);
            if (bar == std::string::npos) bar = text.size();
            out.push_back(text.substr(start, bar - start));
            start = bar + 1;
        }
        return out;
    }
    static long count(const std::vector<std::string>& list, const std::string& name) {
        return std::count(list.begin(), list.end(), name);
    }
};

} // namespace

TEST_CASE_FIXTURE(Creative, "GADSlot: MRAID loaded twice starts listening once and repeats the handshake") {
    // Without an MRAID handler the creative hears nothing about its screen.
    slot->notifyOrientationToMRAIDCreative();
    CHECK(messages().empty());

    slot->MRAIDAdDidLoad();
    CHECK(slot->isMRAIDEnabled());
    CHECK(slot->isListeningToDeviceOrientationChangeEvent());
    auto first = messages();
    CHECK(count(first, "onDeviceFeaturesReceived") == 1);
    CHECK(count(first, "onReadyEventReceived") == 1);
    CHECK(count(first, "onScreenInfoChanged") >= 1);
    CHECK(first.back() == "onReadyEventReceived");

    slot->MRAIDAdDidLoad();
    auto second = messages();
    CHECK(count(second, "onDeviceFeaturesReceived") == 1);
    CHECK(count(second, "onReadyEventReceived") == 1);
    CHECK(count(second, "onScreenInfoChanged") == 1);

    // One orientation change, one screen update: the self-observation was not doubled.
    platform::NotificationCenter::defaultCenter()->post(platform::kApplicationDidChangeStatusBarOrientation);
    CHECK(messages() == std::vector<std::string>{"onScreenInfoChanged"});

    slot->MRAIDAdDidUnload();
    CHECK_FALSE(slot->isListeningToDeviceOrientationChangeEvent());
    platform::NotificationCenter::defaultCenter()->post(platform::kApplicationDidChangeStatusBarOrientation);
    CHECK(messages().empty());
}

TEST_CASE_FIXTURE(Creative, "GADSlot: positions go out only when they change, the default one only for a real frame") {
    slot->MRAIDAdDidLoad();
    messages();
    auto window = platform::Window::create();
    window->makeKeyAndVisible();
    window->addSubview(slot->adView());
    slot->adView()->setFrame(platform::Rect(0, 100, 320, 50));

    owner->frame = platform::Rect::zero();
    slot->updatePositionFromView(slot->adView());
    auto first = messages();
    CHECK(count(first, "onDefaultPositionReceived") == 0);
    REQUIRE(count(first, "onSizeChanged") == 1);
    // In interface coordinates, below the status bar that the application frame leaves out.
    CHECK(slot->adView()->evaluate("at.join('|')") == "0,80");
    slot->updatePositionFromView(slot->adView());
    CHECK(messages().empty());

    // A view out of its window: no size, but the owner's position still goes out.
    slot->adView()->removeFromSuperview();
    owner->frame = platform::Rect(0, 60, 320, 50);
    slot->updatePositionFromView(slot->adView());
    auto second = messages();
    CHECK(count(second, "onSizeChanged") == 0);
    CHECK(count(second, "onDefaultPositionReceived") == 1);
    slot->updatePositionFromView(slot->adView());
    CHECK(messages().empty());
}

TEST_CASE_FIXTURE(Creative, "GADSlot: positions are standardised and errors carry their message and action") {
    auto p = ruzave::GADSlot::creativePositionDictionaryForActiveViewBounds(platform::Rect(100, 10, -50, 20));
    CHECK(p["x"] == 50.0);
    CHECK(p["width"] == 50.0);
    CHECK(ruzave::GADSlot::creativePositionDictionaryForActiveViewBounds(platform::Rect::null())["x"] == 0.0);
    slot->adView()->evaluate("window.ZUDO_ReceiveMessage = function (n, d) { got.push(n + ':' + d.message + ':' + d.action); };");
    slot->handleError("bad \"size\"", "resize");
    CHECK(messages() == std::vector<std::string>{"onError:bad \"size\":resize"});
    slot->adView()->evaluate("window.ZUDO_ReceiveMessage = function (n, d) { got.push(n + ':' + d.visible); };");
    slot->updateVisibility(true);
    slot->updateVisibility(false);
    CHECK(messages() == std::vector<std::string>{"onAdVisibilityChanged:1", "onAdVisibilityChanged:0"});
}

namespace {

struct SizedOwner : FakeOwner {
    std::vector<platform::Size> sizes;
    void slotContentSizeDidChange(ruzave::GADSlot&, platform::Size size) override { sizes.push_back(size); }
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSlot: content size passes a fluid creative's size and otherwise the custom size") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<SizedOwner>();
    auto slot = slottest::makeSlot(owner);

    // No ad yet: a non-fluid slot passes zero, whatever the page reported.
    slot->updateContentSize(platform::Size{300, 600});
    REQUIRE(owner->sizes.size() == 1);
    CHECK(owner->sizes[0] == platform::Size{0, 0});

    // Fluid is read from the loading ad while there is no current one.
    auto fluid = ruzave::GADAd::init();
    fluid->setFluid(true);
    slottest::startFetch(fakes, *slot, fluid);
    slot->updateContentSize(platform::Size{300, 123});
    REQUIRE(owner->sizes.size() == 2);
    CHECK(owner->sizes[1] == platform::Size{300, 123});

    // A shown non-fluid ad with a custom size passes that size.
    auto fixed = ruzave::GADAd::init();
    fixed->setCustomAdSizeString(std::string("320x50"));
    slot->finishedLoadingAdResponse(fixed);
    slot->updateContentSize(platform::Size{999, 999});
    REQUIRE(owner->sizes.size() == 3);
    CHECK(owner->sizes[2] == platform::Size{320, 50});
}
