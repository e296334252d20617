#pragma once
// Shows a list of views one at a time, each for a while, and pushes the next one in from the top, in an
// endless cycle. A change of the views or of a duration restarts the timing. Main thread.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace ruzave {

class GADPushTransitionView : public platform::View {
  public:
    static constexpr const char* kPushAnimationKey = "PushNewView";
    static std::shared_ptr<GADPushTransitionView> initWithFrame(platform::Rect frame);

    void setViews(const std::vector<std::shared_ptr<platform::View>>& views);
    void setPresentationDuration(double seconds);
    void setAnimationDuration(double seconds);
    double presentationDuration() const { return presentationDuration_; }
    double animationDuration() const { return animationDuration_; }
    std::int32_t animationGroupIdentifier() const { return animationGroupIdentifier_; }
    std::shared_ptr<platform::View> currentView() const { return currentView_; }
    std::shared_ptr<platform::View> clippingView() const { return clippingView_; }

  private:
    explicit GADPushTransitionView(platform::Rect frame) : platform::View(frame) {}
    void commonInit();
    void setCurrentView(const std::shared_ptr<platform::View>& view);
    void dispatchAnimation();
    void animate();

    std::vector<std::shared_ptr<platform::View>> views_;
    std::shared_ptr<platform::View> clippingView_;
    std::shared_ptr<platform::View> currentView_;
    std::uint32_t currentViewIndex_ = 0;
    double presentationDuration_ = 4.0;
    double animationDuration_ = 1.0;
    std::int32_t animationGroupIdentifier_ = 0;
};

} // namespace ruzave
