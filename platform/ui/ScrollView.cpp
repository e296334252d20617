#include "platform/ui/ScrollView.h"

#include <cmath>

namespace platform {

ScrollView::ScrollView(Rect frame) : View(frame) { setClipsToBounds(true); }

std::shared_ptr<ScrollView> ScrollView::create(Rect frame) { return std::shared_ptr<ScrollView>(new ScrollView(frame)); }

void ScrollView::setContentSize(Size size) {
    auto clean = [](float v) { return std::isfinite(v) && v > 0 ? v : 0.0f; };
    contentSize_ = {clean(size.width), clean(size.height)};
}

void ScrollView::setContentOffset(Point offset, bool) {
    if (!offset.isFinite()) return;
    Rect b = bounds();
    b.origin = offset;
    setBounds(b);
}

void ScrollView::setBounds(Rect bounds) {
    Point before = this->bounds().origin;
    View::setBounds(bounds);
    if (this->bounds().origin != before) {
        if (auto d = delegate()) d->scrollViewDidScroll(*this);
    }
}

} // namespace platform
