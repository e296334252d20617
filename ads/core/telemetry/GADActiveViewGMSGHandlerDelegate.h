#pragma once
// Hears the core page's active-view verdicts. Main thread.
#include <cstdint>

namespace ruzave {

class GADActiveViewGMSGHandler;

class GADActiveViewGMSGHandlerDelegate {
  public:
    virtual ~GADActiveViewGMSGHandlerDelegate() = default;
    virtual void activeViewGMSGHandlerDidReceiveVisibilityNotification(GADActiveViewGMSGHandler& handler, bool visible,
                                                                       std::uint32_t activeViewID) = 0;
    virtual void activeViewGMSGHandlerDidReceiveUntrackNotification(GADActiveViewGMSGHandler& handler,
                                                                    std::uint32_t activeViewID) = 0;
};

} // namespace ruzave
