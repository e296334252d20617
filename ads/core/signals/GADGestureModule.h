#pragma once
// The gesture-signal module's entry points. Its signal computation is not in place yet: it takes the
// SDK version and answers every request for a signal with status 0 (no signal). Main thread.
#include <string>
#include <vector>

namespace ruzave {

void GADGestureModuleSetSDKVersion(const std::string& version);
// Writes "key=value" into `signal` and returns 1 on success.
int GADGestureModuleRequestParameter(std::string& signal);

// Records one touch of an ad view (x, y, duration in milliseconds; -1 when missing). Main thread.
void GADGestureModuleRecordTouch(int x, int y, int durationMilliseconds);
// The touches recorded so far in this process, oldest first (at most the last 64).
struct GADGestureModuleTouch {
    int x, y, durationMilliseconds;
};
std::vector<GADGestureModuleTouch> GADGestureModuleRecordedTouches();

} // namespace ruzave
