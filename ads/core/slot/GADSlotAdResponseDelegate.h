#pragma once
// May veto a response or take it over before the slot processes it. Held weakly. Main thread.
#include <memory>

#include "platform/base/Error.h"

namespace ruzave {

class GADAd;
class GADSlot;

class GADSlotAdResponseDelegate {
  public:
    virtual ~GADSlotAdResponseDelegate() = default;
    // slot:shouldProcessAdResponse:error: — false with `error` filled fails the load; false without an
    // error means the delegate has taken the response over.
    virtual bool slotShouldProcessAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                             platform::Error* error) = 0;
    // slot:shouldProcessMediatedAdResponse:error:
    virtual bool slotShouldProcessMediatedAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                                     platform::Error* error) = 0;
};

} // namespace ruzave
