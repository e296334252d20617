#pragma once
// The gesture-signal module's entry points. Its signal computation is not in place yet: it takes the
// SDK version and answers every request for a signal with status 0 (no signal). Main thread.
#include <string>

namespace ruzave {

void GADGestureModuleSetSDKVersion(const std::string& version);
// Writes "key=value" into `signal` and returns 1 on success.
int GADGestureModuleRequestParameter(std::string& signal);

} // namespace ruzave
