#include "ads/core/util/GADPathValidation.h"

namespace ruzave {

namespace {

std::string_view withoutOneTrailingSlash(std::string_view text) {
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return text;
}

} // namespace

bool gad_isEquivalentToURLString(std::string_view text, std::string_view other) {
    return withoutOneTrailingSlash(text) == withoutOneTrailingSlash(other);
}

} // namespace ruzave
