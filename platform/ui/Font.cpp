#include "platform/ui/Font.h"

#include <algorithm>
#include <cmath>

namespace platform {

Font Font::systemFontOfSize(float pointSize) {
    Font f;
    if (std::isfinite(pointSize) && pointSize > 0) f.size_ = pointSize;
    return f;
}

Font Font::boldSystemFontOfSize(float pointSize) {
    Font f = systemFontOfSize(pointSize);
    f.bold_ = true;
    return f;
}

Size Font::sizeOfText(const std::string& text) const {
    if (text.empty()) return {};
    std::size_t lines = 1, widest = 0, current = 0;
    for (unsigned char c : text) {
        if (c == '\n') {
            ++lines;
            widest = std::max(widest, current);
            current = 0;
        } else if ((c & 0xC0) != 0x80) {
            ++current;
        }
    }
    widest = std::max(widest, current);
    return {std::ceil(float(widest) * glyphAdvance()), std::ceil(float(lines) * lineHeight())};
}

} // namespace platform
