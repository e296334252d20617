#include "platform/runloop/DispatchQueue.h"

#include <array>
#include <deque>
#include <thread>

#include "platform/base/Log.h"
#include "platform/runloop/MainLoop.h"

namespace platform {
namespace {

struct CurrentScope;
thread_local CurrentScope* tScope = nullptr;
thread_local DispatchQueue* tCurrent = nullptr;

// Sets the thread's current queue for the life of a block, restoring the previous one after. The scopes
// chain, so a queue that synchronously waits on another is still "on" this thread.
struct CurrentScope {
    DispatchQueue* queue;
    CurrentScope* previous;
    explicit CurrentScope(DispatchQueue* q) : queue(q), previous(tScope) {
        tScope = this;
        tCurrent = q;
    }
    ~CurrentScope() {
        tScope = previous;
        tCurrent = previous != nullptr ? previous->queue : nullptr;
    }
};

bool onThisThread(const DispatchQueue* q) {
    for (CurrentScope* s = tScope; s != nullptr; s = s->previous)
        if (s->queue == q) return true;
    return false;
}

void runGuarded(const DispatchQueue::Block& block, const std::string& label) {
    try {
        block();
    } catch (const std::exception& e) {
        logError("dispatch queue " + label + ": block threw: " + escapeLogText(e.what()));
    } catch (...) {
        logError("dispatch queue " + label + ": block threw");
    }
}

// The worker threads behind every queue but the main one. Grows when all workers are busy (a worker
// may block in a sync call), so queued work never waits for a blocked worker. Never destroyed.
class ThreadPool {
public:
    static ThreadPool& shared() {
        static ThreadPool* pool = new ThreadPool();
        return *pool;
    }

    std::size_t busyCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pending_ + running_;
    }

    void submit(DispatchQueue::Priority priority, std::function<void()> job) {
        bool spawn = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_[static_cast<std::size_t>(priority)].push_back(std::move(job));
            ++pending_;
            if (idle_ < pending_ && threads_ < kMaxThreads) {
                ++threads_;
                spawn = true;
            }
        }
        if (spawn) {
            std::thread([this] { work(); }).detach();
        } else {
            cv_.notify_one();
        }
    }

private:
    static constexpr std::size_t kMaxThreads = 128;

    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            std::function<void()> job;
            for (auto& q : jobs_) {
                if (!q.empty()) {
                    job = std::move(q.front());
                    q.pop_front();
                    break;
                }
            }
            if (!job) {
                ++idle_;
                cv_.wait(lock);
                --idle_;
                continue;
            }
            --pending_;
            ++running_;
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
            --running_;
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::array<std::deque<std::function<void()>>, 4> jobs_;
    std::size_t pending_ = 0;
    std::size_t running_ = 0;
    std::size_t idle_ = 0;
    std::size_t threads_ = 0;
};

class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label) : DispatchQueue(std::move(label)) {}

    void async(Block block) override {
        bool start = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            items_.push_back(Item{std::move(block), nullptr});
            if (!active_) {
                active_ = true;
                start = true;
            }
        }
        if (start) scheduleDrain();
    }

    void sync(const Block& block) override {
        if (onThisThread(this)) {
            // This thread already runs a block of ours (perhaps further down a chain of syncs):
            // waiting for ourselves would never end, so run in place.
            runGuarded(block, label());
            return;
        }
        SyncWaiter waiter;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!active_ && items_.empty()) {
                active_ = true; // nothing ahead of us: own the queue at once
            } else {
                items_.push_back(Item{nullptr, &waiter});
                waiter.cv.wait(lock, [&] { return waiter.go; });
            }
        }
        {
            CurrentScope scope(this);
            runGuarded(block, label());
        }
        release();
    }

    bool isCurrent() const override { return tCurrent == this; }
    bool isSerial() const override { return true; }

private:
    struct SyncWaiter {
        std::condition_variable cv;
        bool go = false;
    };
    struct Item {
        Block block;
        SyncWaiter* waiter; // non-null: a sync caller waits for its turn
    };

    void scheduleDrain() {
        auto self = std::static_pointer_cast<SerialQueue>(shared_from_this());
        ThreadPool::shared().submit(Priority::Default, [self] { self->drain(); });
    }

    // Gives the queue up after a sync block: resume draining, or go idle.
    void release() {
        bool more = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (items_.empty()) {
                active_ = false;
            } else {
                more = true;
            }
        }
        if (more) drainOrHandOff();
    }

    // Called with the queue owned (active_) by the caller.
    void drainOrHandOff() { scheduleDrain(); }

    void drain() {
        // Bounded batches keep one busy queue from holding a worker forever.
        for (int n = 0; n < 64; ++n) {
            Item item;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (items_.empty()) {
                    active_ = false;
                    return;
                }
                item = std::move(items_.front());
                items_.pop_front();
                if (item.waiter != nullptr) {
                    // Ownership passes to the waiting sync caller; it resumes draining after its block.
                    item.waiter->go = true;
                    item.waiter->cv.notify_one();
                    return;
                }
            }
            CurrentScope scope(this);
            runGuarded(item.block, label());
        }
        scheduleDrain();
    }

    std::mutex mutex_;
    std::deque<Item> items_;
    bool active_ = false; // a worker drains, or a sync caller runs its block
};

