#include "platform/duktape/DukHeapBudget.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "duk_exec_timeout.h"

namespace platform {

// One thread for every heap in the process: sleeps until the earliest deadline of the entries under
// way. An entry past its limit in wall time gets a tick every kClockReadInterval (its own thread reads
// its processor clock at the next check), until it expires by itself or at its backstop. Starting an
// entry costs a lock, plus a wake-up only when its deadline is earlier than the one the thread sleeps
// towards.
class ScriptWatchdog {
public:
    static ScriptWatchdog& shared() {
        static ScriptWatchdog* watchdog = new ScriptWatchdog();  // never destroyed: the thread outlives statics
        return *watchdog;
    }

    void watch(DukHeapBudget& budget) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        budgets_.push_back(&budget);
        if (budget.deadline < wakeAt_) {
            wakeAt_ = budget.deadline;
            wake_.notify_one();
        }
    }

    void unwatch(DukHeapBudget& budget) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase(budgets_, &budget);
    }

private:
    // The next tick of an entry past its limit in wall time; an expired entry is left as it is.
    static void tick(DukHeapBudget& b) {
        int state = b.state_.load(std::memory_order_relaxed);
        while (state != DukHeapBudget::Expired) {
            int next = state < DukHeapBudget::FirstTick || state == std::numeric_limits<int>::max()
                           ? DukHeapBudget::FirstTick
                           : state + 1;
            if (b.state_.compare_exchange_weak(state, next, std::memory_order_relaxed)) return;
        }
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            auto now = DukHeapBudget::Clock::now();
            auto next = DukHeapBudget::Clock::time_point::max();
            for (auto* b : budgets_) {
                if (b->expired()) continue;
                if (b->backstop <= now) {
                    b->expire();
                } else if (b->deadline <= now) {
                    tick(*b);
                    next = std::min({next, b->backstop, now + DukHeapBudget::kClockReadInterval});
                } else {
                    next = std::min(next, b->deadline);
                }
            }
            wakeAt_ = next;
            if (next == DukHeapBudget::Clock::time_point::max()) wake_.wait(lock);
            else wake_.wait_until(lock, next);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::vector<DukHeapBudget*> budgets_;
    DukHeapBudget::Clock::time_point wakeAt_ = DukHeapBudget::Clock::time_point::max();
};

namespace {
// Blocks the arena does not keep come from the system, with their size in the last word in front of
// them as the arena's blocks have it, marked as the system's (the word before keeps them 16-byte
// aligned).
struct alignas(std::max_align_t) SystemHeader {
    std::size_t unused;
    std::size_t size;
};
constexpr std::size_t kSystemBlock = std::size_t(1) << (sizeof(std::size_t) * 8 - 1);
std::atomic<std::size_t> allHeld{0};

SystemHeader* systemHeaderOf(void* ptr) { return static_cast<SystemHeader*>(ptr) - 1; }
bool isSystemBlock(const void* ptr) { return (DukArena::sizeOf(ptr) & kSystemBlock) != 0; }
std::size_t blockSize(const void* ptr) { return DukArena::sizeOf(ptr) & ~kSystemBlock; }
} // namespace

std::size_t DukHeapBudget::sizeOf(const void* block) {
    return blockSize(block);
}

DukHeapBudget::~DukHeapBudget() {
    if (watched_) ScriptWatchdog::shared().unwatch(*this);
    allHeld.fetch_sub(heldBytes(), std::memory_order_relaxed);
}

std::size_t DukHeapBudget::heldByAllHeaps() {
    return allHeld.load(std::memory_order_relaxed);
}

