#include <doctest/doctest.h>

#include <cmath>

#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADObjectValidation.h"
#include "ads/core/util/GADStringNumberAdditions.h"

using namespace ruzave;

TEST_CASE("gad_JSON: writing refuses what JSON cannot hold") {
    platform::Error error;
    CHECK(gad_JSONStringPretty({{"a", 1}}, false, &error) == "{\"a\":1}");
    platform::Value bad = {{"d", platform::Value::binary({1, 2})}};
    CHECK_FALSE(gad_JSONStringPretty(bad, false, &error));
    CHECK(error.code == 2);
    CHECK(error.description == "Invalid JSON object.");
    CHECK_FALSE(gad_JSONStringPretty({{"n", NAN}}, false));
    CHECK_FALSE(gad_JSONStringPretty(platform::Value("fragment"), false));
}

TEST_CASE("gad_JSON: safe dictionaries describe unacceptable values, nested ones too") {
    platform::Value plain = {{"a", "b"}};
    CHECK(gad_JSONSafeDictionary(plain) == plain);
    platform::Value nested = {{"outer", {{"bytes", platform::Value::binary({0x0a, 0x1b})}}}, {"list", {1, NAN}}};
    platform::Value safe = gad_JSONSafeDictionary(nested);
    CHECK(safe["outer"]["bytes"] == "<0a1b>");
    CHECK(safe["list"].is_string());
    CHECK(gad_isValidJSONObject(safe));
    CHECK(gad_JSONSafeDictionary(platform::Value(3)) == platform::Value(3));
}

TEST_CASE("gad_JSON: reading takes fragments and reports garbage") {
    CHECK(gad_decodedJSONObjectError("5") == platform::Value(5));
    platform::Error error;
    CHECK_FALSE(gad_decodedJSONObjectError("", &error));
    CHECK_FALSE(error.empty());
    platform::Value d = {{"s", "x"}, {"n", true}, {"a", {1}}};
    CHECK(gad_objectForKey(d, "s", GADValueClass::String) != nullptr);
    CHECK(gad_objectForKey(d, "s", GADValueClass::Number) == nullptr);
    CHECK(gad_objectForKey(d, "n", GADValueClass::Number) != nullptr);
    CHECK(gad_objectForKey(platform::Value::array(), "s", GADValueClass::String) == nullptr);
}

TEST_CASE("gad_JSON: number texts and digests") {
    CHECK(GADStringFromBool(true) == "1");
    CHECK(GADStringFromBool(false) == "0");
    CHECK(GADStringFromFloat(1.5f) == "1.5");
    CHECK(GADStringFromFloat(2.0f) == "2");
    CHECK(GADStringFromFloat(0.0f) == "0");
    CHECK(GADStringFromFloat(-0.125f) == "-0.125");
    CHECK(GADStringFromFloat(100.0f) == "100");
    CHECK(gad_MD5String("") == "d41d8cd98f00b204e9800998ecf8427e");
    CHECK(gad_MD5Data("abc")->size() == 16);
    CHECK_FALSE(gad_MD5Data("\xC3"));
}
