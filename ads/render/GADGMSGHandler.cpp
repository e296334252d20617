#include "ads/render/GADGMSGHandler.h"

#include "ads/render/GADNotification.h"

namespace ruzave {

const platform::Value& GADGMSGHandler::Arguments::parameters() const {
    static const platform::Value empty = platform::Value::object();
    return note ? note->parameters() : empty;
}

bool GADGMSGHandler::handleRequest(const platform::URLRequest& request, const std::shared_ptr<GADAdView>& adView) {
    if (!GADNotification::isNotificationURL(request.url())) return false;
    auto note = GADNotification::initWithNotificationURL(request.url());
    if (!note) return false;
    return handleNotification(note, adView);
}

bool GADGMSGHandler::handleNotification(const std::shared_ptr<GADNotification>& note,
                                        const std::shared_ptr<GADAdView>& adView) {
    const ActionBlockDictionary* table = actionBlockDictionary();
    if (!table || !note) return false;
    auto it = table->find(note->name());
    if (it == table->end()) return false;
    // Held for the call: a block may drop the last outside reference to its handler.
    auto self = weak_from_this().lock();
    it->second(*this, Arguments{adView, note});
    return true;
}

void GADGMSGHandler::dispatchSubAction(const std::string& parameterName, const Arguments& arguments) {
    const ActionBlockDictionary* table = subActionBlockDictionary();
    if (!table || !arguments.note) return;
    auto value = arguments.note->parameter(parameterName);
    if (!value) return;
    auto it = table->find(*value);
    if (it != table->end()) it->second(*this, arguments);
}

} // namespace ruzave
