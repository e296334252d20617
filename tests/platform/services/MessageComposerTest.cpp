#include <doctest/doctest.h>

#include "platform/services/MessageComposer.h"
#include "platform/testing/Harness.h"

using platform::MessageComposer;
using platform::MessageComposerDelegate;

namespace {

struct Listener : MessageComposerDelegate {
    std::vector<Result> results;
    void messageComposeViewControllerDidFinishWithResult(MessageComposer&, Result r) override { results.push_back(r); }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "MessageComposer: reports the result once and is not made when texts cannot be sent") {
    auto listener = std::make_shared<Listener>();
    auto composer = MessageComposer::create();
    REQUIRE(composer);
    composer->setRecipients({"5551234", "5555678"});
    composer->setBody("Call me");
    composer->setMessageComposeDelegate(listener);
    CHECK(composer->recipients().size() == 2);
    CHECK(composer->finishForTesting(MessageComposerDelegate::Sent));
    CHECK_FALSE(composer->finishForTesting(MessageComposerDelegate::Failed));
    CHECK(listener->results == std::vector<MessageComposerDelegate::Result>{MessageComposerDelegate::Sent});

    MessageComposer::setCanSendTextForTesting(false);
    CHECK(MessageComposer::create() == nullptr);
}
