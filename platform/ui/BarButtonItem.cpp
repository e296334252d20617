#include "platform/ui/BarButtonItem.h"

#include <cmath>

#include "platform/ui/Button.h"

namespace platform {

std::shared_ptr<BarButtonItem> BarButtonItem::initWithBarButtonSystemItem(BarButtonSystemItem item, Action action) {
    auto b = std::make_shared<BarButtonItem>();
    b->systemItem_ = item;
    b->action_ = std::move(action);
    return b;
}

std::shared_ptr<BarButtonItem> BarButtonItem::initWithImage(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                            Action action) {
    auto b = std::make_shared<BarButtonItem>();
    b->image_ = std::move(image);
    b->style_ = style;
    b->action_ = std::move(action);
    return b;
}

std::shared_ptr<BarButtonItem> BarButtonItem::initWithTitle(std::string title, BarButtonItemStyle style,
                                                            Action action) {
    auto b = std::make_shared<BarButtonItem>();
    b->title_ = std::move(title);
    b->style_ = style;
    b->action_ = std::move(action);
    return b;
}

std::shared_ptr<BarButtonItem> BarButtonItem::initWithCustomView(std::shared_ptr<View> view) {
    auto b = std::make_shared<BarButtonItem>();
    b->customView_ = std::move(view);
    return b;
}

bool BarButtonItem::isSpace() const {
    return systemItem_ == BarButtonSystemItem::FlexibleSpace || systemItem_ == BarButtonSystemItem::FixedSpace;
}

void BarButtonItem::setWidth(float width) { width_ = std::isfinite(width) && width > 0 ? width : 0; }

void BarButtonItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (auto b = button_.lock()) b->setEnabled(enabled);
}

void BarButtonItem::setAccessibilityLabel(std::string label) {
    accessibilityLabel_ = std::move(label);
    if (auto b = button_.lock()) b->setAccessibilityLabel(accessibilityLabel_);
}

bool BarButtonItem::perform() {
    if (!enabled_ || !action_ || isSpace()) return false;
    auto self = shared_from_this();
    auto action = action_;
    action(*this);
    return true;
}

} // namespace platform
