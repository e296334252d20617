#pragma once
// The main thread's run loop: the process's initial thread is the main thread. Tasks posted from any
// thread run there in FIFO order; delayed tasks run when the Clock says they are due.
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class DispatchQueue;

class MainLoop {
public:
    using Task = std::function<void()>;
    using TaskId = std::uint64_t;

    static MainLoop& main();
    static bool isMainThread();

    // Any thread. Runs `task` on the main thread, after the tasks posted before it.
    void post(Task task);
    // Any thread. Runs `task` on the main thread once `delaySeconds` have passed on the Clock.
    TaskId postAfter(double delaySeconds, Task task);
    // Any thread. Schedules `task` for `queue` (nullptr: the main thread) at Clock::now() + delay.
    TaskId schedule(double delaySeconds, std::shared_ptr<DispatchQueue> queue, Task task);
    // Any thread. Drops a delayed task that has not run yet. Returns whether it was dropped.
    bool cancel(TaskId id);

    // Main thread. Runs tasks until `pred` holds or `timeoutSeconds` of real time pass.
    // Returns pred(). In virtual time, delayed tasks fire only through Clock::advance.
    bool runUntil(const std::function<bool()>& pred, double timeoutSeconds = 10.0);
    // Main thread. Runs ready tasks (and those they post) until none is left; never waits.
    // Returns how many ran.
    std::size_t runUntilIdle();
    // Main thread. Runs for `seconds` of real time (the demo's idle loop).
    void runFor(double seconds);
    // Any thread. Wakes the main thread if it waits.
    void wakeUp();

    // Number of delayed tasks still scheduled (main and queues).
    std::size_t pendingDelayedCount() const;
    // The longest single task run on the main loop since the last reset, in seconds.
    double maxTaskSeconds() const;
    // The time within which `fraction` (0 to 1) of the main-loop tasks since the last reset ran, in
    // seconds, to 10 microseconds (tasks past 10 ms count as the longest one); 0 when none ran.
    double taskSecondsPercentile(double fraction) const;
    // Main-loop tasks run since the last reset.
    std::uint64_t taskCount() const;
    void resetTaskStats();

    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

private:
    MainLoop();
    ~MainLoop();
    friend class Clock;
    struct Impl;
    Impl* impl_;
};

// Runs `task` at once on the main thread, else posts it there.
void runOnMain(MainLoop::Task task);

} // namespace platform
