#include "platform/ui/Button.h"

#include <algorithm>

#include "platform/ui/Font.h"
#include "platform/ui/Image.h"
#include "platform/ui/RenderContext.h"
#include "platform/ui/Touch.h"

namespace platform {

Button::Button(Rect frame, ButtonType type) : View(frame), type_(type) { setOpaque(false); }

std::shared_ptr<Button> Button::create(Rect frame, ButtonType type) {
    return std::shared_ptr<Button>(new Button(frame, type));
}

unsigned Button::state() const {
    unsigned s = ControlStateNormal;
    if (highlighted_) s |= ControlStateHighlighted;
    if (!enabled_) s |= ControlStateDisabled;
    if (selected_) s |= ControlStateSelected;
    return s;
}

std::shared_ptr<Image> Button::imageForState(unsigned state) const {
    auto it = images_.find(state);
    if (it != images_.end() && it->second) return it->second;
    it = images_.find(ControlStateNormal);
    return it != images_.end() ? it->second : nullptr;
}

void Button::setImage(std::shared_ptr<Image> image, unsigned state) {
    images_[state] = std::move(image);
    invalidateIntrinsicContentSize();
}

std::string Button::titleForState(unsigned state) const {
    auto it = titles_.find(state);
    if (it != titles_.end()) return it->second;
    it = titles_.find(ControlStateNormal);
    return it != titles_.end() ? it->second : std::string();
}

void Button::setTitle(std::string title, unsigned state) {
    titles_[state] = std::move(title);
    invalidateIntrinsicContentSize();
}

std::size_t Button::addTarget(Action action) {
    if (!action) return 0;
    actions_.emplace_back(nextToken_, std::move(action));
    return nextToken_++;
}

void Button::removeTarget(std::size_t token) {
    actions_.erase(std::remove_if(actions_.begin(), actions_.end(), [&](auto& a) { return a.first == token; }),
                   actions_.end());
}

void Button::sendActions() {
    auto self = shared_from_this();
    for (auto& [token, action] : std::vector<std::pair<std::size_t, Action>>(actions_)) action(*this);
}

std::shared_ptr<View> Button::hitTest(Point point, const Event* event) {
    if (!enabled_) return nullptr; // a disabled control takes no touches
    return View::hitTest(point, event);
}

Size Button::intrinsicContentSize() const {
    Size s;
    if (auto image = currentImage()) s = image->size();
    Size t = Font::systemFontOfSize(15).sizeOfText(titleForState(state()));
    return {s.width + t.width, std::max(s.height, t.height)};
}

Size Button::sizeThatFits(Size) const { return intrinsicContentSize(); }

void Button::draw(Bitmap& bitmap, const RenderContext& context) const {
    if (auto image = currentImage()) {
        Size s = image->size();
        Rect b = bounds();
        context.clipped(b).drawImage(bitmap, *image,
                                     Rect(b.midX() - s.width / 2, b.midY() - s.height / 2, s.width, s.height));
    }
}

bool Button::inside(const std::vector<std::shared_ptr<Touch>>& touches) const {
    if (touches.empty()) return false;
    Point p = touches.front()->locationInView(this);
    // Touches count as inside a little beyond the edges, as fingers are imprecise.
    return bounds().insetBy(-70, -70).contains(p);
}

void Button::touchesBegan(const std::vector<std::shared_ptr<Touch>>&, const Event&) {
    if (enabled_) highlighted_ = true;
}

void Button::touchesMoved(const std::vector<std::shared_ptr<Touch>>& touches, const Event&) {
    if (enabled_) highlighted_ = inside(touches);
}

void Button::touchesEnded(const std::vector<std::shared_ptr<Touch>>& touches, const Event&) {
    bool fire = enabled_ && inside(touches);
    highlighted_ = false;
    if (fire) sendActions();
}

void Button::touchesCancelled(const std::vector<std::shared_ptr<Touch>>&, const Event&) { highlighted_ = false; }

} // namespace platform
