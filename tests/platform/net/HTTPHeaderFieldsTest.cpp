#include <doctest/doctest.h>

#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/URLRequest.h"

using namespace platform;

TEST_CASE("HTTPHeaderFields: set replaces every field of a name in place of the first, ignoring case") {
    HTTPHeaderFields h{{"Accept", "a"}, {"X-One", "1"}, {"accept", "b"}, {"X-Two", "2"}};
    h.set("ACCEPT", "c");
    CHECK(h.fields() == std::vector<HTTPHeaderFields::Field>{{"Accept", "c"}, {"X-One", "1"}, {"X-Two", "2"}});
    h.remove("x-one");
    CHECK(h.size() == 2);
    CHECK(h.value("x-two") == "2");
    CHECK_FALSE(h.value("X-On").has_value());
}

TEST_CASE("HTTPHeaderFields: a request's header values are set, appended and removed like the original's") {
    URLRequest r;
    CHECK(r.httpMethod() == "GET");
    CHECK(r.timeoutInterval() == 60.0);
    CHECK(r.httpShouldHandleCookies());
    r.addValue("a", "Accept");
    r.addValue("b", "accept");
    CHECK(r.valueForHTTPHeaderField("ACCEPT") == "a,b");
    r.setValue("", "Accept");
    CHECK(r.allHTTPHeaderFields().empty());
    r.setTimeoutInterval(-1);
    CHECK(r.timeoutInterval() == 60.0);
    r.setHTTPMethod("");
    CHECK(r.httpMethod() == "GET");
}
