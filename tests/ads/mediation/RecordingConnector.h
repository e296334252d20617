#pragma once
// A connector that records what its adapter tells it instead of passing it on, for tests that drive
// one adapter directly. Made from a one-network mediation answer; setUpAdapter() makes the adapter.
// Main thread.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMConfig.h"
#include "platform/base/Value.h"

namespace mediationtest {

class RecordingConnector : public ruzave::GADMAdNetworkConnector {
  public:
    // One network of `adapterClass` with `credentials` as its "data".
    static std::shared_ptr<RecordingConnector> make(const std::string& adapterClass, const platform::Value& credentials) {
        platform::Value doc = platform::Value::object();
        platform::Value net = platform::Value::object();
        net["id"] = "n";
        net["adapters"] = platform::Value::array({adapterClass});
        net["data"] = credentials;
        doc["ad_networks"] = platform::Value::array({net});
        auto config = ruzave::GADMConfig::initWithAppKey(std::string("app"), doc);
        REQUIRE(config);
        REQUIRE(config->adNetworkConfigs().size() == 1);
        std::shared_ptr<RecordingConnector> c(new RecordingConnector(config, config->adNetworkConfigs()[0]));
        c->setUpAdapter();
        REQUIRE(c->adapter());
        return c;
    }

    std::vector<std::string> events;
    std::vector<platform::Error> errors;
    std::vector<std::shared_ptr<platform::View>> views;

    void adapterDidFailAd(ruzave::GADMAdNetworkAdapter&, const platform::Error& e) override {
        events.push_back("failAd");
        errors.push_back(e);
    }
    void adapterDidFailInterstitial(ruzave::GADMAdNetworkAdapter&, const platform::Error& e) override {
        events.push_back("failInterstitial");
        errors.push_back(e);
    }
    void adapterDidReceiveAdView(ruzave::GADMAdNetworkAdapter&, const std::shared_ptr<platform::View>& v) override {
        events.push_back("adView");
        views.push_back(v);
    }
    void adapterDidReceiveInterstitial(ruzave::GADMAdNetworkAdapter&) override { events.push_back("interstitial"); }
    void adapterDidReceiveMediatedNativeAd(ruzave::GADMAdNetworkAdapter&,
                                           const std::shared_ptr<ruzave::GADMediatedNativeAd>&) override {
        events.push_back("nativeAd");
    }
    void adapterDidGetAdClick(ruzave::GADMAdNetworkAdapter&) override { events.push_back("click"); }
    void adapterClickDidOccurInBanner(ruzave::GADMAdNetworkAdapter&, const std::shared_ptr<platform::View>&) override {
        events.push_back("click");
    }
    void adapterWillLeaveApplication(ruzave::GADMAdNetworkAdapter&) override { events.push_back("leave"); }
    void adapterWillPresentFullScreenModal(ruzave::GADMAdNetworkAdapter&) override { events.push_back("willPresentModal"); }
    void adapterWillDismissFullScreenModal(ruzave::GADMAdNetworkAdapter&) override { events.push_back("willDismissModal"); }
    void adapterDidDismissFullScreenModal(ruzave::GADMAdNetworkAdapter&) override { events.push_back("didDismissModal"); }
    void adapterWillPresentInterstitial(ruzave::GADMAdNetworkAdapter&) override { events.push_back("willPresent"); }
    void adapterWillDismissInterstitial(ruzave::GADMAdNetworkAdapter&) override { events.push_back("willDismiss"); }
    void adapterDidDismissInterstitial(ruzave::GADMAdNetworkAdapter&) override { events.push_back("didDismiss"); }

  private:
    using GADMAdNetworkConnector::GADMAdNetworkConnector;
};

} // namespace mediationtest
