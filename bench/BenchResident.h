#pragma once
// What the benchmark process holds resident now, in KB (Linux).
#include <fstream>
#include <unistd.h>

inline long residentKB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
