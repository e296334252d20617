// Swiping a swipe-enabled ad into the store sheet: the checker that tells the creative where the ad
// sits, the pan on the owner's swipe view, and the sheet itself.
#include "ads/core/net/GADScheduler.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADRectConversions.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADOverlayProxy.h"
#include "ads/render/GADPercentDrivenUserInteractionAnimationController.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "ads/render/GADViewControllerFullScreenSwipeAnimation.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/services/ProductViewController.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

#include <cmath>

namespace ruzave {

namespace {
constexpr double kSwipeCheckerMinimumInterval = 0.1;
}

void GADSlot::scheduleSwipeToViewControllerChecker() {
    if (swipeToViewControllerChecker_) return;
    // The server leaves the period at 0 unless it sends one: the checker then runs at a floor instead of
    // asking the creative's page at every turn of the main loop.
    const double sampling = GADSDKCoreController::sharedInstance()->swipeToViewSamplingInterval();
    auto checker = GADScheduler::initWithInterval(
        std::isfinite(sampling) && sampling >= kSwipeCheckerMinimumInterval ? sampling : kSwipeCheckerMinimumInterval);
    std::weak_ptr<GADSlot> weak = weak_from_this();
    swipeToViewControllerCheckerTaskID_ = checker->taskIDScheduledOnQueue(platform::mainQueue(), [weak] {
        if (auto self = weak.lock()) self->canEnableSwipeToViewController();
    });
    swipeToViewControllerChecker_ = checker;
    checker->start();
}

void GADSlot::unscheduleSwipeToViewControllerChecker() {
    auto checker = std::move(swipeToViewControllerChecker_);
    swipeToViewControllerChecker_.reset();
    if (!checker) return;
    checker->unscheduleTaskWithID(swipeToViewControllerCheckerTaskID_);
    checker->stop();
}

void GADSlot::canEnableSwipeToViewController() {
    auto configurations = ad_ ? ad_->swipeToViewControllerConfigurations() : nullptr;
    if (!configurations || strongSlotForSwipeToViewController_) return;
    platform::Rect creative = platform::Rect::zero();
    bool scrollable = false;
    if (adView_) {
        creative = adView_->convertRectToView(adView_->bounds(), nullptr);
        for (auto view = adView_->superview(); view && !scrollable; view = view->superview())
            scrollable = dynamic_cast<platform::ScrollView*>(view.get()) != nullptr;
    }
    platform::Value params = platform::Value::object();
    params["creativeFrame"] = GADSDKCoreDictionaryFromRect(creative);
    params["deviceFrame"] = GADSDKCoreDictionaryFromRect(platform::Screen::mainScreen()->applicationFrame());
    params["deviceOrientation"] = GADDevice::sharedInstance()->orientationLandscape() ? "landscape" : "portrait";
    params["anySuperViewScrollable"] = scrollable ? "1" : "0";
    // The creative hears only of changes.
    if (savedParamsForCheckingSwipeToViewController_ == params) return;
    savedParamsForCheckingSwipeToViewController_ = params;
    if (adView_) adView_->postJSNotification("onAdVisible", params);
}

void GADSlot::setUpAnimationController() {
    if (swipeToViewControllerAnimationControllerInitialized_) return;
    auto animation = GADViewControllerFullScreenSwipeAnimation::init();
    auto controller = GADPercentDrivenUserInteractionAnimationController::initWithAnimation(animation);
    // Below OS 7.0 there is nothing to animate with: the feature stays off.
    if (!animation || !controller) return;
    auto configurations = ad_ ? ad_->swipeToViewControllerConfigurations() : nullptr;
    animation->setTransitionDuration(configurations ? configurations->swipeAnimationTransitionDuration()
                                                    : GADSwipeToViewControllerConfigurations::kDefaultTransitionDuration);
    animation_ = animation;
    animationController_ = controller;
    swipeGestureRecognizer_ = platform::PanGestureRecognizer::create();
    swipeToViewControllerAnimationControllerInitialized_ = true;
}

void GADSlot::enableSwipeToViewController() {
    auto delegate = slotDelegate();
    if (!delegate) return;
    auto view = delegate->swipeToViewControllerView();
    if (!view || !delegate->rootViewController()) return;
    setUpAnimationController();
    if (!swipeToViewControllerAnimationControllerInitialized_) return;
    view->addGestureRecognizer(swipeGestureRecognizer_);
    swipeToViewControllerEnabled_ = true;
    animationController_->setDelegate(
        std::static_pointer_cast<GADPercentDrivenUserInteractionAnimationControllerDelegate>(shared_from_this()));
    if (swipeGestureTarget_ == 0) {
        std::weak_ptr<GADSlot> weak = weak_from_this();
        swipeGestureTarget_ = swipeGestureRecognizer_->addTarget([weak](platform::GestureRecognizer& recognizer) {
            if (auto self = weak.lock()) self->handlePanGesture(static_cast<platform::PanGestureRecognizer&>(recognizer));
        });
    }
    // Each ad brings its own settings, so they are taken on every enable, not only the first.
    auto configurations = ad_ ? ad_->swipeToViewControllerConfigurations() : nullptr;
    animation_->setDirection(configurations ? configurations->swipeDirection() : GADSwipeDirectionNone);
    animation_->setTransitionDuration(configurations ? configurations->swipeAnimationTransitionDuration()
                                                     : GADSwipeToViewControllerConfigurations::kDefaultTransitionDuration);
    animation_->setDraggableView(configurations && configurations->isAdDraggable() ? view : nullptr);
}

void GADSlot::disableSwipeToViewController() {
    if (!swipeToViewControllerEnabled_) return;
    savedParamsForCheckingSwipeToViewController_.reset();
    swipeToViewControllerEnabled_ = false;
    if (!swipeGestureRecognizer_) return;
    swipeGestureRecognizer_->removeTarget(swipeGestureTarget_);
    swipeGestureTarget_ = 0;
    // The view it was added to, even if the owner now names another.
    if (auto view = swipeGestureRecognizer_->view()) view->removeGestureRecognizer(swipeGestureRecognizer_);
}

bool GADSlot::shouldProcessTouch(platform::Point point, const platform::View* view) const {
    auto delegate = slotDelegate();
    auto swipeView = delegate ? delegate->swipeToViewControllerView() : nullptr;
    const platform::Point p = swipeView ? swipeView->convertPointFromView(point, view) : platform::Point{0, 0};
    auto configurations = ad_ ? ad_->swipeToViewControllerConfigurations() : nullptr;
    if (!configurations || !configurations->swipeableRectangles()) return false;
    for (const auto& rect : *configurations->swipeableRectangles())
        if (rect.contains(p)) return true;
    return false;
}

void GADSlot::handlePanGesture(platform::PanGestureRecognizer& pan) {
    if (!animationController_) return;
    auto self = shared_from_this();
    switch (pan.state()) {
    case platform::GestureRecognizerState::Began: {
        const platform::Point point = pan.locationOfTouch(0, nullptr);
        if (!shouldProcessTouch(point, nullptr)) {
            // Cancels the gesture; the cancelled state arms the pan again.
            pan.setEnabled(false);
            return;
        }
        animation_->setStartY(point.y);
        auto delegate = slotDelegate();
        auto root = delegate ? delegate->rootViewController() : nullptr;
        auto configurations = ad_ ? ad_->swipeToViewControllerConfigurations() : nullptr;
        if (root && configurations && configurations->swipeableInAppStoreProductID()) {
            strongSlotForSwipeToViewController_ = self;
            loadStoreProductViewController();
            auto sheet = swipeableStoreProductViewController_;
            auto proxy = GADOverlayProxy::initWithViewController(sheet);
            if (proxy) {
                proxy->setSlot(weak_from_this());
                proxy->presentFromViewController(root, nullptr);
            }
            // The root was busy (presenting already, or mid-transition): nothing went up, so nothing
            // may keep the slot or the screen.
            if (!sheet->presentingViewController()) {
                if (proxy) proxy->relinquishScreenWithCompletion(nullptr);
                swipeableStoreProductViewController_.reset();
                releaseSwipeHold();
            }
        }
        animationController_->handlePanGesture(pan);
        return;
    }
    case platform::GestureRecognizerState::Cancelled:
        pan.setEnabled(true);
        // A refused touch never reaches the transition; one the system cancelled mid-swipe must not
        // leave the page hanging half way.
        if (animationController_->isActive()) animationController_->handlePanGesture(pan);
        return;
    default:
        animationController_->handlePanGesture(pan);
        return;
    }
}

void GADSlot::loadStoreProductViewController() {
    auto configurations = ad_ ? ad_->swipeToViewControllerConfigurations() : nullptr;
    auto sheet = platform::ProductViewController::create();
    platform::Value parameters = platform::Value::object();
    if (configurations && configurations->swipeableInAppStoreProductID())
        parameters[platform::ProductViewController::itemIdentifierParameter] =
            *configurations->swipeableInAppStoreProductID();
    sheet->loadProductWithParameters(parameters, nullptr);
    swipeableStoreProductViewController_ = sheet;
    sheet->setDelegate(std::static_pointer_cast<platform::ProductViewControllerDelegate>(shared_from_this()));
    sheet->setTransitioningDelegate(animationController_);
    sheet->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
}

void GADSlot::productViewControllerDidFinish(platform::ProductViewController& controller) {
    auto self = shared_from_this();
    if (auto proxy = GADOverlayProxy::overlayProxyForViewController(&controller)) {
        proxy->relinquishScreenWithCompletion(nullptr);
    } else if (auto presenting = controller.presentingViewController()) {
        presenting->dismissViewController(true, nullptr);
    }
    if (adView_) adView_->postJSNotification("onSwipeToViewControllerDismissed", swipeEventCreativeMetadata());
    swipeableStoreProductViewController_.reset();
    releaseSwipeHold();
}

void GADSlot::animationControllerDidFinishAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) {
    if (adView_)
        adView_->postJSNotification("onSwipeableViewControllerPresentationFinished", swipeEventCreativeMetadata());
}

