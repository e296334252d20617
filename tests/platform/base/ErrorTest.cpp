#include "platform/base/Error.h"

#include <doctest/doctest.h>

using platform::Error;
using platform::Value;

TEST_CASE("Error: round-trips through its dictionary form") {
    Error e("net", -1001, "timed out", {{"url", "https://x.example/"}});
    const Error back = Error::fromValue(e.toValue());
    CHECK(back.domain == "net");
    CHECK(back.code == -1001);
    CHECK(back.description == "timed out");
    CHECK(back.userInfo == e.userInfo);
    CHECK_FALSE(back.empty());
    CHECK(Error().empty());
}

TEST_CASE("Error: underlying errors nest and survive the dictionary form") {
    Error inner("posix", 2, "no such file");
    Error middle("io", 7, "read failed");
    middle.setUnderlying(inner);
    Error outer("sdk", 1, "load failed");
    outer.setUnderlying(middle);

    const Error copy = Error::fromValue(outer.toValue());
    auto u = copy.underlying();
    REQUIRE(u);
    CHECK(u->domain == "io");
    auto uu = u->underlying();
    REQUIRE(uu);
    CHECK(uu->code == 2);
    CHECK_FALSE(uu->underlying());
}

TEST_CASE("Error: tolerates odd dictionaries and user info") {
    CHECK(Error::fromValue(Value("text")).empty());
    const Error e = Error::fromValue({{"domain", 5}, {"code", "42"}, {"userInfo", "x"}});
    CHECK(e.domain.empty());
    CHECK(e.code == 42);
    CHECK(e.userInfo.is_object());

    Error odd("d", 1);
    odd.userInfo = Value::array({1});
    CHECK_FALSE(odd.underlying());
    odd.setUnderlying(Error("inner", 3));
    REQUIRE(odd.underlying());
    CHECK(odd.underlying()->domain == "inner");

    platform::setError(nullptr, Error("ignored", 1));
    Error out;
    platform::setError(&out, Error("filled", 2));
    CHECK(out.domain == "filled");
}
