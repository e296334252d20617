#include "platform/ui/Toolbar.h"

#include <algorithm>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"

namespace platform {

Toolbar::Toolbar(Rect frame) : View(frame) {}

std::shared_ptr<Toolbar> Toolbar::create(Rect frame) { return std::shared_ptr<Toolbar>(new Toolbar(frame)); }

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool) {
    for (auto& v : itemViews_)
        if (v) v->removeFromSuperview();
    itemViews_.clear();
    items.erase(std::remove(items.begin(), items.end(), nullptr), items.end());
    items_ = std::move(items);
    for (auto& item : items_) {
        std::shared_ptr<View> view;
        if (item->customView()) {
            view = item->customView();
        } else if (!item->isSpace()) {
            auto button = Button::create(Rect(0, 0, kItemWidth, kHeight), ButtonType::System);
            if (item->image()) button->setImage(item->image(), ControlStateNormal);
            if (!item->title().empty()) button->setTitle(item->title(), ControlStateNormal);
            std::weak_ptr<BarButtonItem> weak = item;
            button->addTarget([weak](Button&) {
                if (auto i = weak.lock()) i->perform();
            });
            button->setEnabled(item->isEnabled());
            button->setAccessibilityLabel(item->accessibilityLabel());
            item->button_ = button;
            view = button;
        }
        itemViews_.push_back(view);
        if (view) addSubview(view);
    }
    setNeedsLayout();
    layoutIfNeeded();
}

std::shared_ptr<View> Toolbar::viewForItem(const std::shared_ptr<BarButtonItem>& item) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == item) return itemViews_[i];
    return nullptr;
}

void Toolbar::layoutSubviews() {
    View::layoutSubviews();
    Rect b = bounds();
    float fixed = 0;
    int flexible = 0;
    std::vector<float> widths;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto& item = items_[i];
        float w = 0;
        if (item->systemItem() == BarButtonSystemItem::FlexibleSpace) {
            ++flexible;
        } else if (item->width() > 0) {
            w = item->width();
        } else if (item->customView()) {
            w = item->customView()->frame().width();
        } else if (!item->isSpace()) {
            w = kItemWidth;
        }
        widths.push_back(w);
        fixed += w;
    }
    float share = flexible > 0 ? std::max(0.0f, b.width() - fixed) / float(flexible) : 0;
    float x = b.minX();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        float w = items_[i]->systemItem() == BarButtonSystemItem::FlexibleSpace ? share : widths[i];
        if (auto& v = itemViews_[i]) {
            float h = items_[i]->customView() ? v->frame().height() : b.height();
            v->setFrame(Rect(x, b.minY() + (b.height() - h) / 2, w, h));
        }
        x += w;
    }
}

Size Toolbar::sizeThatFits(Size size) const { return {size.width, kHeight}; }

} // namespace platform
