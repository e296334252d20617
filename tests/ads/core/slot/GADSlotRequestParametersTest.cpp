#include <doctest/doctest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotAdKeyDelegate.h"
#include "ads/core/telemetry/GADContent.h"
#include "ads/core/telemetry/GADContentQueue.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/native/GADDefaultInAppPurchase.h"
#include "ads/native/GADDefaultInAppPurchaseDelegate.h"
#include "ads/native/GADInAppPurchaseDelegate.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using ruzave::GADAdSize;
using ruzave::GADSlot;
using platform::testing::Harness;
using slottest::FakeNeighbours;
using slottest::FakeOwner;

namespace {

// An owner that answers the geometry questions a banner view answers.
class GeometryOwner : public FakeOwner, public ruzave::GADSlotAdKeyDelegate {
  public:
    std::optional<platform::Rect> ownerFrame() const override { return frame; }
    std::optional<platform::Rect> ownerBounds() const override { return bounds; }
    std::optional<platform::Value> validAdSizes() const override { return sizes; }
    std::optional<platform::Value> coordinatesOfContentInScreen(const std::shared_ptr<platform::Screen>&) override {
        return position;
    }
    void cacheViewHierarchyInformationForSlot(GADSlot&) override {}
    std::optional<platform::Value> viewHierarchyInformationForSlot(GADSlot&) override { return hierarchy; }
    std::optional<std::shared_ptr<ruzave::GADInAppPurchaseDelegate>> inAppPurchaseDelegate() const override {
        return purchases;
    }

    std::shared_ptr<ruzave::GADInAppPurchaseDelegate> purchases;
    std::optional<platform::Rect> frame;
    std::optional<platform::Rect> bounds;
    std::optional<platform::Value> sizes;
    std::optional<platform::Value> position;
    std::optional<platform::Value> hierarchy;
};

platform::Value boxes(std::initializer_list<GADAdSize> sizes) {
    platform::Value list = platform::Value::array();
    for (const auto& size : sizes) list.push_back(ruzave::NSValueFromGADAdSize(size));
    return list;
}

// Builds the parameters as the core controller does: id first, then the dictionary, on a queue of its own.
platform::Value parametersOnQueue(Harness& h, const std::shared_ptr<GADSlot>& slot, const std::string& id = "7") {
    auto queue = platform::DispatchQueue::createSerial("test.sdk-core-controller-url");
    std::optional<platform::Value> result;
    std::atomic<bool> done{false};
    queue->async([&] {
        slot->setRequestID(id);
        result = slot->requestParameters();
        done = true;
    });
    REQUIRE(h.runUntil([&] { return done.load(); }, 10));
    REQUIRE(result);
    return *result;
}

struct Loaded {
    explicit Loaded(const GADAdSize& size, bool banner = true) {
        owner = std::make_shared<GeometryOwner>();
        slot = slottest::makeSlot(owner, false);
        slot->setAdKeyDelegate(owner);
        if (banner) slot->setAdType(ruzave::GADAdType::bannerAdTypeForSize(size), false);
    }
    void load(const std::shared_ptr<ruzave::GADRequest>& request = ruzave::GADRequest::request()) {
        slot->loadRequest(request);
    }
    FakeNeighbours fakes;
    std::shared_ptr<GeometryOwner> owner;
    std::shared_ptr<GADSlot> slot;
};

bool hasNone(const platform::Value& p, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (p.contains(key)) return false;
    }
    return true;
}

} // namespace

