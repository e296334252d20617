#include "tools/adserver/AdResponses.h"

#include <doctest/doctest.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using adserver::AdServer;
using adserver::Response;
using adserver::StandardAd;

namespace {

struct Got {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // names lower-cased
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<Got*>(target)->body.append(data, size * count);
    return size * count;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* target) {
    std::string line(data, size * count);
    std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n") + 1);
        static_cast<Got*>(target)->headers.emplace_back(name, value);
    }
    return size * count;
}

Got get(const AdServer& server, const std::string& url) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    REQUIRE(initialised);
    Got out;
    CURL* curl = curl_easy_init();
    REQUIRE(curl);
    std::string mapping = server.connectToSpec(443);
    curl_slist* connect = nullptr;
    for (std::size_t start = 0; start < mapping.size();) {
        std::size_t comma = std::min(mapping.find(',', start), mapping.size());
        connect = curl_slist_append(connect, mapping.substr(start, comma - start).c_str());
        start = comma + 1;
    }
    std::string ca = server.caFile();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connect);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &out);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    out.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(connect);
    return out;
}

std::vector<std::string> valuesOf(const std::vector<std::pair<std::string, std::string>>& headers,
                                  const std::string& lowerName) {
    std::vector<std::string> out;
    for (const auto& [name, value] : headers) {
        if (name == lowerName) out.push_back(value);
    }
    return out;
}

std::unique_ptr<AdServer> startServer() {
    adserver::Options options;
    options.hostNames = {"ads.ruzave.example", "ping.ruzave.example"};
    auto server = AdServer::start(options);
    REQUIRE(server);
    return server;
}

} // namespace

TEST_CASE("AdResponses: a standard ad goes out as HTML with its trackers and settings in x-zudo headers") {
    auto server = startServer();
    StandardAd ad;
    ad.impressionURLs = {"https://ping.ruzave.example/pagead/adview?a=1", "", "https://ping.ruzave.example/pagead/adview?a=2"};
    ad.clickURLs = {"https://ping.ruzave.example/pagead/aclk?a=1"};
    adserver::installStandardAd(*server, "ads.ruzave.example", "/mads/gma", ad);

    Got got = get(*server, "https://ads.ruzave.example/mads/gma?slotname=x");
    REQUIRE(got.code == CURLE_OK);
    CHECK(got.status == 200);
    CHECK(got.body == adserver::defaultBannerHTML());
    auto type = valuesOf(got.headers, "content-type");
    REQUIRE(type.size() == 1);
    CHECK(type[0].rfind("text/html", 0) == 0);
    // Empty entries leave no double blank, which would split into an empty tracker.
    CHECK(valuesOf(got.headers, "x-zudo-tracking-urls") ==
          std::vector<std::string>{"https://ping.ruzave.example/pagead/adview?a=1 https://ping.ruzave.example/pagead/adview?a=2"});
    CHECK(valuesOf(got.headers, "x-zudo-click-tracking-urls") ==
          std::vector<std::string>{"https://ping.ruzave.example/pagead/aclk?a=1"});
    CHECK(valuesOf(got.headers, "x-zudo-refresh-rate") == std::vector<std::string>{"60"});
    CHECK(valuesOf(got.headers, "x-zudo-ad-size") == std::vector<std::string>{"320x50"});
    CHECK(valuesOf(got.headers, "x-zudo-use-https") == std::vector<std::string>{"1"});
    CHECK(valuesOf(got.headers, "x-zudo-content-url-opted-out") == std::vector<std::string>{"true"});
    // Nothing that would make it another kind of response.
    CHECK(valuesOf(got.headers, "x-zudo-mediation").empty());
    CHECK(valuesOf(got.headers, "x-zudo-ad-format").empty());
    CHECK(valuesOf(got.headers, "x-zudo-custom-rendering-allowed").empty());
    // The route is for the ad host only.
    CHECK(get(*server, "https://ping.ruzave.example/mads/gma").status == 404);
}

TEST_CASE("AdResponses: empty settings leave their headers out, and the creative and status are the ad's own") {
    StandardAd ad;
    ad.html = "<p>own</p>";
    ad.refreshRate.clear();
    ad.adSize.clear();
    ad.useHTTPS.clear();
    ad.contentURLOptedOut.clear();
    ad.status = 500;
    Response r = adserver::standardAdResponse(ad);
    CHECK(r.status == 500);
    CHECK(r.body == "<p>own</p>");
    CHECK(r.headers.empty());
}

TEST_CASE("AdResponses: ping endpoints answer 204 with no body on any host and are logged") {
    auto server = startServer();
    adserver::installPingEndpoints(*server);
    for (const std::string url : {"https://ping.ruzave.example/pagead/adview?ai=1", "https://ads.ruzave.example/csi?v=3",
                                  "https://ping.ruzave.example/pagead/gen_204"}) {
        Got got = get(*server, url);
        CHECK(got.code == CURLE_OK);
        CHECK(got.status == 204);
        CHECK(got.body.empty());
    }
    CHECK(get(*server, "https://ping.ruzave.example/pageadx").status == 404);
    CHECK(server->requestCount("/pagead/adview") == 1);
    CHECK(server->requestCount("/csi") == 1);
}

TEST_CASE("AdResponses: only the ping paths count as pings") {
    CHECK(adserver::isPingPath("/pagead/adview"));
    CHECK(adserver::isPingPath("/csi"));
    CHECK_FALSE(adserver::isPingPath("/csi/more"));
    CHECK_FALSE(adserver::isPingPath("/pagead"));
    CHECK_FALSE(adserver::isPingPath("/mads/gma"));
}
