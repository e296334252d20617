#include "tests/platform/web/AllocationTally.h"

#include <cstdlib>
#include <malloc.h>
#include <new>

namespace platform::webtest {

namespace {
thread_local AllocationTally* open = nullptr;
}

AllocationTally::AllocationTally() : outer_(open) {
    open = this;
}

AllocationTally::~AllocationTally() {
    open = outer_;
}

void AllocationTally::taken(std::size_t bytes) {
    if (open == nullptr) return;
    open->live_ += static_cast<long long>(bytes);
    if (open->live_ > open->peak_) open->peak_ = open->live_;
}

void AllocationTally::given(std::size_t bytes) {
    if (open != nullptr) open->live_ -= static_cast<long long>(bytes);
}

} // namespace platform::webtest

// The program's operator new and delete: malloc and free, tallied. Every form but the aligned ones
// (left as they are, and not tallied) goes through here, so that each block is freed as it was taken.
namespace {

void* take(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    platform::webtest::AllocationTally::taken(malloc_usable_size(p));
    return p;
}

void give(void* p) noexcept {
    if (p == nullptr) return;
    platform::webtest::AllocationTally::given(malloc_usable_size(p));
    std::free(p);
}

} // namespace

void* operator new(std::size_t size) { return take(size); }
void* operator new[](std::size_t size) { return take(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return take(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return take(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { give(p); }
void operator delete[](void* p) noexcept { give(p); }
void operator delete(void* p, std::size_t) noexcept { give(p); }
void operator delete[](void* p, std::size_t) noexcept { give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { give(p); }
