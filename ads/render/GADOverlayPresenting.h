#pragma once
// How a full-screen ad controller is put on screen and taken off it (modally, or laid over the
// window). Main thread.
#include <functional>
#include <memory>

namespace platform {
class ViewController;
} // namespace platform

namespace ruzave {

class GADViewController;

class GADOverlayPresenting {
  public:
    using Completion = std::function<void()>;
    virtual ~GADOverlayPresenting() = default;
    virtual void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                           Completion completion) = 0;
    // The controller that should present further screens for the shown one.
    virtual std::shared_ptr<platform::ViewController> presentationViewController() const = 0;
    // False when the screen cannot be taken down now (a transition is under way): the completion is
    // then not run, and the caller asks again once transitions are over.
    virtual bool dismissWithCompletionHandler(Completion completion) = 0;
    // Whether a dismissal asked for now would begin.
    virtual bool canDismissNow() const { return true; }
    virtual std::shared_ptr<GADViewController> presentedViewController() const = 0;
    virtual void setPresentedViewController(const std::weak_ptr<GADViewController>& controller) = 0;
    virtual bool isReadyToPresent() = 0;
};

} // namespace ruzave
