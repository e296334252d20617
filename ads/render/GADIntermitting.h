#pragma once
// A screen that takes part in a slot's full-screen period: it presents itself, may be sent away when
// the app returns to the foreground, gives the screen up, and names the period it belongs to. Main
// thread.
#include <functional>
#include <memory>

namespace platform {
class ViewController;
} // namespace platform

namespace ruzave {

class GADIntermission;

class GADIntermitting {
  public:
    using Completion = std::function<void()>;
    virtual ~GADIntermitting() = default;
    // presentFromViewController:completion:
    virtual void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                           Completion completion) = 0;
    virtual bool shouldDismissOnApplicationEnteringForeground() = 0;
    virtual void relinquishScreenWithCompletion(Completion completion) = 0;
    // The ad goes away: the screen leaves now, whatever it is doing, without animation, and has told
    // its period that it left before this returns.
    virtual void abandonScreen() { relinquishScreenWithCompletion(nullptr); }
    virtual std::shared_ptr<GADIntermission> intermission() const = 0;
};

} // namespace ruzave
