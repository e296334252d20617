#include "ads/render/GADBrowserAdView.h"

#include <doctest/doctest.h>

#include "platform/testing/Harness.h"

TEST_CASE_FIXTURE(platform::testing::Harness, "GADBrowserAdView: a landing page hears none of the SDK's events") {
    auto view = ruzave::GADBrowserAdView::initWithFrame(platform::Rect(0, 0, 320, 480));
    // A landing page that happens to define the receiver the SDK calls.
    view->loadHTMLString("<html><body><script>var got = [];"
                         "function ZUDO_ReceiveMessage(n) { got.push(n); }</script></body></html>",
                         platform::URL::parse("https://shop.example/"));
    view->dispatchSDKEvent("onAdVisibilityChanged", platform::Value{{"visible", "1"}});
    CHECK(view->pendingEventCount() == 0);
    REQUIRE(runUntil([&] { return !view->isLoading() && !view->eventsSuspended(); }));
    view->dispatchSDKEvent("onStateChanged", platform::Value{{"state", "default"}});
    view->postJSNotification("onScreenInfoChanged", std::nullopt);
    runUntilIdle();
    CHECK(view->evaluate("got.length") == "0");
}
