#include "platform/ui/ViewController.h"

#include <algorithm>

#include "platform/base/Log.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/AnimatedTransitioning.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/InteractiveTransitioning.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TransitionContext.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewControllerTransitioningDelegate.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

// Whether the presented controller hides its presenter (which then disappears).
bool coversPresenter(ModalPresentationStyle s) {
    return s == ModalPresentationStyle::FullScreen || s == ModalPresentationStyle::PageSheet ||
           s == ModalPresentationStyle::FormSheet || s == ModalPresentationStyle::CurrentContext;
}

std::string describe(const ViewController* c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "<ViewController %p>", static_cast<const void*>(c));
    return buf;
}

// Transitions under way, and the blocks waiting for none to be.
struct Transitions {
    int underWay = 0;
    std::vector<ViewController::Completion> waiting;
    bool flushPosted = false;
};

Transitions& transitions() {
    static Transitions t;
    return t;
}

void flushWaiting() {
    auto& t = transitions();
    if (t.flushPosted || t.waiting.empty()) return;
    t.flushPosted = true;
    MainLoop::main().post([] {
        auto& t = transitions();
        t.flushPosted = false;
        if (t.underWay > 0) return;
        auto blocks = std::move(t.waiting);
        t.waiting.clear();
        for (auto& block : blocks) block();
    });
}

// Marks one transition under way for as long as it is held: the finish of a transition holds it, so a
// transition ends when its finish has run or has been dropped unrun.
std::shared_ptr<void> beginTransition() {
    ++transitions().underWay;
    return std::shared_ptr<void>(nullptr, [](void*) {
        auto& t = transitions();
        if (--t.underWay == 0) flushWaiting();
    });
}

// How many presenters being destroyed are telling the controllers above them that they left.
int& releasingPresenters() {
    thread_local int depth = 0;
    return depth;
}

// Unlinks the controllers presented above `top` (itself included), topmost first, and tells each.
void leaveChain(const std::shared_ptr<ViewController>& top, std::vector<std::shared_ptr<ViewController>>& out) {
    if (!top) return;
    leaveChain(top->presentedViewController(), out);
    out.push_back(top);
}

} // namespace

void ViewController::leavePresentationChain() {
    didLeavePresentationChain();
    for (auto& child : std::vector<std::shared_ptr<ViewController>>(children_)) child->leavePresentationChain();
}

void ViewController::performAfterTransitions(Completion block) {
    if (!block) return;
    transitions().waiting.push_back(std::move(block));
    if (transitions().underWay == 0) flushWaiting();
}

void ViewController::dismissWhenPossible(const std::shared_ptr<ViewController>& controller) {
    auto presenting = controller ? controller->presentingViewController() : nullptr;
    if (!presenting || presenting->presentedViewController() != controller) return;
    if (presenting->dismissViewController(false)) return;
    performAfterTransitions([controller] { dismissWhenPossible(controller); });
}

std::shared_ptr<ViewController> ViewController::create() { return std::shared_ptr<ViewController>(new ViewController()); }

ViewController::~ViewController() {
    // Controllers still presented over this one are no longer presented by anything.
    if (!presented_) return;
    std::vector<std::shared_ptr<ViewController>> chain;
    leaveChain(presented_, chain);
    for (auto& c : chain) {
        if (auto above = c->presented_) above->presenting_.reset();
        c->presented_.reset();
    }
    presented_->presenting_.reset();
    presented_.reset();
    ++releasingPresenters();
    struct Done {
        ~Done() { --releasingPresenters(); }
    } done;
    for (auto& c : chain) c->leavePresentationChain();
}

bool ViewController::isReleasingPresenter() { return releasingPresenters() > 0; }

std::shared_ptr<View> ViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) view_ = View::create(Screen::mainScreen()->bounds());
        view_->viewController_ = weak_from_this();
        viewDidLoad();
    }
    return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
    if (view_ && view_->viewController_.lock().get() == this) view_->viewController_.reset();
    view_ = std::move(view);
    if (view_) view_->viewController_ = weak_from_this();
}

void ViewController::loadView() {
    view_ = View::create(Screen::mainScreen()->bounds());
    view_->setBackgroundColor(Color::whiteColor());
}

void ViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
    int wanted = isAppearing ? 1 : -1;
    if (appearancePending_ == wanted) return;
    if (appearancePending_ == 0 && appeared_ == isAppearing) return; // already there
    appearancePending_ = wanted;
    appearanceAnimated_ = animated;
    if (isAppearing) viewWillAppear(animated);
    else viewWillDisappear(animated);
    for (auto& child : std::vector<std::shared_ptr<ViewController>>(children_))
        child->beginAppearanceTransition(isAppearing, animated);
}

void ViewController::endAppearanceTransition() {
    int pending = appearancePending_;
    if (pending == 0) return;
    appearancePending_ = 0;
    appeared_ = pending == 1;
    if (appeared_) viewDidAppear(appearanceAnimated_);
    else viewDidDisappear(appearanceAnimated_);
    for (auto& child : std::vector<std::shared_ptr<ViewController>>(children_)) child->endAppearanceTransition();
}

