#include "platform/ui/TextView.h"

namespace platform {

TextView::TextView(Rect frame) : ScrollView(frame) {}

std::shared_ptr<TextView> TextView::create(Rect frame) { return std::shared_ptr<TextView>(new TextView(frame)); }

void TextView::setText(std::string text) {
    text_ = std::move(text);
    setContentSize(font_.sizeOfText(text_));
}

void TextView::setFont(Font font) {
    font_ = font;
    setContentSize(font_.sizeOfText(text_));
}

} // namespace platform
