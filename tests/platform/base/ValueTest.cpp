#include "platform/base/Value.h"

#include <doctest/doctest.h>

#include <cmath>
#include <limits>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "tests/platform/base/DecimalCommaLocale.h"

using platform::Value;

TEST_CASE("Value: integer readings of odd strings") {
    using platform::integerValue;
    CHECK(integerValue(" -0012") == -12);
    CHECK(integerValue("\t\n+7x") == 7);
    CHECK(integerValue("12abc") == 12);
    CHECK(integerValue("abc12") == 0);
    CHECK(integerValue("") == 0);
    CHECK(integerValue("-") == 0);
    CHECK(integerValue("1e3") == 1);
    CHECK(integerValue("0x1A") == 0);
    CHECK(integerValue("3.9") == 3);
    CHECK(integerValue("9223372036854775807") == std::numeric_limits<long long>::max());
    CHECK(integerValue("9223372036854775808") == std::numeric_limits<long long>::max());
    CHECK(integerValue("-9223372036854775808") == std::numeric_limits<long long>::min());
    CHECK(integerValue("-99999999999999999999999") == std::numeric_limits<long long>::min());
    CHECK(integerValue("123456789012345678901234567890") == std::numeric_limits<long long>::max());
}

TEST_CASE("Value: double readings are decimal only and locale-independent") {
    using platform::doubleValue;
    DecimalCommaLocale commaLocale; // where one is installed
    CHECK(doubleValue("1.5") == 1.5);
    CHECK(doubleValue(" -2.25e2xyz") == -225.0);
    CHECK(doubleValue("1e3") == 1000.0);
    CHECK(doubleValue("1e") == 1.0);
    CHECK(doubleValue("1e+") == 1.0);
    CHECK(doubleValue(".5") == 0.5);
    CHECK(doubleValue("5.") == 5.0);
    CHECK(doubleValue(".") == 0.0);
    CHECK(doubleValue("nan") == 0.0);
    CHECK(doubleValue("inf") == 0.0);
    CHECK(doubleValue("0x10") == 0.0);
    CHECK(doubleValue("") == 0.0);
    CHECK(doubleValue("1e400") == HUGE_VAL);
    CHECK(doubleValue("-1e400") == -HUGE_VAL);
    CHECK(doubleValue("1e-400") == 0.0);
}

TEST_CASE("Value: bool readings follow the first significant character") {
    using platform::boolValue;
    CHECK(boolValue("yes"));
    CHECK(boolValue("Y"));
    CHECK(boolValue("T"));
    CHECK(boolValue("true"));
    CHECK(boolValue("  -0012"));
    CHECK(boolValue("0009"));
    CHECK_FALSE(boolValue("0"));
    CHECK_FALSE(boolValue("000"));
    CHECK_FALSE(boolValue("-0"));
    CHECK_FALSE(boolValue(""));
    CHECK_FALSE(boolValue("no"));
    CHECK_FALSE(boolValue("false"));
    CHECK_FALSE(boolValue("0.5")); // "." is not significant: the original reads this as NO
    CHECK_FALSE(boolValue("nan"));
}

TEST_CASE("Value: readings of non-string values") {
    using namespace platform;
    CHECK(integerValue(Value(3.99)) == 3);
    CHECK(integerValue(Value(-3.99)) == -3);
    CHECK(integerValue(Value(1e300)) == std::numeric_limits<long long>::max());
    CHECK(integerValue(Value(-1e300)) == std::numeric_limits<long long>::min());
    CHECK(integerValue(Value(std::numeric_limits<double>::quiet_NaN())) == 0);
    CHECK(integerValue(Value(std::numeric_limits<unsigned long long>::max())) ==
          std::numeric_limits<long long>::max());
    CHECK(integerValue(Value(true)) == 1);
    CHECK(integerValue(Value("42")) == 42);
    CHECK(integerValue(Value::array({1})) == 0);
    CHECK(integerValue(Value()) == 0);
    CHECK(doubleValue(Value(7)) == 7.0);
    CHECK(doubleValue(Value("2.5")) == 2.5);
    CHECK(doubleValue(Value::object()) == 0.0);
    CHECK(boolValue(Value(0.0)) == false);
    CHECK(boolValue(Value(0.1)) == true);
    CHECK(boolValue(Value(std::numeric_limits<double>::quiet_NaN())) == false);
    CHECK(boolValue(Value(-1)) == true);
    CHECK(boolValue(Value("T")) == true);
    CHECK(boolValue(Value(nullptr)) == false);
}

TEST_CASE("Value: string readings print numbers plainly") {
    using namespace platform;
    CHECK(stringValue(Value("as is")) == "as is");
    CHECK(stringValue(Value(0.5)) == "0.5");
    CHECK(stringValue(Value(3.0)) == "3");
    CHECK(stringValue(Value(0.1)) == "0.1");
    CHECK(stringValue(Value(-12)) == "-12");
    CHECK(stringValue(Value(18446744073709551615ULL)) == "18446744073709551615");
    CHECK(stringValue(Value(true)) == "1");
    CHECK(stringValue(Value(false)) == "0");
    CHECK(stringValue(Value(nullptr)).empty());
    CHECK(stringValue(Value::array({1, 2})).empty());
}

