// Precache against curl: a 50 MB file from the local ad server, once to disk with curl and once through
// the precache handler, in the same run. Prints the throughput ratio (handler / curl) and how far the
// resident set grew while the handler downloaded (it streams, so it should barely move). The handler's
// download is asked for as a creative asks: by the script message of a page loaded in an ad view, whose
// load the file then is.
#include <curl/curl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADPrecacheGMSGHandler.h"
#include "bench/BenchQuick.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/PrecacheRoutes.h"

namespace {

const std::size_t kFileBytes = bench::quickOr<std::size_t>(50u * 1024 * 1024, 2u * 1024 * 1024);
constexpr const char* kHost = "ads.ruzave.example";

long rssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

std::size_t toFile(char* data, std::size_t size, std::size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int fail(const std::string& why) {
    std::printf("precache_throughput_ratio: %s, no figure\n", why.c_str());
    return 1;
}

// The server runs in a child process, so the bodies it builds never count in this process's RSS.
// It writes its connect-to spec and CA file path to `pipe`, then serves until killed.
void serve(int pipe) {
    adserver::Options options;
    options.hostNames = {kHost};
    auto server = adserver::AdServer::start(options);
    std::string line;
    if (server) {
        adserver::installPrecacheRoutes(*server);
        line = server->connectToSpec(443) + "\n" + server->caFile() + "\n";
    }
    if (::write(pipe, line.data(), line.size()) < 0) _exit(1);
    ::close(pipe);
    for (;;) ::pause();
}

int measure(const std::string& home, const std::string& spec, const std::string& caFile) {
    auto config = platform::NetworkConfiguration::sharedInstance();
    if (!config->setHostMappings(spec)) return fail("no host mapping");
    config->setTrustedCAFile(caFile);
    const std::string url = std::string("https://") + kHost + "/precache/known?size=" + std::to_string(kFileBytes);

    CURL* easy = curl_easy_init();
    curl_slist* connectTo = nullptr;
    for (const auto& entry : config->connectToEntries()) connectTo = curl_slist_append(connectTo, entry.c_str());
    std::string curlFile = home + "/curl.bin";
    std::FILE* out = std::fopen(curlFile.c_str(), "wb");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &toFile);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, out);
    auto start = std::chrono::steady_clock::now();
    CURLcode code = out ? curl_easy_perform(easy) : CURLE_WRITE_ERROR;
    double curlSeconds = seconds(start);
    if (out) std::fclose(out);
    curl_easy_cleanup(easy);
    curl_slist_free_all(connectTo);
    if (code != CURLE_OK) return fail("curl failed");

    // The ad: a view whose delegate routes its page's script messages to the SDK's handlers.
    auto adView = ruzave::GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    auto delegate = ruzave::GADAdViewDelegate::init();
    adView->setDelegate(delegate);
    std::shared_ptr<ruzave::GADPrecacheGMSGHandler> handler;
    for (const auto& h : delegate->gmsgHandlers())
        if (auto precache = std::dynamic_pointer_cast<ruzave::GADPrecacheGMSGHandler>(h)) handler = precache;
    if (!handler) return fail("the ad view's delegate has no precache handler");
    std::atomic<bool> done{false};
    std::atomic<bool> complete{false};
    std::atomic<long> peak{0};
    std::atomic<long> events{0};
    handler->setEventObserver([&](const platform::Value& event) {
        events.fetch_add(1);
        long now = rssKb();
        long seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {}
        if (event["event"] != "precacheProgress") {
            complete = event["event"] == "precacheComplete";
            done = true;
        }
    });
    // The creative asks once it has loaded, as an ad's page does.
    const std::string page = "<!DOCTYPE html><html><body style=\"margin:0\"><p>ad</p><script>\n"
                             "window.addEventListener('load', function () {\n"
                             "  location.href = 'gmsg://mobileads.ruzave.example/precache?src=' + "
                             "encodeURIComponent('" + url + "');\n"
                             "});\n</script></body></html>";
    long before = rssKb();
    start = std::chrono::steady_clock::now();
    adView->loadHTMLString(page, platform::URL::parse(std::string("https://") + kHost + "/ad.html"));
    platform::MainLoop::main().runUntil([&] { return done.load(); }, 120.0);
    double handlerSeconds = seconds(start);
    if (!complete) return fail("the precache download did not complete");
    std::printf("precache_throughput_ratio: %.3f\n", curlSeconds / handlerSeconds);
    std::printf("precache_rss_growth_kb: %ld KB\n", std::max(0L, peak.load() - before));
    std::printf("precache_curl_s: %.3f s\n", curlSeconds);
    std::printf("precache_handler_s: %.3f s\n", handlerSeconds);
    std::printf("precache_events: %ld events\n", events.load());
    return 0;
}

} // namespace

int main() {
    char home[] = "/tmp/ruzave-bench-precache-XXXXXX";
    if (::mkdtemp(home) == nullptr) return fail("no temporary folder for the app home");
    ::setenv("RUZAVE_APP_HOME", home, 1);
    int fds[2];
    if (::pipe(fds) != 0) return fail("no pipe");
    pid_t child = ::fork();
    if (child < 0) return fail("no server process");
    if (child == 0) {
        ::close(fds[0]);
        serve(fds[1]);
    }
    ::close(fds[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        answer.append(buffer, static_cast<std::size_t>(n));
        if (std::count(answer.begin(), answer.end(), '\n') >= 2) break;
    }
    ::close(fds[0]);
    auto newline = answer.find('\n');
    platform::setLogLevel(platform::LogLevel::Warning);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = newline == std::string::npos
                     ? fail("no ad server")
                     : measure(home, answer.substr(0, newline),
                               answer.substr(newline + 1, answer.find('\n', newline + 1) - newline - 1));
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    curl_global_cleanup();
    platform::Sandbox::removeItem(home);
    return status;
}
