#include "platform/base/Strings.h"

#include <doctest/doctest.h>

#include "tests/platform/base/DecimalCommaLocale.h"
#include <limits>

using namespace std::string_literals;

TEST_CASE("Strings: trim strips ASCII and Unicode white space but nothing else") {
    using platform::trim;
    CHECK(trim("  \t\r\n a b \n") == "a b");
    CHECK(trim("\xC2\xA0x\xC2\xA0") == "x");         // NBSP
    CHECK(trim("\xE2\x80\xA8x\xE3\x80\x80") == "x"); // line separator, ideographic space
    CHECK(trim("   ") == "");
    CHECK(trim("") == "");
    CHECK(trim("\xC3\xA9") == "\xC3\xA9"); // a letter stays
    CHECK(trim("x\xA0") == "x\xA0");       // a stray byte is no NBSP
    CHECK(trim("\xE2\x80") == "\xE2\x80"); // truncated, kept as is
    CHECK(trim("\x00 a"s) == "\x00 a"s);   // NUL is not white space
}

TEST_CASE("Strings: case-insensitive comparison orders and folds ASCII only") {
    using platform::caseInsensitiveCompare;
    CHECK(caseInsensitiveCompare("Content-Type", "content-type") == 0);
    CHECK(caseInsensitiveCompare("a", "B") == -1);
    CHECK(caseInsensitiveCompare("B", "a") == 1);
    CHECK(caseInsensitiveCompare("ab", "AB c") == -1);
    CHECK(caseInsensitiveCompare("", "") == 0);
    CHECK(caseInsensitiveCompare("\xC3\xA9", "\xC3\x89") != 0);
    CHECK(caseInsensitiveCompare("a", "\xC3\xA9") == -1); // bytes compare unsigned
    CHECK(platform::equalsIgnoringCase("GMSG", "gmsg"));
    CHECK_FALSE(platform::equalsIgnoringCase("gmsg", "gmsg:"));
    CHECK(platform::toLowerASCII("AbC-\xC3\x89") == "abc-\xC3\x89");
    CHECK(platform::toUpperASCII("abc") == "ABC");
}

TEST_CASE("Strings: prefixes, splitting, joining and replacing") {
    CHECK(platform::hasPrefix("gmsg://x", "gmsg:"));
    CHECK(platform::hasPrefix("x", ""));
    CHECK_FALSE(platform::hasPrefix("gm", "gmsg"));
    CHECK(platform::hasSuffix("a.html", ".html"));
    CHECK_FALSE(platform::hasSuffix("l", "html"));

    CHECK(platform::split("a,,b,", ",") == std::vector<std::string>{"a", "", "b", ""});
    CHECK(platform::split("", ",") == std::vector<std::string>{""});
    CHECK(platform::split("a::b", "::") == std::vector<std::string>{"a", "b"});
    CHECK(platform::split("abc", "") == std::vector<std::string>{"abc"});
    CHECK(platform::join({"a", "", "b"}, ", ") == "a, , b");
    CHECK(platform::join({}, ",") == "");
    CHECK(platform::join(platform::split("x|y|z", "|"), "|") == "x|y|z");

    CHECK(platform::replaceAll("aaa", "aa", "b") == "ba");
    CHECK(platform::replaceAll("%@ and %@", "%@", "%@%@") == "%@%@ and %@%@");
    CHECK(platform::replaceAll("abc", "", "x") == "abc");
}

TEST_CASE("Strings: number formatting ignores the process locale") {
    DecimalCommaLocale commaLocale; // where one is installed
    CHECK(platform::formatDouble(3.14159, 'f', 2) == "3.14");
    CHECK(platform::formatDouble(0.5) == "0.5");
    CHECK(platform::formatDouble(1e20, 'g', 6) == "1e+20");
    CHECK(platform::formatDouble(2.5, 'e', 1) == "2.5e+00");
    CHECK(platform::formatDouble(1.0, 'f', -3) == "1");
    CHECK(platform::format("%d-%s-%.1f", 7, "x", 1.25) == "7-x-1.2");
    CHECK(platform::formatUnsigned(std::numeric_limits<unsigned long long>::max()) == "18446744073709551615");
    CHECK(platform::formatUnsigned(0) == "0");
}

TEST_CASE("Strings: format handles long output") {
    const std::string big(1000, 'x');
    CHECK(platform::format("[%s]", big.c_str()) == "[" + big + "]");
}

TEST_CASE("Strings: white space collapses to single spaces and splits into non-empty pieces") {
    CHECK(platform::collapseWhiteSpace("  a \t\n b  c ") == "a b c");
    CHECK(platform::collapseWhiteSpace(" \n ").empty());
    CHECK(platform::splitAtWhiteSpace("  ad  banner\tx ") == std::vector<std::string>{"ad", "banner", "x"});
    CHECK(platform::splitAtWhiteSpace("   ").empty());
}
