// Mediation responses from the ad server: any JSON document is either a whole configuration or an
// error, never a crash; a configuration's limits are sane.
#include <cmath>

#include "ads/core/public/GADAdType.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMConfig.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto document = platform::parseJSON(fuzz::text(data, size));
    if (!document) return 0;
    ruzave::GADMConfig::peekAdTypeFromConfig(*document);
    platform::Error error;
    auto config = ruzave::GADMConfig::initWithAppKey(std::string("app-key"), document, &error);
    if (!config) {
        fuzz::require(!error.domain.empty());
        return 0;
    }
    fuzz::require(std::isfinite(config->refreshInterval()) && config->refreshInterval() >= 0);
    fuzz::require(config->adType() != nullptr);
    config->description();
    for (const auto& network : config->adNetworkConfigs()) {
        fuzz::require(network != nullptr);
        network->description();
    }
    return 0;
}
