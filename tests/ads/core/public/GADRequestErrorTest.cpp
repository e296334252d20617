#include <doctest/doctest.h>

#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE("GADRequestError: default texts, unknown codes and the HTTP status entry") {
    auto e = GADRequestError::errorWithCode(GADRequestErrorNoFill);
    CHECK(e.domain == "com.ruzave.ads");
    CHECK(e.description == "Request Error: No ad to show.");
    CHECK(e.userInfo[kGADLocalizedFailureReasonErrorKey] == "Request Error: No ad to show.");
    CHECK_FALSE(e.userInfo.contains(kGADHttpStatusKey));
    auto net = GADRequestError::errorWithCode(GADRequestErrorNetworkError, nullptr, 404);
    REQUIRE(net.userInfo.contains(kGADHttpStatusKey));
    CHECK(net.userInfo[kGADHttpStatusKey].get<std::string>().rfind("HTTP status 404: ", 0) == 0);
    CHECK_FALSE(GADRequestError::errorWithCode(2, nullptr, -3).userInfo.contains(kGADHttpStatusKey));
    CHECK(GADRequestError::errorWithCode(99).description == GADRequestError::defaultDescription(0));
    CHECK(GADRequestError::errorWithCode(5, std::string("custom")).description == "custom");
}

TEST_CASE("GADRequestError: a foreign error becomes an internal error with it underneath") {
    auto e = GADRequestError::initWithDomain("other.domain", 5, platform::Value::object());
    CHECK(e.code == GADRequestErrorInternalError);
    CHECK(e.description == "Request Error: Internal error.");
    auto under = e.underlying();
    REQUIRE(under);
    CHECK(under->domain == "other.domain");
    CHECK(under->code == 5);
    auto wrapped = GADRequestError::errorWithCode(2, platform::Error("x", 1, "boom"));
    CHECK(wrapped.description == "boom");
    CHECK(wrapped.error().code == 2);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADRequestError: request parameters join code 0 without replacing the standard keys") {
    auto request = GADRequest::request();
    request->addAdditionalParametersFromDictionary(
        {{"NSLocalizedDescription", "spoof"}, {"NSLocalizedFailureReason", "spoof"}, {"custom", "v"}});
    auto e = GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, request);
    CHECK(e.userInfo["custom"] == "v");
    CHECK(e.userInfo["js"] == "zudo-sdk-i-v7.5.2");
    CHECK(e.userInfo[kGADLocalizedDescriptionKey] == GADRequestError::defaultDescription(0));
    CHECK(e.userInfo[kGADLocalizedFailureReasonErrorKey] == GADRequestError::defaultDescription(0));
    auto other = GADRequestError::errorWithCode(GADRequestErrorNoFill, request);
    CHECK_FALSE(other.userInfo.contains("custom"));
}

TEST_CASE("GADRequestError: internal error texts") {
    CHECK(gad_localizedDescriptionForErrorCode(1) == "File could not be read.");
    CHECK(gad_localizedDescriptionForErrorCode(3) == "Invalid argument.");
    CHECK_FALSE(gad_localizedDescriptionForErrorCode(0));
    CHECK_FALSE(gad_localizedDescriptionForErrorCode(4));
    auto e = gad_errorWithCode(2, std::nullopt);
    CHECK(e.domain == "com.ruzave.ads.private");
    CHECK(e.userInfo.empty());
}

TEST_CASE("GADRequestError: the underlying error is found under the public key") {
    auto e = GADRequestError::initWithDomain("other.domain", 5, platform::Value::object());
    REQUIRE(e.userInfo.contains(kGADUnderlyingErrorKey));
    CHECK(platform::Error::fromValue(e.userInfo[kGADUnderlyingErrorKey]).domain == "other.domain");
    CHECK(std::string(kGADUnderlyingErrorKey) == "NSUnderlyingError");
    // And an error a caller files under the key is the one underlying() finds.
    platform::Error mine("mine", 1, "outer");
    mine.userInfo[kGADUnderlyingErrorKey] = platform::Error("cause", 7, "inner").toValue();
    REQUIRE(mine.underlying());
    CHECK(mine.underlying()->code == 7);
}
