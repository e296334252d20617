#include "ads/mediation/GADRequest+Mediation.h"

#include "ads/core/public/GADExtras.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMConfig.h"

namespace ruzave {
namespace {

// Both simulator constants of the SDK name the same identifier.
constexpr const char* kSimulatorIdentifier = kGADSimulatorID;

// The asking adapter's class: its registered name, else the connector's adapter class when it is the
// connector's own adapter.
std::string adapterClassName(const GADMAdNetworkConnector& connector,
                             const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    if (!adapter->className().empty()) return adapter->className();
    if (connector.adapter() == adapter) return connector.adapterClassName();
    return std::string();
}

} // namespace

std::shared_ptr<GADRequest> requestWithConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                 const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    auto request = GADRequest::request();
    if (!connector) return request;
    if (connector->testMode()) {
        platform::Value devices = platform::Value::array();
        devices.push_back(kSimulatorIdentifier);
        devices.push_back(kSimulatorIdentifier);
        devices.push_back(GADDevice::sharedInstance()->deviceIdentifier());
        request->setTestDevices(devices);
    }
    if (auto childDirected = connector->childDirectedTreatment())
        request->tagForChildDirectedTreatment(*childDirected);
    if (connector->userHasLocation()) {
        request->setLocationWithLatitude(connector->userLatitude(), connector->userLongitude(),
                                         connector->userLocationAccuracyInMeters());
    } else if (auto description = connector->userLocationDescription()) {
        request->setLocationWithDescription(*description);
    }
    request->setGender(connector->userGender());
    request->setBirthday(connector->userBirthday());
    request->setKeywords(connector->userKeywords());
    request->setRequestAgent(connector->requestAgent());
    configureNetworkExtrasWithConnector(*request, connector, adapter);
    addAdapterListWithConnector(*request, connector, adapter);
    return request;
}

void configureNetworkExtrasWithConnector(GADRequest& request,
                                         const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                         const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    if (!connector || !adapter) return;
    auto publisherExtras = connector->networkExtras();
    auto publisherParameters = std::dynamic_pointer_cast<GADExtras>(publisherExtras);
    // The publisher's object is only read: it may be registered on other requests and reused for the next.
    platform::Value parameters = platform::Value::object();
    if (publisherParameters && publisherParameters->additionalParameters().is_object())
        parameters = publisherParameters->additionalParameters();

    if (auto it = parameters.find("_mediationRequestUrl"); it != parameters.end() && !it->is_null())
        parameters["_requestUrl"] = *it;
    const platform::Value credentials = connector->credentials();
    if (auto it = credentials.find("mad_hac"); it != credentials.end() && !it->is_null())
        parameters["mad_hac"] = *it;
    parameters["gw"] = "1";
    auto network = connector->networkConfig();
    if (const auto& extras = network->extras(); extras && extras->is_object()) {
        for (const auto& [key, value] : extras->items()) {
            if (value.is_string()) parameters[key] = value;
        }
    }
    if (const auto& ad = network->ad()) parameters["_ad"] = *ad;

    // Extras of another class keep their place on the new request, untouched; the merged parameters
    // always travel in a GADExtras, the class the request reads them from.
    if (publisherExtras && !publisherParameters) request.registerAdNetworkExtras(publisherExtras);
    auto merged = GADExtras::init();
    merged->setAdditionalParameters(parameters);
    request.registerAdNetworkExtras(merged);
}

void addAdapterListWithConnector(GADRequest& request,
                                 const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                 const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    if (!connector || !adapter) return;
    const std::string className = adapterClassName(*connector, adapter);
    platform::Value lists = platform::Value::array();
    if (auto config = connector->mediationConfig()) {
        for (const auto& network : config->adNetworkConfigs()) {
            const auto& list = network ? network->adapterList() : std::nullopt;
            lists.push_back(list ? *list : platform::Value());
        }
    } else if (!className.empty()) {
        lists.push_back(className);
    }
    platform::Value extras = platform::Value::object();
    extras["man"] = std::move(lists);
    if (!className.empty()) extras["mcan"] = className;
    request.setPrivateMediationExtras(extras);
}

} // namespace ruzave
