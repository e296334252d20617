#include <doctest/doctest.h>

#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLog.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "ads/native/GADNativeCustomTemplateAd.h"
#include "ads/render/GADAdView.h"
#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADNativeCustomTemplateAd;

namespace {

platform::Value templateJSON(const std::string& imageURL) {
    return {{"custom_template_id", 10045},
            {"custom_assets",
             platform::Value::array({{{"name", "Title"}, {"type", "string"}, {"string_value", "Hello"}},
                                     {{"name", "count"}, {"type", "string"}, {"string_value", 7}},
                                     {{"name", "Main"}, {"type", "image"}, {"image_value", {{"url", imageURL}}}},
                                     {{"name", "extra"}, {"type", "image"}, {"image_value", {{"url", imageURL}, {"require", false}}}},
                                     {{"name", ""}, {"type", "string"}, {"string_value", "x"}},
                                     {{"name", "video"}, {"type", "video"}},
                                     "not an asset"})}};
}

struct Templates : ruzave::GADNativeCustomTemplateAdLoaderDelegate {
    platform::Value ids;
    void adLoaderDidFailToReceiveAdWithError(ruzave::GADAdLoader&, const platform::Error&) override {}
    platform::Value nativeCustomTemplateIDsForAdLoader(ruzave::GADAdLoader&) override { return ids; }
    void adLoaderDidReceiveNativeCustomTemplateAd(ruzave::GADAdLoader&, const std::shared_ptr<GADNativeCustomTemplateAd>&) override {}
};

} // namespace

