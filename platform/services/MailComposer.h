#pragma once
// The mail composer sheet: recipients, subject and body prepared by the app; the user (a test) ends it
// and the delegate hears the result once. Made only when the device can send mail. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/services/MailComposerDelegate.h"
#include "platform/ui/ViewController.h"

namespace platform {

class MailComposer : public ViewController {
public:
    // Whether a mail account is set up (true until a test says otherwise).
    static bool canSendMail();
    static void setCanSendMailForTesting(bool can);
    // nullptr when mail cannot be sent.
    static std::shared_ptr<MailComposer> create();

    void setMailComposeDelegate(std::weak_ptr<MailComposerDelegate> d) { delegate_ = std::move(d); }
    std::weak_ptr<MailComposerDelegate> mailComposeDelegate() const { return delegate_; }
    const std::vector<std::string>& toRecipients() const { return to_; }
    void setToRecipients(std::vector<std::string> v) { to_ = std::move(v); }
    const std::vector<std::string>& ccRecipients() const { return cc_; }
    void setCcRecipients(std::vector<std::string> v) { cc_ = std::move(v); }
    const std::vector<std::string>& bccRecipients() const { return bcc_; }
    void setBccRecipients(std::vector<std::string> v) { bcc_ = std::move(v); }
    const std::string& subject() const { return subject_; }
    void setSubject(std::string v) { subject_ = std::move(v); }
    const std::string& messageBody() const { return body_; }
    bool isBodyHTML() const { return bodyIsHTML_; }
    void setMessageBody(std::string body, bool isHTML) {
        body_ = std::move(body);
        bodyIsHTML_ = isHTML;
    }

    // Tests: the user ends the sheet. The first call reports; later ones return false.
    bool finishForTesting(MailComposerDelegate::Result result, std::optional<Error> error = std::nullopt);

protected:
    MailComposer() = default;

private:
    std::weak_ptr<MailComposerDelegate> delegate_;
    std::vector<std::string> to_, cc_, bcc_;
    std::string subject_, body_;
    bool bodyIsHTML_ = false;
    bool finished_ = false;
};

} // namespace platform
