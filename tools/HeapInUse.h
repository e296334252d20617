#pragma once
// Bytes the whole process holds allocated now, every thread's and library's: what glibc counts in its
// arenas and in the blocks it maps on their own (a large one, as a long URL's, while its threshold is
// low), or, under a sanitizer, whose allocator takes over malloc, that allocator's own count. For the
// tests, benchmarks and chaos run that compare what code holds with what it allocated.
#include <malloc.h>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RUZAVE_ALLOCATOR_STATS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define RUZAVE_ALLOCATOR_STATS 1
#endif
#endif
#ifdef RUZAVE_ALLOCATOR_STATS
// The sanitizers' runtime exports it; the compiler need not ship its header.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tools {

inline long long heapInUseBytes() {
#ifdef RUZAVE_ALLOCATOR_STATS
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}

} // namespace tools
