#pragma once
// A view showing text in one font and colour; it sizes itself from the fixed-metrics font and paints
// each visible glyph as a box of the text colour. Main thread.
#include <memory>
#include <string>

#include "platform/ui/Font.h"
#include "platform/ui/View.h"

namespace platform {

enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

class Label : public View {
public:
    static std::shared_ptr<Label> create(Rect frame = Rect::zero());

    std::string text() const { return text_; }
    void setText(std::string text);
    Font font() const { return font_; }
    void setFont(Font font);
    Color textColor() const { return textColor_; }
    void setTextColor(Color color) { textColor_ = color; }
    TextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(TextAlignment a) { alignment_ = a; }
    // 0: any number of lines. Lines past the limit are neither measured nor drawn.
    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int n) {
        numberOfLines_ = n < 0 ? 0 : n;
        invalidateIntrinsicContentSize();
    }

    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;
    void draw(Bitmap& bitmap, const RenderContext& context) const override;

protected:
    explicit Label(Rect frame);

private:
    // The lines shown: the first numberOfLines of the text.
    std::string shownText() const;

    std::string text_;
    Font font_ = Font::systemFontOfSize(17);
    Color textColor_ = Color::black();
    TextAlignment alignment_ = TextAlignment::Left;
    int numberOfLines_ = 1;
};

} // namespace platform
