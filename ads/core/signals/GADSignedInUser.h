#pragma once
// The user signed in through the optional sign-in library: who issued the identity, the user's
// identifier, the app's client identifier and the user's refresh token. Immutable value; two users are
// the same cache key when issuer and user identifier match. Any thread; init() on the main thread.
#include <cstddef>
#include <utility>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADSignedInUser {
public:
    GADSignedInUser(std::string issuer, std::string userID, std::string applicationID, std::string refreshToken);
    static GADSignedInUser initWithIssuer(std::string issuer, std::string userID, std::string applicationID,
                                          std::string refreshToken) {
        return GADSignedInUser(std::move(issuer), std::move(userID), std::move(applicationID), std::move(refreshToken));
    }

    // The sign-in library's current user; nullopt when signed-in ads are off, the library is absent,
    // or it has no complete user (client identifier, an ID token with "iss" and "sub", a refresh token).
    static std::optional<GADSignedInUser> init();

    // The keyed form: "issuer", "userID", "applicationID", "refreshToken". Decoding wants four strings.
    platform::Value encode() const;
    static std::optional<GADSignedInUser> decode(const platform::Value& archive);

    const std::string& issuer() const { return issuer_; }
    const std::string& userID() const { return userID_; }
    const std::string& applicationID() const { return applicationID_; }
    const std::string& refreshToken() const { return refreshToken_; }

    // Issuer and user identifier only.
    bool operator==(const GADSignedInUser& other) const { return issuer_ == other.issuer_ && userID_ == other.userID_; }
    bool operator!=(const GADSignedInUser& other) const { return !(*this == other); }
    bool isEqual(const GADSignedInUser& other) const { return *this == other; }
    std::size_t hash() const;

    struct Hash {
        std::size_t operator()(const GADSignedInUser& user) const { return user.hash(); }
    };

private:
    std::string issuer_;
    std::string userID_;
    std::string applicationID_;
    std::string refreshToken_;
};

} // namespace ruzave
