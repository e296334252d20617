#include "ads/core/signals/GADGestureModule.h"

namespace ruzave {

namespace {
std::string& sdkVersion() {
    static std::string version;
    return version;
}
std::vector<GADGestureModuleTouch>& touches() {
    static std::vector<GADGestureModuleTouch> list;
    return list;
}
} // namespace

void GADGestureModuleRecordTouch(int x, int y, int durationMilliseconds) {
    auto& list = touches();
    if (list.size() >= 64) list.erase(list.begin());
    list.push_back({x, y, durationMilliseconds});
}

std::vector<GADGestureModuleTouch> GADGestureModuleRecordedTouches() { return touches(); }

void GADGestureModuleSetSDKVersion(const std::string& version) { sdkVersion() = version; }

int GADGestureModuleRequestParameter(std::string& signal) {
    signal.clear();
    return 0;
}

} // namespace ruzave
