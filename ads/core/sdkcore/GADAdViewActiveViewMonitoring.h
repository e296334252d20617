#pragma once
// What an active-view user (an ad slot) hears from the core web view that processes its samples.
// Called on the main thread.

namespace ruzave {

class GADAdViewActiveViewMonitoring {
public:
    virtual ~GADAdViewActiveViewMonitoring() = default;
    virtual void adViewDidChangeActiveViewVisibility(bool visible) = 0;
    virtual void adViewDidStopActiveViewMonitoring() = 0;
};

} // namespace ruzave
