#include <doctest/doctest.h>

#include <cstring>
#include <vector>

#include "platform/duktape/DukArena.h"
#include "platform/duktape/DukHeapBudget.h"

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
