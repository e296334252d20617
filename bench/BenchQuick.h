#pragma once
// Quick mode: with RUZAVE_BENCH_QUICK=1 in the environment a bench program runs with small counts and
// sizes, so that a test (`make test` runs each so) sees it reach its end and print every figure; its
// figures then say nothing about speed. The environment, not an argument, carries it: the programs that
// run themselves again in child processes pass it on, and constants read it before main(). Any thread.
#include <cstdlib>
#include <cstring>

namespace bench {

inline bool quick() {
    const char* value = std::getenv("RUZAVE_BENCH_QUICK");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

// `full` for a measurement, `small` in quick mode.
template <class T>
T quickOr(T full, T small) {
    return quick() ? small : full;
}

} // namespace bench
