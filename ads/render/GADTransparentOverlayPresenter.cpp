#include "ads/render/GADTransparentOverlayPresenter.h"

#include <algorithm>
#include <numbers>

#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADPresentationChainWatch.h"
#include "ads/render/GADUnclickableView.h"
#include "ads/render/GADViewController.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/Color.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace ruzave {
namespace {

using platform::InterfaceOrientation;

constexpr double kRotationDuration = 0.3;

bool modernOS() {
    return GADDevice::sharedInstance()->isOSAtLeastMajor(8, 0, 0);
}

platform::Rect applicationFrame() {
    return platform::Screen::mainScreen()->applicationFrame();
}

} // namespace

GADTransparentOverlayPresenter::GADTransparentOverlayPresenter() {
    auto portrait = GADDevice::sharedInstance()->standardizedPortraitScreenBounds();
    float side = std::max(portrait.width(), portrait.height());
    pivotView_ = GADUnclickableView::initWithFrame({0, 0, side, side});
    cropView_ = GADUnclickableView::initWithFrame(platform::Rect::zero());
}

std::shared_ptr<GADTransparentOverlayPresenter> GADTransparentOverlayPresenter::init() {
    return std::shared_ptr<GADTransparentOverlayPresenter>(new GADTransparentOverlayPresenter());
}

GADTransparentOverlayPresenter::~GADTransparentOverlayPresenter() {
    removeObservers();
    stopWatchingCoveredScreen();
}

void GADTransparentOverlayPresenter::removeObservers() {
    auto center = platform::NotificationCenter::defaultCenter();
    if (observingOrientation_) center->removeObserver(orientationChangeListener_);
    if (observingPlacement_) center->removeObserver(placementDisappearanceObserver_);
    observingOrientation_ = observingPlacement_ = false;
}

std::shared_ptr<platform::ViewController> GADTransparentOverlayPresenter::presentationViewController() const {
    auto presented = presented_.lock();
    std::shared_ptr<platform::Window> window = presented && presented->isViewLoaded() ? presented->view()->window() : nullptr;
    if (!window) window = platform::Application::sharedApplication()->keyWindow();
    auto top = window ? window->rootViewController() : nullptr;
    while (top && top->presentedViewController()) top = top->presentedViewController();
    return top;
}

platform::Rect GADTransparentOverlayPresenter::frameWithSize(platform::Size size, platform::Rect frame) {
    float dx = (frame.width() - size.width) / 2;
    float dy = (frame.height() - size.height) / 2;
    return {frame.minX() + dx, frame.minY() + dy, size.width, size.height};
}

platform::AffineTransform GADTransparentOverlayPresenter::transformForOrientation(InterfaceOrientation o) const {
    if (modernOS()) return platform::AffineTransform::identity();
    const float pi = std::numbers::pi_v<float>;
    switch (o) {
    case InterfaceOrientation::PortraitUpsideDown: return platform::AffineTransform::rotation(pi);
    case InterfaceOrientation::LandscapeRight: return platform::AffineTransform::rotation(pi / 2);
    case InterfaceOrientation::LandscapeLeft: return platform::AffineTransform::rotation(-pi / 2);
    default: return platform::AffineTransform::identity();
    }
}

platform::Rect GADTransparentOverlayPresenter::pivotedApplicationFrameForOrientation(InterfaceOrientation) const {
    auto size = GADDevice::sharedInstance()->standardizedOrientedApplicationFrame().size;
    return frameWithSize(size, pivotView_->bounds());
}

void GADTransparentOverlayPresenter::presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                                               Completion completion) {
    std::shared_ptr<platform::Window> window =
        presenting && presenting->isViewLoaded() ? presenting->view()->window() : nullptr;
    if (!window) window = platform::Application::sharedApplication()->keyWindow();
    if (window) window->addSubview(pivotView_);
    auto presented = presented_.lock();
    if (presented) presented->beginAppearanceTransition(true, true);
    composeTransparentInterstitialViewsForPresentation();
    watchCoveredScreen(window);
    std::weak_ptr<GADViewController> weak = presented;
    animateTransparentInterstitialPresentationWithCompletionHandler([weak, completion = std::move(completion)] {
        if (auto c = weak.lock()) c->endAppearanceTransition();
        if (completion) completion();
    });
}

void GADTransparentOverlayPresenter::watchCoveredScreen(const std::shared_ptr<platform::Window>& window) {
    stopWatchingCoveredScreen();
    auto top = window ? window->rootViewController() : nullptr;
    while (top && top->presentedViewController()) top = top->presentedViewController();
    // Over the window's own root the overlay stays for as long as its banner does.
    if (!top || !top->presentingViewController()) return;
    std::weak_ptr<GADTransparentOverlayPresenter> weakSelf = weak_from_this();
    coveredScreenWatch_ = GADPresentationChainWatch::watch(top, [weakSelf] {
        // On a later turn: the platform is taking its chain down, perhaps inside a release.
        platform::mainQueue()->async([weakSelf] {
            auto self = weakSelf.lock();
            if (!self) return;
            self->stopWatchingCoveredScreen();
            auto controller = self->presented_.lock();
            if (controller && controller->isViewLoaded() && controller->view()->window())
                controller->leaveAsTakenAway();
        });
    });
}

