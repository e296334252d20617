#include "ads/render/GADMailComposeDelegateProxy.h"

#include "ads/render/GADComposerTeardown.h"

namespace ruzave {

std::shared_ptr<GADMailComposeDelegateProxy>
GADMailComposeDelegateProxy::associatedDelegateProxyForController(
    const std::shared_ptr<platform::MailComposer>& composer) {
    if (!composer) return nullptr;
    std::shared_ptr<GADMailComposeDelegateProxy> proxy(new GADMailComposeDelegateProxy());
    proxy->setMailComposeViewController(composer);
    return proxy;
}

std::shared_ptr<GADMailComposeDelegateProxy>
GADMailComposeDelegateProxy::proxyForController(const platform::MailComposer& composer) {
    return std::dynamic_pointer_cast<GADMailComposeDelegateProxy>(composer.mailComposeDelegate().lock());
}

void GADMailComposeDelegateProxy::setMailComposeViewController(
    const std::shared_ptr<platform::MailComposer>& composer) {
    if (composer == mailComposeViewController_) return;
    if (mailComposeViewController_) {
        if (mailComposeViewController_->mailComposeDelegate().lock().get() == this)
            mailComposeViewController_->setMailComposeDelegate({});
        mailComposeViewController_.reset();
    }
    // Let go of itself last: this call may be what keeps the proxy alive.
    auto keep = std::move(strongSelf_);
    strongSelf_.reset();
    if (!composer) return;
    mailComposeViewController_ = composer;
    composer->setMailComposeDelegate(weak_from_this());
    strongSelf_ = shared_from_this();
}

void GADMailComposeDelegateProxy::stopProxying() {
    auto keep = shared_from_this();
    setMailComposeViewController(nullptr);
    mailComposeDelegate_.reset();
}

void GADMailComposeDelegateProxy::mailComposeControllerDidFinishWithResult(
    platform::MailComposer& controller, platform::MailComposerDelegate::Result result,
    const std::optional<platform::Error>& error) {
    if (auto listener = mailComposeDelegate_.lock()) {
        listener->mailComposeControllerDidFinishWithResult(controller, result, error);
        return;
    }
    // Nobody listens any more: the composer goes away by itself, and the proxy with it.
    GADTearDownUnattendedComposer(shared_from_this(), controller);
}

} // namespace ruzave
