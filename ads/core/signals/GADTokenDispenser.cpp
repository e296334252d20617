#include "ads/core/signals/GADTokenDispenser.h"

namespace ruzave {

std::shared_ptr<GADTokenDispenser> GADTokenDispenser::sharedInstance() {
    static const std::shared_ptr<GADTokenDispenser> instance(new GADTokenDispenser());
    return instance;
}

std::optional<std::string> GADTokenDispenser::token() { return std::nullopt; }

void GADTokenDispenser::refreshToken(const std::optional<std::string>&) {}

} // namespace ruzave
