#pragma once
// Told of the screens an ad opens and of leaving the application. Held weakly. Main thread.
namespace ruzave {

class GADSlot;

class GADSlotAdEventDelegate {
  public:
    virtual ~GADSlotAdEventDelegate() = default;
    virtual void slotWillPresentScreen(GADSlot&) {}
    virtual void slotWillDismissScreen(GADSlot&) {}
    virtual void slotDidDismissScreen(GADSlot&) {}
    virtual void slotWillLeaveApplication(GADSlot&) {}
};

} // namespace ruzave
