#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>

#include "platform/duktape/DukArena.h"

struct duk_hthread;

namespace platform {

// The per-heap user data handed to duk_create_heap (with allocate/reallocate/release as its allocation
// functions): the execution deadline of the current entry into the engine, and a memory cap. Small
// blocks come from the heap's own arena, which goes back to the system at once with the budget (so the
// budget must outlive its heap).
//
// A watchdog thread raises `expired` when the deadline passes; the engine reads it (a load, no clock)
// every thousand bytecodes, at every call, number conversion, JSON nesting level and regular
// expression backtrack, and at every allocation, which then fails. So a script that spends its time
// inside slow built-ins (a huge join, sort, replace, JSON.parse) is stopped as promptly as a plain
// loop. Once raised the flag stays raised until the entry ends: the script cannot catch the error and
// carry on. With the heap attached, an expired entry also holds the collector, so failing allocations
// do not each start a round of garbage collection on the way out. The few built-ins whose native loops
// reach none of these checks on large input are replaced by bounded steps (ScriptContext+Guards.cpp).
//
// Owned and used on one thread (the one running the heap); only `expired` is shared with the watchdog.
struct DukHeapBudget {
    using Clock = std::chrono::steady_clock;

    Clock::time_point deadline = Clock::time_point::max();
    std::size_t memoryLimit = 64u << 20;
    std::size_t memoryUsed = 0;

    DukHeapBudget() = default;
    ~DukHeapBudget();
    DukHeapBudget(const DukHeapBudget&) = delete;
    DukHeapBudget& operator=(const DukHeapBudget&) = delete;

    // The heap made with this budget (optional; lets an expired entry hold the collector).
    void attach(duk_hthread* heap) { heap_ = heap; }
    void startEntry(std::chrono::milliseconds limit);
    void endEntry();
    bool expired() const { return expired_.load(std::memory_order_relaxed); }
    // Ends the running entry's time now (as the watchdog does at the deadline).
    void expire() { expired_.store(true, std::memory_order_relaxed); }

    // Bytes the heap holds from the system (its arena's chunks and the blocks taken one by one): at
    // most twice the limit.
    std::size_t heldBytes() const { return arena_.reservedBytes() + systemBytes_; }

    static void* allocate(void* udata, std::size_t size);
    static void* reallocate(void* udata, void* ptr, std::size_t size);
    static void release(void* udata, void* ptr);

private:
    friend class ScriptWatchdog;
    std::atomic<bool> expired_{false};
    bool watched_ = false;
    duk_hthread* heap_ = nullptr;
    bool holdsCollector_ = false;

    bool refuseAllocation();
    // A block from the arena (small ones while it has room) or from the system.
    void* take(std::size_t size);
    void give(void* ptr);

    DukArena arena_;
    std::size_t systemBytes_ = 0;
};

} // namespace platform
