#include <doctest/doctest.h>

#include "ads/core/util/GADNSURLUtilities.h"

using namespace ruzave;

namespace {

platform::URL url(std::string_view text) {
    auto parsed = platform::URL::parse(text);
    REQUIRE(parsed);
    return *parsed;
}

std::string appended(std::string_view base, const platform::Value& parameters) {
    auto result = gad_appendQueryParameters(url(base), parameters);
    REQUIRE(result);
    return result->absoluteString();
}

} // namespace

TEST_CASE("gad_URL: appended pairs go in front of the adurl tail and before a fragment") {
    const platform::Value b2 = {{"b", 2}};
    CHECK(appended("https://x.test/c?a=1&adurl=https://t.test/?q=1", b2) ==
          "https://x.test/c?a=1&b=2&adurl=https://t.test/?q=1");
    CHECK(appended("https://x.test/c", b2) == "https://x.test/c?b=2");
    CHECK(appended("https://x.test/c?a=1", b2) == "https://x.test/c?a=1&b=2");
    CHECK(appended("https://x.test/c#top", b2) == "https://x.test/c?b=2#top");
    CHECK(appended("https://x.test/c?a=1&adurl=y#top", b2) == "https://x.test/c?a=1&b=2&adurl=y#top");
    // "&adurl=" inside the fragment or the path is no tail.
    CHECK(appended("https://x.test/c?a=1#x&adurl=y", b2) == "https://x.test/c?a=1&b=2#x&adurl=y");
    CHECK(appended("https://x.test/p&adurl=y", b2) == "https://x.test/p&adurl=y?b=2");
}

TEST_CASE("gad_URL: a bare question mark takes the first pair without a second one") {
    const platform::Value b2 = {{"b", 2}};
    CHECK(appended("https://x.test/c?", b2) == "https://x.test/c?b=2");
    CHECK(appended("https://x.test/c?#f", b2) == "https://x.test/c?b=2#f");
    CHECK(appended("https://x.test/c?&adurl=y", b2) == "https://x.test/c?b=2&adurl=y");
}

TEST_CASE("gad_URL: keys and values are escaped, empty values leave the bare key, order is kept") {
    platform::Value parameters = platform::Value::object();
    parameters["z"] = "a b/c";
    parameters["k&=y"] = "v&w=1";
    parameters["empty"] = "";
    parameters["none"] = nullptr;
    parameters["n"] = 1.5;
    parameters["yes"] = true;
    CHECK(appended("https://x.test/", parameters) ==
          "https://x.test/?z=a%20b%2Fc&k%26%3Dy=v%26w%3D1&empty&none&n=1.5&yes=1");

    auto single = gad_appendQueryValue(url("https://x.test/?a=1"), std::nullopt, "flag");
    REQUIRE(single);
    CHECK(single->absoluteString() == "https://x.test/?a=1&flag");
    single = gad_appendQueryValue(url("https://x.test/?a=1"), "\xC3\xA9", "e");
    REQUIRE(single);
    CHECK(single->absoluteString() == "https://x.test/?a=1&e=%C3%A9");
}

TEST_CASE("gad_URL: no parameters leave the URL, a non-dictionary gives nothing") {
    CHECK(appended("https://x.test/c?a=1#f", platform::Value::object()) == "https://x.test/c?a=1#f");
    CHECK(appended("https://x.test/c?a=1#f", platform::Value()) == "https://x.test/c?a=1#f");
    CHECK_FALSE(gad_appendQueryParameters(url("https://x.test/"), platform::Value::array({1, 2})));
    CHECK_FALSE(gad_appendQueryParameters(url("https://x.test/"), platform::Value("a=1")));
}

