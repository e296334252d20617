#include "ads/render/GADSKStoreProductViewControllerDelegate.h"

#include "ads/render/GADOverlayProxy.h"

namespace ruzave {

std::shared_ptr<GADSKStoreProductViewControllerDelegate>
GADSKStoreProductViewControllerDelegate::sharedInstance() {
    static std::shared_ptr<GADSKStoreProductViewControllerDelegate> instance(
        new GADSKStoreProductViewControllerDelegate());
    return instance;
}

void GADSKStoreProductViewControllerDelegate::productViewControllerDidFinish(
    platform::ProductViewController& controller) {
    if (auto proxy = GADOverlayProxy::overlayProxyForViewController(&controller)) {
        proxy->relinquishScreenWithCompletion(nullptr);
        return;
    }
    auto presenting = controller.presentingViewController();
    if (!presenting) return;
    std::weak_ptr<platform::ViewController> weak = presenting;
    presenting->dismissViewController(true, [weak] {
        if (auto p = weak.lock()) p->becomeFirstResponder();
    });
}

} // namespace ruzave
