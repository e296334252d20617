#pragma once
// The OAuth 2.0 token service of signed-in ads as the local server plays it: a POST of a refresh-token
// grant (form body) to "/oauth2/v3/token" answers JSON with "access_token" and "expires_in". Tests
// script its answers (faults, odd lifespans) and read what it issued. Any thread.
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "tools/adserver/AdServer.h"

namespace adserver {

class TokenService {
public:
    static constexpr const char* kDefaultHost = "accounts.ruzave.example";
    static constexpr const char* kPath = "/oauth2/v3/token";

    // Routes the token path on `host` (replacing an earlier service there).
    static std::shared_ptr<TokenService> install(AdServer& server, const std::string& host = kDefaultHost);

    // The JSON text of "expires_in" in issued answers ("3600", "\"3600\"", "-5"); "" leaves it out.
    void setExpiresIn(std::string json);
    // The next requests get these answers, in order, before the service issues tokens again.
    void answerNext(Response response);
    // How many tokens it has issued; the latest ("" before the first). Tokens are "access-1", "access-2", ...
    int issuedCount() const;
    std::string lastIssuedToken() const;

    // The answer to one request: a wrong method 405, a grant that is not a refresh-token grant with a
    // refresh token and a client 400 ({"error": ...}), otherwise the next scripted answer or a new token.
    Response answer(const Request& request);

private:
    mutable std::mutex mutex_;
    std::string expiresIn_ = "3600";
    std::deque<Response> scripted_;
    int issued_ = 0;
};

} // namespace adserver
