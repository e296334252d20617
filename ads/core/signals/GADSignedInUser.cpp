#include "ads/core/signals/GADSignedInUser.h"

#include <functional>
#include <vector>

#include "ads/core/signals/GADStubsForGID.h"
#include "ads/core/signals/GAD_GTMStringEncoding.h"
#include "platform/base/Strings.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {
namespace {

constexpr const char* kEnableSignedInAdsKey = "/ruzave/ads/enable_signed_in_ads";

std::optional<std::string> stringMember(const platform::Value& object, const char* key) {
    const std::string* s = platform::findString(object, key);
    return s ? std::optional<std::string>(*s) : std::nullopt;
}

// "iss" and "sub" of a JSON Web Token's claims part; nullopt for anything else.
std::optional<std::pair<std::string, std::string>> issuerAndSubject(const std::string& idToken) {
    std::vector<std::string> parts = platform::split(idToken, ".");
    if (parts.size() != 3) return std::nullopt;
    auto bytes = GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->decode(parts[1]);
    if (!bytes) return std::nullopt;
    auto claims = platform::parseJSON(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!claims || !claims->is_object()) return std::nullopt;
    auto issuer = stringMember(*claims, "iss");
    auto subject = stringMember(*claims, "sub");
    if (!issuer || !subject) return std::nullopt;
    return std::make_pair(*issuer, *subject);
}

} // namespace

GADSignedInUser::GADSignedInUser(std::string issuer, std::string userID, std::string applicationID,
                                 std::string refreshToken)
    : issuer_(std::move(issuer)),
      userID_(std::move(userID)),
      applicationID_(std::move(applicationID)),
      refreshToken_(std::move(refreshToken)) {}

std::optional<GADSignedInUser> GADSignedInUser::init() {
    // The device's tracking limit is the dispenser's business, not the user's.
    auto enabled = platform::UserDefaults::standard()->object(kEnableSignedInAdsKey);
    if (!enabled || !platform::boolValue(*enabled)) return std::nullopt;
    auto signIn = GADSignInSharedInstance();
    if (!signIn) return std::nullopt;
    auto applicationID = signIn->clientID();
    if (!applicationID) return std::nullopt;
    auto user = signIn->currentUser();
    auto authentication = user ? user->authentication() : nullptr;
    auto idToken = authentication ? authentication->idToken() : std::nullopt;
    if (!idToken) return std::nullopt;
    auto identity = issuerAndSubject(*idToken);
    if (!identity) return std::nullopt;
    auto refreshToken = authentication->refreshToken();
    if (!refreshToken) return std::nullopt;
    return GADSignedInUser(identity->first, identity->second, *applicationID, *refreshToken);
}

platform::Value GADSignedInUser::encode() const {
    return platform::Value{{"issuer", issuer_}, {"userID", userID_}, {"applicationID", applicationID_},
                           {"refreshToken", refreshToken_}};
}

std::optional<GADSignedInUser> GADSignedInUser::decode(const platform::Value& archive) {
    if (!archive.is_object()) return std::nullopt;
    auto issuer = stringMember(archive, "issuer");
    auto userID = stringMember(archive, "userID");
    auto applicationID = stringMember(archive, "applicationID");
    auto refreshToken = stringMember(archive, "refreshToken");
    if (!issuer || !userID || !applicationID || !refreshToken) return std::nullopt;
    return GADSignedInUser(*issuer, *userID, *applicationID, *refreshToken);
}

std::size_t GADSignedInUser::hash() const {
    return std::hash<std::string>()(issuer_) ^ std::hash<std::string>()(userID_);
}

} // namespace ruzave
