#include "tools/adserver/TokenService.h"

#include <doctest/doctest.h>

using adserver::Request;
using adserver::TokenService;

namespace {

Request grant(const std::string& method = "POST") {
    Request r;
    r.method = method;
    r.path = TokenService::kPath;
    r.params = {{"client_id", "app"}, {"grant_type", "refresh_token"}, {"refresh_token", "1/x"}, {"scope", "s"}};
    return r;
}

} // namespace

TEST_CASE("TokenService: a refresh-token grant gets a new token each time, with the set lifespan") {
    TokenService service;
    auto first = service.answer(grant());
    CHECK(first.status == 200);
    CHECK(first.body == "{\"access_token\":\"access-1\",\"token_type\":\"Bearer\",\"expires_in\":3600}");
    service.setExpiresIn("\"30\"");
    CHECK(service.answer(grant()).body == "{\"access_token\":\"access-2\",\"token_type\":\"Bearer\",\"expires_in\":\"30\"}");
    service.setExpiresIn("");
    CHECK(service.answer(grant()).body == "{\"access_token\":\"access-3\",\"token_type\":\"Bearer\"}");
    CHECK(service.issuedCount() == 3);
    CHECK(service.lastIssuedToken() == "access-3");
}

TEST_CASE("TokenService: scripted answers come first, in order, and issue nothing") {
    TokenService service;
    service.answerNext(adserver::Response::json("{\"error\":\"rate_limit_exceeded\"}", 429));
    service.answerNext(adserver::Response::text("oops", "text/plain", 503));
    CHECK(service.answer(grant()).status == 429);
    CHECK(service.answer(grant()).status == 503);
    CHECK(service.issuedCount() == 0);
    CHECK(service.answer(grant()).status == 200);
}

TEST_CASE("TokenService: other methods and incomplete grants are refused") {
    TokenService service;
    CHECK(service.answer(grant("GET")).status == 405);
    Request wrongGrant = grant();
    wrongGrant.params = {{"client_id", "app"}, {"grant_type", "password"}, {"refresh_token", "1/x"}};
    CHECK(service.answer(wrongGrant).status == 400);
    Request noRefresh = grant();
    noRefresh.params = {{"client_id", "app"}, {"grant_type", "refresh_token"}};
    auto refused = service.answer(noRefresh);
    CHECK(refused.status == 400);
    CHECK(refused.body == "{\"error\":\"invalid_request\"}");
    CHECK(service.issuedCount() == 0);
}
