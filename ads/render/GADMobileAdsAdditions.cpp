#include "ads/render/GADMobileAdsAdditions.h"

#include <cmath>

#include "platform/ui/Application.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ruzave {

platform::Bitmap gad_render(const platform::View& view) {
    float scale = view.contentScaleFactor();
    platform::Rect b = view.bounds();
    platform::Bitmap bitmap(static_cast<int>(std::lround(b.width() * scale)),
                            static_cast<int>(std::lround(b.height() * scale)));
    if (!bitmap.empty()) view.layer()->render(bitmap, scale);
    return bitmap;
}

platform::Rect gad_visibleBounds(const platform::View& view) {
    if (platform::Application::sharedApplication()->applicationState() != platform::ApplicationState::Active)
        return platform::Rect::zero();
    auto window = view.window();
    if (!window || window->isHidden()) return platform::Rect::zero();
    platform::Rect visible = window->bounds();
    // The view's own bounds always cut: what lies outside the view is not the view.
    visible = visible.intersection(view.convertRectToView(view.bounds(), window.get()));
    if (visible.isNull() || visible.isEmpty()) return platform::Rect::zero();
    const platform::View* current = &view;
    std::shared_ptr<platform::View> holder;
    while (current && current != window.get()) {
        if (current->isHidden()) return platform::Rect::zero();
        if (current->clipsToBounds()) {
            visible = visible.intersection(current->convertRectToView(current->bounds(), window.get()));
            if (visible.isNull() || visible.isEmpty()) return platform::Rect::zero();
        }
        holder = current->superview();
        current = holder.get();
    }
    return visible;
}

bool gad_supportsOrientations(const platform::View& view, unsigned mask) {
    unsigned supported = platform::Application::sharedApplication()->supportedInterfaceOrientationsForWindow(view.window());
    return (supported & mask) != 0;
}

void gad_fillSuperview(const std::shared_ptr<platform::View>& view) {
    if (!view) return;
    auto superview = view->superview();
    if (!superview) return;
    using A = platform::LayoutAttribute;
    for (A edge : {A::Top, A::Right, A::Bottom, A::Left}) {
        auto constraint = platform::LayoutConstraint::constraintWithItem(view, edge, platform::LayoutRelation::Equal,
                                                                         superview, edge, 1, 0);
        if (constraint) superview->addConstraint(constraint);
    }
}

} // namespace ruzave
