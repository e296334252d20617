#pragma once
// Serial dispatch queues, the main queue, global concurrent queues and groups.
// - async: FIFO on the queue.
// - sync: runs the block on the caller's thread, after everything queued before it and before
//   anything queued after it. sync onto the main queue from the main thread runs at once.
// Any thread.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    using Block = std::function<void()>;
    enum class Priority { High, Default, Low, Background };

    static std::shared_ptr<DispatchQueue> createSerial(std::string label);
    static std::shared_ptr<DispatchQueue> main();
    static std::shared_ptr<DispatchQueue> global(Priority priority = Priority::Default);
    // The queue whose block is running on this thread, or nullptr.
    static std::shared_ptr<DispatchQueue> current();
    // Blocks of the queues other than the main one that are waiting or running (a driver of virtual
    // time waits for them before it moves the clock far).
    static std::size_t backgroundBlockCount();

    virtual ~DispatchQueue() = default;
    virtual void async(Block block) = 0;
    virtual void sync(const Block& block) = 0;
    // Runs `block` on the queue after `delaySeconds` on the Clock (virtual time honours it).
    void asyncAfter(double delaySeconds, Block block);
    virtual bool isCurrent() const = 0;
    virtual bool isSerial() const = 0;
    const std::string& label() const { return label_; }

protected:
    explicit DispatchQueue(std::string label) : label_(std::move(label)) {}

private:
    std::string label_;
};

std::shared_ptr<DispatchQueue> mainQueue();

// A group of blocks whose completion can be awaited or observed.
class DispatchGroup : public std::enable_shared_from_this<DispatchGroup> {
public:
    static std::shared_ptr<DispatchGroup> create();
    void async(const std::shared_ptr<DispatchQueue>& queue, DispatchQueue::Block block);
    void enter();
    void leave();
    // Waits up to `timeoutSeconds` of real time (negative: forever). Returns true when all left.
    bool wait(double timeoutSeconds = -1);
    // Runs `block` on `queue` once the group is empty (at once if it already is).
    void notify(const std::shared_ptr<DispatchQueue>& queue, DispatchQueue::Block block);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long count_ = 0;
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, DispatchQueue::Block>> notify_;
};

} // namespace platform
