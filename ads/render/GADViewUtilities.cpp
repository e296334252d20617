#include "ads/render/GADViewUtilities.h"

#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ruzave {

std::optional<platform::Value> GADViewUtilities::positionOfView(const std::shared_ptr<platform::View>& view,
                                                                const std::shared_ptr<platform::Screen>& screen) {
    platform::Rect applicationFrame = screen ? screen->applicationFrame() : platform::Rect::zero();
    if (!view) return std::nullopt;
    auto superview = view->superview();
    auto window = view->window();
    if (!superview || !window) return std::nullopt;
    platform::Rect inWindow = superview->convertRectToView(view->frame(), window.get());
    platform::Rect onScreen = window->convertRectToScreen(inWindow);
    platform::Rect frame = view->frame();
    bool visible = !view->isHidden() && onScreen.origin.x + frame.width() > 0 && onScreen.origin.y + frame.height() > 0 &&
                   onScreen.origin.x < applicationFrame.width() && onScreen.origin.y < applicationFrame.height();
    platform::Value result = platform::Value::object();
    result["x"] = static_cast<double>(onScreen.origin.x);
    result["y"] = static_cast<double>(onScreen.origin.y);
    result["width"] = static_cast<double>(onScreen.width());
    result["height"] = static_cast<double>(onScreen.height());
    result["visible"] = visible;
    return result;
}

} // namespace ruzave
