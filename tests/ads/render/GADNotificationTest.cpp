#include <doctest/doctest.h>

#include <string>

#include "ads/render/GADNotification.h"

using ruzave::GADNotification;

namespace {
std::shared_ptr<GADNotification> parse(const std::string& text) {
    auto url = platform::URL::parse(text);
    return url ? GADNotification::initWithNotificationURL(*url) : nullptr;
}
} // namespace

TEST_CASE("GADNotification: the scheme decides in any case, and a URL without name is no message") {
    CHECK(GADNotification::isNotificationURL(*platform::URL::parse("Gmsg://h/x")));
    CHECK_FALSE(GADNotification::isNotificationURL(*platform::URL::parse("https://h/x")));
    CHECK(parse("gmsg://x") == nullptr);
    CHECK(parse("gmsg://x/") == nullptr);
    CHECK(parse("https://h/log?string=a") == nullptr);
    auto note = parse("GMSG://h/log?string=a%20b");
    REQUIRE(note);
    CHECK(note->name() == "log");
    CHECK(note->parameter("string") == "a b");
}

TEST_CASE("GADNotification: the host is ignored and further slashes stay in the name") {
    CHECK(parse("gmsg:///open?x=1")->name() == "open");
    CHECK(parse("gmsg://anything/open?x=1")->name() == "open");
    CHECK(parse("gmsg://h/a/b")->name() == "a/b");
}

TEST_CASE("GADNotification: the query splits at ampersands and semicolons, later keys win, bare keys and a=b=c are skipped") {
    auto note = parse("gmsg://h/appEvent?name=x&info=1;info=2");
    REQUIRE(note);
    CHECK(note->parameter("info") == "2");
    note = parse("gmsg://h/touch?tx=5&flag&ty&a=b=c");
    REQUIRE(note);
    CHECK(note->parameters() == platform::Value{{"tx", "5"}});
    // Keys keep their case and "+" stays a plus.
    note = parse("gmsg://h/x?Url=1&url=2&s=a+b");
    CHECK(note->parameter("Url") == "1");
    CHECK(note->parameter("url") == "2");
    CHECK(note->parameter("s") == "a+b");
}

TEST_CASE("GADNotification: undecodable escapes drop only their piece, and no query gives empty parameters") {
    auto note = parse("gmsg://h/x?bad=%FF%FE&ok=1&k%C3=2");
    REQUIRE(note);
    CHECK(note->parameters() == platform::Value{{"ok", "1"}});
    note = parse("gmsg://h/x");
    REQUIRE(note);
    CHECK(note->parameters().is_object());
    CHECK(note->parameters().empty());
}

TEST_CASE("GADNotification: a huge query parses without trouble") {
    std::string query;
    for (int i = 0; i < 20000; ++i) query += "k" + std::to_string(i) + "=v&";
    auto note = parse("gmsg://h/big?" + query);
    REQUIRE(note);
    CHECK(note->parameters().size() == 20000);
}

TEST_CASE("GADNotification: initWithName refuses an empty name and keeps only string parameters") {
    CHECK(GADNotification::initWithName("", std::nullopt) == nullptr);
    auto note = GADNotification::initWithName("n", platform::Value{{"a", "1"}, {"b", 2}});
    REQUIRE(note);
    CHECK(note->parameters() == platform::Value{{"a", "1"}});
    CHECK(note->description().find("name:n") != std::string::npos);
}

TEST_CASE("GADNotification: a named message with a hundred thousand parameters is made at once, in order") {
    // Found while fuzzing the script messages: each parameter was looked up before it was added.
    platform::Value parameters = platform::Value::object();
    auto& object = parameters.get_ref<platform::Value::object_t&>();
    for (int i = 0; i < 100000; ++i) object.emplace_back("k" + std::to_string(i), std::to_string(i));
    object.emplace_back("number", 5);
    auto note = GADNotification::initWithName("many", parameters);
    REQUIRE(note);
    CHECK(note->parameters().size() == 100000);
    CHECK(note->parameters().begin().key() == "k0");
    CHECK(note->parameter("k99999") == "99999");
    CHECK_FALSE(note->parameter("number"));
}
