#pragma once
// Hands out the signed-in user's access token for ad requests. Until signed-in ads are built it knows
// no user: it has no token and nothing to refresh. Any thread.
#include <memory>
#include <optional>
#include <string>

namespace ruzave {

class GADTokenDispenser {
public:
    static std::shared_ptr<GADTokenDispenser> sharedInstance();
    // The current user's token, or nullopt.
    std::optional<std::string> token();
    // The ad server declared `token` void; an unknown or missing token changes nothing.
    void refreshToken(const std::optional<std::string>& token);

private:
    GADTokenDispenser() = default;
};

} // namespace ruzave
