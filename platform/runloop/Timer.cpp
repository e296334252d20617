#include "platform/runloop/Timer.h"

#include <cmath>

#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"

namespace platform {

Timer::Timer(double interval, bool repeats, Block block)
    : interval_(std::isfinite(interval) && interval > 0 ? interval : 0), repeats_(repeats), block_(std::move(block)) {
    // A repeating timer with no period would spin the loop: the platform raises it to a tenth of a millisecond.
    if (repeats_ && interval_ < 0.0001) interval_ = 0.0001;
}

Timer::~Timer() = default;

std::shared_ptr<Timer> Timer::create(double interval, bool repeats, Block block) {
    return std::shared_ptr<Timer>(new Timer(interval, repeats, std::move(block)));
}

std::shared_ptr<Timer> Timer::scheduledTimer(double interval, bool repeats, Block block) {
    auto t = create(interval, repeats, std::move(block));
    t->schedule();
    return t;
}

void Timer::schedule() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_ || scheduled_) return;
    scheduled_ = true;
    if (fireDate_ == 0) fireDate_ = Clock::now() + interval_;
    arm(fireDate_);
}

// Called with mutex_ held. The scheduled task holds the timer strongly: the loop keeps it alive.
void Timer::arm(double at) {
    if (taskId_ != 0) MainLoop::main().cancel(taskId_);
    auto self = shared_from_this();
    std::uint64_t gen = ++generation_;
    taskId_ = MainLoop::main().postAfter(at - Clock::now(), [self, gen] { self->onDue(gen); });
}

void Timer::onDue(std::uint64_t generation) {
    Block block;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!valid_ || generation != generation_) return;
        taskId_ = 0;
        block = block_; // a copy: the block may invalidate the timer and drop its own state
    }
    if (block) block(*this);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_ || generation != generation_) return; // invalidated or re-dated inside the block
    if (!repeats_) {
        valid_ = false;
        block_ = nullptr;
        return;
    }
    // Missed firings are skipped, not replayed.
    double now = Clock::now();
    double next = fireDate_ + interval_;
    if (next <= now) next = now + interval_ - std::fmod(now - fireDate_, interval_);
    fireDate_ = next;
    arm(next);
}

void Timer::invalidate() {
    Block dropped;
    std::uint64_t task = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!valid_) return;
        valid_ = false;
        ++generation_;
        task = taskId_;
        taskId_ = 0;
        dropped = std::move(block_);
    }
    // Outside the lock: dropping the task releases the loop's reference, and the block's captures may
    // run destructors that touch this timer.
    if (task != 0) MainLoop::main().cancel(task);
}

bool Timer::isValid() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return valid_;
}

void Timer::fire() {
    Block block;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!valid_) return;
        block = block_;
    }
    if (block) block(*this);
    if (!repeats_) invalidate();
}

double Timer::interval() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return interval_;
}

double Timer::fireDate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fireDate_;
}

void Timer::setFireDate(double clockNow) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_) return;
    fireDate_ = clockNow;
    if (scheduled_) arm(clockNow);
}

double Timer::tolerance() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tolerance_;
}

void Timer::setTolerance(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    tolerance_ = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

} // namespace platform
