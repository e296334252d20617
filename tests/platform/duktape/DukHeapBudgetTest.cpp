#include <doctest/doctest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/duktape/DukArena.h"
#include "platform/duktape/DukHeapBudget.h"

#if defined(__SANITIZE_ADDRESS__)
#define RUZAVE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RUZAVE_TEST_ASAN 1
#endif
#endif
#if defined(RUZAVE_TEST_ASAN)
#include <sanitizer/asan_interface.h>
#endif

using platform::DukArena;
using platform::DukHeapBudget;

TEST_CASE("DukHeapBudget: reallocation keeps the contents across small and large blocks") {
    DukHeapBudget budget;
    const std::size_t sizes[] = {5, 7, 24, 300, DukArena::MaximumBlock, DukArena::MaximumBlock + 1, 4000, 100, 9};
    auto* p = static_cast<unsigned char*>(DukHeapBudget::allocate(&budget, 3));
    REQUIRE(p != nullptr);
    std::memcpy(p, "abc", 3);  // the pattern below, from the start
    std::size_t size = 3;
    for (std::size_t next : sizes) {
        p = static_cast<unsigned char*>(DukHeapBudget::reallocate(&budget, p, next));
        REQUIRE(p != nullptr);
        for (std::size_t i = size; i < next; ++i) p[i] = static_cast<unsigned char>('a' + i % 26);
        size = next;
        CHECK(budget.memoryUsed == size);
        bool intact = true;
        for (std::size_t i = 0; i < size; ++i) intact = intact && p[i] == static_cast<unsigned char>('a' + i % 26);
        CHECK(intact);
    }
    CHECK(DukHeapBudget::reallocate(&budget, p, 0) == nullptr);
    CHECK(budget.memoryUsed == 0);
}

TEST_CASE("DukHeapBudget: as block sizes churn, every size can fill the limit and the heap holds at most twice it") {
    // Free blocks of one size do not serve another: filling the budget with one size, dropping it and
    // filling it with another must neither fail early nor hold without bound.
    DukHeapBudget budget;
    budget.memoryLimit = 2u << 20;
    for (std::size_t size : {16u, 40u, 200u, 500u, 3000u, 24u}) {
        std::vector<void*> blocks;
        while (void* b = DukHeapBudget::allocate(&budget, size)) blocks.push_back(b);
        CHECK(blocks.size() > 100);
        CHECK(budget.memoryUsed <= budget.memoryLimit);
        CHECK(budget.memoryUsed + size > budget.memoryLimit);
        CHECK(budget.heldBytes() <= 2 * budget.memoryLimit);
        for (void* b : blocks) DukHeapBudget::release(&budget, b);
        CHECK(budget.memoryUsed == 0);
    }
    CHECK(budget.heldBytes() <= budget.memoryLimit);
}

namespace {
int clockReads = 0;
// A thread the scheduler keeps off the processor, whose every clock read is counted.
std::chrono::nanoseconds starvedCountedProcessor() {
    ++clockReads;
    return std::chrono::nanoseconds(0);
}
} // namespace

TEST_CASE("DukHeapBudget: past its limit in wall time the processor clock is read once per tick of time, however many checks come") {
    DukHeapBudget budget;
    budget.processorTime = starvedCountedProcessor;
    clockReads = 0;
    const auto started = std::chrono::steady_clock::now();
    budget.startEntry(std::chrono::milliseconds(500));
    // Checks as fast as they come, until the backstop ends the entry.
    long checks = 0;
    while (!budget.outOfTime()) ++checks;
    const auto elapsed = std::chrono::steady_clock::now() - started;
    budget.endEntry();
    CHECK(elapsed >= std::chrono::seconds(1));
    CHECK(checks > 10000);
    // Read at the start, then at least once past the limit, and at most once per tick.
    CHECK(clockReads >= 2);
    CHECK(clockReads <= 2 + elapsed / DukHeapBudget::kClockReadInterval);
}

#if defined(RUZAVE_SANITIZED)
TEST_CASE("DukHeapBudget: sanitizer builds take every block from the system, so the sanitizers see each one") {
    DukHeapBudget budget;
    budget.memoryLimit = 1u << 20;
    auto* a = static_cast<unsigned char*>(DukHeapBudget::allocate(&budget, 8));
    auto* b = static_cast<unsigned char*>(DukHeapBudget::allocate(&budget, 8));
    REQUIRE(a != nullptr);
    REQUIRE(b != nullptr);
    // No chunk held for later blocks: only the blocks themselves.
    CHECK(budget.heldBytes() == 16);
#if defined(RUZAVE_TEST_ASAN)
    // A red zone after each block, and a freed block stays poisoned rather than serving the next one.
    CHECK(__asan_address_is_poisoned(a + 8));
    DukHeapBudget::release(&budget, a);
    CHECK(__asan_address_is_poisoned(a));
    auto* c = static_cast<unsigned char*>(DukHeapBudget::allocate(&budget, 8));
    CHECK(c != a);
    DukHeapBudget::release(&budget, c);
#else
    DukHeapBudget::release(&budget, a);
#endif
    DukHeapBudget::release(&budget, b);
    CHECK(budget.heldBytes() == 0);
    // The limit holds without the arena.
    std::vector<void*> blocks;
    while (void* block = DukHeapBudget::allocate(&budget, 100)) blocks.push_back(block);
    CHECK(budget.memoryUsed <= budget.memoryLimit);
    CHECK(budget.memoryUsed + 100 > budget.memoryLimit);
    for (void* block : blocks) DukHeapBudget::release(&budget, block);
}
#endif
