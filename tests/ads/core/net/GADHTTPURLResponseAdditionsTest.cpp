#include <doctest/doctest.h>

#include "ads/core/net/GADHTTPURLResponseAdditions.h"
#include "platform/base/HTTPDate.h"
#include "platform/runloop/Clock.h"

using ruzave::gad_expirationDate;

namespace {

struct VirtualClock {
    double now;
    VirtualClock() {
        platform::Clock::useVirtualTime();
        platform::Clock::setWallTime(1'700'000'000);
        now = platform::Clock::wallTime();
    }
};

platform::HTTPURLResponse responseWith(platform::HTTPHeaderFields headers) {
    return platform::HTTPURLResponse(*platform::URL::parse("https://a.example/ad"), 200, std::move(headers));
}

} // namespace

TEST_CASE_FIXTURE(VirtualClock, "gad_expirationDate: max-age counts from the server's Date") {
    auto r = responseWith({{"Date", platform::formatHTTPDate(now - 10)}, {"Cache-Control", "private, max-age=60"}});
    auto expiry = gad_expirationDate(r);
    REQUIRE(expiry.has_value());
    CHECK(*expiry == doctest::Approx(now + 50));

    // Without a Date the base is now; white space after "=" is skipped.
    auto noDate = gad_expirationDate(responseWith({{"Cache-Control", "max-age= 30"}}));
    REQUIRE(noDate.has_value());
    CHECK(*noDate == doctest::Approx(now + 30));
}

TEST_CASE_FIXTURE(VirtualClock, "gad_expirationDate: no-store, Pragma no-cache and a zero or negative max-age forbid caching") {
    CHECK_FALSE(gad_expirationDate(responseWith({{"Cache-Control", "max-age=0"}})).has_value());
    CHECK_FALSE(gad_expirationDate(responseWith({{"Cache-Control", "max-age=-5"}})).has_value());
    CHECK_FALSE(gad_expirationDate(responseWith({{"Cache-Control", "no-store, max-age=600"}})).has_value());
    const std::string later = platform::formatHTTPDate(now + 3600);
    CHECK_FALSE(gad_expirationDate(responseWith({{"Pragma", "no-cache"}, {"Cache-Control", "max-age=600"}, {"Expires", later}}))
                    .has_value());
    CHECK_FALSE(gad_expirationDate(responseWith({})).has_value());
}

TEST_CASE_FIXTURE(VirtualClock, "gad_expirationDate: Expires is measured against Date, whatever the device clock says") {
    // The server's clock is a day behind the device's.
    const double serverNow = now - 86400;
    auto r = responseWith({{"Date", platform::formatHTTPDate(serverNow)}, {"Expires", platform::formatHTTPDate(serverNow + 3600)}});
    auto expiry = gad_expirationDate(r);
    REQUIRE(expiry.has_value());
    CHECK(*expiry == doctest::Approx(now + 3600));

    // Letters after "max-age=" fall back to Expires.
    auto fallback = gad_expirationDate(responseWith({{"Date", platform::formatHTTPDate(now)},
                                                     {"Cache-Control", "max-age=soon"},
                                                     {"Expires", platform::formatHTTPDate(now + 120)}}));
    REQUIRE(fallback.has_value());
    CHECK(*fallback == doctest::Approx(now + 120));

    // An Expires not after Date, or not a date, gives nothing.
    CHECK_FALSE(gad_expirationDate(responseWith({{"Date", platform::formatHTTPDate(now)},
                                                 {"Expires", platform::formatHTTPDate(now - 1)}}))
                    .has_value());
    CHECK_FALSE(gad_expirationDate(responseWith({{"Expires", "0"}})).has_value());
}

TEST_CASE_FIXTURE(VirtualClock, "gad_expirationDate: absurd headers give a defined answer") {
    auto huge = gad_expirationDate(responseWith({{"Cache-Control", "max-age=99999999999999999999999999999"}}));
    REQUIRE(huge.has_value());
    CHECK(std::isfinite(*huge));
    CHECK(*huge > now);
    // An unreadable Date counts as now.
    auto badDate = gad_expirationDate(responseWith({{"Date", "yesterday"}, {"Cache-Control", "max-age=5"}}));
    REQUIRE(badDate.has_value());
    CHECK(*badDate == doctest::Approx(now + 5));
}

TEST_CASE("gad_dateFromHttpDateString: reads the three HTTP date forms") {
    const double expected = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    CHECK(ruzave::gad_dateFromHttpDateString("Sun, 06 Nov 1994 08:49:37 GMT") == expected);
    CHECK(ruzave::gad_dateFromHttpDateString("Sunday, 06-Nov-94 08:49:37 GMT") == expected);
    CHECK(ruzave::gad_dateFromHttpDateString("Sun Nov  6 08:49:37 1994") == expected);
    CHECK_FALSE(ruzave::gad_dateFromHttpDateString("06/11/1994").has_value());
}
