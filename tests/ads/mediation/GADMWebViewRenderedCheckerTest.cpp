#include <doctest/doctest.h>

#include <memory>
#include <vector>

#include "ads/mediation/GADMWebViewRenderedChecker.h"
#include "platform/testing/Harness.h"
#include "platform/web/WebView.h"

using ruzave::GADMWebViewRenderedChecker;

namespace {

struct Listener : ruzave::GADMWebViewRenderedCheckerDelegate {
    std::vector<bool> answers;
    void webViewIsRendered(platform::WebView&, bool rendered) override { answers.push_back(rendered); }
};

// A 10 x 10 image with `count` red pixels on a clear ground.
platform::Bitmap imageWithRedPixels(int count) {
    platform::Bitmap image(10, 10);
    for (int i = 0; i < count; ++i) image.setPixel(i % 10, i / 10, platform::Color::red().premultipliedRGBA8());
    return image;
}

} // namespace

TEST_CASE("GADMWebViewRenderedChecker: the pixel share counts exact matches of the colour") {
    CHECK(GADMWebViewRenderedChecker::percentOfImage(imageWithRedPixels(0), platform::Color::clear()) == 1.0f);
    CHECK(GADMWebViewRenderedChecker::percentOfImage(imageWithRedPixels(25), platform::Color::clear()) == 0.75f);
    CHECK(GADMWebViewRenderedChecker::percentOfImage(imageWithRedPixels(25), platform::Color::red()) == 0.25f);
    // Monochrome colours compare as the grey they are.
    platform::Bitmap grey(2, 1);
    grey.fill(platform::Color::rgba(1, 1, 1, 1));
    CHECK(GADMWebViewRenderedChecker::percentOfImage(grey, platform::Color::whiteColor()) == 1.0f);
    CHECK(GADMWebViewRenderedChecker::percentOfImage(grey, platform::Color::black()) == 0.0f);
    // Nearly the colour is not the colour.
    platform::Bitmap faint(1, 1);
    faint.setPixel(0, 0, 0x00000001);
    CHECK(GADMWebViewRenderedChecker::percentOfImage(faint, platform::Color::clear()) == 0.0f);
    // No pixels, no share.
    CHECK_FALSE(GADMWebViewRenderedChecker::percentOfImage(platform::Bitmap(), platform::Color::clear()));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADMWebViewRenderedChecker: a check answers by the tenth of non-background pixels") {
    auto listener = std::make_shared<Listener>();
    auto check = [&](const std::string& html, platform::Rect frame) {
        auto webView = platform::WebView::create(frame);
        webView->setOpaque(false);
        webView->setBackgroundColor(platform::Color::clear());
        webView->loadHTMLString(html, platform::URL::parse("https://base.invalid/"));
        runUntilIdle();
        GADMWebViewRenderedChecker checker(webView, listener);
        checker.checkIsContentRenderedInWebView();
    };
    const platform::Rect banner{{0, 0}, {320, 50}};
    check(R"(<div style="width:320px;height:6px;background:blue"></div>)", banner);
    check(R"(<div style="width:320px;height:5px;background:blue"></div>)", banner);
    check("", banner);
    // A web view without area has no snapshot and is not rendered.
    check(R"(<div style="width:320px;height:6px;background:blue"></div>)", platform::Rect::zero());
    CHECK(listener->answers == std::vector<bool>{true, false, false, false});
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADMWebViewRenderedChecker: without a web view or a delegate a check does nothing") {
    auto listener = std::make_shared<Listener>();
    auto webView = platform::WebView::create({{0, 0}, {10, 10}});
    webView->setOpaque(false);
    webView->setBackgroundColor(platform::Color::clear());
    GADMWebViewRenderedChecker checker(webView, listener);
    checker.setWebView({});
    checker.checkIsContentRenderedInWebView();
    checker.setWebView(webView);
    checker.setDelegate({});
    checker.checkIsContentRenderedInWebView();
    CHECK(listener->answers.empty());
    checker.setDelegate(listener);
    checker.checkIsContentRenderedInWebView();
    CHECK(listener->answers == std::vector<bool>{false});
}
