#pragma once
// Counts the bytes the calling thread takes and gives back through operator new and delete while a tally
// is open (the test program replaces them), so that a test can compare what code says it holds with
// what it allocated. Blocks are measured by their usable size, so a block freed while the tally is open
// counts though it was taken before.
#include <cstddef>

namespace platform::webtest {

class AllocationTally {
public:
    AllocationTally();
    ~AllocationTally();
    AllocationTally(const AllocationTally&) = delete;
    AllocationTally& operator=(const AllocationTally&) = delete;

    // Bytes taken less bytes given back since the tally opened, and the most that ever was.
    long long live() const { return live_; }
    long long peak() const { return peak_; }
    void resetPeak() { peak_ = live_; }

    static void taken(std::size_t bytes);
    static void given(std::size_t bytes);

private:
    long long live_ = 0;
    long long peak_ = 0;
    AllocationTally* outer_;
};

} // namespace platform::webtest
