#include "ads/render/GADOverlayProxy.h"

#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::RecordedSlot;
using platform::testing::Harness;
using ruzave::GADOverlayProxy;

namespace {
using Calls = std::vector<std::string>;
}

TEST_CASE_FIXTURE(Harness, "GADOverlayProxy: one proxy per controller, owned by it") {
    auto sheet = platform::ViewController::create();
    auto proxy = GADOverlayProxy::initWithViewController(sheet);
    REQUIRE(proxy);
    CHECK(GADOverlayProxy::initWithViewController(sheet) == nullptr);
    CHECK(GADOverlayProxy::overlayProxyForViewController(sheet.get()) == proxy);
    CHECK(GADOverlayProxy::initWithViewController(nullptr) == nullptr);
    std::weak_ptr<GADOverlayProxy> weak = proxy;
    proxy.reset();
    CHECK_FALSE(weak.expired()); // the controller keeps it
    auto* address = sheet.get();
    sheet.reset();
    CHECK(GADOverlayProxy::overlayProxyForViewController(address) == nullptr);
    CHECK(weak.expired());
}

TEST_CASE_FIXTURE(Harness, "GADOverlayProxy: a sheet shown and closed through its proxy makes one period, "
                           "and the completion runs inside it") {
    RecordedSlot s;
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto sheet = platform::ViewController::create();
    auto proxy = GADOverlayProxy::initWithViewController(sheet);
    proxy->setSlot(s.slot);

    // Without a presenting controller nothing goes up and no period begins.
    proxy->presentFromViewController(nullptr, nullptr);
    CHECK(s.events->calls.empty());
    CHECK_FALSE(proxy->intermission());

    int shown = 0;
    proxy->presentFromViewController(root, [&] { ++shown; });
    proxy->presentFromViewController(root, [&] { ++shown; }); // already up: nothing
    advance(0.5);
    runUntilIdle();
    CHECK(shown == 1);
    CHECK(root->presentedViewController() == sheet);
    CHECK(s.events->calls == Calls{"willPresent"});
    CHECK_FALSE(proxy->shouldDismissOnApplicationEnteringForeground());

    std::vector<std::string> order;
    auto period = proxy->intermission();
    REQUIRE(period);
    proxy->relinquishScreenWithCompletion([&] {
        order.push_back("completion " + s.events->calls.back());
        // The caller finds the proxy still in its period, as the screen's leaving is not yet reported.
        CHECK(proxy->intermission() == period);
        CHECK(period->deactivatingParticipantCount() == 1);
    });
    advance(0.5);
    runUntilIdle();
    // The caller's completion runs before the proxy reports its end.
    CHECK(order == Calls{"completion willDismiss"});
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(proxy->intermission());
    CHECK(root->presentedViewController() == nullptr);
}
