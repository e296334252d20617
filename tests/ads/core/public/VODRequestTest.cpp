#include <doctest/doctest.h>

#include "ads/core/public/VODRequest.h"
#include "platform/testing/Harness.h"

using ruzave::VODRequest;

TEST_CASE_FIXTURE(platform::testing::Harness, "VODRequest: the publisher identifier is sent trimmed or not at all") {
    auto r = VODRequest::request();
    CHECK_FALSE(r->parameters().contains("ppid"));
    r->setPublisherProvidedID(std::string(" \t\n  "));
    CHECK_FALSE(r->parameters().contains("ppid"));
    r->setPublisherProvidedID(std::string("  user-42 \r\n"));
    CHECK(r->parameters()["ppid"] == "user-42");
    // Replaces an equal key the app added by hand.
    r->addAdditionalParametersFromDictionary({{"ppid", "older"}});
    CHECK(r->parameters()["ppid"] == "user-42");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "VODRequest: targeting and exclusions go out only when they hold something") {
    auto r = VODRequest::request();
    r->setCustomTargeting(std::map<std::string, std::string>{});
    r->setCategoryExclusions(std::vector<std::string>{});
    platform::Value p = r->parameters();
    CHECK_FALSE(p.contains("custom_targeting"));
    CHECK_FALSE(p.contains("category_exclusions"));
    CHECK(p.contains("js")); // the inherited parameters are all there

    r->setCustomTargeting(std::map<std::string, std::string>{{"section", "sports"}, {"age", ""}});
    r->setCategoryExclusions(std::vector<std::string>{"pets", "cars"});
    p = r->parameters();
    CHECK(p["custom_targeting"] == platform::Value({{"age", ""}, {"section", "sports"}}));
    CHECK(p["category_exclusions"] == platform::Value::array({"pets", "cars"}));
    // Text that is not UTF-8 stays in the dictionary without breaking it.
    r->setCustomTargeting(std::map<std::string, std::string>{{"k", std::string("\xff\xfe", 2)}});
    CHECK(platform::toJSON(r->parameters()).find("custom_targeting") != std::string::npos);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "VODRequest: a copy is a publisher request of its own") {
    auto r = VODRequest::request();
    r->setPublisherProvidedID(std::string("p"));
    r->setCategoryExclusions(std::vector<std::string>{"pets"});
    r->setCustomTargeting(std::map<std::string, std::string>{{"k", "v"}});
    r->setGender(1);
    std::shared_ptr<ruzave::GADRequest> copy = r->copy();
    r->setPublisherProvidedID(std::string("changed"));
    r->setCategoryExclusions(std::nullopt);
    // Read through the base class, as the slot does.
    platform::Value p = copy->parameters();
    CHECK(p["ppid"] == "p");
    CHECK(p["category_exclusions"] == platform::Value::array({"pets"}));
    CHECK(p["custom_targeting"]["k"] == "v");
    CHECK(p["cust_gender"] == "1");
    auto typed = std::dynamic_pointer_cast<VODRequest>(copy);
    REQUIRE(typed);
    CHECK(*typed->publisherProvidedID() == "p");
}
