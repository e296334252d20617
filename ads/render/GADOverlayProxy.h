#pragma once
// Lets a platform screen that an ad opens (store sheet, composer, calendar editor) take part in the
// slot's full-screen period. The screen owns its proxy: one per view controller, found again with
// overlayProxyForViewController(). Main thread.
#include <functional>
#include <memory>

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
    // full-screen period ends too), else through its presenter. `completion` (may be null) runs once it
    // is down, or at once when nothing presents it.
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
    void relinquishScreenWithCompletion(Completion completion) override;
    std::shared_ptr<GADIntermission> intermission() const override { return intermission_; }

  private:
    class Attachment;
    GADOverlayProxy() = default;
    // The controller disappeared: when it is no longer presented and this proxy did not take it down,
    // the proxy leaves the full-screen period and lets go of what it kept for the screen's time.
    void controllerDidDisappear();

    std::weak_ptr<platform::ViewController> viewController_;
    std::weak_ptr<GADSlot> slot_;
    std::shared_ptr<GADOpener> opener_;
    std::shared_ptr<GADIntermission> intermission_;
    ScreenLostHandler screenLostHandler_;
    bool up_ = false;
};

} // namespace ruzave
