#include "ads/render/GADMRAIDGMSGHandler.h"

#include "ads/core/slot/GADSlot.h"

namespace ruzave {

std::shared_ptr<GADMRAIDGMSGHandler> GADMRAIDGMSGHandler::initWithSlot(const std::shared_ptr<GADSlot>& slot) {
    if (!slot) return nullptr;
    return std::shared_ptr<GADMRAIDGMSGHandler>(new GADMRAIDGMSGHandler(slot));
}

const GADGMSGHandler::ActionBlockDictionary* GADMRAIDGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"mraidLoaded",
         [](GADGMSGHandler& handler, const Arguments& arguments) {
             static_cast<GADMRAIDGMSGHandler&>(handler).didReceiveMRAIDLoadedNotification(arguments);
         }},
    };
    return &table;
}

void GADMRAIDGMSGHandler::didReceiveMRAIDLoadedNotification(const Arguments&) {
    if (auto slot = slot_.lock()) slot->MRAIDAdDidLoad();
}

} // namespace ruzave
