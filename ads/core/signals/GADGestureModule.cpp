#include "ads/core/signals/GADGestureModule.h"

namespace ruzave {

namespace {
std::string& sdkVersion() {
    static std::string version;
    return version;
}
} // namespace

void GADGestureModuleSetSDKVersion(const std::string& version) { sdkVersion() = version; }

int GADGestureModuleRequestParameter(std::string& signal) {
    signal.clear();
    return 0;
}

} // namespace ruzave
