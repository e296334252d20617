#include <doctest/doctest.h>

#include "ads/core/util/GADReplaceContentAdditions.h"

using namespace ruzave;

namespace {

std::string replaced(std::string text, std::optional<std::string_view> pattern,
                     std::optional<std::string_view> value) {
    gad_replaceAtQuotedKeywordPattern(text, pattern, value);
    return text;
}

} // namespace

TEST_CASE("gad_String: a keyword between single ats is replaced, escaped ats stay") {
    CHECK(replaced("a@name@b", "name", "V") == "aVb");
    CHECK(replaced("x@@@name@y", "name", "V") == "x@@Vy");
    CHECK(replaced("@name@@@z", "name", "V") == "V@@z");
    CHECK(replaced("@@@@@name@@@", "name", "V") == "@@@@V@@");
    // No keyword: the opening at is the second half of an escaped pair, or the closing one is missing.
    CHECK(replaced("@@name@@", "name", "V") == "@@name@@");
    CHECK(replaced("@name", "name", "V") == "@name");
    CHECK(replaced("name@", "name", "V") == "name@");
    CHECK(replaced("@other@ @name@ @name@", "name", "V") == "@other@ V V");
    // Only the whole keyword matches.
    CHECK(replaced("@names@ @xname@", "name", "V") == "@names@ @xname@");
}

TEST_CASE("gad_String: an even closing run leaves its last at, which opens nothing") {
    // "@a@@b@": the match is "@a@", and the "@" after it is preceded by one.
    CHECK(replaced("@a@@b@", "[^@]+", "V") == "V@b@");
    CHECK(replaced("@a@ @b@", "[^@]+", "V") == "V V");
}

TEST_CASE("gad_String: replacements go in literally and are never scanned again") {
    CHECK(replaced("@a@", "a", "$1\\0$&") == "$1\\0$&");
    CHECK(replaced("@a@@b@", "a", "@b@") == "@b@@b@");
    std::string text = "[@a@][@b@]";
    gad_replaceAtQuotedKeywordPattern(text, "a", "@b@");
    gad_replaceAtQuotedKeywordPattern(text, "b", "B");
    // The value's "@b@" was inserted as text; callers escape values first to keep their ats.
    CHECK(text == "[B][B]");
    text = "[@a@][@b@]";
    gad_replaceAtQuotedKeywordPattern(text, "a", gad_escapeAts("@b@"));
    gad_replaceAtQuotedKeywordPattern(text, "b", "B");
    gad_unescapeAts(text);
    CHECK(text == "[@b@][B]");
}

TEST_CASE("gad_String: patterns are whole-keyword expressions, invalid or missing ones change nothing") {
    CHECK(replaced("@gw_adlocid@ @gw_1@", "gw_[a-z]+", "1") == "1 @gw_1@");
    CHECK(replaced("@a@ @b@ @c@", "a|b", "1") == "1 1 @c@");
    CHECK(replaced("@a.b@ @axb@", "a.b", "1") == "1 1");
    CHECK(replaced("@a@", "(", "1") == "@a@");
    CHECK(replaced("@a@", "(?<!x)a", "1") == "@a@");
    CHECK(replaced("@a@", std::nullopt, "1") == "@a@");
    CHECK(replaced("@a@", "a", std::nullopt) == "@a@");
    // An empty keyword is none.
    CHECK(replaced("@@ @ @", "", "1") == "@@ @ @");
}

TEST_CASE("gad_String: a long keyword is matched without exhausting the stack") {
    const std::string keyword(200000, 'k');
    CHECK(replaced("@" + keyword + "@", "k+", "V") == "@" + keyword + "@");
    std::string text = "a@" + keyword + "@b";
    gad_removeAtQuotedKeywords(text);
    CHECK(text == "ab");
    CHECK(replaced("@" + keyword + "@", keyword, "V") == "V");
}

TEST_CASE("gad_String: the caller sequence escapes, replaces, removes the rest and unescapes") {
    std::string text = "https://t.test/p?id=@gw_adlocid@&u=@unknown@&mail=me@@x.test&q=@gw_q@";
    gad_replaceAtQuotedKeywordPattern(text, "gw_adlocid", gad_escapeAts("a@b"));
    gad_replaceAtQuotedKeywordPattern(text, "gw_q", gad_escapeAts("@gw_adlocid@"));
    gad_removeAtQuotedKeywords(text);
    gad_unescapeAts(text);
    CHECK(text == "https://t.test/p?id=a@b&u=&mail=me@x.test&q=@gw_adlocid@");

    text = "@@name@@";
    gad_removeAtQuotedKeywords(text);
    gad_unescapeAts(text);
    CHECK(text == "@name@");
    text = "x@@@name@y";
    gad_replaceAtQuotedKeywordPattern(text, "name", "V");
    gad_unescapeAts(text);
    CHECK(text == "x@Vy");
}

TEST_CASE("gad_String: at escaping and the trailing slash") {
    CHECK(gad_escapeAts("a@b@@") == "a@@b@@@@");
    CHECK(gad_escapeAts("") == "");
    std::string text = "@@@";
    gad_unescapeAts(text);
    CHECK(text == "@@");
    text = "@@@@";
    gad_unescapeAts(text);
    CHECK(text == "@@");
    CHECK(gad_stripTrailingSlash("a/b/") == "a/b");
    CHECK(gad_stripTrailingSlash("a//") == "a/");
    CHECK(gad_stripTrailingSlash("a") == "a");
    CHECK(gad_stripTrailingSlash("") == "");
    CHECK(gad_stripTrailingSlash("/") == "");
}
