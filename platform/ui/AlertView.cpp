#include "platform/ui/AlertView.h"

#include <algorithm>

#include "platform/base/Log.h"

namespace platform {

namespace {
std::vector<std::shared_ptr<AlertView>>& shown() {
    static std::vector<std::shared_ptr<AlertView>> alerts;
    return alerts;
}
} // namespace

std::shared_ptr<AlertView> AlertView::create(std::string title, std::string message,
                                             std::weak_ptr<AlertViewDelegate> delegate,
                                             const std::string& cancelButtonTitle,
                                             const std::vector<std::string>& otherButtonTitles) {
    auto a = std::make_shared<AlertView>();
    a->title_ = std::move(title);
    a->message_ = std::move(message);
    a->delegate_ = std::move(delegate);
    if (!cancelButtonTitle.empty()) a->cancelIndex_ = a->addButtonWithTitle(cancelButtonTitle);
    for (auto& t : otherButtonTitles) a->addButtonWithTitle(t);
    return a;
}

long AlertView::addButtonWithTitle(std::string title) {
    buttons_.push_back(std::move(title));
    return long(buttons_.size()) - 1;
}

std::string AlertView::buttonTitleAtIndex(long index) const {
    if (index < 0 || index >= long(buttons_.size())) return {};
    return buttons_[std::size_t(index)];
}

void AlertView::setCancelButtonIndex(long index) {
    cancelIndex_ = (index >= 0 && index < long(buttons_.size())) ? index : -1;
}

void AlertView::show() {
    if (visible_) return;
    visible_ = true;
    shown().push_back(shared_from_this()); // the screen keeps a shown alert alive
}

void AlertView::dismissWithClickedButtonIndex(long index, bool) {
    if (!visible_) return;
    auto self = shared_from_this();
    if (auto d = delegate()) d->alertViewWillDismissWithButtonIndex(*this, index);
    visible_ = false;
    auto& list = shown();
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
    if (auto d = delegate()) d->alertViewDidDismissWithButtonIndex(*this, index);
}

std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlerts() { return shown(); }

bool AlertView::tapButtonAtIndex(long index) {
    if (!visible_ || index < 0 || index >= long(buttons_.size())) {
        logWarning("AlertView: no button " + std::to_string(index) + " to tap");
        return false;
    }
    auto self = shared_from_this();
    if (auto d = delegate()) d->alertViewClickedButtonAtIndex(*this, index);
    dismissWithClickedButtonIndex(index, true);
    return true;
}

} // namespace platform
