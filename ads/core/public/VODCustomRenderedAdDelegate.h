#pragma once
// What a custom-rendered ad reports back to the publisher object it came from. Held weakly; main thread.
#include <memory>

namespace platform {
class View;
}

namespace ruzave {

class VODCustomRenderedAdDelegate {
  public:
    virtual ~VODCustomRenderedAdDelegate() = default;
    virtual void recordClick() = 0;
    virtual void recordCustomAdImpression() = 0;
    // finishedRenderingAdView:
    virtual void finishedRenderingAdView(const std::shared_ptr<platform::View>& view) = 0;
};

} // namespace ruzave
