#pragma once
// Told after each active-view sample. Main thread.

namespace ruzave {

class GADActiveViewMonitor;

class GADActiveViewMonitorDelegate {
  public:
    virtual ~GADActiveViewMonitorDelegate() = default;
    virtual void activeViewMonitorDidRefresh(GADActiveViewMonitor& monitor) = 0;
};

} // namespace ruzave
