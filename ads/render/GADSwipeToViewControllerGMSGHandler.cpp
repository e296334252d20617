#include "ads/render/GADSwipeToViewControllerGMSGHandler.h"

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"

namespace ruzave {

std::shared_ptr<GADSwipeToViewControllerGMSGHandler>
GADSwipeToViewControllerGMSGHandler::initWithSlot(const std::shared_ptr<GADSlot>& slot) {
    if (!slot) return nullptr;
    return std::shared_ptr<GADSwipeToViewControllerGMSGHandler>(new GADSwipeToViewControllerGMSGHandler(slot));
}

const GADGMSGHandler::ActionBlockDictionary* GADSwipeToViewControllerGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"enableSwipeToViewController",
         [](GADGMSGHandler& h, const Arguments& a) {
             static_cast<GADSwipeToViewControllerGMSGHandler&>(h).enableSwipeToViewController(a);
         }},
        {"disableSwipeToViewController",
         [](GADGMSGHandler& h, const Arguments& a) {
             static_cast<GADSwipeToViewControllerGMSGHandler&>(h).disableSwipeToViewController(a);
         }},
    };
    return &table;
}

namespace {

std::shared_ptr<GADSwipeToViewControllerConfigurations> configurationsOf(const GADSlot& slot) {
    auto ad = slot.ad();
    return ad ? ad->swipeToViewControllerConfigurations() : nullptr;
}

} // namespace

void GADSwipeToViewControllerGMSGHandler::enableSwipeToViewController(const Arguments& arguments) {
    auto slot = slot_.lock();
    if (!slot) return;
    if (auto configurations = configurationsOf(*slot)) {
        auto direction = arguments.note ? arguments.note->parameter("swipe_direction") : std::nullopt;
        auto draggable = arguments.note ? arguments.note->parameter("ad_draggable") : std::nullopt;
        std::int32_t value = GADSwipeDirectionNone;
        if (direction == "top_to_bottom") value = GADSwipeDirectionTopToBottom;
        else if (direction == "bottom_to_top") value = GADSwipeDirectionBottomToTop;
        configurations->setSwipeDirection(value);
        configurations->setAdDraggable(draggable == "1");
    }
    slot->enableSwipeToViewController();
}

void GADSwipeToViewControllerGMSGHandler::disableSwipeToViewController(const Arguments&) {
    auto slot = slot_.lock();
    if (!slot) return;
    slot->disableSwipeToViewController();
    if (auto configurations = configurationsOf(*slot)) {
        configurations->setSwipeDirection(GADSwipeDirectionNone);
        configurations->setAdDraggable(false);
    }
}

} // namespace ruzave
