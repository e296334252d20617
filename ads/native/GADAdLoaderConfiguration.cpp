#include "ads/native/GADAdLoaderConfiguration.h"

#include <algorithm>
#include <cstdio>
#include <typeinfo>

#include "ads/core/util/GADLogger.h"
#include "ads/native/GADAdLoaderAdTypes.h"

namespace ruzave {

std::shared_ptr<GADAdLoaderConfiguration>
GADAdLoaderConfiguration::initWithAdTypes(const std::vector<std::string>& adTypes,
                                          const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) {
    if (adTypes.empty()) return nullptr;
    std::shared_ptr<GADAdLoaderConfiguration> c(new GADAdLoaderConfiguration());
    for (const auto& type : adTypes) {
        auto className = GADClassForAdLoaderAdType(type);
        if (!className) return nullptr;
        if (std::find(c->adTypes_.begin(), c->adTypes_.end(), type) != c->adTypes_.end()) continue;
        c->adTypes_.push_back(type);
        c->adTypeClasses_.push_back(*className);
    }
    auto logger = GADLogger::sharedInstance();
    for (const auto& option : options) {
        if (!option) {
            logger->logPublicMessage("Error: Invalid ad loader option will be ignored ((null)).");
            continue;
        }
        const GADAdLoaderOptions& given = *option;
        const std::type_info& kind = typeid(given);
        bool taken = std::any_of(c->options_.begin(), c->options_.end(), [&](const std::shared_ptr<GADAdLoaderOptions>& o) {
            const GADAdLoaderOptions& kept = *o;
            return typeid(kept) == kind;
        });
        if (taken) {
            char address[32];
            std::snprintf(address, sizeof address, "%p", static_cast<const void*>(option.get()));
            logger->logPublicMessage("Error: Options already provided for " + GADClassName(kind) +
                                     ". Ignoring option object (" + address + ").");
            continue;
        }
        c->options_.push_back(option->copyOptions());
    }
    return c;
}

} // namespace ruzave
