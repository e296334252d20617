#include "tools/demo/DemoAdStages.h"

#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/web/WebView.h"
#include "tools/demo/DemoServer.h"

using demo::DemoAdStages;
using Observations = demo::DemoAdStages::Observations;
using Stage = demo::DemoAdStages::Stage;

namespace {

Observations allSeen() {
    Observations o;
    for (std::size_t i = 0; i < DemoAdStages::kStageCount; ++i) o.see(static_cast<Stage>(i), double(i));
    return o;
}

} // namespace

TEST_CASE("DemoAdStages: every stage seen passes, a missing one fails with its name and why") {
    Observations o = allSeen();
    CHECK_FALSE(DemoAdStages::failureReason(o).has_value());

    // The first missing stage in order is the one named, even when later ones are missing too.
    o.at[static_cast<std::size_t>(Stage::ImpressionPing)].reset();
    o.at[static_cast<std::size_t>(Stage::MediatedAd)].reset();
    auto why = DemoAdStages::failureReason(o);
    REQUIRE(why.has_value());
    CHECK(why->find("\"impression ping\" failed") == 0);
    CHECK(why->find("no impression ping reached the server") != std::string::npos);
}

TEST_CASE("DemoAdStages: a problem in a stage that was reached still fails the run") {
    Observations o = allSeen();
    o.problems = {"one click pinged twice", "later"};
    CHECK(DemoAdStages::failureReason(o) == std::optional<std::string>("one click pinged twice"));
    // The first stage seen keeps its time.
    o.see(Stage::Rendered, 99);
    CHECK(*o.at[0] == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "DemoAdStages: the render check counts only the creative's colour") {
    auto webView = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    CHECK(DemoAdStages::pixelsOfColor(*webView, demo::DemoServer::creativeColor()) == 0);
    webView->loadHTMLString(demo::DemoServer::standardDemoAd().html, platform::URL::parse("https://ads.ruzave.example/"));
    REQUIRE(runUntil([&] { return webView->currentPage() && !webView->isLoading(); }));
    std::size_t painted = DemoAdStages::pixelsOfColor(*webView, demo::DemoServer::creativeColor());
    // The white text box covers part of it, never all.
    CHECK(painted > 320 * 50 / 2);
    CHECK(painted < 320 * 50);
    CHECK(DemoAdStages::pixelsOfColor(*webView, platform::Color::red()) == 0);
}