std::shared_ptr<View> ViewController::containerFor() const {
    if (view_) {
        if (auto w = view_->window()) return w;
    }
    return Application::sharedApplication()->keyWindow();
}

bool ViewController::inTransition() const {
    if (context_ || beingPresented_ || beingDismissed_) return true;
    return presented_ && (presented_->beingPresented_ || presented_->beingDismissed_);
}

bool ViewController::presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                           Completion completion) {
    if (!controller || controller.get() == this) {
        logWarning("ViewController: refused to present a missing controller or itself");
        return false;
    }
    if (presented_) {
        logWarning("Warning: Attempt to present " + describe(controller.get()) + " on " + describe(this) +
                   " which is already presenting " + describe(presented_.get()));
        return false;
    }
    if (controller->presentingViewController() || controller->parentViewController()) {
        logWarning("Application tried to present " + describe(controller.get()) +
                   " which is already presented or has a parent");
        return false;
    }
    if (inTransition()) {
        logWarning("Warning: Attempt to present " + describe(controller.get()) + " on " + describe(this) +
                   " while a presentation is in progress");
        return false;
    }
    auto self = shared_from_this();
    auto container = containerFor();
    presented_ = controller;
    controller->presenting_ = self;
    controller->beingPresented_ = true;
    auto view = controller->view();
    if (container) {
        view->setFrame(container->bounds());
        view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    }
    bool covers = coversPresenter(controller->presentationStyle_);
    controller->beginAppearanceTransition(true, animated);
    if (covers) beginAppearanceTransition(false, animated);

    std::weak_ptr<ViewController> weakSelf = self;
    std::weak_ptr<ViewController> weakPresented = controller;
    auto finish = [weakSelf, weakPresented, animated, completion = std::move(completion),
                   mark = beginTransition()](bool done) mutable {
        auto s = weakSelf.lock();
        auto p = weakPresented.lock();
        if (s && p) s->finishPresentation(p, animated, done, std::move(completion));
        mark.reset();
    };
    std::shared_ptr<AnimatedTransitioning> animator;
    auto delegate = controller->transitioningDelegate();
    if (delegate) animator = delegate->animationControllerForPresentedController(*controller, *self, *self);
    if (animator) {
        auto interaction = delegate->interactionControllerForPresentation(*animator);
        auto context = TransitionContext::create(self, controller, container, animated, interaction != nullptr,
                                                 animator, std::move(finish));
        context_ = context;
        controller->context_ = context;
        if (interaction) interaction->startInteractiveTransition(context);
        else animator->animateTransition(*context);
        return true;
    }
    if (container) container->addSubview(view);
    auto task = [finish = std::move(finish)]() mutable { finish(true); };
    if (animated) MainLoop::main().postAfter(kTransitionDuration, std::move(task));
    else MainLoop::main().post(std::move(task));
    return true;
}

void ViewController::finishPresentation(const std::shared_ptr<ViewController>& presented, bool, bool didComplete,
                                        Completion completion) {
    auto self = shared_from_this();
    context_.reset();
    presented->context_.reset();
    presented->beingPresented_ = false;
    bool covers = coversPresenter(presented->presentationStyle_);
    if (didComplete) {
        auto container = containerFor();
        auto view = presented->view();
        if (container && !view->superview()) container->addSubview(view);
        presented->endAppearanceTransition();
        if (covers) endAppearanceTransition();
    } else {
        presented->view()->removeFromSuperview();
        presented_.reset();
        presented->presenting_.reset();
        presented->beginAppearanceTransition(false, false);
        presented->endAppearanceTransition();
        if (covers) {
            beginAppearanceTransition(true, false);
            endAppearanceTransition();
        }
        presented->leavePresentationChain();
    }
    setNeedsStatusBarAppearanceUpdate();
    if (completion) completion();
}

bool ViewController::dismissViewController(bool animated, Completion completion) {
    if (presented_) return dismissPresented(animated, std::move(completion));
    if (auto presenter = presentingViewController()) return presenter->dismissPresented(animated, std::move(completion));
    return false;
}

void ViewController::dropPresentedChain() {
    auto top = presented_;
    if (!top) return;
    top->dropPresentedChain();
    top->beginAppearanceTransition(false, false);
    if (top->view_) top->view_->removeFromSuperview();
    top->endAppearanceTransition();
    top->presenting_.reset();
    presented_.reset();
    top->leavePresentationChain();
}

