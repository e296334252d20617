#include "ads/mediation/GADMAdManager.h"

namespace ruzave {

void GADMAdManager::cancel() {}

bool GADMAdManager::changeAdTypeTo(const std::shared_ptr<GADAdType>&) {
    return false;
}

} // namespace ruzave
