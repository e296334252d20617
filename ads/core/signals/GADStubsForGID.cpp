#include "ads/core/signals/GADStubsForGID.h"

#include <mutex>

#include "platform/foundation/ClassRegistry.h"

namespace ruzave {
namespace {

std::mutex verdictLock;
std::optional<bool> verdict;

bool answersAll(const char* className, std::initializer_list<const char*> messages) {
    if (!platform::ClassRegistry::hasClass(className)) return false;
    for (const char* message : messages) {
        if (!platform::ClassRegistry::conformsTo(className, message)) return false;
    }
    return true;
}

std::shared_ptr<GADStubsForGID> sharedSignIn() {
    // The class's factory plays its shared-instance method.
    return platform::ClassRegistry::create<GADStubsForGID>("GIDSignIn");
}

bool libraryIsUsable() {
    if (!answersAll("GIDSignIn", {"sharedInstance", "supportsCurrentUserKVO", "clientID", "currentUser"})) return false;
    if (!answersAll("GIDRuzaveUser", {"authentication"})) return false;
    if (!answersAll("GIDAuthentication", {"idToken", "refreshToken"})) return false;
    auto signIn = sharedSignIn();
    return signIn && signIn->supportsCurrentUserKVO();
}

} // namespace

std::shared_ptr<GADStubsForGID> GADSignInSharedInstance() {
    {
        std::lock_guard lock(verdictLock);
        if (!verdict) verdict = libraryIsUsable();
        if (!*verdict) return nullptr;
    }
    return sharedSignIn();
}

void GADSignInResetForTesting() {
    std::lock_guard lock(verdictLock);
    verdict.reset();
}

} // namespace ruzave
