#include "tools/adserver/TokenService.h"

namespace adserver {
namespace {

Response oauthError(const std::string& code, int status) {
    return Response::json("{\"error\":\"" + code + "\"}", status);
}

} // namespace

std::shared_ptr<TokenService> TokenService::install(AdServer& server, const std::string& host) {
    auto service = std::make_shared<TokenService>();
    server.routeHost(host, kPath, [service](const Request& request) { return service->answer(request); });
    return service;
}

void TokenService::setExpiresIn(std::string json) {
    std::lock_guard lock(mutex_);
    expiresIn_ = std::move(json);
}

void TokenService::answerNext(Response response) {
    std::lock_guard lock(mutex_);
    scripted_.push_back(std::move(response));
}

int TokenService::issuedCount() const {
    std::lock_guard lock(mutex_);
    return issued_;
}

std::string TokenService::lastIssuedToken() const {
    std::lock_guard lock(mutex_);
    return issued_ == 0 ? std::string() : "access-" + std::to_string(issued_);
}

Response TokenService::answer(const Request& request) {
    if (request.method != "POST") return oauthError("invalid_request", 405);
    if (request.param("grant_type") != "refresh_token") return oauthError("unsupported_grant_type", 400);
    if (request.param("refresh_token").empty() || request.param("client_id").empty())
        return oauthError("invalid_request", 400);
    std::lock_guard lock(mutex_);
    if (!scripted_.empty()) {
        Response next = std::move(scripted_.front());
        scripted_.pop_front();
        return next;
    }
    ++issued_;
    std::string body = "{\"access_token\":\"access-" + std::to_string(issued_) + "\",\"token_type\":\"Bearer\"";
    if (!expiresIn_.empty()) body += ",\"expires_in\":" + expiresIn_;
    return Response::json(body + "}");
}

} // namespace adserver
