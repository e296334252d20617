#pragma once
// The MRAID scripts as the local server serves them, at the three default locations on the SDK-core
// host (banner, interstitial, expanded banner). Any thread.
#include <string>

namespace adserver {

class AdServer;

struct MRAIDScriptOptions {
    std::string host = "sdkcore.ruzave.example";
    std::string directory = "/mads/static/mad/sdk/native/mraid/v2/";
    int status = 200;  // a fault status for every script
};

// The script for a placement ("inline" or "interstitial"); "" when the page files cannot be read.
std::string mraidScript(const std::string& placement);
// Routes the three scripts (replacing earlier ones).
void installMRAIDScripts(AdServer& server, const MRAIDScriptOptions& options = {});

} // namespace adserver
