#pragma once
// The creative switches swiping to the store page on ("enableSwipeToViewController", with
// "swipe_direction" and "ad_draggable") and off ("disableSwipeToViewController"). Main thread.
#include <memory>

#include "ads/render/GADGMSGHandler.h"

namespace ruzave {

class GADSlot;

class GADSwipeToViewControllerGMSGHandler : public GADGMSGHandler {
  public:
    // nullptr without a slot.
    static std::shared_ptr<GADSwipeToViewControllerGMSGHandler> initWithSlot(const std::shared_ptr<GADSlot>& slot);

    const ActionBlockDictionary* actionBlockDictionary() const override;
    void enableSwipeToViewController(const Arguments& arguments);
    void disableSwipeToViewController(const Arguments& arguments);
    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }

  private:
    explicit GADSwipeToViewControllerGMSGHandler(const std::weak_ptr<GADSlot>& slot) : slot_(slot) {}
    std::weak_ptr<GADSlot> slot_;
};

} // namespace ruzave
