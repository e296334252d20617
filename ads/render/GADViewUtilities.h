#pragma once
// Where a view sits on the screen, as the visibility reports describe it. Main thread.
#include <memory>
#include <optional>

#include "platform/base/Value.h"

namespace platform {
class Screen;
class View;
} // namespace platform

namespace ruzave {

class GADViewUtilities {
  public:
    // {"x", "y", "width", "height"} in screen coordinates plus "visible"; nullopt without superview
    // or window. A view that starts exactly at the right or bottom edge is not visible.
    static std::optional<platform::Value> positionOfView(const std::shared_ptr<platform::View>& view,
                                                         const std::shared_ptr<platform::Screen>& screen);

  private:
    GADViewUtilities() = delete;
};

} // namespace ruzave
