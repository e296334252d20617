#include "conversion/DCTActivityRequest.h"

namespace ruzave {

DCTActivityRequest DCTActivityRequest::requestWithAdUnitID(std::optional<std::string> adUnitID,
                                                           std::optional<std::string> publisherProvidedID,
                                                           platform::Value customParameters) {
    return DCTActivityRequest(std::move(adUnitID), std::move(publisherProvidedID), std::move(customParameters));
}

DCTActivityRequest::DCTActivityRequest(std::optional<std::string> adUnitID,
                                       std::optional<std::string> publisherProvidedID, platform::Value customParameters)
    : adUnitID_(std::move(adUnitID)),
      publisherProvidedID_(std::move(publisherProvidedID)),
      customParameters_(customParameters.is_object() ? std::move(customParameters) : platform::Value::object()) {}

} // namespace ruzave
