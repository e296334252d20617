#include <doctest/doctest.h>

#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADPercentDrivenUserInteractionAnimationController.h"
#include "ads/render/GADPercentDrivenUserInteractionAnimationControllerDelegate.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "ads/render/GADViewControllerFullScreenSwipeAnimation.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using platform::testing::Harness;
using ruzave::GADPercentDrivenUserInteractionAnimationController;
using ruzave::GADViewControllerFullScreenSwipeAnimation;

namespace {

struct Outcomes : ruzave::GADPercentDrivenUserInteractionAnimationControllerDelegate {
    void animationControllerDidFinishAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) override {
        calls.push_back("finish");
    }
    void animationControllerDidCancelAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) override {
        calls.push_back("cancel");
    }
    void animationControllerDidDismissViewController(GADPercentDrivenUserInteractionAnimationController&) override {
        calls.push_back("dismissed");
    }
    std::vector<std::string> calls;
};

// A 480-point-high screen whose root view carries a pan that presents a page through the controller
// as it begins, as the slot does, and then drives the transition.
struct Swipe : Harness {
    Swipe() {
        ruzave::GADDevice::sharedInstance()->updateOperatingSystemVersionProperties();
        platform::Screen::mainScreen()->setBoundsSize({320, 480});
        animation = GADViewControllerFullScreenSwipeAnimation::init();
        controller = GADPercentDrivenUserInteractionAnimationController::initWithAnimation(animation);
        window = platform::Window::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        REQUIRE(controller);
        controller->setDelegate(outcomes);
        animation->setTransitionDuration(0.4);
        page->setTransitioningDelegate(controller);
        pan->addTarget([this](platform::GestureRecognizer&) {
            if (pan->state() == platform::GestureRecognizerState::Began) {
                animation->setStartY(pan->locationOfTouch(0, nullptr).y);
                root->presentViewController(page, true);
            }
            controller->handlePanGesture(*pan);
        });
        root->view()->addGestureRecognizer(pan);
    }
    // Down at y0, moves through `ys` a tenth of a second apart, then up.
    void drag(float y0, std::initializer_list<float> ys) {
        platform::TouchInjector finger(window);
        REQUIRE(finger.down({160, y0}));
        double t = 0;
        for (float y : ys) finger.move({160, y}, t += 0.1);
        finger.up(t + 0.1);
    }
    bool presented() {
        advance(0.4);
        runUntilIdle();
        return root->presentedViewController() == page && page->view()->window() == window;
    }

    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
    std::shared_ptr<platform::ViewController> page = platform::ViewController::create();
    std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> animation;
    std::shared_ptr<GADPercentDrivenUserInteractionAnimationController> controller;
    std::shared_ptr<platform::PanGestureRecognizer> pan = platform::PanGestureRecognizer::create();
    std::shared_ptr<Outcomes> outcomes = std::make_shared<Outcomes>();
};

} // namespace

TEST_CASE_FIXTURE(Swipe, "GADPercentDrivenUserInteractionAnimationController: progress follows the finger within 0 and 1") {
    animation->setDirection(ruzave::GADSwipeDirectionTopToBottom);
    animation->setStartY(100);
    CHECK(controller->progressForLocationY(290) == doctest::Approx(0.5));
    CHECK(controller->progressForLocationY(50) == 0);
    CHECK(controller->progressForLocationY(900) == 1);
    // A start at the bottom edge leaves no room: no division by zero.
    animation->setStartY(480);
    CHECK(controller->progressForLocationY(479) == 0);

    animation->setDirection(ruzave::GADSwipeDirectionBottomToTop);
    animation->setStartY(400);
    CHECK(controller->progressForLocationY(100) == doctest::Approx(0.75));
    animation->setStartY(0);
    CHECK(controller->progressForLocationY(-10) == 0);
}

TEST_CASE_FIXTURE(Swipe, "GADPercentDrivenUserInteractionAnimationController: a pan that begins drives the transition it started") {
    animation->setDirection(ruzave::GADSwipeDirectionTopToBottom);
    platform::TouchInjector finger(window);
    REQUIRE(finger.down({160, 100}));
    finger.move({160, 120}, 0.1);
    REQUIRE(pan->state() == platform::GestureRecognizerState::Began);
    // Beginning is no reason to cancel.
    CHECK(controller->isActive());
    CHECK(outcomes->calls.empty());
    finger.move({160, 290}, 0.2);
    CHECK(controller->percentComplete() == doctest::Approx(170.0f / 360.0f));
    finger.up(0.3);
    CHECK(outcomes->calls == std::vector<std::string>{"finish"});
    CHECK(presented());

    // Dismissal is a plain animation that reports the page gone.
    CHECK(controller->interactionControllerForDismissal(*animation) == nullptr);
    root->dismissViewController(true);
    advance(0.4);
    runUntilIdle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(outcomes->calls.back() == "dismissed");
}

TEST_CASE_FIXTURE(Swipe, "GADPercentDrivenUserInteractionAnimationController: letting go the wrong way or standing still cancels") {
    animation->setDirection(ruzave::GADSwipeDirectionTopToBottom);
    drag(100, {150, 300, 250});
    CHECK(outcomes->calls == std::vector<std::string>{"cancel"});
    CHECK_FALSE(presented());

    drag(100, {150, 300, 300});
    CHECK(outcomes->calls.back() == "cancel");
    CHECK_FALSE(presented());

    // Bottom to top finishes at any progress while still moving up.
    animation->setDirection(ruzave::GADSwipeDirectionBottomToTop);
    drag(400, {380, 379});
    CHECK(outcomes->calls.back() == "finish");
    CHECK(presented());
}

TEST_CASE_FIXTURE(Swipe, "GADPercentDrivenUserInteractionAnimationController: a cancelled pan cancels the running transition") {
    animation->setDirection(ruzave::GADSwipeDirectionBottomToTop);
    platform::TouchInjector finger(window);
    REQUIRE(finger.down({160, 400}));
    finger.move({160, 300}, 0.1);
    REQUIRE(controller->isActive());
    finger.cancel(0.2);
    CHECK(outcomes->calls == std::vector<std::string>{"cancel"});
    CHECK_FALSE(controller->isActive());
    CHECK_FALSE(presented());
}

TEST_CASE_FIXTURE(Swipe, "GADPercentDrivenUserInteractionAnimationController: the direction of travel depends on the run") {
    animation->setDirection(ruzave::GADSwipeDirectionTopToBottom);
    controller->animationControllerForPresentedController(*page, *root, *root);
    CHECK(animation->isPresenting());
    CHECK(controller->isAnimatingTopToBottom());
    controller->animationControllerForDismissedController(*page);
    CHECK_FALSE(animation->isPresenting());
    CHECK(controller->isAnimatingBottomToTop());
    animation->setDirection(ruzave::GADSwipeDirectionBottomToTop);
    CHECK(controller->isAnimatingTopToBottom());
}
