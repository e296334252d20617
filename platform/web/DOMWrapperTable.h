#pragma once
// The script objects (wrappers) a page's heap holds for its document's nodes, by node id. A node keeps
// one wrapper for as long as either lives, so script sees the same object (with its listeners and
// whatever it stored on it) every time it meets the node. The table points at wrappers without owning
// them: the heap's allocator reports each object it frees (DukHeapBudget's release hook), and the
// table forgets a wrapper the moment its object goes, so it never hands out a freed one.
//
// Pinned wrappers are held from script by the page's pin table (the prelude's `W`); wrappers of nodes
// out of the document are unpinned for the length of a collection and live on only while script holds
// them (or a wrapper of a node of their tree: see WebPage::collectGarbage). Main thread only.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace platform {

class DOMWrapperTable {
public:
    // A new wrapper `object` (the engine's heap pointer) for `node`, pinned.
    void adopt(std::uint32_t node, void* object);
    // The live wrapper of `node`, or null.
    void* find(std::uint32_t node) const;
    bool holds(std::uint32_t node) const { return byNode_.contains(node); }
    bool isPinned(std::uint32_t node) const;
    void setPinned(std::uint32_t node, bool pinned);
    std::size_t unpinnedCount() const { return unpinned_; }
    // Whether the wrapper holds a link to its tree's holder (set at a collection).
    bool isLinked(std::uint32_t node) const;
    void setLinked(std::uint32_t node, bool linked);
    std::size_t size() const { return byNode_.size(); }
    // Every node with a live wrapper, pinned or not.
    std::vector<std::uint32_t> nodes() const;

    // The size of a wrapper object's block (0 until the first wrapper): the release hook watches those.
    std::size_t objectSize() const { return objectSize_; }
    void setObjectSize(std::size_t size) { objectSize_ = size; }
    // The release hook: `block` went back to the system; if it was a wrapper, its node has none now.
    static void released(void* table, void* block);

private:
    struct Entry {
        void* object = nullptr;
        bool pinned = true;
        bool linked = false;
    };
    std::unordered_map<std::uint32_t, Entry> byNode_;
    std::unordered_map<void*, std::uint32_t> byObject_;
    std::size_t unpinned_ = 0;
    std::size_t objectSize_ = 0;
};

} // namespace platform