TEST_CASE("GADNativeCustomTemplateAd: a numeric template id becomes text and images wait for their load") {
    auto ad = GADNativeCustomTemplateAd::initWithDictionary(templateJSON("https://a.example/m.png"), {});
    REQUIRE(ad);
    CHECK(ad->templateID() == "10045");
    CHECK(ad->availableAssetKeys() == std::vector<std::string>{"count", "Title"});
    CHECK(ad->stringForKey("Title") == "Hello");
    CHECK_FALSE(ad->stringForKey("count"));
    CHECK_FALSE(ad->imageForKey("Main"));
    CHECK(ad->requiredAssets() == std::set<std::string>{"Main"});
    CHECK(ad->description().find(", availableAssetKeys:[count, Title]>") != std::string::npos);
    auto badID = templateJSON("https://a.example/m.png");
    badID["custom_template_id"] = platform::Value::array();
    CHECK_FALSE(GADNativeCustomTemplateAd::initWithDictionary(badID, {}));
    CHECK(ad->hasValidConfigurationForRequestParameters({{"custom_template_ids", platform::Value::array({"1", "10045"})}}));
    CHECK(ad->hasValidConfigurationForRequestParameters({{"custom_template_ids", platform::Value::array({"010045"})}}));
    CHECK_FALSE(ad->hasValidConfigurationForRequestParameters({{"custom_template_ids", platform::Value::array({"10046"})}}));
    CHECK_FALSE(ad->hasValidConfigurationForRequestParameters(platform::Value::object()));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeCustomTemplateAd: the delegate's ids are kept as text and others are logged") {
    platform::LogCapture log;
    auto loader = ruzave::GADAdLoader::initWithAdUnitID("u", nullptr, {"3"}, {});
    auto templates = std::make_shared<Templates>();
    templates->ids = platform::Value::array({"123", 456, {{"date", "2026-01-01"}}, "abc"});
    loader->setDelegate(templates);
    auto parameters = GADNativeCustomTemplateAd::requestParametersForAdLoader(*loader);
    CHECK(parameters["format"] == 3);
    CHECK(parameters["custom_template_ids"] == platform::Value::array({"123", "456", "abc"}));
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("Received non-string custom template ID"));
    CHECK(log.contains("The template ID may be invalid: abc"));
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeCustomTemplateAd: a failed optional image stays unavailable and a failed required one fails") {
    auto json = templateJSON(Server::url("/img/red.png"));
    json["custom_assets"][3]["image_value"]["url"] = Server::url("/img/text.png");
    auto ad = GADNativeCustomTemplateAd::initWithDictionary(json, {});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    REQUIRE(runUntil([&] { return !outcomes.calls.empty(); }, 20));
    CHECK_FALSE(outcomes.calls[0]);
    CHECK(ad->availableAssetKeys() == std::vector<std::string>{"count", "Main", "Title"});
    REQUIRE(ad->imageForKey("Main"));

    auto broken = GADNativeCustomTemplateAd::initWithDictionary(templateJSON(Server::url("/img/missing.png")), {});
    nativetest::Outcomes failed;
    broken->loadAssetsWithCompletionHandler(failed.handler());
    REQUIRE(runUntil([&] { return !failed.calls.empty(); }, 20));
    REQUIRE(failed.calls[0]);
    CHECK(failed.calls[0]->code == 11);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeCustomTemplateAd: with image loading off every image is available at once") {
    auto off = std::make_shared<ruzave::GADNativeAdImageAdLoaderOptions>();
    off->disableImageLoading = true;
    auto ad = GADNativeCustomTemplateAd::initWithDictionary(templateJSON("https://a.example/m.png"), {off});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    CHECK(ad->availableAssetKeys().size() == 4);
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 1);
    CHECK_FALSE(outcomes.calls[0]);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeCustomTemplateAd: a custom click waits for the page and a second one is ignored") {
    platform::LogCapture log;
    auto slot = nativetest::recordingSlot(*this);
    auto adView = slot->adView();
    auto ad = GADNativeCustomTemplateAd::initWithDictionary(templateJSON("https://a.example/m.png"), {});
    ad->setSlot(slot);
    ad->performClickOnAssetWithKey("Main", nullptr); // not loaded: unavailable
    CHECK(adView->evaluate("String(window.clicks)") == "undefined");
    int first = 0, second = 0;
    ad->performClickOnAssetWithKey("Title", [&] { ++first; });
    ad->performClickOnAssetWithKey("Title", [&] { ++second; });
    CHECK(adView->evaluate("window.clicks.length") == "1");
    CHECK(adView->evaluate("window.clicks[0].has_custom_click_handler + window.clicks[0].click.template") == "true3");
    platform::NotificationCenter::defaultCenter()->post(GADNativeCustomTemplateAd::kCustomClickMessage, adView.get());
    CHECK(first == 0); // runs on the main queue
    runUntilIdle();
    CHECK(first == 1);
    CHECK(second == 0);
    // The page's second answer finds nothing pending.
    platform::NotificationCenter::defaultCenter()->post(GADNativeCustomTemplateAd::kCustomClickMessage, adView.get());
    runUntilIdle();
    CHECK(first == 1);
    ad->performClickOnAssetWithKey("Title", [&] { ++second; });
    CHECK(adView->evaluate("window.clicks.length") == "2");
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("Asset is unavailable. Cannot perform click on \"Main\"."));
    CHECK(log.contains("Still processing prior click event. This click event will be ignored."));
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADNativeCustomTemplateAd: a custom click the page never answers ends in time") {
    platform::LogCapture log;
    auto slot = nativetest::recordingSlot(*this);
    auto adView = slot->adView();
    auto ad = GADNativeCustomTemplateAd::initWithDictionary(templateJSON("https://a.example/m.png"), {});
    ad->setSlot(slot);
    auto answer = [&] {
        platform::NotificationCenter::defaultCenter()->post(GADNativeCustomTemplateAd::kCustomClickMessage,
                                                            adView.get());
        runUntilIdle();
    };
    int unanswered = 0, answered = 0, later = 0;
    ad->performClickOnAssetWithKey("Title", [&] { ++unanswered; });
    advance(GADNativeCustomTemplateAd::kCustomClickTimeout - 1);
    ad->performClickOnAssetWithKey("Title", [&] { ++answered; }); // still waiting: ignored
    CHECK(adView->evaluate("window.clicks.length") == "1");
    advance(1);
    // The wait is over: the next click goes to the page, and its answer runs its own handler only.
    ad->performClickOnAssetWithKey("Title", [&] { ++answered; });
    CHECK(adView->evaluate("window.clicks.length") == "2");
    answer();
    CHECK(unanswered == 0);
    CHECK(answered == 1);
    // A click answered in time is not cut short by an earlier click's deadline.
    advance(GADNativeCustomTemplateAd::kCustomClickTimeout - 1);
    ad->performClickOnAssetWithKey("Title", [&] { ++later; });
    advance(2);
    answer();
    CHECK(later == 1);
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("The prior click event got no answer. It was dropped."));
}
