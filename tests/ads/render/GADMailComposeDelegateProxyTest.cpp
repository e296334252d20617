#include "ads/render/GADMailComposeDelegateProxy.h"

#include <doctest/doctest.h>

#include "ads/render/GADMessageComposeDelegateProxy.h"
#include "ads/render/GADOverlayProxy.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADMailComposeDelegateProxy;
using ruzave::GADMessageComposeDelegateProxy;
using Calls = std::vector<std::string>;

namespace {

struct MailListener : platform::MailComposerDelegate {
    void mailComposeControllerDidFinishWithResult(platform::MailComposer&, Result result,
                                                  const std::optional<platform::Error>&) override {
        results.push_back(result);
    }
    std::vector<Result> results;
};

struct MessageListener : platform::MessageComposerDelegate {
    void messageComposeViewControllerDidFinishWithResult(platform::MessageComposer&, Result result) override {
        results.push_back(result);
    }
    std::vector<Result> results;
};

} // namespace

TEST_CASE_FIXTURE(
    MRAIDBanner,
    "GADMailComposeDelegateProxy: a composer whose listener is gone still goes away and its proxy is freed") {
    platform::MailComposer::setCanSendMailForTesting(true);
    std::weak_ptr<platform::MailComposer> weakComposer;
    std::weak_ptr<GADMailComposeDelegateProxy> weakProxy;
    {
        auto composer = platform::MailComposer::create();
        auto proxy = GADMailComposeDelegateProxy::associatedDelegateProxyForController(composer);
        REQUIRE(proxy);
        CHECK(composer->mailComposeDelegate().lock() == proxy);
        auto listener = std::make_shared<MailListener>();
        proxy->setMailComposeDelegate(listener);
        root->presentViewController(composer, false);
        settle();
        weakComposer = composer;
        weakProxy = proxy;
    }
    // Nothing outside holds the proxy: it keeps itself while the composer is up.
    REQUIRE_FALSE(weakProxy.expired());
    REQUIRE(weakComposer.lock()->finishForTesting(platform::MailComposerDelegate::Sent));
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(weakProxy.expired());
    CHECK(weakComposer.expired());
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADMailComposeDelegateProxy: forwards the result while its listener lives "
                               "and attaches a composer once") {
    CHECK(GADMailComposeDelegateProxy::associatedDelegateProxyForController(nullptr) == nullptr);
    auto composer = platform::MailComposer::create();
    auto proxy = GADMailComposeDelegateProxy::associatedDelegateProxyForController(composer);
    auto listener = std::make_shared<MailListener>();
    proxy->setMailComposeDelegate(listener);
    // The same composer again changes nothing.
    proxy->setMailComposeViewController(composer);
    CHECK(proxy->isAttached());
    CHECK(composer->mailComposeDelegate().lock() == proxy);
    CHECK(GADMailComposeDelegateProxy::proxyForController(*composer) == proxy);

    root->presentViewController(composer, false);
    settle();
    REQUIRE(composer->finishForTesting(platform::MailComposerDelegate::Cancelled));
    settle();
    CHECK(listener->results ==
          std::vector<platform::MailComposerDelegate::Result>{platform::MailComposerDelegate::Cancelled});
    // Taking the composer down is the listener's business.
    CHECK(root->presentedViewController() == composer);

    // Another composer replaces the first, whose delegate is cleared.
    auto other = platform::MailComposer::create();
    proxy->setMailComposeViewController(other);
    CHECK(composer->mailComposeDelegate().expired());
    CHECK(other->mailComposeDelegate().lock() == proxy);
    proxy->stopProxying();
    CHECK_FALSE(proxy->isAttached());
    CHECK(other->mailComposeDelegate().expired());
    CHECK(proxy->mailComposeDelegate() == nullptr);
}

TEST_CASE_FIXTURE(
    MRAIDBanner,
    "GADMessageComposeDelegateProxy: forwards to its listener and alone ends the ad's screen period") {
    platform::MessageComposer::setCanSendTextForTesting(true);
    auto composer = platform::MessageComposer::create();
    auto proxy = GADMessageComposeDelegateProxy::associatedDelegateProxyForController(composer);
    auto listener = std::make_shared<MessageListener>();
    proxy->setMessageComposeDelegate(listener);
    auto overlay = ruzave::GADOverlayProxy::initWithViewController(composer);
    overlay->setSlot(s.slot);
    overlay->presentFromViewController(root, nullptr);
    settle();
    CHECK(s.events->calls == Calls{"willPresent"});
    CHECK(proxy->messageComposeViewController() == composer);

    listener.reset();
    std::weak_ptr<GADMessageComposeDelegateProxy> weakProxy = proxy;
    proxy.reset();
    REQUIRE(composer->finishForTesting(platform::MessageComposerDelegate::Sent));
    settle();
    CHECK(root->presentedViewController() == nullptr);
    // Through the overlay proxy, so the slot hears the period end.
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK(weakProxy.expired());
}