class ConcurrentQueue final : public DispatchQueue {
public:
    ConcurrentQueue(std::string label, Priority priority) : DispatchQueue(std::move(label)), priority_(priority) {}

    void async(Block block) override {
        DispatchQueue* self = this; // global queues live for the process
        ThreadPool::shared().submit(priority_, [self, block = std::move(block)] {
            CurrentScope scope(self);
            runGuarded(block, self->label());
        });
    }
    void sync(const Block& block) override {
        CurrentScope scope(this);
        runGuarded(block, label());
    }
    bool isCurrent() const override { return tCurrent == this; }
    bool isSerial() const override { return false; }

private:
    Priority priority_;
};

class MainQueue final : public DispatchQueue {
public:
    MainQueue() : DispatchQueue("com.ruzave.main-thread") {}

    void async(Block block) override { MainLoop::main().post(std::move(block)); }

    // The main queue is bound to the main thread: a sync from elsewhere waits for the main loop to run it.
    void sync(const Block& block) override {
        if (MainLoop::isMainThread()) {
            runGuarded(block, label());
            return;
        }
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        MainLoop::main().post([&] {
            runGuarded(block, label());
            std::lock_guard<std::mutex> lock(m);
            done = true;
            cv.notify_one();
        });
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return done; });
    }
    bool isCurrent() const override { return MainLoop::isMainThread() && (tCurrent == nullptr || tCurrent == this); }
    bool isSerial() const override { return true; }
};

} // namespace

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label) {
    return std::make_shared<SerialQueue>(std::move(label));
}

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    static auto* q = new std::shared_ptr<DispatchQueue>(std::make_shared<MainQueue>());
    return *q;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(Priority priority) {
    static auto* queues = new std::array<std::shared_ptr<DispatchQueue>, 4>{
        std::make_shared<ConcurrentQueue>("com.ruzave.global.high", Priority::High),
        std::make_shared<ConcurrentQueue>("com.ruzave.global.default", Priority::Default),
        std::make_shared<ConcurrentQueue>("com.ruzave.global.low", Priority::Low),
        std::make_shared<ConcurrentQueue>("com.ruzave.global.background", Priority::Background),
    };
    return (*queues)[static_cast<std::size_t>(priority)];
}

std::shared_ptr<DispatchQueue> DispatchQueue::current() {
    if (tCurrent != nullptr) return tCurrent->shared_from_this();
    if (MainLoop::isMainThread()) return main();
    return nullptr;
}

std::size_t DispatchQueue::backgroundBlockCount() {
    return ThreadPool::shared().busyCount();
}

void DispatchQueue::asyncAfter(double delaySeconds, Block block) {
    auto self = shared_from_this();
    if (self == main()) {
        MainLoop::main().schedule(delaySeconds, nullptr, std::move(block));
    } else {
        MainLoop::main().schedule(delaySeconds, std::move(self), std::move(block));
    }
}

std::shared_ptr<DispatchQueue> mainQueue() { return DispatchQueue::main(); }

std::shared_ptr<DispatchGroup> DispatchGroup::create() { return std::make_shared<DispatchGroup>(); }

void DispatchGroup::async(const std::shared_ptr<DispatchQueue>& queue, DispatchQueue::Block block) {
    enter();
    queue->async([self = shared_from_this(), block = std::move(block)] {
        block();
        self->leave();
    });
}

void DispatchGroup::enter() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
}

void DispatchGroup::leave() {
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, DispatchQueue::Block>> fire;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ == 0) {
            logError("DispatchGroup: leave without enter");
            return;
        }
        if (--count_ == 0) {
            fire.swap(notify_);
            cv_.notify_all();
        }
    }
    for (auto& [q, b] : fire) q->async(std::move(b));
}

bool DispatchGroup::wait(double timeoutSeconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeoutSeconds < 0) {
        cv_.wait(lock, [&] { return count_ == 0; });
        return true;
    }
    return cv_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return count_ == 0; });
}

void DispatchGroup::notify(const std::shared_ptr<DispatchQueue>& queue, DispatchQueue::Block block) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ > 0) {
            notify_.emplace_back(queue, std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}

} // namespace platform
