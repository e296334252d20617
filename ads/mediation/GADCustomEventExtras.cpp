#include "ads/mediation/GADCustomEventExtras.h"

#include "ads/core/util/GADLogger.h"

namespace ruzave {

void GADCustomEventExtras::setExtras(const std::optional<platform::Value>& extras,
                                     const std::optional<std::string>& label) {
    if (!label) {
        GADLogger::sharedInstance()->logPublicMessage("Must specify a label for extras.");
        return;
    }
    if (!extras || extras->is_null()) {
        extras_.erase(*label);
        return;
    }
    extras_[*label] = *extras;
}

std::optional<platform::Value> GADCustomEventExtras::extrasForLabel(const std::string& label) const {
    auto it = extras_.find(label);
    if (it == extras_.end()) return std::nullopt;
    return it->second;
}

} // namespace ruzave
