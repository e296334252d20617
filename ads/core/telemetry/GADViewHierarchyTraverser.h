#pragma once
// Walks a view tree on the main thread in small steps: each visit passes through a low-priority serial
// queue and then runs as its own main-queue block, so a large tree never blocks the app in one go (and
// no queue ever waits on the main thread).
// Depth-first pre-order, last subview first; the set of views is fixed when the walk starts.
// Main thread.
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {
class DispatchQueue;
class View;
} // namespace platform

namespace ruzave {

class GADViewHierarchyTraverser : public std::enable_shared_from_this<GADViewHierarchyTraverser> {
public:
    using TraversalBlock = std::function<void(const std::shared_ptr<platform::View>& view, std::uint32_t sequenceNumber)>;
    using CompletionBlock = std::function<void(bool finished)>;

    static std::shared_ptr<GADViewHierarchyTraverser> create();
    static std::shared_ptr<GADViewHierarchyTraverser> init() { return create(); }

    // A walk already running, or a missing root or traversal block, walks nothing: the completion
    // hears NO on the main queue. Otherwise every visit comes first, then the completion with YES.
    // Views that are gone by their turn are skipped.
    void traverseView(const std::shared_ptr<platform::View>& root, TraversalBlock traversal, CompletionBlock completion);

    bool traversing() const { return traversing_; }
    void setTraversing(bool traversing) { traversing_ = traversing; }
    // The number of the last walk started; 0 before the first.
    std::int32_t sequenceNumber() const { return sequenceNumber_; }

private:
    GADViewHierarchyTraverser();

    bool traversing_ = false;
    std::int32_t sequenceNumber_ = 0;
    std::shared_ptr<platform::DispatchQueue> lowPrioritySerialQueue_;
};

} // namespace ruzave
