#include "tools/adserver/MRAIDScripts.h"

#include <fstream>
#include <sstream>

#include "tools/adserver/AdServer.h"

#ifndef RUZAVE_ADSERVER_PAGES
#define RUZAVE_ADSERVER_PAGES "tools/adserver/pages"
#endif

namespace adserver {

std::string mraidScript(const std::string& placement) {
    static const std::string body = [] {
        std::ifstream in(std::string(RUZAVE_ADSERVER_PAGES) + "/mraid-common.js", std::ios::binary);
        if (!in) return std::string();
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }();
    if (body.empty()) return {};
    std::string name = placement == "interstitial" ? "interstitial" : "inline";
    return "window.__ruzaveMraidPlacement = '" + name + "';\n" + body;
}

void installMRAIDScripts(AdServer& server, const MRAIDScriptOptions& options) {
    const struct {
        const char* file;
        const char* placement;
    } scripts[] = {
        {"mraid_app_banner.js", "inline"},
        {"mraid_app_expanded_banner.js", "inline"},
        {"mraid_app_interstitial.js", "interstitial"},
    };
    for (const auto& s : scripts) {
        std::string text = mraidScript(s.placement);
        int status = text.empty() ? 500 : options.status;
        server.routeHost(options.host, options.directory + s.file, [text, status](const Request&) {
            return Response::text(text, "application/javascript", status);
        });
    }
}

} // namespace adserver
