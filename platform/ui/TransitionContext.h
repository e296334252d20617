#pragma once
// The context of a view controller transition handed to an animator: the two controllers, the container
// view, and the calls that end it. An interactive transition also reports its progress here. Main thread.
#include <functional>
#include <memory>

namespace platform {

class AnimatedTransitioning;
class View;
class ViewController;

class TransitionContext : public std::enable_shared_from_this<TransitionContext> {
public:
    using Completion = std::function<void(bool didComplete)>;

    static std::shared_ptr<TransitionContext> create(std::shared_ptr<ViewController> from,
                                                     std::shared_ptr<ViewController> to,
                                                     std::shared_ptr<View> container, bool animated,
                                                     bool interactive,
                                                     std::shared_ptr<AnimatedTransitioning> animator,
                                                     Completion completion);

    std::shared_ptr<ViewController> fromViewController() const { return from_; }
    std::shared_ptr<ViewController> toViewController() const { return to_; }
    std::shared_ptr<View> containerView() const { return container_; }
    std::shared_ptr<AnimatedTransitioning> animator() const { return animator_; }
    bool isAnimated() const { return animated_; }
    bool isInteractive() const { return interactive_; }
    bool transitionWasCancelled() const { return cancelled_; }
    bool isComplete() const { return completed_; }

    // Ends the transition (once; later calls are ignored).
    void completeTransition(bool didComplete);

    // Interactive progress, 0...1.
    float percentComplete() const { return percent_; }
    void updateInteractiveTransition(float percentComplete);
    void finishInteractiveTransition();
    void cancelInteractiveTransition();

    TransitionContext() = default;

private:
    std::shared_ptr<ViewController> from_;
    std::shared_ptr<ViewController> to_;
    std::shared_ptr<View> container_;
    std::shared_ptr<AnimatedTransitioning> animator_;
    bool animated_ = false;
    bool interactive_ = false;
    bool cancelled_ = false;
    bool completed_ = false;
    float percent_ = 0;
    Completion completion_;
};

} // namespace platform
