#include "ads/render/GADAdAppGMSGHandler.h"

#include "ads/render/GADNotification.h"

namespace ruzave {

std::shared_ptr<GADAdAppGMSGHandler> GADAdAppGMSGHandler::init() {
    return std::shared_ptr<GADAdAppGMSGHandler>(new GADAdAppGMSGHandler());
}

const GADGMSGHandler::ActionBlockDictionary* GADAdAppGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"customClose",
         [](GADGMSGHandler& h, const Arguments& a) {
             static_cast<GADAdAppGMSGHandler&>(h).configureCustomCloseButtonWithArguments(a);
         }},
        {"setInterstitialProperties",
         [](GADGMSGHandler& h, const Arguments& a) {
             static_cast<GADAdAppGMSGHandler&>(h).updateInterstitialPropertiesWithArguments(a);
         }},
    };
    return &table;
}

bool GADAdAppGMSGHandler::useCustomCloseFromArguments(const Arguments& arguments) {
    return arguments.note && arguments.note->parameter("custom_close") == std::optional<std::string>("1");
}

std::optional<bool> GADAdAppGMSGHandler::transparentBackgroundFromArguments(const Arguments& arguments) {
    if (!arguments.note) return std::nullopt;
    auto value = arguments.note->parameter("transparentBackground");
    if (!value) return std::nullopt;
    return *value == "1";
}

void GADAdAppGMSGHandler::configureCustomCloseButtonWithArguments(const Arguments&) {
    // Only a full-screen ad controller has a close button; banners (the only ads shown so far) have
    // none, so there is nothing to configure.
}

void GADAdAppGMSGHandler::updateInterstitialPropertiesWithArguments(const Arguments&) {
    // The presentation belongs to the full-screen ad controller, which banners do not have.
}

} // namespace ruzave
