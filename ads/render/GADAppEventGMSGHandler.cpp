#include "ads/render/GADAppEventGMSGHandler.h"

#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/render/GADNotification.h"

namespace ruzave {

std::shared_ptr<GADAppEventGMSGHandler> GADAppEventGMSGHandler::initWithSlot(const std::shared_ptr<GADSlot>& slot) {
    if (!slot) return nullptr;
    return std::shared_ptr<GADAppEventGMSGHandler>(new GADAppEventGMSGHandler(slot));
}

const GADGMSGHandler::ActionBlockDictionary* GADAppEventGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"appEvent",
         [](GADGMSGHandler& h, const Arguments& a) { static_cast<GADAppEventGMSGHandler&>(h).didReceiveAppEventNotification(a); }},
    };
    return &table;
}

void GADAppEventGMSGHandler::didReceiveAppEventNotification(const Arguments& arguments) {
    if (!arguments.note) return;
    auto name = arguments.note->parameter("name");
    auto slot = slot_.lock();
    if (!name || !slot) return;
    if (auto delegate = slot->slotDelegate()) {
        delegate->slotDidReceiveAppEventWithInfo(*slot, *name, arguments.note->parameter("info"));
    }
}

} // namespace ruzave
