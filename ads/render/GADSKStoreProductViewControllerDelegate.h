#pragma once
// The one delegate of every store sheet an ad opens: when the user is done with the sheet it leaves
// through its overlay proxy (ending the ad's full-screen period), or else its presenter takes it down.
// Main thread.
#include <memory>

#include "platform/services/ProductViewController.h"
#include "platform/services/ProductViewControllerDelegate.h"

namespace ruzave {

class GADSKStoreProductViewControllerDelegate : public platform::ProductViewControllerDelegate {
  public:
    static std::shared_ptr<GADSKStoreProductViewControllerDelegate> sharedInstance();

    void productViewControllerDidFinish(platform::ProductViewController& controller) override;

  private:
    GADSKStoreProductViewControllerDelegate() = default;
};

} // namespace ruzave
