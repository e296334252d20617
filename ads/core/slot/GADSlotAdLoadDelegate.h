#pragma once
// Told whether a slot's load ended in an ad. Held weakly. Main thread.
#include "platform/base/Error.h"

namespace ruzave {

class GADSlot;

class GADSlotAdLoadDelegate {
  public:
    virtual ~GADSlotAdLoadDelegate() = default;
    virtual void slotFinishedLoadingAdContent(GADSlot& slot) = 0;
    // slot:didFailToLoadAdContentWithError:
    virtual void slotDidFailToLoadAdContentWithError(GADSlot& slot, const platform::Error& error) = 0;
};

} // namespace ruzave