TEST_CASE("GADSlot: the size list keeps usable sizes in order and drops fractions") {
    CHECK(GADSlot::multipleAdSizeParameterFromSizes(boxes({ruzave::kGADAdSizeBanner, ruzave::kGADAdSizeMediumRectangle})) ==
          "320x50|300x250");
    platform::Value mixed = boxes({ruzave::kGADAdSizeInvalid, ruzave::GADAdSizeFromCGSize({320.7f, 50.2f})});
    mixed.push_back(42);
    mixed.push_back("320x50");
    platform::Value otherBox = platform::Value::object();
    otherBox["type"] = "{CGSize=ff}";
    otherBox["width"] = 10;
    mixed.push_back(otherBox);
    CHECK(GADSlot::multipleAdSizeParameterFromSizes(mixed) == "320x50");
    // A negative width has no unsigned form: it is written as 0 rather than wrapping round.
    CHECK(GADSlot::multipleAdSizeParameterFromSizes(boxes({ruzave::GADAdSizeFromCGSize({-5, 50})})) == "0x50");
    CHECK(GADSlot::multipleAdSizeParameterFromSizes(boxes({ruzave::kGADAdSizeInvalid})).empty());
    CHECK(GADSlot::multipleAdSizeParameterFromSizes(platform::Value::array()).empty());
    CHECK(GADSlot::multipleAdSizeParameterFromSizes(platform::Value("320x50")).empty());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a banner sends its unit, the owner's frames and sizes, the request id and position") {
    Loaded t(ruzave::kGADAdSizeBanner);
    t.owner->frame = platform::Rect(10, 20, 320, 50);
    // A negative size is standardised before it is written.
    t.owner->bounds = platform::Rect(0, 0, -320, 50);
    t.owner->sizes = boxes({ruzave::kGADAdSizeBanner, ruzave::kGADAdSizeMediumRectangle});
    platform::Value position = platform::Value::object();
    position["visible"] = 1;
    t.owner->position = position;
    t.load();

    platform::Value p = parametersOnQueue(*this, t.slot, "12");
    CHECK(p["slotname"] == "unit-a");
    CHECK(p["request_id"] == "12");
    CHECK(p["js"] == ruzave::GADRequest::sdkVersion());
    CHECK(p["sz"] == "320x50|300x250");
    CHECK(p["ad_frame"]["x"].get<double>() == 10);
    CHECK(p["ad_frame"]["y"].get<double>() == 20);
    CHECK(p["ad_frame"]["w"].get<double>() == 320);
    CHECK(p["ad_frame"]["h"].get<double>() == 50);
    CHECK(p["ad_bounds"]["x"].get<double>() == -320);
    CHECK(p["ad_bounds"]["w"].get<double>() == 320);
    CHECK(p["ad_pos"] == position);
    CHECK(p["force_https"] == "1");
    CHECK(hasNone(p, {"format", "fluid", "smart_w", "smart_h", "correlation_id", "cladr", "d_imp_hdr", "iap_set",
                      "pan", "content_info", "eid", "_forcePrefetch", "view_hierarchy"}));
    // The first request of the process from a slot that is not mediating.
    CHECK(p["quality_signals"]["app"]["preqs"] == 0);
    CHECK(p["quality_signals"]["app"]["seq_num"] == 1);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: the parameters are those of the load, not of later main-thread changes") {
    Loaded t(ruzave::kGADAdSizeBanner);
    t.owner->frame = platform::Rect(0, 0, 320, 50);
    t.load();
    t.owner->frame = platform::Rect(5, 5, 1, 1);
    t.slot->setAdUnitID("unit-changed");
    platform::Value p = parametersOnQueue(*this, t.slot);
    CHECK(p["slotname"] == "unit-a");
    CHECK(p["ad_frame"]["w"].get<double>() == 320);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an interstitial sends interstitial_mb and no frame, size or smart keys") {
    Loaded t(ruzave::kGADAdSizeInvalid, false);
    t.owner->frame = platform::Rect(0, 0, 320, 480);
    t.owner->sizes = boxes({ruzave::kGADAdSizeBanner});
    t.load();
    platform::Value p = parametersOnQueue(*this, t.slot);
    CHECK(p["format"] == "interstitial_mb");
    CHECK(hasNone(p, {"ad_frame", "ad_bounds", "sz", "smart_w", "smart_h", "fluid"}));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a fluid banner sends 320x50_mb and fluid height but no sz") {
    Loaded t(ruzave::kGADAdSizeFluid);
    t.owner->sizes = boxes({ruzave::kGADAdSizeBanner});
    t.load();
    platform::Value p = parametersOnQueue(*this, t.slot);
    CHECK(p["format"] == "320x50_mb");
    CHECK(p["fluid"] == "height");
    CHECK_FALSE(p.contains("sz"));
    CHECK(p.contains("ad_frame"));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: smart_h goes only with the smart bit, smart_w with full width") {
    {
        Loaded t(ruzave::kGADAdSizeSmartBannerPortrait);
        t.load();
        platform::Value p = parametersOnQueue(*this, t.slot);
        CHECK(p["smart_w"] == "full");
        CHECK(p["smart_h"] == "auto");
    }
    {
        Loaded t(GADAdSize{{0, 0}, ruzave::kGADAdSizeFlagFullWidth});
        t.load();
        platform::Value p = parametersOnQueue(*this, t.slot);
        CHECK(p["smart_w"] == "full");
        CHECK_FALSE(p.contains("smart_h"));
    }
}

