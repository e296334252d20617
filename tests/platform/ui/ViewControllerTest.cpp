#include <memory>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/testing/Harness.h"
#include "platform/ui/AnimatedTransitioning.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/PercentDrivenInteractiveTransition.h"
#include "platform/ui/TransitionContext.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/ViewControllerTransitioningDelegate.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;

namespace {

using Log = std::vector<std::string>;

class Recording : public ViewController {
public:
    static std::shared_ptr<Recording> create(Log* log, std::string name) {
        auto c = std::shared_ptr<Recording>(new Recording());
        c->log_ = log;
        c->name_ = std::move(name);
        return c;
    }
    void viewDidLoad() override { log_->push_back(name_ + ".viewDidLoad"); }
    void viewWillAppear(bool) override { log_->push_back(name_ + ".willAppear"); }
    void viewDidAppear(bool) override { log_->push_back(name_ + ".didAppear"); }
    void viewWillDisappear(bool) override { log_->push_back(name_ + ".willDisappear"); }
    void viewDidDisappear(bool) override { log_->push_back(name_ + ".didDisappear"); }
    void didLeavePresentationChain() override {
        log_->push_back(name_ + ".left" + (presentingViewController() ? "(still linked)" : "") +
                        (isReleasingPresenter() ? "(in a release)" : ""));
    }
    bool prefersStatusBarHidden() const override { return hidesStatusBar; }
    unsigned supportedInterfaceOrientations() const override { return mask; }
    bool hidesStatusBar = false;
    unsigned mask = InterfaceOrientationMaskAllButUpsideDown;

private:
    Recording() = default;
    Log* log_ = nullptr;
    std::string name_;
};

struct Scene {
    Log log;
    std::shared_ptr<Window> window = Window::create();
    std::shared_ptr<Recording> root = Recording::create(&log, "root");
    Scene() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        log.clear();
    }
};

// An animator that completes after its own duration on the clock, as a real animation does.
class SlideAnimator : public AnimatedTransitioning {
public:
    double transitionDuration(TransitionContext*) override { return 0.5; }
    void animateTransition(TransitionContext& context) override {
        ++runs;
        auto to = context.toViewController();
        if (to && context.containerView() && !to->view()->superview()) context.containerView()->addSubview(to->view());
        std::shared_ptr<TransitionContext> keep = context.shared_from_this();
        View::animate(transitionDuration(&context), [] {}, [keep](bool) {
            keep->completeTransition(!keep->transitionWasCancelled());
        });
    }
    void animationEnded(bool completed) override { ended.push_back(completed); }
    int runs = 0;
    std::vector<bool> ended;
};

class Delegate : public ViewControllerTransitioningDelegate {
public:
    std::shared_ptr<SlideAnimator> animator = std::make_shared<SlideAnimator>();
    std::shared_ptr<PercentDrivenInteractiveTransition> interaction;
    std::shared_ptr<AnimatedTransitioning> animationControllerForPresentedController(ViewController&, ViewController&,
                                                                                     ViewController&) override {
        return animator;
    }
    std::shared_ptr<AnimatedTransitioning> animationControllerForDismissedController(ViewController&) override {
        return animator;
    }
    std::shared_ptr<InteractiveTransitioning> interactionControllerForDismissal(AnimatedTransitioning&) override {
        return interaction;
    }
};

} // namespace

TEST_CASE_FIXTURE(Harness, "ViewController: the view loads once, on first use") {
    Log log;
    auto c = Recording::create(&log, "c");
    CHECK_FALSE(c->isViewLoaded());
    auto v = c->view();
    CHECK(c->view() == v);
    CHECK(v->viewController() == c);
    CHECK(log == Log{"c.viewDidLoad"});
    CHECK(v->frame() == Rect(0, 0, 320, 568));
}

