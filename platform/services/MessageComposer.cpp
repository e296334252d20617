#include "platform/services/MessageComposer.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<bool>& textCapable() {
    static std::atomic<bool> can{true};
    return can;
}

} // namespace

bool MessageComposer::canSendText() { return textCapable(); }
void MessageComposer::setCanSendTextForTesting(bool can) { textCapable() = can; }

std::shared_ptr<MessageComposer> MessageComposer::create() {
    if (!canSendText()) return nullptr;
    return std::shared_ptr<MessageComposer>(new MessageComposer());
}

bool MessageComposer::finishForTesting(MessageComposerDelegate::Result result) {
    if (finished_) return false;
    finished_ = true;
    auto self = shared_from_this(); // the delegate typically dismisses and drops us
    if (auto d = delegate_.lock()) d->messageComposeViewControllerDidFinishWithResult(*this, result);
    return true;
}

} // namespace platform
