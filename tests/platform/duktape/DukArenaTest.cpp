#include <doctest/doctest.h>

#include <cstring>
#include <vector>

#include "platform/duktape/DukArena.h"

using platform::DukArena;

namespace {
constexpr std::size_t kNoLimit = 1u << 30;
}

TEST_CASE("DukArena: a freed block serves the next block of its size, so churn takes no new chunks") {
    DukArena arena;
    std::vector<void*> blocks;
    for (int i = 0; i < 1000; ++i) blocks.push_back(arena.allocate(40, kNoLimit));
    const std::size_t reserved = arena.reservedBytes();
    CHECK(reserved >= 1000 * 48);
    for (int round = 0; round < 50; ++round) {
        for (auto*& b : blocks) {
            arena.release(b);
            b = nullptr;
        }
        // Sizes of one slot share the free blocks.
        for (int i = 0; i < 1000; ++i) blocks[i] = arena.allocate(i % 2 == 0 ? 33 : 40, kNoLimit);
    }
    CHECK(arena.reservedBytes() == reserved);
    for (auto* b : blocks) {
        REQUIRE(b != nullptr);
        CHECK(reinterpret_cast<std::uintptr_t>(b) % 8 == 0);
    }
}

TEST_CASE("DukArena: blocks keep their size and contents, and do not overlap") {
    DukArena arena;
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    for (std::size_t size = 1; size <= DukArena::MaximumBlock; ++size) {
        auto* b = static_cast<unsigned char*>(arena.allocate(size, kNoLimit));
        REQUIRE(b != nullptr);
        CHECK(DukArena::sizeOf(b) == size);
        std::memset(b, static_cast<int>(size & 0xff), size);
        blocks.emplace_back(b, size);
    }
    for (const auto& [b, size] : blocks) {
        bool intact = true;
        for (std::size_t i = 0; i < size; ++i) intact = intact && b[i] == static_cast<unsigned char>(size & 0xff);
        CHECK(intact);
    }
    // Resizing stays in place within a slot only.
    auto* b = blocks[16].first;  // 17 bytes: the slot of 17 to 24
    CHECK(arena.resize(b, 24));
    CHECK(DukArena::sizeOf(b) == 24);
    CHECK(arena.resize(b, 17));
    CHECK_FALSE(arena.resize(b, 25));
    CHECK_FALSE(arena.resize(b, 16));
    CHECK(DukArena::sizeOf(b) == 17);
}

TEST_CASE("DukArena: no new chunk past the limit, nor blocks out of its range") {
    DukArena arena;
    CHECK(arena.allocate(0, kNoLimit) == nullptr);
    CHECK(arena.allocate(DukArena::MaximumBlock + 1, kNoLimit) == nullptr);
    CHECK(arena.allocate(8, 100) == nullptr);
    CHECK(arena.reservedBytes() == 0);

    const std::size_t limit = 256u << 10;
    std::size_t taken = 0;
    while (arena.allocate(DukArena::MaximumBlock, limit) != nullptr) ++taken;
    CHECK(taken > 0);
    CHECK(arena.reservedBytes() <= limit);
    CHECK(taken * DukArena::MaximumBlock <= limit);
}
