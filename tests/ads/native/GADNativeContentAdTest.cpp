#include <doctest/doctest.h>

#include "ads/native/GADMediatedNativeContentAd.h"
#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "ads/native/GADNativeContentAd.h"
#include "ads/render/GADOverlayView.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADNativeContentAd;

namespace {

platform::Value contentJSON() {
    return {{"headline", "Head"}, {"body", "Body"}, {"call_to_action", "Go"}, {"advertiser", "Shop"}};
}

struct NetworkContentAd : ruzave::GADMediatedNativeContentAd {
    std::optional<std::string> headline_ = "h";
    std::optional<std::string> headline() const override { return headline_; }
    std::optional<std::string> body() const override { return "b"; }
    int impressions = 0;
    struct Listener : ruzave::GADMediatedNativeAdDelegate {
        int impressions = 0;
        std::vector<std::string> clicks;
        void mediatedNativeAdDidRecordImpression(ruzave::GADMediatedNativeAd&) override { ++impressions; }
        void mediatedNativeAdDidRecordClickOnAssetWithName(ruzave::GADMediatedNativeAd&, const std::string& name,
                                                           const std::shared_ptr<platform::View>&,
                                                           const std::shared_ptr<platform::ViewController>&) override {
            clicks.push_back(name);
        }
    };
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
    std::shared_ptr<ruzave::GADMediatedNativeAdDelegate> mediatedNativeAdDelegate() const override { return listener; }
};

} // namespace

TEST_CASE("GADNativeContentAd: headline and body are needed and an attribution is always made") {
    auto ad = GADNativeContentAd::initWithDictionary(contentJSON(), {});
    REQUIRE(ad);
    CHECK(ad->headline() == "Head");
    CHECK(ad->advertiser() == "Shop");
    REQUIRE(ad->attribution());
    CHECK(ad->attribution()->loadingImages().empty());
    REQUIRE(ad->overlayView());
    CHECK(ad->overlayView()->isHidden());
    CHECK(ad->requiredAssets() == std::set<std::string>{"headline", "body", "attribution"});
    CHECK(ad->clickActionTemplateID() == "1");
    auto noBody = contentJSON();
    noBody.erase("body");
    CHECK_FALSE(GADNativeContentAd::initWithDictionary(noBody, {}));
    auto wrongType = contentJSON();
    wrongType["headline"] = 12;
    CHECK_FALSE(GADNativeContentAd::initWithDictionary(wrongType, {}));
    CHECK_FALSE(GADNativeContentAd::initWithDictionary("text", {}));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeContentAd: without pictures only the attribution loads, with no error") {
    auto ad = GADNativeContentAd::initWithDictionary(contentJSON(), {});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    CHECK(ad->requestedAssets() == std::set<std::string>{"attribution"});
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 1);
    CHECK_FALSE(outcomes.calls[0]);
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeContentAd: a failed picture is left out and the load still succeeds") {
    auto json = contentJSON();
    json["images"] = platform::Value::array({{{"url", Server::url("/img/red.png")}},
                                             {{"url", Server::url("/img/red.png")}},
                                             {{"url", Server::url("/img/text.png")}}});
    json["secondary_image"] = {{"url", Server::url("/img/missing.png")}};
    auto multiple = std::make_shared<ruzave::GADNativeAdImageAdLoaderOptions>();
    multiple->shouldRequestMultipleImages = true;
    auto ad = GADNativeContentAd::initWithDictionary(json, {multiple});
    REQUIRE(ad);
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    // Two pictures of one URL are two assets; the logo and the attribution make four and five.
    CHECK(ad->requestedAssets().size() == 5);
    REQUIRE(runUntil([&] { return !outcomes.calls.empty(); }, 20));
    CHECK_FALSE(outcomes.calls[0]);
    CHECK(ad->images().size() == 2);
    REQUIRE(ad->logo());
    CHECK_FALSE(ad->logo()->image());
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeContentAd: with image loading off nothing is downloaded") {
    auto json = contentJSON();
    json["images"] = platform::Value::array({{{"url", Server::url("/img/red.png")}}});
    json["secondary_image"] = {{"url", Server::url("/img/red.png")}};
    auto off = std::make_shared<ruzave::GADNativeAdImageAdLoaderOptions>();
    off->disableImageLoading = true;
    auto ad = GADNativeContentAd::initWithDictionary(json, {off});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    REQUIRE(runUntil([&] { return !outcomes.calls.empty(); }));
    CHECK_FALSE(outcomes.calls[0]);
    CHECK(ad->images().size() == 1);
    CHECK_FALSE(ad->images()[0]->image());
    CHECK(server->requestCount("/img/red.png") == 0);
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeContentAd: a failing attribution icon fails the whole load") {
    auto json = contentJSON();
    json["attribution"] = {{"text", "Ad"}, {"image", {{"url", Server::url("/img/text.png")}}}};
    auto ad = GADNativeContentAd::initWithDictionary(json, {});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    REQUIRE(runUntil([&] { return !outcomes.calls.empty(); }, 20));
    REQUIRE(outcomes.calls[0]);
    CHECK(outcomes.calls[0]->code == 11);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeContentAd: a mediated ad reports one impression and its clicks to the network") {
    auto network = std::make_shared<NetworkContentAd>();
    auto wrapper = ruzave::GADMediatedNativeAd::initWithMediatedNativeAd(network);
    int handlerImpressions = 0;
    wrapper->addImpressionHandler([&] { ++handlerImpressions; });
    auto ad = GADNativeContentAd::initWithMediatedNativeAd(wrapper, {});
    REQUIRE(ad);
    CHECK_FALSE(ad->attribution());
    CHECK_FALSE(ad->overlayView());
    CHECK(ad->requiredAssets() == std::set<std::string>{"headline", "body"});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    CHECK(ad->requestedAssets().empty());
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 1);
    ad->recordImpression();
    ad->recordImpression();
    CHECK(network->listener->impressions == 1);
    CHECK(handlerImpressions == 1);
    ad->performClickOnView(nullptr, std::string("headline"), platform::Value::object());
    CHECK(network->listener->clicks == std::vector<std::string>{"headline"});

    network->headline_ = std::nullopt;
    CHECK_FALSE(GADNativeContentAd::initWithMediatedNativeAd(wrapper, {}));
}
