#pragma once
// Shared by the mediation tests: scripted adapters registered by name, an owner that records the slot's
// outcomes and names the connector class, and a fixture with the local server answering the ping host.
// Main thread.
#include <doctest/doctest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../core/net/FetchTestSupport.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/mediation/GADAdMediationDelegate.h"
#include "ads/mediation/GADMAdManager.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"

namespace mediationtest {

enum class Behaviour { FillNow, Silent, FailNoFill, FailOther, NilView, FillTwice, FailTwice };

// What each scripted adapter class does when asked for an ad, and what happened.
struct Script {
    static std::map<std::string, Behaviour>& behaviours() {
        static std::map<std::string, Behaviour> m;
        return m;
    }
    static std::vector<std::string>& log() {
        static std::vector<std::string> l;
        return l;
    }
};

template <const char* Name> class ScriptedAdapter : public ruzave::GADMAdNetworkAdapter {
  public:
    void initWithGADMAdNetworkConnector(const std::shared_ptr<ruzave::GADMAdNetworkConnector>& c) override {
        connector_ = c;
    }
    void getBannerWithSize(const ruzave::GADAdSize&) override { act("banner"); }
    void getInterstitial() override { act("interstitial"); }
    void stopBeingDelegate() override {
        if (!stopped_) Script::log().push_back(std::string(Name) + " stop");
        stopped_ = true;
    }
    bool isBannerAnimationOK(std::int32_t) override { return true; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>&) override {
        Script::log().push_back(std::string(Name) + " present");
    }
    std::optional<std::string> adapterVersion() const override { return std::string("1.0"); }
    bool respondsToChangeAdSize() const override { return true; }
    void changeAdSizeTo(const ruzave::GADAdSize& size) override {
        Script::log().push_back(std::string(Name) + " size " + std::to_string(int(size.size.width)));
    }

    std::shared_ptr<ruzave::GADMAdNetworkConnector> connector() const { return connector_.lock(); }

  private:
    void act(const char* kind) {
        Script::log().push_back(std::string(Name) + " " + kind);
        auto c = connector_.lock();
        if (!c) return;
        auto it = Script::behaviours().find(Name);
        Behaviour b = it == Script::behaviours().end() ? Behaviour::Silent : it->second;
        bool interstitial = std::string(kind) == "interstitial";
        auto deliver = [&] {
            if (interstitial) {
                c->adapterDidReceiveInterstitial(*this);
            } else {
                c->adapterDidReceiveAdView(*this, platform::View::create(platform::Rect{{0, 0}, {320, 50}}));
            }
        };
        switch (b) {
        case Behaviour::FillNow: deliver(); break;
        case Behaviour::FillTwice: deliver(); deliver(); break;
        case Behaviour::Silent: break;
        case Behaviour::FailNoFill:
            c->adapterDidFailAd(*this, ruzave::GADRequestError::errorWithCode(ruzave::GADRequestErrorNoFill));
            break;
        case Behaviour::FailOther: c->adapterDidFailAd(*this, platform::Error("other.domain", 1, "nope")); break;
        case Behaviour::FailTwice:
            c->adapterDidFailAd(*this, platform::Error("other.domain", 1, "nope"));
            c->adapterDidFailAd(*this, platform::Error("other.domain", 2, "again"));
            break;
        case Behaviour::NilView: c->adapterDidReceiveAdView(*this, nullptr); break;
        }
    }
    std::weak_ptr<ruzave::GADMAdNetworkConnector> connector_;
    bool stopped_ = false;
};

inline constexpr char kAdapterB[] = "TestAdapterB";
inline constexpr char kAdapterC[] = "TestAdapterC";
inline constexpr char kAdapterD[] = "TestAdapterD";
using AdapterB = ScriptedAdapter<kAdapterB>;
using AdapterC = ScriptedAdapter<kAdapterC>;
using AdapterD = ScriptedAdapter<kAdapterD>;

// The old interface: neither get-method.
class OldAdapter : public AdapterD {
  public:
    bool respondsToGetBannerWithSize() const override { return false; }
    bool respondsToGetInterstitial() const override { return false; }
};

// Asks for the publisher's GADExtras, as the adapters that run the SDK's own ad objects do.
inline constexpr char kAdapterE[] = "TestAdapterE";
class ExtrasAdapter : public ScriptedAdapter<kAdapterE> {
  public:
    std::optional<std::string> networkExtrasClass() const override { return std::string("GADExtras"); }
};

inline void registerAdapters() {
    static const platform::ClassRegistrar<ExtrasAdapter, ruzave::GADMAdNetworkAdapter> e(kAdapterE,
                                                                                         {"GADMAdNetworkAdapter"});
    static const platform::ClassRegistrar<AdapterB, ruzave::GADMAdNetworkAdapter> b(kAdapterB, {"GADMAdNetworkAdapter"});
    static const platform::ClassRegistrar<AdapterC, ruzave::GADMAdNetworkAdapter> c(kAdapterC, {"GADMAdNetworkAdapter"});
    static const platform::ClassRegistrar<AdapterD, ruzave::GADMAdNetworkAdapter> d(kAdapterD, {"GADMAdNetworkAdapter"});
    static const platform::ClassRegistrar<OldAdapter, ruzave::GADMAdNetworkAdapter> o("TestOldAdapter",
                                                                                      {"GADMAdNetworkAdapter"});
}

// The slot's owner: records outcomes and names the connector class.
struct Owner : ruzave::GADSlotDelegate, ruzave::GADSlotAdLoadDelegate, ruzave::GADAdMediationDelegate {
    std::string connectorClass = ruzave::GADMAdNetworkConnector::kBannerClassName;
    std::vector<std::shared_ptr<platform::View>> views;
    int loaded = 0;
    std::vector<platform::Error> failures;

