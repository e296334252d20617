#include "platform/base/Unicode.h"

#include <doctest/doctest.h>

using namespace std::string_literals;
using platform::decodeUTF8;

TEST_CASE("Unicode: decodes well-formed UTF-8 of every length") {
    CHECK(decodeUTF8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80") ==
          std::vector<char32_t>{'a', 0xE9, 0x20AC, 0x1F600});
    CHECK(decodeUTF8("\x00"s) == std::vector<char32_t>{0});
    CHECK(decodeUTF8("\xF4\x8F\xBF\xBF") == std::vector<char32_t>{0x10FFFF});
    CHECK(decodeUTF8("").empty());
    CHECK(platform::isValidUTF8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
}

TEST_CASE("Unicode: ill-formed sequences become one replacement each") {
    const char32_t R = platform::kReplacementCharacter;
    CHECK(decodeUTF8("\xC0\xAF") == std::vector<char32_t>{R, R});               // overlong lead
    CHECK(decodeUTF8("\xE0\x80\xAF") == std::vector<char32_t>{R, R, R});        // overlong 3-byte
    CHECK(decodeUTF8("\xED\xA0\x80") == std::vector<char32_t>{R, R, R});        // surrogate
    CHECK(decodeUTF8("\xF4\x90\x80\x80") == std::vector<char32_t>{R, R, R, R}); // past U+10FFFF
    CHECK(decodeUTF8("\xE2\x82"
                     "a") == std::vector<char32_t>{R, 'a'});             // truncated, then ASCII
    CHECK(decodeUTF8("a\xF0\x9F\x98") == std::vector<char32_t>{'a', R}); // truncated at the end
    CHECK(decodeUTF8("\x80\xBF") == std::vector<char32_t>{R, R});        // stray continuations
    CHECK(decodeUTF8("\xFF") == std::vector<char32_t>{R});
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\x80", "\xF5\x80\x80\x80"})
        CHECK_FALSE(platform::isValidUTF8(bad));
    CHECK(platform::sanitizeUTF8("a\xFF"
                                 "b") == "a\xEF\xBF\xBD"
                                         "b");
}

TEST_CASE("Unicode: encoding refuses surrogates and out-of-range values") {
    CHECK(platform::encodeUTF8(0x7F) == "\x7F");
    CHECK(platform::encodeUTF8(0x80) == "\xC2\x80");
    CHECK(platform::encodeUTF8(0x800) == "\xE0\xA0\x80");
    CHECK(platform::encodeUTF8(0x10000) == "\xF0\x90\x80\x80");
    CHECK(platform::encodeUTF8(0xD800) == "\xEF\xBF\xBD");
    CHECK(platform::encodeUTF8(0x110000) == "\xEF\xBF\xBD");
    for (char32_t cp : {char32_t(0), char32_t(0x7FF), char32_t(0xFFFF), char32_t(0x10FFFF)})
        CHECK(decodeUTF8(platform::encodeUTF8(cp)) == std::vector<char32_t>{cp});
}

TEST_CASE("Unicode: lower-casing and character classes") {
    CHECK(platform::toLowerUTF8("ÀÉÎ Straße ΣΑΣ") == "àéî straße σασ");
    CHECK(platform::toUpperUTF8("abc é") == "ABC É");
    CHECK(platform::toLowerUTF8("A\xFF") == "a\xEF\xBF\xBD");
    CHECK(platform::isLetter(U'a'));
    CHECK(platform::isLetter(0x4E2D)); // CJK
    CHECK_FALSE(platform::isLetter(U'1'));
    CHECK(platform::isMark(0x0301)); // combining acute
    CHECK_FALSE(platform::isMark(U'a'));
    CHECK(platform::isNumber(U'7'));
    CHECK(platform::isNumber(0x0663)); // Arabic-Indic three
    CHECK(platform::isNumber(0x00BD)); // one half
    CHECK_FALSE(platform::isNumber(U'x'));
    CHECK_FALSE(platform::isLetter(0x110000));
    CHECK(platform::isWhiteSpaceOrNewline(0x00A0));
    CHECK(platform::isWhiteSpaceOrNewline(U'\n'));
    CHECK_FALSE(platform::isWhiteSpaceOrNewline(U'x'));
}
