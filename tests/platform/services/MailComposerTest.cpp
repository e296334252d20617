#include <doctest/doctest.h>

#include "platform/services/MailComposer.h"
#include "platform/testing/Harness.h"

using platform::MailComposer;
using platform::MailComposerDelegate;

namespace {

struct Listener : MailComposerDelegate {
    std::vector<Result> results;
    std::optional<platform::Error> error;
    std::shared_ptr<MailComposer> held;
    void mailComposeControllerDidFinishWithResult(MailComposer&, Result r, const std::optional<platform::Error>& e) override {
        results.push_back(r);
        error = e;
        held.reset(); // drops the composer from inside its own callback
    }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "MailComposer: keeps what the app prepared and reports the result once") {
    auto listener = std::make_shared<Listener>();
    auto composer = MailComposer::create();
    REQUIRE(composer);
    composer->setToRecipients({"a@example.com"});
    composer->setCcRecipients({"b@example.com", "c@example.com"});
    composer->setSubject("Hello");
    composer->setMessageBody("<b>Hi</b>", true);
    composer->setMailComposeDelegate(listener);
    CHECK(composer->ccRecipients().size() == 2);
    CHECK(composer->isBodyHTML());

    std::weak_ptr<MailComposer> weak = composer;
    listener->held = std::move(composer);
    REQUIRE(weak.lock()->finishForTesting(MailComposerDelegate::Failed,
                                          platform::Error("MailErrorDomain", 1, "Could not send")));
    CHECK(weak.expired());
    REQUIRE(listener->results.size() == 1);
    CHECK(listener->results[0] == MailComposerDelegate::Failed);
    REQUIRE(listener->error);
    CHECK(listener->error->description == "Could not send");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "MailComposer: no composer without a mail account, and a second finish is refused") {
    MailComposer::setCanSendMailForTesting(false);
    CHECK_FALSE(MailComposer::canSendMail());
    CHECK(MailComposer::create() == nullptr);
    MailComposer::setCanSendMailForTesting(true);
    auto listener = std::make_shared<Listener>();
    auto composer = MailComposer::create();
    composer->setMailComposeDelegate(listener);
    CHECK(composer->finishForTesting(MailComposerDelegate::Sent));
    CHECK_FALSE(composer->finishForTesting(MailComposerDelegate::Cancelled));
    CHECK(listener->results == std::vector<MailComposerDelegate::Result>{MailComposerDelegate::Sent});
}
