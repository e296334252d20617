#include "platform/base/Crypto.h"

#include <doctest/doctest.h>

#include <set>

TEST_CASE("Crypto: MD5 matches the reference vectors") {
    CHECK(platform::md5Hex(std::string_view("")) == "d41d8cd98f00b204e9800998ecf8427e");
    CHECK(platform::md5Hex(std::string_view("abc")) == "900150983cd24fb0d6963f7d28e17f72");
    CHECK(platform::md5Hex(std::string_view("The quick brown fox jumps over the lazy dog")) ==
          "9e107d9d372bb6826bd81d3542a419d6");
    const std::vector<std::uint8_t> bytes = {'a', 0, 'b'};
    CHECK(platform::md5Hex(bytes) == platform::md5Hex(std::string_view("a\0b", 3)));
}

TEST_CASE("Crypto: random bytes have the asked length and vary") {
    CHECK(platform::randomBytes(0).empty());
    const auto a = platform::randomBytes(32);
    const auto b = platform::randomBytes(32);
    CHECK(a.size() == 32);
    CHECK(a != b);
}

TEST_CASE("Crypto: uniformRandom stays below its bound and reaches every value") {
    CHECK(platform::uniformRandom(0) == 0);
    CHECK(platform::uniformRandom(1) == 0);
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const auto r = platform::uniformRandom(7);
        REQUIRE(r < 7);
        seen.insert(r);
    }
    CHECK(seen.size() == 7);
    for (int i = 0; i < 200; ++i) {
        CHECK(platform::uniformRandom(0x80000001u) < 0x80000001u);
        CHECK(platform::uniformRandom(0xFFFFFFFFu) < 0xFFFFFFFFu);
    }
}

TEST_CASE("Crypto: UUID strings are upper-case version 4") {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string u = platform::uuidString();
        REQUIRE(u.size() == 36);
        for (size_t k = 0; k < u.size(); ++k) {
            if (k == 8 || k == 13 || k == 18 || k == 23) {
                CHECK(u[k] == '-');
            } else {
                const bool hex = (u[k] >= '0' && u[k] <= '9') || (u[k] >= 'A' && u[k] <= 'F');
                CHECK(hex);
            }
        }
        CHECK(u[14] == '4');
        CHECK(std::string("89AB").find(u[19]) != std::string::npos);
        seen.insert(u);
    }
    CHECK(seen.size() == 100);
}
