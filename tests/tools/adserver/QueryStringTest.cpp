#include "tools/adserver/QueryString.h"

#include <doctest/doctest.h>

using adserver::QueryString;

TEST_CASE("QueryString: decodes percent escapes and plus signs, keeping malformed escapes") {
    CHECK(QueryString::decode("a+b%20c") == "a b c");
    CHECK(QueryString::decode("%E2%82%ac") == "\xE2\x82\xAC");
    CHECK(QueryString::decode("%2B") == "+");
    // Truncated or non-hex escapes stay literal instead of reading past the end.
    CHECK(QueryString::decode("100%") == "100%");
    CHECK(QueryString::decode("%4") == "%4");
    CHECK(QueryString::decode("%zz%41") == "%zzA");
    CHECK(QueryString::decode("%00x").size() == 2);
}

TEST_CASE("QueryString: parses pairs in order with repeats, bare keys and '=' inside values") {
    auto pairs = QueryString::parse("a=1&&b&a=2&c=x=y&=v&");
    REQUIRE(pairs.size() == 5);
    CHECK(pairs[0] == std::pair<std::string, std::string>{"a", "1"});
    CHECK(pairs[1] == std::pair<std::string, std::string>{"b", ""});
    CHECK(pairs[2] == std::pair<std::string, std::string>{"a", "2"});
    CHECK(pairs[3] == std::pair<std::string, std::string>{"c", "x=y"});
    CHECK(pairs[4] == std::pair<std::string, std::string>{"", "v"});
    CHECK(QueryString::parse("").empty());
    CHECK(QueryString::parse("&&").empty());
}