TEST_CASE_FIXTURE(Harness, "GADSlot: without an owner the ad view's frame is sent and the build still succeeds") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->setAdUnitID("");
    slot->setSlotDelegate(std::weak_ptr<ruzave::GADSlotDelegate>());
    slot->loadRequest(ruzave::GADRequest::request());
    platform::Value p = parametersOnQueue(*this, slot);
    CHECK_FALSE(p.contains("slotname"));
    CHECK(p["ad_frame"]["w"].get<double>() == 320);
    CHECK(p["ad_frame"]["h"].get<double>() == 50);
    CHECK(p["ad_bounds"]["w"].get<double>() == 320);
    CHECK_FALSE(p.contains("sz"));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: cladr goes with one parameter build only") {
    Loaded t(ruzave::kGADAdSizeBanner);
    t.slot->setCalledLoadAndDisplayRequest(true);
    t.load();
    CHECK_FALSE(t.slot->calledLoadAndDisplayRequest());
    CHECK(parametersOnQueue(*this, t.slot)["cladr"] == "1");
    t.slot->cancelLoad();
    t.load();
    CHECK_FALSE(parametersOnQueue(*this, t.slot).contains("cladr"));
}

namespace {

struct Purchases : ruzave::GADInAppPurchaseDelegate, ruzave::GADDefaultInAppPurchaseDelegate {
    void didReceiveInAppPurchase(const std::shared_ptr<ruzave::GADInAppPurchase>&) override {}
    void userDidPayForPurchase(const std::shared_ptr<ruzave::GADDefaultInAppPurchase>&) override {}
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSlot: iap_set goes while purchases have a delegate") {
    Loaded t(ruzave::kGADAdSizeBanner);
    auto purchases = std::make_shared<Purchases>();
    auto build = [&] {
        t.slot->cancelLoad();
        t.load();
        return parametersOnQueue(*this, t.slot);
    };
    CHECK_FALSE(build().contains("iap_set"));
    t.owner->purchases = purchases;
    CHECK(build()["iap_set"] == "1");
    t.owner->purchases = nullptr;
    CHECK_FALSE(build().contains("iap_set"));
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(purchases);
    CHECK(build()["iap_set"] == "1");
}

TEST_CASE_FIXTURE(Harness, "GADSlot: stored settings give force_https, the fingerprint and the prefetch keys") {
    auto defaults = platform::UserDefaults::standard();
    Loaded t(ruzave::kGADAdSizeBanner);
    t.slot->setManualImpressionsEnabled(true);
    platform::Value hierarchy = platform::Value::object();
    hierarchy["parents"] = 3;
    t.owner->hierarchy = hierarchy;

    SUBCASE("a stored false use_https drops force_https, prefetch off") {
        defaults->set("/ruzave/ads/use_https", false);
        defaults->set("/ruzave/ads/prefetch_enabled", "0");
        t.load();
        platform::Value p = parametersOnQueue(*this, t.slot);
        CHECK_FALSE(p.contains("force_https"));
        CHECK_FALSE(p.contains("_forcePrefetch"));
        CHECK_FALSE(p.contains("content_info"));
        CHECK_FALSE(p.contains("eid"));
    }
    SUBCASE("a stored true use_https, a fingerprint, an experiment and prefetch on") {
        defaults->set("/ruzave/ads/use_https", "YES");
        defaults->set("/ruzave/ads/content_url_fingerprint", "abc123");
        defaults->set("/ruzave/ads/prefetch_experiment_id", "exp-9");
        defaults->set("/ruzave/ads/prefetch_enabled", true);
        t.load();
        platform::Value p = parametersOnQueue(*this, t.slot);
        CHECK(p["force_https"] == "1");
        CHECK(p["content_info"]["fingerprint"] == "abc123");
        CHECK(p["content_info"]["v"] == 1);
        CHECK(p["eid"] == "exp-9");
        CHECK(p["_forcePrefetch"] == "1");
    }
    SUBCASE("a served on-screen fingerprint replaces the stored one and is remembered") {
        defaults->set("/ruzave/ads/content_url_fingerprint", "abc123");
        auto app = ruzave::GADApplication::sharedInstance();
        app->startContentHashing();
        auto content = std::make_shared<ruzave::GADContent>(1);
        content->updateContentWithText("the quick brown fox jumps over the lazy dog");
        app->contentQueue()->enqueueContent(content);
        t.load();
        platform::Value p = parametersOnQueue(*this, t.slot);
        app->stopContentHashing();
        CHECK(p["content_info"]["fingerprint"] == content->fingerprint());
        CHECK(defaults->string("/ruzave/ads/content_url_fingerprint") == content->fingerprint());
        CHECK(content->score() == 44 - 100);
    }
    platform::Value p = parametersOnQueue(*this, t.slot);
    CHECK(p["d_imp_hdr"] == "1");
    CHECK(p["view_hierarchy"] == hierarchy);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: quality signals go only with a non-empty part, and the request's parameters come first") {
    Loaded t(ruzave::kGADAdSizeBanner);
    auto request = ruzave::GADRequest::request();
    request->setPrivateMediationExtras(platform::Value::object());
    t.load(request);
    platform::Value first = parametersOnQueue(*this, t.slot);
    CHECK(first["quality_signals"].contains("app"));
    CHECK_FALSE(first["quality_signals"].contains("request"));
    CHECK_FALSE(first["quality_signals"].contains("ads"));
    CHECK_FALSE(first["quality_signals"].contains("slots"));

    platform::Value extras = platform::Value::object();
    extras["network"] = "x";
    request->setPrivateMediationExtras(extras);
    // A request parameter named like a slot key is replaced by the slot's value.
    platform::Value additional = platform::Value::object();
    additional["slotname"] = "from-request";
    additional["color"] = "blue";
    request->addAdditionalParametersFromDictionary(additional);
    t.slot->cancelLoad();
    t.load(request);
    platform::Value p = parametersOnQueue(*this, t.slot);
    CHECK(p["quality_signals"]["request"] == extras);
    CHECK(p["quality_signals"]["app"]["seq_num"] == 2);
    CHECK(p["slotname"] == "unit-a");
    CHECK(p["color"] == "blue");
}

TEST_CASE_FIXTURE(Harness, "GADSlot: requestedAdType is 1 for a banner view owner and 2 for an interstitial owner") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    CHECK(slot->requestedAdType() == 0);
    owner.reset();
    CHECK(slot->requestedAdType() == 0);
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
    REQUIRE(banner);
    CHECK(banner->slot()->requestedAdType() == 1);
    // An interstitial's slot asks the page for an interstitial ad.
    auto interstitial = ruzave::GADInterstitial::initWithAdUnitID(std::string("unit-i"));
    REQUIRE(interstitial);
    REQUIRE(interstitial->slot());
    CHECK(interstitial->slot()->requestedAdType() == 2);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an ad-URL answer fetches its url as a plain ad in state 4") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(ruzave::GADRequest::request());
    slot->setRequestID("3");
    platform::Value answer = platform::Value::object();
    answer["request_id"] = "3";
    answer["url"] = "https://ads.ruzave.example/mads/gma?slotname=unit-a";
    slot->loadAdURLWithParameters(answer);
    CHECK(slot->state() == ruzave::GADSlotStateFetchingAdContent);
    auto fetcher = fakes.lastFetcher();
    REQUIRE(fetcher);
    REQUIRE(fetcher->ad_->adURL());
    CHECK(fetcher->ad_->adURL()->absoluteString() == "https://ads.ruzave.example/mads/gma?slotname=unit-a");
    CHECK_FALSE(fetcher->headers_);
    CHECK(owner->errors.empty());

