#pragma once
// The crash-report endpoint of the ping host. Any thread.
namespace adserver {

class AdServer;

// "/pagead/gen_204"   204, no body; the reports are read back from the request log
void installCrashReportEndpoint(AdServer& server);

} // namespace adserver
