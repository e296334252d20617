#pragma once
// What the SDK asks of the optional sign-in library, which is not linked: its classes are found by name
// at run time ("GIDSignIn", "GIDRuzaveUser", "GIDAuthentication") in the class registry, derive from
// this interface, and list the messages they answer as their protocols ("sharedInstance",
// "supportsCurrentUserKVO", "clientID", "currentUser", "authentication", "idToken", "refreshToken").
// The defaults answer nothing. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ruzave {

class GADStubsForGID {
public:
    virtual ~GADStubsForGID() = default;

    // The sign-in object ("GIDSignIn").
    virtual bool supportsCurrentUserKVO() const { return false; }
    virtual std::optional<std::string> clientID() const { return std::nullopt; }
    virtual std::shared_ptr<GADStubsForGID> currentUser() const { return nullptr; }
    // Change observation of "currentUser" and "clientID": `changed` runs after each change, on the
    // thread that made it. `context` tells one observer's registrations apart for removal.
    virtual void addObserver(const std::string& keyPath, const void* context, std::function<void()> changed) {
        (void)keyPath;
        (void)context;
        (void)changed;
    }
    virtual void removeObserver(const std::string& keyPath, const void* context) {
        (void)keyPath;
        (void)context;
    }

    // A user ("GIDRuzaveUser").
    virtual std::shared_ptr<GADStubsForGID> authentication() const { return nullptr; }

    // A user's authentication ("GIDAuthentication").
    virtual std::optional<std::string> idToken() const { return std::nullopt; }
    virtual std::optional<std::string> refreshToken() const { return std::nullopt; }
};

// The sign-in library's shared object, or nullptr when the library is absent or lacks what the SDK
// needs. The classes are checked once per process; the shared object is asked for on each call.
std::shared_ptr<GADStubsForGID> GADSignInSharedInstance();
// Tests: forget the verdict, so the next call checks the classes again.
void GADSignInResetForTesting();

} // namespace ruzave
