#include "ads/render/GADBrowserAdView.h"

#include "ads/render/GADBrowserViewController.h"

namespace ruzave {

std::shared_ptr<GADBrowserAdView> GADBrowserAdView::initWithFrame(platform::Rect frame) {
    std::shared_ptr<GADBrowserAdView> view(new GADBrowserAdView(frame));
    setUp(view);
    return view;
}

void GADBrowserAdView::setViewController(const std::weak_ptr<platform::ViewController>& controller) {
    // Held weakly, so a released browser needs no clearing.
    if (std::dynamic_pointer_cast<GADBrowserViewController>(controller.lock()))
        GADAdView::setViewController(controller);
}

std::shared_ptr<GADBrowserViewController> GADBrowserAdView::browserViewController() const {
    return std::dynamic_pointer_cast<GADBrowserViewController>(viewController());
}

} // namespace ruzave
