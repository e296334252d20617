#include "tools/adserver/FaultyAds.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <random>

#include "tools/adserver/AdResponses.h"

namespace adserver {

namespace {

constexpr std::size_t kMaxGarbage = 64 * 1024;
constexpr std::size_t kMaxNesting = 200 * 1000;
constexpr std::uint64_t kMaxSlowMs = 2000;

StandardAd plainAd(std::string html = {}) {
    StandardAd ad;
    ad.html = std::move(html);
    // No refresh: a banner answers once per load, so a second answer is a fault of the client.
    ad.refreshRate.clear();
    return ad;
}

Response mediationResponse(std::string body) {
    return Response::json(std::move(body)).header("X-Zudo-Mediation", "1");
}

std::string mediationJSON(const std::string& adapter, const std::string& className) {
    nlohmann::ordered_json network = {
        {"id", "chaos-" + className},
        {"adapters", nlohmann::ordered_json::array({adapter})},
        {"data", {{"class_name", className}, {"label", "chaos"}, {"parameter", "chaos"}}},
    };
    nlohmann::ordered_json body = {{"qdata", "chaos-qdata"}, {"ad_networks", nlohmann::ordered_json::array({network})}};
    return body.dump();
}

// The URL of this request on `host`; `slotname` (already percent-encoded), when given, replaces the raw
// query's slot name.
std::string sameRequestOn(const Request& request, const std::string& host, const std::string& slotname = {}) {
    std::string query;
    std::size_t start = 0;
    while (start <= request.query.size()) {
        std::size_t end = std::min(request.query.find('&', start), request.query.size());
        std::string piece = request.query.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        if (!slotname.empty() && piece.rfind("slotname=", 0) == 0) piece = "slotname=" + slotname;
        if (!query.empty()) query += '&';
        query += piece;
    }
    return "https://" + host + request.path + (query.empty() ? "" : "?" + query);
}

const char* kLoopCreative = "<html><body><script>for(;;){}</script><div>never</div></body></html>";

const char* kAllocateCreative =
    "<html><body style=\"margin:0\"><div id=\"a\" style=\"width:320px;height:50px\">x</div><script>\n"
    "var s = 'x'; for (var i = 0; i < 21; i++) s = s + s;\n"
    "var a = []; for (var j = 0; j < 50000; j++) a.push({ n: j, t: 'item' + j });\n"
    "document.getElementById('a').innerHTML = String(s.length + a.length);\n"
    "</script></body></html>";

const char* kFloodCreative =
    "<html><body style=\"margin:0\"><div style=\"width:320px;height:50px\">flood</div><script>\n"
    "var sent = 0;\n"
    "var t = setInterval(function () {\n"
    "  for (var i = 0; i < 20; i++) { location.href = 'gmsg://ads/chaos-flood?n=' + (sent++); }\n"
    "  if (sent >= 4000) clearInterval(t);\n"
    "}, 10);\n"
    "</script></body></html>";

} // namespace

FaultName FaultName::parse(const std::string& slotname) {
    FaultName out;
    std::size_t slash = slotname.rfind('/');
    out.name = slash == std::string::npos ? slotname : slotname.substr(slash + 1);
    std::size_t dash = out.name.rfind('-');
    if (dash == std::string::npos || dash + 1 == out.name.size() || out.name.size() - dash > 19) return out;
    const std::string digits = out.name.substr(dash + 1);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) return out;
    out.number = std::stoull(digits);
    out.name.resize(dash);
    return out;
}

std::string seededBytes(std::uint64_t seed, std::size_t count) {
    std::mt19937_64 generator(seed);
    std::string bytes(count, '\0');
    for (auto& b : bytes) b = static_cast<char>(generator() & 0xff);
    return bytes;
}

const std::vector<std::string>& faultyAdNames() {
    static const std::vector<std::string> names = {
        "ok", "status", "drop", "truncate", "slow", "redirect-loop", "redirect-cross", "redirect-pingpong",
        "redirect-dead", "redirect-scheme", "empty", "garbage", "nested", "mediation", "mediation-garbage",
        "mediation-nested", "missing-adapter", "missing-custom-event", "creative-loop", "creative-allocate",
        "creative-flood",
    };
    return names;
}

