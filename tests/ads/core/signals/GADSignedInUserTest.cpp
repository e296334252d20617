#include <doctest/doctest.h>

#include <unordered_map>

#include "SignInTestSupport.h"
#include "ads/core/signals/GADSignedInUser.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADSignedInUser;
using signintest::SignInLibrary;

TEST_CASE_FIXTURE(Harness, "GADSignedInUser: the library's user becomes issuer, subject, client and refresh token") {
    SignInLibrary library;
    library.signIn->user = signintest::makeUser("user-1", "1//refresh");
    auto user = GADSignedInUser::init();
    REQUIRE(user);
    CHECK(user->issuer() == "https://accounts.example");
    CHECK(user->userID() == "user-1");
    CHECK(user->applicationID() == "app-client.apps.example");
    CHECK(user->refreshToken() == "1//refresh");
}

TEST_CASE_FIXTURE(Harness, "GADSignedInUser: no user without the switch, the library or a complete identity") {
    SUBCASE("the switch is off") {
        SignInLibrary library(false);
        library.signIn->user = signintest::makeUser("u", "r");
        CHECK_FALSE(GADSignedInUser::init());
    }
    SUBCASE("no library") {
        platform::UserDefaults::standard()->set("/ruzave/ads/enable_signed_in_ads", "1");
        ruzave::GADSignInResetForTesting();
        CHECK_FALSE(GADSignedInUser::init());
    }
    SUBCASE("a library that cannot report changes") {
        SignInLibrary library;
        library.signIn->kvo = false;
        library.signIn->user = signintest::makeUser("u", "r");
        CHECK_FALSE(GADSignedInUser::init());
    }
    SUBCASE("a library whose authentication class lacks the refresh token") {
        SignInLibrary library;
        library.add("GIDAuthentication", {"idToken"});
        library.signIn->user = signintest::makeUser("u", "r");
        CHECK_FALSE(GADSignedInUser::init());
    }
    SUBCASE("no client identifier") {
        SignInLibrary library;
        library.signIn->client.reset();
        library.signIn->user = signintest::makeUser("u", "r");
        CHECK_FALSE(GADSignedInUser::init());
    }
    SUBCASE("nobody signed in") {
        SignInLibrary library;
        CHECK_FALSE(GADSignedInUser::init());
    }
    SUBCASE("no refresh token") {
        SignInLibrary library;
        library.signIn->user = signintest::makeUser("u", "r");
        library.signIn->user->auth->refreshToken_.reset();
        CHECK_FALSE(GADSignedInUser::init());
    }
}

TEST_CASE_FIXTURE(Harness, "GADSignedInUser: malformed ID tokens give no user") {
    SignInLibrary library;
    library.signIn->user = signintest::makeUser("u", "r");
    auto& idToken = library.signIn->user->auth->idToken_;
    const std::string claims = signintest::idTokenWithClaims("{\"iss\":\"i\",\"sub\":\"s\"}");
    const std::string middle = claims.substr(claims.find('.') + 1, claims.rfind('.') - claims.find('.') - 1);

    idToken = "header." + middle;  // two parts
    CHECK_FALSE(GADSignedInUser::init());
    idToken = "a." + middle + ".c.d";  // four parts
    CHECK_FALSE(GADSignedInUser::init());
    idToken = "a.!!not base64!!.c";
    CHECK_FALSE(GADSignedInUser::init());
    idToken = signintest::idTokenWithClaims("[\"iss\",\"sub\"]");  // not a dictionary
    CHECK_FALSE(GADSignedInUser::init());
    idToken = signintest::idTokenWithClaims("{\"iss\":\"i\"}");  // no subject
    CHECK_FALSE(GADSignedInUser::init());
    idToken = signintest::idTokenWithClaims("{\"iss\":\"i\",\"sub\":7}");  // subject not a string
    CHECK_FALSE(GADSignedInUser::init());
    idToken = signintest::idTokenWithClaims("{\"iss\":\"i\",\"sub\"");  // truncated JSON
    CHECK_FALSE(GADSignedInUser::init());
    idToken = "a." + std::string("\xff\xfe") + ".c";
    CHECK_FALSE(GADSignedInUser::init());
    // Unpadded claims decode (their length here needs padding).
    idToken = "a." + middle + ".c";
    auto user = GADSignedInUser::init();
    REQUIRE(user);
    CHECK(user->issuer() == "i");
    CHECK(user->userID() == "s");
}

TEST_CASE("GADSignedInUser: issuer and subject make the identity, refresh tokens do not") {
    GADSignedInUser a("iss", "sub", "app", "refresh-1");
    GADSignedInUser b("iss", "sub", "other-app", "refresh-2");
    GADSignedInUser c("iss", "other", "app", "refresh-1");
    GADSignedInUser d("other", "sub", "app", "refresh-1");
    CHECK(a == b);
    CHECK(a.hash() == b.hash());
    CHECK(a != c);
    CHECK(a != d);
    std::unordered_map<GADSignedInUser, int, GADSignedInUser::Hash> cache;
    cache[a] = 1;
    cache[b] = 2;
    CHECK(cache.size() == 1);
    CHECK(cache.at(a) == 2);
}

TEST_CASE("GADSignedInUser: the keyed form round-trips and refuses incomplete archives") {
    GADSignedInUser user("iss", "sub", "app", "1/x+y");
    platform::Value archive = user.encode();
    CHECK(archive == platform::Value{{"issuer", "iss"}, {"userID", "sub"}, {"applicationID", "app"}, {"refreshToken", "1/x+y"}});
    auto back = GADSignedInUser::decode(archive);
    REQUIRE(back);
    CHECK(*back == user);
    CHECK(back->refreshToken() == "1/x+y");
    archive.erase("refreshToken");
    CHECK_FALSE(GADSignedInUser::decode(archive));
    archive["refreshToken"] = 5;
    CHECK_FALSE(GADSignedInUser::decode(archive));
    CHECK_FALSE(GADSignedInUser::decode(platform::Value::array()));
}