TEST_CASE("gad_URL: parameter values match exact single pairs in query order") {
    auto values = gad_parameterValuesForKey(url("https://x.test/?k=1&K=9&k=2&k&kk=3&k=%41%20"), "k");
    REQUIRE(values);
    CHECK(*values == std::vector<std::string>{"1", "2", "A "});
    CHECK(gad_parameterValueForKey(url("https://x.test/?k=1&k=2"), "k") == "1");
    CHECK_FALSE(gad_parameterValuesForKey(url("https://x.test/?k=1=2"), "k"));
    CHECK_FALSE(gad_parameterValuesForKey(url("https://x.test/?j=1"), "k"));
    CHECK_FALSE(gad_parameterValuesForKey(url("https://x.test/"), "k"));
    CHECK_FALSE(gad_parameterValueForKey(url("https://x.test/?k"), "k"));
    // A value whose bytes are not UTF-8 is skipped.
    values = gad_parameterValuesForKey(url("https://x.test/?k=%FF&k=%E2%82%AC&k=%C3"), "k");
    REQUIRE(values);
    CHECK(*values == std::vector<std::string>{"\xE2\x82\xAC"});
    CHECK(gad_parameterValueForKey(url("https://x.test/?k=&k=1"), "k") == "");
    // The key is compared as written, not decoded.
    CHECK_FALSE(gad_parameterValuesForKey(url("https://x.test/?%6B=1"), "k"));
}

TEST_CASE("gad_URL: the query dictionary splits at ampersands and semicolons and decodes both sides") {
    auto d = gad_dictionaryFromQueryParametersAndConvertKeysToLowercase(url("https://x.test/?A=1;b=%41"), true);
    CHECK(d == platform::Value{{"a", "1"}, {"b", "A"}});
    d = gad_dictionaryFromQueryParametersAndConvertKeysToLowercase(url("https://x.test/?A=1;b=%41"), false);
    CHECK(d == platform::Value{{"A", "1"}, {"b", "A"}});
    d = gad_dictionaryFromQueryParametersAndConvertKeysToLowercase(
        url("https://x.test/?a=1&a=2&c&d=1=2&%6B%65y=x+y&bad=%FF&%FF=1&e="), false);
    CHECK(d == platform::Value{{"a", "2"}, {"key", "x+y"}, {"e", ""}});
    CHECK(gad_dictionaryFromQueryParametersAndConvertKeysToLowercase(url("https://x.test/"), true) ==
          platform::Value::object());
}

TEST_CASE("gad_URL: the impression ticket is the second and third path segments") {
    CHECK(gad_impressionTicket(url("https://x.test/a/b/c/d?x=1")) == "b/c");
    CHECK(gad_impressionTicket(url("https://x.test/a/b/c")) == "b/c");
    CHECK_FALSE(gad_impressionTicket(url("https://x.test/a/b")));
    CHECK_FALSE(gad_impressionTicket(url("https://x.test/a/b/")));
    CHECK_FALSE(gad_impressionTicket(url("https://x.test/")));
    CHECK_FALSE(gad_impressionTicket(url("https://x.test")));
}

TEST_CASE("gad_URL: the fragment is cut from the absolute string") {
    CHECK(gad_absoluteStringWithoutFragmentComponent(url("https://x.test/a?b=1#frag")) == "https://x.test/a?b=1");
    CHECK(gad_absoluteStringWithoutFragmentComponent(url("https://x.test/a#")) == "https://x.test/a");
    CHECK(gad_absoluteStringWithoutFragmentComponent(url("https://x.test/a?b=1")) == "https://x.test/a?b=1");
}

TEST_CASE("gad_URL: host and scheme comparisons with and without case") {
    const platform::URL u = url("https://ads.example.test/p");
    CHECK(gad_isHostEqualToString(u, "ads.example.test", true));
    CHECK_FALSE(gad_isHostEqualToString(u, "ADS.example.test", true));
    CHECK(gad_isHostEqualToString(u, "ADS.example.test", false));
    CHECK_FALSE(gad_isHostEqualToString(u, "example.test", false));
    CHECK(gad_isSchemeEqualToString(u, "https", true));
    CHECK_FALSE(gad_isSchemeEqualToString(u, "HTTPS", true));
    CHECK(gad_isSchemeEqualToString(u, "HTTPS", false));
    CHECK_FALSE(gad_isSchemeEqualToString(u, "http", false));
    // No host (or no scheme) equals nothing, not even the empty string.
    CHECK_FALSE(gad_isHostEqualToString(url("/relative/path"), "", false));
    CHECK_FALSE(gad_isSchemeEqualToString(url("/relative/path"), "", true));
}
