// native_road_overhead_ms: the median over 100 warm native loads (the SDK-core page already loaded) of
// the time from -loadRequest: to the delegate's content ad, for a content ad with two pictures, a logo
// and an attribution icon, minus the time of the same HTTP requests (ad, support page, pictures) made
// one after another with curl right after each load.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchDirectFetcher.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADAdLoaderAdTypes.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "ads/native/GADNativeContentAd.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/NativeAds.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"
#include "bench/BenchQuick.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kWarmUp = bench::quickOr(5, 1);
const int kMeasured = bench::quickOr(100, 3);
constexpr double kTimeoutSeconds = 10.0;

double elapsedMs(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

struct Receiver : ruzave::GADNativeContentAdLoaderDelegate {
    int received = 0;
    int failed = 0;
    std::string lastError;
    void adLoaderDidFailToReceiveAdWithError(ruzave::GADAdLoader&, const platform::Error& e) override {
        ++failed;
        lastError = e.description;
    }
    void adLoaderDidReceiveNativeContentAd(ruzave::GADAdLoader&, const std::shared_ptr<ruzave::GADNativeContentAd>&) override {
        ++received;
    }
};

std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// The same requests with one kept-alive curl handle, in order; negative when one failed.
double rawRequests(CURL* easy, const std::vector<std::string>& urls) {
    auto start = Clock::now();
    for (const auto& url : urls) {
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        if (curl_easy_perform(easy) != CURLE_OK) return -1;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) return -1;
    }
    return elapsedMs(start);
}

int fail(const std::string& why) {
    std::printf("native_road_overhead_ms: %s, no figure\n", why.c_str());
    return 1;
}

int measure() {
    demo::DemoServer::Options options;
    options.ad.refreshRate.clear();
    std::string why;
    auto server = demo::DemoServer::start(options, &why);
    if (!server) return fail(why);
    adserver::AdServer& http = server->server();
    const std::string base = std::string("https://") + ruzave::GADHosts::kAdServerHost;
    adserver::NativeAds::installSupportPage(http);
    adserver::NativeAds::installPictures(http);
    http.routeHost(ruzave::GADHosts::kAdServerHost, demo::DemoServer::kNativePath, [base](const adserver::Request&) {
        return adserver::NativeAds::nativeResponse(adserver::NativeAds::contentAdResponse(base));
    });
    demo::DemoTimeline timeline;
    auto banner = std::make_shared<demo::DemoBannerDelegate>(timeline);
    auto app = demo::DemoHostApp::launch(options.adUnitID, banner, &why);
    if (!app) return fail(why);

    auto images = std::make_shared<ruzave::GADNativeAdImageAdLoaderOptions>();
    images->shouldRequestMultipleImages = true;
    auto loader = ruzave::GADAdLoader::initWithAdUnitID(options.nativeAdUnitID, app->rootViewController(),
                                                        {ruzave::kGADNativeContentAdLoaderType}, {images});
    auto receiver = std::make_shared<Receiver>();
    loader->setDelegate(receiver);

    CURL* easy = curl_easy_init();
    curl_slist* connectTo = nullptr;
    for (const auto& entry : platform::NetworkConfiguration::sharedInstance()->connectToEntries())
        connectTo = curl_slist_append(connectTo, entry.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(easy, CURLOPT_CAINFO, http.caFile().c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    const std::vector<std::string> raw = {
        base + demo::DemoServer::kNativePath,
        std::string("https://") + ruzave::GADHosts::kSDKCoreHost + adserver::NativeAds::kSupportPagePath,
        base + "/native/img/image.png", base + "/native/img/image.png", base + "/native/img/logo.png",
        base + "/native/img/badge.png"};

    auto& loop = platform::MainLoop::main();
    std::vector<double> overheads, roads, directs;
    int status = 0;
    for (int i = 0; i < kWarmUp + kMeasured; ++i) {
        int before = receiver->received;
        auto start = Clock::now();
        loader->loadRequest(ruzave::GADRequest::request());
        loop.runUntil([&] { return receiver->received > before || receiver->failed > 0; }, kTimeoutSeconds);
        double road = elapsedMs(start);
        if (receiver->received == before) {
            status = fail(receiver->failed ? receiver->lastError : std::string("no ad within the time-out"));
            break;
        }
        double direct = rawRequests(easy, raw);
        if (direct < 0) {
            status = fail("a direct request failed");
            break;
        }
        if (i < kWarmUp) continue;
        roads.push_back(road);
        directs.push_back(direct);
        overheads.push_back(road - direct);
    }
    if (status == 0) {
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        std::printf("native_road_overhead_ms: %.3f ms\n", median(overheads));
        std::printf("native_road_load_median_ms: %.3f ms\n", median(roads));
        std::printf("native_road_raw_http_median_ms: %.3f ms\n", median(directs));
    }
    curl_easy_cleanup(easy);
    curl_slist_free_all(connectTo);
    loader.reset();
    app.reset();
    loop.runUntilIdle();
    return status;
}

} // namespace

int main() {
    return bench::runInTemporaryHome("native", measure, fail);
}
