#include "ads/render/GADAdAppViewController.h"

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADMRAIDEventHandling.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdAppAdViewDelegate.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADIntrinsicImages.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADOpener.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/Button.h"

namespace ruzave {

std::shared_ptr<GADAdAppViewController> GADAdAppViewController::initWithAdView(const std::shared_ptr<GADAdView>& adView) {
    std::shared_ptr<GADAdAppViewController> controller(new GADAdAppViewController());
    controller->setUp(adView);
    return controller;
}

void GADAdAppViewController::setUp(const std::shared_ptr<GADAdView>& adView) {
    adView_ = adView;
    if (!adView_) {
        adView_ = GADAdView::init();
        adView_->setViewController(std::static_pointer_cast<platform::ViewController>(self()));
    }
    closeButton_ = platform::Button::create(platform::Rect::zero(), platform::ButtonType::Custom);
    closeButton_->setShowsTouchWhenHighlighted(true);
    closeButton_->setAccessibilityLabel(kCloseButtonAccessibilityLabel);
    std::weak_ptr<GADViewController> weak = self();
    closeButton_->addTarget([weak](platform::Button&) {
        if (auto c = std::static_pointer_cast<GADAdAppViewController>(weak.lock())) c->closeButtonPressed();
    });
    customClosePosition_ = 0;
}

GADAdAppViewController::~GADAdAppViewController() {
    if (adView_ && adView_->viewController().get() == this) adView_->setViewController({});
    if (adViewDelegate_) {
        if (auto opener = adViewDelegate_->opener()) opener->setSlot({});
        if (adView_ && adView_->delegate() == adViewDelegate_) adView_->setDelegate({});
    }
}

void GADAdAppViewController::load(const std::optional<platform::URL>& url) {
    if (!url) return;
    if (adView_) {
        adView_->loadRequest(platform::URLRequest(*url));
    } else {
        URLToLoad_ = url;
    }
}

void GADAdAppViewController::loadHTML(const std::optional<std::string>& html, const std::optional<platform::URL>& baseURL) {
    if (!html) return;
    if (adView_) {
        adView_->loadHTMLString(*html, baseURL);
    } else {
        HTMLToLoad_ = html;
        HTMLBaseURLToLoad_ = baseURL;
    }
}

void GADAdAppViewController::setUseCustomClose(bool useCustomClose) {
    if (useCustomClose == useCustomClose_) return;
    useCustomClose_ = useCustomClose;
    if (viewHasAppeared_) updateCloseButtonVisibilityAndImage();
}

void GADAdAppViewController::setCustomClosePosition(std::int32_t position) {
    customClosePosition_ = position;
    if (isMRAIDAd()) positionMRAIDCloseButton();
}

bool GADAdAppViewController::isMRAIDAd() const {
    auto s = slot();
    return s && s->isMRAIDEnabled();
}

bool GADAdAppViewController::isLoaded() const {
    return adViewDelegate_ && adViewDelegate_->hasLoadedAtLeastOnce();
}

void GADAdAppViewController::closeButtonPressed() {
    close();
}

bool GADAdAppViewController::shouldDismissOnApplicationEnteringForeground() {
    if (useCustomClose_) return true;
    if (isLoaded()) {
        auto opener = adViewDelegate_ ? adViewDelegate_->opener() : nullptr;
        if (opener && opener->didOpenAnotherApplication()) {
            opener->setDidOpenAnotherApplication(false);
            return false;
        }
    }
    return GADViewController::shouldDismissOnApplicationEnteringForeground();
}

void GADAdAppViewController::updateCloseButtonVisibilityAndImage() {
    if (useCustomClose_ && !isMRAIDAd()) {
        closeButton_->removeFromSuperview();
        return;
    }
    // With custom close an MRAID ad keeps the button as an invisible tap area: a clear image on a view
    // that stays opaque, since a fully transparent view takes no touches.
    closeButton_->setAlpha(1.0f);
    auto images = GADIntrinsicImages::sharedInstance();
    closeButton_->setImage(useCustomClose_ ? images->transparentImage() : images->closeButton(),
                           platform::ControlStateNormal);
    auto v = view();
    if (closeButton_->superview() == v) {
        v->bringSubviewToFront(closeButton_);
    } else {
        v->addSubview(closeButton_);
    }
}

void GADAdAppViewController::positionMRAIDCloseButton() {
    closeButton_->setAutoresizingMask(GADMRAIDResizeProperties::autoresizingMaskForClosePosition(customClosePosition_));
    closeButton_->setFrame(GADMRAIDResizeProperties::closeButtonRectForPosition(customClosePosition_, view()->bounds()));
}

void GADAdAppViewController::configureView() {
    auto v = view();
    if (adView_) {
        adView_->setFrame(v->bounds());
        adView_->setHidden(false);
        v->addSubview(adView_);
    }
    updateCloseButtonVisibilityAndImage();
    if (isMRAIDAd()) {
        positionMRAIDCloseButton();
    } else {
        closeButton_->setFrame({0, 0, kCloseButtonSide, kCloseButtonSide});
    }
    adViewDelegate_ = GADAdAppAdViewDelegate::initWithSlot(slot());
    if (auto opener = adViewDelegate_->opener()) opener->setSlot(slot());
    if (adView_) adView_->setDelegate(adViewDelegate_);
    if (URLToLoad_) {
        auto url = std::move(URLToLoad_);
        URLToLoad_.reset();
        if (adView_) adView_->loadRequest(platform::URLRequest(*url));
    } else if (HTMLToLoad_) {
        auto html = std::move(HTMLToLoad_);
        auto base = std::move(HTMLBaseURLToLoad_);
        HTMLToLoad_.reset();
        HTMLBaseURLToLoad_.reset();
        if (adView_) adView_->loadHTMLString(*html, base);
    }
}

void GADAdAppViewController::viewWillAppear(bool animated) {
    GADViewController::viewWillAppear(animated);
    if (!viewHasAppeared_) {
        viewHasAppeared_ = true;
        configureView();
    }
    if (auto s = slot()) s->interstitialViewWillAppear();
}

void GADAdAppViewController::updateMRAIDVisibility(bool visible) {
    auto s = slot();
    auto ad = s ? s->ad() : nullptr;
    // Before the creative said MRAID has loaded there is no handler, and nothing to tell.
    if (auto handler = ad ? ad->MRAIDEventHandler() : nullptr) handler->updateVisibility(visible);
}

void GADAdAppViewController::viewDidAppear(bool animated) {
    GADViewController::viewDidAppear(animated);
    if (adView_) adView_->forceRotateToOrientation(static_cast<int>(interfaceOrientation()));
    updateMRAIDVisibility(true);
}

void GADAdAppViewController::viewWillDisappear(bool animated) {
    GADViewController::viewWillDisappear(animated);
    if (auto s = slot()) s->interstitialViewWillDisappear();
    updateMRAIDVisibility(false);
}

void GADAdAppViewController::viewWillLayoutSubviews() {
    if (adView_ && adView_->superview() == view()) adView_->setFrame(view()->bounds());
}

void GADAdAppViewController::viewChangedToOrientation(platform::InterfaceOrientation orientation) {
    if (adView_) adView_->didRotateToOrientation(static_cast<int>(orientation));
}

void GADAdAppViewController::didAbandonScreen() {
    if (adView_) adView_->closePage();
}

} // namespace ruzave