std::chrono::nanoseconds DukHeapBudget::threadProcessorTime() {
    timespec ts{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) {
        // No processor clock: the wall clock, which never runs slower.
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
    }
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

namespace {
// now + limit * factor, or time_point::max() when that is past the clock's range.
DukHeapBudget::Clock::time_point after(DukHeapBudget::Clock::time_point now, std::chrono::milliseconds limit,
                                       int factor) {
    auto room =
        std::chrono::duration_cast<std::chrono::milliseconds>(DukHeapBudget::Clock::time_point::max() - now);
    if (limit >= room / factor) return DukHeapBudget::Clock::time_point::max();
    return now + limit * factor;
}
} // namespace

void DukHeapBudget::startEntry(std::chrono::milliseconds limit) {
    if (watched_) ScriptWatchdog::shared().unwatch(*this);
    state_.store(Running, std::memory_order_relaxed);
    limit = std::max(limit, std::chrono::milliseconds(0));
    limit_ = limit;
    processorStart_ = processorTime();
    clockReadAt_ = Running;
    auto now = Clock::now();
    deadline = after(now, limit, 1);
    backstop = after(now, limit, kBackstopFactor);
    watched_ = true;
    ScriptWatchdog::shared().watch(*this);
}

void DukHeapBudget::endEntry() {
    if (watched_) ScriptWatchdog::shared().unwatch(*this);
    watched_ = false;
    deadline = Clock::time_point::max();
    backstop = Clock::time_point::max();
    state_.store(Running, std::memory_order_relaxed);
    if (holdsCollector_) ruzave_duk_hold_collector(heap_, false);
    holdsCollector_ = false;
}

bool DukHeapBudget::outOfTime() {
    int state = state_.load(std::memory_order_relaxed);
    if (state == Running) return false;
    if (state == Expired) return true;
    // Past the limit in wall time: at each tick, whether the thread itself used it up.
    if (state == clockReadAt_) return false;
    clockReadAt_ = state;
    if (processorTime() - processorStart_ < limit_) return false;
    expire();
    return true;
}

bool DukHeapBudget::refuseAllocation() {
    if (!outOfTime()) return false;
    if (!holdsCollector_ && heap_ != nullptr) holdsCollector_ = ruzave_duk_hold_collector(heap_, true);
    return true;
}

void* DukHeapBudget::allocate(void* udata, std::size_t size) {
    auto* b = static_cast<DukHeapBudget*>(udata);
    if (size == 0 || b->refuseAllocation()) return nullptr;
    if (!b->hasRoomFor(size)) {
        ++b->roomRefusals;
        return nullptr;
    }
    void* block = b->take(size);
    if (block != nullptr) b->memoryUsed += size;
    return block;
}

void* DukHeapBudget::take(std::size_t size) {
    // The arena holds at most the limit; once its free blocks are all of other sizes, small blocks come
    // from the system too. So a heap holds at most twice its limit, whatever sizes it churns through.
    // Sanitizer builds leave the arena out: the system allocator's blocks have red zones and are not
    // reused at once, so overflows and uses after free inside a heap are caught.
#if !defined(RUZAVE_SANITIZED)
    if (size <= DukArena::MaximumBlock) {
        const std::size_t reserved = arena_.reservedBytes();
        if (void* block = arena_.allocate(size, memoryLimit)) {
            if (arena_.reservedBytes() != reserved)
                allHeld.fetch_add(arena_.reservedBytes() - reserved, std::memory_order_relaxed);
            return block;
        }
    }
#endif
    if (size >= kSystemBlock) return nullptr;
    auto* h = static_cast<SystemHeader*>(std::malloc(sizeof(SystemHeader) + size));
    if (h == nullptr) return nullptr;
    h->size = size | kSystemBlock;
    systemBytes_ += size;
    allHeld.fetch_add(size, std::memory_order_relaxed);
    return h + 1;
}

void DukHeapBudget::give(void* ptr) {
    if (!isSystemBlock(ptr)) {
        arena_.release(ptr);
        return;
    }
    systemBytes_ -= blockSize(ptr);
    allHeld.fetch_sub(blockSize(ptr), std::memory_order_relaxed);
    std::free(systemHeaderOf(ptr));
}

void DukHeapBudget::release(void* udata, void* ptr) {
    if (ptr == nullptr) return;
    auto* b = static_cast<DukHeapBudget*>(udata);
    const std::size_t size = blockSize(ptr);
    if (b->releaseHook_ != nullptr && size == b->releaseSize_) b->releaseHook_(b->releaseOwner_, ptr);
    b->memoryUsed -= size;
    b->give(ptr);
}

void* DukHeapBudget::reallocate(void* udata, void* ptr, std::size_t size) {
    if (ptr == nullptr) return allocate(udata, size);
    if (size == 0) {
        release(udata, ptr);
        return nullptr;
    }
    auto* b = static_cast<DukHeapBudget*>(udata);
    const std::size_t old = blockSize(ptr);
    if (size > old && b->refuseAllocation()) return nullptr;
    if (size > old && !b->hasRoomFor(size - old)) {
        ++b->roomRefusals;
        return nullptr;
    }
    void* moved = ptr;
    if (isSystemBlock(ptr)) {
        if (size >= kSystemBlock) return nullptr;
        auto* n = static_cast<SystemHeader*>(std::realloc(systemHeaderOf(ptr), sizeof(SystemHeader) + size));
        if (n == nullptr) return nullptr;
        n->size = size | kSystemBlock;
        b->systemBytes_ = b->systemBytes_ - old + size;
        allHeld.fetch_add(size - old, std::memory_order_relaxed);  // wraps to a subtraction when smaller
        moved = n + 1;
    } else if (!b->arena_.resize(ptr, size)) {
        moved = b->take(size);
        // A block that cannot move smaller may stay as it is.
        if (moved == nullptr) return size < old ? ptr : nullptr;
        std::memcpy(moved, ptr, std::min(old, size));
        b->give(ptr);
    }
    b->memoryUsed = b->memoryUsed - old + size;
    return moved;
}

} // namespace platform
