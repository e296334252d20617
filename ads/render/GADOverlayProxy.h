#pragma once
// Lets a platform screen that an ad opens (store sheet, composer, calendar editor) take part in the
// slot's full-screen period. The screen owns its proxy: one per view controller, found again with
// overlayProxyForViewController(). Main thread.
#include <functional>
#include <memory>
#include <vector>

#include "ads/render/GADIntermitting.h"

namespace ruzave {

class GADOpener;
class GADSlot;

class GADOverlayProxy : public GADIntermitting, public std::enable_shared_from_this<GADOverlayProxy> {
  public:
    // nullptr for a null controller or one that already has a proxy.
    static std::shared_ptr<GADOverlayProxy> initWithViewController(const std::shared_ptr<platform::ViewController>& vc);
    static std::shared_ptr<GADOverlayProxy> overlayProxyForViewController(const platform::ViewController* vc);
    // Takes a screen the ad opened off the display: through its proxy when it has one (so the slot's
    // full-screen period ends too), else through its presenter, once any transition under way is over.
    // `completion` (may be null) runs once it is down, or at once when nothing presents it.
    static void takeDownViewController(platform::ViewController& vc, std::function<void()> completion = nullptr);

    std::shared_ptr<platform::ViewController> viewController() const { return viewController_.lock(); }
    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::weak_ptr<GADSlot>& slot) { slot_ = slot; }
    std::shared_ptr<GADOpener> opener() const { return opener_; }
    void setOpener(const std::shared_ptr<GADOpener>& opener) { opener_ = opener; }
    // Runs when the shown controller left the screen by another road than this proxy (the app dismissed
    // the screen under it, or the controller itself): whoever keeps it for its time on screen lets go.
    using ScreenLostHandler = std::function<void(platform::ViewController&)>;
    void setScreenLostHandler(ScreenLostHandler handler) { screenLostHandler_ = std::move(handler); }

    // Does nothing while the proxy is up (the completion does not run). When the presenter refuses the
    // screen, the proxy leaves the slot's full-screen period again at once.
    void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                   Completion completion) override;
    bool shouldDismissOnApplicationEnteringForeground() override { return false; }
    // Takes the controller down; asked during a transition, it waits for the transition's end. The
    // completion runs once the controller is down (at once when it is not up).
    void relinquishScreenWithCompletion(Completion completion) override;
    void abandonScreen() override;
    std::shared_ptr<GADIntermission> intermission() const override { return intermission_; }

  private:
    GADOverlayProxy() = default;
    // The controller is no longer presented: the proxy leaves the full-screen period and lets go of
    // what it kept for the screen's time; when it did not take the controller down, the screen-lost
    // handler runs.
    void controllerLeft();
    void screenGone();
    void takeDown(bool animated);

    std::weak_ptr<platform::ViewController> viewController_;
    std::weak_ptr<GADSlot> slot_;
    std::shared_ptr<GADOpener> opener_;
    std::shared_ptr<GADIntermission> intermission_;
    ScreenLostHandler screenLostHandler_;
    std::vector<Completion> completions_;
    bool up_ = false;
    bool dismissing_ = false;
    bool closeWanted_ = false;
};

} // namespace ruzave