    // Without a url the ad still goes to the fetcher, which decides what an empty ad means.
    slot->cancelLoad();
    slot->loadRequest(ruzave::GADRequest::request());
    slot->setRequestID("4");
    platform::Value bare = platform::Value::object();
    bare["request_id"] = "4";
    slot->loadAdURLWithParameters(bare);
    REQUIRE(fakes.fetchers.size() == 2);
    CHECK_FALSE(fakes.lastFetcher()->ad_->adURL());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: an answer with errors fails with code 0 and fetches nothing, the statistics untouched") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(ruzave::GADRequest::request());
    platform::Value answer = platform::Value::object();
    answer["errors"] = platform::Value::array();
    answer["url"] = "https://ads.ruzave.example/mads/gma";
    answer["request_scenario"] = "online_buffer";
    slot->loadAdURLWithParameters(answer);
    CHECK(fakes.fetchers.empty());
    CHECK(slot->state() == ruzave::GADSlotStateInvalidAd);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorInvalidRequest);
    // The error carries the request's parameters.
    CHECK(owner->errors[0].userInfo.contains("js"));
    CHECK_FALSE(ruzave::GADApplication::sharedInstance()->statistics()->objectForKey("bas_on"));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: request scenarios raise their counters and copy seq_num into losn") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto stats = ruzave::GADApplication::sharedInstance()->statistics();
    auto answerWith = [&](const char* scenario) {
        slot->cancelLoad();
        slot->loadRequest(ruzave::GADRequest::request());
        platform::Value answer = platform::Value::object();
        answer["url"] = "https://ads.ruzave.example/mads/gma";
        if (scenario) answer["request_scenario"] = scenario;
        slot->loadAdURLWithParameters(answer);
    };
    // Each request raises the sequence number before its answer comes.
    answerWith("offline_empty");
    CHECK(stats->objectForKey("oar") == platform::Value(1));
    CHECK(stats->objectForKey("losn") == platform::Value(1));

    stats->addDecimalNumber(7, "seq_num", false);
    answerWith("offline_buffer");
    CHECK(stats->objectForKey("bas_off") == platform::Value(1));
    CHECK(stats->objectForKey("oar") == platform::Value(2));
    CHECK(stats->objectForKey("losn") == platform::Value(9));

    answerWith("online_buffer");
    answerWith("online_request");
    answerWith("something_else");
    answerWith(nullptr);
    CHECK(stats->objectForKey("bas_on") == platform::Value(1));
    CHECK(stats->objectForKey("bas_off") == platform::Value(1));
    CHECK(stats->objectForKey("oar") == platform::Value(2));
    CHECK(fakes.fetchers.size() == 6);
}

