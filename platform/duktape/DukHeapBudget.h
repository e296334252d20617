#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>

#include "platform/duktape/DukArena.h"

struct duk_hthread;

namespace platform {

// The per-heap user data handed to duk_create_heap (with allocate/reallocate/release as its allocation
// functions): the time limit of the current entry into the engine, and a memory cap. Small
// blocks come from the heap's own arena (but in sanitizer builds), which goes back to the system at once
// with the budget (so the budget must outlive its heap).
//
// The limit counts the processor time of the thread that runs the entry, so a healthy script on a busy
// machine, where the scheduler and not the script used the time, is not stopped; a wall-clock backstop
// kBackstopFactor times the limit stops an entry whatever the processor clock says (so a runaway holds
// its thread at most that long however busy the machine). A thread's processor time never runs ahead
// of the wall clock, so nothing is read until the limit has passed in wall time: from then on a
// watchdog thread ticks every kClockReadInterval, and the first check after each tick reads the
// processor clock, until the limit is used up. So the clock is read at a bounded interval of time
// however far apart (a slow built-in step) or close together the checks are. Before the limit has
// passed in wall time, and between ticks, a check is one relaxed load, no clock.
//
// The engine checks every thousand bytecodes, at every call, number conversion, JSON nesting level
// and regular expression backtrack, and at every allocation, which fails once the entry has expired.
// So a script that spends its time inside slow built-ins (a huge join, sort, replace, JSON.parse) is
// stopped as promptly as a plain loop. Once expired the entry stays expired until it ends: the script
// cannot catch the error and carry on. With the heap attached, an expired entry also holds the
// collector, so failing allocations do not each start a round of garbage collection on the way out.
// The few built-ins whose native loops reach none of these checks on large input are replaced by
// bounded steps (ScriptContext+Guards.cpp).
//
// Owned and used on one thread (the one running the heap); only the entry's state is shared with the
// watchdog.
struct DukHeapBudget {
    using Clock = std::chrono::steady_clock;
    static constexpr int kBackstopFactor = 2;
    static constexpr std::chrono::milliseconds kClockReadInterval{2};

    // The processor time of the calling thread (tests may substitute their own clock).
    static std::chrono::nanoseconds threadProcessorTime();

    // The entry's limit in wall time and its backstop.
    Clock::time_point deadline = Clock::time_point::max();
    Clock::time_point backstop = Clock::time_point::max();
    std::size_t memoryLimit = 64u << 20;
    std::size_t memoryUsed = 0;
    // Bytes the host holds on the heap's behalf (a page's documents), counted against the limit with
    // the heap's own: the heap gets only what they leave.
    std::size_t externalUsed = 0;
    // Room for `bytes` more, the heap's and the host's together.
    bool hasRoomFor(std::size_t bytes) const {
        const std::size_t used = memoryUsed + externalUsed;
        return bytes <= memoryLimit && used <= memoryLimit - bytes;
    }
    std::chrono::nanoseconds (*processorTime)() = threadProcessorTime;
    // Allocations refused for want of room (not of time) so far. The allocator cannot make room itself
    // (the host's bytes go only at points where it may touch the heap): the host reads this at such
    // points and gives back what nobody holds once it has moved.
    std::size_t roomRefusals = 0;

    DukHeapBudget() = default;
    ~DukHeapBudget();
    DukHeapBudget(const DukHeapBudget&) = delete;
    DukHeapBudget& operator=(const DukHeapBudget&) = delete;

    // The heap made with this budget (optional; lets an expired entry hold the collector).
    void attach(duk_hthread* heap) { heap_ = heap; }
    void startEntry(std::chrono::milliseconds limit);
    void endEntry();
    bool expired() const { return state_.load(std::memory_order_relaxed) == Expired; }
    // Ends the running entry's time now (as the limit or the backstop does).
    void expire() { state_.store(Expired, std::memory_order_relaxed); }
    // The engine's check: whether the entry has used up its time (and from then on, that it has).
    bool outOfTime();

    // Bytes the heap holds from the system (its arena's chunks and the blocks taken one by one): at
    // most twice the limit.
    std::size_t heldBytes() const { return arena_.reservedBytes() + systemBytes_; }
    // What all budgets of the process hold together (any thread).
    static std::size_t heldByAllHeaps();

    // The host hears of every block of `size` bytes the heap gives back (the blocks of one kind of
    // object it watches), from inside the engine: the hook may only take note. Null to stop.
    using ReleaseHook = void (*)(void* owner, void* block);
    void setReleaseHook(ReleaseHook hook, void* owner, std::size_t size) {
        releaseHook_ = hook;
        releaseOwner_ = owner;
        releaseSize_ = size;
    }
    // The size of a block the heap holds.
    static std::size_t sizeOf(const void* block);

    static void* allocate(void* udata, std::size_t size);
    static void* reallocate(void* udata, void* ptr, std::size_t size);
    static void release(void* udata, void* ptr);

private:
    friend class ScriptWatchdog;
    // Past the limit in wall time, the state is the watchdog's latest tick: FirstTick and up.
    enum State : int { Running, Expired, FirstTick };
    std::atomic<int> state_{Running};
    std::chrono::nanoseconds limit_{0};
    std::chrono::nanoseconds processorStart_{0};
    // The tick at which the processor clock was last read.
    int clockReadAt_ = Running;
    bool watched_ = false;
    duk_hthread* heap_ = nullptr;
    bool holdsCollector_ = false;

    bool refuseAllocation();
    // A block from the arena (small ones while it has room) or from the system.
    void* take(std::size_t size);
    void give(void* ptr);

    DukArena arena_;
    std::size_t systemBytes_ = 0;
    ReleaseHook releaseHook_ = nullptr;
    void* releaseOwner_ = nullptr;
    std::size_t releaseSize_ = 0;
};

} // namespace platform
