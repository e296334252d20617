#pragma once
// The attribution badge of a native ad view: a label between two margins, then an icon area that cycles
// through the badge's icons. As tall as the taller of text and icon. Main thread.
#include <memory>

#include "platform/ui/View.h"

namespace platform {
class Label;
class LayoutConstraint;
} // namespace platform

namespace ruzave {

class GADNativeAdAttribution;
class GADPushTransitionView;

class GADNativeAdAttributionView : public platform::View {
  public:
    static std::shared_ptr<GADNativeAdAttributionView> initWithFrame(platform::Rect frame);

    // Fills the view from an attribution whose icons have loaded; the icon area takes the largest icon's
    // size, replacing the size of an earlier attribution.
    void setAttribution(const std::shared_ptr<GADNativeAdAttribution>& attribution);
    std::shared_ptr<platform::View> iconView() const;
    std::shared_ptr<platform::View> textView() const;
    void layoutSubviews() override;
    // What its constraints make of it: margins, text and icon area side by side, as tall as the taller.
    platform::Size intrinsicContentSize() const override;

  private:
    explicit GADNativeAdAttributionView(platform::Rect frame) : platform::View(frame) {}
    void commonInit();

    std::shared_ptr<GADPushTransitionView> iconView_;
    std::shared_ptr<platform::Label> textView_;
    std::shared_ptr<platform::View> textPaddingLeft_;
    std::shared_ptr<platform::View> textPaddingRight_;
    std::shared_ptr<platform::LayoutConstraint> iconWidth_;
    std::shared_ptr<platform::LayoutConstraint> iconHeight_;
    platform::Size iconSize_{0, 0};
};

} // namespace ruzave
