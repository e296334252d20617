#pragma once
// Stands between a mail composer and whoever wants its result (the opener): keeps itself and the
// composer alive while the composer is up, forwards the result, and takes the composer down itself
// when that listener is gone. Main thread.
#include <memory>
#include <optional>

#include "platform/services/MailComposer.h"
#include "platform/services/MailComposerDelegate.h"

namespace ruzave {

class GADMailComposeDelegateProxy : public platform::MailComposerDelegate,
                                    public std::enable_shared_from_this<GADMailComposeDelegateProxy> {
  public:
    // A new proxy, already attached to `composer` (nullptr for no composer).
    static std::shared_ptr<GADMailComposeDelegateProxy>
    associatedDelegateProxyForController(const std::shared_ptr<platform::MailComposer>& composer);
    // The proxy attached to `composer`, if any.
    static std::shared_ptr<GADMailComposeDelegateProxy>
    proxyForController(const platform::MailComposer& composer);

    std::shared_ptr<platform::MailComposerDelegate> mailComposeDelegate() const {
        return mailComposeDelegate_.lock();
    }
    void setMailComposeDelegate(const std::weak_ptr<platform::MailComposerDelegate>& delegate) {
        mailComposeDelegate_ = delegate;
    }
    std::shared_ptr<platform::MailComposer> mailComposeViewController() const {
        return mailComposeViewController_;
    }
    // Detaches the composer held so far (its delegate cleared) and attaches this one; the same
    // composer again changes nothing.
    void setMailComposeViewController(const std::shared_ptr<platform::MailComposer>& composer);
    // Detaches the composer and forgets the listener; the proxy goes with its last outside reference.
    void stopProxying();
    bool isAttached() const { return strongSelf_ != nullptr; }

    void mailComposeControllerDidFinishWithResult(platform::MailComposer& controller,
                                                  platform::MailComposerDelegate::Result result,
                                                  const std::optional<platform::Error>& error) override;

  private:
    GADMailComposeDelegateProxy() = default;

    std::shared_ptr<GADMailComposeDelegateProxy> strongSelf_;
    std::weak_ptr<platform::MailComposerDelegate> mailComposeDelegate_;
    std::shared_ptr<platform::MailComposer> mailComposeViewController_;
};

} // namespace ruzave
