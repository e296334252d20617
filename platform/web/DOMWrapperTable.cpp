#include "platform/web/DOMWrapperTable.h"

#include <cassert>

namespace platform {

void DOMWrapperTable::adopt(std::uint32_t node, void* object) {
    auto it = byNode_.find(node);
    if (it != byNode_.end()) {
        // A node has one wrapper; a second would be a fault of the caller's. Keep the table exact anyway.
        byObject_.erase(it->second.object);
        if (!it->second.pinned) --unpinned_;
        byNode_.erase(it);
    }
    // One object is one node's wrapper: a second node's would be forgotten with the first.
    assert(object != nullptr && !byObject_.contains(object));
    byNode_.emplace(node, Entry{object, true});
    byObject_[object] = node;
    assert(byObject_.size() == byNode_.size());
}

void* DOMWrapperTable::find(std::uint32_t node) const {
    auto it = byNode_.find(node);
    return it == byNode_.end() ? nullptr : it->second.object;
}

bool DOMWrapperTable::isPinned(std::uint32_t node) const {
    auto it = byNode_.find(node);
    return it != byNode_.end() && it->second.pinned;
}

void DOMWrapperTable::setPinned(std::uint32_t node, bool pinned) {
    auto it = byNode_.find(node);
    if (it == byNode_.end() || it->second.pinned == pinned) return;
    it->second.pinned = pinned;
    if (pinned) --unpinned_;
    else ++unpinned_;
    assert(unpinned_ <= byNode_.size());
}

bool DOMWrapperTable::isLinked(std::uint32_t node) const {
    auto it = byNode_.find(node);
    return it != byNode_.end() && it->second.linked;
}

void DOMWrapperTable::setLinked(std::uint32_t node, bool linked) {
    if (auto it = byNode_.find(node); it != byNode_.end()) it->second.linked = linked;
}

std::vector<std::uint32_t> DOMWrapperTable::nodes() const {
    std::vector<std::uint32_t> out;
    out.reserve(byNode_.size());
    for (const auto& [node, entry] : byNode_) out.push_back(node);
    return out;
}

void DOMWrapperTable::released(void* table, void* block) {
    auto* self = static_cast<DOMWrapperTable*>(table);
    auto it = self->byObject_.find(block);
    if (it == self->byObject_.end()) return;
    auto entry = self->byNode_.find(it->second);
    assert(entry != self->byNode_.end() && entry->second.object == block);
    if (entry != self->byNode_.end()) {
        if (!entry->second.pinned) --self->unpinned_;
        self->byNode_.erase(entry);
    }
    self->byObject_.erase(it);
}

} // namespace platform
