#include <doctest/doctest.h>

#include "ads/core/net/GADURLRequestAdditions.h"
#include "ads/core/signals/GADDevice.h"
#include "platform/testing/Harness.h"

using ruzave::gad_requestForURL;

TEST_CASE_FIXTURE(platform::testing::Harness, "gad_requestForURL: a body and a type make a POST, either alone a plain GET") {
    ruzave::GADDevice::sharedInstance()->setUserAgentString("TestAgent/1");
    const auto url = platform::URL::parse("https://ads.example/x");
    platform::Value headers = {{"X-One", "1"}, {"X-Num", 5}};
    const platform::Bytes body{'a', 'b', 'c'};

    auto post = gad_requestForURL(url, body, headers, std::string("application/x-www-form-urlencoded"));
    REQUIRE(post.has_value());
    CHECK(post->httpMethod() == "POST");
    CHECK(post->httpBody() == body);
    CHECK(post->valueForHTTPHeaderField("Content-Length") == std::optional<std::string>("3"));
    CHECK(post->valueForHTTPHeaderField("Content-Type") == std::optional<std::string>("application/x-www-form-urlencoded"));
    CHECK(post->valueForHTTPHeaderField("X-One") == std::optional<std::string>("1"));
    CHECK(post->valueForHTTPHeaderField("X-Num") == std::optional<std::string>("5"));
    CHECK(post->valueForHTTPHeaderField("User-Agent") == std::optional<std::string>("TestAgent/1"));

    auto noType = gad_requestForURL(url, body, std::nullopt, std::nullopt);
    REQUIRE(noType.has_value());
    CHECK(noType->httpMethod() == "GET");
    CHECK(noType->httpBody().empty());
    CHECK_FALSE(noType->valueForHTTPHeaderField("Content-Type").has_value());

    CHECK_FALSE(gad_requestForURL(std::nullopt, body, headers, std::string("text/plain")).has_value());
}
