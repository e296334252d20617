#include <doctest/doctest.h>

#include <limits>

#include "ads/core/public/GADExtras.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADSearchRequest.h"
#include "ads/core/public/VODRequest.h"
#include "platform/services/TimeZone.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRequest: a fresh request sends only the base keys") {
    auto r = GADRequest::request();
    r->setGender(3);
    platform::Value p = r->parameters();
    CHECK(p["js"] == "zudo-sdk-i-v7.5.2");
    for (const char* key : {"adtest", "kw", "cust_gender", "cust_age", "url", "native_templates", "native_version",
                            "tag_for_child_directed_treatment"}) {
        CHECK_FALSE(p.contains(key));
    }
    CHECK(r->description().find("gender") == std::string::npos);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRequest: set fields become keys, and empty ones only where sent as is") {
    auto r = GADRequest::request();
    r->setKeywords(platform::Value::array());
    r->setRequestAgent(std::string());
    r->setContentURL(std::string(" \n "));
    r->tagForChildDirectedTreatment(false);
    r->setGender(2);
    r->addAdditionalParametersFromDictionary({{"js", "mine"}});
    platform::Value p = r->parameters();
    CHECK(p["kw"] == platform::Value::array());
    CHECK(p["request_agent"] == "");
    CHECK_FALSE(p.contains("url"));
    CHECK(p["tag_for_child_directed_treatment"] == "0");
    CHECK(p["cust_gender"] == "2");
    CHECK(p["js"] == "mine");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRequest: birthdays use the Gregorian calendar in the local zone") {
    auto r = GADRequest::request();
    platform::TimeZone::setLocal(platform::TimeZone("East", 14 * 3600));
    r->setBirthdayWithMonth(2, 29, 2000);
    CHECK(r->birthdayString() == "20000229");
    r->setBirthdayWithMonth(13, 1, 1999);
    CHECK(r->birthdayString() == "20000101");
    platform::TimeZone::setLocal(platform::TimeZone("GMT", 0));
    r->setBirthday(1.0e300);
    CHECK_FALSE(r->birthdayString());
    // Components at the ends of their range are refused without overflowing; the birthday stays.
    r->setBirthdayWithMonth(1, 2, 2003);
    r->setBirthdayWithMonth(13, 1, std::numeric_limits<long>::max());
    r->setBirthdayWithMonth(std::numeric_limits<long>::min(), 1, 2000);
    r->setBirthdayWithMonth(1, std::numeric_limits<long>::max(), 2000);
    CHECK(r->birthdayString() == "20030102");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRequest: native formats and use-once extras") {
    auto r = GADRequest::request();
    r->setFormatParameters(platform::Value::array(
        {{{"format", 2}}, {{"format", 1}}, {{"format", 3}, {"custom_template_ids", {"t1", "t2"}}}}));
    platform::Value p = r->parameters();
    CHECK(p["native_custom_templates"] == "t1,t2");
    CHECK_FALSE(p.contains("native_templates"));
    r->setResponseType(3);
    p = r->parameters();
    CHECK(p["native_templates"] == "2,1,3");
    CHECK(p["native_version"] == 3);
    auto extras = GADExtras::init();
    extras->setAdditionalParameters({{"_useOnce", true}, {"k", "v"}});
    r->registerAdNetworkExtras(extras);
    CHECK(r->parameters()["extras"]["k"] == "v");
    CHECK(r->parameters().contains("extras"));
    CHECK(r->networkExtrasAdditionalParameters());
    CHECK_FALSE(r->parameters().contains("extras"));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRequest: copies are independent, with test devices and locations") {
    auto r = GADRequest::request();
    r->setLocationWithLatitude(12.5f, -33.25f, 50);
    auto c = r->copy();
    c->addAdditionalParametersFromDictionary({{"x", 1}});
    c->registerAdNetworkExtras(GADExtras::init());
    CHECK(r->additionalParameters().empty());
    CHECK(r->adNetworkExtrasFor(GADExtras::kClassName) == nullptr);
    CHECK(c->parameters()["uule"]["lat"] == 125000000);
    r->setTestDevices(platform::Value::array({1, "", "nope"}));
    CHECK_FALSE(r->isATestDevice());
    CHECK(GADRequest::requestTypeFromString(std::string("xfp")) == 3);
    CHECK(GADRequest::requestTypeFromString(std::nullopt) == 0);
    CHECK(GADRequest::extendedSDKVersionNumber() ==
          "zudo-sdk-i-v7.5.2-rc.1+79c019728c92e2becb873e2ec68944d6bd128de1");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRequest: kGADSimulatorID names the simulator as a test device") {
    CHECK(std::string(kGADSimulatorID) == "Simulator");
    platform::Device::currentDevice()->setSimulator(true);
    auto request = GADRequest::request();
    request->setTestDevices(platform::Value::array({kGADSimulatorID}));
    CHECK(request->parameters().contains("adtest"));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRequest: the description names the class and only the parts that are set") {
    auto r = GADRequest::request();
    CHECK(r->description().rfind("<GADRequest 0x", 0) == 0);
    CHECK(r->description().find('\n') == std::string::npos);
    r->setGender(2);
    r->setKeywords(platform::Value::array({"a"}));
    const std::string text = r->description();
    CHECK(text.find("\ngender:Female") != std::string::npos);
    CHECK(text.find("\nkeywords:") != std::string::npos);
    CHECK(text.find("\nbirthday:") == std::string::npos);
    CHECK(text.find("\nadditionalParameters:") == std::string::npos);
    r->setGender(1);
    CHECK(r->description().find("\ngender:Male") != std::string::npos);
    CHECK(VODRequest::request()->description().rfind("<VODRequest 0x", 0) == 0);
    CHECK(GADSearchRequest::request()->description().rfind("<GADSearchRequest 0x", 0) == 0);
}
