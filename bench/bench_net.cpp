// connection_overhead_ratio: small GETs from the local ad server through URLConnection (sequential, on
// the main loop), divided by the same GETs through curl's multi interface driven directly: the median
// of the ratios of interleaved rounds, so a burst of load on the machine spoils one round, not the figure.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/net/NetworkConfiguration.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/MainLoop.h"
#include "tools/adserver/AdServer.h"
#include "bench/BenchQuick.h"

namespace {

using Clock = std::chrono::steady_clock;

const int Requests = bench::quickOr(1000, 18);
constexpr int Rounds = 9;  // the two ways take turns, so drift in the machine hits both alike
const char* const Host = "ads.ruzave.example";

struct Done : platform::URLConnectionDelegate {
    bool ended = false;
    bool failed = false;
    std::size_t bytes = 0;
    void didReceiveData(const std::shared_ptr<platform::URLConnection>&, const platform::Bytes& d) override {
        bytes += d.size();
    }
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>&) override { ended = true; }
    void didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error&) override {
        ended = failed = true;
    }
};

bool viaConnection(const platform::URLRequest& request, int count, double* seconds) {
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        auto delegate = std::make_shared<Done>();
        auto connection = platform::URLConnection::create(request, delegate, platform::TransferOrigin::app());
        platform::MainLoop::main().runUntil([&] { return delegate->ended; }, 10.0);
        if (!delegate->ended || delegate->failed || delegate->bytes == 0) return false;
    }
    *seconds += std::chrono::duration<double>(Clock::now() - start).count();
    return true;
}

size_t sink(char*, size_t size, size_t count, void* userp) {
    *static_cast<std::size_t*>(userp) += size * count;
    return size * count;
}

bool viaCurl(CURLM* multi, const std::string& url, curl_slist* connectTo, const std::string& caFile, int count,
             double* seconds) {
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        std::size_t bytes = 0;
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &sink);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
        curl_multi_add_handle(multi, easy);
        int running = 1;
        CURLcode result = CURLE_OK;
        while (running > 0) {
            curl_multi_perform(multi, &running);
            if (running > 0) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg == CURLMSG_DONE) result = msg->data.result;
        }
        curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
        if (result != CURLE_OK || bytes == 0) return false;
    }
    *seconds += std::chrono::duration<double>(Clock::now() - start).count();
    return true;
}

} // namespace

int main() {
    adserver::Options options;
    options.hostNames = {Host};
    auto server = adserver::AdServer::start(options);
    if (!server) {
        std::printf("connection_overhead_ratio: the local ad server did not start\n");
        return 1;
    }
    server->route("/small", adserver::Response::text("small body"));

    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());

    const std::string url = std::string("https://") + Host + "/small";
    auto request = *platform::URLRequest::withURLString(url);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURLM* multi = curl_multi_init();
    curl_slist* connectTo = nullptr;
    for (const auto& entry : config->connectToEntries()) connectTo = curl_slist_append(connectTo, entry.c_str());

    double ours = 0;
    double direct = 0;
    double warm = 0;
    std::vector<double> ratios;
    bool ok = viaConnection(request, 20, &warm) && viaCurl(multi, url, connectTo, server->caFile(), 20, &warm);
    for (int round = 0; ok && round < Rounds; ++round) {
        double oursInRound = 0;
        double directInRound = 0;
        // Which way goes first alternates too.
        if (round % 2 == 0) {
            ok = viaConnection(request, Requests / Rounds, &oursInRound) &&
                 viaCurl(multi, url, connectTo, server->caFile(), Requests / Rounds, &directInRound);
        } else {
            ok = viaCurl(multi, url, connectTo, server->caFile(), Requests / Rounds, &directInRound) &&
                 viaConnection(request, Requests / Rounds, &oursInRound);
        }
        if (ok && directInRound > 0) ratios.push_back(oursInRound / directInRound);
        ours += oursInRound;
        direct += directInRound;
    }
    curl_slist_free_all(connectTo);
    curl_multi_cleanup(multi);
    if (!ok || ratios.empty()) {
        std::printf("connection_overhead_ratio: a request failed, no ratio\n");
        return 1;
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("connection_overhead_ratio: %.3f ratio\n", ratios[ratios.size() / 2]);
    std::printf("connection_overhead_ratio_spread: %.3f to %.3f ratio\n", ratios.front(), ratios.back());
    std::printf("connection_urlconnection_us: %.1f us\n", ours / Requests * 1e6);
    std::printf("connection_curl_direct_us: %.1f us\n", direct / Requests * 1e6);
    return 0;
}
