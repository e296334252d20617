#include <doctest/doctest.h>

#include "ads/core/public/GADAdReward.h"
#include "platform/base/Value.h"

using ruzave::GADAdReward;

namespace {
platform::Value parse(const char* text) {
    auto v = platform::parseJSON(text);
    REQUIRE(v);
    return *v;
}
} // namespace

TEST_CASE("GADAdReward: a dictionary makes a reward only with a string type and a number amount") {
    auto reward = GADAdReward::initWithRewardDictionary(parse(R"({"rb_type":"coins","rb_amount":10})"));
    REQUIRE(reward);
    CHECK(reward->type() == "coins");
    CHECK(reward->amount() == 10);
    auto fraction = GADAdReward::initWithRewardDictionary(parse(R"({"rb_type":"","rb_amount":2.5})"));
    REQUIRE(fraction);
    CHECK(fraction->amount() == 2.5);

    for (const char* text : {R"({"rb_type":"coins","rb_amount":"10"})", R"({"rb_type":"coins","rb_amount":true})",
                             R"({"rb_type":7,"rb_amount":10})", R"({"rb_type":"coins"})", R"({"rb_amount":10})",
                             R"({"rb_type":null,"rb_amount":10})", R"([{"rb_type":"coins","rb_amount":10}])", "\"x\""}) {
        CAPTURE(text);
        CHECK_FALSE(GADAdReward::initWithRewardDictionary(parse(text)));
    }
    CHECK_FALSE(GADAdReward::initWithRewardDictionary(std::nullopt));
    CHECK_FALSE(GADAdReward::init());
    CHECK_FALSE(GADAdReward::initWithRewardType(std::nullopt, 1.0));
    CHECK_FALSE(GADAdReward::initWithRewardType(std::string("coins"), std::nullopt));
    CHECK(GADAdReward::initWithRewardType(std::string("coins"), 0.0));
}
