#include "ads/core/telemetry/GADContentQueue.h"

#include <algorithm>
#include <set>

#include "ads/core/telemetry/GADContent.h"

namespace ruzave {

void GADContentQueue::enqueueContent(const std::shared_ptr<GADContent>& content) {
    if (!content || size_ == 0) {
        return;
    }
    const std::uint32_t number = content->sequenceNumber();
    // A number already stored is replaced in place rather than listed twice.
    if (contents_.count(number) != 0) {
        sequenceNumbers_.erase(std::remove(sequenceNumbers_.begin(), sequenceNumbers_.end(), number), sequenceNumbers_.end());
    }
    while (sequenceNumbers_.size() >= size_) {
        contents_.erase(sequenceNumbers_.front());
        sequenceNumbers_.pop_front();
    }
    contents_[number] = content;
    sequenceNumbers_.push_back(number);
}

void GADContentQueue::deduplicate(const std::shared_ptr<GADContent>& content) {
    if (!content) {
        return;
    }
    std::set<std::uint32_t> marked;
    for (const auto& [number, stored] : contents_) {
        if (stored != content && stored->fingerprint() == content->fingerprint()) {
            marked.insert(std::min(number, content->sequenceNumber()));
        }
    }
    for (std::uint32_t number : marked) {
        contents_.erase(number);
    }
    std::erase_if(sequenceNumbers_, [&](std::uint32_t number) { return marked.count(number) != 0; });
}

std::shared_ptr<GADContent> GADContentQueue::contentWithHighestScore() const {
    std::shared_ptr<GADContent> best;
    std::int32_t bestScore = 0;
    for (std::uint32_t number : sequenceNumbers_) {
        const auto& content = contents_.at(number);
        if (content->score() > bestScore) {
            best = content;
            bestScore = content->score();
        }
    }
    return best;
}

std::shared_ptr<GADContent> GADContentQueue::contentWithSequenceNumber(std::uint32_t sequenceNumber) const {
    auto it = contents_.find(sequenceNumber);
    return it != contents_.end() ? it->second : nullptr;
}

} // namespace ruzave