void GADSlot::animationControllerDidCancelAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) {
    if (adView_)
        adView_->postJSNotification("onSwipeableViewControllerPresentationCanceled", swipeEventCreativeMetadata());
    // The sheet slides back out: its part in the full-screen period ends with it.
    if (auto sheet = std::move(swipeableStoreProductViewController_)) {
        swipeableStoreProductViewController_.reset();
        if (auto proxy = GADOverlayProxy::overlayProxyForViewController(sheet.get()))
            proxy->relinquishScreenWithCompletion(nullptr);
    }
    releaseSwipeHold();
}

void GADSlot::animationControllerDidDismissViewController(GADPercentDrivenUserInteractionAnimationController&) {
    swipeableStoreProductViewController_.reset();
    releaseSwipeHold();
}

void GADSlot::releaseSwipeHold() {
    auto hold = std::move(strongSlotForSwipeToViewController_);
    strongSlotForSwipeToViewController_.reset();
    // This may be the last reference, and we are inside one of the slot's own calls.
    if (hold) platform::MainLoop::main().post([hold] {});
}

std::optional<platform::Value> GADSlot::swipeEventCreativeMetadata() const {
    auto configurations = ad_ ? ad_->swipeToViewControllerConfigurations() : nullptr;
    std::optional<platform::Value> metadata;
    if (configurations) metadata = configurations->swipeEventCreativeMetadata();
    // Data the JSON writer refuses goes out as no information at all rather than failing the event.
    if (!metadata || !gad_isValidJSONObject(*metadata)) return std::nullopt;
    return metadata;
}

} // namespace ruzave
