#include <doctest/doctest.h>

#include <cstdint>
#include <vector>

#include "conversion/ACT_GTMStringEncoding.h"

using ruzave::ACT_GTMStringEncoding;

namespace {
std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}
} // namespace

TEST_CASE("ACT_GTMStringEncoding: the device token form is 22 characters unpadded and 24 padded") {
    auto websafe = ACT_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
    const std::vector<std::uint8_t> digest(16, 0xFB);
    const std::string padded = websafe->encode(digest);
    CHECK(padded.size() == 24);
    CHECK(padded.substr(22) == "==");
    websafe->setDoPad(false);
    const std::string bare = websafe->encode(digest);
    CHECK(bare.size() == 22);
    CHECK(bare.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") == std::string::npos);
    // 0xFB 0xFF is "+/8=" in plain Base64: the web-safe alphabet swaps in "-" and "_".
    CHECK(websafe->encode(bytes({0xFB, 0xFF})) == "-_8");
    CHECK(websafe->decode(bare) == digest);
}

TEST_CASE("ACT_GTMStringEncoding: round trips and block padding of every predefined alphabet") {
    const std::vector<std::uint8_t> data = bytes({'h', 'e', 'l', 'l', 'o'});
    CHECK(ACT_GTMStringEncoding::rfc4648Base32StringEncoding()->encode(data) == "NBSWY3DP");
    CHECK(ACT_GTMStringEncoding::rfc4648Base64StringEncoding()->encode(data) == "aGVsbG8=");
    CHECK(ACT_GTMStringEncoding::hexStringEncoding()->encode(data) == "68656C6C6F");
    CHECK(ACT_GTMStringEncoding::binaryStringEncoding()->encode(bytes({0xA5})) == "10100101");
    CHECK(ACT_GTMStringEncoding::rfc4648Base32HexStringEncoding()->encode(bytes({'f'})) == "CO======");
    for (auto encoding : {ACT_GTMStringEncoding::binaryStringEncoding(), ACT_GTMStringEncoding::hexStringEncoding(),
                          ACT_GTMStringEncoding::rfc4648Base32StringEncoding(),
                          ACT_GTMStringEncoding::rfc4648Base32HexStringEncoding(),
                          ACT_GTMStringEncoding::crockfordBase32StringEncoding(),
                          ACT_GTMStringEncoding::rfc4648Base64StringEncoding(),
                          ACT_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()}) {
        CAPTURE(encoding->description());
        for (std::size_t n = 0; n <= 7; ++n) {
            std::vector<std::uint8_t> slice(data.begin(), data.begin() + static_cast<long>(std::min(n, data.size())));
            slice.resize(n, 0x80);
            CHECK(encoding->decode(encoding->encode(slice)) == slice);
        }
    }
    CHECK(ACT_GTMStringEncoding::rfc4648Base64StringEncoding()->encode(std::vector<std::uint8_t>{}).empty());
    CHECK(ACT_GTMStringEncoding::rfc4648Base64StringEncoding()->description() ==
          "<Base64 StringEncoder: ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/>");
}

TEST_CASE("ACT_GTMStringEncoding: synonyms, ignored characters and refused alphabets") {
    auto crockford = ACT_GTMStringEncoding::crockfordBase32StringEncoding();
    // "o" reads as 0 and "L" as 1.
    CHECK(crockford->decode("o0") == crockford->decode("00"));
    CHECK(crockford->decode("L0") == crockford->decode("10"));
    CHECK(ACT_GTMStringEncoding::hexStringEncoding()->decode("6f6F") == bytes({0x6F, 0x6F}));

    CHECK(ACT_GTMStringEncoding::initWithString("abc") == nullptr);
    CHECK(ACT_GTMStringEncoding::initWithString("abca") == nullptr);
    CHECK(ACT_GTMStringEncoding::initWithString("ab\xC3\xA9") == nullptr);
    CHECK(ACT_GTMStringEncoding::initWithString("a") == nullptr);
    CHECK(ACT_GTMStringEncoding::stringEncodingWithString("ab") != nullptr);

    auto base64 = ACT_GTMStringEncoding::rfc4648Base64StringEncoding();
    base64->ignoreCharacters(" \n");
    CHECK(base64->decode("aGVs\nbG8 =") == bytes({'h', 'e', 'l', 'l', 'o'}));
}

TEST_CASE("ACT_GTMStringEncoding: bad text decodes to nothing and never crashes") {
    auto base64 = ACT_GTMStringEncoding::rfc4648Base64StringEncoding();
    CHECK_FALSE(base64->decode("aGVsbG8=x").has_value());  // data after padding
    CHECK_FALSE(base64->decode("aGVsbG9=").has_value());   // leftover bits not zero
    CHECK_FALSE(base64->decode("aG*s").has_value());       // not in the alphabet
    CHECK_FALSE(base64->decode("aG\xC3\xA9s").has_value()); // not ASCII
    CHECK_FALSE(base64->stringByDecoding("/w==").has_value()); // 0xFF is no UTF-8
    CHECK(base64->stringByDecoding("aGVsbG8=") == "hello");
}

TEST_CASE("ACT_GTMStringEncoding: characters at or above 128 given as padding, synonyms or ignored are skipped") {
    auto base64 = ACT_GTMStringEncoding::rfc4648Base64StringEncoding();
    base64->setPaddingChar('\xC3');
    base64->ignoreCharacters("\xC3\xA9 ");
    base64->addDecodeSynonyms("a\xE9");
    // The padding stays "=", and nothing outside ASCII was mapped (such bytes still refuse the text).
    CHECK(base64->encode(bytes({'h'})) == "aA==");
    CHECK_FALSE(base64->decode("aA\xC3\xA9==").has_value());
    CHECK(base64->decode("a A==") == bytes({'h'}));
}
