#pragma once
// An activity report of the second network: ad unit, publisher-provided identifier and custom
// parameters. A plain value; any thread.
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class DCTActivityRequest {
public:
    static DCTActivityRequest requestWithAdUnitID(std::optional<std::string> adUnitID,
                                                  std::optional<std::string> publisherProvidedID,
                                                  platform::Value customParameters);
    DCTActivityRequest(std::optional<std::string> adUnitID, std::optional<std::string> publisherProvidedID,
                       platform::Value customParameters);

    const std::optional<std::string>& adUnitID() const { return adUnitID_; }
    const std::optional<std::string>& publisherProvidedID() const { return publisherProvidedID_; }
    // Always an object (anything else reads as none).
    const platform::Value& customParameters() const { return customParameters_; }

private:
    std::optional<std::string> adUnitID_;
    std::optional<std::string> publisherProvidedID_;
    platform::Value customParameters_;
};

} // namespace ruzave
