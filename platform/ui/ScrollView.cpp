#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

namespace platform {

ScrollView::ScrollView(Rect frame) : View(frame) { setClipsToBounds(true); }

std::shared_ptr<ScrollView> ScrollView::create(Rect frame) { return std::shared_ptr<ScrollView>(new ScrollView(frame)); }

void ScrollView::setContentSize(Size size) {
    auto clean = [](float v) { return std::isfinite(v) && v > 0 ? v : 0.0f; };
    const Size before = contentSize_;
    contentSize_ = {clean(size.width), clean(size.height)};
    if (contentSize_.width == before.width && contentSize_.height == before.height) return;
    // A copy, so observers may come and go while they are told; one removed meanwhile is skipped.
    auto observers = contentSizeObservers_;
    for (auto& [token, observer] : observers) {
        const bool stillThere = std::any_of(contentSizeObservers_.begin(), contentSizeObservers_.end(),
                                            [token = token](const auto& o) { return o.first == token; });
        if (stillThere && observer) observer(*this);
    }
}

std::uint64_t ScrollView::addContentSizeObserver(ContentSizeObserver observer) {
    const std::uint64_t token = nextObserverToken_++;
    contentSizeObservers_.emplace_back(token, std::move(observer));
    return token;
}

void ScrollView::removeContentSizeObserver(std::uint64_t token) {
    std::erase_if(contentSizeObservers_, [token](const auto& o) { return o.first == token; });
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
