#include "ads/core/telemetry/GADActiveViewMonitor.h"

#include <cmath>

#include "ads/core/net/GADScheduler.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/render/GADMobileAdsAdditions.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/View.h"

namespace ruzave {
namespace {

// Visible means a real, non-empty area; anything else is stored as the zero rectangle.
platform::Rect usableVisibleBounds(const platform::Rect& r) {
    if (r.isNull() || r.isEmpty() || !r.isFinite()) return platform::Rect::zero();
    return r;
}

} // namespace

std::shared_ptr<GADActiveViewMonitor> GADActiveViewMonitor::initWithView(const std::shared_ptr<platform::View>& view) {
    if (!view) return nullptr;
    std::shared_ptr<GADActiveViewMonitor> monitor(new GADActiveViewMonitor());
    monitor->monitoredView_ = view;
    monitor->lockQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.active-view-monitor");
    return monitor;
}

GADActiveViewMonitor::~GADActiveViewMonitor() {
    // The scheduler holds only a weak link back; stopping it leaves no timer behind.
    std::shared_ptr<GADScheduler> scheduler;
    if (lockQueue_) lockQueue_->sync([&] { scheduler = std::move(updateViewBoundsScheduler_); });
    if (scheduler) GADRunOnMainThread([scheduler] { scheduler->stop(); });
}

double GADActiveViewMonitor::samplingInterval() const {
    double interval = GADSDKCoreController::sharedInstance()->activeViewSamplingInterval();
    return (std::isfinite(interval) && interval > 0) ? interval : kDefaultSamplingInterval;
}

void GADActiveViewMonitor::startMonitoring() {
    std::shared_ptr<GADScheduler> created;
    const double interval = samplingInterval();
    lockQueue_->sync([&] {
        if (updateViewBoundsScheduler_) return;
        updateViewBoundsScheduler_ = GADScheduler::initWithInterval(interval);
        created = updateViewBoundsScheduler_;
    });
    if (!created) return;
    std::weak_ptr<GADActiveViewMonitor> weak = weak_from_this();
    GADRunOnMainThread([created, weak] {
        created->taskIDScheduledOnQueue(platform::DispatchQueue::main(), [weak] {
            if (auto monitor = weak.lock()) monitor->updateViewBounds();
        });
        created->start();
    });
}

void GADActiveViewMonitor::stopMonitoring() {
    std::shared_ptr<GADScheduler> scheduler;
    lockQueue_->sync([&] { scheduler = std::move(updateViewBoundsScheduler_); });
    if (scheduler) GADRunOnMainThread([scheduler] { scheduler->stop(); });
}

bool GADActiveViewMonitor::isMonitoring() const {
    bool monitoring = false;
    lockQueue_->sync([&] { monitoring = updateViewBoundsScheduler_ != nullptr; });
    return monitoring;
}

void GADActiveViewMonitor::sample() {
    std::weak_ptr<GADActiveViewMonitor> weak = weak_from_this();
    GADRunOnMainThread([weak] {
        if (auto monitor = weak.lock()) monitor->updateViewBounds();
    });
}

void GADActiveViewMonitor::updateViewBounds() {
    auto self = shared_from_this();
    platform::Rect visible;
    if (auto view = monitoredView()) visible = usableVisibleBounds(gad_visibleBounds(*view));
    const bool isVisible = !visible.isEmpty();
    std::shared_ptr<GADActiveViewMonitorDelegate> delegate;
    // One pass on the queue: the store happens before the delegate reads it back.
    lockQueue_->sync([&] {
        monitoredViewVisibleBounds_ = visible;
        monitoredViewVisible_ = isVisible;
        delegate = delegate_.lock();
    });
    if (delegate) delegate->activeViewMonitorDidRefresh(*this);
}

std::shared_ptr<GADActiveViewMonitorDelegate> GADActiveViewMonitor::delegate() const {
    std::shared_ptr<GADActiveViewMonitorDelegate> d;
    lockQueue_->sync([&] { d = delegate_.lock(); });
    return d;
}

void GADActiveViewMonitor::setDelegate(const std::weak_ptr<GADActiveViewMonitorDelegate>& delegate) {
    lockQueue_->sync([&] { delegate_ = delegate; });
}

platform::Rect GADActiveViewMonitor::monitoredViewVisibleBounds() const {
    platform::Rect r;
    lockQueue_->sync([&] { r = monitoredViewVisibleBounds_; });
    return r;
}

void GADActiveViewMonitor::setMonitoredViewVisibleBounds(const platform::Rect& bounds) {
    const platform::Rect usable = usableVisibleBounds(bounds);
    lockQueue_->sync([&] {
        monitoredViewVisibleBounds_ = usable;
        monitoredViewVisible_ = !usable.isEmpty();
    });
}

bool GADActiveViewMonitor::monitoredViewVisible() const {
    bool v = false;
    lockQueue_->sync([&] { v = monitoredViewVisible_; });
    return v;
}

} // namespace ruzave
