#include <doctest/doctest.h>

#include "common/StringCodec.h"

using ruzave::StringCodec;

namespace {
StringCodec base64() {
    auto c = StringCodec::withAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    c->setPaddingChar('=');
    c->setDoPad(true);
    return *c;
}
} // namespace

TEST_CASE("StringCodec: refuses alphabets that are not a power of two, repeat, or leave ASCII") {
    CHECK_FALSE(StringCodec::withAlphabet("abc"));
    CHECK_FALSE(StringCodec::withAlphabet("a"));
    CHECK_FALSE(StringCodec::withAlphabet("aa"));
    CHECK_FALSE(StringCodec::withAlphabet("a\xC3"));
    CHECK_FALSE(StringCodec::withAlphabet(std::string(256, 'x')));
    auto c = StringCodec::withAlphabet("01");
    REQUIRE(c);
    CHECK(c->shift() == 1);
    CHECK(c->padLength() == 8);
}

TEST_CASE("StringCodec: matches the RFC 4648 test vectors") {
    const StringCodec c = base64();
    CHECK(c.encode(std::string_view("")) == "");
    CHECK(c.encode(std::string_view("f")) == "Zg==");
    CHECK(c.encode(std::string_view("fo")) == "Zm8=");
    CHECK(c.encode(std::string_view("foo")) == "Zm9v");
    CHECK(c.encode(std::string_view("foobar")) == "Zm9vYmFy");
    auto b32 = StringCodec::withAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
    b32->setPaddingChar('=');
    b32->setDoPad(true);
    CHECK(b32->encode(std::string_view("foob")) == "MZXW6YQ=");
    CHECK(b32->decodeToString("MZXW6YQ=") == "foob");
}

TEST_CASE("StringCodec: decoding tolerates missing or extra padding but nothing after it") {
    const StringCodec c = base64();
    CHECK(c.decodeToString("Zm8") == "fo");
    CHECK(c.decodeToString("Zm8=") == "fo");
    CHECK(c.decodeToString("Zm8===") == "fo");
    CHECK_FALSE(c.decode("Zm8=A"));
    // "9" carries non-zero low bits that make no byte.
    CHECK_FALSE(c.decode("Zm9"));
    CHECK_FALSE(c.decode("Zm*8"));
    CHECK_FALSE(c.decode("Zm\xC3\xA9" "8"));
}

TEST_CASE("StringCodec: non-ASCII synonyms, ignored and padding characters are skipped safely") {
    auto c = StringCodec::withAlphabet("0123456789ABCDEF");
    c->addDecodeSynonyms(std::string("A") + "\xE1" + "a");
    c->ignoreCharacters("\xFF ");
    c->setPaddingChar('\x80');
    CHECK(c->paddingChar() == 0);
    CHECK(c->decode("aA 0f") == std::nullopt); // "f" has no synonym here
    auto bytes = c->decode("aA 00");
    REQUIRE(bytes);
    CHECK(*bytes == std::vector<std::uint8_t>{0xAA, 0x00});
}

TEST_CASE("StringCodec: decodeToString refuses bytes that are not UTF-8") {
    const StringCodec c = base64();
    CHECK_FALSE(c.decodeToString(c.encode(std::string_view("\xC3\x28"))));
    CHECK(c.decodeToString(c.encode(std::string_view("h\xC3\xA9"))) == "h\xC3\xA9");
    CHECK_FALSE(ruzave::isValidUTF8("\xED\xA0\x80")); // a surrogate
    CHECK_FALSE(ruzave::isValidUTF8("\xC0\xAF"));     // overlong
}

TEST_CASE("StringCodec: padding switched on without a padding character adds nothing that would not decode") {
    // Found by fuzzing: the Crockford alphabet has no padding character, and padding it wrote NUL bytes.
    auto crockford = StringCodec::withAlphabet("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
    REQUIRE(crockford);
    crockford->setDoPad(true);
    const std::string bytes("\0\0\0\0a`aa0", 9);
    std::string encoded = crockford->encode(bytes);
    CHECK(encoded == "00000031C1GP2C0");
    auto decoded = crockford->decode(encoded);
    REQUIRE(decoded);
    CHECK(std::string(decoded->begin(), decoded->end()) == bytes);
    // A padding character set later pads as usual, NUL included when chosen on purpose.
    crockford->setPaddingChar('\0');
    encoded = crockford->encode(bytes);
    CHECK(encoded == std::string("00000031C1GP2C0") + std::string(1, '\0'));
    CHECK(crockford->decode(encoded).has_value());
}
