#pragma once
// The full-screen controller of an interstitial: shows its slot's ad view, tells the page "onshow"
// once it is up and "onhide" as it starts to leave, and keeps the public interstitial alive while
// presented. Main thread.
#include <memory>

#include "ads/render/GADAdAppViewController.h"

namespace ruzave {

class GADInterstitial;

class GADInterstitialViewController : public GADAdAppViewController {
  public:
    // nullptr for a null slot.
    static std::shared_ptr<GADInterstitialViewController> initWithSlot(const std::shared_ptr<GADSlot>& slot);

    void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                   Completion completion) override;
    bool isLoaded() const override;
    void finishAppearing() override;
    std::shared_ptr<GADInterstitial> interstitial() const { return interstitial_; }

  protected:
    void willBeginDismissal() override;
    void didFinishDismissal() override;

  private:
    GADInterstitialViewController() = default;
    std::shared_ptr<GADInterstitial> interstitial_;
};

} // namespace ruzave
