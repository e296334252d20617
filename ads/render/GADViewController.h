#pragma once
// The base of every screen the SDK lays over the app: presents itself through an overlay presenter
// (modal by default), takes part in its slot's full-screen period while up, keeps itself alive while
// shown, and records the time of its dismissal in the ad's statistics when released. Each showing
// goes presenting, shown, dismissing, gone: its period hears will-dismiss when a dismissal really
// begins and did-dismiss when the screen is really gone, once each, however it ends; a close asked
// for during a transition waits for the transition's end. Main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ads/render/GADIntermitting.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ViewController.h"

namespace ruzave {

class GADOverlayPresenting;
class GADSlot;
class GADTapWatchGestureRecognizer;

class GADViewController : public platform::ViewController,
                          public GADIntermitting,
                          public platform::GestureRecognizerDelegate {
  public:
    using Completion = GADIntermitting::Completion;
    enum class ScreenState { Idle, Presenting, Shown, Dismissing, Gone };
    static constexpr const char* kNoViewControllerMessage = "No UIViewController supplied to the ad. Cannot continue.";

    static std::shared_ptr<GADViewController> init();
    ~GADViewController() override;

    // GADIntermitting.
    void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                   Completion completion) override;
    bool shouldDismissOnApplicationEnteringForeground() override { return true; }
    // Completions run once the screen is gone (at once when it is not up).
    void relinquishScreenWithCompletion(Completion completion) override;
    void abandonScreen() override;
    // Closes as the user asks (the close button or region, the browser's done): a tap left over goes with
    // the screen, so that what the ad opens next on its own does not count as the user's. A close the ad
    // asks for (its close message) is relinquishScreenWithCompletion(): the user's tap stays as it was, and
    // a screen the ad opens with it within its time is still the user's.
    void close();
    // Leaves because what it stood on went (the screen it lay over left, its banner left the window), not
    // because a close was asked of it: its period hears that it was taken away.
    void leaveAsTakenAway();
    std::shared_ptr<GADIntermission> intermission() const override { return intermission_; }
    ScreenState screenState() const { return state_; }

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
    // Run once per showing when the screen is gone: the period hears did-dismiss, then the dismissal
    // completion and the subclass's part run.
    void finishDismissal();
    virtual void viewChangedToOrientation(platform::InterfaceOrientation) {}
    void addToCurrentIntermission();
    void recordDismissal();

    // View life cycle.
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    // The platform's word that the screen is no longer presented, however that came about.
    void didLeavePresentationChain() override;
    // Watches only touches on the ad's content (an ad view in the screen), never the SDK's own controls
    // around it, and tells the slot of each tap there; the screen's own views and recognisers see every
    // touch as if it were not there.
    bool gestureRecognizerShouldReceiveTouch(platform::GestureRecognizer& recognizer,
                                             const platform::Touch& touch) override;

  protected:
    GADViewController();
    // A subclass's part of the start of a dismissal, run once per showing.
    virtual void willBeginDismissal() {}
    // A subclass's part of finishDismissal, run once per showing after the base steps.
    virtual void didFinishDismissal() {}
    // A subclass's part of the ad's release, after the screen is gone.
    virtual void didAbandonScreen() {}
    std::shared_ptr<GADViewController> self() {
        return std::static_pointer_cast<GADViewController>(shared_from_this());
    }

  private:
    // The presenter's presentation controller when it is another controller than this one.
    std::shared_ptr<platform::ViewController> standIn() const;
    void presentationDidEnd();
    // Asks the presenter to take the screen down; refused during a transition, it asks again after.
    void closeNow();
    void takeDown();
    void beginDismissal();
    void screenGone();
    // Tells every slot that a screen holding the app came up (they pause their reloads) or left; once
    // each way per showing.
    void announceFullScreen(bool up);

    std::uint32_t supportedOrientations_ = 30;
    std::weak_ptr<GADSlot> slot_;
    std::shared_ptr<GADIntermission> intermission_;
    std::shared_ptr<GADOverlayPresenting> presenter_;
    std::shared_ptr<GADViewController> retainCycle_;
    std::function<void()> dismissalCompletion_;
    bool dismissalFinished_ = false;
    ScreenState state_ = ScreenState::Idle;
    bool closeWanted_ = false;
    bool announcedFullScreen_ = false;
    // This showing ends by another road than a close asked of it: the ad went away, the app or the
    // platform took it out of the chain, or what it stood on went.
    bool takenAway_ = false;
    std::vector<Completion> closeCompletions_;
    std::shared_ptr<GADTapWatchGestureRecognizer> touchWatch_;
};

} // namespace ruzave
