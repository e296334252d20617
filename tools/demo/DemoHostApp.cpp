#include "tools/demo/DemoHostApp.h"

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADRequest.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace demo {

std::unique_ptr<DemoHostApp> DemoHostApp::launch(const std::string& adUnitID,
                                                 const std::shared_ptr<ruzave::GADBannerViewDelegate>& delegate,
                                                 std::string* why, const StepObserver& observer) {
    auto step = [&observer](const std::string& what) {
        if (observer) observer(what);
    };
    auto application = platform::Application::sharedApplication();
    application->finishLaunching();
    application->becomeActive();
    step("application launched and active");

    std::unique_ptr<DemoHostApp> app(new DemoHostApp());
    app->delegate_ = delegate;
    app->window_ = platform::Window::create();
    app->root_ = platform::ViewController::create();
    app->window_->setRootViewController(app->root_);
    app->window_->makeKeyAndVisible();
    step("key window with a root view controller");

    app->banner_ = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 20});
    if (!app->banner_) {
        if (why) *why = "the 320x50 banner view could not be made";
        return nullptr;
    }
    app->banner_->setAdUnitID(adUnitID);
    app->banner_->setRootViewController(app->root_);
    app->banner_->setDelegate(delegate);
    app->root_->view()->addSubview(app->banner_);
    step("320x50 GADBannerView for ad unit \"" + adUnitID + "\" in the root view, with its delegate");
    return app;
}

std::shared_ptr<ruzave::GADBannerView> DemoHostApp::placeBanner(
    const std::string& adUnitID, const std::shared_ptr<ruzave::GADBannerViewDelegate>& delegate, float originY) {
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, originY});
    if (!banner) return nullptr;
    banner->setAdUnitID(adUnitID);
    banner->setRootViewController(root_);
    banner->setDelegate(delegate);
    root_->view()->addSubview(banner);
    moreBanners_.push_back(banner);
    moreDelegates_.push_back(delegate);
    return banner;
}

DemoHostApp::~DemoHostApp() {
    for (auto& banner : moreBanners_) {
        banner->setDelegate(std::weak_ptr<ruzave::GADBannerViewDelegate>());
        banner->removeFromSuperview();
    }
    if (banner_) {
        banner_->setDelegate(std::weak_ptr<ruzave::GADBannerViewDelegate>());
        banner_->removeFromSuperview();
    }
}

void DemoHostApp::loadAd() {
    banner_->loadRequest(ruzave::GADRequest::request());
}

} // namespace demo
