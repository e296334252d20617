// ruzave-chaos: loads banners against the local ad server in this process, each meeting a random fault
// (seeded; the seed is printed), and prints per fault kind how the loads ended, with wedged, doubled and
// late answers and the heap and descriptor growth. Exits 1 on any wedged, doubled or late load, 2 on bad
// usage.
//   ruzave-chaos [LOADS] [--seed N] [--kinds a,b]   LOADS also from CHAOS_LOADS (default 10000), the seed
//   from CHAOS_SEED, the fault kinds to draw from (default: all) from CHAOS_KINDS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <optional>
#include <string>

#include "tools/chaos/ChaosRun.h"

namespace {

std::optional<std::uint64_t> number(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || text[0] == '-') return std::nullopt;
    return value;
}

int usage() {
    std::fprintf(stderr, "usage: ruzave-chaos [LOADS] [--seed N] [--kinds a,b,...]   (or CHAOS_LOADS, CHAOS_SEED, CHAOS_KINDS)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    chaos::ChaosOptions options;
    std::optional<std::uint64_t> loads = number(std::getenv("CHAOS_LOADS"));
    std::optional<std::uint64_t> seed = number(std::getenv("CHAOS_SEED"));
    const char* kindsSetting = std::getenv("CHAOS_KINDS");
    std::string kinds = kindsSetting != nullptr ? kindsSetting : "";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--kinds") == 0 && i + 1 < argc) {
            kinds = argv[++i];
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = number(argv[++i]);
            if (!seed) return usage();
        } else if (auto n = number(argv[i])) {
            loads = n;
        } else {
            return usage();
        }
    }
    if (loads) options.loads = static_cast<std::size_t>(*loads);
    for (std::size_t start = 0; start < kinds.size();) {
        std::size_t comma = std::min(kinds.find(',', start), kinds.size());
        if (comma > start) options.kinds.push_back(kinds.substr(start, comma - start));
        start = comma + 1;
    }
    if (options.loads > 10'000'000) return usage();
    options.seed = seed.value_or(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    options.progress = [](const std::string& line) {
        std::fprintf(stderr, "chaos: %s\n", line.c_str());
    };
    std::printf("chaos: seed %llu, %zu loads (repeat with CHAOS_SEED=%llu)\n",
                static_cast<unsigned long long>(options.seed), options.loads,
                static_cast<unsigned long long>(options.seed));
    std::fflush(stdout);

    chaos::ChaosReport report = chaos::ChaosRun::run(options);
    std::fputs(report.render().c_str(), stdout);
    if (!report.failure.empty()) {
        std::printf("chaos: failed: %s\n", report.failure.c_str());
    } else if (!report.clean()) {
        std::printf("chaos: failed: %zu wedged, %zu doubled, %zu late (seed %llu)\n", report.tally.wedged(),
                    report.tally.doubled(), report.tally.total().late, static_cast<unsigned long long>(options.seed));
    } else {
        std::puts("chaos: ok");
    }
    std::fflush(stdout);
    return report.clean() ? 0 : 1;
}
