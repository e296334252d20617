#pragma once
// Operation queues: operations with cancellation and completion blocks, a width (maximum concurrent
// operations), suspension, cancelAll and waiting. The main operation queue runs on the main loop.
// Any thread.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class Operation : public std::enable_shared_from_this<Operation> {
public:
    virtual ~Operation() = default;
    // The work; a subclass checks isCancelled() as it goes.
    virtual void main() {}
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }
    bool isExecuting() const { return executing_; }
    bool isFinished() const { return finished_; }
    void setCompletionBlock(std::function<void()> block);

private:
    friend class OperationQueue;
    void run();
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;
    std::function<void()> completion_;
};

class BlockOperation : public Operation {
public:
    static std::shared_ptr<BlockOperation> create(std::function<void()> block);
    void main() override;

private:
    std::function<void()> block_;
};

class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
public:
    static std::shared_ptr<OperationQueue> create(std::string name = {});
    // Runs its operations on the main thread, one at a time.
    static std::shared_ptr<OperationQueue> mainQueue();
    // The queue whose operation runs on this thread, or nullptr.
    static std::shared_ptr<OperationQueue> current();

    void addOperation(std::shared_ptr<Operation> op);
    void addOperation(std::function<void()> block);
    // -1: as many as the system likes.
    void setMaxConcurrentOperationCount(int n);
    int maxConcurrentOperationCount() const;
    void setSuspended(bool suspended);
    bool isSuspended() const;
    void cancelAllOperations();
    // Not on the main thread for the main queue (it would wait on itself).
    void waitUntilAllOperationsAreFinished();
    std::size_t operationCount() const;
    const std::string& name() const { return name_; }

    ~OperationQueue();

private:
    OperationQueue(std::string name, bool isMain);
    void pump();
    void finished(const std::shared_ptr<Operation>& op);

    std::string name_;
    bool isMain_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<std::shared_ptr<Operation>> pending_;
    std::size_t running_ = 0;
    std::vector<std::shared_ptr<Operation>> runningOps_;
    int width_ = -1;
    bool suspended_ = false;
};

} // namespace platform
