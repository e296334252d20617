#include "ads/core/telemetry/GADCSIConfiguration.h"

#include <cctype>
#include <cmath>

#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADDevice.h"
#include "platform/base/Crypto.h"
#include "platform/foundation/Bundle.h"
#include "platform/services/Locale.h"
#include "platform/ui/Device.h"

namespace ruzave {

std::shared_ptr<GADCSIConfiguration> GADCSIConfiguration::initWithServiceName(const std::string& serviceName) {
    std::shared_ptr<GADCSIConfiguration> c(new GADCSIConfiguration());
    c->server_ = std::string("https://") + GADHosts::kPingHost + "/csi";
    c->serviceName_ = serviceName;
    return c;
}

void GADCSIConfiguration::setReportingProbability(float probability) {
    setReportingProbability(probability, platform::uniformRandom(1000));
}

void GADCSIConfiguration::setReportingProbability(float probability, std::uint32_t draw) {
    // A garbled setting must neither switch every process on nor turn a share into an overflow.
    float p = std::isnan(probability) ? static_cast<float>(kDefaultReportingProbability) : probability;
    p = std::fmin(1.0f, std::fmax(0.0f, p));
    auto share = static_cast<std::uint32_t>(p * 1000.0f);
    reportingEnabled_ = draw < share;
}

std::string GADCSIConfiguration::deviceVersionString() {
    auto device = platform::Device::currentDevice();
    if (GADDevice::sharedInstance()->isSimulator()) return "Simulator";
    std::string machine = device->machine();
    if (machine.empty()) return "Unknown";
    std::string out;
    bool slashed = false;
    for (char c : machine) {
        if (!slashed && std::isdigit(static_cast<unsigned char>(c))) {
            out += '/';
            slashed = true;
        }
        out += c == ',' ? '.' : c;
    }
    return out;
}

std::string GADCSIConfiguration::userAgent() {
    std::lock_guard lock(userAgentMutex_);
    if (!cachedUserAgentString_.empty()) return cachedUserAgentString_;
    auto device = platform::Device::currentDevice();
    std::string version = device->systemVersion();
    for (auto& c : version) c = c == '.' ? '_' : c;
    std::string locale = platform::Locale::current().identifier();
    for (auto& c : locale) c = c == '_' ? '-' : c;
    auto bundle = platform::Bundle::mainBundle();
    cachedUserAgentString_ = "RuzaveCsi/1.0 (" + deviceVersionString() + "; U; CPU " + device->systemName() + " " +
                             version + "; " + locale + ") " + bundle->name() + "/" + bundle->version();
    return cachedUserAgentString_;
}

} // namespace ruzave
