#pragma once
// The overlay of an MRAID resize: the ad's own view laid over the app at the rectangle the resize
// properties ask for (in the coordinates of the banner's superview), moved into the screen when it
// may not leave it, and settled again after each rotation; properties that no longer fit end it.
// Errors go to the ad through its MRAID event handler. Main thread.
#include <memory>

#include "ads/render/GADTransparentOverlayPresenter.h"

namespace platform {
class View;
}

namespace ruzave {

class GADMRAIDEventHandling;
class GADMRAIDResizeProperties;

class GADMRAIDResizeOverlayPresenter : public GADTransparentOverlayPresenter {
  public:
    // Frames within this many points count as the same: layout rounding must not keep the
    // repositioning going.
    static constexpr float kFrameTolerance = 0.5f;
    static constexpr double kRepositionDelay = 0.1;

    // nullptr for a null view.
    static std::shared_ptr<GADMRAIDResizeOverlayPresenter> initWithReferenceView(const std::shared_ptr<platform::View>& view);

    bool isReadyToPresent() override;
    void composeTransparentInterstitialViewsForPresentation() override;
    void updateTransparentInterstitialOrientation() override;

    // Valid properties replace the ones in force; invalid ones are reported and refused.
    void setResizeProperties(const std::shared_ptr<GADMRAIDResizeProperties>& properties);
    bool resizePropertiesAreValid(const std::shared_ptr<GADMRAIDResizeProperties>& properties,
                                  const std::shared_ptr<platform::View>& view) const;
    static platform::Rect adjustedContentFrame(platform::Rect frame, platform::Rect bounds);
    platform::Rect contentFrame() const;
    void repositionContentIfNeeded();

    std::shared_ptr<platform::View> referenceView() const { return referenceView_; }
    std::shared_ptr<GADMRAIDResizeProperties> resizeProperties() const { return resizeProperties_; }
    std::shared_ptr<GADMRAIDEventHandling> MRAIDEventHandler() const { return MRAIDEventHandler_.lock(); }
    void setMRAIDEventHandler(const std::weak_ptr<GADMRAIDEventHandling>& handler) {
        MRAIDEventHandler_ = handler;
    }
    bool dismissToDefaultState() const { return dismissToDefaultState_; }
    void setDismissToDefaultState(bool v) { dismissToDefaultState_ = v; }

  private:
    GADMRAIDResizeOverlayPresenter() = default;
    void reportError(const std::string& message, const std::string& action) const;

    std::shared_ptr<platform::View> referenceView_;
    std::shared_ptr<GADMRAIDResizeProperties> resizeProperties_;
    std::weak_ptr<GADMRAIDEventHandling> MRAIDEventHandler_;
    bool dismissToDefaultState_ = true;
};

} // namespace ruzave
