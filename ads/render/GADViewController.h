#pragma once
// The base of every screen the SDK lays over the app: presents itself through an overlay presenter
// (modal by default), takes part in its slot's full-screen period while up, keeps itself alive while
// shown, and records the time of its dismissal in the ad's statistics when released. Main thread.
#include <cstdint>
#include <functional>
#include <memory>

#include "ads/render/GADIntermitting.h"
#include "platform/ui/ViewController.h"

namespace ruzave {

class GADOverlayPresenting;
class GADSlot;

class GADViewController : public platform::ViewController, public GADIntermitting {
  public:
    using Completion = GADIntermitting::Completion;
    static constexpr const char* kNoViewControllerMessage = "No UIViewController supplied to the ad. Cannot continue.";

    static std::shared_ptr<GADViewController> init();
    ~GADViewController() override;

    // GADIntermitting.
    void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                   Completion completion) override;
    bool shouldDismissOnApplicationEnteringForeground() override { return true; }
    void relinquishScreenWithCompletion(Completion completion) override;
    std::shared_ptr<GADIntermission> intermission() const override { return intermission_; }

    // Orientations: setSupportedOrientations ignores 0, setSupportedInterfaceOrientations does not.
    unsigned supportedInterfaceOrientations() const override { return supportedOrientations_; }
    void setSupportedOrientations(std::uint32_t mask) {
        if (mask != 0) supportedOrientations_ = mask;
    }
    void setSupportedInterfaceOrientations(std::uint32_t mask) { supportedOrientations_ = mask; }
    bool prefersStatusBarHidden() const override { return true; }
    bool shouldAutorotate() const override { return true; }

    std::shared_ptr<GADOverlayPresenting> presenter() const { return presenter_; }
    // Keeps the presenter and makes this controller its presented controller.
    void setPresenter(const std::shared_ptr<GADOverlayPresenting>& presenter);
    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::weak_ptr<GADSlot>& slot) { slot_ = slot; }
    std::shared_ptr<GADViewController> retainCycle() const { return retainCycle_; }
    void setRetainCycle(const std::shared_ptr<GADViewController>& c) { retainCycle_ = c; }
    const std::function<void()>& dismissalCompletion() const { return dismissalCompletion_; }
    void setDismissalCompletion(std::function<void()> c) { dismissalCompletion_ = std::move(c); }

    // When the presenter shows this controller on behalf of another controller, that controller presents
    // and dismisses in this one's place; otherwise the platform's own steps run.
    bool presentViewController(const std::shared_ptr<platform::ViewController>& controller, bool animated,
                               Completion completion = nullptr) override;
    bool dismissViewController(bool animated, Completion completion = nullptr) override;

    // Hooks for subclasses.
    virtual void finishAppearing();
    // Reached from the platform's dismissal and from the presenter's; runs once per showing.
    void finishDismissal();
    virtual void viewChangedToOrientation(platform::InterfaceOrientation) {}
    void addToCurrentIntermission();
    void recordDismissal();

    // View life cycle.
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;

  protected:
    GADViewController();
    // A subclass's part of finishDismissal, run once per showing after the base steps.
    virtual void didFinishDismissal() {}
    std::shared_ptr<GADViewController> self() {
        return std::static_pointer_cast<GADViewController>(shared_from_this());
    }

  private:
    // The presenter's presentation controller when it is another controller than this one.
    std::shared_ptr<platform::ViewController> standIn() const;

    std::uint32_t supportedOrientations_ = 30;
    std::weak_ptr<GADSlot> slot_;
    std::shared_ptr<GADIntermission> intermission_;
    std::shared_ptr<GADOverlayPresenting> presenter_;
    std::shared_ptr<GADViewController> retainCycle_;
    std::function<void()> dismissalCompletion_;
    bool dismissalFinished_ = false;
};

} // namespace ruzave
