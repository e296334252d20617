#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// The small blocks of one script heap, carved from a few large chunks. A heap makes and drops tens of
// thousands of small objects (strings, property tables, functions); taken one by one from the system
// allocator they cost a call each way and a long round of coalescing when a page and its heap go. Here
// a freed block waits on the free list of its size for the next block of that size, and the chunks go
// back to the system at once when the arena ends.
//
// Every block carries its size just in front of it (DukHeapBudget reads it); blocks are 8-byte aligned,
// what the engine asks for on this platform. Blocks lie side by side with no gap and a freed block is
// handed out again at once, so a sanitizer would miss most overflows and uses after free here: sanitizer
// builds keep script heaps off the arena (DukHeapBudget). Under AddressSanitizer a free block and the
// unused rest of a chunk are still poisoned, which catches only a touch of memory no block holds.
//
// One thread at a time (the one running the heap).
class DukArena {
public:
    // The largest block kept here; larger ones are the caller's to take from the system.
    static constexpr std::size_t MaximumBlock = 512;

    DukArena() = default;
    ~DukArena();
    DukArena(const DukArena&) = delete;
    DukArena& operator=(const DukArena&) = delete;

    // A block of `size` bytes (1 to MaximumBlock), or nullptr when a new chunk is needed and would take
    // the arena past `mostReserved` bytes, or the system has none.
    void* allocate(std::size_t size, std::size_t mostReserved);
    // Gives back a block of this arena.
    void release(void* block);
    // The size a block was asked for with (or last resized to).
    static std::size_t sizeOf(const void* block) { return static_cast<const std::size_t*>(block)[-1]; }
    // Resizes a block in place when its slot holds `newSize` bytes too; false when it must move.
    bool resize(void* block, std::size_t newSize);

    // Bytes taken from the system for chunks.
    std::size_t reservedBytes() const { return reserved_; }

private:
    static constexpr std::size_t kGrain = 8;
    static constexpr std::size_t kSlots = MaximumBlock / kGrain + 1;
    static constexpr std::size_t kFirstChunk = 32u << 10;
    static constexpr std::size_t kLargestChunk = 128u << 10;

    using Header = std::size_t;
    // A block starts right after the size of the one before: 8-byte words keep blocks 8-byte aligned.
    static_assert(sizeof(Header) == kGrain);
    struct FreeBlock {
        FreeBlock* next;
    };
    struct Chunk {
        Chunk* previous;
        std::size_t size;
    };

    static std::size_t slotOf(std::size_t size) { return (size + kGrain - 1) / kGrain; }
    bool grow(std::size_t atLeast, std::size_t mostReserved);

    FreeBlock* free_[kSlots] = {};
    Chunk* chunks_ = nullptr;
    unsigned char* cursor_ = nullptr;
    unsigned char* end_ = nullptr;
    std::size_t reserved_ = 0;
};

} // namespace platform
