#pragma once
// The default way a full-screen ad controller goes up: modally, over the whole screen, with the
// status bar hidden (again after each return to the foreground). Main thread.
#include <memory>

#include "ads/render/GADOverlayPresenting.h"
#include "platform/foundation/NotificationCenter.h"

namespace ruzave {

class GADModalOverlayPresenter : public GADOverlayPresenting,
                                 public std::enable_shared_from_this<GADModalOverlayPresenter> {
  public:
    static std::shared_ptr<GADModalOverlayPresenter> init() {
        return std::shared_ptr<GADModalOverlayPresenter>(new GADModalOverlayPresenter());
    }
    ~GADModalOverlayPresenter() override;

    void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                   Completion completion) override;
    std::shared_ptr<platform::ViewController> presentationViewController() const override;
    bool dismissWithCompletionHandler(Completion completion) override;
    bool canDismissNow() const override;
    std::shared_ptr<GADViewController> presentedViewController() const override {
        return presented_.lock();
    }
    void setPresentedViewController(const std::weak_ptr<GADViewController>& controller) override {
        presented_ = controller;
    }
    bool isReadyToPresent() override { return !presented_.expired(); }
    void hideStatusBar();

  private:
    GADModalOverlayPresenter() = default;
    void stopObserving();

    std::weak_ptr<GADViewController> presented_;
    bool observing_ = false;
    platform::NotificationCenter::Token appForegroundObserver_{};
};

} // namespace ruzave
