#pragma once
// The last few content fingerprints, by walk number, oldest first. Not locked: its owner serialises
// every use (GADApplication's content lock).
#include <cstdint>
#include <deque>
#include <map>
#include <memory>

namespace ruzave {

class GADContent;

class GADContentQueue {
public:
    explicit GADContentQueue(std::uint32_t size) : size_(size) {}
    static std::shared_ptr<GADContentQueue> initWithQueueSize(std::uint32_t size) {
        return std::make_shared<GADContentQueue>(size);
    }

    // Evicts the oldest when full; nothing is ever stored with a capacity of 0.
    void enqueueContent(const std::shared_ptr<GADContent>& content);
    // Removes the older of each pair of distinct contents with `content`'s fingerprint.
    void deduplicate(const std::shared_ptr<GADContent>& content);
    // The first content, oldest first, with the strictly greatest positive score; nullptr when none.
    std::shared_ptr<GADContent> contentWithHighestScore() const;
    std::shared_ptr<GADContent> contentWithSequenceNumber(std::uint32_t sequenceNumber) const;

    std::uint32_t size() const { return size_; }
    std::size_t count() const { return sequenceNumbers_.size(); }

private:
    std::map<std::uint32_t, std::shared_ptr<GADContent>> contents_;
    std::deque<std::uint32_t> sequenceNumbers_;
    std::uint32_t size_;
};

} // namespace ruzave
