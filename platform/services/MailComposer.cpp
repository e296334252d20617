#include "platform/services/MailComposer.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<bool>& mailAccount() {
    static std::atomic<bool> set{true};
    return set;
}

} // namespace

bool MailComposer::canSendMail() { return mailAccount(); }
void MailComposer::setCanSendMailForTesting(bool can) { mailAccount() = can; }

std::shared_ptr<MailComposer> MailComposer::create() {
    if (!canSendMail()) return nullptr;
    return std::shared_ptr<MailComposer>(new MailComposer());
}

bool MailComposer::finishForTesting(MailComposerDelegate::Result result, std::optional<Error> error) {
    if (finished_) return false;
    finished_ = true;
    auto self = shared_from_this(); // the delegate typically dismisses and drops us
    if (auto d = delegate_.lock()) d->mailComposeControllerDidFinishWithResult(*this, result, error);
    return true;
}

} // namespace platform
