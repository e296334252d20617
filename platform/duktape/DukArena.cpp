#include "platform/duktape/DukArena.h"

#include <algorithm>
#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RUZAVE_ARENA_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define RUZAVE_ARENA_ASAN 1
#endif

#if defined(RUZAVE_ARENA_ASAN)
#include <sanitizer/asan_interface.h>
#define ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define ARENA_POISON(p, n) ((void)(p), (void)(n))
#define ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace platform {

DukArena::~DukArena() {
    while (chunks_ != nullptr) {
        Chunk* previous = chunks_->previous;
        ARENA_UNPOISON(chunks_, chunks_->size);
        std::free(chunks_);
        chunks_ = previous;
    }
}

bool DukArena::grow(std::size_t atLeast, std::size_t mostReserved) {
    // Chunks double up to the largest, so a small page stays small and a big one takes few chunks.
    std::size_t size = chunks_ == nullptr ? kFirstChunk : std::min(chunks_->size * 2, kLargestChunk);
    size = std::max(size, atLeast + sizeof(Chunk));
    if (reserved_ > mostReserved || size > mostReserved - reserved_) return false;
    auto* chunk = static_cast<Chunk*>(std::malloc(size));
    if (chunk == nullptr) return false;
    // The rest of the current chunk is too short for this block: it is not worth a free list.
    chunk->previous = chunks_;
    chunk->size = size;
    chunks_ = chunk;
    reserved_ += size;
    cursor_ = reinterpret_cast<unsigned char*>(chunk + 1);
    end_ = reinterpret_cast<unsigned char*>(chunk) + size;
    ARENA_POISON(cursor_, end_ - cursor_);
    return true;
}

void* DukArena::allocate(std::size_t size, std::size_t mostReserved) {
    if (size == 0 || size > MaximumBlock) return nullptr;
    const std::size_t slot = slotOf(size);
    unsigned char* block;
    if (FreeBlock* f = free_[slot]) {
        ARENA_UNPOISON(f, sizeof(FreeBlock));
        free_[slot] = f->next;
        block = reinterpret_cast<unsigned char*>(f) - sizeof(Header);
    } else {
        const std::size_t total = sizeof(Header) + slot * kGrain;
        if (static_cast<std::size_t>(end_ - cursor_) < total && !grow(total, mostReserved)) return nullptr;
        block = cursor_;
        cursor_ += total;
    }
    ARENA_UNPOISON(block, sizeof(Header) + size);
    *reinterpret_cast<Header*>(block) = size;
    return block + sizeof(Header);
}

void DukArena::release(void* block) {
    if (block == nullptr) return;
    const std::size_t slot = slotOf(sizeOf(block));
    auto* f = static_cast<FreeBlock*>(block);
    ARENA_UNPOISON(f, sizeof(FreeBlock));
    f->next = free_[slot];
    free_[slot] = f;
    ARENA_POISON(static_cast<unsigned char*>(block) - sizeof(Header), sizeof(Header) + slot * kGrain);
}

bool DukArena::resize(void* block, std::size_t newSize) {
    const std::size_t old = sizeOf(block);
    if (newSize == 0 || slotOf(newSize) != slotOf(old)) return false;
    if (newSize > old) ARENA_UNPOISON(static_cast<unsigned char*>(block) + old, newSize - old);
    static_cast<Header*>(block)[-1] = newSize;
    if (newSize < old) ARENA_POISON(static_cast<unsigned char*>(block) + newSize, old - newSize);
    return true;
}

} // namespace platform
