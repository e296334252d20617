#pragma once
// The gesture-signal module: computes the click and gesture signal that goes out with ad requests and
// on ad click URLs, from the touches of the ad views and the device facts of GADGestureIdUtil.
//
// Both signals are one "ms=<value>" text. The value is web-safe base64 (no padding, so no "=") of a
// ";"-separated list of "name:value" fields, in this order:
//   v      the format, "1"
//   sdk    the SDK version handed in by GADGestureModuleSetSDKVersion ("" until then)
//   idt    the device identifier type (4 or 1)
//   id     the device identifier; left empty when the user opted out of ad tracking
//   lat    "1" when the user opted out, else "0"
//   scr    the main screen's mode size in pixels, "<width>x<height>"
//   tz     GADTimeZoneOffsetMinutes
//   net    the reachability flags in hex ("0" when they cannot be read)
//   tc     how many touches are recorded
// The click signal adds:
//   ai     the click's "ai" value (";" and ":" in it replaced by "_")
//   tl     the last (at most 8) touches, oldest first, "x,y,duration" joined with "|"
// Main thread.
#include <string>
#include <vector>

namespace ruzave {

void GADGestureModuleSetSDKVersion(const std::string& version);
// Writes "ms=<value>" into `signal` and returns 1.
int GADGestureModuleRequestParameter(std::string& signal);
// Writes "ms=<value>" for the click with this "ai" value into `signal` and returns 1; 0 (and an empty
// signal) for an empty "ai".
int GADGestureModuleClickSignal(const std::string& ai, std::string& signal);

// Records one touch of an ad view (x, y, duration in milliseconds; -1 when missing). Main thread.
void GADGestureModuleRecordTouch(int x, int y, int durationMilliseconds);
// The touches recorded so far in this process, oldest first (at most the last 64).
struct GADGestureModuleTouch {
    int x, y, durationMilliseconds;
};
std::vector<GADGestureModuleTouch> GADGestureModuleRecordedTouches();

} // namespace ruzave
