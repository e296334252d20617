#pragma once
// Orientation words of ad responses as interface orientation masks. Any thread.
#include <cstdint>
#include <optional>
#include <string>

namespace ruzave {

// "any" 30, "portrait" 6, "landscape" 24 (exact, case-sensitive); anything else or nothing gives 0.
std::uint32_t GADInterfaceOrientationMaskFromString(const std::optional<std::string>& text);

} // namespace ruzave
