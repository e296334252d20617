#include "platform/base/HTTPDate.h"

#include <doctest/doctest.h>

using platform::parseHTTPDate;

TEST_CASE("HTTPDate: reads the three formats to the same time") {
    const double expected = 784111777; // 1994-11-06 08:49:37 UTC
    CHECK(parseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT") == expected);
    CHECK(parseHTTPDate("Sunday, 06-Nov-94 08:49:37 GMT") == expected);
    CHECK(parseHTTPDate("Sun Nov  6 08:49:37 1994") == expected);
    CHECK(parseHTTPDate("  sun, 6 nov 1994 08:49:37 utc ") == expected);
}

TEST_CASE("HTTPDate: calendar edges") {
    CHECK(parseHTTPDate("Thu, 01 Jan 1970 00:00:00 GMT") == 0.0);
    CHECK(parseHTTPDate("Wed, 31 Dec 1969 23:59:59 GMT") == -1.0);
    CHECK(parseHTTPDate("Tue, 29 Feb 2000 12:00:00 GMT") == 951825600.0);
    CHECK_FALSE(parseHTTPDate("Mon, 29 Feb 1900 12:00:00 GMT"));
    CHECK(parseHTTPDate("Tue, 19 Jan 2038 03:14:08 GMT") == 2147483648.0);
    // Two-digit years: 69 is 2069, 70 is 1970.
    CHECK(parseHTTPDate("Thursday, 01-Jan-70 00:00:00 GMT") == 0.0);
    CHECK(parseHTTPDate("Tuesday, 01-Jan-69 00:00:00 GMT") == 3124224000.0);
}

TEST_CASE("HTTPDate: garbage reads as nothing") {
    for (const char* bad :
         {"", "garbage", "5", "Sun, 06 Nov 1994", "Sun, 06 Nov 1994 08:49:37 PST",
          "Sun, 32 Nov 1994 08:49:37 GMT", "Sun, 06 Foo 1994 08:49:37 GMT", "Sun, 06 Nov 1994 24:00:00 GMT",
          "Sun, 06 Nov 1994 08:60:00 GMT", "Sun, 06 Nov 19945 08:49:37 GMT",
          "Sun, 06 Nov 1994 08:49:37 GMT extra", "Xyz, 06 Nov 1994 08:49:37 GMT", "Sun Nov  6 08:49:37",
          "Sun, 06 Nov 0000 08:49:37 GMT", "Sunday, 06-Nov-1994x 08:49:37 GMT",
          "Sun, 06 Nov 1994 8:49:37 GMT"}) {
        CAPTURE(bad);
        CHECK_FALSE(parseHTTPDate(bad));
    }
}

TEST_CASE("HTTPDate: writes RFC 1123 and reads it back") {
    CHECK(platform::formatHTTPDate(784111777) == "Sun, 06 Nov 1994 08:49:37 GMT");
    CHECK(platform::formatHTTPDate(784111777.9) == "Sun, 06 Nov 1994 08:49:37 GMT");
    CHECK(platform::formatHTTPDate(0) == "Thu, 01 Jan 1970 00:00:00 GMT");
    CHECK(platform::formatHTTPDate(-0.5) == "Wed, 31 Dec 1969 23:59:59 GMT");
    CHECK(platform::formatHTTPDate(1e300) == "Fri, 31 Dec 9999 23:59:59 GMT");
    CHECK(platform::formatHTTPDate(-1e300) == "Mon, 01 Jan 0001 00:00:00 GMT");
    for (double t : {951825600.0, 1700000000.0, -86400.0 * 365 * 100}) {
        CAPTURE(t);
        CHECK(parseHTTPDate(platform::formatHTTPDate(t)) == t);
    }
}
