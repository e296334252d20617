#include <doctest/doctest.h>

#include <set>
#include <string>

#include "ads/core/telemetry/GADCharacterSets.h"
#include "ads/core/telemetry/GADContent.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADCharacterSet;
using ruzave::GADCharacterSets;
using ruzave::GADContent;

namespace {

// The polynomial hash of a window, computed directly.
std::uint64_t directHash(const std::vector<std::string>& shingle) {
    std::uint64_t hash = 0;
    for (const auto& token : shingle) {
        hash = (hash * GADContent::kBase + GADContent::tokenValue(token)) % GADContent::kModulus;
    }
    return hash;
}

std::vector<std::string> tokens(std::string_view text) {
    return GADContent::tokenize(text, *GADCharacterSet::defaultCharacterDelimitedSet(),
                                *GADCharacterSet::alphanumericCharacterSet());
}

bool isWebsafeBase64(const std::string& text) {
    return text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_=") == std::string::npos;
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADContent: the quick brown fox scores 44 and keeps four shingles in 24 characters") {
    GADContent content(1);
    content.updateContentWithText("the quick brown fox jumps over the lazy dog");
    CHECK(content.score() == 44);
    CHECK(content.contentTotalLength() == 43);
    REQUIRE(content.heap().count() == 4);
    const auto sorted = content.heap().sortedObjects();
    for (const auto& tuple : *sorted) {
        CHECK(tuple.shingle().size() == 6);
        // The rolling hash equals the window's own polynomial hash.
        CHECK(tuple.hashValue() == directHash(tuple.shingle()));
    }
    CHECK(content.fingerprint().size() == 24);
    CHECK(content.fingerprint().ends_with("=="));
    CHECK(isWebsafeBase64(content.fingerprint()));

    // The same text always gives the same fingerprint.
    GADContent again(1);
    again.updateContentWithText("The quick brown fox jumps over the lazy dog");
    CHECK(again.fingerprint() == content.fingerprint());
}

TEST_CASE_FIXTURE(Harness, "GADContent: short lines score the age alone and later empty texts change nothing") {
    GADContent content(3);
    content.updateContentWithText("abc\nde\nfghij");
    CHECK(content.score() == 3);
    CHECK(content.fingerprint().empty());
    content.updateContentWithText("");
    content.updateContentWithText("x\ny");
    CHECK(content.score() == 3);

    content.updateContentWithText("one two three\nfour five six seven eight nine");
    const auto score = content.score();
    const auto fingerprint = content.fingerprint();
    CHECK(score == 3 + 13 + 30);
    CHECK_FALSE(fingerprint.empty());
    content.updateContentWithText("tiny");
    CHECK(content.score() == score);
    CHECK(content.fingerprint() == fingerprint);
}

TEST_CASE_FIXTURE(Harness, "GADContent: a short paragraph gives one short shingle that is evicted first") {
    GADContent content(1);
    content.selectShinglesFromTokens({"alpha", "beta", "gamma"});
    REQUIRE(content.heap().count() == 1);
    CHECK(content.heap().minimum()->shingle().size() == 3);
    CHECK(content.heap().minimum()->hashValue() == directHash({"alpha", "beta", "gamma"}));

    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i) {
        many.push_back("w" + std::to_string(i));
    }
    content.selectShinglesFromTokens(many);
    CHECK(content.heap().count() == 10);
    const auto sorted = content.heap().sortedObjects();
    for (const auto& tuple : *sorted) {
        CHECK(tuple.shingle().size() == 6);
    }
    CHECK(content.shingleHash().size() == 56);
}

TEST_CASE_FIXTURE(Harness, "GADContent: the heap refuses small hashes when full and keeps a shingle once") {
    platform::UserDefaults::standard()->set("/ruzave/ads/maximum_shingle_count", 2);
    GADContent content(1);
    const std::vector<std::string> a{"a"}, b{"b"}, c{"c"}, d{"d"};
    content.updateHeapWithHash(100, a);
    content.updateHeapWithHash(100, a);
    CHECK(content.heap().count() == 1);
    content.updateHeapWithHash(200, b);
    content.updateHeapWithHash(100, c);
    CHECK(content.heap().count() == 2);
    CHECK(content.heap().minimum()->shingle() == a);
    content.updateHeapWithHash(300, d);
    CHECK(content.heap().count() == 2);
    CHECK(content.heap().minimum()->hashValue() == 200);
}

TEST_CASE_FIXTURE(Harness, "GADContent: tokens ignore case and punctuation and split ideographs and surrogates") {
    CHECK(tokens("Hello, World") == tokens("hello world"));
    CHECK(tokens("Hello, World") == std::vector<std::string>{"hello", "world"});
    CHECK(tokens("abc\xE4\xB8\x80\xE4\xBA\x8C" "def") == std::vector<std::string>{"abc", "\xE4\xB8\x80", "\xE4\xBA\x8C", "def"});
    // U+20000 is listed but arrives as two surrogate units, neither of which is in a set.
    CHECK(tokens("ab\xF0\xA0\x80\x80" "cd") == std::vector<std::string>{"ab", "cd"});
    // Ill-formed bytes become U+FFFD, which separates tokens.
    CHECK(tokens("ab\xFF\xC0" "cd") == std::vector<std::string>{"ab", "cd"});
    CHECK(tokens("").empty());
}

TEST_CASE_FIXTURE(Harness, "GADContent: penalties may take the score below zero") {
    GADContent content(150);
    content.updateContentWithText("abc");
    CHECK(content.score() == 150);
    content.deductServedPenalty();
    content.deductServedPenalty();
    CHECK(content.score() == -50);
}

TEST_CASE_FIXTURE(Harness, "GADContent: settings below one for shingle length and count keep the defaults") {
    auto defaults = platform::UserDefaults::standard();
    defaults->set("/ruzave/ads/shingle_length", 0);
    defaults->set("/ruzave/ads/maximum_shingle_count", -4);
    defaults->set("/ruzave/ads/content_age_weight", 10);
    defaults->set("/ruzave/ads/content_length_weight", "2");
    GADContent defaulted(1);
    CHECK(defaulted.shingleLength() == 6);
    CHECK(defaulted.maximumShingleCount() == 10);
    defaulted.updateContentWithText("abcdef");
    CHECK(defaulted.score() == 2 * 6 + 10);

    defaults->set("/ruzave/ads/shingle_length", 2);
    defaults->set("/ruzave/ads/maximum_shingle_count", 3);
    defaults->set("/ruzave/ads/minimum_paragraph_length", 1);
    GADContent small(1);
    small.updateContentWithText("a b c d e f");
    CHECK(small.heap().count() == 3);
    CHECK(small.fingerprint().size() == 16);
}

TEST_CASE("GADContent: the rolling power matches repeated multiplication") {
    std::uint64_t expected = 1;
    for (std::uint64_t e = 0; e < 40; ++e) {
        CHECK(GADContent::power(GADContent::kBase, e) == expected);
        expected = expected * GADContent::kBase % GADContent::kModulus;
    }
}

TEST_CASE_FIXTURE(Harness, "GADContent: ten megabytes of one character stay bounded") {
    GADContent content(1);
    content.updateContentWithText(std::string(10 * 1024 * 1024, 'a'));
    CHECK(content.heap().count() == 1);
    std::string words;
    for (int i = 0; i < 20000; ++i) {
        words += "x ";
    }
    content.updateContentWithText(words);
    CHECK(content.heap().count() <= 10);
}
