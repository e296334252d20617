#include "platform/runloop/MainLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/base/Log.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/TaskTimeTally.h"

namespace platform {

namespace detail {
// Virtual time in whole nanoseconds (Clock.cpp).
std::int64_t nanoseconds(double seconds);
std::int64_t virtualNanoseconds();
void setVirtualNanoseconds(std::int64_t t);
}

namespace {
// The process's initial thread is the main thread: shared libraries are initialised on it.
const std::thread::id gMainThread = std::this_thread::get_id();

using Steady = std::chrono::steady_clock;

double secondsSince(Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); }
} // namespace

struct MainLoop::Impl {
    struct Timed {
        TaskId id;
        std::shared_ptr<DispatchQueue> queue; // nullptr: the main thread
        Task task;
    };
    using Key = std::pair<double, TaskId>; // due time on the Clock, then order of scheduling

    std::mutex mutex;
    std::condition_variable mainCv;  // the main thread waits here for ready tasks
    std::condition_variable timerCv; // the timer thread waits here for due items
    std::deque<Task> ready;
    std::map<Key, Timed> timed;
    std::unordered_map<TaskId, Key> keyOf;
    TaskId nextId = 1;
    bool stopping = false;
    std::thread timerThread;
    TaskTimeTally taskTimes;
    std::atomic<int> advancing{0};

    Impl() {
        timerThread = std::thread([this] { timerLoop(); });
    }

    ~Impl() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        timerCv.notify_all();
        if (timerThread.joinable()) timerThread.join();
    }

    // In real time, hands every due item to its target: main items become ready tasks, queue items are
    // dispatched. In virtual time only Clock::advance moves items along.
    void timerLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            if (Clock::isVirtual() || timed.empty()) {
                timerCv.wait_for(lock, std::chrono::milliseconds(200));
                continue;
            }
            double now = Clock::now();
            auto it = timed.begin();
            if (it->first.first > now) {
                auto wait = std::chrono::duration<double>(it->first.first - now);
                timerCv.wait_for(lock, std::chrono::duration_cast<Steady::duration>(wait));
                continue;
            }
            Timed item = std::move(it->second);
            keyOf.erase(item.id);
            timed.erase(it);
            if (!item.queue) {
                ready.push_back(std::move(item.task));
                mainCv.notify_one();
            } else {
                lock.unlock();
                item.queue->async(std::move(item.task));
                lock.lock();
            }
        }
    }

    bool popReady(Task& out) {
        std::lock_guard<std::mutex> lock(mutex);
        if (ready.empty()) return false;
        out = std::move(ready.front());
        ready.pop_front();
        return true;
    }

    void runTask(Task& task) {
        auto start = Steady::now();
        try {
            task();
        } catch (const std::exception& e) {
            logError(std::string("main loop: task threw: ") + escapeLogText(e.what()));
        } catch (...) {
            logError("main loop: task threw");
        }
        double took = secondsSince(start);
        std::lock_guard<std::mutex> lock(mutex);
        taskTimes.record(took);
    }
};

MainLoop::MainLoop() : impl_(new Impl) {}

// The loop lives for the whole process; it is never destroyed (other static destructors may still post).
MainLoop::~MainLoop() { delete impl_; }

MainLoop& MainLoop::main() {
    static MainLoop* loop = new MainLoop();
    return *loop;
}

bool MainLoop::isMainThread() { return std::this_thread::get_id() == gMainThread; }

void MainLoop::post(Task task) {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->ready.push_back(std::move(task));
    }
    impl_->mainCv.notify_one();
}

MainLoop::TaskId MainLoop::postAfter(double delaySeconds, Task task) {
    return schedule(delaySeconds, nullptr, std::move(task));
}

MainLoop::TaskId MainLoop::schedule(double delaySeconds, std::shared_ptr<DispatchQueue> queue, Task task) {
    if (!(delaySeconds > 0)) delaySeconds = 0; // negative and NaN delays mean "now"
    double due = Clock::now() + delaySeconds;
    TaskId id;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        id = impl_->nextId++;
        Impl::Key key{due, id};
        impl_->timed.emplace(key, Impl::Timed{id, std::move(queue), std::move(task)});
        impl_->keyOf.emplace(id, key);
    }
    impl_->timerCv.notify_one();
    return id;
}

bool MainLoop::cancel(TaskId id) {
    Task dropped; // destroyed outside the lock: it may own objects whose destructors post
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        auto k = impl_->keyOf.find(id);
        if (k == impl_->keyOf.end()) return false;
        auto it = impl_->timed.find(k->second);
        dropped = std::move(it->second.task);
        impl_->timed.erase(it);
        impl_->keyOf.erase(k);
    }
    return true;
}

