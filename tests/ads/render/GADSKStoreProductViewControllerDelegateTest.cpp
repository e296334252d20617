#include "ads/render/GADSKStoreProductViewControllerDelegate.h"

#include <doctest/doctest.h>

#include "ads/render/GADOverlayProxy.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADSKStoreProductViewControllerDelegate;
using Calls = std::vector<std::string>;

namespace {

// A presenter that notes when it is asked to become first responder.
struct Presenter : platform::ViewController {
    static std::shared_ptr<Presenter> create() { return std::shared_ptr<Presenter>(new Presenter()); }
    bool canBecomeFirstResponder() const override {
        ++asked;
        return true;
    }
    mutable int asked = 0;
};

} // namespace

TEST_CASE_FIXTURE(MRAIDBanner, "GADSKStoreProductViewControllerDelegate: a sheet without an overlay proxy is "
                               "dismissed by its presenter which then becomes first responder") {
    auto presenter = Presenter::create();
    root->presentViewController(presenter, false);
    settle();
    auto sheet = platform::ProductViewController::create();
    sheet->setDelegate(GADSKStoreProductViewControllerDelegate::sharedInstance());
    presenter->presentViewController(sheet, false);
    settle();
    REQUIRE(presenter->presentedViewController() == sheet);
    sheet->finishForTesting();
    // First responder only once the sheet is gone.
    CHECK(presenter->asked == 0);
    settle();
    CHECK(presenter->presentedViewController() == nullptr);
    CHECK(presenter->asked == 1);
    CHECK(GADSKStoreProductViewControllerDelegate::sharedInstance() ==
          GADSKStoreProductViewControllerDelegate::sharedInstance());
}

TEST_CASE_FIXTURE(
    MRAIDBanner,
    "GADSKStoreProductViewControllerDelegate: a sheet with an overlay proxy ends the ad's screen period") {
    auto sheet = platform::ProductViewController::create();
    sheet->setDelegate(GADSKStoreProductViewControllerDelegate::sharedInstance());
    auto proxy = ruzave::GADOverlayProxy::initWithViewController(sheet);
    proxy->setSlot(s.slot);
    proxy->presentFromViewController(root, nullptr);
    settle();
    CHECK(s.events->calls == Calls{"willPresent"});
    sheet->finishForTesting();
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
}
