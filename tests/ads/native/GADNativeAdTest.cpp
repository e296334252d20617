#include <doctest/doctest.h>

#include "ads/core/slot/GADSlot.h"
#include "ads/native/GADMediatedNativeAdNotificationSource.h"
#include "ads/native/GADMediatedNativeContentAd.h"
#include "ads/native/GADNativeAd.h"
#include "ads/native/GADNativeAdDelegate.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADNativeAd;

namespace {

// A native ad with chosen required assets, to drive the shared bookkeeping.
class TestAd : public GADNativeAd {
  public:
    static std::shared_ptr<TestAd> make(const platform::Value& json, std::set<std::string> required = {}) {
        std::shared_ptr<TestAd> ad(new TestAd());
        ad->setUpWithDictionary(json);
        ad->required_ = std::move(required);
        return ad;
    }
    static std::shared_ptr<TestAd> mediated(const std::shared_ptr<ruzave::GADMediatedNativeAd>& wrapper) {
        std::shared_ptr<TestAd> ad(new TestAd());
        ad->setUpWithMediatedNativeAd(wrapper);
        ad->observeNotificationsFromMediatedNativeAd();
        return ad;
    }
    std::optional<std::set<std::string>> requiredAssets() const override { return required_; }
    std::string clickActionTemplateID() const override { return "9"; }

  private:
    TestAd() = default;
    std::set<std::string> required_;
};

struct Screens : ruzave::GADNativeAdDelegate {
    std::vector<std::string> calls;
    void nativeAdWillPresentScreen(GADNativeAd&) override { calls.push_back("present"); }
    void nativeAdDidDismissScreen(GADNativeAd&) override { calls.push_back("dismissed"); }
    void nativeAdWillLeaveApplication(GADNativeAd&) override { calls.push_back("leave"); }
};

struct NetworkAd : ruzave::GADMediatedNativeContentAd {
    std::optional<std::string> headline() const override { return "h"; }
    std::optional<std::string> body() const override { return "b"; }
    platform::Value extraAssets() const override { return {{"stars", 5}}; }
};

platform::Value response(const platform::Value& templateID) {
    return {{"ads", platform::Value::array({{{"type", "native"}, {"template_id", templateID}}})}};
}

} // namespace

TEST_CASE("GADNativeAd: template ids pick the class as numbers or decimal text") {
    CHECK(GADNativeAd::classFromAdConfigurationDictionary(response("2")) == "GADNativeAppInstallAd");
    CHECK(GADNativeAd::classFromAdConfigurationDictionary(response(2)) == "GADNativeAppInstallAd");
    CHECK(GADNativeAd::classFromAdConfigurationDictionary(response(1)) == "GADNativeContentAd");
    CHECK_FALSE(GADNativeAd::classFromAdConfigurationDictionary(response(4)));
    CHECK_FALSE(GADNativeAd::classFromAdConfigurationDictionary(response("two")));
    CHECK_FALSE(GADNativeAd::classFromAdConfigurationDictionary({{"ads", platform::Value::array({"x"})}}));
    CHECK_FALSE(GADNativeAd::classFromAdConfigurationDictionary({{"ads", {{"type", "native"}}}}));
    CHECK_FALSE(GADNativeAd::firstAdObjectInAdConfigurationDictionary(platform::Value::array()));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAd: the support page comes from the pushed default when it is a URL") {
    CHECK(GADNativeAd::supportHTMLURL().absoluteString() ==
          "https://sdkcore.ruzave.example/mads/static/mad/sdk/native/native_ads.html");
    platform::UserDefaults::standard()->set(GADNativeAd::kSupportURLDefaultsKey, "https://other.example/n.html");
    CHECK(GADNativeAd::supportHTMLURL().absoluteString() == "https://other.example/n.html");
    platform::UserDefaults::standard()->set(GADNativeAd::kSupportURLDefaultsKey, "no url at all");
    CHECK(GADNativeAd::supportHTMLURL().host() == "sdkcore.ruzave.example");
}

