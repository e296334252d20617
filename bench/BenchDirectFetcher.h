#pragma once
// What the road benchmarks share: a steady clock in milliseconds, the median, a direct curl fetcher
// that reaches the local ad server the way the SDK's engine does (host map, trusted CA, one kept
// connection), giving the raw HTTP time of a request, and the program's set-up around a measurement.
#include <curl/curl.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"

namespace bench {

using SteadyClock = std::chrono::steady_clock;

inline double msSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

class DirectFetcher {
  public:
    explicit DirectFetcher(const std::string& caFile) : easy_(curl_easy_init()) {
        for (const auto& entry : platform::NetworkConfiguration::sharedInstance()->connectToEntries())
            connectTo_ = curl_slist_append(connectTo_, entry.c_str());
        curl_easy_setopt(easy_, CURLOPT_CONNECT_TO, connectTo_);
        curl_easy_setopt(easy_, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &sink);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &bytes_);
    }
    ~DirectFetcher() {
        curl_easy_cleanup(easy_);
        curl_slist_free_all(connectTo_);
    }
    DirectFetcher(const DirectFetcher&) = delete;
    DirectFetcher& operator=(const DirectFetcher&) = delete;

    // The milliseconds one GET of `url` took; negative when it failed.
    double fetch(const std::string& url) {
        bytes_ = 0;
        curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
        auto start = SteadyClock::now();
        CURLcode result = curl_easy_perform(easy_);
        double ms = msSince(start);
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        return (result == CURLE_OK && status == 200 && bytes_ > 0) ? ms : -1;
    }

  private:
    static size_t sink(char*, size_t size, size_t count, void* userp) {
        *static_cast<std::size_t*>(userp) += size * count;
        return size * count;
    }

    CURL* easy_;
    curl_slist* connectTo_ = nullptr;
    std::size_t bytes_ = 0;
};

// Runs `measure` with the app's home in a fresh temporary folder named after `name` (removed after),
// only warnings and errors logged so the figures stay readable, and curl set up around it. `fail`
// reports a home that could not be made.
template <class Measure, class Fail>
int runInTemporaryHome(const std::string& name, Measure measure, Fail fail) {
    std::string pattern = "/tmp/ruzave-bench-" + name + "-XXXXXX";
    std::vector<char> home(pattern.begin(), pattern.end());
    home.push_back('\0');
    if (::mkdtemp(home.data()) == nullptr) return fail("no temporary folder for the app home");
    ::setenv("RUZAVE_APP_HOME", home.data(), 1);
    platform::setLogLevel(platform::LogLevel::Warning);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = measure();
    curl_global_cleanup();
    // Written now, or the settings' write-back would bring the home back after it is removed.
    platform::UserDefaults::standard()->synchronize();
    platform::Sandbox::removeItem(home.data());
    return status;
}

} // namespace bench