bool ViewController::dismissPresented(bool animated, Completion completion) {
    auto dismissed = presented_;
    if (!dismissed) return false;
    if (inTransition() || dismissed->inTransition()) {
        logWarning("Warning: Attempt to dismiss from " + describe(this) + " while a transition is in progress");
        return false;
    }
    auto self = shared_from_this();
    dismissed->dropPresentedChain(); // controllers above go at once
    dismissed->beingDismissed_ = true;
    bool covers = coversPresenter(dismissed->presentationStyle_);
    dismissed->beginAppearanceTransition(false, animated);
    if (covers) beginAppearanceTransition(true, animated);

    std::weak_ptr<ViewController> weakSelf = self;
    std::weak_ptr<ViewController> weakDismissed = dismissed;
    auto finish = [weakSelf, weakDismissed, animated, completion = std::move(completion),
                   mark = beginTransition()](bool done) mutable {
        auto s = weakSelf.lock();
        auto d = weakDismissed.lock();
        if (s && d) s->finishDismissal(d, animated, done, std::move(completion));
        mark.reset();
    };
    std::shared_ptr<AnimatedTransitioning> animator;
    auto delegate = dismissed->transitioningDelegate();
    if (delegate) animator = delegate->animationControllerForDismissedController(*dismissed);
    if (animator) {
        auto interaction = delegate->interactionControllerForDismissal(*animator);
        auto context = TransitionContext::create(dismissed, self, containerFor(), animated, interaction != nullptr,
                                                 animator, std::move(finish));
        context_ = context;
        dismissed->context_ = context;
        if (interaction) interaction->startInteractiveTransition(context);
        else animator->animateTransition(*context);
        return true;
    }
    auto task = [finish = std::move(finish)]() mutable { finish(true); };
    if (animated) MainLoop::main().postAfter(kTransitionDuration, std::move(task));
    else MainLoop::main().post(std::move(task));
    return true;
}

void ViewController::finishDismissal(const std::shared_ptr<ViewController>& dismissed, bool, bool didComplete,
                                     Completion completion) {
    auto self = shared_from_this();
    context_.reset();
    dismissed->context_.reset();
    dismissed->beingDismissed_ = false;
    bool covers = coversPresenter(dismissed->presentationStyle_);
    if (didComplete) {
        if (dismissed->view_) dismissed->view_->removeFromSuperview();
        presented_.reset();
        dismissed->presenting_.reset();
        dismissed->endAppearanceTransition();
        if (covers) endAppearanceTransition();
        dismissed->leavePresentationChain();
    } else {
        dismissed->beginAppearanceTransition(true, false);
        dismissed->endAppearanceTransition();
        if (covers) {
            beginAppearanceTransition(false, false);
            endAppearanceTransition();
        }
    }
    setNeedsStatusBarAppearanceUpdate();
    if (completion) completion();
}

unsigned ViewController::supportedInterfaceOrientations() const {
    return Device::currentDevice()->userInterfaceIdiom() == UserInterfaceIdiom::Pad
               ? unsigned(InterfaceOrientationMaskAll)
               : unsigned(InterfaceOrientationMaskAllButUpsideDown);
}

InterfaceOrientation ViewController::interfaceOrientation() const {
    return Application::sharedApplication()->statusBarOrientation();
}

void ViewController::attemptRotationToDeviceOrientation() {
    auto app = Application::sharedApplication();
    auto window = app->keyWindow();
    if (!window) return;
    auto top = window->rootViewController();
    if (!top) return;
    while (top->presented_) top = top->presented_;
    InterfaceOrientation target;
    switch (Device::currentDevice()->orientation()) {
    case DeviceOrientation::Portrait: target = InterfaceOrientation::Portrait; break;
    case DeviceOrientation::PortraitUpsideDown: target = InterfaceOrientation::PortraitUpsideDown; break;
    // The interface turns against the device.
    case DeviceOrientation::LandscapeLeft: target = InterfaceOrientation::LandscapeRight; break;
    case DeviceOrientation::LandscapeRight: target = InterfaceOrientation::LandscapeLeft; break;
    default: return;
    }
    unsigned mask = app->supportedInterfaceOrientationsForWindow(nullptr) & top->supportedInterfaceOrientations();
    if (!top->shouldAutorotate() || (mask & maskFor(target)) == 0) return;
    app->setStatusBarOrientation(target);
}

void ViewController::setNeedsStatusBarAppearanceUpdate() {
    auto app = Application::sharedApplication();
    std::shared_ptr<ViewController> top;
    if (auto window = app->keyWindow()) top = window->rootViewController();
    if (!top) top = shared_from_this();
    while (top->presented_ && !top->presented_->beingPresented_) top = top->presented_;
    app->setStatusBarHidden(top->prefersStatusBarHidden());
}

bool ViewController::becomeFirstResponder() { return canBecomeFirstResponder(); }

void ViewController::addChildViewController(const std::shared_ptr<ViewController>& child) {
    if (!child || child.get() == this) return;
    auto self = shared_from_this();
    if (child->parentViewController() == self) return;
    child->removeFromParentViewController();
    child->willMoveToParentViewController(self);
    children_.push_back(child);
    child->parent_ = self;
}

void ViewController::removeFromParentViewController() {
    auto parent = parentViewController();
    if (!parent) return;
    auto self = shared_from_this();
    auto& list = parent->children_;
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
    parent_.reset();
    didMoveToParentViewController(nullptr);
}

} // namespace platform
