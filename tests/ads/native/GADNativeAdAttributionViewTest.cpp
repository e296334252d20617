#include <doctest/doctest.h>

#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdAttributionView.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/render/GADPushTransitionView.h"
#include "platform/ui/Label.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADNativeAdAttributionView;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAdAttributionView: text only gives an icon area of zero size") {
    auto view = GADNativeAdAttributionView::initWithFrame(platform::Rect::zero());
    auto attribution = ruzave::GADNativeAdAttribution::initWithDictionary({{"text", "Ad"}, {"text_size", 10}});
    view->setAttribution(attribution);
    auto label = std::static_pointer_cast<platform::Label>(view->textView());
    CHECK(label->text() == "Ad");
    CHECK(view->backgroundColor() == platform::Color::rgba(0.8f, 0.8f, 0.8f, 1));
    platform::Size size = view->intrinsicContentSize();
    CHECK(size.height == doctest::Approx(12.0)); // one line of a 10-point font
    CHECK(size.width == doctest::Approx(12.0 + 2 * 0.37 * 12.0));
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADNativeAdAttributionView: the text has margins of 0.37 times its height") {
    auto view = GADNativeAdAttributionView::initWithFrame(platform::Rect::zero());
    view->setAttribution(
        ruzave::GADNativeAdAttribution::initWithDictionary({{"text", "Ad"}, {"text_size", 10}}));
    view->setFrame({{0, 0}, view->intrinsicContentSize()});
    view->layoutIfNeeded();
    // "Ad" in a 10-point font is 12 by 12: each margin is 4.44 wide.
    auto text = view->textView()->frame();
    CHECK(text.minX() == doctest::Approx(0.37 * 12));
    CHECK(text.width() == doctest::Approx(12.0));
    CHECK(text.height() == doctest::Approx(12.0));
    CHECK(view->bounds().width() - text.maxX() == doctest::Approx(0.37 * 12));
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeAdAttributionView: loaded icons cycle in an area of the largest icon") {
    auto attribution = ruzave::GADNativeAdAttribution::initWithDictionary(
        {{"images", platform::Value::array({{{"url", Server::url("/img/red.png")}}, {{"url", Server::url("/img/grey.jpg")}}})},
         {"presentation_ms", 1000}});
    nativetest::Outcomes outcomes;
    attribution->loadAssetsWithCompletionHandler(outcomes.handler());
    REQUIRE(runUntil([&] { return !outcomes.calls.empty(); }, 20));
    auto view = GADNativeAdAttributionView::initWithFrame(platform::Rect::zero());
    view->setAttribution(attribution);
    auto icons = std::static_pointer_cast<ruzave::GADPushTransitionView>(view->iconView());
    CHECK(icons->presentationDuration() == doctest::Approx(1.0));
    REQUIRE(icons->currentView());
    // red.png is 4x2, grey.jpg 8x8, no text: the badge is the 8 by 8 icon area; a second attribution
    // replaces it.
    CHECK(view->intrinsicContentSize().width == doctest::Approx(8.0));
    CHECK(view->intrinsicContentSize().height == doctest::Approx(8.0));
    view->setAttribution(ruzave::GADNativeAdAttribution::initWithDictionary({{"text", "x"}}));
    CHECK_FALSE(icons->currentView());
    CHECK(view->intrinsicContentSize().height == doctest::Approx(15.0)); // a 12-point line, whole points
}