TEST_CASE("GADNativeAd: tracking URLs and actions are read, missing ones give empty sets") {
    auto ad = TestAd::make({{"tracking_urls_and_actions",
                             {{"ruzave_click_tracking_url", "https://c.example/c"},
                              {"impression_tracking_urls", platform::Value::array({"https://i.example/1", "https://i.example/1", 7})},
                              {"third_party_click_tracking_urls", "not a list"},
                              {"click_actions", platform::Value::array({{{"a", 1}}})}}}});
    CHECK(ad->ruzaveClickTrackingURLString() == "https://c.example/c");
    CHECK(ad->impressionTrackingURLs() == std::set<std::string>{"https://i.example/1"});
    CHECK(ad->thirdPartyClickTrackingURLs().empty());
    CHECK(ad->clickActions().size() == 1);
    CHECK(ad->adNetworkClassName() == "GADMAdapterRuzaveDoRurAds");
    auto bare = TestAd::make(platform::Value::object());
    CHECK(bare->impressionTrackingURLs().empty());
    CHECK_FALSE(bare->ruzaveClickTrackingURLString());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAd: no requested assets succeed on the next turn of the main queue") {
    auto ad = TestAd::make(platform::Value::object());
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    CHECK(outcomes.calls.empty());
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 1);
    CHECK_FALSE(outcomes.calls[0]);
    // A second load asks for nothing and still hears success.
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    CHECK_FALSE(ad->shouldLoadAssets());
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 2);
    CHECK_FALSE(outcomes.calls[1]);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAd: two failing required assets end the load once with code 11") {
    auto ad = TestAd::make(platform::Value::object(), {"a", "b"});
    nativetest::Outcomes outcomes;
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    REQUIRE(ad->shouldLoadAssets());
    ad->addAssetWithNameToRequestedAssets("a");
    ad->addAssetWithNameToRequestedAssets("b");
    ad->addAssetWithNameToRequestedAssets("optional");
    runUntilIdle();
    CHECK(outcomes.calls.empty()); // still waiting for its assets
    ad->failedToLoadAssetWithName("optional");
    runUntilIdle();
    CHECK(outcomes.calls.empty()); // an optional failure only counts as done
    ad->failedToLoadAssetWithName("a");
    ad->failedToLoadAssetWithName("b");
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 1);
    REQUIRE(outcomes.calls[0]);
    CHECK(outcomes.calls[0]->code == 11);
    CHECK(outcomes.calls[0]->description == "Failed to load a required asset.");
    CHECK(ad->failedToLoadARequiredAsset());
    // A later caller hears the recorded failure instead of waiting for ever.
    ad->loadAssetsWithCompletionHandler(outcomes.handler());
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 2);
    REQUIRE(outcomes.calls[1]);
    CHECK(outcomes.calls[1]->code == 11);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAd: an impression pings its URLs once") {
    auto ad = TestAd::make({{"tracking_urls_and_actions",
                             {{"impression_tracking_urls", platform::Value::array({"https://ping.ruzave.example/i?1", "https://ping.ruzave.example/i?2"})}}}});
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    auto before = trackers->trackedCount();
    ad->recordImpression();
    ad->recordImpression();
    CHECK(ad->hasRecordedImpression());
    CHECK(trackers->trackedCount() == before + 2);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAd: a click hands the ad and the asset to the support page script") {
    auto slot = nativetest::recordingSlot(*this);
    auto adView = slot->adView();
    auto ad = TestAd::make({{"headline", "line\u2028break"}, {"n", 1}});
    ad->setSlot(slot);
    CHECK(slot->adEventDelegate().get() == ad.get());
    ad->performClickOnView(nullptr, std::nullopt, platform::Value::object());
    CHECK(adView->evaluate("String(window.clicks)") == "undefined");
    ad->performClickOnView(nullptr, std::string("headline"), {{"x", 3}, {"y", 4}});
    CHECK(adView->evaluate("window.clicks.length") == "1");
    CHECK(adView->evaluate("window.clicks[0].click.template + window.clicks[0].click.asset + "
                           "window.clicks[0].click.sdk_version") == "9headline7.5.2");
    CHECK(adView->evaluate("window.clicks[0].x + window.clicks[0].ad.n") == "4");
    // The line separator reached the script intact.
    CHECK(adView->evaluate("window.clicks[0].ad.headline.charCodeAt(4)") == "8232");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAd: slot events and network notifications reach the delegate") {
    auto screens = std::make_shared<Screens>();
    auto slot = ruzave::GADSlot::init();
    auto ad = TestAd::make(platform::Value::object());
    ad->setDelegate(screens);
    ad->setSlot(slot);
    ad->slotWillPresentScreen(*slot);
    ad->slotDidDismissScreen(*slot);
    CHECK(screens->calls == std::vector<std::string>{"present", "dismissed"});

    auto network = std::make_shared<NetworkAd>();
    auto wrapper = ruzave::GADMediatedNativeAd::initWithMediatedNativeAd(network);
    wrapper->setAdNetworkClassName("NetAdapter");
    auto mediated = TestAd::mediated(wrapper);
    CHECK(mediated->adNetworkClassName() == "NetAdapter");
    CHECK(mediated->extraAssets()["stars"] == 5);
    mediated->setDelegate(screens);
    screens->calls.clear();
    ruzave::GADMediatedNativeAdNotificationSource::mediatedNativeAdWillLeaveApplication(*network);
    // Another network's ad is not ours.
    NetworkAd other;
    ruzave::GADMediatedNativeAdNotificationSource::mediatedNativeAdWillPresentScreen(other);
    CHECK(screens->calls == std::vector<std::string>{"leave"});
    mediated.reset();
    ruzave::GADMediatedNativeAdNotificationSource::mediatedNativeAdWillLeaveApplication(*network);
    CHECK(screens->calls.size() == 1);
}