TEST_CASE_FIXTURE(Harness, "GADSlot: auto-click protection is switched on only by the string 1") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto opener = slot->adViewDelegate()->opener();
    REQUIRE(opener);
    auto answerWith = [&](platform::Value protection) {
        slot->cancelLoad();
        slot->loadRequest(ruzave::GADRequest::request());
        platform::Value answer = platform::Value::object();
        answer["url"] = "https://ads.ruzave.example/mads/gma";
        answer["enable_auto_click_protection"] = std::move(protection);
        slot->loadAdURLWithParameters(answer);
    };
    answerWith("true");
    CHECK_FALSE(opener->isAutoClickProtected());
    answerWith(1);
    CHECK_FALSE(opener->isAutoClickProtected());
    answerWith("1");
    CHECK(opener->isAutoClickProtected());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: a refused request fails with code 0 and the request, a failed page with code 2") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(ruzave::GADRequest::request());
    slot->invalidJavaScriptRequest();
    CHECK(slot->state() == ruzave::GADSlotStateInvalidAd);
    REQUIRE(owner->errors.size() == 1);
    CHECK(owner->errors[0].code == ruzave::GADRequestErrorInvalidRequest);
    CHECK(owner->errors[0].userInfo.contains("js"));

    slot->cancelLoad();
    slot->loadRequest(ruzave::GADRequest::request());
    slot->failedJavaScriptFile();
    CHECK(slot->state() == ruzave::GADSlotStateSDKCoreFailed);
    REQUIRE(owner->errors.size() == 2);
    CHECK(owner->errors[1].code == ruzave::GADRequestErrorNetworkError);
    CHECK_FALSE(owner->errors[1].userInfo.contains("js"));
}

