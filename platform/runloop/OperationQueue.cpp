#include "platform/runloop/OperationQueue.h"

#include <algorithm>
#include <vector>

#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"

namespace platform {
namespace {
thread_local std::weak_ptr<OperationQueue> tCurrentOpQueue;
}

void Operation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard<std::mutex> lock(mutex_);
    completion_ = std::move(block);
}

void Operation::run() {
    if (!cancelled_) {
        executing_ = true;
        try {
            main();
        } catch (const std::exception& e) {
            logError(std::string("operation threw: ") + escapeLogText(e.what()));
        } catch (...) {
            logError("operation threw");
        }
        executing_ = false;
    }
    finished_ = true;
    std::function<void()> completion;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        completion = std::move(completion_);
    }
    if (completion) completion();
}

std::shared_ptr<BlockOperation> BlockOperation::create(std::function<void()> block) {
    auto op = std::make_shared<BlockOperation>();
    op->block_ = std::move(block);
    return op;
}

void BlockOperation::main() {
    if (block_) block_();
}

OperationQueue::OperationQueue(std::string name, bool isMain) : name_(std::move(name)), isMain_(isMain) {
    if (isMain_) width_ = 1;
}

OperationQueue::~OperationQueue() = default;

std::shared_ptr<OperationQueue> OperationQueue::create(std::string name) {
    return std::shared_ptr<OperationQueue>(new OperationQueue(std::move(name), false));
}

std::shared_ptr<OperationQueue> OperationQueue::mainQueue() {
    static auto* q =
        new std::shared_ptr<OperationQueue>(new OperationQueue("com.ruzave.main-operation-queue", true));
    return *q;
}

std::shared_ptr<OperationQueue> OperationQueue::current() {
    if (auto q = tCurrentOpQueue.lock()) return q;
    return MainLoop::isMainThread() ? mainQueue() : nullptr;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> op) {
    if (!op) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(op));
    }
    pump();
}

void OperationQueue::addOperation(std::function<void()> block) { addOperation(BlockOperation::create(std::move(block))); }

void OperationQueue::setMaxConcurrentOperationCount(int n) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (isMain_) return; // the main queue is always one at a time
        width_ = n <= 0 ? -1 : n;
    }
    pump();
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return width_;
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        suspended_ = suspended;
    }
    if (!suspended) pump();
}

bool OperationQueue::isSuspended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return suspended_;
}

void OperationQueue::cancelAllOperations() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& op : pending_) op->cancel();
    for (auto& op : runningOps_) op->cancel();
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size() + running_;
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    if (isMain_ && MainLoop::isMainThread()) {
        // Waiting would block the very thread that runs them: run the loop instead.
        MainLoop::main().runUntil([this] { return operationCount() == 0; }, 1e9);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return running_ == 0 && pending_.empty(); });
}

void OperationQueue::pump() {
    std::vector<std::shared_ptr<Operation>> start;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        while (!suspended_ && !pending_.empty() && (width_ < 0 || running_ < static_cast<std::size_t>(width_))) {
            start.push_back(std::move(pending_.front()));
            pending_.pop_front();
            ++running_;
            runningOps_.push_back(start.back());
        }
    }
    for (auto& op : start) {
        auto self = shared_from_this();
        auto job = [self, op] {
            auto previous = tCurrentOpQueue;
            tCurrentOpQueue = self;
            op->run();
            tCurrentOpQueue = previous;
            self->finished(op);
        };
        if (isMain_) {
            MainLoop::main().post(std::move(job));
        } else {
            DispatchQueue::global()->async(std::move(job));
        }
    }
}

void OperationQueue::finished(const std::shared_ptr<Operation>& op) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --running_;
        runningOps_.erase(std::remove(runningOps_.begin(), runningOps_.end(), op), runningOps_.end());
        if (running_ == 0 && pending_.empty()) idle_.notify_all();
    }
    pump();
}

} // namespace platform
