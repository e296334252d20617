#include "ads/core/net/GADScheduler.h"

#include <cmath>

#include "ads/core/net/GADTimerAdditions.h"
#include "platform/base/Strings.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

std::shared_ptr<GADScheduler> GADScheduler::initWithInterval(double interval) {
    std::shared_ptr<GADScheduler> s(new GADScheduler());
    // A period that is no number at all reads as 0, which the timer takes as its own minimum.
    s->interval_ = std::isnan(interval) ? 0 : interval;
    return s;
}

GADScheduler::~GADScheduler() {
    if (timer_) timer_->invalidate();
}

int GADScheduler::taskIDScheduledOnQueue(const std::shared_ptr<platform::DispatchQueue>& queue,
                                         std::function<void()> block) {
    if (!queue || !block) return -1;
    const int id = ++taskID_;
    blocks_[id] = GADSchedulerTask{std::move(block), queue};
    return id;
}

void GADScheduler::unscheduleTaskWithID(int taskID) { blocks_.erase(taskID); }

void GADScheduler::start() {
    if (timer_) return;
    std::weak_ptr<GADScheduler> weak = weak_from_this();
    timer_ = gad_scheduledTimerWithTimeInterval(interval_, true, interval_ / 10, [weak](platform::Timer&) {
        if (auto self = weak.lock()) self->executeBlocks();
    });
}

void GADScheduler::stop() {
    if (!timer_) return;
    timer_->invalidate();
    timer_.reset();
}

void GADScheduler::executeBlocks() {
    for (const auto& [id, task] : blocks_) task.queue->async(task.block);
}

std::string GADScheduler::description() const {
    return platform::format("GADScheduler %p: %zu blocks, %f interval", static_cast<const void*>(this), blocks_.size(),
                            interval_);
}

} // namespace ruzave