TEST_CASE_FIXTURE(Harness, "ViewController: animated presentation and dismissal in order, completions on the clock") {
    Scene s;
    auto modal = Recording::create(&s.log, "modal");
    bool presented = false;
    CHECK(s.root->presentViewController(modal, true, [&] {
        presented = true;
        s.log.push_back("completion");
    }));
    CHECK(s.root->presentedViewController() == modal);
    CHECK(modal->presentingViewController() == s.root);
    CHECK(modal->isBeingPresented());
    CHECK(s.log == Log{"modal.viewDidLoad", "modal.willAppear", "root.willDisappear"});
    CHECK(modal->view()->window() == s.window);
    runUntilIdle();
    advance(0.29);
    CHECK_FALSE(presented);
    advance(0.02);
    CHECK(presented);
    CHECK_FALSE(modal->isBeingPresented());
    CHECK(s.log == Log{"modal.viewDidLoad", "modal.willAppear", "root.willDisappear", "modal.didAppear",
                       "root.didDisappear", "completion"});

    s.log.clear();
    bool dismissed = false;
    CHECK(modal->dismissViewController(true, [&] { dismissed = true; }));
    CHECK(modal->isBeingDismissed());
    advance(0.31);
    CHECK(dismissed);
    CHECK(s.log == Log{"modal.willDisappear", "root.willAppear", "modal.didDisappear", "root.didAppear", "modal.left"});
    CHECK(s.root->presentedViewController() == nullptr);
    CHECK(modal->presentingViewController() == nullptr);
    CHECK(modal->view()->superview() == nullptr);
    CHECK_FALSE(s.root->dismissViewController(false)); // nothing left to dismiss
}