    std::string connectorClassForAd(const std::shared_ptr<ruzave::GADAd>&) override { return connectorClass; }
    void slotDidReceiveAdView(ruzave::GADSlot&, const std::shared_ptr<platform::View>& view) override {
        views.push_back(view);
    }
    void slotFinishedLoadingAdContent(ruzave::GADSlot&) override { ++loaded; }
    void slotDidFailToLoadAdContentWithError(ruzave::GADSlot&, const platform::Error& error) override {
        failures.push_back(error);
    }
};

inline std::string network(const std::string& id, const std::string& adapter) {
    return R"({"id":")" + id + R"(","adapters":[")" + adapter + R"("]})";
}

struct Fixture : fetchtest::ServerFixture {
    std::shared_ptr<Owner> owner = std::make_shared<Owner>();
    std::shared_ptr<ruzave::GADSlot> slot;

    Fixture() {
        registerAdapters();
        Script::behaviours().clear();
        Script::log().clear();
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        for (const char* path : {"/nofill", "/imp", "/clk", "/custom"})
            server->route(path, adserver::Response::html("", 200));
        slot = ruzave::GADSlot::init();
        slot->setAdUnitID("unit-1");
        slot->setAdType(ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner), false);
        slot->setSlotDelegate(owner);
        slot->setAdLoadDelegate(owner);
    }

    // Hands the slot a mediation response, as its fetcher would.
    std::shared_ptr<ruzave::GADAd> mediate(const std::string& json) {
        auto ad = ruzave::GADAd::init();
        ad->setResponseType(ruzave::GADResponseTypeMediation);
        ad->setAdHTML(json);
        ad->setMediationDelegate(owner);
        slot->processMediationAdResponse(ad);
        return ad;
    }

    bool waitForPing(const std::string& path, std::size_t count = 1) {
        return runUntil([&] { return server->requestCount(path) >= count; });
    }
    std::string pingParam(const std::string& path, const std::string& name, std::size_t index = 0) {
        auto requests = server->requests(path);
        REQUIRE(requests.size() > index);
        return requests[index].param(name);
    }
};

} // namespace mediationtest
