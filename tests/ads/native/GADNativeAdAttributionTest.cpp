#include <doctest/doctest.h>

#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdImage.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADColorFromRGBADictionary;
using ruzave::GADNativeAdAttribution;

TEST_CASE("GADNativeAdAttribution: durations below 50 ms and missing values fall back to the defaults") {
    auto short_ = GADNativeAdAttribution::initWithDictionary({{"animation_ms", 40}});
    CHECK(short_->iconAnimationDuration() == 1.0);
    CHECK(short_->iconPresentationDuration() == 4.0);
    auto edge = GADNativeAdAttribution::initWithDictionary({{"animation_ms", 50}, {"presentation_ms", 2500}});
    CHECK(edge->iconAnimationDuration() == doctest::Approx(0.05));
    CHECK(edge->iconPresentationDuration() == doctest::Approx(2.5));
    auto wrongType = GADNativeAdAttribution::initWithDictionary({{"animation_ms", "900"}, {"text", 5}});
    CHECK(wrongType->iconAnimationDuration() == 1.0);
    CHECK_FALSE(wrongType->text());
    CHECK(wrongType->font().pointSize() == 12.0f);
}

TEST_CASE("GADNativeAdAttribution: colour objects need r g and b and default alpha to one") {
    CHECK_FALSE(GADColorFromRGBADictionary({{"r", 255}, {"g", 0}}));
    auto red = GADColorFromRGBADictionary({{"r", 255}, {"g", 0}, {"b", 0}});
    REQUIRE(red);
    CHECK(*red == platform::Color::rgba(1, 0, 0, 1));
    auto noBlue = GADNativeAdAttribution::initWithDictionary({{"text_color", {{"r", 255}, {"g", 0}}}, {"text_size", 9}});
    CHECK(noBlue->textColor() == platform::Color::rgba(12 / 255.0f, 174 / 255.0f, 206 / 255.0f, 1));
    CHECK(noBlue->backgroundColor() == platform::Color::rgba(0.8f, 0.8f, 0.8f, 1));
    CHECK(noBlue->font().pointSize() == 9.0f);
    auto seeThrough = GADNativeAdAttribution::initWithDictionary({{"bg_color", {{"r", 0}, {"g", 0}, {"b", 255}, {"a", 0.5}}}});
    CHECK(seeThrough->backgroundColor() == platform::Color::rgba(0, 0, 1, 0.5f));
}

TEST_CASE("GADNativeAdAttribution: images wins over image and every icon is kept") {
    auto both = GADNativeAdAttribution::initWithDictionary(
        {{"images", platform::Value::array({{{"url", "https://a.example/1.png"}}, {{"url", "https://a.example/2.png"}}})},
         {"image", {{"url", "https://a.example/single.png"}}}});
    REQUIRE(both->loadingImages().size() == 2);
    CHECK(both->loadingImages()[1]->imageURL()->absoluteString() == "https://a.example/2.png");
    auto single = GADNativeAdAttribution::initWithDictionary({{"image", {{"url", "https://a.example/single.png"}}}});
    CHECK(single->loadingImages().size() == 1);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAdAttribution: without icons the load succeeds later and icons stay unset") {
    auto a = GADNativeAdAttribution::initWithDictionary({{"text", "Ad"}});
    nativetest::Outcomes outcomes;
    a->loadAssetsWithCompletionHandler(outcomes.handler());
    CHECK(outcomes.calls.empty());
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 1);
    CHECK_FALSE(outcomes.calls[0]);
    CHECK_FALSE(a->icons());
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeAdAttribution: icons load together and the first failure wins once") {
    auto good = GADNativeAdAttribution::initWithDictionary(
        {{"images", platform::Value::array({{{"url", Server::url("/img/red.png")}}, {{"url", Server::url("/img/grey.jpg")}}})}});
    nativetest::Outcomes ok, waiting;
    good->loadAssetsWithCompletionHandler(ok.handler());
    // A second load while the first runs waits for it, and loads nothing twice.
    good->loadAssetsWithCompletionHandler(waiting.handler());
    REQUIRE(runUntil([&] { return ok.calls.size() == 1 && waiting.calls.size() == 1; }, 20));
    runUntilIdle();
    CHECK(ok.calls.size() == 1);
    CHECK_FALSE(ok.calls[0]);
    CHECK(waiting.calls.size() == 1);
    CHECK_FALSE(waiting.calls[0]);
    CHECK(server->requestCount("/img/red.png") == 1);
    REQUIRE(good->icons());
    CHECK(good->icons()->size() == 2);

    auto bad = GADNativeAdAttribution::initWithDictionary(
        {{"images", platform::Value::array({{{"url", "ftp://a.example/1.png"}}, {{"url", Server::url("/img/red.png")}}})}});
    nativetest::Outcomes failed, failedToo;
    bad->loadAssetsWithCompletionHandler(failed.handler());
    bad->loadAssetsWithCompletionHandler(failedToo.handler());
    REQUIRE(runUntil([&] { return failed.calls.size() == 1 && failedToo.calls.size() == 1; }, 20));
    // The failed load ends once its other icon has answered too.
    REQUIRE(runUntil([&] { return bad->loadingImages()[1]->image() != nullptr; }, 20));
    runUntilIdle();
    REQUIRE(failed.calls.size() == 1);
    REQUIRE(failed.calls[0]);
    CHECK(failed.calls[0]->description == "Couldn't create URL request for ftp://a.example/1.png.");
    REQUIRE(failedToo.calls.size() == 1);
    CHECK(failedToo.calls[0]->description == failed.calls[0]->description);
    CHECK_FALSE(bad->icons());

    // A load after the failed one has ended is answered too, not left waiting.
    nativetest::Outcomes again;
    bad->loadAssetsWithCompletionHandler(again.handler());
    REQUIRE(runUntil([&] { return again.calls.size() == 1; }, 20));
    REQUIRE(again.calls[0]);
    CHECK(again.calls[0]->description == "Couldn't create URL request for ftp://a.example/1.png.");
    runUntilIdle();
    CHECK(again.calls.size() == 1);
    CHECK(failed.calls.size() == 1);
}