TEST_CASE("Value: typed lookups refuse wrong types") {
    const Value dict = {{"s", "text"}, {"n", 1}};
    CHECK(platform::find(dict, "n") != nullptr);
    CHECK(platform::find(dict, "missing") == nullptr);
    CHECK(platform::find(Value::array({1}), "n") == nullptr);
    REQUIRE(platform::findString(dict, "s") != nullptr);
    CHECK(*platform::findString(dict, "s") == "text");
    CHECK(platform::findString(dict, "n") == nullptr);
}

TEST_CASE("Value: parses JSON fragments and keeps key order") {
    CHECK(platform::parseJSON("\"bare\"") == Value("bare"));
    CHECK(platform::parseJSON(" 12 ") == Value(12));
    CHECK(platform::parseJSON("null") == Value(nullptr));
    CHECK(platform::parseJSON("true") == Value(true));
    auto obj = platform::parseJSON(R"({"z":1,"a":2,"m":[1,"x",{"k":null}]})");
    REQUIRE(obj);
    CHECK(platform::toJSON(*obj) == R"({"z":1,"a":2,"m":[1,"x",{"k":null}]})");
    CHECK(platform::toJSON(*obj, true).find("\n  \"a\": 2") != std::string::npos);
    // Non-BMP characters through escapes.
    CHECK(platform::parseJSON(R"("\ud83d\ude00")") == Value("\xF0\x9F\x98\x80"));
}

TEST_CASE("Value: bad JSON gives an error, never an exception") {
    platform::LogCapture capture;
    for (const char* bad : {"", "   ", "{", "[1,]", "{\"a\":1,}", "1 2", "[1] x", "// c\n1", "'single'",
                            "NaN", "{\"a\" 1}", "\"\\ud800\"", "\"\\x41\"", "01", "\"tab\tinside\""}) {
        CAPTURE(bad);
        platform::Error error;
        CHECK_FALSE(platform::parseJSON(bad, &error));
        CHECK(error.domain == "platform.json");
        CHECK_FALSE(error.description.empty());
    }
    CHECK_FALSE(platform::parseJSON("{"));
    CHECK(capture.contains("JSON"));
}

TEST_CASE("Value: invalid UTF-8 is refused on input and replaced on output") {
    CHECK_FALSE(platform::parseJSON("\"\xC3\x28\""));
    CHECK_FALSE(platform::parseJSON("\"\xED\xA0\x80\"")); // an encoded surrogate
    CHECK_FALSE(platform::parseJSON("\"\xC0\xAF\""));     // overlong
    CHECK_FALSE(platform::parseJSON("\"\xE2\x82\""));     // truncated
    const Value broken = {{"k", std::string("a\xFF"
                                            "b")}};
    const std::string out = platform::toJSON(broken);
    CHECK(out == "{\"k\":\"a\xEF\xBF\xBD"
                 "b\"}");
    CHECK(platform::parseJSON(out));
    CHECK(platform::toScriptJSON(broken) == out);
}

TEST_CASE("Value: script JSON escapes the line and paragraph separators") {
    const Value v = Value::array({std::string("a\xE2\x80\xA8"
                                              "b\xE2\x80\xA9"
                                              "c"),
                                  "</x>"});
    const std::string plain = platform::toJSON(v);
    CHECK(plain.find("\xE2\x80\xA8") != std::string::npos); // plain JSON may carry them raw
    const std::string script = platform::toScriptJSON(v);
    CHECK(script == "[\"a\\u2028b\\u2029c\",\"</x>\"]");
    CHECK(platform::parseJSON(script) == v);
}

TEST_CASE("Value: deep nesting is refused up to a limit") {
    const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    CHECK(platform::parseJSON(nested(512)));
    platform::Error error;
    CHECK_FALSE(platform::parseJSON(nested(513), &error));
    CHECK(error.description.find("nesting") != std::string::npos);
    CHECK_FALSE(platform::parseJSON(std::string(1000000, '{')));
    // Brackets inside strings, escaped quotes included, do not count.
    CHECK(platform::parseJSON("[\"\\\"" + std::string(600, '[') + "\"]"));
}

TEST_CASE("Value: huge numbers neither throw nor wrap") {
    auto big = platform::parseJSON("123456789012345678901234567890");
    REQUIRE(big);
    CHECK(big->is_number_float());
    CHECK(platform::integerValue(*big) == std::numeric_limits<long long>::max());
    // A number no double can hold is refused rather than read as infinity.
    CHECK_FALSE(platform::parseJSON("[1e400]"));
    CHECK(platform::parseJSON("-0") == Value(0));
}
