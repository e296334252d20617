#pragma once
// Hears the MRAID script's start ("mraidLoaded") and makes the slot the creative's MRAID handler,
// which starts the MRAID handshake. Main thread.
#include <memory>

#include "ads/render/GADGMSGHandler.h"

namespace ruzave {

class GADSlot;

class GADMRAIDGMSGHandler : public GADGMSGHandler {
  public:
    // nullptr without a slot.
    static std::shared_ptr<GADMRAIDGMSGHandler> initWithSlot(const std::shared_ptr<GADSlot>& slot);

    const ActionBlockDictionary* actionBlockDictionary() const override;
    void didReceiveMRAIDLoadedNotification(const Arguments& arguments);

  private:
    explicit GADMRAIDGMSGHandler(const std::weak_ptr<GADSlot>& slot) : slot_(slot) {}
    std::weak_ptr<GADSlot> slot_;
};

} // namespace ruzave
