#include "tools/demo/DemoCustomEventBanner.h"

#include <doctest/doctest.h>

#include "ads/mediation/GADCustomEventRequest.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/testing/Harness.h"
#include "platform/ui/View.h"
#include "tools/demo/DemoServer.h"

namespace {

struct Recorder : ruzave::GADCustomEventBannerDelegate {
    std::vector<std::shared_ptr<platform::View>> views;
    void customEventBannerDidReceiveAd(ruzave::GADCustomEventBanner&, const std::shared_ptr<platform::View>& v) override {
        views.push_back(v);
    }
    void customEventBannerDidFailAd(ruzave::GADCustomEventBanner&, const platform::Error&) override {}
    void customEventBannerWasClicked(ruzave::GADCustomEventBanner&) override {}
    void customEventBannerWillPresentModal(ruzave::GADCustomEventBanner&) override {}
    void customEventBannerWillDismissModal(ruzave::GADCustomEventBanner&) override {}
    void customEventBannerDidDismissModal(ruzave::GADCustomEventBanner&) override {}
    void customEventBannerWillLeaveApplication(ruzave::GADCustomEventBanner&) override {}
    void customEventBannerClickDidOccurInAd(ruzave::GADCustomEventBanner&, const std::shared_ptr<platform::View>&) override {}
    std::shared_ptr<platform::ViewController> viewControllerForPresentingModalView() override { return nullptr; }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "DemoCustomEventBanner: found by name, it fills on a later turn with the asked size") {
    demo::DemoCustomEventBanner::registerClass();
    demo::DemoCustomEventBanner::registerClass();  // a second call changes nothing
    auto made = platform::ClassRegistry::create<ruzave::GADCustomEventBanner>("DemoCustomEventBanner");
    REQUIRE(made);
    auto recorder = std::make_shared<Recorder>();
    made->setDelegate(recorder);
    made->requestBannerAd(ruzave::GADAdSize{{320, 50}, 0}, std::string("house-ad"), std::string("demo"), nullptr);
    CHECK(recorder->views.empty());  // never from inside the request
    REQUIRE(runUntil([&] { return !recorder->views.empty(); }));
    CHECK(recorder->views.size() == 1);
    CHECK(recorder->views[0]->frame().size.width == 320);
    CHECK(recorder->views[0]->frame().size.height == 50);
    CHECK(demo::DemoCustomEventBanner::lastParameter() == std::optional<std::string>("house-ad"));
    CHECK(demo::DemoCustomEventBanner::lastLabel() == std::optional<std::string>("demo"));

    // A custom event dropped before its answer answers nothing.
    auto dropped = platform::ClassRegistry::create<ruzave::GADCustomEventBanner>("DemoCustomEventBanner");
    dropped->setDelegate(recorder);
    dropped->requestBannerAd(ruzave::GADAdSize{{320, 50}, 0}, std::nullopt, std::nullopt, nullptr);
    dropped.reset();
    runUntilIdle();
    CHECK(recorder->views.size() == 1);
}

TEST_CASE("DemoCustomEventBanner: the demo's mediation response names it as its one custom event network") {
    auto json = platform::parseJSON(demo::DemoServer::mediationJSON("DemoCustomEventBanner"));
    REQUIRE(json.has_value());
    const auto& networks = (*json)["ad_networks"];
    REQUIRE(networks.size() == 1);
    CHECK(networks[0]["adapters"][0] == "GADMAdapterCustomEvents");
    CHECK(networks[0]["data"]["class_name"] == "DemoCustomEventBanner");
}
