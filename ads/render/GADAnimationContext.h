#pragma once
// The frames and the picture of one run of the swipe transition animator: the controller whose view
// moves with its start and end frames, and the picture of the ad that travels ahead of it (nullptr when
// the ad does not move along), with its frames in the transition's container. Main thread.
#include <memory>

#include "platform/ui/Geometry.h"

namespace platform {
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAnimationContext {
  public:
    static std::shared_ptr<GADAnimationContext> init() { return std::make_shared<GADAnimationContext>(); }

    std::shared_ptr<platform::ViewController> animatedViewController() const { return animatedViewController_; }
    void setAnimatedViewController(std::shared_ptr<platform::ViewController> c) { animatedViewController_ = std::move(c); }
    platform::Rect animatedViewStartFrame() const { return animatedViewStartFrame_; }
    void setAnimatedViewStartFrame(platform::Rect r) { animatedViewStartFrame_ = r; }
    platform::Rect animatedViewEndFrame() const { return animatedViewEndFrame_; }
    void setAnimatedViewEndFrame(platform::Rect r) { animatedViewEndFrame_ = r; }
    platform::Rect draggableViewStartFrame() const { return draggableViewStartFrame_; }
    void setDraggableViewStartFrame(platform::Rect r) { draggableViewStartFrame_ = r; }
    platform::Rect draggableViewEndFrame() const { return draggableViewEndFrame_; }
    void setDraggableViewEndFrame(platform::Rect r) { draggableViewEndFrame_ = r; }
    std::shared_ptr<platform::View> draggableViewSnapshot() const { return draggableViewSnapshot_; }
    void setDraggableViewSnapshot(std::shared_ptr<platform::View> v) { draggableViewSnapshot_ = std::move(v); }

  private:
    std::shared_ptr<platform::ViewController> animatedViewController_;
    platform::Rect animatedViewStartFrame_ = platform::Rect::zero();
    platform::Rect animatedViewEndFrame_ = platform::Rect::zero();
    platform::Rect draggableViewStartFrame_ = platform::Rect::zero();
    platform::Rect draggableViewEndFrame_ = platform::Rect::zero();
    std::shared_ptr<platform::View> draggableViewSnapshot_;
};

} // namespace ruzave
