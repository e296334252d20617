#pragma once
// Hears the SDK constants that are applied at once (not stored): script paths of the MRAID interceptor,
// the character sets of content hashing, and the adapter names and signed-in user that the controller
// also hands to the application record and the token dispenser itself. Each answers "nothing to do"
// unless overridden. Called on the main thread.
#include <optional>
#include <string>
#include <vector>

namespace ruzave {

class GADSDKConstantsReceiver {
public:
    virtual ~GADSDKConstantsReceiver() = default;
    // nullopt keeps the path in place: an answer never removes one.
    virtual void setMRAIDImplementationPaths(const std::optional<std::string>& banner,
                                             const std::optional<std::string>& interstitial,
                                             const std::optional<std::string>& expandedBanner) {
        (void)banner;
        (void)interstitial;
        (void)expandedBanner;
    }
    virtual void updateCharacterSets() {}
    // nullopt when the page sent no "adapter_class_names".
    virtual void updateAvailableAdapterNamesWithPotentialAdapterNames(const std::optional<std::vector<std::string>>& names) {
        (void)names;
    }
    virtual void refreshSignedInUser() {}
};

} // namespace ruzave
