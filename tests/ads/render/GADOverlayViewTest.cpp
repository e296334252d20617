#include <doctest/doctest.h>

#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADOverlayView.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADAdView;
using ruzave::GADOverlayView;

namespace {

const char* kMainPage = "<script>var got = [];function ZUDO_ReceiveMessage(n, d) { got.push(n + ':' + JSON.stringify(d)); }</script>";

struct OverlayFixture : Harness {
    std::shared_ptr<GADAdView> main = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    std::shared_ptr<ruzave::GADAdViewDelegate> router = ruzave::GADAdViewDelegate::init();
    std::shared_ptr<GADOverlayView> overlay = GADOverlayView::initWithFrame(platform::Rect(0, 0, 320, 50));
    OverlayFixture() {
        main->setDelegate(router);
        main->loadHTMLString(kMainPage, platform::URL::parse("https://ads.example/main"));
        REQUIRE(runUntil([&] { return !main->isLoading() && !main->eventsSuspended(); }));
        overlay->setAdView(main);
    }
    void send(const std::string& url) { main->evaluate("location.href = '" + url + "';"); }
    std::string mainGot(int i) { return main->evaluate("got[" + std::to_string(i) + "] || ''"); }
};

} // namespace

TEST_CASE_FIXTURE(OverlayFixture, "GADOverlayView: loadHtml without overlayHtml does nothing, show and hide follow the page") {
    CHECK(overlay->isHidden());
    send("gmsg://h/loadHtml?baseUrl=https%3A%2F%2Fads.example%2F");
    send("gmsg://h/showOverlay");
    REQUIRE(runUntil([&] { return !overlay->isHidden(); }));
    CHECK(overlay->overlayView() == nullptr);
    send("gmsg://h/hideOverlay");
    REQUIRE(runUntil([&] { return overlay->isHidden(); }));
}

TEST_CASE_FIXTURE(OverlayFixture, "GADOverlayView: a loaded overlay says htmlLoaded with its id and its messages carry the id") {
    std::string html = "<script>var got = [];function ZUDO_ReceiveMessage(n, d) { got.push(n + ':' + JSON.stringify(d)); }</script>";
    send("gmsg://h/loadHtml?id=7&overlayHtml=" + platform::percentEncode(html));
    REQUIRE(runUntil([&] { return mainGot(0) != ""; }));
    CHECK(mainGot(0) == "sendMessageToNativeJs:{\"messageType\":\"htmlLoaded\",\"id\":\"7\"}");
    CHECK(overlay->overlayIdentifier() == "7");
    auto page = overlay->overlayView();
    REQUIRE(page);
    page->evaluate("location.href = 'gmsg://h/sendMessageToSdk?x=1';");
    REQUIRE(runUntil([&] { return mainGot(1) != ""; }));
    CHECK(mainGot(1) == "sendMessageToNativeJs:{\"x\":\"1\",\"id\":\"7\"}");
    send("gmsg://h/sendMessageToNativeJs?y=2");
    REQUIRE(runUntil([&] { return page->evaluate("got[0] || ''") != ""; }));
    CHECK(page->evaluate("got[0]") == "sendMessageToSdk:{\"y\":\"2\"}");
}

TEST_CASE_FIXTURE(OverlayFixture, "GADOverlayView: another main ad view removes the overlay page and hides the view") {
    send("gmsg://h/loadHtml?overlayHtml=%3Cp%3Eo%3C%2Fp%3E");
    send("gmsg://h/showOverlay");
    REQUIRE(runUntil([&] { return overlay->overlayView() != nullptr && !overlay->isHidden(); }));
    overlay->setAdView(main);
    CHECK(overlay->overlayView() != nullptr);
    overlay->setAdView(GADAdView::init());
    CHECK(overlay->overlayView() == nullptr);
    CHECK(overlay->isHidden());
}
