#include <doctest/doctest.h>

#include "platform/net/HTTPURLResponse.h"

using namespace platform;

namespace {
HTTPURLResponse make(const std::string& url, HTTPHeaderFields headers, int status = 200) {
    return HTTPURLResponse(*URL::parse(url), status, std::move(headers));
}
} // namespace

TEST_CASE("HTTPURLResponse: reads the MIME type, charset and length from the header fields") {
    auto r = make("https://a.example/x", {{"content-type", " Text/HTML ; Charset=\"UTF-8\""}, {"Content-Length", "42"}});
    CHECK(r.MIMEType() == "text/html");
    CHECK(r.textEncodingName() == "utf-8");
    CHECK(r.expectedContentLength() == 42);

    auto bare = make("https://a.example/x", {{"Content-Length", "-5"}});
    CHECK(bare.MIMEType() == "application/octet-stream");
    CHECK_FALSE(bare.textEncodingName().has_value());
    CHECK(bare.expectedContentLength() == -1);
    CHECK(make("https://a.example/x", {{"Content-Length", "12abc"}}).expectedContentLength() == -1);
}

TEST_CASE("HTTPURLResponse: header lookup ignores case and joins repeated fields") {
    auto r = make("https://a.example/", {{"Set-Cookie", "a=1"}, {"X-Other", "o"}, {"set-cookie", "b=2"}});
    CHECK(r.valueForHTTPHeaderField("SET-COOKIE") == "a=1, b=2");
    CHECK(r.allHeaderFields().values("set-cookie") == std::vector<std::string>{"a=1", "b=2"});
    CHECK_FALSE(r.valueForHTTPHeaderField("Missing").has_value());
}

TEST_CASE("HTTPURLResponse: the suggested file name never escapes its folder") {
    CHECK(make("https://a.example/dl", {{"Content-Disposition", "attachment; filename=\"report;v2.pdf\""}})
              .suggestedFilename() == "report;v2.pdf");
    CHECK(make("https://a.example/dl", {{"Content-Disposition", "attachment; filename*=UTF-8''na%C3%AFve%20file.txt"}})
              .suggestedFilename() == "na\xC3\xAFve file.txt");
    CHECK(make("https://a.example/dl", {{"Content-Disposition", "attachment; filename=\"../../etc/passwd\""}})
              .suggestedFilename() == "passwd");
    CHECK(make("https://a.example/dl", {{"Content-Disposition", "attachment; filename=\"..\""}}).suggestedFilename() ==
          "dl");
    CHECK(make("https://a.example/path/image.png?x=1", {}).suggestedFilename() == "image.png");
    CHECK(make("https://a.example/", {}).suggestedFilename() == "Unknown");
}

TEST_CASE("HTTPURLResponse: reason phrases are the lower-case originals, with a class fallback") {
    CHECK(HTTPURLResponse::localizedStringForStatusCode(200) == "no error");
    CHECK(HTTPURLResponse::localizedStringForStatusCode(404) == "not found");
    CHECK(HTTPURLResponse::localizedStringForStatusCode(500) == "internal server error");
    CHECK(HTTPURLResponse::localizedStringForStatusCode(299) == "success");
    CHECK(HTTPURLResponse::localizedStringForStatusCode(451) == "client error");
    CHECK(HTTPURLResponse::localizedStringForStatusCode(599) == "server error");
}
