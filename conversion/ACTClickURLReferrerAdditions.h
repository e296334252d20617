#pragma once
// URL addition of the conversion library: the click referrer carried by an app-launch URL. Any thread.
#include <optional>

#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

// The pairs of the URL's "referrer" query parameter: the first query part "referrer=<escaped>" (a part
// counts only when it splits at "=" into exactly two pieces), unescaped as UTF-8, then split at "&"
// into "key=value" entries (again exactly two pieces each, not unescaped further; a later key replaces
// an earlier one). nullopt when there is no such parameter, or it is empty or not UTF-8.
std::optional<platform::Value> act_clickURLReferrerComponents(const platform::URL& url);

} // namespace ruzave
