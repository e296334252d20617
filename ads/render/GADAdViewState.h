#pragma once
// Where an ad view sat while an expanded-ad controller borrows it. Main thread.
#include <memory>

#include "platform/ui/Geometry.h"

namespace platform {
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAdViewDelegate;

struct GADAdViewState {
    platform::Rect frame;
    // Weak: a borrowed ad view must not keep its banner alive once the app has let the banner go.
    std::weak_ptr<platform::View> superview;
    std::weak_ptr<GADAdViewDelegate> delegate;
    std::weak_ptr<platform::ViewController> viewController;
};

} // namespace ruzave
