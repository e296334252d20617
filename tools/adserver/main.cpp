// ruzave-adserver: serves a folder of fixtures over HTTPS on 127.0.0.1, or checks itself.
#include "tools/adserver/AdServer.h"

#include <curl/curl.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: ruzave-adserver [--port N] [--host NAME]... [--folder DIR]\n"
                 "       ruzave-adserver --selfcheck\n");
    return 2;
}

int failed(const std::string& why) {
    std::printf("adserver: failed: %s\n", why.c_str());
    std::fflush(stdout);
    return 1;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// Fetches a page from a fresh server the way the SDK will: its real host name mapped to the local port,
// trusting only the generated CA.
int selfCheck() {
    const std::string host = "selfcheck.ruzave.example";
    adserver::Options options;
    options.hostNames = {host};
    auto server = adserver::AdServer::start(options);
    if (!server) return failed("the server did not start");
    server->route("/selfcheck", adserver::Response::text("ok", "text/plain"));

    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return failed("libcurl did not initialise");
    CURL* curl = curl_easy_init();
    if (!curl) return failed("no curl handle");
    std::string body;
    std::string url = "https://" + host + "/selfcheck";
    std::string caFile = server->caFile();
    curl_slist* connectTo = curl_slist_append(nullptr, server->connectToSpec(443).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(connectTo);
    curl_global_cleanup();

    if (code != CURLE_OK) return failed(url + ": " + curl_easy_strerror(code));
    if (status != 200) return failed(url + ": status " + std::to_string(status));
    if (body != "ok") return failed(url + ": unexpected body \"" + body + "\"");
    if (server->requestCount("/selfcheck") != 1) return failed("the request was not logged");
    std::printf("adserver: ok\n");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    adserver::Options options;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--selfcheck") {
            return selfCheck();
        } else if (arg == "--port" && hasValue) {
            char* end = nullptr;
            long port = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || port < 0 || port > 65535) return usage();
            options.port = static_cast<std::uint16_t>(port);
        } else if (arg == "--host" && hasValue) {
            options.hostNames.push_back(argv[++i]);
        } else if (arg == "--folder" && hasValue) {
            folder = argv[++i];
        } else {
            return usage();
        }
    }

    // Block the stop signals before any server thread exists, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto server = adserver::AdServer::start(options);
    if (!server) return 1;
    if (!folder.empty()) server->serveFolder("/", folder);
    std::printf("adserver: listening on https://127.0.0.1:%u\n", static_cast<unsigned>(server->port()));
    std::printf("adserver: ca %s\n", server->caFile().c_str());
    if (!options.hostNames.empty()) std::printf("adserver: connect-to %s\n", server->connectToSpec().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    return 0;
}
