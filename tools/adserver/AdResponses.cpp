#include "tools/adserver/AdResponses.h"

namespace adserver {

namespace {

std::string joined(const std::vector<std::string>& urls) {
    std::string out;
    for (const auto& url : urls) {
        if (url.empty()) continue;
        if (!out.empty()) out += ' ';
        out += url;
    }
    return out;
}

Response noContent() {
    Response r = Response::text("", "text/plain", 204);
    return r;
}

} // namespace

std::string defaultBannerHTML() {
    return "<!DOCTYPE html>\n"
           "<html><head><meta charset=\"utf-8\"><title>banner</title></head>\n"
           "<body style=\"margin:0;background:#1e5aa8\">\n"
           "<div style=\"width:320px;height:50px;color:#ffffff\">Ruzave demo banner</div>\n"
           "</body></html>\n";
}

Response standardAdResponse(const StandardAd& ad) {
    Response r = Response::html(ad.html.empty() ? defaultBannerHTML() : ad.html, ad.status);
    // A standard ad says nothing of mediation, native format or custom rendering: its type is HTML.
    if (std::string clicks = joined(ad.clickURLs); !clicks.empty()) r.header("X-Zudo-Click-Tracking-Urls", clicks);
    if (std::string views = joined(ad.impressionURLs); !views.empty()) r.header("X-Zudo-Tracking-Urls", views);
    if (!ad.contentURLOptedOut.empty()) r.header("X-Zudo-Content-Url-Opted-Out", ad.contentURLOptedOut);
    if (!ad.refreshRate.empty()) r.header("X-Zudo-Refresh-Rate", ad.refreshRate);
    if (!ad.adSize.empty()) r.header("X-Zudo-Ad-Size", ad.adSize);
    if (!ad.useHTTPS.empty()) r.header("X-Zudo-Use-Https", ad.useHTTPS);
    return r;
}

void installStandardAd(AdServer& server, const std::string& host, const std::string& path, const StandardAd& ad) {
    Response response = standardAdResponse(ad);
    server.routeHost(host, path, [response](const Request&) { return response; });
}

void installPingEndpoints(AdServer& server) {
    server.routePrefix("/pagead/", [](const Request&) { return noContent(); });
    server.route("/csi", [](const Request&) { return noContent(); });
}

bool isPingPath(const std::string& path) {
    return path == "/csi" || path.rfind("/pagead/", 0) == 0;
}

} // namespace adserver
