#pragma once
// A see-through container: touches that hit none of its subviews fall through to the views below.
// Main thread.
#include <memory>

#include "platform/ui/View.h"

namespace ruzave {

class GADUnclickableView : public platform::View {
  public:
    static std::shared_ptr<GADUnclickableView> initWithFrame(platform::Rect frame) {
        return std::shared_ptr<GADUnclickableView>(new GADUnclickableView(frame));
    }
    std::shared_ptr<platform::View> hitTest(platform::Point point, const platform::Event* event = nullptr) override {
        auto hit = platform::View::hitTest(point, event);
        return hit.get() == this ? nullptr : hit;
    }

  private:
    explicit GADUnclickableView(platform::Rect frame) : platform::View(frame) {}
};

} // namespace ruzave
