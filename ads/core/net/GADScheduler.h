#pragma once
// Runs registered tasks, each on its own queue, once per fixed period on a main-loop timer.
// Main thread (tasks are added and removed where the timer reads them).
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace platform {
class DispatchQueue;
class Timer;
} // namespace platform

namespace ruzave {

class GADScheduler : public std::enable_shared_from_this<GADScheduler> {
public:
    // The period goes to the platform timer as given: one of 0 or less fires as often as the platform's
    // own minimum interval allows, with no tolerance.
    static std::shared_ptr<GADScheduler> initWithInterval(double interval);
    // Stops the timer: a scheduler that goes away leaves nothing firing.
    ~GADScheduler();

    // 1, 2, 3... per scheduler; -1 (and no identifier used up) without a queue or a block.
    int taskIDScheduledOnQueue(const std::shared_ptr<platform::DispatchQueue>& queue, std::function<void()> block);
    void unscheduleTaskWithID(int taskID);
    void start();
    void stop();
    void executeBlocks();

    double interval() const { return interval_; }
    bool isRunning() const { return timer_ != nullptr; }
    // The running timer, none when stopped.
    const std::shared_ptr<platform::Timer>& timer() const { return timer_; }
    std::size_t taskCount() const { return blocks_.size(); }
    std::string description() const;

private:
    GADScheduler() = default;

    struct GADSchedulerTask {
        std::function<void()> block;
        std::shared_ptr<platform::DispatchQueue> queue;
    };

    int taskID_ = 0;
    std::map<int, GADSchedulerTask> blocks_;
    double interval_ = 0;
    std::shared_ptr<platform::Timer> timer_;
};

} // namespace ruzave
