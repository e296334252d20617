#pragma once
// Hears how the mail composer ended, on the main thread.
#include <optional>

#include "platform/base/Error.h"

namespace platform {

class MailComposer;

class MailComposerDelegate {
public:
    enum Result { Cancelled = 0, Saved = 1, Sent = 2, Failed = 3 };
    virtual ~MailComposerDelegate() = default;
    virtual void mailComposeControllerDidFinishWithResult(MailComposer& controller, Result result,
                                                          const std::optional<Error>& error) = 0;
};

} // namespace platform
