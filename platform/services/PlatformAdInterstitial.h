#pragma once
// The platform ad network's full-screen ad. It starts loading when made; each load takes the next outcome
// tests scripted (unscripted loads fail with "inventory unavailable"), delivered on the main loop after
// its virtual delay. A loaded ad shows once, inside a view the app gives or, on tablets, presented by the
// platform from a view controller. Main thread.
#include <memory>

#include "platform/services/PlatformAdInterstitialDelegate.h"
#include "platform/services/PlatformAdOutcome.h"

namespace platform {

class View;
class ViewController;

class PlatformAdInterstitial : public std::enable_shared_from_this<PlatformAdInterstitial> {
public:
    static std::shared_ptr<PlatformAdInterstitial> create();

    void setDelegate(std::weak_ptr<PlatformAdInterstitialDelegate> d) { delegate_ = std::move(d); }
    std::weak_ptr<PlatformAdInterstitialDelegate> delegate() const { return delegate_; }
    bool isLoaded() const { return loaded_; }
    bool isActionInProgress() const { return actionInProgress_; }
    bool isPresented() const { return presented_; }

    // Shows the ad filling `container`. False when not loaded, already shown, or without a container.
    bool presentInView(const std::shared_ptr<View>& container);
    // The platform presents the ad itself, modally from `controller`. Tablets only: false (and a log
    // line) on other devices, as on the platform, and in the cases of presentInView.
    bool presentFromViewController(const std::shared_ptr<ViewController>& controller);
    // Ends an action in progress; the delegate hears that it finished.
    void cancelAction();
    // The view the ad draws into while shown; nullptr before.
    std::shared_ptr<View> adView() const { return adView_; }

    // Tests: appends an outcome for the next interstitial load.
    static void script(const PlatformAdOutcome& outcome);
    static void clearScriptForTesting();
    // Tests: the user taps the ad. Returns whether an action began.
    bool tapForTesting(bool willLeaveApplication);
    void finishActionForTesting() { cancelAction(); }
    // Tests: the network takes the ad away: it leaves the screen (a platform presentation is dismissed)
    // and the delegate hears didUnload. Nothing happens when it is not loaded.
    void unloadForTesting();

private:
    PlatformAdInterstitial() = default;
    void startLoad();
    void deliver(const PlatformAdOutcome& outcome);
    bool canPresent(bool hasTarget) const;

    std::weak_ptr<PlatformAdInterstitialDelegate> delegate_;
    bool loaded_ = false;
    bool presented_ = false;
    bool actionInProgress_ = false;
    std::shared_ptr<View> adView_;
    std::shared_ptr<ViewController> controller_;
};

} // namespace platform
