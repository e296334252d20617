#pragma once
// A timer that fires on the main loop, one-shot or repeating. It can be scheduled and invalidated from
// any thread, and the run loop keeps it alive until it is invalidated (a one-shot timer invalidates
// itself after firing).
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Block = std::function<void(Timer&)>;

    // Creates and schedules a timer that first fires `interval` seconds from now.
    static std::shared_ptr<Timer> scheduledTimer(double interval, bool repeats, Block block);
    // Creates an unscheduled timer; schedule() puts it on the main loop.
    static std::shared_ptr<Timer> create(double interval, bool repeats, Block block);

    void schedule();
    void invalidate();
    bool isValid() const;
    // Fires now, on the caller's thread (a one-shot timer is then invalidated).
    void fire();

    double interval() const;
    // Clock::now() reading at which it fires next.
    double fireDate() const;
    void setFireDate(double clockNow);
    double tolerance() const;
    void setTolerance(double seconds);

    ~Timer();

private:
    Timer(double interval, bool repeats, Block block);
    void arm(double at);
    void onDue(std::uint64_t generation);

    mutable std::mutex mutex_;
    double interval_;
    bool repeats_;
    Block block_;
    double fireDate_ = 0;
    double tolerance_ = 0;
    bool valid_ = true;
    bool scheduled_ = false;
    std::uint64_t taskId_ = 0;
    std::uint64_t generation_ = 0;
};

} // namespace platform
