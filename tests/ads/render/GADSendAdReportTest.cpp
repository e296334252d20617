#include <doctest/doctest.h>

#include "../core/net/FetchTestSupport.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADSendAdReport.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"

using fetchtest::ServerFixture;

TEST_CASE_FIXTURE(ServerFixture, "GADSendAdReport: the debug text goes as JSON to the built-in endpoint") {
    CHECK(ruzave::GADAdReportURLString() == std::optional<std::string>("https://report.ruzave.example/s/reportAd"));
    REQUIRE(ruzave::GADSendAdReport(std::string("line \"1\"\nline 2")));
    REQUIRE(runUntil([&] { return server->requestCount("/s/reportAd") == 1; }));
    auto request = server->requests("/s/reportAd").front();
    CHECK(request.method == "POST");
    CHECK(request.header("content-type").find("application/json") == 0);
    CHECK(platform::parseJSON(request.body).value_or(platform::Value()) == platform::Value{{"debugHeader", "line \"1\"\nline 2"}});
}

TEST_CASE_FIXTURE(ServerFixture, "GADSendAdReport: a configured path is used, no text is null, a bad target sends nothing") {
    auto defaults = platform::UserDefaults::standard();
    defaults->set(ruzave::kGADBadAdReportPathKey, platform::Value("https://report.ruzave.example/mine"));
    REQUIRE(ruzave::GADSendAdReport(std::nullopt));
    REQUIRE(runUntil([&] { return server->requestCount("/mine") == 1; }));
    CHECK(platform::Value::parse(server->requests("/mine").front().body) == platform::Value{{"debugHeader", nullptr}});
    for (const char* target : {"not a url", "file:///etc/passwd", "shop://x"}) {
        defaults->set(ruzave::kGADBadAdReportPathKey, platform::Value(target));
        CHECK_FALSE(ruzave::GADSendAdReport(std::string("x")));
    }
    defaults->set(ruzave::kGADBadAdReportPathKey, platform::Value(""));
    CHECK(ruzave::GADAdReportURLString() == std::optional<std::string>("https://report.ruzave.example/s/reportAd"));
}

TEST_CASE_FIXTURE(ServerFixture, "GADSendAdReport: the debug dialog's Report button sends the creative's information") {
    auto view = ruzave::GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->setAdDebugDialog(std::string("creative 7"));
    view->handleGesture();
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    alerts[0]->tapButtonAtIndex(2);
    REQUIRE(runUntil([&] { return server->requestCount("/s/reportAd") == 1; }));
    CHECK(platform::Value::parse(server->requests("/s/reportAd").front().body) == platform::Value{{"debugHeader", "creative 7"}});
}
