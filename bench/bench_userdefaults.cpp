// Times writing a 1,000-entry dictionary into the user defaults and synchronising it to disk.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "bench/BenchQuick.h"

int main() {
    char pattern[] = "/tmp/ruzave-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string home = pattern;
    platform::Sandbox::resetForTesting(home);

    const int kRuns = bench::quickOr(15, 3);
    std::vector<double> times;
    auto defaults = platform::UserDefaults::standard();
    for (int run = 0; run < kRuns; ++run) {
        platform::Value dict = platform::Value::object();
        for (int i = 0; i < 1000; ++i) {
            // Mixed kinds, and different content each run so that every run really writes.
            std::string key = "key" + std::to_string(i);
            switch (i % 4) {
            case 0:
                dict[key] = "value " + std::to_string(i * run);
                break;
            case 1:
                dict[key] = i * run;
                break;
            case 2:
                dict[key] = (i + run) % 2 == 0;
                break;
            default:
                dict[key] = 0.5 * i + run;
                break;
            }
        }
        auto start = std::chrono::steady_clock::now();
        defaults->set("bench", std::move(dict));
        bool ok = defaults->synchronize();
        auto end = std::chrono::steady_clock::now();
        if (!ok) {
            std::fprintf(stderr, "synchronize failed\n");
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    defaults.reset();
    platform::UserDefaults::resetStandardForTesting();
    platform::Sandbox::removeItem(home);

    std::sort(times.begin(), times.end());
    std::printf("userdefaults_write_sync_1000_ms: %.3f ms\n", times[times.size() / 2]);
    return 0;
}
