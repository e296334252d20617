#include "platform/ui/Label.h"

#include "platform/ui/RenderContext.h"

namespace platform {

Label::Label(Rect frame) : View(frame) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

std::shared_ptr<Label> Label::create(Rect frame) { return std::shared_ptr<Label>(new Label(frame)); }

void Label::setText(std::string text) {
    text_ = std::move(text);
    invalidateIntrinsicContentSize();
}

void Label::setFont(Font font) {
    font_ = font;
    invalidateIntrinsicContentSize();
}

std::string Label::shownText() const {
    if (numberOfLines_ <= 0) return text_;
    std::size_t end = 0;
    for (int line = 0; line < numberOfLines_; ++line) {
        end = text_.find('\n', end);
        if (end == std::string::npos) return text_;
        if (line + 1 < numberOfLines_) ++end;
    }
    return text_.substr(0, end);
}

Size Label::intrinsicContentSize() const { return font_.sizeOfText(shownText()); }
Size Label::sizeThatFits(Size) const { return font_.sizeOfText(shownText()); }

void Label::draw(Bitmap& bitmap, const RenderContext& context) const {
    const std::string text = shownText();
    if (text.empty()) return;
    Rect b = bounds();
    Size s = font_.sizeOfText(text);
    float y = b.minY() + (b.height() - s.height) / 2; // vertically centred
    float x0 = b.minX();
    if (alignment_ == TextAlignment::Center) x0 += (b.width() - s.width) / 2;
    else if (alignment_ == TextAlignment::Right) x0 += b.width() - s.width;
    RenderContext c = context.clipped(b);
    float x = x0;
    for (unsigned char ch : text) {
        if ((ch & 0xC0) == 0x80) continue;
        if (ch == '\n') {
            x = x0;
            y += font_.lineHeight();
            continue;
        }
        if (ch != ' ' && ch != '\t') {
            // The glyph box sits within its advance and line, leaving the gaps of real text.
            c.fillRect(bitmap, Rect(x + font_.glyphAdvance() * 0.1f, y + font_.lineHeight() * 0.2f,
                                    font_.glyphAdvance() * 0.8f, font_.pointSize() * 0.8f),
                       textColor_);
        }
        x += font_.glyphAdvance();
    }
}

} // namespace platform
