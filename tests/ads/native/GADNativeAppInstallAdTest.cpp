#include <doctest/doctest.h>

#include "ads/native/GADMediatedNativeAppInstallAd.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeAppInstallAd.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADNativeAppInstallAd;

namespace {

platform::Value appJSON(const std::string& iconURL = "https://a.example/icon.png") {
    return {{"headline", "App"}, {"call_to_action", "Install"}, {"app_icon", {{"url", iconURL}}}, {"rating", 4.5},
            {"store", "Store"}, {"price", "Free"}};
}

} // namespace

TEST_CASE("GADNativeAppInstallAd: headline, call to action and a usable icon are needed") {
    auto ad = GADNativeAppInstallAd::initWithDictionary(appJSON(), {});
    REQUIRE(ad);
    CHECK(ad->starRating() == 4.5);
    CHECK(ad->store() == "Store");
    CHECK(ad->clickActionTemplateID() == "2");
    CHECK(ad->requiredAssets() == std::set<std::string>{"headline", "callToAction", "icon", "attribution"});
    auto noRating = appJSON();
    noRating.erase("rating");
    CHECK(GADNativeAppInstallAd::initWithDictionary(noRating, {})->starRating() == 0);
    auto noIcon = appJSON();
    noIcon.erase("app_icon");
    CHECK_FALSE(GADNativeAppInstallAd::initWithDictionary(noIcon, {}));
    auto iconWithoutURL = appJSON();
    iconWithoutURL["app_icon"] = {{"scale", 2}};
    CHECK_FALSE(GADNativeAppInstallAd::initWithDictionary(iconWithoutURL, {}));
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeAppInstallAd: a failing icon ends the load with the required-asset error") {
    auto ad = GADNativeAppInstallAd::initWithDictionary(appJSON(Server::url("/img/missing.png")), {});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    REQUIRE(runUntil([&] { return !outcomes.calls.empty(); }, 20));
    REQUIRE(outcomes.calls[0]);
    CHECK(outcomes.calls[0]->description == "Failed to load a required asset.");

    auto good = GADNativeAppInstallAd::initWithDictionary(appJSON(Server::url("/img/grey.jpg")), {});
    nativetest::Outcomes ok;
    good->loadAssetsWithCompletionHandler(ok.handler());
    REQUIRE(runUntil([&] { return !ok.calls.empty(); }, 20));
    CHECK_FALSE(ok.calls[0]);
    CHECK(good->icon()->image());
}

TEST_CASE("GADNativeAppInstallAd: a mediated app-install ad needs its icon") {
    struct NetworkApp : ruzave::GADMediatedNativeAppInstallAd {
        std::shared_ptr<ruzave::GADNativeAdImage> icon_;
        std::optional<std::string> headline() const override { return "h"; }
        std::optional<std::string> callToAction() const override { return "c"; }
        std::shared_ptr<ruzave::GADNativeAdImage> icon() const override { return icon_; }
        std::optional<double> starRating() const override { return 3.0; }
    };
    auto network = std::make_shared<NetworkApp>();
    auto wrapper = ruzave::GADMediatedNativeAd::initWithMediatedNativeAd(network);
    CHECK_FALSE(GADNativeAppInstallAd::initWithMediatedNativeAd(wrapper, {}));
    network->icon_ = ruzave::GADNativeAdImage::initWithURL(*platform::URL::parse("https://a.example/i.png"), 1);
    auto ad = GADNativeAppInstallAd::initWithMediatedNativeAd(wrapper, {});
    REQUIRE(ad);
    CHECK(ad->starRating() == 3.0);
    CHECK(ruzave::GADNativeAd::classFromMediatedNativeAd(wrapper) == "GADNativeAppInstallAd");
}
