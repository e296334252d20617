#include "ads/mediation/GADMRewardBasedVideoAdNetworkAdapter.h"

#include "platform/foundation/ClassRegistry.h"

namespace ruzave {

bool GADMRewardBasedVideoAdNetworkAdapter::classConformsToProtocol(const std::string& className) {
    return !className.empty() && platform::ClassRegistry::conformsTo(className, kProtocolName);
}

std::shared_ptr<GADMRewardBasedVideoAdNetworkAdapter>
GADMRewardBasedVideoAdNetworkAdapter::createAdapter(const std::string& className) {
    if (!classConformsToProtocol(className)) return nullptr;
    return platform::ClassRegistry::create<GADMRewardBasedVideoAdNetworkAdapter>(className);
}

} // namespace ruzave