Response faultyAdResponse(const Request& request, const FaultyAdOptions& options) {
    const FaultName fault = FaultName::parse(request.param("slotname"));
    const std::string& name = fault.name;
    const std::uint64_t n = fault.number;
    const std::string otherHost = request.host == options.crossHost ? options.host : options.crossHost;

    if (name == "ok") return standardAdResponse(plainAd());
    if (name == "status") {
        int status = (n >= 100 && n <= 599) ? static_cast<int>(n) : 500;
        return Response::html("<html><body>status " + std::to_string(status) + "</body></html>", status);
    }
    if (name == "drop") {
        Response r = standardAdResponse(plainAd());
        r.fault = Fault::Drop;
        return r;
    }
    if (name == "truncate") {
        Response r = standardAdResponse(plainAd());
        r.fault = Fault::Truncate;
        r.truncateAt = r.body.empty() ? 0 : n % r.body.size();
        return r;
    }
    if (name == "slow") {
        Response r = standardAdResponse(plainAd());
        r.delay = std::chrono::milliseconds(std::min(n, kMaxSlowMs));
        return r;
    }
    if (name == "redirect-loop") return Response::redirect(sameRequestOn(request, request.host));
    if (name == "redirect-cross") {
        if (request.host == options.crossHost) return standardAdResponse(plainAd());
        return Response::redirect(sameRequestOn(request, options.crossHost, "chaos%2Fok"));
    }
    if (name == "redirect-pingpong") return Response::redirect(sameRequestOn(request, otherHost));
    if (name == "redirect-dead") return Response::redirect("https://127.0.0.1:1/mads/gma");
    if (name == "redirect-scheme") return Response::redirect("ftp://" + options.crossHost + "/ad.html");
    if (name == "empty") return standardAdResponse(plainAd(" "));
    if (name == "garbage") {
        Response r = standardAdResponse(plainAd());
        r.body = seededBytes(n, std::min<std::size_t>(n % kMaxGarbage + 1, kMaxGarbage));
        return r;
    }
    if (name == "nested") {
        const std::size_t depth = std::min<std::size_t>(n, kMaxNesting);
        std::string html = "<html><body>";
        html.reserve(depth * 11 + 32);
        for (std::size_t i = 0; i < depth; ++i) html += "<div>";
        html += "deep";
        for (std::size_t i = 0; i < depth; ++i) html += "</div>";
        html += "</body></html>";
        Response r = standardAdResponse(plainAd());
        r.body = std::move(html);
        return r;
    }
    if (name == "mediation") {
        if (options.customEventClasses.empty()) return Response::html("no custom events", 400);
        const std::string& className = options.customEventClasses[n % options.customEventClasses.size()];
        return mediationResponse(mediationJSON("GADMAdapterCustomEvents", className));
    }
    if (name == "mediation-garbage") return mediationResponse(seededBytes(n, n % kMaxGarbage + 1));
    if (name == "mediation-nested") {
        const std::size_t depth = std::min<std::size_t>(n, kMaxNesting);
        return mediationResponse(std::string(depth, '[') + std::string(depth, ']'));
    }
    if (name == "missing-adapter") return mediationResponse(mediationJSON("ChaosNoSuchAdapter", "ChaosNoSuchClass"));
    if (name == "missing-custom-event")
        return mediationResponse(mediationJSON("GADMAdapterCustomEvents", "ChaosNoSuchCustomEvent"));
    if (name == "creative-loop") return standardAdResponse(plainAd(kLoopCreative));
    if (name == "creative-allocate") return standardAdResponse(plainAd(kAllocateCreative));
    if (name == "creative-flood") return standardAdResponse(plainAd(kFloodCreative));
    return Response::html("<html><body>unknown fault</body></html>", 400);
}

void installFaultyAds(AdServer& server, const std::string& host, const std::string& path, FaultyAdOptions options) {
    options.host = host;
    auto handler = [options](const Request& request) { return faultyAdResponse(request, options); };
    server.routeHost(host, path, handler);
    if (!options.crossHost.empty()) server.routeHost(options.crossHost, path, handler);
}

} // namespace adserver
