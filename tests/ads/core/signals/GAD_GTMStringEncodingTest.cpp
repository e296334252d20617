#include <doctest/doctest.h>

#include "ads/core/signals/GAD_GTMStringEncoding.h"

using ruzave::GAD_GTMStringEncoding;

TEST_CASE("GAD_GTMStringEncoding: two bytes of padded Base64 decode with any amount of padding") {
    auto e = GAD_GTMStringEncoding::rfc4648Base64StringEncoding();
    const std::vector<std::uint8_t> two{0xFB, 0xF0};
    const std::string text = e->encode(two);
    CHECK(text == "+/A=");
    CHECK(e->decode("+/A") == two);
    CHECK(e->decode("+/A=") == two);
    CHECK(e->decode("+/A===") == two);
    CHECK_FALSE(e->decode("+/A=A"));
    CHECK_FALSE(e->decode("+/B")); // low bits of "B" are not zero
    CHECK(e->encode({1, 2, 3}).size() == 4);
}

TEST_CASE("GAD_GTMStringEncoding: hex and Crockford decode their synonyms") {
    auto hex = GAD_GTMStringEncoding::hexStringEncoding();
    CHECK(hex->encode({0xAB, 0xCD}) == "ABCD");
    CHECK(hex->decode("abCD") == std::vector<std::uint8_t>{0xAB, 0xCD});
    auto crock = GAD_GTMStringEncoding::crockfordBase32StringEncoding();
    CHECK(crock->decode("OO") == crock->decode("00"));
    CHECK(crock->decode("L0") == crock->decode("10"));
    CHECK(crock->decode("l0") == crock->decode("10"));
}

TEST_CASE("GAD_GTMStringEncoding: refused alphabets give no encoding and empty data encodes to nothing") {
    CHECK(GAD_GTMStringEncoding::stringEncodingWithString("abc") == nullptr);
    CHECK(GAD_GTMStringEncoding::stringEncodingWithString("abca") == nullptr);
    auto e = GAD_GTMStringEncoding::rfc4648Base32StringEncoding();
    CHECK(e->encode({}) == "");
    e->setDoPad(false);
    CHECK(e->encode({}) == "");
    CHECK(GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->encode({0xFB, 0xFF}) == "-_8=");
    CHECK(GAD_GTMStringEncoding::binaryStringEncoding()->description() == "<Base2 StringEncoder: 01>");
    CHECK(GAD_GTMStringEncoding::rfc4648Base64StringEncoding()->stringByDecoding("aGk=") == "hi");
}
