#pragma once
// Stands between a text message composer and whoever wants its result (the opener): keeps itself and the
// composer alive while the composer is up, forwards the result, and takes the composer down itself
// when that listener is gone. Main thread.
#include <memory>
#include <optional>

#include "platform/services/MessageComposer.h"
#include "platform/services/MessageComposerDelegate.h"

namespace ruzave {

class GADMessageComposeDelegateProxy : public platform::MessageComposerDelegate,
                                       public std::enable_shared_from_this<GADMessageComposeDelegateProxy> {
  public:
    // A new proxy, already attached to `composer` (nullptr for no composer).
    static std::shared_ptr<GADMessageComposeDelegateProxy>
    associatedDelegateProxyForController(const std::shared_ptr<platform::MessageComposer>& composer);
    // The proxy attached to `composer`, if any.
    static std::shared_ptr<GADMessageComposeDelegateProxy>
    proxyForController(const platform::MessageComposer& composer);

    std::shared_ptr<platform::MessageComposerDelegate> messageComposeDelegate() const {
        return messageComposeDelegate_.lock();
    }
    void setMessageComposeDelegate(const std::weak_ptr<platform::MessageComposerDelegate>& delegate) {
        messageComposeDelegate_ = delegate;
    }
    std::shared_ptr<platform::MessageComposer> messageComposeViewController() const {
        return messageComposeViewController_;
    }
    // Detaches the composer held so far (its delegate cleared) and attaches this one; the same
    // composer again changes nothing.
    void setMessageComposeViewController(const std::shared_ptr<platform::MessageComposer>& composer);
    // Detaches the composer and forgets the listener; the proxy goes with its last outside reference.
    void stopProxying();
    bool isAttached() const { return strongSelf_ != nullptr; }

    void messageComposeViewControllerDidFinishWithResult(
        platform::MessageComposer& controller, platform::MessageComposerDelegate::Result result) override;

  private:
    GADMessageComposeDelegateProxy() = default;

    std::shared_ptr<GADMessageComposeDelegateProxy> strongSelf_;
    std::weak_ptr<platform::MessageComposerDelegate> messageComposeDelegate_;
    std::shared_ptr<platform::MessageComposer> messageComposeViewController_;
};

} // namespace ruzave