bool MainLoop::runUntil(const std::function<bool()>& pred, double timeoutSeconds) {
    if (!isMainThread()) {
        logError("MainLoop::runUntil called off the main thread");
        return pred();
    }
    auto deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(
                                        std::chrono::duration<double>(std::max(0.0, timeoutSeconds)));
    while (true) {
        if (pred()) return true;
        Task task;
        if (impl_->popReady(task)) {
            impl_->runTask(task);
            continue;
        }
        std::unique_lock<std::mutex> lock(impl_->mutex);
        if (impl_->ready.empty()) {
            if (Steady::now() >= deadline) break;
            // Wake at least every 50 ms to re-check the predicate (it may watch other threads).
            auto until = std::min(deadline, Steady::now() + std::chrono::milliseconds(50));
            impl_->mainCv.wait_until(lock, until);
        }
    }
    return pred();
}

std::size_t MainLoop::runUntilIdle() {
    if (!isMainThread()) {
        logError("MainLoop::runUntilIdle called off the main thread");
        return 0;
    }
    std::size_t count = 0;
    Task task;
    while (impl_->popReady(task)) {
        impl_->runTask(task);
        task = nullptr;
        ++count;
    }
    return count;
}

void MainLoop::runFor(double seconds) {
    runUntil([] { return false; }, seconds);
}

void MainLoop::wakeUp() {
    impl_->mainCv.notify_all();
    impl_->timerCv.notify_all();
}

std::size_t MainLoop::pendingDelayedCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->timed.size();
}

double MainLoop::maxTaskSeconds() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->taskTimes.maxSeconds();
}

double MainLoop::taskSecondsPercentile(double fraction) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->taskTimes.percentile(fraction);
}

std::uint64_t MainLoop::taskCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->taskTimes.count();
}

void MainLoop::resetTaskStats() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->taskTimes.reset();
}

void Clock::advance(double seconds) {
    if (!isVirtual() || !(seconds >= 0)) return;
    MainLoop& loop = MainLoop::main();
    MainLoop::Impl& impl = *loop.impl_;
    const bool onMain = MainLoop::isMainThread();
    if (onMain) loop.runUntilIdle();
    // Due times are compared to the nanosecond: one computed as a reading plus an interval is due when
    // advances summing to that interval have passed, whatever rounding the reading's seconds carry.
    const std::int64_t target = detail::virtualNanoseconds() + detail::nanoseconds(seconds);
    // Items run in passes, as a run loop's: a pass runs what was due when it began, and what its items
    // schedule for an instant already reached waits for the next pass. A timer that keeps re-arming for
    // an instant that has passed would hold time still for ever: past MaximumPassesPerInstant at one
    // instant, what is still due then waits for the next advance (with an error in the log), and time
    // moves on to what falls due later.
    constexpr int MaximumPassesPerInstant = 1000;
    std::int64_t instant = detail::virtualNanoseconds();
    MainLoop::TaskId passBegan = 0;  // items scheduled from here on belong to a later pass
    int passes = 0;
    std::vector<std::pair<MainLoop::Impl::Key, MainLoop::Impl::Timed>> deferred;
    while (true) {
        MainLoop::Impl::Timed item;
        {
            std::lock_guard<std::mutex> lock(impl.mutex);
            auto it = impl.timed.begin();
            if (it == impl.timed.end()) break;
            const std::int64_t due = detail::nanoseconds(it->first.first);
            if (due > target) break;
            if (due > instant || passes == 0) {
                instant = std::max(instant, due);
                passes = 1;
                passBegan = impl.nextId;
            } else if (it->second.id >= passBegan) {
                if (++passes > MaximumPassesPerInstant) {
                    // Out of the way, keeping their places, until the next advance.
                    for (auto at = impl.timed.begin();
                         at != impl.timed.end() && detail::nanoseconds(at->first.first) <= instant;) {
                        impl.keyOf.erase(at->second.id);
                        deferred.emplace_back(at->first, std::move(at->second));
                        at = impl.timed.erase(at);
                    }
                    passes = 0;
                    continue;
                }
                passBegan = impl.nextId;
            }
            detail::setVirtualNanoseconds(std::max(detail::virtualNanoseconds(), due));
            item = std::move(it->second);
            impl.keyOf.erase(item.id);
            impl.timed.erase(it);
        }
        if (item.queue) {
            item.queue->async(std::move(item.task));
        } else if (onMain) {
            impl.runTask(item.task);
            loop.runUntilIdle();
        } else {
            loop.post(std::move(item.task));
        }
    }
    if (!deferred.empty()) {
        logError("main loop: timers re-armed for the same instant " + std::to_string(MaximumPassesPerInstant) +
                 " times over; they wait for the next advance");
        std::lock_guard<std::mutex> lock(impl.mutex);
        for (auto& [key, item] : deferred) {
            impl.keyOf.emplace(item.id, key);
            impl.timed.emplace(key, std::move(item));
        }
    }
    detail::setVirtualNanoseconds(target);
    if (onMain) loop.runUntilIdle();
}

void runOnMain(MainLoop::Task task) {
    if (MainLoop::isMainThread()) {
        task();
    } else {
        MainLoop::main().post(std::move(task));
    }
}

} // namespace platform
