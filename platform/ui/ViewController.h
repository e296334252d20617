#pragma once
// Manages a view: loading, appearance callbacks, modal presentation and dismissal (animated or not,
// standard or through a transitioning delegate, optionally interactive), orientation, status bar
// preference and child controllers. Main thread.
//
// Subclasses give themselves a protected constructor and a factory doing
// `std::shared_ptr<T>(new T(...))`, and override loadView / viewDidLoad / the appearance hooks.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/InterfaceOrientation.h"

namespace platform {

class TransitionContext;
class View;
class ViewControllerTransitioningDelegate;

enum class ModalPresentationStyle {
    None = -1,
    FullScreen = 0,
    PageSheet = 1,
    FormSheet = 2,
    CurrentContext = 3,
    Custom = 4,
    OverFullScreen = 5,
    OverCurrentContext = 6,
    Popover = 7,
};

enum class ModalTransitionStyle { CoverVertical = 0, FlipHorizontal = 1, CrossDissolve = 2, PartialCurl = 3 };

class ViewController : public std::enable_shared_from_this<ViewController> {
public:
    using Completion = std::function<void()>;

    static std::shared_ptr<ViewController> create();
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // The standard transition's duration on the clock.
    static constexpr double kTransitionDuration = 0.3;

    // --- The view, loaded on first use.
    std::shared_ptr<View> view();
    bool isViewLoaded() const { return view_ != nullptr; }
    void setView(std::shared_ptr<View> view);
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}
    virtual void didReceiveMemoryWarning() {}
    // Runs the will/did appearance callbacks (for this controller and its children).
    void beginAppearanceTransition(bool isAppearing, bool animated);
    void endAppearanceTransition();
    bool isAppearing() const { return appeared_; }

    std::string title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }

    // --- Presentation.
    // False, logged, with the completion never run, when this controller is already presenting, the
    // controller is already presented, or a transition is under way. Otherwise the presented
    // controller's view covers the window; the completion runs after the transition (on the next main
    // loop turn without animation, after kTransitionDuration or the animator's own timing with it).
    // Virtual so that a controller can hand its presentations to another controller.
    virtual bool presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                       Completion completion = nullptr);
    // Dismisses the controller this one presents, or else this one from its presenter. False when there
    // is nothing to dismiss or a transition is under way; the completion then never runs, so a caller
    // that still wants the dismissal asks again, for instance from performAfterTransitions.
    virtual bool dismissViewController(bool animated, Completion completion = nullptr);
    // Runs `block` on a later main loop turn once no presentation or dismissal is under way anywhere
    // (on the next turn when none is). A transition whose controllers went away counts as ended.
    static void performAfterTransitions(Completion block);
    // Takes `controller` down from its presenter without animation while it is still presented: now, or
    // once the transitions under way allow (asked again after each).
    static void dismissWhenPossible(const std::shared_ptr<ViewController>& controller);
    // Called once a presented controller is no longer presented: dismissed, taken down with a stack
    // dismissed beneath or over it (covered ones included, which get no second appearance call), a
    // presentation that did not complete, or its presenter gone. Called after the controller is
    // unlinked from its presenter, topmost controller first; its children hear it with it.
    virtual void didLeavePresentationChain() {}
    // True while a presenter being destroyed tells the controllers above it that they left: what they
    // do then runs inside that destructor, so what must not (calling out to the app) waits for a later
    // turn.
    static bool isReleasingPresenter();
    std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
    std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
    bool isBeingPresented() const { return beingPresented_; }
    // Whether a presentation or dismissal involving this controller (as presenter or presented) is
    // under way; dismissals and presentations are refused meanwhile.
    bool isInTransition() const { return inTransition(); }
    bool isBeingDismissed() const { return beingDismissed_; }
    ModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
    void setModalPresentationStyle(ModalPresentationStyle s) { presentationStyle_ = s; }
    ModalTransitionStyle modalTransitionStyle() const { return transitionStyle_; }
    void setModalTransitionStyle(ModalTransitionStyle s) { transitionStyle_ = s; }
    std::shared_ptr<ViewControllerTransitioningDelegate> transitioningDelegate() const {
        return transitioningDelegate_.lock();
    }
    void setTransitioningDelegate(std::weak_ptr<ViewControllerTransitioningDelegate> d) {
        transitioningDelegate_ = std::move(d);
    }
    // The context of the transition under way, if any (also reachable from the presented controller).
    std::shared_ptr<TransitionContext> transitionContext() const { return context_; }

    // --- Orientation and status bar.
    virtual unsigned supportedInterfaceOrientations() const;
    virtual bool shouldAutorotate() const { return true; }
    virtual InterfaceOrientation preferredInterfaceOrientationForPresentation() const {
        return InterfaceOrientation::Portrait;
    }
    InterfaceOrientation interfaceOrientation() const;
    // Turns the status bar to the device orientation when the key window's top controller allows it.
    static void attemptRotationToDeviceOrientation();
    virtual bool prefersStatusBarHidden() const { return false; }
    // Applies the top controller's status bar preference to the application.
    void setNeedsStatusBarAppearanceUpdate();

    virtual bool canBecomeFirstResponder() const { return false; }
    bool becomeFirstResponder();

    // --- Children.
    const std::vector<std::shared_ptr<ViewController>>& childViewControllers() const { return children_; }
    std::shared_ptr<ViewController> parentViewController() const { return parent_.lock(); }
    void addChildViewController(const std::shared_ptr<ViewController>& child);
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(const std::shared_ptr<ViewController>& /*parent*/) {}
    virtual void didMoveToParentViewController(const std::shared_ptr<ViewController>& /*parent*/) {}

protected:
    ViewController() = default;

private:
    std::shared_ptr<View> containerFor() const;
    void finishPresentation(const std::shared_ptr<ViewController>& presented, bool animated, bool didComplete,
                            Completion completion);
    void finishDismissal(const std::shared_ptr<ViewController>& dismissed, bool animated, bool didComplete,
                         Completion completion);
    bool inTransition() const;
    bool dismissPresented(bool animated, Completion completion);
    void dropPresentedChain();
    void leavePresentationChain();

    std::shared_ptr<View> view_;
    std::string title_;
    std::weak_ptr<ViewController> presenting_;
    std::shared_ptr<ViewController> presented_;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
    bool appeared_ = false;
    int appearancePending_ = 0; // 1: appearing, -1: disappearing, 0: none
    bool appearanceAnimated_ = false;
    ModalPresentationStyle presentationStyle_ = ModalPresentationStyle::FullScreen;
    ModalTransitionStyle transitionStyle_ = ModalTransitionStyle::CoverVertical;
    std::weak_ptr<ViewControllerTransitioningDelegate> transitioningDelegate_;
    std::shared_ptr<TransitionContext> context_;
    std::vector<std::shared_ptr<ViewController>> children_;
    std::weak_ptr<ViewController> parent_;
};

} // namespace platform
