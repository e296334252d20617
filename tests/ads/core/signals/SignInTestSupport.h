#pragma once
// A stand-in for the optional sign-in library: its three classes registered by name, a shared sign-in
// object whose user tests sign in and out (with change notices), and ID tokens made from claims.
// Main thread.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "ads/core/signals/GADStubsForGID.h"
#include "ads/core/signals/GAD_GTMStringEncoding.h"
#include "platform/base/Strings.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/UserDefaults.h"

namespace signintest {

struct FakeAuthentication : ruzave::GADStubsForGID {
    std::optional<std::string> idToken_;
    std::optional<std::string> refreshToken_;
    std::optional<std::string> idToken() const override { return idToken_; }
    std::optional<std::string> refreshToken() const override { return refreshToken_; }
};

struct FakeUser : ruzave::GADStubsForGID {
    std::shared_ptr<FakeAuthentication> auth = std::make_shared<FakeAuthentication>();
    std::shared_ptr<ruzave::GADStubsForGID> authentication() const override { return auth; }
};

struct FakeSignIn : ruzave::GADStubsForGID {
    bool kvo = true;
    std::optional<std::string> client = std::string("app-client.apps.example");
    std::shared_ptr<FakeUser> user;
    std::multimap<std::string, std::pair<const void*, std::function<void()>>> observers;

    bool supportsCurrentUserKVO() const override { return kvo; }
    std::optional<std::string> clientID() const override { return client; }
    std::shared_ptr<ruzave::GADStubsForGID> currentUser() const override { return user; }
    void addObserver(const std::string& keyPath, const void* context, std::function<void()> changed) override {
        observers.emplace(keyPath, std::make_pair(context, std::move(changed)));
    }
    void removeObserver(const std::string& keyPath, const void* context) override {
        for (auto it = observers.lower_bound(keyPath); it != observers.upper_bound(keyPath);)
            it = it->second.first == context ? observers.erase(it) : std::next(it);
    }
    void changed(const std::string& keyPath) {
        auto range = observers.equal_range(keyPath);
        for (auto it = range.first; it != range.second; ++it) it->second.second();
    }
};

// A JSON Web Token whose claims part is `claimsJSON` (URL-safe Base64 without padding).
inline std::string idTokenWithClaims(const std::string& claimsJSON) {
    std::string part = ruzave::GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->encodeString(claimsJSON);
    while (!part.empty() && part.back() == '=') part.pop_back();
    return "eyJhbGciOiJSUzI1NiJ9." + part + ".c2lnbmF0dXJl";
}

inline std::shared_ptr<FakeUser> makeUser(const std::string& subject, const std::string& refreshToken) {
    auto user = std::make_shared<FakeUser>();
    user->auth->idToken_ = idTokenWithClaims("{\"iss\":\"https://accounts.example\",\"sub\":\"" + subject + "\"}");
    user->auth->refreshToken_ = refreshToken;
    return user;
}

// Registers the library's classes for one test, with `signIn` as the shared object; removes them after.
struct SignInLibrary {
    std::shared_ptr<FakeSignIn> signIn = std::make_shared<FakeSignIn>();

    explicit SignInLibrary(bool enableSetting = true) {
        add("GIDSignIn", {"sharedInstance", "supportsCurrentUserKVO", "clientID", "currentUser"});
        add("GIDRuzaveUser", {"authentication"});
        add("GIDAuthentication", {"idToken", "refreshToken"});
        ruzave::GADSignInResetForTesting();
        if (enableSetting) platform::UserDefaults::standard()->set("/ruzave/ads/enable_signed_in_ads", "1");
    }
    ~SignInLibrary() {
        for (const char* name : {"GIDSignIn", "GIDRuzaveUser", "GIDAuthentication"})
            platform::ClassRegistry::unregisterClass(name);
        ruzave::GADSignInResetForTesting();
    }
    void add(const std::string& name, std::vector<std::string> messages) {
        platform::ClassRegistry::ClassInfo info;
        auto shared = signIn;
        info.factory = [shared]() -> std::shared_ptr<void> { return shared; };
        info.protocols = std::move(messages);
        info.casters.emplace(std::type_index(typeid(ruzave::GADStubsForGID)), [](const std::shared_ptr<void>& p) {
            std::shared_ptr<ruzave::GADStubsForGID> base = std::static_pointer_cast<FakeSignIn>(p);
            return std::static_pointer_cast<void>(base);
        });
        platform::ClassRegistry::registerClass(name, std::move(info));
    }
    // Signs `user` in (nullptr: out) and tells the observers.
    void signInUser(std::shared_ptr<FakeUser> user) {
        signIn->user = std::move(user);
        signIn->changed("currentUser");
    }
};

} // namespace signintest