TEST_CASE_FIXTURE(Harness, "GADSlot: answers for a request the slot no longer waits for are dropped") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    platform::Value answer = platform::Value::object();
    answer["url"] = "https://ads.ruzave.example/mads/gma";

    SUBCASE("cancelled") {
        slot->loadRequest(ruzave::GADRequest::request());
        slot->cancelLoad();
        slot->loadAdURLWithParameters(answer);
        slot->invalidJavaScriptRequest();
        slot->failedJavaScriptFile();
        CHECK(slot->state() == ruzave::GADSlotStateReset);
    }
    SUBCASE("invalidated") {
        slot->loadRequest(ruzave::GADRequest::request());
        slot->invalidate();
        slot->loadAdURLWithParameters(answer);
        slot->invalidJavaScriptRequest();
        slot->failedJavaScriptFile();
        CHECK(slot->state() == ruzave::GADSlotStateInvalidated);
    }
    SUBCASE("answered under another request's id") {
        slot->loadRequest(ruzave::GADRequest::request());
        slot->setRequestID("2");
        answer["request_id"] = "1";
        slot->loadAdURLWithParameters(answer);
        CHECK(slot->state() == ruzave::GADSlotStateRequestingAdURL);
    }
    CHECK(fakes.fetchers.empty());
    CHECK(owner->errors.empty());
}

TEST_CASE_FIXTURE(Harness, "GADSlot: the core may answer only the request the slot now waits for") {
    FakeNeighbours fakes;
    auto owner = std::make_shared<FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    CHECK_FALSE(slot->isWaitingForRequestID("1"));
    slot->loadRequest(ruzave::GADRequest::request());
    REQUIRE(slot->state() == ruzave::GADSlotStateRequestingAdURL);
    slot->setRequestID("1");
    CHECK(slot->isWaitingForRequestID("1"));
    CHECK_FALSE(slot->isWaitingForRequestID("2"));
    slot->cancelLoad();
    CHECK_FALSE(slot->isWaitingForRequestID("1"));
    slot->loadRequest(ruzave::GADRequest::request());
    // The earlier id is forgotten at the load, before the core numbers the new request.
    CHECK_FALSE(slot->isWaitingForRequestID("1"));
    slot->setRequestID("2");
    CHECK(slot->isWaitingForRequestID("2"));
    CHECK_FALSE(slot->isWaitingForRequestID("1"));
}
