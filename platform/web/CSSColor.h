#pragma once
// CSS colour values as the paint model reads them: #rgb, #rrggbb, rgb(), rgba(), "transparent" and
// the sixteen basic colour names. Any thread.
#include <optional>
#include <string_view>

#include "platform/ui/Color.h"

namespace platform {

class CSSColor {
public:
    // nullopt for anything else (the declaration is then ignored, as a browser does).
    static std::optional<Color> parse(std::string_view text);
};

} // namespace platform
