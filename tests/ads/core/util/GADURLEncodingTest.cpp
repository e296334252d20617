#include <doctest/doctest.h>

#include "ads/core/util/GADURLEncoding.h"

using namespace ruzave;

TEST_CASE("gad_String: URL parameter escaping keeps only the unreserved characters") {
    CHECK(gad_stringByEscapingAsURLParameter("aZ09-._~") == "aZ09-._~");
    CHECK(gad_stringByEscapingAsURLParameter("a b/c") == "a%20b%2Fc");
    CHECK(gad_stringByEscapingAsURLParameter("!*'();:@&=+$,/?%#[]") ==
          "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D");
    CHECK(gad_stringByEscapingAsURLParameter("\"<>\\^`{|}\t\n") == "%22%3C%3E%5C%5E%60%7B%7C%7D%09%0A");
    // UTF-8 bytes, upper-case hex.
    CHECK(gad_stringByEscapingAsURLParameter("\xC3\xA9\xE2\x82\xAC") == "%C3%A9%E2%82%AC");
    CHECK(gad_stringByEscapingAsURLParameter(std::string_view("a\0b", 3)) == "a%00b");
    CHECK(gad_stringByEscapingAsURLParameter("") == "");
}
