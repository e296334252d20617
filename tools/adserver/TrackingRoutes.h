#pragma once
// Tracking endpoints for click and impression trackers: redirects (to anywhere, in a loop), a file that
// honours If-Modified-Since, a status of choice, and a ping that fails every other time. Any thread.
#include <string>

namespace adserver {

class AdServer;

// The Last-Modified date of "/track/file".
inline constexpr const char* kTrackingFileDate = "Tue, 15 Nov 1994 08:12:31 GMT";
inline constexpr const char* kTrackingFileBody = "tracked body";

// "/track/redirect?to=<url>"    302 to the decoded URL (any scheme)
// "/track/loop"                 302 to itself
// "/track/file"                 200 with a body and Last-Modified; 304 when If-Modified-Since is that
//                               date, as text
// "/track/status?code=<n>"      answers n (no body)
// "/track/flaky"                500 to every second request, 204 otherwise
void installTrackingEndpoints(AdServer& server);

} // namespace adserver
