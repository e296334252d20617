#include <doctest/doctest.h>

#include "platform/services/Price.h"

using platform::Price;

TEST_CASE("Price: reads decimal text exactly and gives minor units") {
    auto p = Price::fromString("0.99");
    REQUIRE(p);
    CHECK(p->units() == 99);
    CHECK(p->scale() == 2);
    CHECK(p->toString() == "0.99");
    CHECK(p->minorUnits(2) == 99);
    CHECK(p->minorUnits(3) == 990);
    // 0.99 is not a whole number of yen.
    CHECK_FALSE(p->minorUnits(0));

    auto yen = Price::fromString("120");
    REQUIRE(yen);
    CHECK(yen->minorUnits(0) == 120);
    CHECK(yen->minorUnits(2) == 12000);

    // Trailing zeros below the currency's unit are fine; leading zeros are dropped.
    CHECK(Price::fromString("1.50")->minorUnits(1) == 15);
    CHECK(Price::fromString("007.5")->toString() == "7.5");
    CHECK(Price::fromString("0.05")->toString() == "0.05");
    // A binary double would make this 0.30000000000000004; here it stays exact.
    CHECK(*Price::fromString("0.3") == *Price::fromString("0.30"));
    CHECK_FALSE(*Price::fromString("0.3") == *Price::fromString("0.31"));
}

TEST_CASE("Price: refuses text that is not a plain non-negative decimal") {
    for (const char* bad : {"", ".", "1.", ".5", "-1", "+1", "1e3", "1,000", "0x10", "1.2.3", " 1", "nan", "1234567890123456"})
        CHECK_MESSAGE(!Price::fromString(bad), bad);
    // Fifteen significant digits are fine, and huge minor-unit conversions refuse rather than overflow.
    auto big = Price::fromString("999999999999999");
    REQUIRE(big);
    CHECK_FALSE(big->minorUnits(15));
    CHECK_FALSE(big->minorUnits(-1));
}
