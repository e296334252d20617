#pragma once
// Lays a full-screen ad controller's view into the app's window, above everything, instead of
// presenting it modally: two see-through containers turn with the interface orientation, the content
// slides in from below and fades out. The overlay goes when the banner that opened it leaves its
// window, and when the presented screen it was laid over leaves the presentation chain (the app
// dismissed the stack under it, say): it covers that screen, and is not in the chain itself. Main
// thread.
#include <memory>

#include "ads/render/GADOverlayPresenting.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/InterfaceOrientation.h"

namespace platform {
class Window;
} // namespace platform

namespace ruzave {

class GADPresentationChainWatch;
class GADUnclickableView;

class GADTransparentOverlayPresenter : public GADOverlayPresenting,
                                       public std::enable_shared_from_this<GADTransparentOverlayPresenter> {
  public:
    static constexpr double kSlideInDuration = static_cast<double>(0.4f);
    static constexpr double kFadeOutDuration = 0.2;

    static std::shared_ptr<GADTransparentOverlayPresenter> init();
    ~GADTransparentOverlayPresenter() override;

    bool isReadyToPresent() override { return !presented_.expired(); }
    void presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                   Completion completion) override;
    bool dismissWithCompletionHandler(Completion completion) override;
    std::shared_ptr<platform::ViewController> presentationViewController() const override;
    std::shared_ptr<GADViewController> presentedViewController() const override { return presented_.lock(); }
    void setPresentedViewController(const std::weak_ptr<GADViewController>& controller) override {
        presented_ = controller;
    }

    static platform::Rect frameWithSize(platform::Size size, platform::Rect frame);
    platform::AffineTransform transformForOrientation(platform::InterfaceOrientation orientation) const;
    platform::Rect pivotedApplicationFrameForOrientation(platform::InterfaceOrientation orientation) const;
    virtual void composeTransparentInterstitialViewsForPresentation();
    virtual void animateTransparentInterstitialPresentationWithCompletionHandler(Completion completion);
    virtual void updateTransparentInterstitialOrientation();

    std::shared_ptr<GADUnclickableView> pivotView() const { return pivotView_; }
    std::shared_ptr<GADUnclickableView> cropView() const { return cropView_; }

  protected:
    GADTransparentOverlayPresenter();
    void removeObservers();

  private:
    // Follows the screen on top of `window`'s presentation chain, when it is a presented one.
    void watchCoveredScreen(const std::shared_ptr<platform::Window>& window);
    void stopWatchingCoveredScreen();

    std::weak_ptr<GADViewController> presented_;
    std::shared_ptr<GADUnclickableView> pivotView_;
    std::shared_ptr<GADUnclickableView> cropView_;
    bool observingOrientation_ = false;
    bool observingPlacement_ = false;
    platform::NotificationCenter::Token orientationChangeListener_{};
    platform::NotificationCenter::Token placementDisappearanceObserver_{};
    std::shared_ptr<GADPresentationChainWatch> coveredScreenWatch_;
};

} // namespace ruzave
