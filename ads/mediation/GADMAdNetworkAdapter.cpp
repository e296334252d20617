#include "ads/mediation/GADMAdNetworkAdapter.h"

#include "platform/foundation/ClassRegistry.h"

namespace ruzave {

bool GADMAdNetworkAdapter::classImplementsCurrentAdapterAPI(const std::string& className) {
    if (platform::ClassRegistry::conformsTo(className, kRewardBasedVideoProtocolName)) return true;
    auto instance = createAdapter(className);
    return instance && (instance->respondsToGetBannerWithSize() || instance->respondsToGetInterstitial());
}

bool GADMAdNetworkAdapter::classIsAdapterClass(const std::string& className) {
    return platform::ClassRegistry::conformsTo(className, kProtocolName) ||
           platform::ClassRegistry::conformsTo(className, kRewardBasedVideoProtocolName);
}

std::set<std::string> GADMAdNetworkAdapter::availableAdapterNamesInSet(const std::set<std::string>& names) {
    std::set<std::string> available;
    for (const auto& name : names) {
        if (platform::ClassRegistry::hasClass(name) && platform::ClassRegistry::conformsTo(name, kProtocolName))
            available.insert(name);
    }
    return available;
}

std::shared_ptr<GADMAdNetworkAdapter> GADMAdNetworkAdapter::createAdapter(const std::string& className) {
    if (className.empty()) return nullptr;
    auto adapter = platform::ClassRegistry::create<GADMAdNetworkAdapter>(className);
    if (adapter) adapter->className_ = className;
    return adapter;
}

} // namespace ruzave