TEST_CASE_FIXTURE(Harness, "ViewController: presenting from a controller already presenting is refused visibly") {
    Scene s;
    auto first = Recording::create(&s.log, "first");
    auto second = Recording::create(&s.log, "second");
    REQUIRE(s.root->presentViewController(first, false));
    runUntilIdle();
    LogCapture capture;
    bool ran = false;
    CHECK_FALSE(s.root->presentViewController(second, false, [&] { ran = true; }));
    runUntilIdle();
    advance(1);
    CHECK_FALSE(ran);
    CHECK(capture.contains("already presenting"));
    CHECK(s.root->presentedViewController() == first);
    CHECK(second->presentingViewController() == nullptr);
    // The top controller may present on.
    CHECK(first->presentViewController(second, false));
    // Presenting during a transition is refused too.
    auto third = Recording::create(&s.log, "third");
    CHECK_FALSE(second->presentViewController(third, false));
    runUntilIdle();
    CHECK(second->presentViewController(third, false));
    runUntilIdle();
    // Dismissing from the root takes the whole stack down.
    CHECK(s.root->dismissViewController(false));
    runUntilIdle();
    CHECK(s.root->presentedViewController() == nullptr);
    CHECK(first->presentedViewController() == nullptr);
    CHECK(third->view()->superview() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "ViewController: non-animated presentation completes on the next main loop turn") {
    Scene s;
    auto modal = Recording::create(&s.log, "modal");
    int completions = 0;
    modal->setModalPresentationStyle(ModalPresentationStyle::OverFullScreen);
    REQUIRE(s.root->presentViewController(modal, false, [&] { ++completions; }));
    CHECK(completions == 0);
    runUntilIdle();
    CHECK(completions == 1);
    // Over full screen: the presenter stays visible.
    CHECK(s.log == Log{"modal.viewDidLoad", "modal.willAppear", "modal.didAppear"});
}

TEST_CASE_FIXTURE(Harness, "ViewController: a transitioning delegate's animator runs with the context") {
    Scene s;
    auto modal = Recording::create(&s.log, "modal");
    auto delegate = std::make_shared<Delegate>();
    modal->setModalPresentationStyle(ModalPresentationStyle::Custom);
    modal->setTransitioningDelegate(delegate);
    bool done = false;
    REQUIRE(s.root->presentViewController(modal, true, [&] { done = true; }));
    auto context = modal->transitionContext();
    REQUIRE(context);
    CHECK(context->fromViewController() == s.root);
    CHECK(context->toViewController() == modal);
    CHECK(context->containerView() == s.window);
    CHECK(delegate->animator->runs == 1);
    advance(0.3);
    CHECK_FALSE(done);
    advance(0.25);
    CHECK(done);
    CHECK(delegate->animator->ended == std::vector<bool>{true});
    CHECK(modal->transitionContext() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "ViewController: a percent-driven dismissal can be cancelled, then finished") {
    Scene s;
    auto modal = Recording::create(&s.log, "modal");
    auto delegate = std::make_shared<Delegate>();
    delegate->interaction = PercentDrivenInteractiveTransition::create();
    modal->setTransitioningDelegate(delegate);
    REQUIRE(s.root->presentViewController(modal, true));
    advance(1);
    REQUIRE(s.root->presentedViewController() == modal);

    int completions = 0;
    REQUIRE(modal->dismissViewController(true, [&] { ++completions; }));
    CHECK(delegate->interaction->isActive());
    delegate->interaction->updateInteractiveTransition(0.4f);
    CHECK(delegate->interaction->percentComplete() == doctest::Approx(0.4));
    delegate->interaction->cancelInteractiveTransition();
    advance(1);
    CHECK(completions == 1);
    CHECK(s.root->presentedViewController() == modal); // still presented
    CHECK(modal->view()->superview() == s.window);
    CHECK_FALSE(modal->isBeingDismissed());

    REQUIRE(modal->dismissViewController(true, [&] { ++completions; }));
    delegate->interaction->updateInteractiveTransition(0.9f);
    delegate->interaction->finishInteractiveTransition();
    advance(1);
    CHECK(completions == 2);
    CHECK(s.root->presentedViewController() == nullptr);
    CHECK(modal->view()->superview() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "ViewController: status bar preference, rotation and child controllers") {
    Scene s;
    auto app = Application::sharedApplication();
    auto modal = Recording::create(&s.log, "modal");
    modal->hidesStatusBar = true;
    REQUIRE(s.root->presentViewController(modal, false));
    runUntilIdle();
    CHECK(app->isStatusBarHidden());

    Device::currentDevice()->setOrientation(DeviceOrientation::LandscapeLeft);
    modal->mask = InterfaceOrientationMaskPortrait;
    ViewController::attemptRotationToDeviceOrientation();
    CHECK(app->statusBarOrientation() == InterfaceOrientation::Portrait);
    modal->mask = InterfaceOrientationMaskAll;
    ViewController::attemptRotationToDeviceOrientation();
    CHECK(app->statusBarOrientation() == InterfaceOrientation::LandscapeRight);
    CHECK(modal->interfaceOrientation() == InterfaceOrientation::LandscapeRight);

    auto child = Recording::create(&s.log, "child");
    s.root->addChildViewController(child);
    CHECK(child->parentViewController() == s.root);
    CHECK(s.root->childViewControllers().size() == 1);
    // A controller with a parent cannot be presented.
    CHECK_FALSE(modal->presentViewController(child, false));
    child->removeFromParentViewController();
    CHECK(s.root->childViewControllers().empty());
}

TEST_CASE_FIXTURE(Harness, "ViewController: every controller of a dismissed stack hears it left, covered ones without a second disappearance") {
    for (bool fromBelow : {true, false}) {
        CAPTURE(fromBelow);
        Scene s;
        auto low = Recording::create(&s.log, "low");
        auto mid = Recording::create(&s.log, "mid");
        auto top = Recording::create(&s.log, "top");
        REQUIRE(s.root->presentViewController(low, false));
        runUntilIdle();
        REQUIRE(low->presentViewController(mid, false));
        runUntilIdle();
        REQUIRE(mid->presentViewController(top, false));
        runUntilIdle();
        // A child, added once its parent was up (so it heard no appearance), hears it with its parent.
        auto child = Recording::create(&s.log, "child");
        top->addChildViewController(child);
        s.log.clear();
        // The root's dismissal takes the whole stack down; the low screen's takes down what it presents.
        REQUIRE((fromBelow ? s.root : low)->dismissViewController(true));
        // Controllers above the dismissed one leave at once, topmost first; covered screens had
        // disappeared already and hear nothing else.
        Log atOnce{"top.willDisappear", "top.didDisappear", "top.left", "child.left"};
        if (fromBelow) {
            atOnce.insert(atOnce.end(), {"mid.left", "root.willAppear"});
        } else {
            atOnce.push_back("low.willAppear");
        }
        CHECK(s.log == atOnce);
        advance(0.31);
        Log later = atOnce;
        if (fromBelow) later.insert(later.end(), {"root.didAppear", "low.left"});
        else later.insert(later.end(), {"low.didAppear", "mid.left"});
        CHECK(s.log == later);
        CHECK(s.root->presentedViewController() == (fromBelow ? nullptr : low));
    }
}

TEST_CASE_FIXTURE(Harness, "ViewController: a presentation that does not complete, or a presenter that goes, ends the chain above it") {
    Scene s;
    auto delegate = std::make_shared<Delegate>();
    auto modal = Recording::create(&s.log, "modal");
    modal->setTransitioningDelegate(delegate);
    REQUIRE(s.root->presentViewController(modal, true));
    auto context = modal->transitionContext();
    REQUIRE(context);
    context->cancelInteractiveTransition();
    advance(0.6);
    CHECK(s.root->presentedViewController() == nullptr);
    CHECK(s.log.back() == "modal.left");
    context.reset();

    s.log.clear();
    auto under = Recording::create(&s.log, "under");
    auto over = Recording::create(&s.log, "over");
    REQUIRE(s.root->presentViewController(under, false));
    runUntilIdle();
    REQUIRE(under->presentViewController(over, false));
    runUntilIdle();
    s.log.clear();
    std::weak_ptr<Recording> weakUnder = under;
    // The app lets go of the screen under while the stack is still shown: the window's root keeps it,
    // until the root itself goes.
    under.reset();
    s.window->setRootViewController(nullptr);
    s.root.reset();
    CHECK(weakUnder.expired());
    // They hear it inside the root's destructor, which they are told.
    CHECK(s.log == Log{"over.left(in a release)", "under.left(in a release)"});
    CHECK(over->presentingViewController() == nullptr);
    CHECK_FALSE(ViewController::isReleasingPresenter());
}

TEST_CASE_FIXTURE(Harness, "ViewController: a dismissal refused during a transition keeps its completion out and can run after it") {
    Scene s;
    auto modal = Recording::create(&s.log, "modal");
    auto over = Recording::create(&s.log, "over");
    REQUIRE(s.root->presentViewController(modal, true));
    int completions = 0;
    LogCapture capture;
    // Still coming up: refused, and the completion is not run now or later.
    CHECK_FALSE(modal->dismissViewController(true, [&] { ++completions; }));
    CHECK(capture.contains("while a transition is in progress"));
    std::vector<std::string> order;
    ViewController::performAfterTransitions([&] {
        order.push_back("after");
        CHECK_FALSE(modal->isBeingPresented());
        CHECK(modal->dismissViewController(true, [&] { ++completions; }));
    });
    runUntilIdle();
    CHECK(order.empty());
    advance(0.31);
    CHECK(order == std::vector<std::string>{"after"});
    CHECK(completions == 0);
    // A block asked for while the dismissal runs waits for it too; one asked for with nothing under way
    // runs on the next turn.
    ViewController::performAfterTransitions([&] { order.push_back(std::to_string(completions)); });
    advance(0.31);
    CHECK(completions == 1);
    CHECK(order == std::vector<std::string>{"after", "1"});
    ViewController::performAfterTransitions([&] { order.push_back("idle"); });
    CHECK(order.size() == 2);
    runUntilIdle();
    CHECK(order.back() == "idle");

    // A screen coming up over another holds back the dismissal of the one under it.
    REQUIRE(s.root->presentViewController(modal, false));
    runUntilIdle();
    REQUIRE(modal->presentViewController(over, true));
    CHECK_FALSE(s.root->dismissViewController(false));
    advance(0.31);
    CHECK(s.root->dismissViewController(false));
    runUntilIdle();
    CHECK(s.root->presentedViewController() == nullptr);
    CHECK(completions == 1);
}
