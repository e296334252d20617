#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/net/HTTPResponseHeadParser.h"

using platform::HTTPHeaderFields;
using platform::HTTPResponseHeadParser;

namespace {

// Feeds `text` line by line (each with its line end) as the transfer library would; the number of
// lines that ended a head.
int feed(HTTPResponseHeadParser& parser, std::string_view text) {
    int ended = 0;
    while (!text.empty()) {
        auto nl = text.find('\n');
        std::string_view line = nl == std::string_view::npos ? text : text.substr(0, nl + 1);
        text.remove_prefix(line.size());
        if (parser.addLine(line)) ++ended;
    }
    return ended;
}

} // namespace

TEST_CASE("HTTPResponseHeadParser: interim heads are dropped and only the first final head is reported") {
    HTTPResponseHeadParser parser;
    CHECK(feed(parser, "HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n") == 0);
    CHECK(parser.status() == 100);
    CHECK(feed(parser, "HTTP/1.1 302 Found\r\nLocation: /next\r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\n") == 0);
    CHECK(feed(parser, "\r\n") == 1);
    CHECK(parser.headComplete());
    CHECK(parser.status() == 302);
    HTTPHeaderFields fields = parser.takeFields();
    CHECK_FALSE(fields.contains("X-Interim"));
    CHECK(fields.value("location") == "/next");
    CHECK(fields.values("Set-Cookie") == std::vector<std::string>{"a=1", "b=2"});
    // Trailers and a second head change nothing.
    CHECK(feed(parser, "X-Trailer: 1\r\nHTTP/1.1 500 Oops\r\n\r\n") == 0);
    CHECK(parser.status() == 302);
    CHECK(parser.takeFields().empty());
}

TEST_CASE("HTTPResponseHeadParser: status codes are the first three digits after the version") {
    const std::pair<const char*, int> cases[] = {
        {"HTTP/2 404\r\n", 404},     {"HTTP/1.1 2000 x\r\n", 200}, {"HTTP/1.0 20\r\n", 20},
        {"HTTP/1.1 abc\r\n", 0},      {"HTTP/1.1\r\n", 0},          {"HTTP/1.1  200 OK\r\n", 0},
    };
    for (const auto& c : cases) {
        CAPTURE(c.first);
        HTTPResponseHeadParser parser;
        feed(parser, c.first);
        CHECK(parser.status() == c.second);
        // A head with no final status never ends; the body fallback reports it.
        CHECK(feed(parser, "\r\n") == (c.second >= 200 ? 1 : 0));
    }
}

TEST_CASE("HTTPResponseHeadParser: folded lines continue the field before, trimmed and joined by a space") {
    HTTPResponseHeadParser parser;
    feed(parser, "HTTP/1.1 200 OK\r\n  leading fold\r\nX-Long:  a  \r\n  b\r\n\tc \r\nX-Next: d\r\n\r\n");
    auto fields = parser.takeFields();
    // A fold before any field is a line of its own, without a colon, so no field.
    REQUIRE(fields.size() == 2);
    CHECK(fields.value("X-Long") == "a b c");
    CHECK(fields.value("X-Next") == "d");
}

TEST_CASE("HTTPResponseHeadParser: a line whose name is empty or no token is not a field") {
    HTTPResponseHeadParser parser;
    // Found by fuzzing: a carriage return before the colon gave a field with an empty name.
    feed(parser, std::string("!H\0\0" "0\0" "44  :\xF7\xC5\x01\0``\0\0\r\nHTTP/ 301 2\r\n\r:\x93h\n  \n", 42));
    CHECK(parser.headComplete());
    CHECK(parser.status() == 301);
    CHECK(parser.takeFields().empty());

    HTTPResponseHeadParser other;
    feed(other, "HTTP/1.1 200 OK\r\n: x\r\nBad Name: y\r\nCtl\x01: z\r\nnocolon\r\nName : kept\r\n\r\n");
    auto fields = other.takeFields();
    REQUIRE(fields.size() == 1);
    CHECK(fields.fields()[0] == HTTPHeaderFields::Field{"Name", "kept"});
}

TEST_CASE("HTTPResponseHeadParser: a flood of fields or folds stops growing at the limits") {
    HTTPResponseHeadParser parser;
    feed(parser, "HTTP/1.1 200 OK\r\n");
    for (std::size_t i = 0; i < HTTPResponseHeadParser::kMaximumFields + 50; ++i) {
        parser.addLine("X-" + std::to_string(i) + ": v\r\n");
    }
    std::string fold = "  " + std::string(1000, 'f') + "\r\n";
    for (int i = 0; i < 200; ++i) parser.addLine(fold);
    CHECK(parser.addLine("\r\n"));
    auto fields = parser.takeFields();
    CHECK(fields.size() == HTTPResponseHeadParser::kMaximumFields);
    const std::string& last = fields.fields().back().second;
    CHECK(last.size() >= HTTPResponseHeadParser::kMaximumFoldedValue);
    CHECK(last.size() < HTTPResponseHeadParser::kMaximumFoldedValue + fold.size());
}
