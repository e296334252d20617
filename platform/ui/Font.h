#pragma once
// A font with fixed metrics: every glyph advances 0.6 of the point size and a line is 1.2 of it, so text
// measures the same everywhere. Plain value: any thread.
#include <string>

#include "platform/ui/Geometry.h"

namespace platform {

class Font {
public:
    // Non-finite or non-positive sizes give the default 17-point font.
    static Font systemFontOfSize(float pointSize);
    static Font boldSystemFontOfSize(float pointSize);

    std::string fontName() const { return bold_ ? ".SFUIText-Bold" : ".SFUIText-Regular"; }
    float pointSize() const { return size_; }
    bool isBold() const { return bold_; }
    float lineHeight() const { return size_ * 1.2f; }
    float glyphAdvance() const { return size_ * 0.6f; }
    // The size of `text` on one line per "\n"-separated line (UTF-8 code points count as glyphs).
    Size sizeOfText(const std::string& text) const;

    bool operator==(const Font&) const = default;

private:
    float size_ = 17.0f;
    bool bold_ = false;
};

} // namespace platform
