#include "ads/core/util/GADURLEncoding.h"

#include "platform/base/URL.h"

namespace ruzave {

std::string gad_stringByEscapingAsURLParameter(std::string_view text) {
    // Only the unreserved characters survive; everything with a meaning in a URL is escaped.
    return platform::percentEncode(text);
}

} // namespace ruzave
