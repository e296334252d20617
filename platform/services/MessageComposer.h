#pragma once
// The text message composer sheet: recipients and body prepared by the app; the user (a test) ends it and
// the delegate hears the result once. Made only when the device can send texts. Main thread.
#include <memory>
#include <string>
#include <vector>

#include "platform/services/MessageComposerDelegate.h"
#include "platform/ui/ViewController.h"

namespace platform {

class MessageComposer : public ViewController {
public:
    // Whether the device sends text messages (true until a test says otherwise).
    static bool canSendText();
    static void setCanSendTextForTesting(bool can);
    // nullptr when texts cannot be sent.
    static std::shared_ptr<MessageComposer> create();

    void setMessageComposeDelegate(std::weak_ptr<MessageComposerDelegate> d) { delegate_ = std::move(d); }
    std::weak_ptr<MessageComposerDelegate> messageComposeDelegate() const { return delegate_; }
    const std::vector<std::string>& recipients() const { return recipients_; }
    void setRecipients(std::vector<std::string> v) { recipients_ = std::move(v); }
    const std::string& subject() const { return subject_; }
    void setSubject(std::string v) { subject_ = std::move(v); }
    const std::string& body() const { return body_; }
    void setBody(std::string v) { body_ = std::move(v); }

    // Tests: the user ends the sheet. The first call reports; later ones return false.
    bool finishForTesting(MessageComposerDelegate::Result result);

protected:
    MessageComposer() = default;

private:
    std::weak_ptr<MessageComposerDelegate> delegate_;
    std::vector<std::string> recipients_;
    std::string subject_, body_;
    bool finished_ = false;
};

} // namespace platform
