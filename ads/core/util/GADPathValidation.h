#pragma once
// Comparison of URL texts that differ only by a trailing slash. Pure; any thread.
#include <string_view>

namespace ruzave {

// Equal after one trailing "/" is dropped from each ("a/" and "a" are equivalent, "a//" and "a" are not).
bool gad_isEquivalentToURLString(std::string_view text, std::string_view other);

} // namespace ruzave
