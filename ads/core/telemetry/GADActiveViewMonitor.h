#pragma once
// Samples, on a fixed period, how much of one view is visible in its window and tells its delegate
// after each sample. The view and the delegate are held weakly. Sampling runs on the main thread; the
// fields are guarded by the monitor's serial queue, so any thread may read them.
#include <memory>

#include "ads/core/telemetry/GADActiveViewMonitorDelegate.h"
#include "platform/ui/Geometry.h"

namespace platform {
class DispatchQueue;
class View;
} // namespace platform

namespace ruzave {

class GADScheduler;

class GADActiveViewMonitor : public std::enable_shared_from_this<GADActiveViewMonitor> {
  public:
    static constexpr double kDefaultSamplingInterval = 0.4;

    // nullptr without a view.
    static std::shared_ptr<GADActiveViewMonitor> initWithView(const std::shared_ptr<platform::View>& view);
    ~GADActiveViewMonitor();

    // Periodic sampling at the SDK's sampling interval (a non-positive one means the default); the
    // first sample comes one interval after the start. Both do nothing when already in that state.
    void startMonitoring();
    void stopMonitoring();
    bool isMonitoring() const;
    double samplingInterval() const;

    // One sample now on the main thread (queued there from any other thread).
    void sample();
    // The sample itself. Main thread.
    void updateViewBounds();

    std::shared_ptr<GADActiveViewMonitorDelegate> delegate() const;
    void setDelegate(const std::weak_ptr<GADActiveViewMonitorDelegate>& delegate);
    // The last sample in window coordinates: a non-empty rectangle, or zero when nothing was visible.
    platform::Rect monitoredViewVisibleBounds() const;
    void setMonitoredViewVisibleBounds(const platform::Rect& bounds);
    bool monitoredViewVisible() const;
    std::shared_ptr<platform::View> monitoredView() const { return monitoredView_.lock(); }

  private:
    GADActiveViewMonitor() = default;

    std::weak_ptr<platform::View> monitoredView_;
    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    // Queue only.
    std::shared_ptr<GADScheduler> updateViewBoundsScheduler_;
    std::weak_ptr<GADActiveViewMonitorDelegate> delegate_;
    platform::Rect monitoredViewVisibleBounds_;
    bool monitoredViewVisible_ = false;
};

} // namespace ruzave
