#pragma once
#include <chrono>
#include <cstddef>

namespace platform {

// The per-heap user data handed to duk_create_heap: an execution deadline for the current entry into
// the engine, and a memory cap enforced by the allocation functions. Main thread only.
struct DukHeapBudget {
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    std::size_t memoryLimit = 64u << 20;
    std::size_t memoryUsed = 0;

    void startEntry(std::chrono::milliseconds limit) { deadline = std::chrono::steady_clock::now() + limit; }
    void endEntry() { deadline = std::chrono::steady_clock::time_point::max(); }
    bool expired() const { return std::chrono::steady_clock::now() >= deadline; }
};

} // namespace platform
