#pragma once
// Passes the creative's app events ("appEvent" with "name" and optional "info") to the owner of its
// slot. Main thread.
#include <memory>

#include "ads/render/GADGMSGHandler.h"

namespace ruzave {

class GADSlot;

class GADAppEventGMSGHandler : public GADGMSGHandler {
  public:
    // nullptr without a slot.
    static std::shared_ptr<GADAppEventGMSGHandler> initWithSlot(const std::shared_ptr<GADSlot>& slot);

    const ActionBlockDictionary* actionBlockDictionary() const override;
    void didReceiveAppEventNotification(const Arguments& arguments);
    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }

  private:
    explicit GADAppEventGMSGHandler(const std::weak_ptr<GADSlot>& slot) : slot_(slot) {}
    std::weak_ptr<GADSlot> slot_;
};

} // namespace ruzave
