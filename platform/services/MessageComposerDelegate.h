#pragma once
// Hears how the text message composer ended, on the main thread.
namespace platform {

class MessageComposer;

class MessageComposerDelegate {
public:
    enum Result { Cancelled = 0, Sent = 1, Failed = 2 };
    virtual ~MessageComposerDelegate() = default;
    virtual void messageComposeViewControllerDidFinishWithResult(MessageComposer& controller, Result result) = 0;
};

} // namespace platform
