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

std::string imageCreativeHTML(const ImageCreative& creative) {
    std::string urls;
    for (const auto& url : creative.imageURLs)
        urls += (urls.empty() ? "'" : ",'") + url + "'";
    const std::string box = "style=\"display:block;width:320px;height:50px;color:#ffffff\"";
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head>\n"
                       "<body style=\"margin:0;background-color:#1a73e8\">\n";
    html += creative.linkURL.empty() ? "<div " + box + ">ad</div>\n"
                                     : "<a href=\"" + creative.linkURL + "\" " + box + ">ad</a>\n";
    html += "<script>\nvar pixel = '', added = 0;\nwindow.addEventListener('load', function () {\n"
            "  var urls = [" +
            urls + "], perTurn = " + std::to_string(creative.imagesPerTurn) +
            " || urls.length;\n"
            "  function addSome() {\n"
            "    for (var end = Math.min(added + perTurn, urls.length); added < end; added++) {\n"
            "      var image = document.createElement('img');\n"
            "      image.src = urls[added];\n"
            "      document.body.appendChild(image);\n";
    if (creative.removeImages) html += "      document.body.removeChild(image);\n";
    html += "    }\n"
            "    if (added < urls.length) return setTimeout(addSome, 1000);\n";
    if (!creative.pixelURL.empty()) {
        html += "    var p = document.createElement('img');\n"
                "    p.onload = function () { pixel = 'load'; };\n"
                "    p.onerror = function () { pixel = 'error'; };\n"
                "    p.src = '" +
                creative.pixelURL +
                "';\n"
                "    document.body.appendChild(p);\n";
    }
    html += "  }\n  addSome();\n});\n</script>\n</body></html>\n";
    return html;
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
