#include "ads/render/GADBrowserViewController.h"

#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADBrowserAdView.h"
#include "ads/render/GADBrowserAdViewDelegate.h"
#include "ads/render/GADIntrinsicImages.h"
#include "ads/render/GADOpener.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Color.h"
#include "platform/ui/Device.h"
#include "platform/ui/Toolbar.h"

namespace ruzave {
namespace {

// Every kind of data the page's text may link (numbers, addresses, dates, ...).
constexpr unsigned kAllDataDetectorTypes = ~0u;

} // namespace

std::shared_ptr<GADBrowserViewController> GADBrowserViewController::init() {
    return std::shared_ptr<GADBrowserViewController>(new GADBrowserViewController());
}

GADBrowserViewController::~GADBrowserViewController() {
    if (adView_) adView_->setDelegate({});
}

void GADBrowserViewController::load(const std::optional<platform::URL>& url,
                                    const std::optional<platform::URL>& referringURL) {
    if (!url) return;
    if (!adView_) {
        URLToLoad_ = url;
        referringURLToLoad_ = referringURL;
        return;
    }
    platform::URLRequest request(*url);
    // The host alone: the landing page learns where the click came from, not the ad's own URL.
    if (referringURL && !referringURL->host().empty()) request.setValue(referringURL->host(), "Referer");
    adView_->loadRequest(request);
}

void GADBrowserViewController::back() {
    if (adView_ && adView_->canGoBack()) adView_->goBack();
}

void GADBrowserViewController::forward() {
    if (adView_ && adView_->canGoForward()) adView_->goForward();
}

void GADBrowserViewController::stop() {
    if (adView_) adView_->stopLoading();
}

void GADBrowserViewController::reload() {
    if (adView_) adView_->reload();
}

void GADBrowserViewController::openInSafari() {
    if (!adView_) return;
    auto opener = GADOpener::init();
    opener->setViewController(std::static_pointer_cast<platform::ViewController>(shared_from_this()));
    opener->setSlot(slot());
    const platform::URL& url = adView_->request().url();
    opener->openApp(url.isValid() ? std::optional<platform::URL>(url) : std::nullopt);
    auto s = slot();
    auto ad = s ? s->ad() : nullptr;
    if (auto stats = ad ? ad->statistics() : nullptr) stats->setObject(platform::Value(true), "pcbo", true);
}

void GADBrowserViewController::doneButtonPressed() {
    close();
}

std::function<void(platform::BarButtonItem&)>
GADBrowserViewController::action(void (GADBrowserViewController::*method)()) {
    std::weak_ptr<GADViewController> weak = self();
    return [weak, method](platform::BarButtonItem&) {
        if (auto controller = std::static_pointer_cast<GADBrowserViewController>(weak.lock()))
            ((*controller).*method)();
    };
}

std::shared_ptr<platform::BarButtonItem>
GADBrowserViewController::buttonWithImage(const std::shared_ptr<platform::Image>& image,
                                          const std::string& name, float width, bool enabled,
                                          void (GADBrowserViewController::*method)()) {
    auto item =
        platform::BarButtonItem::initWithImage(image, platform::BarButtonItemStyle::Plain, action(method));
    item->setAccessibilityLabel(name);
    item->setWidth(width);
    item->setEnabled(enabled);
    return item;
}

void GADBrowserViewController::createToolbarButtons() {
    auto images = GADIntrinsicImages::sharedInstance();
    flexibleSpaceButton_ =
        platform::BarButtonItem::initWithBarButtonSystemItem(platform::BarButtonSystemItem::FlexibleSpace);
    backButton_ = buttonWithImage(images->browserBackButton(), "Back", kButtonWidth, false,
                                  &GADBrowserViewController::back);
    forwardButton_ = buttonWithImage(images->browserForwardButton(), "Forward", kButtonWidth, false,
                                     &GADBrowserViewController::forward);

    spinner_ = platform::ActivityIndicator::create(platform::ActivityIndicatorStyle::White);
    spinner_->setFrame({0, 0, kSpinnerSide, kSpinnerSide});
    spinner_->setAutoresizingMask(platform::AutoresizingFlexibleLeftMargin |
                                  platform::AutoresizingFlexibleRightMargin);
    spinnerContainingButton_ = platform::BarButtonItem::initWithCustomView(spinner_);
    spinnerContainingButton_->setWidth(kSpinnerSide);
    spinnerContainingButton_->setEnabled(true);
    spinnerContainingButton_->setAccessibilityLabel("Spinner");

    reloadButton_ = platform::BarButtonItem::initWithBarButtonSystemItem(
        platform::BarButtonSystemItem::Refresh, action(&GADBrowserViewController::reload));
    reloadButton_->setWidth(kButtonWidth);
    reloadButton_->setEnabled(true);
    reloadButton_->setAccessibilityLabel("Reload");

    safariButton_ = platform::BarButtonItem::initWithBarButtonSystemItem(
        platform::BarButtonSystemItem::Action, action(&GADBrowserViewController::openInSafari));
    safariButton_->setWidth(kButtonWidth);
    safariButton_->setEnabled(false);
    safariButton_->setAccessibilityLabel("View in Safari");

    doneButton_ = platform::BarButtonItem::initWithBarButtonSystemItem(
        platform::BarButtonSystemItem::Done, action(&GADBrowserViewController::doneButtonPressed));
    doneButton_->setStyle(platform::BarButtonItemStyle::Done);
    doneButton_->setEnabled(true);
    doneButton_->setAccessibilityLabel("Done");
}

void GADBrowserViewController::refreshToolbar() {
    if (!toolbar_ || !adView_) return;
    backButton_->setEnabled(adView_->canGoBack());
    forwardButton_->setEnabled(adView_->canGoForward());
    std::shared_ptr<platform::BarButtonItem> middle;
    if (adView_->isLoading()) {
        spinner_->startAnimating();
        safariButton_->setEnabled(false);
        middle = spinnerContainingButton_;
    } else {
        spinner_->stopAnimating();
        safariButton_->setEnabled(true);
        middle = reloadButton_;
    }
    // One flexible space item stands between every pair.
    toolbar_->setItems({backButton_, flexibleSpaceButton_, forwardButton_, flexibleSpaceButton_, middle,
                        flexibleSpaceButton_, safariButton_, flexibleSpaceButton_, doneButton_});
}

void GADBrowserViewController::viewDidLoad() {
    GADViewController::viewDidLoad();
    view()->setBackgroundColor(platform::Color::whiteColor());
}

void GADBrowserViewController::viewWillAppear(bool animated) {
    GADViewController::viewWillAppear(animated);
    if (adView_) return; // built once: a second appearance keeps the page
    float toolbarHeight = kToolbarHeight;
    if (platform::Device::currentDevice()->userInterfaceIdiom() != platform::UserInterfaceIdiom::Pad &&
        GADDevice::sharedInstance()->orientationLandscape()) {
        toolbarHeight = kLandscapePhoneToolbarHeight;
    }
    auto v = view();
    const float width = v->bounds().width();
    const float height = v->bounds().height();

    auto browserView = GADBrowserAdView::initWithFrame({0, 0, width, height - toolbarHeight + 1});
    adView_ = browserView;
    browserView->setViewController(std::static_pointer_cast<platform::ViewController>(self()));
    browserView->setShowDebug(false);
    browserView->setAutoresizingMask(platform::AutoresizingFlexibleWidth |
                                     platform::AutoresizingFlexibleHeight);
    browserView->webView()->setDataDetectorTypes(kAllDataDetectorTypes);
    browserView->setHidden(false);
    v->addSubview(browserView);

    adViewDelegate_ = GADBrowserAdViewDelegate::init();
    browserView->setDelegate(adViewDelegate_);

    if (URLToLoad_) {
        auto url = std::move(URLToLoad_);
        auto referring = std::move(referringURLToLoad_);
        URLToLoad_.reset();
        referringURLToLoad_.reset();
        load(url, referring);
    }

    toolbar_ = platform::Toolbar::create({0, height - toolbarHeight + 1, width, toolbarHeight});
    toolbar_->setAutoresizingMask(platform::AutoresizingFlexibleWidth |
                                  platform::AutoresizingFlexibleTopMargin);
    toolbar_->setAutoresizesSubviews(true);
    toolbar_->setBarTintColor(platform::Color::black());
    v->addSubview(toolbar_);
    createToolbarButtons();
    refreshToolbar();
}

void GADBrowserViewController::viewChangedToOrientation(platform::InterfaceOrientation orientation) {
    GADViewController::viewChangedToOrientation(orientation);
    if (adView_) {
        adView_->didRotateToOrientation(
            static_cast<int>(platform::Application::sharedApplication()->statusBarOrientation()));
    }
}

void GADBrowserViewController::didAbandonScreen() {
    if (adView_) adView_->closePage();
}

} // namespace ruzave