void GADTransparentOverlayPresenter::stopWatchingCoveredScreen() {
    if (auto watch = std::move(coveredScreenWatch_)) watch->cancel();
}

void GADTransparentOverlayPresenter::composeTransparentInterstitialViewsForPresentation() {
    auto presented = presented_.lock();
    if (!presented) return;
    auto view = presented->view();
    view->setBackgroundColor(platform::Color::clear());
    pivotView_->setFrame(frameWithSize(pivotView_->bounds().size, applicationFrame()));
    pivotView_->setOpaque(false);
    pivotView_->setBackgroundColor(platform::Color::clear());
    auto o = platform::Application::sharedApplication()->statusBarOrientation();
    cropView_->setFrame(pivotedApplicationFrameForOrientation(o));
    view->setFrame(cropView_->bounds());
    view->setAutoresizingMask(platform::AutoresizingFlexibleWidth | platform::AutoresizingFlexibleHeight);
    pivotView_->addSubview(cropView_);
    cropView_->addSubview(view);
    pivotView_->setTransform(transformForOrientation(o));
    presented->viewChangedToOrientation(o);

    removeObservers();
    auto center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<GADTransparentOverlayPresenter> weakSelf = weak_from_this();
    orientationChangeListener_ = center->addObserver(platform::kApplicationDidChangeStatusBarOrientation, nullptr,
                                                     nullptr, [weakSelf](const platform::Notification&) {
                                                         if (auto self = weakSelf.lock())
                                                             self->updateTransparentInterstitialOrientation();
                                                     });
    observingOrientation_ = true;
    if (auto slot = presented->slot()) {
        std::weak_ptr<GADViewController> weakController = presented;
        placementDisappearanceObserver_ = center->addObserver(
            GADSlot::kSlotDidLeaveWindowNotification, slot.get(), platform::mainQueue(),
            [weakController](const platform::Notification&) {
                auto controller = weakController.lock();
                if (controller && controller->isViewLoaded() && controller->view()->window())
                    controller->leaveAsTakenAway();
            });
        observingPlacement_ = true;
    }
}

void GADTransparentOverlayPresenter::animateTransparentInterstitialPresentationWithCompletionHandler(Completion completion) {
    auto frame = applicationFrame();
    float dx = 0, dy = frame.height();
    if (!modernOS()) {
        switch (platform::Application::sharedApplication()->statusBarOrientation()) {
        case InterfaceOrientation::PortraitUpsideDown: dy = -frame.height(); break;
        case InterfaceOrientation::LandscapeRight: dx = -frame.width(); dy = 0; break;
        case InterfaceOrientation::LandscapeLeft: dx = frame.width(); dy = 0; break;
        default: break;
        }
    }
    pivotView_->setFrame(pivotView_->frame().offsetBy(dx, dy));
    auto pivot = pivotView_;
    platform::View::animate(
        kSlideInDuration, [pivot, dx, dy] { pivot->setFrame(pivot->frame().offsetBy(-dx, -dy)); },
        [completion = std::move(completion)](bool) {
            if (completion) completion();
        });
}

void GADTransparentOverlayPresenter::updateTransparentInterstitialOrientation() {
    auto o = platform::Application::sharedApplication()->statusBarOrientation();
    std::weak_ptr<GADTransparentOverlayPresenter> weakSelf = weak_from_this();
    platform::View::animate(
        kRotationDuration,
        [this, o] {
            cropView_->setFrame(pivotedApplicationFrameForOrientation(o));
            auto frame = applicationFrame();
            pivotView_->setCenter({frame.midX(), frame.midY()});
            pivotView_->setTransform(transformForOrientation(o));
        },
        [weakSelf, o](bool) {
            auto self = weakSelf.lock();
            auto presented = self ? self->presented_.lock() : nullptr;
            if (presented) presented->viewChangedToOrientation(o);
        });
}

bool GADTransparentOverlayPresenter::dismissWithCompletionHandler(Completion completion) {
    removeObservers();
    stopWatchingCoveredScreen();
    auto presented = presented_.lock();
    auto view = presented && presented->isViewLoaded() ? presented->view() : nullptr;
    if (presented) presented->beginAppearanceTransition(false, true);
    auto pivot = pivotView_;
    std::weak_ptr<GADViewController> weak = presented;
    platform::View::animate(
        kFadeOutDuration,
        [view] {
            if (view) view->setAlpha(0);
        },
        [pivot, view, weak, completion = std::move(completion)](bool) {
            pivot->removeFromSuperview();
            if (view) view->removeFromSuperview();
            if (auto c = weak.lock()) c->endAppearanceTransition();
            if (completion) completion();
        });
    return true;
}

} // namespace ruzave
