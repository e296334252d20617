#include "ads/render/GADMessageComposeDelegateProxy.h"

#include "ads/render/GADComposerTeardown.h"

namespace ruzave {

std::shared_ptr<GADMessageComposeDelegateProxy>
GADMessageComposeDelegateProxy::associatedDelegateProxyForController(
    const std::shared_ptr<platform::MessageComposer>& composer) {
    if (!composer) return nullptr;
    std::shared_ptr<GADMessageComposeDelegateProxy> proxy(new GADMessageComposeDelegateProxy());
    proxy->setMessageComposeViewController(composer);
    return proxy;
}

std::shared_ptr<GADMessageComposeDelegateProxy>
GADMessageComposeDelegateProxy::proxyForController(const platform::MessageComposer& composer) {
    return std::dynamic_pointer_cast<GADMessageComposeDelegateProxy>(
        composer.messageComposeDelegate().lock());
}

void GADMessageComposeDelegateProxy::setMessageComposeViewController(
    const std::shared_ptr<platform::MessageComposer>& composer) {
    if (composer == messageComposeViewController_) return;
    if (messageComposeViewController_) {
        if (messageComposeViewController_->messageComposeDelegate().lock().get() == this)
            messageComposeViewController_->setMessageComposeDelegate({});
        messageComposeViewController_.reset();
    }
    // Let go of itself last: this call may be what keeps the proxy alive.
    auto keep = std::move(strongSelf_);
    strongSelf_.reset();
    if (!composer) return;
    messageComposeViewController_ = composer;
    composer->setMessageComposeDelegate(weak_from_this());
    strongSelf_ = shared_from_this();
}

void GADMessageComposeDelegateProxy::stopProxying() {
    auto keep = shared_from_this();
    setMessageComposeViewController(nullptr);
    messageComposeDelegate_.reset();
}

void GADMessageComposeDelegateProxy::messageComposeViewControllerDidFinishWithResult(
    platform::MessageComposer& controller, platform::MessageComposerDelegate::Result result) {
    if (auto listener = messageComposeDelegate_.lock()) {
        listener->messageComposeViewControllerDidFinishWithResult(controller, result);
        return;
    }
    // Nobody listens any more: the composer goes away by itself, and the proxy with it.
    GADTearDownUnattendedComposer(shared_from_this(), controller);
}

} // namespace ruzave
