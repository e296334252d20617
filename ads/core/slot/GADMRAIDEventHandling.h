#pragma once
// What an MRAID creative's handler hears from the page, the opener and the active-view code. The slot
// is one once its creative says MRAID has loaded. Main thread.
#include <memory>
#include <string>

namespace platform {
class View;
}

namespace ruzave {

class GADMRAIDEventHandling {
  public:
    virtual ~GADMRAIDEventHandling() = default;
    virtual void MRAIDAdDidLoad() = 0;
    virtual void MRAIDAdDidUnload() = 0;
    virtual void updateVisibility(bool visible) = 0;
    virtual void updatePositionFromView(const std::shared_ptr<platform::View>& view) = 0;
    // handleError:action:
    virtual void handleError(const std::string& message, const std::string& action) = 0;
};

} // namespace ruzave
