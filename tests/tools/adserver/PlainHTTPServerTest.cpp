#include "tools/adserver/PlainHTTPServer.h"

#include <doctest/doctest.h>

#include <curl/curl.h>

#include "tests/tools/adserver/ConnectBurst.h"

namespace {

std::string get(std::uint16_t port, const std::string& path) {
    CURL* curl = curl_easy_init();
    REQUIRE(curl);
    const std::string target = "http://127.0.0.1:" + std::to_string(port) + path;
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* d, std::size_t s, std::size_t n, void* t) {
        static_cast<std::string*>(t)->append(d, s * n);
        return s * n;
    });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    CHECK(curl_easy_perform(curl) == CURLE_OK);
    curl_easy_cleanup(curl);
    return body;
}

} // namespace

TEST_CASE("PlainHTTPServer: a burst of simultaneous connects is accepted without a retransmit") {
    auto server = adserver::PlainHTTPServer::start();
    REQUIRE(server);
    const auto burst = adserver::testing::connectBurst(server->port(), 200);
    MESSAGE(burst.retransmitted << " of 200 retransmitted, slowest made after " << burst.slowestSeconds << " s");
    CHECK(burst.retransmitted == 0);
    server->route("/after", [](const adserver::Request&) { return adserver::Response::text("served"); });
    CHECK(get(server->port(), "/after") == "served");
}
