#include "ads/render/GADInterfaceOrientationMask.h"

namespace ruzave {

std::uint32_t GADInterfaceOrientationMaskFromString(const std::optional<std::string>& text) {
    if (!text) return 0;
    if (*text == "any") return 30;
    if (*text == "portrait") return 6;
    if (*text == "landscape") return 24;
    return 0;
}

} // namespace ruzave
